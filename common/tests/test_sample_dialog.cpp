// A dialog of the suite's kind built on the dialog base: every control kind
// from one description, the shared dialog fonts, notifications handed to a
// plain module in order, boxes owned by the dialog, modal runs and the one
// instance of a modeless dialog.
#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/qt/dialog.h"
#include "platform/qt/qt_message_sink.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <utility>
#include <vector>

using namespace platform;

namespace {

constexpr int ID_NAME = 102, ID_KIND = 101, ID_CURVES = 103, ID_GRID = 104, ID_LINEAR = 106, ID_LOG = 107,
              ID_SYMBOLS = 105, ID_STEP = 110, ID_DONE = 111, ID_OPTIONS = 140, ID_APPLY = 120,
              ID_CANCEL = 802, ID_LOGO = 130, ID_STATUS = 805, ID_HIDDEN = 150, ID_TITLE = 151;

// The curve list's columns, as the plot specifications use them.
const std::vector<int> kCurveColumns = {8, 30, 110, 130};

const DialogDescription& sampleDialog()
{
    static const DialogDescription d{"DLG_SAMPLE", "TQNSampleDialog", "SIM: Sample", 280, 200, {
        staticText(-1, "&Name :", {6, 8, 40, 8}),
        edit(ID_NAME, {50, 6, 86, 12}).maxLength(8),
        staticText(-1, "&Kind :", {6, 24, 40, 8}),
        comboBox(ID_KIND, {50, 22, 86, 60}),
        staticText(ID_TITLE, "Curves :", {6, 40, 170, 8}).disabled(),
        listBox(ID_CURVES, {6, 50, 170, 60}).columns(kCurveColumns),
        groupBox(ID_OPTIONS, "Options", {184, 4, 90, 62}),
        checkBox(ID_GRID, "Show &Grid", {190, 16, 78, 10}),
        radioButton(ID_LINEAR, "&Linear", {190, 32, 78, 10}).group(),
        radioButton(ID_LOG, "L&ogarithmic", {190, 46, 78, 10}),
        groupBox(-1, "Run", {184, 70, 90, 40}),
        scrollBar(ID_STEP, {190, 82, 78, 10}),
        progressBar(ID_DONE, {190, 96, 78, 8}),
        bitmapButton(ID_LOGO, {184, 116, 90, 24}),
        ownerDrawList(ID_SYMBOLS, {6, 116, 170, 48}),
        edit(ID_HIDDEN, {6, 116, 20, 12}).hidden(),
        staticText(ID_STATUS, "", {6, 170, 170, 8}),
        pushButton(IDOK, "&OK", {118, 180, 50, 14}).defaultButton(),
        pushButton(ID_CANCEL, "&Cancel", {172, 180, 50, 14}).cancelButton(),
        pushButton(ID_APPLY, "&Apply", {226, 180, 48, 14}),
    }};
    return d;
}

/// The plain module behind the dialog: it records what the dialog hands on
/// and raises a box of its own on Apply.
struct SampleModule {
    std::vector<std::pair<int, int>> notifications;
    void notify(int id, int code) { notifications.emplace_back(id, code); }
    void apply(WindowHandle dialog)
    {
        SetTempMessageOwner(dialog);
        ShowMessage({"Sample applied."});
        RestoreMessageOwner();
    }
};

class SampleDialog : public Dialog {
public:
    SampleDialog(SampleModule& module, QWidget* parent) : Dialog(sampleDialog(), parent), m_module(module)
    {
        for (int id : {ID_NAME, ID_CURVES, ID_STATUS})
            setControlFont(id, *GetDialogFont());
        setControlFont(ID_OPTIONS, *GetBoldDialogFont());
        for (const char* kind : {"Variable", "Data file", "Time"})
            addItem(ID_KIND, kind);
        for (const char* row : {"A\tVars\tvoltage\tOn\tOff", "B\tVars\tcurrent\tOff\tOff",
                                "W\tFile\tmeasured.dat\tOn\tOn", ".\t.\t.\t.\t."})
            addItem(ID_CURVES, row);
        setItemHeight(ID_SYMBOLS, 18);
        const std::vector<std::pair<const char*, QColor>> symbols = {
            {"capacitor", Qt::red}, {"inductor", Qt::darkGreen}, {"resistor", Qt::blue}};
        for (const auto& [name, colour] : symbols)
            setItemData(ID_SYMBOLS, addItem(ID_SYMBOLS, name), colour);
        setOwnerDraw(ID_SYMBOLS, [this](QPainter& painter, const OwnerDrawItem& item) {
            paintedItems.push_back(item.index);
            painter.fillRect(item.rect, item.selected ? QColor(0, 0, 128) : QColor(0xC0, 0xC0, 0xC0));
            painter.fillRect(QRect(item.rect.left() + 2, item.rect.top() + 2, 14, item.rect.height() - 4),
                             item.data.value<QColor>());
            painter.setPen(item.selected ? Qt::white : Qt::black);
            painter.drawText(item.rect.adjusted(22, 0, 0, 0), Qt::AlignVCenter, QString::fromStdString(item.text));
        });
        setOwnerDraw(ID_LOGO, [this](QPainter& painter, const OwnerDrawItem& item) {
            logoPainted = true;
            painter.fillRect(item.rect, item.pressed ? Qt::darkGray : Qt::white);
            painter.setPen(Qt::darkBlue);
            painter.drawRect(item.rect.adjusted(0, 0, -1, -1));
            painter.drawText(item.rect, Qt::AlignCenter, QStringLiteral("ORVANTA"));
        });
        setScrollRange(ID_STEP, 0, 20);
        setProgress(ID_DONE, 40);
        DialogSetupHook(this);
    }

    std::vector<int> paintedItems;
    bool logoPainted = false;

protected:
    void notify(int id, int code) override
    {
        m_module.notify(id, code);
        if (id == ID_APPLY && code == BN_CLICKED)
            return m_module.apply(handle());
        Dialog::notify(id, code);
    }

private:
    SampleModule& m_module;
};

class SampleDialogTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::testApplication(); }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DeleteDialogFonts();
    }

    ScriptedMessageSink m_boxes;
    ScopedMessageSink m_useBoxes{m_boxes};
    SampleModule m_module;
};

/// The leftmost column of dark pixels in a horizontal band of the picture; -1 when there is none.
int firstDarkColumn(const QImage& shot, int left, int right, int top, int bottom)
{
    for (int x = left; x < right; ++x)
        for (int y = top; y < bottom; ++y)
            if (shot.pixelColor(x, y).lightness() < 110)
                return x;
    return -1;
}

} // namespace

TEST_F(SampleDialogTest, EveryControlKindIsBuiltFromTheDescriptionAndFoundById)
{
    SampleDialog dialog(m_module, nullptr);
    EXPECT_EQ(dialog.objectName(), "DLG_SAMPLE");
    EXPECT_EQ(dialog.windowTitle(), "SIM: Sample");
    EXPECT_NE(testsupport::findControl<QLineEdit>(dialog, ID_NAME), nullptr);
    EXPECT_NE(testsupport::findControl<QComboBox>(dialog, ID_KIND), nullptr);
    EXPECT_NE(testsupport::findControl<QListWidget>(dialog, ID_CURVES), nullptr);
    EXPECT_NE(testsupport::findControl<QListWidget>(dialog, ID_SYMBOLS), nullptr);
    EXPECT_NE(testsupport::findControl<QCheckBox>(dialog, ID_GRID), nullptr);
    EXPECT_NE(testsupport::findControl<QRadioButton>(dialog, ID_LOG), nullptr);
    EXPECT_NE(testsupport::findControl<QGroupBox>(dialog, ID_OPTIONS), nullptr);
    EXPECT_NE(testsupport::findControl<QScrollBar>(dialog, ID_STEP), nullptr);
    EXPECT_NE(testsupport::findControl<QProgressBar>(dialog, ID_DONE), nullptr);
    EXPECT_NE(testsupport::findControl<QAbstractButton>(dialog, ID_LOGO), nullptr);
    EXPECT_NE(testsupport::findControl<QLabel>(dialog, ID_STATUS), nullptr);
    ASSERT_NE(testsupport::findControl<QPushButton>(dialog, IDOK), nullptr);
    EXPECT_TRUE(testsupport::findControl<QPushButton>(dialog, IDOK)->isDefault());
    EXPECT_EQ(dialog.control(999), nullptr);

    // Flags of the description, and the label mnemonics leading to the next control.
    EXPECT_TRUE(dialog.control(ID_HIDDEN)->isHidden());
    EXPECT_FALSE(dialog.isControlEnabled(ID_TITLE));
    auto labels = dialog.findChildren<QLabel*>();
    auto name = std::find_if(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "&Name :"; });
    ASSERT_NE(name, labels.end());
    EXPECT_EQ((*name)->buddy(), dialog.control(ID_NAME));

    // Dialog units of the pinned font: the inside and each control where the description puts it.
    QRect list = dialog.toPixels({6, 50, 170, 60});
    EXPECT_EQ(dialog.control(ID_CURVES)->geometry(), list);
    EXPECT_EQ(dialog.size(), dialog.toPixels({0, 0, 280, 200}).size());
    EXPECT_GT(list.width(), 170);

    // The edit takes at most its limit; the shared fonts sit on the controls given them.
    QTest::keyClicks(dialog.control(ID_NAME), "mass_spring1");
    EXPECT_EQ(dialog.text(ID_NAME), "mass_spr");
    EXPECT_EQ(dialog.control(ID_NAME)->font().pixelSize(), GetDialogFont()->pixelHeight);
    EXPECT_TRUE(dialog.control(ID_OPTIONS)->font().bold());
    EXPECT_FALSE(dialog.control(ID_NAME)->font().bold());
}

TEST_F(SampleDialogTest, ListAndComboItemsAndRadioGroupsBehaveAsTheSuitesDialogsExpect)
{
    SampleDialog dialog(m_module, nullptr);
    // A combo box has no selection until one is made; items keep their order and texts.
    EXPECT_EQ(dialog.selectedIndex(ID_KIND), -1);
    EXPECT_EQ(dialog.itemCount(ID_KIND), 3);
    dialog.selectIndex(ID_KIND, 2);
    EXPECT_EQ(dialog.text(ID_KIND), "Time");
    EXPECT_EQ(dialog.findItem(ID_CURVES, "B\tVars\tcurrent\tOff\tOff"), 1);
    EXPECT_EQ(dialog.insertItem(ID_CURVES, 0, "first"), 0);
    dialog.setItemText(ID_CURVES, 0, "renamed");
    EXPECT_EQ(dialog.itemText(ID_CURVES, 0), "renamed");
    EXPECT_TRUE(dialog.removeItem(ID_CURVES, 0));
    EXPECT_FALSE(dialog.removeItem(ID_CURVES, 9));
    dialog.selectIndex(ID_CURVES, 3);
    EXPECT_EQ(dialog.selectedIndex(ID_CURVES), 3);
    dialog.selectIndex(ID_CURVES, -1);
    EXPECT_EQ(dialog.selectedIndex(ID_CURVES), -1);
    EXPECT_EQ(dialog.itemData(ID_SYMBOLS, 2).value<QColor>(), QColor(Qt::blue));

    // Checking a radio unchecks the others of its group; all may be unchecked, as a page expects.
    dialog.setChecked(ID_LINEAR, true);
    dialog.setChecked(ID_LOG, true);
    EXPECT_EQ(dialog.checkedIndex({ID_LINEAR, ID_LOG}), 1);
    dialog.setChecked(ID_LOG, false);
    EXPECT_EQ(dialog.checkedIndex({ID_LINEAR, ID_LOG}), -1);
    dialog.setChecked(ID_GRID, true);
    EXPECT_TRUE(dialog.isChecked(ID_GRID));
    EXPECT_EQ(dialog.checkedIndex({ID_LINEAR, ID_LOG}), -1) << "the check box is in no radio group";

    // The caption helper.
    dialog.setEdited(true);
    EXPECT_EQ(dialog.windowTitle(), "SIM: Sample (edited)");
    dialog.setCaption("SIM: Other");
    EXPECT_EQ(dialog.windowTitle(), "SIM: Other (edited)");
    dialog.setEdited(false);
    EXPECT_EQ(dialog.windowTitle(), "SIM: Other");
}

TEST_F(SampleDialogTest, NotificationsReachTheModuleInTheOrderTheUserActed)
{
    auto* dialog = new SampleDialog(m_module, nullptr);
    dialog->showModeless();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));

    QTest::keyClicks(dialog->control(ID_NAME), "ab");
    dialog->setText(ID_NAME, "xyz"); // the dialog's own change is reported too
    auto* curves = testsupport::findControl<QListWidget>(*dialog, ID_CURVES);
    QRect second = curves->visualItemRect(curves->item(1));
    QTest::mouseClick(curves->viewport(), Qt::LeftButton, Qt::NoModifier, second.center());
    dialog->selectIndex(ID_CURVES, 2); // not reported: the dialog's own choice
    QRect third = curves->visualItemRect(curves->item(2));
    // A double click is a click and then the double click.
    QTest::mouseClick(curves->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    QTest::mouseDClick(curves->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    QTest::keyClick(dialog->control(ID_KIND), Qt::Key_Down);
    QTest::mouseClick(dialog->control(ID_GRID), Qt::LeftButton);
    QTest::mouseClick(dialog->control(ID_LOG), Qt::LeftButton);
    testsupport::findControl<QScrollBar>(*dialog, ID_STEP)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(dialog->scrollPosition(ID_STEP), 1);
    testsupport::findControl<QScrollBar>(*dialog, ID_STEP)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QTest::mouseClick(dialog->control(ID_LOGO), Qt::LeftButton);

    std::vector<std::pair<int, int>> seen;
    for (const auto& [id, code] : m_module.notifications)
        if (code != EN_SETFOCUS && code != EN_KILLFOCUS && code != LBN_SETFOCUS && code != LBN_KILLFOCUS)
            seen.emplace_back(id, code);
    std::vector<std::pair<int, int>> expected = {
        {ID_NAME, EN_CHANGE},        {ID_NAME, EN_CHANGE},      {ID_NAME, EN_CHANGE},
        {ID_CURVES, LBN_SELCHANGE},  {ID_CURVES, LBN_DBLCLK},   {ID_KIND, CBN_SELCHANGE},
        {ID_GRID, BN_CLICKED},       {ID_LOG, BN_CLICKED},      {ID_STEP, SB_LINEDOWN},
        {ID_STEP, SB_PAGEDOWN},      {ID_LOGO, BN_CLICKED},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(dialog->selectedIndex(ID_KIND), 0);
    EXPECT_TRUE(dialog->isChecked(ID_GRID));

    // Leaving an edit for the list reports both, in that order.
    m_module.notifications.clear();
    dialog->focusControl(ID_NAME);
    dialog->focusControl(ID_CURVES);
    std::vector<std::pair<int, int>> focus = {{ID_NAME, EN_SETFOCUS}, {ID_NAME, EN_KILLFOCUS},
                                              {ID_CURVES, LBN_SETFOCUS}};
    EXPECT_EQ(m_module.notifications, focus);
    dialog->endDialog(IDCANCEL);
}

TEST_F(SampleDialogTest, ABoxRaisedByTheModuleIsOwnedByTheDialog)
{
    SampleDialog dialog(m_module, nullptr);
    ASSERT_NE(dialog.handle(), 0u);
    EXPECT_TRUE(isWindow(dialog.handle()));
    QTest::mouseClick(dialog.control(ID_APPLY), Qt::LeftButton);
    ASSERT_EQ(m_boxes.transcript().size(), 1u);
    EXPECT_EQ(m_boxes.transcript()[0].owner, dialog.handle());
    EXPECT_EQ(m_boxes.transcript()[0].lines, std::vector<std::string>{"Sample applied."});
    EXPECT_EQ(CurrentMessageOwner(), 0u) << "the default owner is back";

    // The Qt sink puts the box over the dialog.
    QtMessageSink qtBoxes;
    ScopedMessageSink useQt(qtBoxes);
    dialog.show();
    QWidget* parent = nullptr;
    testsupport::answerNextModal([&](QWidget& box) {
        parent = box.parentWidget();
        box.close();
    });
    QTest::mouseClick(dialog.control(ID_APPLY), Qt::LeftButton);
    EXPECT_EQ(parent, &dialog);
}

TEST_F(SampleDialogTest, AModalRunReturnsTheIdItEndedWith)
{
    struct Case {
        const char* how;
        std::function<void(QWidget&)> answer;
        int result;
    };
    std::vector<Case> cases = {
        {"OK", [](QWidget& d) { testsupport::findControl<QPushButton>(d, IDOK)->click(); }, IDOK},
        {"Enter presses the default button", [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Return); }, IDOK},
        {"Escape presses the cancel button", [](QWidget& d) { QTest::keyClick(&d, Qt::Key_Escape); }, IDCANCEL},
        {"the close box", [](QWidget& d) { d.close(); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        m_module.notifications.clear();
        SampleDialog dialog(m_module, nullptr);
        testsupport::answerNextModal(c.answer);
        EXPECT_EQ(dialog.runModal(), c.result);
        EXPECT_TRUE(dialog.hasEnded());
        EXPECT_EQ(dialog.handle(), 0u) << "an ended dialog is no window any more";
        int pressed = c.result == IDOK ? IDOK : ID_CANCEL;
        EXPECT_NE(std::find(m_module.notifications.begin(), m_module.notifications.end(),
                            std::make_pair(pressed, BN_CLICKED)),
                  m_module.notifications.end());
    }
}

TEST_F(SampleDialogTest, ASecondOpenRaisesTheOneInstance)
{
    DialogInstance<SampleDialog> instance;
    int made = 0;
    auto make = [&] {
        ++made;
        return new SampleDialog(m_module, nullptr);
    };
    SampleDialog& first = instance.open(make);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&first));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    SampleDialog& second = instance.open(make);
    EXPECT_EQ(&second, &first);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&first));
    EXPECT_EQ(instance.handle(), first.handle());

    // Closing forgets it; the next open makes a new one.
    QTest::mouseClick(first.control(ID_CANCEL), Qt::LeftButton);
    EXPECT_EQ(instance.get(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SampleDialog& third = instance.open(make);
    EXPECT_EQ(made, 2);
    instance.close();
    EXPECT_EQ(instance.get(), nullptr);
    (void)third;
}

TEST_F(SampleDialogTest, TheGrabbedDialogShowsItsColumnsLinedUpAndPaintsItsOwnItems)
{
    SampleDialog dialog(m_module, nullptr);
    dialog.selectIndex(ID_SYMBOLS, 1);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QImage shot = testsupport::grabToPng(dialog, "sample_dialog");
    EXPECT_EQ(testsupport::clippedControls(dialog), std::vector<std::string>{}) << "sample_dialog";
    EXPECT_TRUE(dialog.logoPainted);
    EXPECT_NE(std::find(dialog.paintedItems.begin(), dialog.paintedItems.end(), 1), dialog.paintedItems.end());

    // Each column of the curve list starts at its tab stop in every row, whatever the row before it holds.
    auto* curves = testsupport::findControl<QListWidget>(dialog, ID_CURVES);
    DialogBaseUnits base = dialogBaseUnits(curves->font());
    QPoint origin = curves->viewport()->mapTo(&dialog, QPoint(0, 0));
    for (std::size_t column = 1; column < kCurveColumns.size(); ++column) {
        SCOPED_TRACE(column);
        int stop = origin.x() + 2 + (kCurveColumns[column] * base.x + 2) / 4;
        std::vector<int> starts;
        for (int row = 0; row < 3; ++row) {
            QRect item = curves->visualItemRect(curves->item(row)).translated(origin);
            starts.push_back(firstDarkColumn(shot, stop - 1, stop + 12, item.top(), item.bottom()));
        }
        EXPECT_GE(starts[0], stop - 1);
        EXPECT_EQ(starts[0], starts[1]);
        EXPECT_EQ(starts[1], starts[2]);
    }
    // The owner-drawn item carries its own colour.
    auto* symbols = testsupport::findControl<QListWidget>(dialog, ID_SYMBOLS);
    QPoint corner = symbols->viewport()->mapTo(&dialog, symbols->visualItemRect(symbols->item(0)).topLeft());
    EXPECT_EQ(shot.pixelColor(corner + QPoint(6, 6)), QColor(Qt::red));
    EXPECT_EQ(symbols->visualItemRect(symbols->item(0)).height(), 18);
}

TEST(DialogFonts, AreMadeOnFirstUseSharedUntilDeletedAndDeletedOnce)
{
    DeleteDialogFonts();
    const FontSpec* font = GetDialogFont();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetDialogFont(), font);
    EXPECT_EQ(font->family, "DejaVu Sans");
    EXPECT_FALSE(font->bold);
    const FontSpec* bold = GetBoldDialogFont();
    ASSERT_NE(bold, nullptr);
    EXPECT_NE(bold, font);
    EXPECT_EQ(GetBoldDialogFont(), bold);
    EXPECT_TRUE(bold->bold);
    EXPECT_EQ(bold->pixelHeight, font->pixelHeight);
    DeleteDialogFonts();
    DeleteDialogFonts(); // a second main window's destructor finds nothing left to delete
    const FontSpec* again = GetBoldDialogFont();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->bold);
    EXPECT_EQ(*GetDialogFont(), FontSpec());
    DeleteDialogFonts();
}

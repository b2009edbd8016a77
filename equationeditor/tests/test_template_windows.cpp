// The template popup and the model wizard offscreen: the popup made hidden,
// filled from the information file at each showing and gone after OK; the
// wizard driven by its controls' ids through all four pages to the skeleton
// it hands the editor, its refusals answered by the scripted boxes, and each
// page and the popup grabbed.
#include "equationeditor/model_wizard_dialog.h"
#include "equationeditor/template_popup.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/message_sink.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "template_test_support.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

using namespace platform;
using Lines = std::vector<std::string>;

class TemplateWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetStartup();
        Startup().InstallDirectory = dir.path();
        frameWindow = std::make_unique<QWidget>();
        frame = frameWindow.get();
    }
    void TearDown() override
    {
        closeTemplatePopup();
        closeModelWizard();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DeleteDialogFonts();
        ResetStartup();
    }

    static void settle() { QCoreApplication::processEvents(); }

    template <class Widget = QWidget>
    static Widget* in(QWidget& window, int id)
    {
        Widget* widget = testsupport::findControl<Widget>(window, id);
        EXPECT_NE(widget, nullptr) << "no control id" << id;
        return widget;
    }
    static void click(QWidget& window, int id)
    {
        QWidget* widget = in(window, id);
        ASSERT_TRUE(widget->isVisible()) << "control " << id << " is hidden";
        // Radios and check boxes take clicks on their mark and text only.
        QPoint at = qobject_cast<QPushButton*>(widget) ? widget->rect().center() : QPoint(6, widget->height() / 2);
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        settle();
    }
    static void type(QWidget& window, int id, const char* text)
    {
        auto* edit = in<QLineEdit>(window, id);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    /// Chooses an entry of a drop-down list as the user does.
    static void choose(QWidget& window, int id, int index)
    {
        auto* combo = in<QComboBox>(window, id);
        combo->setCurrentIndex(index);
        Q_EMIT combo->activated(index);
        settle();
    }
    static Lines listed(QWidget& window)
    {
        Lines lines;
        auto* list = in<QListWidget>(window, ID_WIZ_LIST);
        for (int i = 0; i < list->count(); ++i)
            lines.push_back(list->item(i)->text().toStdString());
        return lines;
    }

    testsupport::TempDir dir;
    std::unique_ptr<QWidget> frameWindow;
    QWidget* frame = nullptr;
    ScriptedMessageSink boxes;
    ScopedMessageSink scopedBoxes{boxes};
};

TEST_F(TemplateWindows, PopupIsMadeHiddenAndShowsTheInformationFileReadAgainEachTime)
{
    std::string first = "KELDOR\r\n\r\nclass NAME version DIGIT\r\n";
    dir.write("help/e9keldor.inf", first);
    ASSERT_EQ(createTemplatePopup(frame), 1);
    TQNTemplateDialog* popup = templatePopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(popup->objectName(), "DLG_TEMPLATE");
    EXPECT_EQ(popup->windowTitle(), "EE: KELDOR Template");
    auto* text = in<QPlainTextEdit>(*popup, ID_TEMPLATE_TEXT);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(createTemplatePopup(frame), 1);
    EXPECT_EQ(templatePopup(), popup); // one popup per program

    showTemplatePopup(frame);
    settle();
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(text->toPlainText().toStdString(), "KELDOR\n\nclass NAME version DIGIT\n");

    // OK closes and forgets it; the next showing makes it again over the changed file.
    click(*popup, ID_TEMPLATE_OK);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(templatePopup(), nullptr);
    dir.write("help/e9keldor.inf", "changed\r\n");
    showTemplatePopup(frame);
    settle();
    ASSERT_NE(templatePopup(), nullptr);
    EXPECT_EQ(templatePopup()->text(ID_TEMPLATE_TEXT), "changed\n");
    EXPECT_TRUE(boxes.transcript().empty());
}

TEST_F(TemplateWindows, PopupOverAMissingFileSaysSoAndStillOpens)
{
    showTemplatePopup(frame);
    settle();
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines[0], "Information file for template popup could not be opened.");
    ASSERT_NE(templatePopup(), nullptr);
    EXPECT_TRUE(templatePopup()->isVisible());
    EXPECT_EQ(templatePopup()->text(ID_TEMPLATE_TEXT), "");
}

TEST_F(TemplateWindows, PopupShowsTheShippedDescription)
{
    std::string shipped = testsupport::readText(std::string(EQUATIONEDITOR_SOURCE_DIR) + "/e9keldor.inf");
    dir.write("help/e9keldor.inf", shipped);
    showTemplatePopup(frame);
    settle();
    ASSERT_NE(templatePopup(), nullptr);
    EXPECT_EQ(templatePopup()->text(ID_TEMPLATE_TEXT).size(), shipped.size());
    QImage grab = testsupport::grabToPng(*templatePopup(), "template_popup");
    EXPECT_EQ(testsupport::clippedControls(*templatePopup()), std::vector<std::string>{}) << "template_popup";
    EXPECT_FALSE(grab.isNull());
}

class WizardWindow : public TemplateWindows {
protected:
    void start()
    {
        if (!window)
            ownerBefore = CurrentMessageOwner();
        startModelWizard(frame, {[this] {
                                      ++blankSteps;
                                      return blankAnswer;
                                  },
                                  [this](std::string_view piece) { inserted += piece; }});
        settle();
        window = modelWizardWindow();
        ASSERT_NE(window, nullptr);
    }
    void grabPage(const std::string& name)
    {
        QImage image = testsupport::grabToPng(*window, name);
        EXPECT_EQ(testsupport::clippedControls(*window), std::vector<std::string>{}) << name;
        EXPECT_FALSE(image.isNull());
    }

    TQNTemplateWizardDialog* window = nullptr;
    WindowHandle ownerBefore = 0;
    int blankSteps = 0;
    int blankAnswer = 1;
    std::string inserted;
};

TEST_F(WizardWindow, BuildsASubmodelSkeletonThroughItsFourPages)
{
    start();
    EXPECT_EQ(window->objectName(), "DLG_TPLWIZ");
    EXPECT_EQ(window->windowTitle(), "ORVANTA Model Wizard");
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(CurrentMessageOwner(), window->handle());
    EXPECT_FALSE(in(*window, ID_WIZ_BACK)->isEnabled());
    EXPECT_EQ(window->pagePicture().size(), QSize(149, 203));
    EXPECT_EQ(in(*window, ID_WIZ_PICTURE)->size(), QSize(149, 203));
    // The picture is drawn as it is, pixel for pixel.
    QImage drawn = in(*window, ID_WIZ_PICTURE)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage picture = window->pagePicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(drawn.size(), picture.size());
    for (QPoint at : {QPoint(0, 0), QPoint(40, 46), QPoint(74, 100), QPoint(148, 202)})
        EXPECT_EQ(drawn.pixel(at), picture.pixel(at)) << at.x() << "," << at.y();
    EXPECT_TRUE(window->isChecked(ID_WIZ_RADIO1));
    grabPage("wizard_page1");

    type(*window, ID_WIZ_NAME, "valve");
    type(*window, ID_WIZ_VERSION, "2");
    click(*window, ID_WIZ_NEXT);
    ASSERT_EQ(window->wizard().page(), 2);
    EXPECT_EQ(window->pagePicture().size(), QSize(230, 68));

    for (const char* port : {"a", "b"}) {
        type(*window, ID_WIZ_NAME, port);
        click(*window, ID_WIZ_ADD);
    }
    click(*window, ID_WIZ_RADIO2);
    EXPECT_EQ(window->text(ID_WIZ_NAME_LABEL), "Input name :");
    type(*window, ID_WIZ_NAME, "a"); // a port already
    click(*window, ID_WIZ_ADD);
    type(*window, ID_WIZ_NAME, "u");
    click(*window, ID_WIZ_ADD);
    click(*window, ID_WIZ_RADIO3);
    type(*window, ID_WIZ_NAME, "y");
    click(*window, ID_WIZ_ADD);
    type(*window, ID_WIZ_NAME, "z");
    click(*window, ID_WIZ_ADD);
    EXPECT_EQ(listed(*window), (Lines{"port\t: a", "port\t: b", "input\t: u", "output\t: y", "output\t: z"}));
    grabPage("wizard_page2");

    click(*window, ID_WIZ_NEXT);
    ASSERT_EQ(window->wizard().page(), 3);
    EXPECT_FALSE(in(*window, ID_WIZ_RELATION)->isVisible());
    click(*window, ID_WIZ_ADD); // fixed effort a, the first entries
    choose(*window, ID_WIZ_KIND, 5);
    EXPECT_TRUE(in(*window, ID_WIZ_RELATION)->isVisible());
    EXPECT_TRUE(in(*window, ID_WIZ_OTHER_PORT)->isVisible());
    click(*window, ID_WIZ_ADD); // constraint a equal a: refused
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines, (Lines{"Use different ports for constraint restrictions."}));
    EXPECT_EQ(boxes.transcript()[0].owner, window->handle());
    choose(*window, ID_WIZ_RELATION, 1);
    choose(*window, ID_WIZ_OTHER_PORT, 1);
    click(*window, ID_WIZ_ADD);
    click(*window, ID_WIZ_RADIO2);
    EXPECT_EQ(window->itemCount(ID_WIZ_KIND), 3);
    click(*window, ID_WIZ_ADD); // fixed in a
    EXPECT_EQ(listed(*window), (Lines{"causality restr.\t: fixed effort a", "causality restr.\t: constraint a notequal b",
                                      "orientation restr.\t: fixed in a"}));
    EXPECT_EQ(window->pagePicture().size(), QSize(310, 100));
    grabPage("wizard_page3");

    click(*window, ID_WIZ_NEXT);
    ASSERT_EQ(window->wizard().page(), 4);
    EXPECT_EQ(window->text(ID_WIZ_NEXT), "Finish");
    EXPECT_TRUE(window->isChecked(ID_WIZ_PARAMETERS));
    EXPECT_TRUE(window->isChecked(ID_WIZ_VARIABLES));
    click(*window, ID_WIZ_PARAMETERS);
    click(*window, ID_WIZ_VARIABLES);
    grabPage("wizard_page4");

    click(*window, ID_WIZ_NEXT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(modelWizardWindow(), nullptr);
    EXPECT_EQ(blankSteps, 1);
    EXPECT_EQ(inserted, templatetest::SubmodelSkeleton);
    EXPECT_EQ(CurrentMessageOwner(), ownerBefore);
}

TEST_F(WizardWindow, RefusalsAreBoxesOwnedByTheWizardAndCancelWritesNothing)
{
    start();
    type(*window, ID_WIZ_NAME, "");
    click(*window, ID_WIZ_NEXT);
    type(*window, ID_WIZ_NAME, "pump");
    type(*window, ID_WIZ_VERSION, "x");
    click(*window, ID_WIZ_NEXT);
    EXPECT_EQ(window->wizard().page(), 1);
    EXPECT_EQ(boxes.transcriptLines(), (Lines{"Model name is not given", "--", "Model version not correct"}));
    for (const auto& box : boxes.transcript())
        EXPECT_EQ(box.owner, window->handle());

    // Asked again, the open wizard starts over at page 1.
    type(*window, ID_WIZ_VERSION, "1");
    click(*window, ID_WIZ_RADIO2);
    click(*window, ID_WIZ_NEXT);
    EXPECT_EQ(window->wizard().page(), 4);
    TQNTemplateWizardDialog* first = window;
    start();
    EXPECT_EQ(window, first);
    EXPECT_EQ(window->wizard().page(), 1);

    click(*window, ID_WIZ_CANCEL);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(modelWizardWindow(), nullptr);
    EXPECT_EQ(blankSteps, 0);
    EXPECT_TRUE(inserted.empty());
    EXPECT_EQ(CurrentMessageOwner(), ownerBefore);
}

TEST_F(WizardWindow, AMainModelFinishedOverAKeptEditWritesNothing)
{
    start();
    type(*window, ID_WIZ_NAME, "pump");
    click(*window, ID_WIZ_RADIO2);
    click(*window, ID_WIZ_NEXT);
    ASSERT_EQ(window->wizard().page(), 4);
    blankAnswer = 0;
    click(*window, ID_WIZ_NEXT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(blankSteps, 1);
    EXPECT_TRUE(inserted.empty());
    EXPECT_EQ(modelWizardWindow(), nullptr);
}

} // namespace

// The about box and the start-up box.
#include "common/about_dialog.h"

#include "common/about_texts.h"
#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "platform/qt/artwork.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace {

using namespace platform;

platform::DialogInstance<TQNAboutDialog> g_aboutBox;
platform::DialogInstance<TQNAboutDialog> g_startupBox;
QPointer<QWidget> g_aboutParent;

/// The picture and the seven texts, the same on both boxes; the about box
/// has its OK button and the hidden credits below the texts.
std::vector<ControlDescription> boxControls(bool withOk)
{
    std::vector<ControlDescription> controls{
        bitmapButton(AboutPictureControl, {8, 8, 80, 54}),
        staticText(580, "", {96, 8, 148, 10}),
        staticText(581, "", {96, 19, 148, 10}),
        staticText(582, "", {96, 30, 148, 18}),
        staticText(589, "", {96, 52, 148, 9}),
        staticText(590, "", {96, 61, 148, 9}),
        staticText(588, "", {96, 70, 148, 9}),
        staticText(583, "", {96, 79, 148, 9}),
    };
    if (withOk) {
        controls.push_back(edit(AboutCreditsControl, {96, 8, 148, 80}).multiline().readOnly().verticalScroll().hidden());
        controls.push_back(pushButton(IDOK, "OK", {194, 94, 50, 14}).defaultButton());
    }
    return controls;
}

/// The caption both boxes get at their set-up: the product word, a blank, a colon.
std::string setupCaption()
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "%s: About", "Orvanta ");
    return caption;
}

/// Brings a box that is shown to the front and focuses it.
void focusShown(QWidget& box)
{
    if (box.isVisible()) {
        box.raise();
        box.activateWindow();
    }
}

/// Makes a box into `instance`; 1 when it has a window.
int makeBox(platform::DialogInstance<TQNAboutDialog>& instance, QWidget* parent, bool startupBox)
{
    TQNAboutDialog* box = &instance.create([&] { return new TQNAboutDialog(parent, startupBox); });
    if (!ReportWindowFailure(box) || !CheckWindowHandle(box->handle(), box))
        return 0;
    return 1;
}

} // namespace

const DialogDescription& AboutBoxDescription()
{
    static const DialogDescription d{"DLG_ABOUT", "TQNAboutDialog", "Orvanta: About", 252, 114, boxControls(true)};
    return d;
}

const DialogDescription& StartupBoxDescription()
{
    static const DialogDescription d{"DLG_ABOUT2", "TQNAboutDialog", "Welcome to Orvanta", 252, 96,
                                     boxControls(false)};
    return d;
}

TQNAboutDialog::TQNAboutDialog(QWidget* parent, bool startupBox)
    : Dialog(startupBox ? StartupBoxDescription() : AboutBoxDescription(), parent), m_startupBox(startupBox),
      m_parent(parent)
{
    m_picture = bitmapResourceImage("BM_ABOUTW");
    if (m_picture.isNull())
        ShowMessage({"Some resources of Orvanta are inaccessible.", "Run the setup program again before",
                     "continuing the Orvanta session."});

    // The set-up: in the middle of the desktop, the caption, the fonts.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.width() / 2 - width() / 2, desktop.height() / 2 - height() / 2);
    }
    setCaption(setupCaption());
    ResetAboutTexts();
    for (int id : {580, 581, 582})
        setControlFont(id, *GetBoldDialogFont());
    for (int id : {589, 590, 588, 583})
        setControlFont(id, *GetDialogFont());
    setOwnerDraw(AboutPictureControl,
                 [this](QPainter& painter, const OwnerDrawItem& item) { paintPicture(painter, item); });
    setText(AboutCreditsControl, AboutCreditsText());
    DialogSetupHook(this);
}

TQNAboutDialog::~TQNAboutDialog()
{
    if (m_parent)
        m_parent->activateWindow();
}

void TQNAboutDialog::paintPicture(QPainter& painter, const OwnerDrawItem& item) const
{
    if (m_picture.isNull())
        return;
    const PictureRect button{item.rect.x(), item.rect.y(), item.rect.width(), item.rect.height()};
    const PictureRect place = AboutPicturePlace(m_picture.width(), m_picture.height(), button);
    painter.drawImage(QRect(place.x, place.y, place.width, place.height), m_picture);
}

void TQNAboutDialog::showCredits()
{
    for (int id : AboutTextControls)
        showControl(id, false);
    showControl(AboutCreditsControl, true);
    enableControl(AboutCreditsControl, true);
    m_credits = true;
    update();
}

void TQNAboutDialog::notify(int id, int code)
{
    // A click on the picture is a click on the box.
    if (id == AboutPictureControl) {
        if (code == BN_CLICKED)
            CloseStartupBox();
        else if (code == BN_DOUBLECLICKED && (QApplication::keyboardModifiers() & Qt::ShiftModifier))
            showCredits();
        return;
    }
    Dialog::notify(id, code);
}

void TQNAboutDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        CloseStartupBox();
    Dialog::mousePressEvent(event);
}

void TQNAboutDialog::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier))
        showCredits();
    Dialog::mouseDoubleClickEvent(event);
}

int CreateAboutBox(QWidget* parent)
{
    if (TQNAboutDialog* box = g_aboutBox.get()) {
        focusShown(*box);
        return 1;
    }
    if (!makeBox(g_aboutBox, parent, false))
        return 0;
    FillAboutTexts();
    return 1;
}

void SetAboutBoxParent(QWidget* parent)
{
    g_aboutParent = parent;
}

int ShowAboutBox(const std::string& title)
{
    if (!CreateAboutBox(g_aboutParent))
        return 0;
    SetAboutTitle(title);
    FillAboutTexts();
    g_aboutBox.get()->showModeless();
    return 1;
}

int ShowStartupBox()
{
    if (TQNAboutDialog* box = g_startupBox.get()) {
        focusShown(*box);
        return 1;
    }
    if (!makeBox(g_startupBox, nullptr, true))
        return 0;
    FillAboutTexts();
    g_startupBox.get()->showModeless();
    return 1;
}

int CloseStartupBox()
{
    TQNAboutDialog* box = g_startupBox.get();
    if (!box)
        return 0;
    box->endDialog(IDCANCEL);
    return 1;
}

void FillAboutTexts()
{
    const AboutTexts& texts = AboutBoxTexts();
    for (TQNAboutDialog* box : {g_aboutBox.get(), g_startupBox.get()}) {
        if (!box)
            continue;
        for (std::size_t i = 0; i < AboutTextControls.size(); ++i)
            box->setText(AboutTextControls[i], texts.lines[i]);
    }
}

TQNAboutDialog* AboutBox()
{
    return g_aboutBox.get();
}

TQNAboutDialog* StartupBox()
{
    return g_startupBox.get();
}

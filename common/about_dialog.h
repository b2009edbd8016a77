// The about box every program has and the start-up box the graph editor
// shows while it starts: one dialog class on two descriptions, each box at
// most once per program.
#pragma once

#include "platform/qt/dialog.h"

#include <QImage>
#include <QPointer>

#include <string>

/// The graph editor closes its start-up box with this timer of its main
/// window, fired once after so many milliseconds.
inline constexpr int StartupBoxTimerId = 100;
inline constexpr int StartupBoxTimeoutMs = 3000;

/// The about box's picture button.
inline constexpr int AboutPictureControl = 578;

/// "DLG_ABOUT": the about box, with an OK button.
const platform::DialogDescription& AboutBoxDescription();
/// "DLG_ABOUT2": the start-up box, without one.
const platform::DialogDescription& StartupBoxDescription();

class TQNAboutDialog : public platform::Dialog {
public:
    /// The about box under `parent`, or the start-up box (no parent).
    TQNAboutDialog(QWidget* parent, bool startupBox);
    ~TQNAboutDialog() override;

    bool isStartupBox() const { return m_startupBox; }
    /// True once the credits have taken the place of the texts.
    bool showsCredits() const { return m_credits; }
    /// Puts the credits in place of the texts.
    void showCredits();

protected:
    void notify(int id, int code) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void paintPicture(QPainter& painter, const platform::OwnerDrawItem& item) const;

    bool m_startupBox;
    bool m_credits = false;
    QImage m_picture;
    QPointer<QWidget> m_parent;
};

/// Makes the hidden about box under `parent` (raises it when it exists); 1 when it exists.
int CreateAboutBox(QWidget* parent);

/// The parent `ShowAboutBox` makes the box under.
void SetAboutBoxParent(QWidget* parent);

/// Makes the about box if needed, sets the title and shows and focuses it; 1 when shown.
int ShowAboutBox(const std::string& title);

/// Makes and shows the start-up box (raises it when it exists); 1 when it exists.
int ShowStartupBox();

/// Closes the start-up box; 1 when there was one to close.
int CloseStartupBox();

/// Sets the seven texts into whichever boxes exist.
void FillAboutTexts();

/// The boxes while they exist; null otherwise.
TQNAboutDialog* AboutBox();
TQNAboutDialog* StartupBox();

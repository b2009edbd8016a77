// Help: the suite's help commands show its HTML help in a help window of the
// program's own, and say so in a box when the help is not installed. A page can
// still be handed to the desktop's browser from that window.
#pragma once

#include "platform/core/help_navigation.h"
#include "platform/core/window_handle.h"
#include "platform/qt/frame_window.h"

#include <functional>
#include <string>

class QAction;
class QTextBrowser;

namespace platform {

class HelpPages;

/// The program's one help window: a page of the help with its links followed
/// in the window, Back, Forward, Contents (the top of the page the last help
/// command opened) and Open in Browser.
class HelpWindow : public FrameWindow {
public:
    HelpWindow();

    /// Shows a help command's place and brings the window up.
    void openPlace(const HelpPlace& place);

    /// Follows a link of the page shown: a place of the help in this window, an
    /// outside address in the browser.
    void followLink(const std::string& link);

    void goBack();
    void goForward();
    void showContents();
    /// Hands the place shown to the desktop's browser; a box says when none could open it.
    void openInBrowser();

    /// The place shown; none before the first.
    const HelpPlace* place() const { return m_history.current(); }
    QTextBrowser& pages() const;

private:
    /// Shows the history's current place: its page loaded when another is shown, scrolled to its anchor.
    void showCurrent();

    HelpHistory m_history;
    std::string m_loadedPage;
    HelpPages* m_pages = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QAction* m_contents = nullptr;
};

/// The program's help window; null until a help command made it.
HelpWindow* helpWindow();

/// Runs a help command for a help file: nonzero when the help window shows it
/// (and for HELP_QUIT, which closes the window); else the box "Help is not
/// available." naming the missing page, owned by `owner`, and 0.
int showHelp(WindowHandle owner, const std::string& helpFile, unsigned command, long data);

/// Opens an address in the desktop's browser; true when it was opened. Set
/// another opener for tests; an empty one brings the browser back.
using HelpOpener = std::function<bool(const std::string& address)>;
void setHelpOpener(HelpOpener opener);

/// Opens an address (a page, a mail link) through the opener set; true when it was opened.
bool openAddress(const std::string& address);

} // namespace platform

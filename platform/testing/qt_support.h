// Test support for windows and dialogs under the offscreen platform: the one
// application of a test program, controls and commands found by their names,
// the next modal dialog or box answered, and grabs saved as PNG files.
#pragma once

#include "platform/qt/application.h"

#include <QImage>
#include <QMessageBox>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class QAction;

namespace testsupport {

/// The test program's application, made on first use.
platform::Application& testApplication();

/// The control "id<N>" inside `root`; null when there is none.
template <class Widget = QWidget>
Widget* findControl(const QWidget& root, int id)
{
    return root.findChild<Widget*>(QStringLiteral("id%1").arg(id));
}

/// The first action "cmd_<N>" inside `root`; null when there is none.
QAction* findCommand(const QWidget& root, int id);

/// From the event loop, calls `answer` with the next modal dialog or box to
/// open (one that is not open yet), within `timeoutMs`; the answer closes it.
/// A dialog the answer left open is rejected `timeoutMs` later, so that a
/// wrong answer fails the test instead of hanging it.
void answerNextModal(std::function<void(QWidget& modal)> answer, int timeoutMs = 5000);

/// Answers the next message box by pressing one of its buttons; the box's
/// text goes to `text` when given.
void answerNextBox(QMessageBox::StandardButton button, std::string* text = nullptr, int timeoutMs = 5000);

/// Types the text into the window as the window system delivers keys: to the
/// window's focus widget, unless a modal dialog keeps the window from input.
void typeAsUser(QWidget& window, const std::string& text);

/// Clicks the first entry of the window's menu bar as the window system
/// delivers a click; true when its menu opened (it is closed again).
bool menuOpensOnClick(QWidget& window);

/// The processes whose live main windows are registered under the class name, most recently activated first.
std::vector<pid_t> processesWithWindow(const std::string& className);

/// Grabs the widget as it is drawn now; the picture is also saved as
/// "<name>.png" in $ORVANTA_GRAB_DIR when that is set.
QImage grabToPng(QWidget& widget, const std::string& name);

/// Whether the window shows the icon of that name at each of its sizes.
bool showsWindowIcon(const QWidget& window, std::string_view name);

/// Converts a metafile with the outside converter wmf2svg into `svgPath`: the SVG's
/// text, or none with the reason in `error`, which stays empty when the converter
/// is not installed.
std::optional<std::string> convertMetafileToSvg(const std::string& wmfPath, const std::string& svgPath,
                                                std::string& error);

/// Stands in for a machine without a browser while it lives: every address
/// handed to the browser is kept in `opened` and none opens.
struct NoBrowser {
    NoBrowser();
    ~NoBrowser();
    NoBrowser(const NoBrowser&) = delete;
    NoBrowser& operator=(const NoBrowser&) = delete;

    std::vector<std::string> opened;
};

/// The place the program's help window shows, as its file:// address, with
/// " (anchor not in view)" after it when the window is not scrolled to its
/// anchor; "(no help window)" when none is visible.
std::string shownHelpPlace();

} // namespace testsupport

// The program's one log window: a read-only text of messages beside an owner
// window, kept between openings on request, printable.
#pragma once

#include "platform/core/window_handle.h"
#include "platform/qt/frame_window.h"
#include "platform/qt/printing.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPlainTextEdit;
class QPoint;
class QPrinter;
class QRect;
class QSize;
class QWidget;

/// Called when the user double-clicks a line of the log (the equation editor
/// then shows the model line the log line reports).
using LogLineCallback = std::function<void()>;

/// Command ids of the log window's menu.
inline constexpr int CM_LOG_PRINT = 105;
inline constexpr int CM_EXIT = 24310;

/// Control id of the log window's edit.
inline constexpr int ID_LOG_EDIT = 777;

/// Prints the log's lines, as many on a page as fit less one.
class TQNLogOut : public platform::Printout {
public:
    explicit TQNLogOut(std::vector<std::string> lines);
    /// The same printout under another document title.
    TQNLogOut(std::vector<std::string> lines, std::string title);
    bool hasPage(int page) override;
    void printPage(int page, platform::DeviceContext& context, int pageWidth, int pageHeight) override;

    /// Prints the lines, the print dialog first with `askUser`. A text of blanks
    /// only says "There is no text to be printed." and asks nothing; a printer
    /// that fails says "Printing is not possible.". True when printed.
    bool print(QPrinter& printer, bool askUser, QWidget* parent);

private:
    std::vector<std::string> m_lines;
    std::size_t m_nextLine = 0;
};

/// The log window: a frame with a read-only edit filling it.
class TQNLogWindow : public platform::FrameWindow {
public:
    TQNLogWindow(QWidget* owner, const std::string& caption);
    ~TQNLogWindow() override;

    QPlainTextEdit* edit() const { return m_edit; }
    /// The edit's lines; the last is the empty one after a final line end.
    std::vector<std::string> lines() const;
    /// The whole text with LF line ends.
    std::string text() const;

    /// Writes the text to the file; shows a message and returns false on failure.
    bool SaveText(const std::string& path);
    /// Replaces the text by the file's; shows a message and returns false on failure.
    bool LoadText(const std::string& path);

    /// Prints the lines; with `askUser` the print dialog comes first.
    bool print(QPrinter& printer, bool askUser);

    void setKeepSetting(const int* keep) { m_keep = keep; }
    bool keepOn() const { return m_keep && *m_keep != 0; }
    void setLineCallback(LogLineCallback callback) { m_lineCallback = std::move(callback); }

    /// Inserts the text at the end of the log, leaving the user's selection
    /// alone, and shows the last line; when the text would pass `limit`
    /// characters the user is asked once (while the window is visible)
    /// whether to clear the log.
    void insertAtEnd(std::string_view text, std::size_t limit);

    /// Empties the text.
    void clearText();

    /// Lets the out-of-space question be asked again.
    void resetOutOfSpace() { m_outOfSpaceAsked = false; }

protected:
    void handleCommand(int id) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Scrolls the text so that its last line shows.
    void showLastLine();

    QPlainTextEdit* m_edit = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    const int* m_keep = nullptr;
    LogLineCallback m_lineCallback;
    bool m_outOfSpaceAsked = false;
    bool m_clearChosen = true;
};

/// Creates the log window beside `owner` (focused when it exists already);
/// 1 when it exists afterwards, 0 for a null owner or a failed creation.
int CreateLog(QWidget* owner, const std::string& caption);

/// The owner used when `ShowLog` or `AppendLog` must create the window.
void SetLogOwner(QWidget* owner);

/// Whether `AppendLog` has a window to write to or an owner to make one beside.
bool LogCanAppend();

/// The setting that keeps the text between closing and reopening (not owned).
void SetLogKeepSetting(const int* keep);

void SetLogCallback(LogLineCallback callback);

/// Creates the window if needed, sets the caption (when not empty) and shows it.
void ShowLog(const std::string& caption);

/// Appends the text and a line end at the end of the log, creating the window if needed.
void AppendLog(std::string_view text);

/// The 0-based line of the caret; 0 when no log window exists.
int GetLogCaretLine();

/// Deletes the file of kept text, if any, and forgets its name.
void DeleteLogTempFile();

/// Keeps the geometry and, with keep on, the text of the closing window, then
/// forgets it; nothing when no log window exists.
void CloseLog();

/// Empties the text, deletes the kept-text file and resets the out-of-space question.
void ClearLog();

/// 1 when no log window exists.
int LogNotCreated();

/// The log window's handle; 0 when none.
platform::WindowHandle GetLogHandle();

/// 1 when the log window exists and its handle is a live window.
int IsLogOpen();

/// The log window; null when none.
TQNLogWindow* LogWindow();

/// The file holding kept text; empty when none.
std::string LogTempFileName();

/// The geometry the next log window gets unless its owner places it.
struct LogGeometry {
    int x = 100, y = 150, width = 400, height = 200;
};
LogGeometry LogWindowGeometry();

/// The most text the log holds before it asks whether to clear it.
void SetLogTextLimit(std::size_t characters);

/// The next log window made is placed beside this frame (screen co-ordinates), not
/// over its owner: the frame of the window that the log reports to.
void SetLogCallerFrame(const QRect& frame);

/// Where a window whose frame has `size` goes beside `frame` inside `screen`: to its
/// right, its left, below or above it, the first where it fits; else where it covers
/// the least of `frame`.
QPoint PositionBeside(const QRect& frame, const QSize& size, const QRect& screen);

/// Moves the top-level `window`, with room for its decorations, beside `frame` on its screen.
void PlaceBeside(QWidget& window, const QRect& frame);

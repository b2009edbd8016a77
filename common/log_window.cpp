// The log window and the program-wide state around it.
#include "common/log_window.h"

#include "common/document_printing.h"
#include "common/message_boxes.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"
#include "platform/core/window_messages.h"
#include "platform/qt/artwork.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace {

constexpr std::size_t kLongestPrintedLine = 255;
// Room for the title bar and borders that the window manager puts around a window.
constexpr int kDecorationWidth = 8;
constexpr int kDecorationHeight = 32;

struct LogState {
    QPointer<TQNLogWindow> window;
    QPointer<QWidget> owner;
    std::string caption;
    LogGeometry geometry;
    std::string tempFile;
    const int* keep = nullptr;
    bool notCreated = false;
    std::size_t textLimit = std::size_t(64) << 20;
    bool exitHookInstalled = false;
    QRect callerFrame; ///< invalid when the log is placed by its owner
};

LogState& state()
{
    static LogState log;
    return log;
}

void removeKeptTextAtExit()
{
    DeleteLogTempFile();
}

// The file of kept text is the process's own: it goes when the process ends.
std::string makeTempFile()
{
    std::string directory = Startup().WorkingDirectory.empty() ? std::string(".") : Startup().WorkingDirectory;
    std::string pattern = platform::joinPath(directory, "quernXXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = mkstemp(name.data());
    if (descriptor < 0)
        return {};
    close(descriptor);
    if (!state().exitHookInstalled) {
        std::atexit(removeKeptTextAtExit);
        state().exitHookInstalled = true;
    }
    return std::string(name.data());
}

// Text from the programs may end lines with CR LF; the edit holds LF only.
QString toEditText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return QString::fromStdString(out);
}

void showFileFailure(const char* what, const std::string& path)
{
    std::vector<std::string> lines{"Unable to open file on current path.", what};
    if (!path.empty())
        lines.push_back(path);
    lines.push_back("Check the Templates path in General Properties,");
    lines.push_back("or consult your Orvanta manager.");
    ShowMessageLines(lines);
}

// Creates the window when it does not exist, as ShowLog and AppendLog do.
bool ensureLog(const std::string& caption)
{
    LogState& log = state();
    if (log.window)
        return true;
    if (!CreateLog(log.owner.data(), caption)) {
        if (!log.notCreated)
            ShowMessage({"Error popup window not created."});
        log.notCreated = true;
        return false;
    }
    if (log.window->keepOn() && !log.tempFile.empty())
        log.window->LoadText(log.tempFile);
    return true;
}

// A log that reports to another program's window goes beside that window, as far as the
// window manager lets a program place its windows.
void placeBesideCaller(QWidget& window)
{
    const QRect& caller = state().callerFrame;
    if (caller.isValid())
        PlaceBeside(window, caller);
}

} // namespace

TQNLogOut::TQNLogOut(std::vector<std::string> lines) : Printout("Orvanta Log Window"), m_lines(std::move(lines))
{
    if (m_lines.empty())
        m_lines.emplace_back();
}

TQNLogOut::TQNLogOut(std::vector<std::string> lines, std::string title)
    : Printout(std::move(title)), m_lines(std::move(lines))
{
    if (m_lines.empty())
        m_lines.emplace_back();
}

bool TQNLogOut::hasPage(int page)
{
    return page == 1 || m_nextLine + 1 < m_lines.size();
}

void TQNLogOut::printPage(int page, platform::DeviceContext& context, int, int pageHeight)
{
    if (page == 1)
        m_nextLine = 0;
    int lineHeight = std::max(1, context.textMetrics().height);
    int room = std::max(1, pageHeight / lineHeight - 1);
    int printed = 0;
    while (m_nextLine + printed < m_lines.size() && printed < room) {
        const std::string& line = m_lines[m_nextLine + printed];
        context.textOut(0, printed * lineHeight, std::string_view(line).substr(0, kLongestPrintedLine));
        ++printed;
    }
    m_nextLine += static_cast<std::size_t>(printed);
}

bool TQNLogOut::print(QPrinter& printer, bool askUser, QWidget* parent)
{
    if (std::all_of(m_lines.begin(), m_lines.end(), IsBlankLine)) {
        ShowMessage({"There is no text to be printed."});
        return false;
    }
    return PrintDocument(*this, printer, askUser, parent);
}

TQNLogWindow::TQNLogWindow(QWidget* owner, const std::string& caption)
    : FrameWindow("TQNLogWindow", owner)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromStdString(caption));
    platform::setWindowIcon(*this, "IC_LOG22");
    setMenuDescription("LOG_MENU", {platform::MenuItem::popup("&File", {
                                        platform::MenuItem::command("&Print", CM_LOG_PRINT),
                                        platform::MenuItem::separator(),
                                        platform::MenuItem::command("E&xit\tAlt+F4", CM_EXIT),
                                    })});
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("id%1").arg(ID_LOG_EDIT));
    m_edit->setReadOnly(true);
    m_edit->setFrameShape(QFrame::NoFrame);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->viewport()->installEventFilter(this);
    setCentralWidget(m_edit);
    QFont bold = QApplication::font();
    bold.setBold(true);
    setFont(bold);
    m_edit->setFont(bold);
}

TQNLogWindow::~TQNLogWindow()
{
    if (state().window == this)
        CloseLog();
}

std::vector<std::string> TQNLogWindow::lines() const
{
    std::vector<std::string> out;
    for (QTextBlock block = m_edit->document()->begin(); block.isValid(); block = block.next())
        out.push_back(block.text().toStdString());
    return out;
}

std::string TQNLogWindow::text() const
{
    return m_edit->toPlainText().toStdString();
}

bool TQNLogWindow::SaveText(const std::string& path)
{
    if (path.empty())
        return true;
    if (!platform::writeFileAtomically(path, text())) {
        showFileFailure("The text could not be stored.", path);
        return false;
    }
    return true;
}

bool TQNLogWindow::LoadText(const std::string& path)
{
    if (path.empty())
        return true;
    std::optional<std::string> content = platform::readFile(path);
    if (!content) {
        showFileFailure("The text could not be loaded.", path);
        return false;
    }
    // Files of older versions end with a zero byte.
    if (!content->empty() && content->back() == '\0')
        content->pop_back();
    m_edit->setPlainText(toEditText(*content));
    return true;
}

bool TQNLogWindow::print(QPrinter& printer, bool askUser)
{
    TQNLogOut printout(lines());
    return printout.print(printer, askUser, this);
}

void TQNLogWindow::insertAtEnd(std::string_view text, std::size_t limit)
{
    QString inserted = toEditText(text);
    if (static_cast<std::size_t>(m_edit->document()->characterCount()) + static_cast<std::size_t>(inserted.size()) >
        limit) {
        if (!m_outOfSpaceAsked && isVisible()) {
            m_outOfSpaceAsked = true;
            m_clearChosen = ShowConfirm("OK", "Cancel",
                                        {"The edit window has run out of text space.",
                                         "Press OK to clear the current text or",
                                         "Cancel to leave the contents unchanged."}) != 0;
        }
        if (m_clearChosen)
            clearText();
    }
    if (m_outOfSpaceAsked && !m_clearChosen)
        return;
    QTextCursor end(m_edit->document());
    end.movePosition(QTextCursor::End);
    end.insertText(inserted);
    showLastLine();
}

void TQNLogWindow::showLastLine()
{
    QScrollBar* bar = m_edit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TQNLogWindow::clearText()
{
    m_edit->clear();
    m_edit->document()->setModified(false);
}

void TQNLogWindow::handleCommand(int id)
{
    if (id == CM_LOG_PRINT) {
        if (!m_printer)
            m_printer = std::make_unique<QPrinter>();
        print(*m_printer, true);
    } else if (id == CM_EXIT) {
        close();
    }
}

void TQNLogWindow::closeEvent(QCloseEvent* event)
{
    if (!keepOn())
        DeleteLogTempFile();
    event->accept();
    if (state().window == this) {
        CloseLog();
        deleteLater();
    }
}

bool TQNLogWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The callback reads the caret, which the edit moves after this filter.
    if (watched == m_edit->viewport() && event->type() == QEvent::MouseButtonDblClick && m_lineCallback)
        QMetaObject::invokeMethod(this, [this] {
            if (m_lineCallback)
                m_lineCallback();
        }, Qt::QueuedConnection);
    return FrameWindow::eventFilter(watched, event);
}

int CreateLog(QWidget* owner, const std::string& caption)
{
    LogState& log = state();
    if (!owner)
        return 0;
    if (log.window) {
        log.window->activateWindow();
        log.window->setFocus();
        return 1;
    }
    if (log.owner) {
        QRect frame = log.owner->frameGeometry();
        log.geometry.x = frame.left() + 100;
        log.geometry.y = frame.top() + 150;
    }
    if (QScreen* screen = QApplication::primaryScreen()) {
        QRect desktop = screen->geometry();
        log.geometry.width = desktop.width() / 2;
        log.geometry.height = desktop.height() / 3;
    }
    auto* window = new TQNLogWindow(owner, caption);
    window->setKeepSetting(log.keep);
    window->setGeometry(log.geometry.x, log.geometry.y, log.geometry.width, log.geometry.height);
    placeBesideCaller(*window);
    log.window = window;
    log.owner = owner;
    log.caption = caption;
    log.notCreated = false;
    window->setFocus();
    return 1;
}

void SetLogOwner(QWidget* owner)
{
    state().owner = owner;
}

bool LogCanAppend()
{
    return state().window || state().owner;
}

void SetLogKeepSetting(const int* keep)
{
    // Kept for the windows made later too, so that the kept text comes back.
    state().keep = keep;
    if (state().window)
        state().window->setKeepSetting(keep);
}

void SetLogCallback(LogLineCallback callback)
{
    if (state().window)
        state().window->setLineCallback(std::move(callback));
}

void ShowLog(const std::string& caption)
{
    LogState& log = state();
    log.notCreated = false;
    if (!ensureLog(caption))
        return;
    TQNLogWindow* window = log.window.data();
    SetTempMessageOwner(window->handle());
    window->resetOutOfSpace();
    if (!caption.empty()) {
        window->setWindowTitle(QString::fromStdString(caption));
        log.caption = caption;
    }
    window->show();
    window->activateWindow();
    window->edit()->setFocus();
}

void AppendLog(std::string_view text)
{
    LogState& log = state();
    if (!log.window && !ensureLog(log.caption))
        return;
    std::string line(text);
    line += "\r\n";
    log.window->insertAtEnd(line, log.textLimit);
}

int GetLogCaretLine()
{
    TQNLogWindow* window = state().window.data();
    return window ? window->edit()->textCursor().blockNumber() : 0;
}

void DeleteLogTempFile()
{
    LogState& log = state();
    if (!log.tempFile.empty())
        std::remove(log.tempFile.c_str());
    log.tempFile.clear();
}

void CloseLog()
{
    LogState& log = state();
    TQNLogWindow* window = log.window.data();
    if (!window)
        return;
    QRect frame = window->geometry();
    log.geometry = LogGeometry{frame.x(), frame.y(), frame.width(), frame.height()};
    if (window->keepOn()) {
        // One file of kept text at a time: the previous closing's goes.
        DeleteLogTempFile();
        log.tempFile = makeTempFile();
        if (log.tempFile.empty())
            showFileFailure("The text could not be stored.", Startup().WorkingDirectory);
        else if (!window->SaveText(log.tempFile))
            DeleteLogTempFile();
    }
    log.window = nullptr;
    RestoreMessageOwner();
}

void ClearLog()
{
    TQNLogWindow* window = state().window.data();
    if (!window)
        return;
    window->clearText();
    window->update();
    DeleteLogTempFile();
    window->resetOutOfSpace();
}

int LogNotCreated()
{
    return state().window ? 0 : 1;
}

platform::WindowHandle GetLogHandle()
{
    TQNLogWindow* window = state().window.data();
    return window ? window->handle() : 0;
}

int IsLogOpen()
{
    platform::WindowHandle handle = GetLogHandle();
    return handle != 0 && platform::isWindow(handle) ? 1 : 0;
}

TQNLogWindow* LogWindow()
{
    return state().window.data();
}

std::string LogTempFileName()
{
    return state().tempFile;
}

LogGeometry LogWindowGeometry()
{
    return state().geometry;
}

void SetLogTextLimit(std::size_t characters)
{
    state().textLimit = characters;
}

void SetLogCallerFrame(const QRect& frame)
{
    state().callerFrame = frame;
}

QPoint PositionBeside(const QRect& frame, const QSize& size, const QRect& screen)
{
    const QPoint sides[] = {
        {frame.right() + 1, frame.top()},
        {frame.left() - size.width(), frame.top()},
        {frame.left(), frame.bottom() + 1},
        {frame.left(), frame.top() - size.height()},
    };
    QPoint best;
    qint64 leastCovered = -1;
    for (const QPoint& side : sides) {
        // Kept on the screen, a side that lacks room slides over the frame.
        const int x = std::clamp(side.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
        const int y = std::clamp(side.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
        const QRect covered = QRect(QPoint(x, y), size).intersected(frame);
        const qint64 area = covered.isEmpty() ? 0 : qint64(covered.width()) * covered.height();
        if (area == 0)
            return {x, y};
        if (leastCovered < 0 || area < leastCovered) {
            leastCovered = area;
            best = {x, y};
        }
    }
    return best;
}

void PlaceBeside(QWidget& window, const QRect& frame)
{
    QScreen* screen = window.screen() ? window.screen() : QApplication::primaryScreen();
    if (!screen)
        return;
    const QSize outer = window.size() + QSize(kDecorationWidth, kDecorationHeight);
    window.move(PositionBeside(frame, outer, screen->availableGeometry()));
}

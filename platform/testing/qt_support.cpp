// Offscreen window test support.
#include "platform/testing/qt_support.h"

#include "platform/core/file_system.h"
#include "platform/qt/artwork.h"
#include "platform/core/window_registry.h"
#include "platform/qt/help.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdlib>

namespace testsupport {

platform::Application& testApplication()
{
    static int argc = 1;
    static char name[] = "orvanta_test";
    static char* argv[] = {name, nullptr};
    static auto* instance = new platform::Application(argc, argv);
    return *instance;
}

QAction* findCommand(const QWidget& root, int id)
{
    return root.findChild<QAction*>(QStringLiteral("cmd_%1").arg(id));
}

void answerNextModal(std::function<void(QWidget& modal)> answer, int timeoutMs)
{
    auto* poll = new QTimer(QApplication::instance());
    QPointer<QWidget> before = QApplication::activeModalWidget();
    int waited = 0;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, before, answer, waited, timeoutMs]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        waited += poll->interval();
        if (modal && modal != before.data() && modal->isVisible()) {
            poll->stop();
            poll->deleteLater();
            QPointer<QWidget> answered = modal;
            answer(*modal);
            // An answer that left its dialog open would leave the test waiting for ever.
            QTimer::singleShot(timeoutMs, [answered] {
                if (auto* dialog = qobject_cast<QDialog*>(answered.data()); dialog && dialog->isVisible())
                    dialog->reject();
            });
        } else if (waited >= timeoutMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

std::vector<pid_t> processesWithWindow(const std::string& className)
{
    std::vector<pid_t> pids;
    for (const platform::RegisteredWindow& window : platform::liveRegisteredWindows())
        if (window.className == className)
            pids.push_back(platform::windowProcess(window.handle));
    return pids;
}

void typeAsUser(QWidget& window, const std::string& text)
{
    QWindow* handle = window.window()->windowHandle();
    if (!handle)
        return;
    for (char c : text)
        QTest::keyClick(handle, c);
    QCoreApplication::processEvents();
}

bool menuOpensOnClick(QWidget& window)
{
    auto* main = qobject_cast<QMainWindow*>(window.window());
    QWindow* handle = window.window()->windowHandle();
    if (!main || !handle || main->menuBar()->actions().isEmpty())
        return false;
    QMenuBar* bar = main->menuBar();
    const QPoint at = bar->mapTo(main, bar->actionGeometry(bar->actions().front()).center());
    QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, at);
    QTest::qWait(50);
    QWidget* popup = QApplication::activePopupWidget();
    if (popup)
        popup->close();
    QCoreApplication::processEvents();
    return popup != nullptr;
}

void answerNextBox(QMessageBox::StandardButton button, std::string* text, int timeoutMs)
{
    answerNextModal(
        [button, text](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            if (!box) {
                modal.close();
                return;
            }
            if (text)
                *text = box->text().toStdString();
            if (QAbstractButton* press = box->button(button))
                press->click();
            else
                box->close();
        },
        timeoutMs);
}

QImage grabToPng(QWidget& widget, const std::string& name)
{
    QImage shot = widget.grab().toImage();
    if (const char* where = std::getenv("ORVANTA_GRAB_DIR"); where && *where)
        shot.save(QString::fromStdString(platform::joinPath(where, name + ".png")));
    return shot;
}

bool showsWindowIcon(const QWidget& window, std::string_view name)
{
    const QIcon wanted = platform::windowIcon(name);
    if (wanted.isNull())
        return false;
    for (int size : {16, 22, 32})
        if (window.windowIcon().pixmap(size).toImage() != wanted.pixmap(size).toImage())
            return false;
    return true;
}

std::optional<std::string> convertMetafileToSvg(const std::string& wmfPath, const std::string& svgPath,
                                                std::string& error)
{
    error.clear();
    const QString converter = QStandardPaths::findExecutable("wmf2svg");
    if (converter.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(converter, {"-o", QString::fromStdString(svgPath), QString::fromStdString(wmfPath)});
    if (!process.waitForFinished(60000)) {
        error = "wmf2svg did not finish";
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = "wmf2svg failed: " + process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    std::optional<std::string> svg = platform::readFile(svgPath);
    if (!svg)
        error = "wmf2svg wrote no " + svgPath;
    return svg;
}

NoBrowser::NoBrowser()
{
    platform::setHelpOpener([this](const std::string& address) {
        opened.push_back(address);
        return false;
    });
}

NoBrowser::~NoBrowser()
{
    platform::setHelpOpener({});
}

namespace {

/// The document position of the anchor; none when the document has no such anchor.
std::optional<int> anchorPosition(const QTextDocument& document, const QString& anchor)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().anchorNames().contains(anchor))
                return it.fragment().position();
    return std::nullopt;
}

} // namespace

std::string shownHelpPlace()
{
    platform::HelpWindow* window = platform::helpWindow();
    if (!window || !window->isVisible() || !window->place())
        return "(no help window)";
    const platform::HelpPlace& place = *window->place();
    std::string shown = platform::helpAddress(place);
    QTextBrowser& pages = window->pages();
    bool inView = pages.verticalScrollBar()->value() == 0;
    if (!place.anchor.empty()) {
        std::optional<int> at = anchorPosition(*pages.document(), QString::fromStdString(place.anchor));
        QTextCursor cursor(pages.document());
        if (at)
            cursor.setPosition(*at);
        inView = at && pages.viewport()->rect().intersects(pages.cursorRect(cursor));
    }
    return inView ? shown : shown + " (anchor not in view)";
}

} // namespace testsupport

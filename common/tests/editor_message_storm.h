// What the random-message tests of the two editors share: boxes shown as real modal
// dialogs that close after a while with a random answer (so that messages arrive
// inside their loops, as in the programs), model processors that are child processes
// ended at the test's choice, and random messages of the suite for an editor's window.
#pragma once

#include "common/launcher.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace stormtest {

class Random {
public:
    explicit Random(unsigned seed) : m_engine(seed) {}
    /// 0 to n - 1.
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_engine); }
    std::uint32_t any() { return m_engine(); }

private:
    std::mt19937 m_engine;
};

/// Shows each box as a modal dialog that closes itself a moment later, answering at random
/// (or always OK once told so); counts the boxes and how deep they nested.
class ModalBoxSink : public platform::MessageSink {
public:
    explicit ModalBoxSink(Random& random) : m_random(random) {}

    platform::BoxAnswer show(const platform::MessageBoxRequest& box) override
    {
        ++shown;
        deepest = std::max(deepest, ++m_depth);
        QDialog dialog;
        dialog.setModal(true);
        QTimer::singleShot(1 + m_random.pick(15), &dialog, [&] { dialog.done(m_random.pick(2)); });
        dialog.exec();
        --m_depth;
        if (box.kind == platform::BoxKind::Message || answerOk)
            return box.kind == platform::BoxKind::YesNoCancel && !answerOk ? platform::BoxAnswer::Yes
                                                                           : platform::BoxAnswer::Ok;
        static constexpr platform::BoxAnswer kAnswers[] = {platform::BoxAnswer::Ok, platform::BoxAnswer::Cancel,
                                                           platform::BoxAnswer::Yes, platform::BoxAnswer::No};
        return box.kind == platform::BoxKind::Confirm ? kAnswers[m_random.pick(2)] : kAnswers[1 + m_random.pick(3)];
    }

    int shown = 0;
    int deepest = 0;
    bool answerOk = false;

private:
    Random& m_random;
    int m_depth = 0;
};

/// The launcher's system with the model processor as a child process that waits until
/// `endCurrent`; every other program fails to start and no running one is found.
class FakeProcessors : public LaunchServices {
public:
    ~FakeProcessors() override
    {
        while (endCurrent()) {
        }
    }

    std::optional<pid_t> start(const std::string& program, const std::vector<std::string>&) override
    {
        if (program != SiblingTable[3].executable)
            return std::nullopt;
        ++starts;
        if (current() != 0)
            ++overlaps;
        const pid_t child = ::fork();
        if (child == 0) {
            for (;;)
                ::pause();
        }
        if (child < 0)
            return std::nullopt;
        m_children.push_back(child);
        // Its log window, as a processor shows one until it ends.
        platform::registerWindow(logWindow(child), "TQNLogWindow");
        return child;
    }
    platform::WindowHandle findWindow(const std::string&) override { return 0; }
    platform::WindowHandle findWindowOfProcess(const std::string&, pid_t) override { return 0; }
    bool isWindow(platform::WindowHandle) override { return false; }
    bool post(const platform::Message&) override { return true; }
    void showNormalAndRaise(platform::WindowHandle) override {}
    void forgetWindow(platform::WindowHandle) override {}
    std::vector<std::pair<platform::WindowHandle, std::string>> windowsWithNotes(const std::string&) override
    {
        return {};
    }

    /// The log window a processor's result names.
    static platform::WindowHandle logWindow(pid_t processor) { return platform::makeWindowHandle(processor, 1); }
    /// The processor started last while it runs; 0 when none runs.
    pid_t current() const { return m_children.empty() ? 0 : m_children.back(); }
    /// Ends the processor that runs; false when none did.
    bool endCurrent()
    {
        if (m_children.empty())
            return false;
        const pid_t child = m_children.back();
        m_children.pop_back();
        platform::unregisterWindow(logWindow(child));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return true;
    }

    int starts = 0;
    int overlaps = 0; ///< starts while an earlier processor still ran

private:
    std::vector<pid_t> m_children;
};

/// Installs the fake processors for the lifetime of this object.
class ScopedLaunchServices {
public:
    explicit ScopedLaunchServices(LaunchServices& services) { SetLaunchServices(&services); }
    ~ScopedLaunchServices() { SetLaunchServices(nullptr); }
};

/// A text of the storm: a model name of the test, a name with blanks or options, or random bytes.
inline std::string randomText(Random& random, const std::vector<std::string>& names)
{
    if (random.pick(2) == 0)
        return names[std::size_t(random.pick(int(names.size())))];
    static const char* const kOdd[] = {"", "ab c", "x -model y", " -cmpnt 1 -model", "../up", "a\nb"};
    if (random.pick(2) == 0)
        return kOdd[random.pick(6)];
    std::string text(std::size_t(random.pick(80)), ' ');
    for (char& c : text)
        c = char(random.pick(256));
    return text;
}

/// One message of the suite for the editor's main window, with random parameters and text:
/// results and ends from the processor that runs and from nobody in particular, requests to
/// process and to start the processor, models to open, settings, status texts, mouse and keys.
inline platform::Message randomEditorMessage(Random& random, platform::WindowHandle window, pid_t processor,
                                             const std::vector<std::string>& names)
{
    static const platform::MessageNumber kNumbers[] = {
        UM_LAUNCH, UM_PROCESSING_DONE, UM_PROCESS_MODEL, UM_PROCESSOR_EXITED, UM_OPEN_MODEL,
        UM_NEW_WIZARD_MODEL, UM_NEW_BLANK_MODEL, UM_STATUS_TEXT, UM_SETTINGS_CHANGED,
        platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP, platform::WM_LBUTTONDBLCLK, platform::WM_RBUTTONDOWN,
        platform::WM_MOUSEMOVE, platform::WM_KEYDOWN, platform::WM_CHAR, platform::WM_USER + 0x77};
    platform::Message message;
    message.target = window;
    message.number = kNumbers[random.pick(int(std::size(kNumbers)))];
    message.wParam = random.pick(4) == 0 ? std::int64_t(random.any()) : random.pick(8) - 3;
    message.lParam = random.pick(4) == 0 ? std::int64_t(random.any()) : 0;
    if (random.pick(5) != 0)
        message.text = randomText(random, names);
    switch (message.number) {
    case UM_LAUNCH:
        // Mostly the processor, with a tail that answers this window.
        if (random.pick(4) != 0)
            message.wParam = 3;
        if (random.pick(2) == 0)
            message.text = " -cmpnt " + std::to_string(window) + " -model " + randomText(random, names);
        break;
    case UM_PROCESSING_DONE:
        // Now and then with the log window of the processor that runs, as its own result.
        if (processor != 0 && random.pick(3) == 0)
            message.lParam = std::int64_t(FakeProcessors::logWindow(processor));
        else if (random.pick(2) == 0)
            message.lParam = std::int64_t(platform::makeWindowHandle(::getpid() + 1 + random.pick(50), 1));
        break;
    case platform::WM_LBUTTONDOWN:
    case platform::WM_LBUTTONUP:
    case platform::WM_LBUTTONDBLCLK:
    case platform::WM_RBUTTONDOWN:
    case platform::WM_MOUSEMOVE:
        message.lParam = platform::pointParam(random.pick(600), random.pick(400));
        break;
    default:
        break;
    }
    return message;
}

/// Whether no dialog, pop-up or box has been open for a while, waiting at most `timeoutMs`.
inline bool settles(int timeoutMs = 30000)
{
    QElapsedTimer waited, settledFor;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        if (QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
            settledFor.invalidate();
        } else if (!settledFor.isValid()) {
            settledFor.start();
        } else if (settledFor.elapsed() >= 300) {
            return true;
        }
        QTest::qWait(10);
    }
    return false;
}

/// Posts `count` random messages to the window in bursts, while the processor that runs
/// answers and ends at random (telling the window, as the model processor does) and the
/// dialogs other than boxes are closed after a while; then lets the window settle with
/// the last processor ended. False when it did not settle.
inline bool storm(Random& random, platform::WindowHandle window, FakeProcessors& processors,
                  const std::vector<std::string>& names, int count)
{
    int posted = 0;
    QTimer poster;
    QObject::connect(&poster, &QTimer::timeout, [&] {
        for (int burst = 1 + random.pick(4); burst > 0 && posted < count; --burst, ++posted)
            platform::postMessage(randomEditorMessage(random, window, processors.current(), names));
        poster.setInterval(random.pick(6));
    });
    QPointer<QWidget> modal;
    int openFor = 0;
    QTimer processor;
    QObject::connect(&processor, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        // A dialog of the editor's own (not a box, which closes itself) closes after a while.
        if (QWidget* now = QApplication::activeModalWidget(); now != modal.data()) {
            modal = now;
            openFor = random.pick(30);
        } else if (auto* dialog = qobject_cast<QDialog*>(now); dialog && openFor-- <= 0) {
            dialog->reject();
        }
        if (const pid_t running = processors.current()) {
            if (random.pick(15) == 0)
                platform::postMessage(window, UM_PROCESSING_DONE, random.pick(7) - 3,
                                      std::int64_t(FakeProcessors::logWindow(running)));
            if (random.pick(25) == 0) {
                processors.endCurrent();
                platform::postMessage(window, UM_PROCESSOR_EXITED, 0, 0);
            }
        }
    });
    poster.start(2);
    processor.start(5);
    QElapsedTimer waited;
    waited.start();
    while (posted < count && waited.elapsed() < 120000)
        QTest::qWait(20);
    poster.stop();
    processor.stop();
    if (!settles())
        return false;
    if (processors.endCurrent())
        platform::postMessage(window, UM_PROCESSOR_EXITED, 0, 0);
    return posted == count && settles();
}

/// What the storm must leave: the window up, never a box inside another, and processors
/// started one after another, never while an earlier one ran.
inline void expectOneBoxAndOneProcessorAtATime(const QWidget& window, const ModalBoxSink& boxes,
                                               const FakeProcessors& processors)
{
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(boxes.deepest, 1) << boxes.shown << " boxes";
    EXPECT_GT(processors.starts, 1);
    EXPECT_EQ(processors.overlaps, 0) << processors.starts << " processors started";
}

/// What a storm test sets up first: its random numbers, the boxes as modal dialogs and
/// the stand-in processors, each installed for the test's length.
struct Setup {
    explicit Setup(unsigned seed) : random(seed) {}

    Random random;
    ModalBoxSink boxes{random};
    platform::ScopedMessageSink scopedBoxes{boxes};
    FakeProcessors processors;
    ScopedLaunchServices scopedProcessors{processors};
};

} // namespace stormtest

// The suite's real programs over their lifetimes: a storm of mouse and key messages leaves
// each window within a memory bound, every program a program starts is collected once it
// has ended, and a model processor ends with the editor that started it, however that ends.
#include "bench/resident_memory.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kStartMs = 30000;

/// Handles this process's messages (collecting the programs it started among them) until
/// the condition holds; false after the time out.
bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        platform::pumpMessages(20);
    }
    return true;
}

/// A process's children: their process ids and states (as /proc tells them, 'Z' for one that
/// has ended and waits to be collected).
std::vector<std::pair<pid_t, char>> childrenOf(pid_t parent)
{
    std::vector<std::pair<pid_t, char>> children;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = testsupport::readText(entry.path().string() + "/stat");
        // "pid (name) state ppid ...": the name may hold blanks and brackets.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        pid_t ppid = 0;
        if (rest >> state >> ppid && ppid == parent)
            children.emplace_back(std::stoi(name), state);
    }
    return children;
}

bool hasDefunctChild(pid_t parent)
{
    for (const auto& [pid, state] : childrenOf(parent))
        if (state == 'Z')
            return true;
    return false;
}

/// The window of the class that a child of `parent` has registered; 0 when none.
platform::WindowHandle childWindow(pid_t parent, const std::string& className)
{
    for (const auto& [pid, state] : childrenOf(parent))
        if (platform::WindowHandle window = platform::findWindowOfProcess(className, pid))
            return window;
    return 0;
}

/// A storm of mouse and key messages at points of a window, a third of them presses of
/// the right button (each asks for the pop-up menu); false when one could not be posted.
bool mouseAndKeyStorm(platform::WindowHandle window, int count, unsigned seed)
{
    static const platform::MessageNumber kNumbers[] = {
        platform::WM_RBUTTONDOWN, platform::WM_RBUTTONDOWN, platform::WM_RBUTTONDOWN, platform::WM_RBUTTONUP,
        platform::WM_MOUSEMOVE,   platform::WM_MOUSEMOVE,   platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP,
        platform::WM_KEYDOWN};
    std::mt19937 random(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    for (int i = 0; i < count; ++i) {
        const platform::MessageNumber number = kNumbers[pick(int(std::size(kNumbers)))];
        // Letters and digits only: no key that ends, deletes or asks.
        const std::int64_t lParam =
            number == platform::WM_KEYDOWN ? 0 : platform::pointParam(10 + pick(500), 10 + pick(300));
        const std::int64_t wParam = number == platform::WM_KEYDOWN ? 'A' + pick(26) : 0;
        if (!platform::postMessage(window, number, wParam, lParam))
            return false;
    }
    return true;
}

/// Whether the window's program has handled everything posted before: it answers a frame query.
bool answers(platform::WindowHandle window)
{
    return platform::queryWindowFrame(window, 20000).has_value();
}

class SuitePrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        models = dir.mkdir("models");
        // The processor renames the submodel files it reads: it works on a copy of the library.
        library = dir.file("library");
        fs::copy(ORVANTA_LIBRARY_DIR, library, fs::copy_options::recursive);
        for (const char* file : {"msd1.mg0", "pend1.mf0"})
            fs::copy(fs::path(ORVANTA_MODELS_DIR) / file, fs::path(models) / file);
        settings = dir.file("orvanta.ini");
        writeSettings(0);
    }

    void TearDown() override
    {
        // What a failed step left running ends with the test, and its children with it.
        for (pid_t pid : started) {
            for (const auto& [child, state] : childrenOf(pid))
                ::kill(child, SIGKILL);
            if (platform::processAlive(pid))
                ::kill(pid, SIGKILL);
            platform::waitForProgram(pid, 5000);
        }
    }

    /// The settings: the models and the library, and whether the processor shows its log.
    void writeSettings(int messages)
    {
        ASSERT_TRUE(platform::writeFileAtomically(
            settings, "[General]\nmodel_dirs=" + models + ";" + library +
                          "\nalias_names=models;library\n"
                          "[Graph Editor]\ndef_bond_size=3\ngrid_snap_size=1\ngrid=1\nsnap=1\nshowname=1\n"
                          "[Equation Editor]\nee_messages=1\n"
                          "[Model Processor]\nmessages=" + std::to_string(messages) + "\ntempfiles=1\n"
                          "[Simulator]\nmode=0\nsim_grid=1\ncolors=1\ndashing=0\nlinewidth=1\nwarp=1\n"));
    }

    /// Starts one of the suite's programs on the settings and waits for its main window.
    platform::WindowHandle start(const std::string& program, const std::string& className,
                                 std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.end(), {"-rc_file", settings});
        const std::optional<pid_t> pid = platform::startProgram(std::string(ORVANTA_BIN_DIR) + "/" + program, arguments);
        if (!pid)
            return 0;
        started.push_back(*pid);
        platform::WindowHandle window = 0;
        waitFor([&] { return (window = platform::findWindowOfProcess(className, *pid)) != 0; }, kStartMs);
        return window;
    }

    /// Ends a program the test started and collects it.
    void end(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        platform::waitForProgram(pid, 10000);
    }

    testsupport::TempDir dir;
    std::string models, library, settings;
    std::vector<pid_t> started;
};

TEST_F(SuitePrograms, AStormOfMouseAndKeyMessagesLeavesEveryWindowWithinItsMemoryBound)
{
    // 1500 right presses among 4500 messages: a pop-up menu that each of them left open
    // would take far more than this.
    constexpr double kBoundMb = 15;
    constexpr int kStormMessages = 4500;
    struct Case {
        const char* program;
        const char* mainClass;
        std::vector<std::string> arguments;
        const char* stormedClass;
    };
    writeSettings(1);
    const Case cases[] = {
        {"orvanta", "TQNBGEWindow", {"-model", "msd1"}, "TQNBGEWindow"},
        {"orvantaee", "TQNEEWindow", {"-model", "pend1"}, "TQNEEWindow"},
        {"orvantasim", "TQNSIMWindow", {}, "TQNSIMWindow"},
        // The processor started by hand keeps its log open: its main window and its log are stormed.
        {"orvantampx", "TQNLogWindow", {"-model", "msd1"}, "TQNMPX"},
        {"orvantampx", "TQNLogWindow", {"-model", "msd1"}, "TQNLogWindow"},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.stormedClass);
        const platform::WindowHandle main = start(c.program, c.mainClass, c.arguments);
        ASSERT_NE(main, 0u);
        const pid_t pid = platform::windowProcess(main);
        const platform::WindowHandle window = platform::findWindowOfProcess(c.stormedClass, pid);
        ASSERT_NE(window, 0u);
        // What the first pop-up and the first messages make once is not counted.
        ASSERT_TRUE(mouseAndKeyStorm(window, 100, seed));
        ASSERT_TRUE(answers(window));
        const double before = residentMegabytes(pid);

        ASSERT_TRUE(mouseAndKeyStorm(window, kStormMessages, seed++));
        ASSERT_TRUE(answers(window)) << "the program no longer answers";
        const double after = residentMegabytes(pid);
        EXPECT_LE(after - before, kBoundMb) << before << " MB before the storm, " << after << " MB after";
        EXPECT_TRUE(childrenOf(pid).empty()) << "the storm started no program";
        end(pid);
    }
}

TEST_F(SuitePrograms, AGraphEditorCollectsItsModelProcessorOnceTheProcessingHasEnded)
{
    // Without a log window the processor ends as soon as it has answered.
    const platform::WindowHandle editor = start("orvanta", "TQNBGEWindow", {"-model", "msd1"});
    ASSERT_NE(editor, 0u);
    const pid_t pid = platform::windowProcess(editor);
    ASSERT_TRUE(platform::postMessage(editor, UM_PROCESS_MODEL, 2, 0)); // Causal Analysis
    ASSERT_TRUE(waitFor([&] { return platform::fileExists(models + "/msd1.t2"); }, 60000)) << "nothing processed";
    EXPECT_TRUE(waitFor([&] { return childrenOf(pid).empty(); }, 10000)) << "the processor stays a defunct child";
    ASSERT_TRUE(answers(editor));
}

TEST_F(SuitePrograms, EveryProgramCollectsTheProgramsItStartedOnceTheyHaveEnded)
{
    struct Case {
        const char* program;
        const char* windowClass;
        std::vector<std::string> arguments;
        int startedCode; ///< the program it starts, by its code
        const char* startedClass;
    };
    const Case cases[] = {
        {"orvanta", "TQNBGEWindow", {"-model", "msd1"}, 2, "TQNSIMWindow"},
        {"orvantaee", "TQNEEWindow", {"-model", "pend1"}, 2, "TQNSIMWindow"},
        {"orvantasim", "TQNSIMWindow", {}, 1, "TQNEEWindow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const platform::WindowHandle window = start(c.program, c.windowClass, c.arguments);
        ASSERT_NE(window, 0u);
        const pid_t pid = platform::windowProcess(window);
        ASSERT_TRUE(platform::postMessage(window, UM_LAUNCH, c.startedCode, 0, std::string()));
        platform::WindowHandle child = 0;
        ASSERT_TRUE(waitFor([&] { return (child = childWindow(pid, c.startedClass)) != 0; }, kStartMs));
        ASSERT_TRUE(platform::requestCloseWindow(child));
        EXPECT_TRUE(waitFor([&] { return childrenOf(pid).empty(); }, 20000))
            << (hasDefunctChild(pid) ? "a defunct child stays" : "the started program did not end");
        ASSERT_TRUE(answers(window));
        end(pid);
    }
}

TEST_F(SuitePrograms, AModelProcessorEndsWithTheEditorThatStartedItHoweverTheEditorEnds)
{
    struct Case {
        const char* editor;
        const char* windowClass;
        const char* model;
        const char* ending; ///< "close", "terminate" or "kill"
    };
    const Case cases[] = {
        {"orvanta", "TQNBGEWindow", "msd1", "close"},
        {"orvanta", "TQNBGEWindow", "msd1", "terminate"},
        {"orvanta", "TQNBGEWindow", "msd1", "kill"},
        {"orvantaee", "TQNEEWindow", "pend1", "kill"},
    };
    // The processor keeps its log window open until it is asked to close it.
    writeSettings(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.editor) + " " + c.ending);
        const platform::WindowHandle editor = start(c.editor, c.windowClass, {"-model", c.model});
        ASSERT_NE(editor, 0u);
        const pid_t editorPid = platform::windowProcess(editor);
        ASSERT_TRUE(platform::postMessage(editor, UM_PROCESS_MODEL, 3, 0)); // Complete Processing
        platform::WindowHandle log = 0;
        ASSERT_TRUE(waitFor([&] {
            log = childWindow(editorPid, "TQNLogWindow");
            return log != 0 && platform::fileExists(models + "/" + c.model + ".e");
        }, 60000)) << "no processor answered";
        const pid_t processor = platform::windowProcess(log);

        if (std::string(c.ending) == "close")
            ASSERT_TRUE(platform::requestCloseWindow(editor));
        else
            ::kill(editorPid, std::string(c.ending) == "kill" ? SIGKILL : SIGTERM);
        EXPECT_TRUE(platform::waitForProgram(editorPid, 20000)) << "the editor did not end";
        EXPECT_TRUE(waitFor([&] { return !platform::processAlive(processor); }, 20000))
            << "the processor outlived its editor";
        if (platform::processAlive(processor))
            ::kill(processor, SIGKILL);
        std::erase(started, editorPid);
        platform::deleteFile(models + "/" + c.model + ".e");
    }
}

} // namespace

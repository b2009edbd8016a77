// The launcher's decision table against a fake system, and against a real
// sibling program (the platform's window_peer) for delivery and forwarding.
#include "common/editor_messages.h"
#include "common/launcher.h"
#include "common/startup.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/tests/message_inbox.h"
#include "platform/tests/window_peer_protocol.h"

#include <gtest/gtest.h>

#include <deque>

using namespace platform;

namespace {

constexpr int kWaitMs = 10000;

/// A system whose start, window search and posts are scripted and recorded.
class FakeServices : public LaunchServices {
public:
    bool startSucceeds = false;
    WindowHandle found = 0;
    bool foundAlive = true;
    std::deque<WindowHandle> processWindowAnswers; // one answer per search; 0 once empty
    bool processStaysAlive = true;

    std::vector<std::string> started;
    std::vector<Message> posted;
    std::vector<WindowHandle> raised, forgotten;
    std::deque<std::function<void()>> laterWork;

    std::optional<pid_t> start(const std::string& program, const std::vector<std::string>& arguments) override
    {
        std::string line = program;
        for (const std::string& word : arguments)
            line += " [" + word + "]";
        started.push_back(line);
        return startSucceeds ? std::optional<pid_t>(4242) : std::nullopt;
    }
    WindowHandle findWindow(const std::string&) override { return found; }
    WindowHandle findWindowOfProcess(const std::string&, pid_t pid) override
    {
        EXPECT_EQ(pid, 4242);
        if (processWindowAnswers.empty())
            return 0;
        WindowHandle answer = processWindowAnswers.front();
        processWindowAnswers.pop_front();
        return answer;
    }
    bool isWindow(WindowHandle window) override { return window == found && foundAlive; }
    bool processAlive(pid_t) override { return processStaysAlive; }
    bool post(const Message& message) override
    {
        posted.push_back(message);
        return true;
    }
    void showNormalAndRaise(WindowHandle window) override { raised.push_back(window); }
    void forgetWindow(WindowHandle window) override { forgotten.push_back(window); }
    void later(int, std::function<void()> work) override { laterWork.push_back(std::move(work)); }

    /// Runs scheduled work until none is left (at most `rounds` pieces).
    void runLater(int rounds = 1000)
    {
        while (!laterWork.empty() && rounds-- > 0) {
            auto work = std::move(laterWork.front());
            laterWork.pop_front();
            work();
        }
    }
};

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetStartup();
        SetLaunchServices(&fake);
    }
    void TearDown() override
    {
        SetLaunchServices(nullptr);
        ResetStartup();
    }

    FakeServices fake;
    ScriptedMessageSink sink;
    ScopedMessageSink useSink{sink};
};

} // namespace

TEST(LaunchModelName, TakesTheWordAfterModelWithoutRunningPastTheTail)
{
    struct Case {
        const char* tail;
        std::optional<std::string> name;
    };
    for (const Case& c : {
             Case{"-model tank1", "tank1"},
             Case{" -cmpnt 77 -model pend -causal_analysis", "pend"},
             Case{"-model", ""},
             Case{"-model ", ""},
             Case{"-modelX", ""},
             Case{"-model  tank1", ""},
             Case{"-modelXtank1 rest", "tank1"},
             Case{"-cmpnt 5", std::nullopt},
             Case{"", std::nullopt},
         })
        EXPECT_EQ(LaunchModelName(c.tail), c.name) << c.tail;
}

TEST_F(Launcher, CommandLinesPassTheSettingsFileOn)
{
    EXPECT_EQ(LaunchCommandLine(2, std::string("-model tank1")), "orvantasim -model tank1 -rc_file orvanta.ini");
    EXPECT_EQ(LaunchCommandLine(1, std::nullopt), "orvantaee   -rc_file orvanta.ini");
    Startup().SettingsFileName = "/home/u/my settings.ini";
    EXPECT_EQ(LaunchArguments(std::string(" -model  tank1 ")),
              (std::vector<std::string>{"-model", "tank1", "-rc_file", "/home/u/my settings.ini"}));
    EXPECT_EQ(LaunchArguments(std::nullopt), (std::vector<std::string>{"-rc_file", "/home/u/my settings.ini"}));
}

TEST_F(Launcher, DecisionTable)
{
    constexpr WindowHandle running = (4000ull << 24) | 3;
    struct Case {
        const char* what;
        bool startSucceeds;
        WindowHandle found;
        bool foundAlive;
        int code;
        std::optional<std::string> tail;
        MessageNumber message;
        int result;
        std::string startedLine;
        std::vector<Message> posted;
        std::vector<WindowHandle> raised;
        std::vector<WindowHandle> forgotten;
        std::vector<std::string> box;
    };
    const std::vector<Case> cases = {
        {"started, no message", true, running, true, 2, std::string("-model tank1"), 0, 1,
         "orvantasim [-model] [tank1] [-rc_file] [orvanta.ini]", {}, {}, {}, {}},
        {"start failed, found alive, model in the tail", false, running, true, 2, std::string("-model tank1"), 0, 1,
         "orvantasim [-model] [tank1] [-rc_file] [orvanta.ini]",
         {{running, UM_OPEN_MODEL, 0, 0, std::string("tank1")}}, {running}, {}, {}},
        {"start failed, found alive, message given", false, running, true, 1, std::nullopt, UM_NEW_WIZARD_MODEL, 1,
         "orvantaee [-rc_file] [orvanta.ini]", {{running, UM_NEW_WIZARD_MODEL, 0, 0, std::nullopt}}, {running}, {}, {}},
        {"start failed, found alive, tail without a model", false, running, true, 0, std::string("-cmpnt 12"), 0, 1,
         "orvanta [-cmpnt] [12] [-rc_file] [orvanta.ini]", {}, {running}, {}, {}},
        {"start failed, found alive, empty model name", false, running, true, 2, std::string("-model"), 0, 1,
         "orvantasim [-model] [-rc_file] [orvanta.ini]", {}, {running}, {}, {}},
        {"start failed, found stale", false, running, false, 3, std::string("-model pend"), 0, 0,
         "orvantampx [-model] [pend] [-rc_file] [orvanta.ini]", {}, {}, {running},
         {"Execution of orvantampx failed."}},
        {"start failed, not found", false, 0, false, 2, std::nullopt, UM_OPEN_MODEL, 0,
         "orvantasim [-rc_file] [orvanta.ini]", {}, {}, {}, {"Execution of orvantasim failed."}},
    };
    for (const Case& c : cases) {
        fake = FakeServices();
        sink.clear();
        fake.startSucceeds = c.startSucceeds;
        fake.found = c.found;
        fake.foundAlive = c.foundAlive;
        EXPECT_EQ(LaunchProgram(c.code, c.tail, c.message), c.result) << c.what;
        fake.runLater();
        EXPECT_EQ(fake.started, std::vector<std::string>{c.startedLine}) << c.what;
        EXPECT_EQ(fake.posted, c.posted) << c.what;
        EXPECT_EQ(fake.raised, c.raised) << c.what;
        EXPECT_EQ(fake.forgotten, c.forgotten) << c.what;
        EXPECT_EQ(sink.transcriptLines(), c.box) << c.what;
        if (!c.box.empty()) {
            EXPECT_EQ(sink.transcript()[0].caption, "Orvanta: Message") << c.what;
        }
    }
}

TEST_F(Launcher, AMessageGivenWithAFreshStartWaitsForTheNewWindow)
{
    constexpr WindowHandle fresh = (4242ull << 24) | 1;
    fake.startSucceeds = true;
    fake.processWindowAnswers = {0, 0, 0, fresh};
    EXPECT_EQ(LaunchProgram(1, std::nullopt, UM_NEW_BLANK_MODEL), 1);
    EXPECT_TRUE(fake.posted.empty());
    fake.runLater();
    EXPECT_EQ(fake.posted, (std::vector<Message>{{fresh, UM_NEW_BLANK_MODEL, 0, 0, std::nullopt}}));
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(Launcher, AnUndeliverableMessageIsReportedNotLost)
{
    fake.startSucceeds = true;
    fake.processStaysAlive = false;
    EXPECT_EQ(LaunchProgram(1, std::nullopt, UM_NEW_BLANK_MODEL), 1);
    fake.runLater();
    EXPECT_TRUE(fake.posted.empty());
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"Execution of orvantaee failed."});
}

namespace {

using Inbox = testsupport::MessageInbox;

/// The system's services, but "starting" a sibling runs the test peer in its place.
class PeerServices : public LaunchServices {
public:
    explicit PeerServices(WindowHandle reply) : m_reply(reply) {}
    bool startSucceeds = true;
    std::vector<pid_t> pids;
    std::vector<std::vector<std::string>> arguments;

    std::optional<pid_t> start(const std::string& program, const std::vector<std::string>& words) override
    {
        arguments.push_back(words);
        if (!startSucceeds)
            return std::nullopt;
        const SiblingProgram* row = nullptr;
        for (const SiblingProgram& sibling : SiblingTable)
            if (program == sibling.executable)
                row = &sibling;
        std::optional<pid_t> pid =
            startProgram(WINDOW_PEER_PATH, {"serve", row->windowClass, std::to_string(m_reply)});
        if (pid)
            pids.push_back(*pid);
        return pid;
    }

private:
    WindowHandle m_reply;
};

} // namespace

TEST_F(Launcher, TheEditorsMessagesReachTheirActionsWithTheirParametersDecoded)
{
    std::vector<std::string> calls;
    const EditorMessageActions actions{
        [&](int command) { calls.push_back("process " + std::to_string(command)); },
        [&] { calls.push_back("exited"); },
        [&](int result, WindowHandle log) {
            calls.push_back("done " + std::to_string(result) + " " + std::to_string(log));
        },
        [&](const std::string& name) { calls.push_back("open " + name); },
        [&] { calls.push_back("settings"); }};
    constexpr WindowHandle log = (5000ull << 24) | 7;
    const std::vector<Message> handled = {
        {0, UM_PROCESS_MODEL, 3, 0, std::nullopt},
        {0, UM_PROCESSING_DONE, -2, std::int64_t(log), std::nullopt},
        {0, UM_PROCESSOR_EXITED, 0, 0, std::nullopt},
        {0, UM_OPEN_MODEL, 0, 0, std::string("tank1")},
        {0, UM_OPEN_MODEL, 0, 0, std::string()},
        {0, UM_OPEN_MODEL, 0, 0, std::nullopt},
        {0, UM_SETTINGS_CHANGED, 0, 0, std::nullopt},
    };
    for (const Message& message : handled)
        EXPECT_TRUE(HandleEditorMessage(message, actions)) << message.number;
    EXPECT_EQ(calls, (std::vector<std::string>{"process 3", "done -2 " + std::to_string(log), "exited",
                                               "open tank1", "settings"}));

    // A start request goes to the launcher with its tail; other messages are the window's own.
    constexpr WindowHandle running = (4000ull << 24) | 3;
    fake.found = running;
    EXPECT_TRUE(HandleEditorMessage({0, UM_LAUNCH, 2, 0, std::string("-model tank1")}, {}));
    EXPECT_EQ(fake.started, std::vector<std::string>{"orvantasim [-model] [tank1] [-rc_file] [orvanta.ini]"});
    EXPECT_EQ(fake.raised, std::vector<WindowHandle>{running});
    calls.clear();
    EXPECT_FALSE(HandleEditorMessage({0, UM_STATUS_TEXT, 0, 0, std::string("x")}, actions));
    EXPECT_FALSE(HandleEditorMessage({0, UM_NEW_BLANK_MODEL, 0, 0, std::nullopt}, actions));
    EXPECT_TRUE(calls.empty());
    // An editor without an action for a message takes it and does nothing.
    EXPECT_TRUE(HandleEditorMessage({0, UM_PROCESSOR_EXITED, 0, 0, std::nullopt}, {}));
}

TEST(LauncherWithASibling, DeliversToTheStartedProgramThenReachesItWhileItRuns)
{
    ResetStartup();
    ScriptedMessageSink sink;
    ScopedMessageSink useSink(sink);
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    PeerServices peers(inbox.window());
    SetLaunchServices(&peers);

    ASSERT_EQ(LaunchProgram(1, std::nullopt, UM_NEW_BLANK_MODEL), 1);
    ASSERT_EQ(peers.pids.size(), 1u);
    auto ready = inbox.waitFor([](const Message& m) { return m.number == kPeerReady; });
    ASSERT_TRUE(ready);
    WindowHandle sibling = static_cast<WindowHandle>(ready->lParam);
    auto delivered = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered->wParam, UM_NEW_BLANK_MODEL);
    EXPECT_EQ(static_cast<WindowHandle>(delivered->lParam), sibling);

    // The program cannot be started again but runs: it is raised and told the model.
    peers.startSucceeds = false;
    ASSERT_EQ(LaunchProgram(1, std::string("-model tank1"), 0), 1);
    auto raised = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->wParam, PM_SHOW_NORMAL_RAISE);
    auto open = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(open);
    EXPECT_EQ(open->wParam, UM_OPEN_MODEL);
    EXPECT_EQ(open->text, "tank1");
    EXPECT_EQ(peers.arguments.back(), (std::vector<std::string>{"-model", "tank1", "-rc_file", "orvanta.ini"}));
    EXPECT_TRUE(sink.transcript().empty());

    ASSERT_TRUE(requestCloseWindow(sibling));
    auto status = waitForProgram(peers.pids[0], kWaitMs);
    EXPECT_TRUE(status);
    SetLaunchServices(nullptr);
}

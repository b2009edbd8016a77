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
#include <map>

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
    std::vector<std::pair<WindowHandle, std::string>> windowsWithNotes(const std::string& className) override
    {
        return notes[className];
    }

    /// The running windows by class, most recently activated first, with their notes.
    std::map<std::string, std::vector<std::pair<WindowHandle, std::string>>> notes;

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
        SetLaunchServices(&fake);
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

namespace {

/// What a main window on the settings file `settings` holding `model` tells of itself.
std::string noteOf(const std::string& settings, const std::string& model)
{
    return "settings=" + settings + "\nmodel=" + model + "\n";
}

} // namespace

TEST_F(Launcher, AProgramRunningOnTheSettingsFileIsHandedTheRequestInPlaceOfAStart)
{
    constexpr WindowHandle ours = (4000ull << 24) | 3, other = (4001ull << 24) | 3, holder = (4002ull << 24) | 3;
    const std::string settings = SettingsIdentity();
    ASSERT_FALSE(settings.empty());
    const std::string foreign = noteOf("/elsewhere/orvanta.ini", "");
    struct Case {
        const char* what;
        int code;
        std::optional<std::string> tail;
        MessageNumber message;
        std::vector<std::pair<WindowHandle, std::string>> running;
        std::vector<Message> posted;
        std::vector<WindowHandle> raised;
        bool started;
    };
    const std::vector<Case> cases = {
        {"the simulator is told the model", 2, std::string(" -model tank1"), 0, {{ours, noteOf(settings, "")}},
         {{ours, UM_OPEN_MODEL, 0, 0, std::string("tank1")}}, {ours}, false},
        {"the one on another settings file is passed over, however recent", 2, std::string(" -model tank1"), 0,
         {{other, foreign}, {ours, noteOf(settings, "")}}, {{ours, UM_OPEN_MODEL, 0, 0, std::string("tank1")}},
         {ours}, false},
        {"the editor holding the model comes before a more recent one", 0, std::string(" -model TANK1"), 0,
         {{ours, noteOf(settings, "pump1")}, {holder, noteOf(settings, "tank1")}},
         {{holder, UM_OPEN_MODEL, 0, 0, std::string("TANK1")}}, {holder}, false},
        {"a message goes in place of the model", 1, std::nullopt, UM_NEW_WIZARD_MODEL, {{ours, noteOf(settings, "")}},
         {{ours, UM_NEW_WIZARD_MODEL, 0, 0, std::nullopt}}, {ours}, false},
        {"nothing to hand over: brought to the front only", 2, std::nullopt, 0, {{ours, noteOf(settings, "")}}, {},
         {ours}, false},
        {"only one on another settings file: a start", 2, std::string(" -model tank1"), 0, {{other, foreign}}, {}, {},
         true},
        {"one still starting has told nothing: a start", 2, std::nullopt, 0, {{other, ""}}, {}, {}, true},
        {"a caller that waits for its answer gets a program of its own", 2, std::string(" -cmpnt 5 -model tank1"), 0,
         {{ours, noteOf(settings, "")}}, {}, {}, true},
        {"the processor does one job per start", 3, std::string(" -cmpnt 5 -model tank1"), 0,
         {{ours, noteOf(settings, "")}}, {}, {}, true},
    };
    for (const Case& c : cases) {
        fake = FakeServices();
        SetLaunchServices(&fake);
        fake.startSucceeds = true;
        fake.notes[SiblingTable[static_cast<std::size_t>(c.code)].windowClass] = c.running;
        EXPECT_EQ(LaunchProgram(c.code, c.tail, c.message), 1) << c.what;
        EXPECT_EQ(fake.started.size(), c.started ? 1u : 0u) << c.what;
        EXPECT_EQ(fake.posted, c.posted) << c.what;
        EXPECT_EQ(fake.raised, c.raised) << c.what;
    }
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(Launcher, ARequestWhileTheProgramStartedForItComesUpGoesToThatProgram)
{
    constexpr WindowHandle fresh = (4242ull << 24) | 1;
    fake.startSucceeds = true;
    ASSERT_EQ(LaunchProgram(2, std::string(" -model tank1"), 0), 1);
    ASSERT_EQ(LaunchProgram(2, std::string(" -model pump1"), 0), 1);
    ASSERT_EQ(LaunchProgram(2, std::nullopt, 0), 1);
    EXPECT_EQ(fake.started.size(), 1u) << "clicked three times, one simulator";
    // Once it has its window it comes to the front and is told the second model.
    fake.processWindowAnswers = {0, fresh};
    fake.runLater();
    EXPECT_EQ(fake.raised, std::vector<WindowHandle>{fresh});
    EXPECT_EQ(fake.posted, (std::vector<Message>{{fresh, UM_OPEN_MODEL, 0, 0, std::string("pump1")}}));

    // A program that ended before it came up is started again; the processor never waits for one.
    fake.processStaysAlive = false;
    ASSERT_EQ(LaunchProgram(2, std::nullopt, 0), 1);
    EXPECT_EQ(fake.started.size(), 2u);
    fake.processStaysAlive = true;
    ASSERT_EQ(LaunchProgram(3, std::string(" -cmpnt 5 -model tank1"), 0), 1);
    ASSERT_EQ(LaunchProgram(3, std::string(" -cmpnt 5 -model tank1"), 0), 1);
    EXPECT_EQ(fake.started.size(), 4u);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(Launcher, AModelAnotherEditorHoldsIsHandedToItAndNamedWhereItIs)
{
    constexpr WindowHandle self = (4000ull << 24) | 3, graph = (4001ull << 24) | 3, equation = (4002ull << 24) | 5;
    const std::string settings = SettingsIdentity();
    fake.notes["TQNBGEWindow"] = {{self, noteOf(settings, "msd1")}, {graph, noteOf("/elsewhere/orvanta.ini", "vdp1")}};
    fake.notes["TQNEEWindow"] = {{equation, noteOf(settings, "vdp1")}};
    int code = -1;
    // The window asking is no other editor; one on another settings file holds nothing of ours.
    EXPECT_EQ(EditorHoldingModel("msd1", self, &code), 0u);
    EXPECT_EQ(EditorHoldingModel("msd1", equation, &code), self);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(EditorHoldingModel("VDP1", self, &code), equation);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(EditorHoldingModel("", self), 0u);

    std::string status = "kept";
    EXPECT_FALSE(HandModelToItsEditor("pend1", self, status));
    EXPECT_EQ(status, "kept");
    EXPECT_TRUE(fake.posted.empty());
    ASSERT_TRUE(HandModelToItsEditor("vdp1", self, status));
    EXPECT_EQ(status, "Model vdp1 is open in the Equation Editor.");
    EXPECT_EQ(fake.raised, std::vector<WindowHandle>{equation});
    EXPECT_EQ(fake.posted, (std::vector<Message>{{equation, UM_OPEN_MODEL, 0, 0, std::string("vdp1")}}));
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

    // Asked again while it runs, it is raised and told the model: no second program.
    ASSERT_EQ(LaunchProgram(1, std::string("-model tank1"), 0), 1);
    auto raised = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->wParam, PM_SHOW_NORMAL_RAISE);
    auto open = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(open);
    EXPECT_EQ(open->wParam, UM_OPEN_MODEL);
    EXPECT_EQ(open->text, "tank1");
    EXPECT_EQ(peers.arguments.size(), 1u);

    // Once it tells the settings file it runs on, it is found by its note as well.
    ASSERT_TRUE(setWindowNote(sibling, "settings=" + SettingsIdentity() + "\nmodel=pump1\n"));
    EXPECT_EQ(FindRunningProgram(1, "tank1"), sibling);
    SetLaunchServices(&peers); // nothing is remembered of the start now
    ASSERT_EQ(LaunchProgram(1, std::string("-model pump1"), 0), 1);
    raised = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->wParam, PM_SHOW_NORMAL_RAISE);
    open = inbox.waitFor([](const Message& m) { return m.number == kPeerEcho; });
    ASSERT_TRUE(open);
    EXPECT_EQ(open->text, "pump1");
    EXPECT_EQ(peers.arguments.size(), 1u);
    EXPECT_TRUE(sink.transcript().empty());

    ASSERT_TRUE(requestCloseWindow(sibling));
    auto status = waitForProgram(peers.pids[0], kWaitMs);
    EXPECT_TRUE(status);
    SetLaunchServices(nullptr);
}

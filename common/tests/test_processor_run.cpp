// Which messages an editor takes as its own processor's, and what waits for that
// processor. The "processor" is a process of the test's choosing: this one (alive,
// owning the log windows made here) or a child that has ended.
#include "common/processor_run.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

/// A process that has ended and been reaped.
pid_t endedProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

/// A window of this process that records what it is sent.
struct RecordingWindow {
    RecordingWindow() : handle(createWindow([this](const Message& m) { received.push_back(m); })) {}
    ~RecordingWindow() { destroyWindow(handle); }
    std::vector<Message> take()
    {
        dispatchPendingMessages();
        return std::exchange(received, {});
    }
    bool askedToClose()
    {
        for (const Message& m : take())
            if (m.number == WM_SYSCOMMAND && m.wParam == SC_CLOSE)
                return true;
        return false;
    }
    WindowHandle handle;
    std::vector<Message> received;
};

TEST(ProcessorRun, OnlyTheResultOfTheProcessorStartedIsTaken)
{
    RecordingWindow log;
    const WindowHandle foreignLog = makeWindowHandle(::getpid() + 1, 7);
    const struct {
        const char* what;
        bool start;
        WindowHandle logWindow;
        bool accepted;
    } rows[] = {
        {"none started", false, log.handle, false},
        {"a log of another process", true, foreignLog, false},
        {"its own log", true, log.handle, true},
        {"no log named", true, 0, true},
    };
    for (const auto& row : rows) {
        ProcessorRun run;
        if (row.start)
            run.started(::getpid());
        EXPECT_EQ(run.acceptResult(row.logWindow), row.accepted) << row.what;
        EXPECT_EQ(run.log().window(), row.accepted ? row.logWindow : 0) << row.what;
        // One result per run: a second one is no longer awaited.
        EXPECT_FALSE(run.acceptResult(row.logWindow)) << row.what;
    }
}

TEST(ProcessorRun, AnEndCountsOnlyWhenItCanBeTheProcessorsOwn)
{
    ProcessorRun none;
    EXPECT_TRUE(none.acceptExit()) << "nothing runs: nothing to keep";

    ProcessorRun ended;
    ended.started(endedProcess());
    EXPECT_FALSE(ended.busy());
    EXPECT_TRUE(ended.acceptExit()) << "ended before its result";

    auto log = std::make_unique<RecordingWindow>();
    ProcessorRun alive;
    alive.started(::getpid());
    EXPECT_TRUE(alive.busy());
    EXPECT_FALSE(alive.acceptExit()) << "running, its result still to come";
    EXPECT_EQ(alive.process(), ::getpid());
    ASSERT_TRUE(alive.acceptResult(log->handle));
    EXPECT_FALSE(alive.acceptExit()) << "its log still open";
    EXPECT_TRUE(alive.busy());
    log.reset();
    EXPECT_FALSE(alive.acceptExit()) << "result came and log gone, but it still runs";
    EXPECT_TRUE(alive.busy());

    ProcessorRun answered;
    answered.started(endedProcess());
    ASSERT_TRUE(answered.acceptResult(0));
    EXPECT_TRUE(answered.acceptExit()) << "ended after its result";
    EXPECT_EQ(answered.process(), 0);
    EXPECT_FALSE(answered.busy());
}

TEST(ProcessorRun, AStartWaitsWhileTheProcessorRunsAndALaterOneReplacesIt)
{
    RecordingWindow log;
    ProcessorRun run;
    run.startPosted();
    EXPECT_TRUE(run.busy()) << "a start on its way keeps others back";
    EXPECT_TRUE(run.mayStart(std::string(" -model a"))) << "the start itself runs";
    run.started(::getpid());
    ASSERT_TRUE(run.acceptResult(log.handle));

    EXPECT_FALSE(run.mayStart(std::string(" -model b")));
    EXPECT_TRUE(log.askedToClose()) << "the processor that runs is asked to end";
    EXPECT_FALSE(run.mayStart(std::nullopt));
    EXPECT_TRUE(run.startWaits());
    const auto waiting = run.takeWaitingStart();
    ASSERT_TRUE(waiting.has_value());
    EXPECT_EQ(*waiting, std::nullopt) << "the later start, without a tail";
    EXPECT_FALSE(run.takeWaitingStart().has_value());

    // A start that could not start leaves nothing running.
    ProcessorRun failed;
    failed.startPosted();
    failed.started(0);
    EXPECT_FALSE(failed.busy());
    EXPECT_FALSE(failed.acceptResult(0));
}

TEST(ProcessorRun, WhatWaitsForTheEndRunsOnceItHasEndedAndNotAfterAnAcceptedEnd)
{
    ProcessorRun run;
    run.started(endedProcess());
    int resumed = 0;
    run.whenEnded([&] { ++resumed; });
    EXPECT_TRUE(run.waitsForEnd());
    ASSERT_TRUE(run.acceptResult(0));
    EXPECT_TRUE(run.acceptExit());
    EXPECT_FALSE(run.waitsForEnd());
    pumpMessages(3 * ProcessorRun::EndPollMs);
    EXPECT_EQ(resumed, 0) << "the accepted end resumes the editor itself";

    // A processor that ends without saying so is found by looking.
    run.started(endedProcess());
    run.whenEnded([&] { ++resumed; });
    run.whenEnded([&] { resumed += 10; });
    for (int round = 0; round < 100 && run.waitsForEnd(); ++round)
        pumpMessages(ProcessorRun::EndPollMs);
    EXPECT_EQ(resumed, 10) << "the later wait replaces the earlier";
    EXPECT_EQ(run.process(), 0);

    run.started(::getpid());
    run.whenEnded([&] { ++resumed; });
    run.forget();
    pumpMessages(3 * ProcessorRun::EndPollMs);
    EXPECT_EQ(resumed, 10);
    EXPECT_FALSE(run.busy());
}

TEST(ProcessorRun, WhatWaitedGoesOnThroughTheMainWindowOnce)
{
    RecordingWindow main;
    ProcessorRun run;
    std::optional<int> command = 2;
    PostWhatWaitedForProcessor(run, main.handle, command);
    std::vector<Message> posted = main.take();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].number, UM_PROCESS_MODEL);
    EXPECT_EQ(posted[0].wParam, 2);
    EXPECT_FALSE(command) << "taken";

    run.started(::getpid());
    ASSERT_FALSE(run.mayStart(std::string(" -model m")));
    command = 3;
    PostWhatWaitedForProcessor(run, main.handle, command);
    posted = main.take();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].number, UM_LAUNCH);
    EXPECT_EQ(posted[0].wParam, 3);
    EXPECT_EQ(posted[0].text, std::optional<std::string>(" -model m"));
    EXPECT_EQ(posted[1].number, UM_PROCESS_MODEL);
    EXPECT_TRUE(run.busy()) << "the start posted keeps the command back";
    PostWhatWaitedForProcessor(run, main.handle, command);
    EXPECT_TRUE(main.take().empty()) << "nothing waits any more";
}

} // namespace

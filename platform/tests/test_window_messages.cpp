// Window handles, the registry, message framing, and messages between this
// process and peer processes started from the window_peer helper.
#include "platform/core/file_system.h"
#include "platform/core/message_frame.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/temp_dir.h"
#include "platform/tests/message_inbox.h"
#include "platform/tests/window_peer_protocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

constexpr int kWaitMs = 10000;

using Inbox = testsupport::MessageInbox;

/// A window_peer serving a window of `className`, ready once its handle is known.
struct Peer {
    pid_t pid = 0;
    WindowHandle window = 0;
};

std::optional<Peer> startPeer(Inbox& inbox, const std::string& className)
{
    std::optional<pid_t> pid = startProgram("window_peer", {"serve", className, std::to_string(inbox.window())});
    if (!pid)
        return std::nullopt;
    std::optional<Message> ready =
        inbox.waitFor([&](const Message& m) { return m.number == kPeerReady && m.wParam == *pid; });
    if (!ready)
        return std::nullopt;
    return Peer{*pid, static_cast<WindowHandle>(ready->lParam)};
}

int exitCode(std::optional<int> status)
{
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

std::string entryPath(WindowHandle window, const std::string& className)
{
    return registryDirectory() + "/" + std::to_string(window) + "." + className;
}

/// A process id that is no longer in use: a started program that has ended.
pid_t endedProcess()
{
    std::optional<pid_t> pid = startProgram("/bin/true", {});
    if (!pid)
        return 0;
    waitForProgram(*pid, kWaitMs);
    return *pid;
}

} // namespace

TEST(WindowHandle, CarriesProcessAndSerial)
{
    WindowHandle handle = makeWindowHandle(4194303, 0xABCDEF);
    EXPECT_EQ(windowProcess(handle), 4194303);
    EXPECT_EQ(handle & 0xFFFFFF, 0xABCDEFu);
    WindowHandle a = newWindowHandle(), b = newWindowHandle();
    EXPECT_NE(a, b);
    EXPECT_EQ(windowProcess(a), ::getpid());
}

TEST(WindowRegistry, FolderIsPrivateAndNeverSomeoneElses)
{
    testsupport::TempDir dir;
    {
        testsupport::ScopedEnvironment runtime("XDG_RUNTIME_DIR", dir.path().c_str());
        ASSERT_TRUE(openRegistryDirectory());
        struct stat st;
        ASSERT_EQ(::stat(registryDirectory().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ::chmod(registryDirectory().c_str(), 0755);
        ASSERT_TRUE(openRegistryDirectory());
        ::stat(registryDirectory().c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    std::string other = dir.mkdir("other");
    std::string linked = dir.mkdir("linked");
    ASSERT_EQ(::symlink(other.c_str(), (linked + "/orvanta").c_str()), 0);
    testsupport::ScopedEnvironment runtime("XDG_RUNTIME_DIR", linked.c_str());
    EXPECT_FALSE(openRegistryDirectory());
    EXPECT_FALSE(registerWindow(newWindowHandle(), "Linked"));
}

TEST(WindowRegistry, FindsTheMostRecentlyActivatedWindowOfAClass)
{
    WindowHandle first = newWindowHandle(), second = newWindowHandle(), other = newWindowHandle();
    ASSERT_TRUE(registerWindow(first, "TQNSIMWindow"));
    ASSERT_TRUE(registerWindow(other, "TQNEEWindow"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(registerWindow(second, "TQNSIMWindow"));
    EXPECT_EQ(findWindowByClass("TQNSIMWindow"), second);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(touchWindow(first));
    EXPECT_EQ(findWindowByClass("tqnsimwindow"), first);
    EXPECT_EQ(findWindowByClass("TQNEEWindow"), other);
    EXPECT_EQ(findWindowByClass("TQNBGEWindow"), 0u);
    unregisterWindow(first);
    EXPECT_EQ(findWindowByClass("TQNSIMWindow"), second);
    unregisterWindow(second);
    unregisterWindow(other);
    EXPECT_EQ(findWindowByClass("TQNSIMWindow"), 0u);
}

TEST(WindowRegistry, ANoteIsReadByOthersAndLeavesTheOrderOfActivations)
{
    WindowHandle older = newWindowHandle(), newer = newWindowHandle();
    ASSERT_TRUE(registerWindow(older, "TQNSIMWindow"));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(registerWindow(newer, "TQNSIMWindow"));
    EXPECT_EQ(windowNote(older), "");
    // Writing the older window's note does not make it the most recently activated.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(setWindowNote(older, "settings=/a/orvanta.ini\nmodel=tank1\n"));
    EXPECT_EQ(findWindowByClass("TQNSIMWindow"), newer);
    EXPECT_EQ(windowNote(older), "settings=/a/orvanta.ini\nmodel=tank1\n");
    ASSERT_TRUE(setWindowNote(older, "model=\n"));
    EXPECT_EQ(windowNote(older), "model=\n");
    // Registering anew starts without a note; a window without an entry has none to write.
    ASSERT_TRUE(registerWindow(older, "TQNSIMWindow"));
    EXPECT_EQ(windowNote(older), "");
    unregisterWindow(older);
    unregisterWindow(newer);
    EXPECT_FALSE(setWindowNote(older, "model=x\n"));
    EXPECT_EQ(windowNote(older), "");
}

TEST(WindowRegistry, RefusesClassNamesThatAreNoFileNames)
{
    for (const char* name : {"", ".", "..", "a/b", "../escape"})
        EXPECT_FALSE(registerWindow(newWindowHandle(), name)) << name;
}

TEST(WindowRegistry, EntriesOfEndedProcessesAreRemovedWhenSeen)
{
    pid_t ended = endedProcess();
    ASSERT_GT(ended, 0);
    ASSERT_FALSE(processAlive(ended));
    WindowHandle stale = makeWindowHandle(ended, 1);
    ASSERT_TRUE(openRegistryDirectory());
    std::string path = entryPath(stale, "TQNMPX");
    { FILE* f = std::fopen(path.c_str(), "w"); ASSERT_TRUE(f); std::fclose(f); }
    EXPECT_EQ(findWindowByClass("TQNMPX"), 0u);
    EXPECT_FALSE(hasRegistryEntry(stale));
    EXPECT_FALSE(postMessage(stale, UM_PROCESSING_DONE, 3, 0));
}

TEST(WindowRegistry, AnEntryWhoseProcessIdIsInUseAgainGoesAtTheFirstPost)
{
    // A live process that is none of ours stands for an ended one whose id was reused.
    std::optional<pid_t> other = startProgram("/bin/sleep", {"30"});
    ASSERT_TRUE(other);
    WindowHandle stale = makeWindowHandle(*other, 1);
    ASSERT_TRUE(openRegistryDirectory());
    { FILE* f = std::fopen(entryPath(stale, "TQNEEWindow").c_str(), "w"); ASSERT_TRUE(f); std::fclose(f); }
    EXPECT_EQ(findWindowByClass("TQNEEWindow"), stale);
    EXPECT_FALSE(postMessage(stale, UM_SETTINGS_CHANGED, 0, 0));
    EXPECT_FALSE(hasRegistryEntry(stale));
    ::kill(*other, SIGKILL);
    waitForProgram(*other, kWaitMs);
}

TEST(MessageFrame, RoundTripsEveryField)
{
    std::vector<Message> cases = {
        {makeWindowHandle(1234, 5), UM_OPEN_MODEL, -1, INT64_MIN, std::string("tank1")},
        {1, UM_PROCESSING_DONE, -3, INT64_MAX, std::nullopt},
        {~0ull, 0xFFFFFFFFu, 0, 0, std::string()},
        {7, UM_STATUS_TEXT, 0, 0, std::string("with\0nul\xff", 9)},
    };
    std::string stream;
    for (const Message& m : cases)
        stream += encodeMessage(m);
    // Byte by byte and all at once give the same messages.
    for (std::size_t step : {std::size_t{1}, stream.size()}) {
        MessageDecoder decoder;
        std::vector<Message> out;
        for (std::size_t at = 0; at < stream.size(); at += step)
            decoder.feed(std::string_view(stream).substr(at, step), out);
        EXPECT_FALSE(decoder.failed());
        EXPECT_FALSE(decoder.pending());
        EXPECT_EQ(out, cases);
    }
}

TEST(MessageFrame, BrokenFramesFailWithoutReadingPastThem)
{
    std::string good = encodeMessage({9, UM_LAUNCH, 2, 0, std::string("-model x")});
    auto patched = [&](std::size_t at, std::string bytes) {
        std::string frame = good;
        frame.replace(at, bytes.size(), bytes);
        return frame;
    };
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"bad magic", patched(0, "XXXX")},
        {"length beyond the largest text", patched(4, std::string("\xff\xff\xff\x7f", 4))},
        {"a text one byte beyond the largest", [&] {
             std::string frame = encodeMessage({9, UM_OPEN_MODEL, 0, 0, std::string(kMaxMessageText, 'm')});
             const std::uint32_t body = 33 + kMaxMessageText + 1;
             const std::uint32_t text = kMaxMessageText + 1;
             frame.replace(4, 4, std::string(reinterpret_cast<const char*>(&body), 4));
             frame.replace(8 + 29, 4, std::string(reinterpret_cast<const char*>(&text), 4));
             return frame + "m";
         }()},
        {"length below the fixed fields", patched(4, std::string("\x05\0\0\0", 4))},
        {"text flag out of range", patched(8 + 28, "\x02")},
        {"text length disagrees with the frame", patched(8 + 29, std::string("\x01\0\0\0", 4))},
        {"no text flag but a text length", patched(8 + 28, std::string(1, '\0'))},
    };
    for (const Case& c : cases) {
        MessageDecoder decoder;
        std::vector<Message> out;
        decoder.feed(c.bytes + good, out);
        EXPECT_TRUE(decoder.failed()) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
        decoder.feed(good, out);
        EXPECT_TRUE(out.empty()) << c.what;
    }
    // The largest text is taken, and the suite's longest texts (command tails of a few
    // paths) are far below it.
    MessageDecoder largest;
    std::vector<Message> out;
    const Message whole{9, UM_STATUS_TEXT, 0, 0, std::string(kMaxMessageText, 's')};
    largest.feed(encodeMessage(whole), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], whole);
    EXPECT_GE(kMaxMessageText, std::size_t{4 * 4096});
    out.clear();
    MessageDecoder truncated;
    truncated.feed(good.substr(0, good.size() - 1), out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(truncated.pending());
    EXPECT_FALSE(truncated.failed());
}

TEST(MessageFrame, AFrameLongerThanAnyMessageIsRefusedByItsHeaderAlone)
{
    // A header that claims a megabyte: refused once its eight bytes are in, nothing awaited.
    for (std::uint32_t claimed : {std::uint32_t(33 + kMaxMessageText + 1), std::uint32_t(1) << 20, ~std::uint32_t(0)}) {
        std::string header = "OVM1" + std::string(reinterpret_cast<const char*>(&claimed), 4);
        MessageDecoder decoder;
        std::vector<Message> out;
        decoder.feed(header, out);
        EXPECT_TRUE(decoder.failed()) << claimed;
        EXPECT_FALSE(decoder.pending()) << claimed;
        EXPECT_NE(decoder.failure().find(std::to_string(std::uint64_t(claimed) + 8) + " bytes"), std::string::npos)
            << decoder.failure();
        EXPECT_NE(decoder.failure().find("longer than the largest message"), std::string::npos);
    }
    MessageDecoder badMagic;
    std::vector<Message> out;
    badMagic.feed("XXXXXXXX", out);
    EXPECT_EQ(badMagic.failure(), "no frame (bad magic word)");
}

TEST(LocalMessages, PostsQueueAndSendsDeliverAtOnce)
{
    Inbox inbox;
    ASSERT_TRUE(postMessage(inbox.window(), UM_STATUS_TEXT, 0, 0, std::string("posted")));
    EXPECT_TRUE(inbox.received().empty());
    ASSERT_TRUE(sendMessage({inbox.window(), UM_SETTINGS_CHANGED, 0, 0, std::nullopt}));
    ASSERT_EQ(inbox.received().size(), 1u);
    EXPECT_EQ(inbox.received()[0].number, UM_SETTINGS_CHANGED);
    std::optional<Message> posted = inbox.waitFor([](const Message& m) { return m.number == UM_STATUS_TEXT; });
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->text, "posted");
    EXPECT_TRUE(isWindow(inbox.window()));
}

TEST(LocalMessages, AGoneWindowGetsNothing)
{
    WindowHandle window;
    int calls = 0;
    window = createWindow([&](const Message&) { ++calls; });
    ASSERT_TRUE(postMessage(window, UM_OPEN_MODEL, 0, 0));
    destroyWindow(window);
    EXPECT_FALSE(isWindow(window));
    EXPECT_FALSE(postMessage(window, UM_OPEN_MODEL, 0, 0));
    pumpMessages(20);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(postMessage(0, UM_OPEN_MODEL, 0, 0));
}

TEST(LocalMessages, LaterWorkRunsInOrderOfItsTimeFromThePump)
{
    std::vector<int> ran;
    // Measured from before the first call, so that the 60 ms of the last one lie inside.
    const auto start = std::chrono::steady_clock::now();
    callLater(60, [&] { ran.push_back(3); });
    int cancelled = callLater(10, [&] { ran.push_back(99); });
    callLater(30, [&] { ran.push_back(2); });
    callLater(0, [&] {
        ran.push_back(1);
        callLater(0, [&] { ran.push_back(4); });
    });
    cancelCallLater(cancelled);
    while (ran.size() < 4 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        pumpMessages(100);
    EXPECT_EQ(ran, (std::vector<int>{1, 4, 2, 3}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST(ProcessMessages, APeerFindsThisWindowByClassAndPostsATextAndANegativeWParam)
{
    Inbox inbox;
    ASSERT_TRUE(registerTopLevelWindow(inbox.window(), "TQNBGEWindow"));
    std::optional<pid_t> pid = startProgram("window_peer", {"post", "TQNBGEWindow", std::to_string(UM_OPEN_MODEL),
                                                            "-42", "-9000000000", "tank1 with blanks"});
    ASSERT_TRUE(pid);
    // The peer has no event loop: its post is written before it ends.
    EXPECT_EQ(exitCode(waitForProgram(*pid, kWaitMs)), 0);
    std::optional<Message> got = inbox.waitFor([](const Message& m) { return m.number == UM_OPEN_MODEL; });
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, (Message{inbox.window(), UM_OPEN_MODEL, -42, -9000000000LL, std::string("tank1 with blanks")}));
    EXPECT_TRUE(inbox.received().empty());
}

TEST(ProcessMessages, AKilledPeersWindowIsNoWindowAndItsEntryGoes)
{
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    std::optional<Peer> peer = startPeer(inbox, "TQNSIMWindow");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(isWindow(peer->window));
    EXPECT_EQ(findWindowByClass("TQNSIMWindow"), peer->window);
    ASSERT_EQ(::kill(peer->pid, SIGKILL), 0);
    std::optional<int> status = waitForProgram(peer->pid, kWaitMs);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_TRUE(hasRegistryEntry(peer->window));
    EXPECT_FALSE(isWindow(peer->window));
    EXPECT_FALSE(hasRegistryEntry(peer->window));
    EXPECT_NE(::access(processSocketPath(peer->pid).c_str(), F_OK), 0);
}

TEST(ProcessMessages, ABroadcastReachesEveryLiveRegisteredWindow)
{
    Inbox inbox;
    ASSERT_TRUE(registerTopLevelWindow(inbox.window(), "TQNEEWindow"));
    std::optional<Peer> one = startPeer(inbox, "TQNBGEWindow");
    std::optional<Peer> two = startPeer(inbox, "TQNSIMWindow");
    ASSERT_TRUE(one && two);
    inbox.received().clear();

    EXPECT_EQ(broadcastMessage(UM_SETTINGS_CHANGED, 0, 0), 3);
    // This process's own window has it already: broadcasts are sent.
    ASSERT_EQ(inbox.received().size(), 1u);
    EXPECT_EQ(inbox.received()[0].number, UM_SETTINGS_CHANGED);
    for (const Peer& peer : {*one, *two}) {
        auto echo = inbox.waitFor([&](const Message& m) {
            return m.number == kPeerEcho && m.wParam == UM_SETTINGS_CHANGED &&
                   static_cast<WindowHandle>(m.lParam) == peer.window;
        });
        EXPECT_TRUE(echo) << peer.pid;
    }
    for (const Peer& peer : {*one, *two}) {
        ASSERT_TRUE(requestCloseWindow(peer.window));
        EXPECT_EQ(exitCode(waitForProgram(peer.pid, kWaitMs)), 0);
    }
}

TEST(ProcessMessages, APeersWindowClosesOnRequest)
{
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    std::optional<Peer> peer = startPeer(inbox, "TQNMPX");
    ASSERT_TRUE(peer);
    ASSERT_TRUE(requestCloseWindow(peer->window));
    auto closing = inbox.waitFor([&](const Message& m) {
        return m.number == kPeerClosing && static_cast<WindowHandle>(m.lParam) == peer->window;
    });
    EXPECT_TRUE(closing);
    EXPECT_EQ(exitCode(waitForProgram(peer->pid, kWaitMs)), 0);
    EXPECT_FALSE(isWindow(peer->window));
    EXPECT_EQ(findWindowByClass("TQNMPX"), 0u);
}

TEST(ProcessMessages, MalformedSocketInputIsDroppedAndLaterMessagesArrive)
{
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    std::string good = encodeMessage({inbox.window(), UM_STATUS_TEXT, 1, 2, std::string("after")});
    std::vector<std::string> junk = {
        "",
        "garbage that is no frame at all",
        std::string("OVM1\xff\xff\xff\xff", 8) + std::string(64, 'x'),
        good.substr(0, 10),
        encodeMessage({inbox.window(), UM_STATUS_TEXT, 0, 0, std::string("x")}).replace(8 + 29, 4, "\x09\0\0\0", 4),
        encodeMessage({makeWindowHandle(::getpid(), 0xFFFFFF), UM_STATUS_TEXT, 0, 0, std::nullopt}),
    };
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::string path = processSocketPath(::getpid());
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (const std::string& bytes : junk) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    // A frame after broken bytes on the same connection is dropped with them.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address), 0);
    std::string mixed = "junk!!!!" + good;
    ::send(fd, mixed.data(), mixed.size(), MSG_NOSIGNAL);
    ::close(fd);
    pumpMessages(100);
    EXPECT_TRUE(inbox.received().empty());

    ASSERT_TRUE(registerTopLevelWindow(inbox.window(), "TQNLogWindow"));
    std::optional<pid_t> pid = startProgram("window_peer", {"post", "TQNLogWindow", std::to_string(UM_STATUS_TEXT),
                                                            "1", "2", "after"});
    ASSERT_TRUE(pid);
    waitForProgram(*pid, kWaitMs);
    auto got = inbox.waitFor([](const Message&) { return true; });
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "after");
}

namespace {

int connectToOwnServer()
{
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::string path = processSocketPath(::getpid());
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(ProcessMessages, RefusedInputIsToldOnceAndThenCounted)
{
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    std::vector<std::string> told;
    setMessageTroubleLog([&](const std::string& line) { told.push_back(line); });
    const std::uint32_t claimed = 5u << 20;
    const std::string oversized = "OVM1" + std::string(reinterpret_cast<const char*>(&claimed), 4);
    for (int i = 0; i < 3; ++i) {
        int fd = connectToOwnServer();
        ASSERT_GE(fd, 0);
        ::send(fd, oversized.data(), oversized.size(), MSG_NOSIGNAL);
        ::close(fd);
    }
    // The count of the others comes a second after the first line.
    for (int turn = 0; turn < 40 && told.size() < 2; ++turn)
        pumpMessages(100);
    setMessageTroubleLog({});
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], "Message input from process " + std::to_string(::getpid()) + " was refused: a frame of " +
                           std::to_string(std::uint64_t(claimed) + 8) +
                           " bytes, longer than the largest message (" + std::to_string(8 + 33 + kMaxMessageText) +
                           " bytes).");
    EXPECT_EQ(told[1], "2 more message inputs were refused in the last second.");
}

TEST(ProcessMessages, SendersThatLeaveFramesUnfinishedDoNotKeepOthersOut)
{
    Inbox inbox;
    ASSERT_TRUE(startMessageServer());
    std::vector<std::string> told;
    setMessageTroubleLog([&](const std::string& line) { told.push_back(line); });
    const std::string half = encodeMessage({inbox.window(), UM_STATUS_TEXT, 0, 0, std::string("never ends")});
    std::vector<int> hanging;
    for (int i = 0; i < 80; ++i) {
        int fd = connectToOwnServer();
        ASSERT_GE(fd, 0);
        ::send(fd, half.data(), half.size() / 2, MSG_NOSIGNAL);
        hanging.push_back(fd);
        pumpMessages(0);
    }
    ASSERT_TRUE(registerTopLevelWindow(inbox.window(), "TQNLogWindow"));
    std::optional<pid_t> pid = startProgram("window_peer", {"post", "TQNLogWindow", std::to_string(UM_STATUS_TEXT),
                                                            "0", "0", "through"});
    ASSERT_TRUE(pid);
    auto got = inbox.waitFor([](const Message& m) { return m.number == UM_STATUS_TEXT; });
    EXPECT_EQ(exitCode(waitForProgram(*pid, kWaitMs)), 0);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "through");
    setMessageTroubleLog({});
    for (int fd : hanging)
        ::close(fd);
    ASSERT_FALSE(told.empty());
    EXPECT_NE(told[0].find("unfinished message"), std::string::npos) << told[0];
}

TEST(ProgramStart, LooksBesideTheExecutableThenOnPath)
{
    std::optional<std::string> peer = findProgram("window_peer");
    ASSERT_TRUE(peer);
    EXPECT_EQ(*peer, executableDirectory() + "/window_peer");
    testsupport::TempDir dir;
    std::string tool = dir.write("orvanta-test-tool", "#!/bin/sh\nexit 7\n");
    ::chmod(tool.c_str(), 0755);
    dir.write("not-executable", "x");
    testsupport::ScopedEnvironment path("PATH", ("/nonexistent:" + dir.path()).c_str());
    EXPECT_EQ(findProgram("orvanta-test-tool"), tool);
    EXPECT_FALSE(findProgram("not-executable"));
    EXPECT_FALSE(findProgram("no-such-program-anywhere"));
    std::optional<pid_t> pid = startProgram("orvanta-test-tool", {});
    ASSERT_TRUE(pid);
    EXPECT_EQ(exitCode(waitForProgram(*pid, kWaitMs)), 7);
    int error = 0;
    EXPECT_FALSE(startProgram("no-such-program-anywhere", {}, &error));
    EXPECT_EQ(error, ENOENT);
}

namespace {

/// The state /proc tells of a process ('Z' for one that has ended and waits to be
/// collected); 0 when there is no such process.
char stateOf(pid_t pid)
{
    const std::string stat = testsupport::readText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

/// Handles this process's messages until the condition holds; false after the time out.
bool pumpUntil(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pumpMessages(20);
    }
    return true;
}

} // namespace

TEST(ProgramStart, AStartedProgramThatEndsIsCollectedByTheDispatchOfMessagesAndItsStatusKept)
{
    std::optional<pid_t> pid = startProgram("/bin/sh", {"-c", "exit 3"});
    ASSERT_TRUE(pid);
    // Nobody waits for it: the dispatch alone collects it, so that it stays no zombie.
    EXPECT_TRUE(pumpUntil([&] { return stateOf(*pid) == 0; })) << "state " << stateOf(*pid);
    EXPECT_EQ(exitCode(waitForProgram(*pid, 0)), 3);
    EXPECT_FALSE(waitForProgram(*pid, 0)) << "told once";
}

TEST(ProcessWatch, TellsTheEndOfAProcessOnceAndNotAfterItIsCancelled)
{
    // A child that ends, one that has ended before it is watched, and a watch taken back.
    std::optional<pid_t> sleeper = startProgram("/bin/sleep", {"30"});
    std::optional<pid_t> other = startProgram("/bin/sleep", {"30"});
    ASSERT_TRUE(sleeper && other);
    const pid_t gone = endedProcess();
    int sleeperEnded = 0, goneEnded = 0, cancelledEnded = 0;
    watchProcessEnd(*sleeper, [&] { ++sleeperEnded; });
    watchProcessEnd(gone, [&] { ++goneEnded; });
    cancelProcessWatch(watchProcessEnd(*other, [&] { ++cancelledEnded; }));
    EXPECT_TRUE(pumpUntil([&] { return goneEnded == 1; }));
    pumpMessages(50);
    EXPECT_EQ(sleeperEnded, 0);

    ::kill(*sleeper, SIGKILL);
    ::kill(*other, SIGKILL);
    EXPECT_TRUE(pumpUntil([&] { return sleeperEnded == 1 && stateOf(*other) == 0; }));
    pumpMessages(100);
    EXPECT_EQ(sleeperEnded, 1);
    EXPECT_EQ(goneEnded, 1);
    EXPECT_EQ(cancelledEnded, 0);
    EXPECT_TRUE(WIFSIGNALED(waitForProgram(*sleeper, 0).value_or(0)));
}

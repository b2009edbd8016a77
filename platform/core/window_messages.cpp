// The process's message endpoint: a local socket server and a queue, watched
// together through one epoll descriptor, and the table of this process's windows.
#include "platform/core/window_messages.h"

#include "platform/core/window_registry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/epoll.h>
#include <sys/syscall.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// A post to another process gives up when its owner does not take it within this time.
constexpr int kPostTimeoutMs = 2000;
// Connections held open at once; when all are taken, the one quiet longest gives way to a new one.
constexpr std::size_t kMaxConnections = 64;
// The bytes read from one connection and from all of them in one turn of the dispatch: the
// rest waits in the sockets, so that a sender faster than the program cannot fill its memory.
constexpr std::size_t kReadPerConnection = 256 * 1024;
constexpr std::size_t kReadPerTurn = 4 * 1024 * 1024;
// Refused input is told at once, then at most once a second.
constexpr int kRefusalReportMs = 1000;
// Where the system gives no descriptor for a process, how often its end is looked for.
constexpr int kProcessPollMs = 250;

struct Connection {
    int fd = -1;
    pid_t peer = 0;
    std::uint64_t lastActive = 0;
    MessageDecoder decoder;
};

struct LaterWork {
    int id = 0;
    std::function<void()> work;
};

using Clock = std::chrono::steady_clock;

/// A process whose end is awaited: through its descriptor, or looked for now and then.
struct ProcessWatch {
    pid_t pid = 0;
    int fd = -1; ///< -1 while polled
    std::function<void()> ended;
};

struct Endpoint {
    pid_t pid = 0;
    int epollFd = -1;
    int wakeFd = -1;
    int timerFd = -1;
    std::multimap<Clock::time_point, LaterWork> later;
    int lastLaterId = 0;
    int listenFd = -1;
    std::string socketPath;
    std::map<int, Connection> connections;
    std::deque<Message> queue;
    std::map<WindowHandle, MessageHandler> windows;
    bool exitHookSet = false;
    std::uint64_t activity = 0;
    MessageTroubleLog troubleLog;
    bool refusalReportWaits = false;
    int refusalsUntold = 0;
    int refusalRound = 0;
    std::map<int, ProcessWatch> watches; ///< by id
    int lastWatchId = 0;
};

Endpoint& endpoint()
{
    // Never destroyed, so that the exit hook and late posts always find it.
    static Endpoint* instance = new Endpoint;
    return *instance;
}

void closeEndpoint(Endpoint& e)
{
    for (auto& [fd, connection] : e.connections)
        ::close(fd);
    e.connections.clear();
    for (auto& [id, watch] : e.watches)
        if (watch.fd >= 0)
            ::close(watch.fd);
    e.watches.clear();
    for (int* fd : {&e.listenFd, &e.wakeFd, &e.timerFd, &e.epollFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (!e.socketPath.empty())
        ::unlink(e.socketPath.c_str());
    e.socketPath.clear();
}

void removeOwnEntries()
{
    Endpoint& e = endpoint();
    for (const auto& [window, handler] : e.windows)
        unregisterWindow(window);
}

void atProcessExit()
{
    if (endpoint().pid == ::getpid()) {
        removeOwnEntries();
        closeEndpoint(endpoint());
    }
}

bool watch(Endpoint& e, int fd)
{
    struct epoll_event event {};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(e.epollFd, EPOLL_CTL_ADD, fd, &event) == 0;
}

// The epoll descriptor and the wake-up counter of local posts, made once per process.
bool ensureQueue()
{
    Endpoint& e = endpoint();
    if (e.pid != ::getpid()) {
        // A forked child owns none of its parent's descriptors' meaning.
        e.connections.clear();
        e.epollFd = e.wakeFd = e.listenFd = e.timerFd = -1;
        e.socketPath.clear();
        e.queue.clear();
        e.later.clear();
        e.windows.clear();
        e.watches.clear();
        e.refusalReportWaits = false;
        e.refusalsUntold = 0;
        e.pid = ::getpid();
    }
    if (e.epollFd >= 0)
        return true;
    e.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    e.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    e.timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (e.epollFd < 0 || e.wakeFd < 0 || e.timerFd < 0 || !watch(e, e.wakeFd) || !watch(e, e.timerFd)) {
        closeEndpoint(e);
        return false;
    }
    if (!e.exitHookSet) {
        e.exitHookSet = true;
        std::atexit(atProcessExit);
    }
    return true;
}

void wake(Endpoint& e)
{
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(e.wakeFd, &one, sizeof one);
}

void dropConnection(Endpoint& e, int fd)
{
    ::epoll_ctl(e.epollFd, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    e.connections.erase(fd);
}

void tellTrouble(Endpoint& e, const std::string& line)
{
    if (e.troubleLog)
        e.troubleLog(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

int callLaterIn(Endpoint& e, int delayMs, std::function<void()> work);

// The first refusal is told at once; those that follow within the next second are told as a count.
void reportRefusal(Endpoint& e, const std::string& line)
{
    if (e.refusalReportWaits) {
        ++e.refusalsUntold;
        return;
    }
    tellTrouble(e, line);
    e.refusalReportWaits = true;
    callLaterIn(e, kRefusalReportMs, [&e, round = e.refusalRound] {
        if (round != e.refusalRound)
            return;
        if (e.refusalsUntold > 0)
            tellTrouble(e, std::to_string(e.refusalsUntold) + " more message input" +
                               (e.refusalsUntold == 1 ? " was" : "s were") + " refused in the last second.");
        e.refusalsUntold = 0;
        e.refusalReportWaits = false;
    });
}

// Reads what a connection has, up to the bytes `budget` allows; decoded messages join the
// queue. A connection that ends, fails or breaks the format is closed. The bytes read.
std::size_t readConnection(Endpoint& e, int fd, std::size_t budget)
{
    auto it = e.connections.find(fd);
    if (it == e.connections.end())
        return 0;
    it->second.lastActive = ++e.activity;
    std::vector<Message> decoded;
    char buffer[16384];
    bool done = false;
    std::size_t taken = 0;
    const std::size_t limit = std::min(budget, kReadPerConnection);
    while (taken < limit) {
        ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, limit - taken), MSG_DONTWAIT);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            it->second.decoder.feed(std::string_view(buffer, static_cast<std::size_t>(n)), decoded);
            if (it->second.decoder.failed()) {
                reportRefusal(e, "Message input from process " + std::to_string(it->second.peer) +
                                     " was refused: " + it->second.decoder.failure() + ".");
                done = true;
                break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        done = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    for (Message& message : decoded)
        e.queue.push_back(std::move(message));
    if (done)
        dropConnection(e, fd);
    return taken;
}

// The process at the other end of a connection, when it is this user's; 0 otherwise.
pid_t sameUserPeer(int fd)
{
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.uid != ::geteuid())
        return 0;
    return credentials.pid > 0 ? credentials.pid : 1;
}

// Closes the connection that has been quiet longest, to make room for a new one: a sender
// that leaves a frame unfinished does not keep others out for good.
void dropQuietestConnection(Endpoint& e)
{
    auto quietest = std::min_element(e.connections.begin(), e.connections.end(), [](const auto& a, const auto& b) {
        return a.second.lastActive < b.second.lastActive;
    });
    if (quietest != e.connections.end()) {
        if (quietest->second.decoder.pending())
            reportRefusal(e, "An unfinished message from process " + std::to_string(quietest->second.peer) +
                                 " was dropped to make room for another sender.");
        dropConnection(e, quietest->first);
    }
}

// Accepts new connections and reads them at once; the bytes read.
std::size_t acceptConnections(Endpoint& e, std::size_t budget)
{
    std::size_t taken = 0;
    while (taken < budget) {
        int fd = ::accept4(e.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        const pid_t peer = sameUserPeer(fd);
        if (peer == 0) {
            ::close(fd);
            continue;
        }
        if (e.connections.size() >= kMaxConnections)
            dropQuietestConnection(e);
        if (!watch(e, fd)) {
            ::close(fd);
            continue;
        }
        e.connections[fd].fd = fd;
        e.connections[fd].peer = peer;
        // Read at once: a sender's earlier post is then queued before its later one.
        taken += readConnection(e, fd, budget - taken);
    }
    return taken;
}

// A watch's descriptor goes out of the set watched and is closed.
void closeWatchDescriptor(Endpoint& e, ProcessWatch& watch)
{
    if (watch.fd < 0)
        return;
    ::epoll_ctl(e.epollFd, EPOLL_CTL_DEL, watch.fd, nullptr);
    ::close(watch.fd);
    watch.fd = -1;
}

// Tells a watch's end: its descriptor goes, and the work runs in this round of the dispatch.
void tellProcessEnded(Endpoint& e, int id)
{
    auto it = e.watches.find(id);
    if (it == e.watches.end())
        return;
    closeWatchDescriptor(e, it->second);
    std::function<void()> ended = std::move(it->second.ended);
    e.watches.erase(it);
    callLaterIn(e, 0, std::move(ended));
}

// Looks now and then whether a process without a descriptor has ended.
void pollProcess(Endpoint& e, int id)
{
    auto it = e.watches.find(id);
    if (it == e.watches.end())
        return;
    if (!processAlive(it->second.pid))
        tellProcessEnded(e, id);
    else
        callLaterIn(e, kProcessPollMs, [&e, id] { pollProcess(e, id); });
}

// The watch whose process descriptor this is; 0 when none.
int watchOfDescriptor(const Endpoint& e, int fd)
{
    for (const auto& [id, watch] : e.watches)
        if (watch.fd == fd)
            return id;
    return 0;
}

// Takes in what the descriptors have without waiting, up to the bytes of one turn.
void collectInput(Endpoint& e)
{
    struct epoll_event events[32];
    std::size_t taken = 0;
    while (taken < kReadPerTurn) {
        int count = ::epoll_wait(e.epollFd, events, 32, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        for (int i = 0; i < count && taken < kReadPerTurn; ++i) {
            int fd = events[i].data.fd;
            if (fd == e.wakeFd || fd == e.timerFd) {
                std::uint64_t value = 0;
                [[maybe_unused]] ssize_t n = ::read(fd, &value, sizeof value);
            } else if (fd == e.listenFd) {
                taken += acceptConnections(e, kReadPerTurn - taken);
            } else if (const int watch = watchOfDescriptor(e, fd)) {
                tellProcessEnded(e, watch);
            } else {
                taken += readConnection(e, fd, kReadPerTurn - taken);
            }
        }
        if (count < 32)
            return;
    }
}

// Arms the timer descriptor for the earliest waiting work (disarms it when none waits).
void armTimer(Endpoint& e)
{
    struct itimerspec when {};
    if (!e.later.empty()) {
        auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(e.later.begin()->first - Clock::now());
        long long ns = std::max<long long>(wait.count(), 1);
        when.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        when.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    ::timerfd_settime(e.timerFd, 0, &when, nullptr);
}

// Runs the work that is due now; work added meanwhile waits for the next round.
int runDueWork(Endpoint& e)
{
    std::vector<LaterWork> due;
    Clock::time_point now = Clock::now();
    while (!e.later.empty() && e.later.begin()->first <= now) {
        due.push_back(std::move(e.later.begin()->second));
        e.later.erase(e.later.begin());
    }
    for (LaterWork& work : due)
        work.work();
    armTimer(e);
    return static_cast<int>(due.size());
}

bool deliver(const Message& message)
{
    Endpoint& e = endpoint();
    auto it = e.windows.find(message.target);
    if (it == e.windows.end() || !it->second)
        return false;
    // A copy: the handler may destroy its own window.
    MessageHandler handler = it->second;
    handler(message);
    return true;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool fillAddress(const std::string& path, struct sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool postToProcess(pid_t pid, const Message& message)
{
    struct sockaddr_un address;
    if (!fillAddress(processSocketPath(pid), address))
        return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct timeval timeout {};
    timeout.tv_sec = kPostTimeoutMs / 1000;
    timeout.tv_usec = (kPostTimeoutMs % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        ::close(fd);
        // No server: the entries belong to an ended process whose id is in use again.
        if (error == ECONNREFUSED || error == ENOENT)
            removeProcessEntries(pid);
        return false;
    }
    bool ok = writeAll(fd, encodeMessage(message));
    ::close(fd);
    return ok;
}

} // namespace

WindowHandle createWindow(MessageHandler handler)
{
    ensureQueue();
    WindowHandle window = newWindowHandle();
    endpoint().windows[window] = std::move(handler);
    return window;
}

void setWindowHandler(WindowHandle window, MessageHandler handler)
{
    Endpoint& e = endpoint();
    auto it = e.windows.find(window);
    if (it != e.windows.end())
        it->second = std::move(handler);
}

void destroyWindow(WindowHandle window)
{
    Endpoint& e = endpoint();
    if (e.windows.erase(window) == 0)
        return;
    unregisterWindow(window);
    std::erase_if(e.queue, [window](const Message& message) { return message.target == window; });
}

bool registerTopLevelWindow(WindowHandle window, std::string_view className)
{
    if (windowProcess(window) != ::getpid() || endpoint().windows.count(window) == 0)
        return false;
    return startMessageServer() && registerWindow(window, className);
}

bool startMessageServer()
{
    if (!ensureQueue())
        return false;
    Endpoint& e = endpoint();
    if (e.listenFd >= 0)
        return true;
    if (!openRegistryDirectory())
        return false;
    std::string path = processSocketPath(::getpid());
    struct sockaddr_un address;
    if (!fillAddress(path, address))
        return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A socket left under our process id belongs to an ended process.
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        return false;
    }
    e.listenFd = fd;
    e.socketPath = path;
    if (!watch(e, fd)) {
        closeEndpoint(e);
        return false;
    }
    return true;
}

void stopMessageServer()
{
    Endpoint& e = endpoint();
    if (e.pid != ::getpid())
        return;
    removeOwnEntries();
    closeEndpoint(e);
}

namespace {

int callLaterIn(Endpoint& e, int delayMs, std::function<void()> work)
{
    int id = ++e.lastLaterId;
    e.later.emplace(Clock::now() + std::chrono::milliseconds(std::max(delayMs, 0)), LaterWork{id, std::move(work)});
    armTimer(e);
    return id;
}

} // namespace

int callLater(int delayMs, std::function<void()> work)
{
    if (!ensureQueue())
        return 0;
    return callLaterIn(endpoint(), delayMs, std::move(work));
}

int watchProcessEnd(pid_t pid, std::function<void()> ended)
{
    if (!ensureQueue() || pid <= 0)
        return 0;
    Endpoint& e = endpoint();
    const int id = ++e.lastWatchId;
    ProcessWatch& watch = e.watches[id];
    watch.pid = pid;
    watch.ended = std::move(ended);
    // The descriptor of the process becomes readable when it ends; without one it is polled.
    watch.fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (watch.fd >= 0) {
        struct epoll_event event {};
        event.events = EPOLLIN;
        event.data.fd = watch.fd;
        if (::epoll_ctl(e.epollFd, EPOLL_CTL_ADD, watch.fd, &event) != 0) {
            ::close(watch.fd);
            watch.fd = -1;
        }
    }
    if (watch.fd < 0)
        callLaterIn(e, 0, [&e, id] { pollProcess(e, id); });
    return id;
}

void cancelProcessWatch(int id)
{
    Endpoint& e = endpoint();
    auto it = e.watches.find(id);
    if (it == e.watches.end())
        return;
    closeWatchDescriptor(e, it->second);
    e.watches.erase(it);
}

void setMessageTroubleLog(MessageTroubleLog log)
{
    // A new log is told the next refusal at once.
    Endpoint& e = endpoint();
    e.troubleLog = std::move(log);
    e.refusalReportWaits = false;
    e.refusalsUntold = 0;
    ++e.refusalRound;
}

void cancelCallLater(int id)
{
    Endpoint& e = endpoint();
    for (auto it = e.later.begin(); it != e.later.end(); ++it) {
        if (it->second.id == id) {
            e.later.erase(it);
            break;
        }
    }
    if (e.timerFd >= 0)
        armTimer(e);
}

int messageDescriptor()
{
    return ensureQueue() ? endpoint().epollFd : -1;
}

int dispatchPendingMessages()
{
    if (!ensureQueue())
        return 0;
    Endpoint& e = endpoint();
    collectInput(e);
    // Messages posted while these are handled wait for the next round.
    std::size_t count = e.queue.size();
    int delivered = 0;
    for (std::size_t i = 0; i < count && !e.queue.empty(); ++i) {
        Message message = std::move(e.queue.front());
        e.queue.pop_front();
        if (deliver(message))
            ++delivered;
    }
    if (!e.queue.empty())
        wake(e);
    return delivered + runDueWork(e);
}

int pumpMessages(int timeoutMs)
{
    if (!ensureQueue())
        return 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int delivered = dispatchPendingMessages();
        if (delivered > 0)
            return delivered;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return 0;
        struct pollfd waiting {};
        waiting.fd = endpoint().epollFd;
        waiting.events = POLLIN;
        ::poll(&waiting, 1, static_cast<int>(left.count()));
    }
}

bool postMessage(const Message& message)
{
    pid_t pid = windowProcess(message.target);
    if (message.target == 0 || pid <= 0)
        return false;
    if (pid == ::getpid()) {
        if (!ensureQueue() || endpoint().windows.count(message.target) == 0)
            return false;
        endpoint().queue.push_back(message);
        wake(endpoint());
        return true;
    }
    if (!processAlive(pid)) {
        removeProcessEntries(pid);
        return false;
    }
    return postToProcess(pid, message);
}

bool postMessage(WindowHandle target, MessageNumber number, std::int64_t wParam, std::int64_t lParam,
                 std::optional<std::string> text)
{
    return postMessage(Message{target, number, wParam, lParam, std::move(text)});
}

bool sendMessage(const Message& message)
{
    if (windowProcess(message.target) == ::getpid())
        return deliver(message);
    return postMessage(message);
}

int broadcastMessage(MessageNumber number, std::int64_t wParam, std::int64_t lParam,
                     std::optional<std::string> text)
{
    int reached = 0;
    for (const RegisteredWindow& window : liveRegisteredWindows())
        if (sendMessage(Message{window.handle, number, wParam, lParam, text}))
            ++reached;
    return reached;
}

bool isWindow(WindowHandle window)
{
    if (window == 0)
        return false;
    if (windowProcess(window) == ::getpid())
        return endpoint().pid == ::getpid() && endpoint().windows.count(window) != 0;
    return isRegisteredWindowAlive(window);
}

bool requestCloseWindow(WindowHandle window)
{
    return postMessage(window, PM_CLOSE_WINDOW, 0, 0);
}

bool requestShowWindow(WindowHandle window)
{
    return postMessage(window, PM_SHOW_NORMAL_RAISE, 0, 0);
}

bool requestHideWindow(WindowHandle window)
{
    return postMessage(window, PM_HIDE_WINDOW, 0, 0);
}

std::optional<WindowFrame> queryWindowFrame(WindowHandle window, int timeoutMs)
{
    // The answer comes to a window of our own, which another process reaches through our socket.
    if (!startMessageServer())
        return std::nullopt;
    std::optional<WindowFrame> frame;
    bool answered = false;
    WindowHandle answer = createWindow([&](const Message& message) {
        if (message.number != PM_FRAME_ANSWER)
            return;
        answered = true;
        WindowFrame read;
        std::istringstream in(message.text.value_or(std::string()));
        if (in >> read.x >> read.y >> read.width >> read.height)
            frame = read;
    });
    if (postMessage(window, PM_QUERY_FRAME, static_cast<std::int64_t>(answer), 0)) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (answered || left.count() <= 0)
                break;
            pumpMessages(static_cast<int>(left.count()));
        }
    }
    destroyWindow(answer);
    return frame;
}

} // namespace platform

// orvanta-storm: pours a storm of messages on one running program of the suite through its
// own message socket, and watches what that does to it: random and large frames (up to
// well beyond the largest a program takes), broken and unfinished ones, and messages of
// the suite with random parameters and texts, at a steady rate for a number of seconds.
// Meanwhile it samples the program's resident memory and open descriptors; at the end it
// asks the program's window where its frame is, which any live program answers.
//
//     orvanta-storm --class TQNSIMWindow [--pid PID] [--seconds 60] [--rate 5000]
//                   [--open COMMAND] [--launch] [--mouse PERCENT] [--seed N] [--rss-bound MB] [--fds]
//
// --open posts the simulator's command message COMMAND first (101: its model chooser, a
// modal dialog), so that the storm arrives while a dialog is open. --launch mixes in
// UM_LAUNCH, which starts programs. --mouse makes that share of the messages mouse and key
// messages at points of the window's canvas (presses of either button, double clicks,
// moves and keys), as a person's hands on the window would bring them; with 100 the
// storm is nothing else. The status is 0 when the program still answers and
// its resident memory grew by no more than --rss-bound MB (100 by default).
#include "bench/resident_memory.h"
#include "platform/core/message_frame.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

constexpr MessageNumber kSimulatorCommandBase = 0xA000;
// The simulator's menu commands that end it or leave the storm nobody to ask.
constexpr int kExitCommand = 24310;

struct Options {
    std::string className;
    pid_t pid = 0;
    int seconds = 60;
    int rate = 5000;
    int openCommand = 0;
    bool launch = false;
    int mousePercent = 0;
    unsigned seed = 1;
    double rssBoundMb = 100;
    bool listDescriptors = false;
};

struct Sample {
    double seconds = 0;
    double rssMb = 0;
    int fds = 0;
};

int openDescriptors(pid_t pid)
{
    std::error_code error;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return error && count == 0 ? -1 : count;
}

std::vector<std::string> descriptorTargets(pid_t pid)
{
    std::vector<std::string> targets;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code readError;
        const auto target = std::filesystem::read_symlink(it->path(), readError);
        targets.push_back(it->path().filename().string() + " -> " + (readError ? "?" : target.string()));
    }
    std::sort(targets.begin(), targets.end());
    return targets;
}

/// A connection to the program's socket that frames are written to one after another.
class Stream {
public:
    explicit Stream(std::string path) : m_path(std::move(path)) {}
    ~Stream() { close(); }

    /// Writes the bytes, connecting first when needed; false when the program took
    /// them not (it refused the connection or dropped it meanwhile).
    bool write(const std::string& bytes)
    {
        if (m_fd < 0 && !connect())
            return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                close();
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    bool connect()
    {
        struct sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (m_path.size() >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        struct timeval timeout {};
        timeout.tv_sec = 2;
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        if (::connect(m_fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
            close();
            return false;
        }
        return true;
    }

    std::string m_path;
    int m_fd = -1;
};

class Storm {
public:
    Storm(const Options& options, WindowHandle window)
        : m_options(options), m_window(window), m_random(options.seed),
          m_stream(processSocketPath(windowProcess(window))), m_single(processSocketPath(windowProcess(window)))
    {
    }

    /// One frame of the storm, picked at random.
    void sendOne()
    {
        const int kind = pick(0, 999);
        if (kind < 10 * m_options.mousePercent)
            count(m_stream.write(encodeMessage(handMessage())));
        else if (kind < 900)
            count(m_stream.write(encodeMessage(suiteMessage(pick(0, 99) < 97 ? smallText() : largeText()))));
        else if (kind < 940)
            count(m_single.write(encodeMessage(suiteMessage(smallText()))), true);
        else if (kind < 970)
            count(m_single.write(oversizedFrame()), true);
        else if (kind < 985)
            count(m_single.write(brokenFrame()), true);
        else
            unfinishedFrame();
        ++m_sent;
    }

    long sent() const { return m_sent; }
    long refused() const { return m_refused; }
    double sentMegabytes() const { return double(m_bytes) / (1024.0 * 1024.0); }

    /// Ends the unfinished frames still held open.
    void finish()
    {
        m_hanging.clear();
        m_single.close();
        m_stream.close();
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    void count(bool written, bool closeAfter = false)
    {
        if (!written)
            ++m_refused;
        if (closeAfter)
            m_single.close();
    }

    std::string smallText()
    {
        static const std::vector<std::string> names = {"tank1", "bounce", "pendulm", "x", "", "ab c", "tank1 -model y"};
        if (pick(0, 1) == 0)
            return names[std::size_t(pick(0, int(names.size()) - 1))];
        std::string text(std::size_t(pick(0, 200)), ' ');
        for (char& c : text)
            c = static_cast<char>(pick(0, 255));
        return text;
    }

    std::string largeText()
    {
        std::string text(std::size_t(pick(1, int(kMaxMessageText))), 'a');
        text[std::size_t(pick(0, int(text.size()) - 1))] = char(pick(0, 255));
        return text;
    }

    /// A mouse or key message at a random point of the window's canvas.
    Message handMessage()
    {
        static const MessageNumber numbers[] = {WM_MOUSEMOVE,     WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP,
                                                WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,   WM_RBUTTONDBLCLK,
                                                WM_KEYDOWN,       WM_KEYUP,       WM_CHAR};
        Message message;
        message.target = m_window;
        message.number = numbers[std::size_t(pick(0, int(std::size(numbers)) - 1))];
        if (message.number == WM_KEYDOWN || message.number == WM_KEYUP || message.number == WM_CHAR) {
            message.wParam = pick(0, 255);
            message.lParam = pick(0, 1);
        } else {
            message.wParam = pick(0, 3) == 0 ? MK_LBUTTON : 0;
            message.lParam = pointParam(pick(0, 700), pick(0, 500));
        }
        return message;
    }

    /// A message of the suite, to the window or now and then to another of its process.
    Message suiteMessage(std::string text)
    {
        Message message;
        message.target = pick(0, 19) == 0 ? makeWindowHandle(windowProcess(m_window), unsigned(pick(1, 50))) : m_window;
        std::vector<MessageNumber> numbers = {UM_PROCESSING_DONE, UM_PROCESS_MODEL, UM_PROCESSOR_EXITED, UM_OPEN_MODEL,
                                              UM_NEW_WIZARD_MODEL, UM_NEW_BLANK_MODEL, UM_STATUS_TEXT,
                                              UM_SETTINGS_CHANGED, PM_QUERY_FRAME, WM_USER + 0x101,
                                              WM_USER + 0x102, WM_USER + 0x103, WM_KEYDOWN, WM_CHAR};
        if (m_options.launch)
            numbers.push_back(UM_LAUNCH);
        const int kind = pick(0, 9);
        if (kind < 6) {
            message.number = numbers[std::size_t(pick(0, int(numbers.size()) - 1))];
        } else if (kind < 9) {
            // A command of the simulator's menus, other than leaving it.
            int command = pick(0, 1) == 0 ? pick(100, 300) : pick(900, 905);
            message.number = kSimulatorCommandBase + MessageNumber(command == kExitCommand ? 900 : command);
        } else {
            // Any other number, but never the layer's requests that close or hide the window.
            message.number = MessageNumber(m_random());
            if (message.number == WM_CLOSE || message.number == WM_SYSCOMMAND ||
                (message.number >= PM_FIRST_REQUEST && message.number <= PM_LAST_REQUEST))
                message.number = WM_USER + 0x200;
        }
        message.wParam = pick(0, 3) == 0 ? std::int64_t(m_random()) : pick(-3, 3);
        // A frame query answers nobody: its answer window is none.
        if (message.number == PM_QUERY_FRAME)
            message.wParam = 0;
        message.lParam = pick(0, 3) == 0 ? std::int64_t(m_random()) : 0;
        if (pick(0, 4) != 0)
            message.text = std::move(text);
        m_bytes += message.text ? message.text->size() : 0;
        return message;
    }

    /// A frame whose length is beyond what the program takes, its whole body sent.
    std::string oversizedFrame()
    {
        Message message{m_window, UM_OPEN_MODEL, 0, 0, std::string()};
        std::string frame = encodeMessage(message);
        const std::size_t text = kMaxMessageText + 1 + std::size_t(pick(0, 3 * int(kMaxMessageText)));
        const std::size_t body = frame.size() - 8 + text;
        for (int i = 0; i < 4; ++i) {
            frame[std::size_t(4 + i)] = char((body >> (8 * i)) & 0xFF);
            frame[std::size_t(8 + 29 + i)] = char((text >> (8 * i)) & 0xFF);
        }
        frame.append(text, 'b');
        m_bytes += frame.size();
        return frame;
    }

    /// Bytes that are no frame: a bad magic word, or a length of nearly 4 GB with no body.
    std::string brokenFrame()
    {
        std::string frame = encodeMessage({m_window, UM_STATUS_TEXT, 0, 0, smallText()});
        if (pick(0, 1) == 0)
            frame.replace(0, 4, "XXXX");
        else
            frame.replace(4, 4, std::string("\xff\xff\xff\xf0", 4));
        return frame;
    }

    /// The start of a frame on a connection that stays open for a while: at most eight at once.
    void unfinishedFrame()
    {
        std::string frame = encodeMessage({m_window, UM_OPEN_MODEL, 0, 0, smallText()});
        if (m_hanging.size() >= 8)
            m_hanging.pop_front();
        m_hanging.emplace_back(processSocketPath(windowProcess(m_window)));
        count(m_hanging.back().write(frame.substr(0, frame.size() / 2)));
    }

    const Options& m_options;
    WindowHandle m_window;
    std::mt19937 m_random;
    Stream m_stream;
    Stream m_single;
    std::deque<Stream> m_hanging;
    long m_sent = 0;
    long m_refused = 0;
    std::uint64_t m_bytes = 0;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (word == "--class")
            options.className = value();
        else if (word == "--pid")
            options.pid = std::atoi(value().c_str());
        else if (word == "--seconds")
            options.seconds = std::atoi(value().c_str());
        else if (word == "--rate")
            options.rate = std::atoi(value().c_str());
        else if (word == "--open")
            options.openCommand = std::atoi(value().c_str());
        else if (word == "--launch")
            options.launch = true;
        else if (word == "--mouse")
            options.mousePercent = std::clamp(std::atoi(value().c_str()), 0, 100);
        else if (word == "--seed")
            options.seed = unsigned(std::atoi(value().c_str()));
        else if (word == "--rss-bound")
            options.rssBoundMb = std::atof(value().c_str());
        else if (word == "--fds")
            options.listDescriptors = true;
        else
            return false;
    }
    return !options.className.empty() && options.seconds > 0 && options.rate > 0;
}

/// Whether the window answers a frame query within a few seconds, tried three times.
bool answers(WindowHandle window, double& waitedMs)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto start = Clock::now();
        const bool answered = queryWindowFrame(window, 5000).has_value();
        waitedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (answered)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: orvanta-storm --class CLASS [--pid PID] [--seconds N] [--rate FRAMES_PER_S] "
                             "[--open COMMAND] [--launch] [--mouse PERCENT] [--seed N] [--rss-bound MB] [--fds]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const WindowHandle window =
        options.pid > 0 ? findWindowOfProcess(options.className, options.pid) : findWindowByClass(options.className);
    if (window == 0) {
        std::fprintf(stderr, "orvanta-storm: no window of class %s\n", options.className.c_str());
        return 3;
    }
    const pid_t pid = windowProcess(window);
    if (options.openCommand != 0) {
        postMessage(window, kSimulatorCommandBase + MessageNumber(options.openCommand), 0, 0);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const std::vector<std::string> descriptorsBefore = descriptorTargets(pid);
    const Sample start{0, residentMegabytes(pid), openDescriptors(pid)};
    Sample peak = start;
    std::printf("storm on %s (process %d) for %d s at %d frames/s\n", options.className.c_str(), int(pid),
                options.seconds, options.rate);
    std::printf("start: %.1f MB resident, %d descriptors\n", start.rssMb, start.fds);
    std::fflush(stdout);

    Storm storm(options, window);
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::seconds(options.seconds);
    auto nextSample = begin + std::chrono::seconds(5);
    bool alive = true;
    for (auto slot = begin; Clock::now() < end; slot += std::chrono::milliseconds(1)) {
        // The frames of each millisecond, then a wait for the next one when ahead.
        const long due = long(double(options.rate) * std::chrono::duration<double>(slot - begin).count());
        while (storm.sent() < due && Clock::now() < end)
            storm.sendOne();
        std::this_thread::sleep_until(slot);
        if (Clock::now() >= nextSample) {
            nextSample += std::chrono::seconds(5);
            Sample now{std::chrono::duration<double>(Clock::now() - begin).count(), residentMegabytes(pid),
                       openDescriptors(pid)};
            if (now.rssMb < 0) {
                alive = false;
                break;
            }
            peak.rssMb = std::max(peak.rssMb, now.rssMb);
            peak.fds = std::max(peak.fds, now.fds);
            std::printf("%5.0f s: %.1f MB resident, %d descriptors, %ld frames sent (%ld not taken), %.0f MB of text\n",
                        now.seconds, now.rssMb, now.fds, storm.sent(), storm.refused(), storm.sentMegabytes());
            std::fflush(stdout);
        }
    }
    storm.finish();
    double waitedMs = 0;
    const bool answered = alive && answers(window, waitedMs);
    const Sample last{0, residentMegabytes(pid), openDescriptors(pid)};
    if (last.rssMb >= 0) {
        peak.rssMb = std::max(peak.rssMb, last.rssMb);
        peak.fds = std::max(peak.fds, last.fds);
    }
    std::printf("sent %ld frames (%ld not taken), %.0f MB of text\n", storm.sent(), storm.refused(),
                storm.sentMegabytes());
    std::printf("resident MB: start %.1f, peak %.1f, end %.1f; descriptors: start %d, peak %d, end %d\n", start.rssMb,
                peak.rssMb, last.rssMb, start.fds, peak.fds, last.fds);
    if (answered)
        std::printf("answering: yes (in %.0f ms)\n", waitedMs);
    else
        std::printf("answering: NO%s\n", last.rssMb < 0 ? " (the process has ended)" : "");
    if (options.listDescriptors) {
        std::map<std::string, int> before;
        for (const std::string& d : descriptorsBefore)
            ++before[d];
        for (const std::string& d : descriptorTargets(pid))
            if (before[d]-- <= 0)
                std::printf("new descriptor: %s\n", d.c_str());
    }
    const bool bounded = last.rssMb >= 0 && peak.rssMb - start.rssMb <= options.rssBoundMb;
    return answered && bounded ? 0 : 1;
}

// The window registry: one file "<handle>.<class>" per registered top-level
// window in a private folder, empty or holding the window's note; file times
// order the activations.
#include "platform/core/window_registry.h"

#include "platform/core/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kSerialBits = 24;
constexpr std::size_t kMaxClassName = 200;

std::uint32_t g_lastSerial = 0;

bool validClassName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxClassName || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\0'; });
}

struct Entry {
    WindowHandle handle = 0;
    std::string className;
    std::string path;
    struct timespec touched {};
};

// Splits "<handle>.<class>"; other names in the folder (sockets) give none.
std::optional<Entry> parseEntryName(const std::string& name)
{
    std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string::npos || dot > 20 || dot + 1 == name.size())
        return std::nullopt;
    WindowHandle handle = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return std::nullopt;
        WindowHandle next = handle * 10 + static_cast<WindowHandle>(name[i] - '0');
        if (next / 10 != handle)
            return std::nullopt;
        handle = next;
    }
    if (handle == 0)
        return std::nullopt;
    Entry entry;
    entry.handle = handle;
    entry.className = name.substr(dot + 1);
    return entry;
}

std::vector<Entry> readEntries(const std::string& dir)
{
    std::vector<Entry> entries;
    std::optional<std::vector<std::string>> names = listDirectory(dir);
    if (!names)
        return entries;
    for (const std::string& name : *names) {
        std::optional<Entry> entry = parseEntryName(name);
        if (!entry)
            continue;
        entry->path = joinPath(dir, name);
        struct stat st;
        if (::lstat(entry->path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        entry->touched = st.st_mtim;
        entries.push_back(std::move(*entry));
    }
    return entries;
}

bool laterThan(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// Most recently activated first; equal times put the newer handle first.
void sortByActivation(std::vector<Entry>& entries)
{
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (laterThan(a.touched, b.touched))
            return true;
        if (laterThan(b.touched, a.touched))
            return false;
        return a.handle > b.handle;
    });
}

// The process's state letter from /proc; '?' when it cannot be read.
char processState(pid_t pid)
{
    std::optional<std::string> stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return '?';
    std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return '?';
    return (*stat)[close + 2];
}

} // namespace

pid_t windowProcess(WindowHandle window)
{
    return static_cast<pid_t>(window >> kSerialBits);
}

WindowHandle makeWindowHandle(pid_t pid, std::uint32_t serial)
{
    return (static_cast<WindowHandle>(pid) << kSerialBits) |
           (serial & ((1u << kSerialBits) - 1));
}

WindowHandle newWindowHandle()
{
    g_lastSerial = g_lastSerial % ((1u << kSerialBits) - 1) + 1;
    return makeWindowHandle(::getpid(), g_lastSerial);
}

std::string registryDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return joinPath(runtime, "orvanta");
    return "/tmp/orvanta-" + std::to_string(::getuid());
}

std::optional<std::string> openRegistryDirectory()
{
    std::string dir = registryDirectory();
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return std::nullopt;
    // A folder of ours that others may enter is closed; one of someone else is never used.
    if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0)
        return std::nullopt;
    return dir;
}

std::string processSocketPath(pid_t pid)
{
    return joinPath(registryDirectory(), "p" + std::to_string(pid) + ".sock");
}

bool processAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return false;
    char state = processState(pid);
    return state != 'Z' && state != 'X';
}

bool registerWindow(WindowHandle window, std::string_view className)
{
    if (window == 0 || !validClassName(className))
        return false;
    std::optional<std::string> dir = openRegistryDirectory();
    if (!dir)
        return false;
    unregisterWindow(window);
    std::string path = joinPath(*dir, std::to_string(window) + "." + std::string(className));
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::futimens(fd, nullptr);
    ::close(fd);
    return true;
}

void unregisterWindow(WindowHandle window)
{
    for (const Entry& entry : readEntries(registryDirectory()))
        if (entry.handle == window)
            ::unlink(entry.path.c_str());
}

bool touchWindow(WindowHandle window)
{
    bool touched = false;
    for (const Entry& entry : readEntries(registryDirectory()))
        if (entry.handle == window)
            touched = ::utimensat(AT_FDCWD, entry.path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0 ||
                      touched;
    return touched;
}

bool hasRegistryEntry(WindowHandle window)
{
    std::vector<Entry> entries = readEntries(registryDirectory());
    return std::any_of(entries.begin(), entries.end(),
                       [window](const Entry& entry) { return entry.handle == window; });
}

bool setWindowNote(WindowHandle window, std::string_view note)
{
    bool written = false;
    for (const Entry& entry : readEntries(registryDirectory())) {
        if (entry.handle != window)
            continue;
        int fd = ::open(entry.path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        bool ok = true;
        for (std::string_view rest = note; ok && !rest.empty();) {
            const ssize_t n = ::write(fd, rest.data(), rest.size());
            ok = n > 0;
            if (ok)
                rest.remove_prefix(static_cast<std::size_t>(n));
        }
        // The file's time is the window's last activation: writing leaves it as it was.
        const struct timespec times[2] = {entry.touched, entry.touched};
        ::futimens(fd, times);
        ::close(fd);
        written = written || ok;
    }
    return written;
}

std::string windowNote(WindowHandle window)
{
    for (const Entry& entry : readEntries(registryDirectory()))
        if (entry.handle == window)
            return readFile(entry.path).value_or(std::string());
    return {};
}

std::vector<RegisteredWindow> liveRegisteredWindows()
{
    std::vector<Entry> entries = readEntries(registryDirectory());
    sortByActivation(entries);
    std::vector<RegisteredWindow> live;
    std::vector<pid_t> dead;
    for (const Entry& entry : entries) {
        pid_t pid = windowProcess(entry.handle);
        if (std::find(dead.begin(), dead.end(), pid) != dead.end())
            continue;
        if (!processAlive(pid)) {
            dead.push_back(pid);
            continue;
        }
        live.push_back({entry.handle, entry.className});
    }
    for (pid_t pid : dead)
        removeProcessEntries(pid);
    return live;
}

WindowHandle findWindowByClass(std::string_view className)
{
    for (const RegisteredWindow& window : liveRegisteredWindows())
        if (equalsNoCase(window.className, className))
            return window.handle;
    return 0;
}

WindowHandle findWindowOfProcess(std::string_view className, pid_t pid)
{
    for (const RegisteredWindow& window : liveRegisteredWindows())
        if (windowProcess(window.handle) == pid && equalsNoCase(window.className, className))
            return window.handle;
    return 0;
}

bool isRegisteredWindowAlive(WindowHandle window)
{
    if (!hasRegistryEntry(window))
        return false;
    pid_t pid = windowProcess(window);
    if (processAlive(pid))
        return true;
    removeProcessEntries(pid);
    return false;
}

void removeProcessEntries(pid_t pid)
{
    if (pid <= 0 || pid == ::getpid())
        return;
    std::string dir = registryDirectory();
    for (const Entry& entry : readEntries(dir))
        if (windowProcess(entry.handle) == pid)
            ::unlink(entry.path.c_str());
    ::unlink(processSocketPath(pid).c_str());
}

} // namespace platform

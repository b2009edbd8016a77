// Starting programs with posix_spawn and collecting them when they end.
#include "platform/core/program_start.h"

#include "platform/core/file_system.h"
#include "platform/core/window_messages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <utility>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// The ended programs' statuses that nobody has asked for yet, the oldest let go first.
constexpr std::size_t kKeptStatuses = 64;

std::vector<pid_t> g_running;
std::deque<std::pair<pid_t, int>> g_ended;

void keepStatus(pid_t pid, int status)
{
    g_ended.emplace_back(pid, status);
    if (g_ended.size() > kKeptStatuses)
        g_ended.pop_front();
}

/// Collects one started program when it has ended; true when it has.
bool collect(pid_t pid)
{
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done != pid && !(done < 0 && errno == ECHILD))
        return false;
    if (done == pid)
        keepStatus(pid, status);
    std::erase(g_running, pid);
    return true;
}

bool isExecutableFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::optional<std::string> findProgram(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    if (name.find('/') != std::string_view::npos) {
        std::string path(name);
        return isExecutableFile(path) ? std::optional<std::string>(path) : std::nullopt;
    }
    std::string beside = executableDirectory();
    if (!beside.empty() && isExecutableFile(joinPath(beside, name)))
        return joinPath(beside, name);
    const char* pathVariable = std::getenv("PATH");
    std::string_view dirs = pathVariable ? pathVariable : "";
    while (!dirs.empty()) {
        std::size_t colon = dirs.find(':');
        std::string_view dir = dirs.substr(0, colon);
        std::string candidate = joinPath(dir.empty() ? "." : dir, name);
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string_view::npos)
            break;
        dirs.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

std::optional<pid_t> startProgram(std::string_view program, const std::vector<std::string>& arguments,
                                  int* error)
{
    reapStartedPrograms();
    std::optional<std::string> path = findProgram(program);
    if (!path) {
        if (error)
            *error = ENOENT;
        return std::nullopt;
    }
    std::vector<std::string> words;
    words.emplace_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int result = ::posix_spawn(&pid, path->c_str(), nullptr, nullptr, argv.data(), environ);
    if (result != 0) {
        if (error)
            *error = result;
        return std::nullopt;
    }
    g_running.push_back(pid);
    // Collected as soon as it ends, from the dispatch of messages: no program stays a zombie.
    watchProcessEnd(pid, [pid] {
        if (std::find(g_running.begin(), g_running.end(), pid) != g_running.end())
            collect(pid);
    });
    if (error)
        *error = 0;
    return pid;
}

void reapStartedPrograms()
{
    for (pid_t pid : std::vector<pid_t>(g_running))
        collect(pid);
}

std::optional<int> waitForProgram(pid_t pid, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        reapStartedPrograms();
        auto ended = std::find_if(g_ended.begin(), g_ended.end(), [pid](const auto& e) { return e.first == pid; });
        if (ended != g_ended.end()) {
            int status = ended->second;
            g_ended.erase(ended);
            return status;
        }
        if (std::find(g_running.begin(), g_running.end(), pid) == g_running.end())
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace platform

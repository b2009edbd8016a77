// Starting programs with posix_spawn and collecting them when they end.
#include "platform/core/program_start.h"

#include "platform/core/file_system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

std::vector<pid_t> g_running;
std::map<pid_t, int> g_ended;

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
    if (error)
        *error = 0;
    return pid;
}

void reapStartedPrograms()
{
    for (auto it = g_running.begin(); it != g_running.end();) {
        int status = 0;
        pid_t done = ::waitpid(*it, &status, WNOHANG);
        if (done == *it || (done < 0 && errno == ECHILD)) {
            if (done == *it)
                g_ended[*it] = status;
            it = g_running.erase(it);
        } else {
            ++it;
        }
    }
}

std::optional<int> waitForProgram(pid_t pid, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        reapStartedPrograms();
        auto ended = g_ended.find(pid);
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

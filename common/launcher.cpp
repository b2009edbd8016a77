// The launcher: starts a sibling program with the settings file in use, or
// brings its running main window forward and hands it the request.
#include "common/launcher.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/wait_cursor.h"
#include "platform/core/file_system.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <chrono>
#include <memory>

namespace {

// How often a pending message looks for the new program's window.
constexpr int DeliveryRetryMs = 100;

LaunchServices* g_services = nullptr;

LaunchServices& services()
{
    static LaunchServices system;
    return g_services ? *g_services : system;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

void reportFailure(const SiblingProgram& program)
{
    ShowMessage({std::string("Execution of ") + program.executable + " failed."});
}

/// A message on its way to a program that has just been started.
struct PendingDelivery {
    int code = 0;
    pid_t pid = 0;
    platform::Message message;
    std::chrono::steady_clock::time_point deadline;
};

void tryDelivery(std::shared_ptr<PendingDelivery> pending)
{
    const SiblingProgram& program = SiblingTable[static_cast<std::size_t>(pending->code)];
    LaunchServices& system = services();
    platform::WindowHandle window = system.findWindowOfProcess(program.windowClass, pending->pid);
    if (window != 0) {
        pending->message.target = window;
        if (!system.post(pending->message))
            reportFailure(program);
        return;
    }
    if (!system.processAlive(pending->pid) || std::chrono::steady_clock::now() >= pending->deadline) {
        reportFailure(program);
        return;
    }
    system.later(DeliveryRetryMs, [pending] { tryDelivery(pending); });
}

} // namespace

const std::array<SiblingProgram, 4> SiblingTable = {{
    {"orvanta", "TQNBGEWindow", "Graph Editor"},
    {"orvantaee", "TQNEEWindow", "Equation Editor"},
    {"orvantasim", "TQNSIMWindow", "Simulator"},
    {"orvantampx", "TQNMPX", "Background Model Processor"},
}};

std::optional<pid_t> LaunchServices::start(const std::string& program, const std::vector<std::string>& arguments)
{
    return platform::startProgram(program, arguments);
}

platform::WindowHandle LaunchServices::findWindow(const std::string& className)
{
    return platform::findWindowByClass(className);
}

platform::WindowHandle LaunchServices::findWindowOfProcess(const std::string& className, pid_t pid)
{
    return platform::findWindowOfProcess(className, pid);
}

bool LaunchServices::isWindow(platform::WindowHandle window)
{
    return platform::isWindow(window);
}

bool LaunchServices::processAlive(pid_t pid)
{
    return platform::processAlive(pid);
}

bool LaunchServices::post(const platform::Message& message)
{
    return platform::postMessage(message);
}

void LaunchServices::showNormalAndRaise(platform::WindowHandle window)
{
    platform::requestShowWindow(window);
}

void LaunchServices::forgetWindow(platform::WindowHandle window)
{
    platform::unregisterWindow(window);
    platform::removeProcessEntries(platform::windowProcess(window));
}

void LaunchServices::later(int delayMs, std::function<void()> work)
{
    platform::callLater(delayMs, std::move(work));
}

void SetLaunchServices(LaunchServices* services)
{
    g_services = services;
}

std::optional<std::string> LaunchModelName(std::string_view tail)
{
    std::size_t at = tail.find("-model");
    if (at == std::string_view::npos)
        return std::nullopt;
    // The name starts one character after the word; a tail that ends there has none.
    std::size_t start = at + 6 + 1;
    if (start >= tail.size())
        return std::string();
    std::size_t end = start;
    while (end < tail.size() && !isBlank(tail[end]))
        ++end;
    return std::string(tail.substr(start, end - start));
}

std::string LaunchCommandLine(int code, const std::optional<std::string>& tail)
{
    if (code < 0 || code >= static_cast<int>(SiblingTable.size()))
        return std::string();
    std::string text = tail ? *tail : std::string(" ");
    text += " -rc_file " + Startup().SettingsFileName;
    return std::string(SiblingTable[static_cast<std::size_t>(code)].executable) + " " + text;
}

std::vector<std::string> LaunchArguments(const std::optional<std::string>& tail)
{
    std::vector<std::string> words;
    std::string_view rest = tail ? std::string_view(*tail) : std::string_view();
    std::size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && isBlank(rest[i]))
            ++i;
        std::size_t start = i;
        while (i < rest.size() && !isBlank(rest[i]))
            ++i;
        if (i > start)
            words.emplace_back(rest.substr(start, i - start));
    }
    words.emplace_back("-rc_file");
    words.push_back(Startup().SettingsFileName);
    return words;
}

int LaunchProgram(int code, const std::optional<std::string>& tail, platform::MessageNumber message, pid_t* started)
{
    if (started)
        *started = 0;
    if (code < 0 || code >= static_cast<int>(SiblingTable.size()))
        return 0;
    const SiblingProgram& program = SiblingTable[static_cast<std::size_t>(code)];
    LaunchServices& system = services();
    std::optional<std::string> modelName = tail ? LaunchModelName(*tail) : std::nullopt;

    std::optional<pid_t> pid;
    {
        platform::ScopedWaitCursor wait;
        pid = system.start(program.executable, LaunchArguments(tail));
    }
    if (pid) {
        if (started)
            *started = *pid;
        if (message != 0) {
            auto pending = std::make_shared<PendingDelivery>();
            pending->code = code;
            pending->pid = *pid;
            pending->message = platform::Message{0, message, 0, 0, std::nullopt};
            pending->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LaunchDeliveryTimeoutMs);
            system.later(0, [pending] { tryDelivery(pending); });
        }
        return 1;
    }

    int result = 0;
    platform::WindowHandle window = system.findWindow(program.windowClass);
    if (window != 0 && system.isWindow(window)) {
        system.showNormalAndRaise(window);
        result = 1;
        if (message != 0)
            result = system.post(platform::Message{window, message, 0, 0, std::nullopt}) ? 1 : 0;
        else if (modelName && !modelName->empty())
            result = system.post(platform::Message{window, UM_OPEN_MODEL, 0, 0, *modelName}) ? 1 : 0;
    } else if (window != 0) {
        // A window that is gone leaves only its registry entry behind.
        system.forgetWindow(window);
    }
    if (result == 0)
        reportFailure(program);
    return result;
}

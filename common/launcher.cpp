// The launcher: starts a sibling program with the settings file in use, or
// brings its running main window forward and hands it the request.
#include "common/launcher.h"

#include "common/message_boxes.h"
#include "common/property_pages.h"
#include "common/startup.h"
#include "platform/core/wait_cursor.h"
#include "platform/core/file_system.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

namespace {

// How often a pending message looks for the new program's window.
constexpr int DeliveryRetryMs = 100;

LaunchServices* g_services = nullptr;

/// What a main window tells the others of itself, in its registry entry: one
/// "key=value" line each for the settings file and the model held.
struct ProgramNote {
    std::string settings;
    std::string model;
};

std::string noteText(const ProgramNote& note)
{
    return "settings=" + note.settings + "\nmodel=" + note.model + "\n";
}

ProgramNote parseNote(std::string_view text)
{
    ProgramNote note;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.substr(0, 9) == "settings=")
            note.settings = std::string(line.substr(9));
        else if (line.substr(0, 6) == "model=")
            note.model = std::string(line.substr(6));
    }
    return note;
}

/// A program this process started for a kind that has not yet told it runs:
/// further requests for the kind go to it rather than to another start.
struct PendingStart {
    int code = 0;
    pid_t pid = 0;
    std::chrono::steady_clock::time_point deadline;
};

std::vector<PendingStart>& pendingStarts()
{
    static std::vector<PendingStart> starts;
    return starts;
}

/// The notes last written, by window, so that an unchanged note is not written again.
std::map<platform::WindowHandle, std::string>& publishedNotes()
{
    static std::map<platform::WindowHandle, std::string> notes;
    return notes;
}

bool reusesRunningProgram(int code, const std::optional<std::string>& tail)
{
    // The processor does one job per start, and a caller that waits for an answer waits for its own program.
    return code != 3 && !(tail && tail->find("-cmpnt") != std::string::npos);
}

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
    bool raise = false; ///< the program is brought to the front first
};

void tryDelivery(std::shared_ptr<PendingDelivery> pending);

void deliverWhenRegistered(int code, pid_t pid, const platform::Message& message, bool raise = false)
{
    auto pending = std::make_shared<PendingDelivery>();
    pending->code = code;
    pending->pid = pid;
    pending->message = message;
    pending->raise = raise;
    pending->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LaunchDeliveryTimeoutMs);
    services().later(0, [pending] { tryDelivery(pending); });
}

/// The program started a moment ago for the kind that is still on its way up; 0 when none.
pid_t pendingStartOf(int code)
{
    std::vector<PendingStart>& starts = pendingStarts();
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(starts, [&](const PendingStart& start) {
        return now >= start.deadline || !services().processAlive(start.pid);
    });
    for (const PendingStart& start : starts)
        if (start.code == code)
            return start.pid;
    return 0;
}

void tryDelivery(std::shared_ptr<PendingDelivery> pending)
{
    const SiblingProgram& program = SiblingTable[static_cast<std::size_t>(pending->code)];
    LaunchServices& system = services();
    platform::WindowHandle window = system.findWindowOfProcess(program.windowClass, pending->pid);
    if (window != 0) {
        if (pending->raise)
            system.showNormalAndRaise(window);
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

std::vector<std::pair<platform::WindowHandle, std::string>> LaunchServices::windowsWithNotes(
    const std::string& className)
{
    std::vector<std::pair<platform::WindowHandle, std::string>> windows;
    for (const platform::RegisteredWindow& window : platform::liveRegisteredWindows())
        if (platform::equalsNoCase(window.className, className))
            windows.emplace_back(window.handle, platform::windowNote(window.handle));
    return windows;
}

void SetLaunchServices(LaunchServices* services)
{
    g_services = services;
    // The programs started through the services before are theirs.
    pendingStarts().clear();
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
    const std::string model = modelName.value_or(std::string());
    // What a program that runs already is handed in place of the start.
    const std::optional<platform::Message> request =
        message != 0   ? std::optional(platform::Message{0, message, 0, 0, std::nullopt})
        : !model.empty() ? std::optional(platform::Message{0, UM_OPEN_MODEL, 0, 0, model})
                         : std::nullopt;

    const bool reuse = reusesRunningProgram(code, tail);
    if (reuse) {
        if (platform::WindowHandle running = FindRunningProgram(code, model)) {
            system.showNormalAndRaise(running);
            if (!request)
                return 1;
            platform::Message posted = *request;
            posted.target = running;
            if (system.post(posted))
                return 1;
            // A program that ended since it was found is started anew.
        } else if (pid_t coming = pendingStartOf(code)) {
            if (request)
                deliverWhenRegistered(code, coming, *request, true);
            return 1;
        }
    }

    std::optional<pid_t> pid;
    {
        platform::ScopedWaitCursor wait;
        pid = system.start(program.executable, LaunchArguments(tail));
    }
    if (pid) {
        if (started)
            *started = *pid;
        if (message != 0)
            deliverWhenRegistered(code, *pid, platform::Message{0, message, 0, 0, std::nullopt});
        if (reuse)
            pendingStarts().push_back({code, *pid,
                                       std::chrono::steady_clock::now() +
                                           std::chrono::milliseconds(LaunchDeliveryTimeoutMs)});
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

std::string SettingsIdentity()
{
    const std::filesystem::path file = SettingsFileToWrite();
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(file, error);
    return error ? file.string() : resolved.string();
}

void PublishProgramState(platform::WindowHandle window, const std::string& modelName)
{
    if (window == 0)
        return;
    const std::string note = noteText({SettingsIdentity(), modelName});
    std::string& published = publishedNotes()[window];
    if (published != note && platform::setWindowNote(window, note))
        published = note;
}

platform::WindowHandle FindRunningProgram(int code, const std::string& modelName)
{
    if (code < 0 || code >= static_cast<int>(SiblingTable.size()))
        return 0;
    const std::string settings = SettingsIdentity();
    platform::WindowHandle first = 0;
    for (const auto& [window, text] : services().windowsWithNotes(SiblingTable[static_cast<std::size_t>(code)].windowClass)) {
        const ProgramNote note = parseNote(text);
        // A program still starting has told nothing yet; one on other settings serves another setup.
        if (note.settings != settings)
            continue;
        if (!modelName.empty() && platform::equalsNoCase(note.model, modelName))
            return window;
        if (first == 0)
            first = window;
    }
    return first;
}

platform::WindowHandle EditorHoldingModel(const std::string& modelName, platform::WindowHandle self, int* code)
{
    if (modelName.empty())
        return 0;
    const std::string settings = SettingsIdentity();
    for (int editor : {0, 1}) {
        for (const auto& [window, text] : services().windowsWithNotes(SiblingTable[static_cast<std::size_t>(editor)].windowClass)) {
            const ProgramNote note = parseNote(text);
            if (window == self || note.settings != settings || !platform::equalsNoCase(note.model, modelName))
                continue;
            if (code)
                *code = editor;
            return window;
        }
    }
    return 0;
}

namespace {

std::string heldNotice(const std::string& modelName, int code)
{
    return "Model " + modelName + " is open in the " + SiblingTable[static_cast<std::size_t>(code)].title + ".";
}

} // namespace

std::string HeldModelNotice(const std::string& modelName, platform::WindowHandle self)
{
    int code = 0;
    return EditorHoldingModel(modelName, self, &code) ? heldNotice(modelName, code) : std::string();
}

bool HandModelToItsEditor(const std::string& modelName, platform::WindowHandle self, std::string& status)
{
    int code = 0;
    const platform::WindowHandle holder = EditorHoldingModel(modelName, self, &code);
    if (holder == 0)
        return false;
    services().showNormalAndRaise(holder);
    services().post(platform::Message{holder, UM_OPEN_MODEL, 0, 0, modelName});
    status = heldNotice(modelName, code);
    return true;
}

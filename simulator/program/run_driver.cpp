// orvanta-drive: runs a bundled example through the real programs without a person,
// as the graph editor would: the model processor processes the model and answers the
// driver's window, the simulator is started on the processed model of the name given (which
// this processing must have written), and the driver's
// messages open an experiment, run it, save the plot as a metafile and as a PNG file,
// and close the simulator. The simulator tells the driver its status texts and the lines
// of every box it opens; a box ends the driver with its text (nobody is there to answer
// it), as does a step that fails. The files written are listed; the status is 0 when
// every step worked.
//
//     orvanta-drive <settings file> <model> <experiment>
#include "simulator/program/simulator_messages.h"

#include "common/launcher.h"
#include "common/model_file_names.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

std::deque<platform::Message> g_received;
/// The lines of the box the simulator opened, joined by blanks: it waits for a person, so
/// the driver goes no further.
std::optional<std::string> g_box;

/// Serves messages until `match` takes one of those received; false after `seconds`, or
/// at once when the simulator opens a box.
bool waitFor(const std::function<bool(const platform::Message&)>& match, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        while (!g_received.empty()) {
            const platform::Message message = g_received.front();
            g_received.pop_front();
            if (message.number == UM_STATUS_TEXT && message.text)
                std::printf("  simulator: %s\n", message.text->c_str());
            if (message.number == SM_BOX_TEXT && message.text) {
                std::string text = *message.text;
                std::replace(text.begin(), text.end(), '\n', ' ');
                std::printf("  simulator's box: %s\n", text.c_str());
                g_box = text;
                return false;
            }
            if (match(message))
                return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        platform::pumpMessages(100);
    }
}

/// Waits for a status text of the simulator that begins with `head`; the text after it.
std::optional<std::string> waitForStatus(const std::string& head, int seconds,
                                         const std::vector<std::string>& failures = {})
{
    std::optional<std::string> found;
    bool failed = false;
    const bool seen = waitFor([&](const platform::Message& m) {
        if (m.number != UM_STATUS_TEXT || !m.text)
            return false;
        for (const std::string& failure : failures)
            if (m.text->rfind(failure, 0) == 0)
                return failed = true;
        if (m.text->rfind(head, 0) != 0)
            return false;
        found = m.text->substr(head.size());
        return true;
    }, seconds);
    if (!seen || failed)
        return std::nullopt;
    return found;
}

int fail(const std::string& why)
{
    std::fprintf(stderr, "orvanta-drive: %s\n", why.c_str());
    return 1;
}

/// What tells one version of a file from another: a file put in place anew is another file,
/// one written over has another time of modification, to the nanosecond.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t seconds = 0, nanoseconds = 0;
    off_t size = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> fileIdentity(const std::string& path)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0 || !S_ISREG(s.st_mode))
        return std::nullopt;
    return FileIdentity{s.st_dev, s.st_ino, std::int64_t(s.st_mtim.tv_sec), std::int64_t(s.st_mtim.tv_nsec),
                        s.st_size};
}

/// Closes the simulator window and waits for its process to end; ends it when it will not.
bool closeSimulator(platform::WindowHandle simulator)
{
    const pid_t pid = platform::windowProcess(simulator);
    platform::requestCloseWindow(simulator);
    for (int i = 0; i < 300 && platform::processAlive(pid); ++i)
        platform::pumpMessages(100);
    if (!platform::processAlive(pid))
        return true;
    ::kill(pid, SIGTERM);
    return false;
}

bool listFile(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const bool there = !error && size > 0;
    const std::filesystem::path shown = std::filesystem::absolute(path, error).lexically_normal();
    std::printf("  %s%s\n", shown.c_str(), there ? "" : "  (missing or empty)");
    return there;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return fail("usage: orvanta-drive <settings file> <model> <experiment>");
    const std::string settings = argv[1], model = argv[2], experiment = argv[3];
    Startup().StartupDirectory = platform::executableDirectory();
    if (!StartupSettings(SplitCommandLine("-rc_file " + settings), 1, [](auto, auto, const auto&) { return 0; }))
        return fail("the settings file " + settings + " could not be used");
    const platform::WindowHandle self = platform::createWindow([](const platform::Message& m) { g_received.push_back(m); });
    if (!platform::registerTopLevelWindow(self, "OrvantaDriver"))
        return fail("no window for the programs' answers");
    const std::string cmpnt = " -cmpnt " + std::to_string(self);

    // The model processor, as the graph editor starts it; it answers with its result. The
    // simulator gets the processed model of this name, as the graph editor gives it, and only
    // when this processing wrote it: an older one would be a run of another version.
    const std::string code = MakeCodeFileName(Startup().ProcessedDirectory, model);
    const std::optional<FileIdentity> before = fileIdentity(code);
    std::printf("orvanta-drive: processing %s\n", model.c_str());
    if (!LaunchProgram(3, cmpnt + " -model " + model, 0))
        return fail("the model processor could not be started");
    int result = -99;
    if (!waitFor([&](const platform::Message& m) {
            if (m.number != UM_PROCESSING_DONE)
                return false;
            result = int(m.wParam);
            if (m.lParam != 0) // its log window: closing it lets the processor end
                platform::postMessage(platform::WindowHandle(m.lParam), platform::WM_SYSCOMMAND, platform::SC_CLOSE, 0);
            return true;
        }, 120))
        return fail("the model processor did not answer");
    waitFor([](const platform::Message& m) { return m.number == UM_PROCESSOR_EXITED; }, 30);
    if (result != 3)
        return fail("processing " + model + " ended with result " + std::to_string(result));
    const std::optional<FileIdentity> after = fileIdentity(code);
    if (!after || after == before)
        return fail("processing " + model + " wrote no processed model " + code);

    // The simulator on the processed model: the one started here, not another of the suite's.
    std::printf("orvanta-drive: simulating %s, experiment %s\n", model.c_str(), experiment.c_str());
    pid_t started = 0;
    if (!LaunchProgram(2, cmpnt + " -model " + model, 0, &started) || started == 0)
        return fail("the simulator could not be started");
    platform::WindowHandle simulator = 0;
    for (int i = 0; i < 300 && !simulator && platform::processAlive(started); ++i) {
        platform::pumpMessages(100);
        simulator = platform::findWindowOfProcess("TQNSIMWindow", started);
    }
    if (!simulator) {
        if (platform::processAlive(started))
            ::kill(started, SIGTERM);
        return fail("the simulator's window did not appear");
    }
    const auto post = [simulator](platform::MessageNumber number, std::optional<std::string> text = std::nullopt) {
        platform::postMessage(simulator, number, 0, 0, std::move(text));
    };
    // A failed step ends the driver with what the simulator's box said, if it opened one.
    const auto stop = [simulator](const std::string& why) {
        closeSimulator(simulator);
        return fail(g_box ? why + ": " + *g_box : why);
    };

    post(SM_OPEN_EXPERIMENT, experiment);
    if (!waitForStatus("Experiment " + experiment + " is loaded.", 30))
        return stop("the experiment " + experiment + " could not be loaded");
    post(SM_COMMAND_BASE + 277); // Start Simulation
    std::vector<std::string> written;
    std::optional<std::string> summary;
    bool runStarted = false;
    waitFor([&](const platform::Message& m) {
        if (m.number != UM_STATUS_TEXT || !m.text)
            return false;
        const std::string& text = *m.text;
        runStarted = runStarted || text.rfind("Simulating...", 0) == 0;
        for (const std::string head : {"Writing matlab script file:\r\n", "and corresponding matlab data file:\r\n"})
            if (text.rfind(head, 0) == 0) {
                std::string path = text.substr(head.size());
                while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
                    path.pop_back();
                written.push_back(path);
            }
        if (text.rfind("Simulation finished.", 0) == 0 || text.rfind("Floating point exception.", 0) == 0 ||
            text.rfind("Simulation stopped by user.", 0) == 0) {
            summary = text;
            return true;
        }
        return false;
    }, 300);
    if (!summary || summary->rfind("Simulation finished.", 0) != 0)
        return stop(runStarted ? "the run did not finish" : "the run did not start");

    post(SM_COMMAND_BASE + 107); // Simulation To MetaFile
    const std::optional<std::string> metafile = waitForStatus("Simulation result is printed as metafile: ", 30);
    if (!metafile)
        return stop("the metafile was not written");
    written.push_back(*metafile);
    post(SM_SAVE_PLOT_PICTURE, experiment + ".png");
    const std::optional<std::string> png =
        waitForStatus("Simulation result is saved as picture: ", 30, {"Error: could not save the picture"});
    if (!png)
        return stop("the plot picture was not saved");
    written.push_back(*png);
    if (!closeSimulator(simulator))
        return fail("the simulator did not end when its window was closed");

    // The processed model, the run's data and MATLAB files, the metafile and the picture.
    std::printf("orvanta-drive: files written\n");
    bool all = true;
    all = listFile(code) && all;
    all = listFile(MakeEquationFileName(Startup().ProcessedDirectory, model)) && all;
    written.push_back((std::filesystem::path(*metafile).parent_path() / (experiment + ".n")).string());
    for (const std::string& path : written)
        all = listFile(path) && all;
    platform::destroyWindow(self);
    return all ? 0 : fail("a file is missing");
}

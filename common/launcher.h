// Starting and reaching the suite's other programs: the sibling table and
// the launcher.
#pragma once

#include "platform/core/message_frame.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

/// One program of the suite: its executable, its main window's class and its title.
struct SiblingProgram {
    const char* executable;
    const char* windowClass;
    const char* title;
};

/// The four programs by their code: 0 graph editor, 1 equation editor,
/// 2 simulator, 3 model processor.
extern const std::array<SiblingProgram, 4> SiblingTable;

/// What the launcher asks of the system; tests replace parts of it.
class LaunchServices {
public:
    virtual ~LaunchServices() = default;
    /// Starts the program with the arguments after its name; its process id, or none.
    virtual std::optional<pid_t> start(const std::string& program, const std::vector<std::string>& arguments);
    /// The most recently activated window of the class; 0 when none.
    virtual platform::WindowHandle findWindow(const std::string& className);
    /// The window of the class that belongs to the process; 0 when none.
    virtual platform::WindowHandle findWindowOfProcess(const std::string& className, pid_t pid);
    virtual bool isWindow(platform::WindowHandle window);
    virtual bool processAlive(pid_t pid);
    virtual bool post(const platform::Message& message);
    /// Shows the window normally and brings it to the top without moving it.
    virtual void showNormalAndRaise(platform::WindowHandle window);
    /// Removes what the registry holds of a window that is gone.
    virtual void forgetWindow(platform::WindowHandle window);
    /// Runs the work later from the event loop.
    virtual void later(int delayMs, std::function<void()> work);
    /// The live windows of the class, most recently activated first, each with
    /// what it tells of itself (`PublishProgramState`).
    virtual std::vector<std::pair<platform::WindowHandle, std::string>> windowsWithNotes(const std::string& className);
};

/// Uses `services` (not owned) for the launcher; null goes back to the system's.
/// The programs started a moment ago through the former services are forgotten.
void SetLaunchServices(LaunchServices* services);

/// How long a message given with a start waits for the new program's main window.
inline constexpr int LaunchDeliveryTimeoutMs = 10000;

/// The model name of a command tail: the text one character after the end of
/// the first "-model" up to the next blank or the end of the tail; none when
/// the tail has no "-model".
std::optional<std::string> LaunchModelName(std::string_view tail);

/// The command line the launcher runs: the executable, a blank, the tail (a
/// single blank without one), " -rc_file " and the settings file in use.
std::string LaunchCommandLine(int code, const std::optional<std::string>& tail);

/// The arguments after the executable: the tail's words, then "-rc_file" and
/// the settings file name as one word.
std::vector<std::string> LaunchArguments(const std::optional<std::string>& tail);

/// Starts program `code` (0..3) with the tail, or reaches its running main
/// window: 1 when the program was started or a live window of it was found,
/// else 0 after the message "Execution of <program> failed.".
///
/// One program of each kind serves the user on one settings file: when the
/// graph editor, the equation editor or the simulator already runs on the
/// settings file in use (the one holding the tail's model first), or was
/// started for it a moment ago, it is brought to the front and handed the
/// message or, without one, the tail's model (`UM_OPEN_MODEL`); a new one is
/// started only when none runs. The model processor, and every start whose tail
/// names a window to answer (-cmpnt), gets a program of its own.
///
/// A message given with a fresh start is posted once the new program has
/// registered its main window (waiting at most LaunchDeliveryTimeoutMs without
/// blocking); when it cannot be delivered the same message box reports it. The
/// process started, if any, goes to `started` (0 when none was).
int LaunchProgram(int code, const std::optional<std::string>& tail, platform::MessageNumber message,
                  pid_t* started = nullptr);

/// The settings file this program runs on, as the programs compare it: the
/// file it read (or will write), absolute and without links.
std::string SettingsIdentity();

/// Tells the other programs, through the window's registry entry, the settings
/// file this program runs on and the model its main window holds (empty for none).
void PublishProgramState(platform::WindowHandle window, const std::string& modelName);

/// The main window of program `code` that runs on this settings file, most
/// recently activated first and one holding `modelName` before the others; 0
/// when none does.
platform::WindowHandle FindRunningProgram(int code, const std::string& modelName = {});

/// An editor (graph or equation editor) on this settings file other than the
/// window `self` that holds the model: its main window, and its code in `code`;
/// 0 when none does. Names are compared ignoring case.
platform::WindowHandle EditorHoldingModel(const std::string& modelName, platform::WindowHandle self,
                                          int* code = nullptr);

/// Where another editor holds the model: "Model msd1 is open in the Graph
/// Editor."; empty when none does.
std::string HeldModelNotice(const std::string& modelName, platform::WindowHandle self);

/// When another editor holds the model, it is brought to the front and handed
/// the model, and `status` says where the model is (`HeldModelNotice`); false
/// (and `status` untouched) when no other editor holds it.
bool HandModelToItsEditor(const std::string& modelName, platform::WindowHandle self, std::string& status);

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
};

/// Uses `services` (not owned) for the launcher; null goes back to the system's.
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
/// else 0 after the message "Execution of <program> failed.". A message given
/// with a fresh start is posted once the new program has registered its main
/// window (waiting at most LaunchDeliveryTimeoutMs without blocking); when it
/// cannot be delivered the same message box reports it. The process started, if
/// any, goes to `started` (0 when none was).
int LaunchProgram(int code, const std::optional<std::string>& tail, platform::MessageNumber message,
                  pid_t* started = nullptr);

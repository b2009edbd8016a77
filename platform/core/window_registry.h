// Window handles and the registry folder through which the suite's processes
// find one another's top-level windows by class name.
#pragma once

#include "platform/core/window_handle.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

/// The process that owns a window.
pid_t windowProcess(WindowHandle window);

/// The handle of window `serial` of process `pid`.
WindowHandle makeWindowHandle(pid_t pid, std::uint32_t serial);

/// A fresh handle of this process (serials count up from 1).
WindowHandle newWindowHandle();

/// $XDG_RUNTIME_DIR/orvanta, or /tmp/orvanta-<uid> when the variable is unset
/// or not absolute (not created here).
std::string registryDirectory();

/// Creates the registry folder with mode 0700 when missing and checks that it
/// is a directory of this user that no one else may enter; its path, or none.
std::optional<std::string> openRegistryDirectory();

/// The local socket of process `pid` in the registry folder.
std::string processSocketPath(pid_t pid);

/// True when the process exists and has not ended (a zombie has ended).
bool processAlive(pid_t pid);

/// Enters a top-level window under its class name as the most recently
/// activated one; false when the class name cannot be a file name or the
/// folder cannot be written.
bool registerWindow(WindowHandle window, std::string_view className);

/// Removes the window's entry, if any.
void unregisterWindow(WindowHandle window);

/// Marks the window as the most recently activated of its class.
bool touchWindow(WindowHandle window);

/// True when the window has an entry (alive or not).
bool hasRegistryEntry(WindowHandle window);

/// Writes a short text into the window's entry, for other processes to read;
/// its place in the order of activations stays. False when it has no entry.
bool setWindowNote(WindowHandle window, std::string_view note);

/// The text of the window's entry; empty when it has none (or no entry).
std::string windowNote(WindowHandle window);

/// One registered window.
struct RegisteredWindow {
    WindowHandle handle = 0;
    std::string className;
};

/// Every registered window whose process is alive, most recently activated
/// first; the entries of ended processes are removed on the way.
std::vector<RegisteredWindow> liveRegisteredWindows();

/// The most recently activated live window whose class equals `className`
/// (ignoring case); 0 when there is none.
WindowHandle findWindowByClass(std::string_view className);

/// The most recently activated live window of the class (ignoring case) that
/// belongs to process `pid`; 0 when there is none.
WindowHandle findWindowOfProcess(std::string_view className, pid_t pid);

/// True when the window has an entry and its process is alive; the entries of
/// an ended process are removed when it is seen.
bool isRegisteredWindowAlive(WindowHandle window);

/// Removes every entry and the socket of an ended process.
void removeProcessEntries(pid_t pid);

} // namespace platform

// Starting the suite's programs as processes of their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform {

/// The path of an executable: a name with a '/' as it stands, else the file
/// next to the running executable, else the first on PATH; none when not found.
std::optional<std::string> findProgram(std::string_view name);

/// Starts `program` (found with `findProgram`) with `arguments` after its own
/// name, without waiting; the process id, or none with the system error
/// number in `error` when given. The program is collected as soon as it ends,
/// from the dispatch of messages (`dispatchPendingMessages`), so that it stays
/// no zombie; its status waits for `waitForProgram` (the last few are kept).
std::optional<pid_t> startProgram(std::string_view program, const std::vector<std::string>& arguments,
                                  int* error = nullptr);

/// Collects the ended processes this process started, so none stays a zombie.
void reapStartedPrograms();

/// Waits up to `timeoutMs` for a started program to end; its wait status
/// (as waitpid gives it), or none when it is still running or not ours.
std::optional<int> waitForProgram(pid_t pid, int timeoutMs);

} // namespace platform

// User function libraries: the registry of loaded shared libraries with their
// life-cycle calls, and the look-up of the functions a model calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// A user function: input array, input count, output array, output count; 1 means failure.
using UserFunction = int (*)(double* inputs, int inputCount, double* outputs, int outputCount);

/// The registered library of that name, else loads it (calling "Initialize", and
/// "InitializeRun" during a multiple run); null when it cannot be loaded, with
/// `UserDllError` saying why.
void* LoadUserDll(const std::string& name);

/// Why the last load failed (names the library and where it was looked for); empty after a success.
const std::string& UserDllError();

/// The directory of the loaded model: the first place a library is looked for.
void SetUserDllModelDirectory(const std::string& directory);

/// The directories a library is looked for in, in order:
/// the model's directory, the working directory, the program's directory; each made
/// absolute (a relative one from the current directory).
std::vector<std::string> UserDllDirectories();

/// The absolute path of the library file the model names by its bare file name: the first
/// existing file of that name (and of that name with ".so" when it has no extension) in
/// `UserDllDirectories`; none when there is no such file or the name holds a directory.
std::optional<std::string> FindUserDllFile(const std::string& name);

/// Calls "InitializeRun" of every registered library, in registration order.
void InitializeUserDllRun();

/// Calls "TerminateRun" of every registered library.
void TerminateUserDllRun();

/// Calls "Terminate" of every library, unloads them all and empties the registry.
void TerminateUserDlls();

/// Number of registered libraries.
int UserDllCount();

/// Changes whenever the registry is emptied, so cached functions can tell they are stale.
std::uint64_t UserDllGeneration();

/// Whether a multiple-run series is in progress (new libraries then also get "InitializeRun").
void SetMultipleRunActive(bool active);
bool MultipleRunActive();

/// Finds a function of a library: 0 found, 1 library not loaded, 2 no such function.
int FindUserFunction(const std::string& library, const std::string& function, UserFunction& out);

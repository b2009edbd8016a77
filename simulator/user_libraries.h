// User function libraries: the registry of loaded shared libraries with their
// life-cycle calls, and the look-up of the functions a model calls.
#pragma once

#include <cstdint>
#include <string>

/// A user function: input array, input count, output array, output count; 1 means failure.
using UserFunction = int (*)(double* inputs, int inputCount, double* outputs, int outputCount);

/// The registered library of that name, else loads it (calling "Initialize", and
/// "InitializeRun" during a multiple run); null when it cannot be loaded.
void* LoadUserDll(const std::string& name);

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

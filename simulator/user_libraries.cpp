// The registry of user function libraries, loaded with dlopen by the name the model gives.
#include "simulator/user_libraries.h"

#include <dlfcn.h>

#include <vector>

namespace {

struct UserDll {
    std::string name;
    void* module;
};

std::vector<UserDll> g_registry;
std::uint64_t g_generation = 1;
bool g_multipleRun = false;

using LifeCycleCall = void (*)();

void callExport(void* module, const char* name)
{
    if (void* entry = dlsym(module, name))
        reinterpret_cast<LifeCycleCall>(entry)();
}

} // namespace

void* LoadUserDll(const std::string& name)
{
    for (const UserDll& dll : g_registry)
        if (dll.name == name)
            return dll.module;
    if (name.empty())
        return nullptr;
    void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return nullptr;
    callExport(module, "Initialize");
    g_registry.push_back({name, module});
    if (g_multipleRun)
        callExport(module, "InitializeRun");
    return module;
}

void InitializeUserDllRun()
{
    for (const UserDll& dll : g_registry)
        callExport(dll.module, "InitializeRun");
}

void TerminateUserDllRun()
{
    for (const UserDll& dll : g_registry)
        callExport(dll.module, "TerminateRun");
}

void TerminateUserDlls()
{
    for (const UserDll& dll : g_registry) {
        callExport(dll.module, "Terminate");
        dlclose(dll.module);
    }
    g_registry.clear();
    ++g_generation;
}

int UserDllCount() { return int(g_registry.size()); }

std::uint64_t UserDllGeneration() { return g_generation; }

void SetMultipleRunActive(bool active) { g_multipleRun = active; }
bool MultipleRunActive() { return g_multipleRun; }

int FindUserFunction(const std::string& library, const std::string& function, UserFunction& out)
{
    void* module = LoadUserDll(library);
    if (!module)
        return 1;
    void* entry = function.empty() ? nullptr : dlsym(module, function.c_str());
    if (!entry)
        return 2;
    out = reinterpret_cast<UserFunction>(entry);
    return 0;
}

// The registry of user function libraries. A library is named by its bare file name and
// opened only by an absolute path: the name is looked for in the model's, the working and
// the program's directories, never on the system's library path, where another file of that
// name could stand in for it. A name with a directory is refused: an experiment could
// otherwise have a library from anywhere loaded, and its "Initialize" run, at the next run.
#include "simulator/user_libraries.h"

#include "common/startup.h"
#include "platform/core/dynamic_library.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

struct UserDll {
    std::string name;
    std::unique_ptr<platform::DynamicLibrary> library;
};

std::vector<UserDll> g_registry;
std::uint64_t g_generation = 1;
bool g_multipleRun = false;
std::string g_modelDirectory;
std::string g_error;

using LifeCycleCall = void (*)();

void callExport(platform::DynamicLibrary& library, const char* name)
{
    if (auto entry = library.function<LifeCycleCall>(name))
        entry();
}

bool isFile(const std::string& path) { return platform::fileExists(path) && !platform::isDirectory(path); }

/// A file name without a directory.
bool isBareName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

/// The directories looked in, as a message names them.
std::string directoryList()
{
    std::string where;
    for (const std::string& directory : UserDllDirectories())
        where += (where.empty() ? "" : "; ") + directory;
    return where.empty() ? std::string("no directory") : where;
}

/// The names a library file may have: as given, and with ".so" when it has no extension.
std::vector<std::string> fileNames(const std::string& name)
{
    std::vector<std::string> names{name};
    const std::size_t slash = name.rfind('/');
    if (name.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        names.push_back(name + ".so");
    return names;
}

} // namespace

void SetUserDllModelDirectory(const std::string& directory) { g_modelDirectory = directory; }

std::vector<std::string> UserDllDirectories()
{
    std::string program = Startup().StartupDirectory;
    if (program.empty())
        program = platform::executableDirectory();
    std::vector<std::string> directories;
    for (const std::string& given : {g_modelDirectory, Startup().WorkingDirectory, program}) {
        if (given.empty())
            continue;
        // A directory of the settings given relative is relative to the current one.
        std::error_code error;
        const std::string d = std::filesystem::absolute(given, error).lexically_normal().string();
        if (error)
            continue;
        const std::string bare = d.size() > 1 && d.back() == '/' ? d.substr(0, d.size() - 1) : d;
        if (std::find(directories.begin(), directories.end(), bare) == directories.end())
            directories.push_back(bare);
    }
    return directories;
}

std::optional<std::string> FindUserDllFile(const std::string& name)
{
    if (!isBareName(name))
        return std::nullopt;
    for (const std::string& directory : UserDllDirectories())
        for (const std::string& candidate : fileNames(name)) {
            const std::string path = platform::joinPath(directory, candidate);
            if (isFile(path))
                return path;
        }
    return std::nullopt;
}

const std::string& UserDllError() { return g_error; }

void* LoadUserDll(const std::string& name)
{
    for (const UserDll& dll : g_registry)
        if (dll.name == name)
            return dll.library.get();
    g_error.clear();
    if (name.empty()) {
        g_error = "No library is named.";
        return nullptr;
    }
    if (!isBareName(name)) {
        g_error = "The library " + name + " is not named by its file name alone; it is looked for only in " +
                  directoryList() + ".";
        return nullptr;
    }
    const std::optional<std::string> path = FindUserDllFile(name);
    if (!path) {
        g_error = "There is no file " + name + " in " + directoryList() + ".";
        return nullptr;
    }
    auto library = std::make_unique<platform::DynamicLibrary>();
    if (!library->open(*path)) {
        g_error = library->error() + ".";
        return nullptr;
    }
    callExport(*library, "Initialize");
    g_registry.push_back({name, std::move(library)});
    if (g_multipleRun)
        callExport(*g_registry.back().library, "InitializeRun");
    return g_registry.back().library.get();
}

void InitializeUserDllRun()
{
    for (UserDll& dll : g_registry)
        callExport(*dll.library, "InitializeRun");
}

void TerminateUserDllRun()
{
    for (UserDll& dll : g_registry)
        callExport(*dll.library, "TerminateRun");
}

void TerminateUserDlls()
{
    for (UserDll& dll : g_registry) {
        callExport(*dll.library, "Terminate");
        dll.library->close();
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
    auto* module = static_cast<platform::DynamicLibrary*>(LoadUserDll(library));
    if (!module)
        return 1;
    UserFunction entry = function.empty() ? nullptr : module->function<UserFunction>(function);
    if (!entry)
        return 2;
    out = entry;
    return 0;
}

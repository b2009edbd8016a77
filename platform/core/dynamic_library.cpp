// Loadable libraries over dlopen, with texts for each failure.
#include "platform/core/dynamic_library.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary()
{
    close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)),
      m_error(std::move(other.m_error))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool DynamicLibrary::open(const std::string& path)
{
    close();
    m_path = path;
    m_error.clear();
    if (path.empty() || path.front() != '/') {
        // dlopen would search the library path for a bare name.
        m_error = "Could not load '" + path + "': not an absolute path";
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        m_error = "Could not load '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        m_error = "Could not load '" + path + "': it is a directory";
        return false;
    }
    ::dlerror();
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        m_error = "Could not load '" + path + "': " + (why ? why : "the loader refused it");
        return false;
    }
    return true;
}

void* DynamicLibrary::symbol(const std::string& name)
{
    if (!m_handle) {
        m_error = "No library is open to look up '" + name + "'";
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(m_handle, name.c_str());
    // An exported symbol at address 0 is of no use to a caller either.
    if (::dlerror() != nullptr || address == nullptr) {
        m_error = "Library '" + m_path + "' has no entry '" + name + "'";
        return nullptr;
    }
    m_error.clear();
    return address;
}

void DynamicLibrary::close()
{
    if (m_handle) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

} // namespace platform

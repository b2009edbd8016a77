// Loadable libraries (the C-code generator, user function libraries, outside
// helpers), opened by absolute path so that no search path can put another
// file in their place.
#pragma once

#include <string>

namespace platform {

/// One open library; closed when the object goes.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    /// Opens the library at an absolute path (closing any open one first);
    /// false with `error()` saying why: a relative path, a missing file, or a
    /// file the loader refuses.
    bool open(const std::string& path);

    /// The address of an exported symbol; null with `error()` naming the
    /// library and the symbol when it has none (or no library is open).
    void* symbol(const std::string& name);

    /// The symbol as a function pointer of type `Function`.
    template <class Function>
    Function function(const std::string& name)
    {
        return reinterpret_cast<Function>(symbol(name));
    }

    /// Releases the library; nothing when none is open.
    void close();

    bool isOpen() const { return m_handle != nullptr; }
    const std::string& path() const { return m_path; }
    /// The text of the last failure; empty after a success.
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_path;
    std::string m_error;
};

} // namespace platform

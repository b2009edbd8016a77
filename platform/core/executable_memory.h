// Memory for generated machine code: mapped writable while the code is written,
// then switched to read-execute, never both at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

/// One mapping of generated code, released with its owner.
class ExecutableMemory {
public:
    ExecutableMemory() = default;
    ~ExecutableMemory();
    ExecutableMemory(const ExecutableMemory&) = delete;
    ExecutableMemory& operator=(const ExecutableMemory&) = delete;
    ExecutableMemory(ExecutableMemory&& other) noexcept;
    ExecutableMemory& operator=(ExecutableMemory&& other) noexcept;

    /// Maps at least `size` zeroed, writable bytes in place of any earlier mapping; false when refused.
    bool allocate(std::size_t size);
    /// Makes the mapping read-execute; false when refused (the mapping then stays writable).
    bool makeExecutable();
    /// Unmaps the memory.
    void release();

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool executable() const { return m_executable; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;
    bool m_executable = false;
};

/// While it lives, every allocation of executable memory fails (for tests of the fallback).
class ScopedExecutableMemoryRefusal {
public:
    ScopedExecutableMemoryRefusal();
    ~ScopedExecutableMemoryRefusal();
    ScopedExecutableMemoryRefusal(const ScopedExecutableMemoryRefusal&) = delete;
    ScopedExecutableMemoryRefusal& operator=(const ScopedExecutableMemoryRefusal&) = delete;
};

} // namespace platform

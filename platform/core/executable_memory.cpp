// Memory for generated machine code through mmap and mprotect.
#include "platform/core/executable_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

int g_refusals = 0;

std::size_t pageRounded(std::size_t size)
{
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t unit = page > 0 ? std::size_t(page) : 4096;
    return (size + unit - 1) / unit * unit;
}

} // namespace

ExecutableMemory::~ExecutableMemory() { release(); }

ExecutableMemory::ExecutableMemory(ExecutableMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, 0)), m_executable(std::exchange(other.m_executable, false))
{
}

ExecutableMemory& ExecutableMemory::operator=(ExecutableMemory&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_executable = std::exchange(other.m_executable, false);
    }
    return *this;
}

bool ExecutableMemory::allocate(std::size_t size)
{
    release();
    if (g_refusals > 0 || size == 0)
        return false;
    const std::size_t mapped = pageRounded(size);
    if (mapped < size)
        return false;
    void* block = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return false;
    m_data = static_cast<std::uint8_t*>(block);
    m_size = size;
    m_mapped = mapped;
    return true;
}

bool ExecutableMemory::makeExecutable()
{
    if (!m_data || mprotect(m_data, m_mapped, PROT_READ | PROT_EXEC) != 0)
        return false;
    m_executable = true;
    return true;
}

void ExecutableMemory::release()
{
    if (m_data)
        munmap(m_data, m_mapped);
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
    m_executable = false;
}

ScopedExecutableMemoryRefusal::ScopedExecutableMemoryRefusal() { ++g_refusals; }
ScopedExecutableMemoryRefusal::~ScopedExecutableMemoryRefusal() { --g_refusals; }

} // namespace platform

#include "platform/core/large_pages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

bool largePagesOnRequest()
{
    // "always [madvise] never": the bracketed word is the system's setting.
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(setting, text);
    return text.find("[always]") != std::string::npos || text.find("[madvise]") != std::string::npos;
}

void* mapLargePages(std::size_t size)
{
    if (size == 0 || size % kLargePageSize != 0 || size > SIZE_MAX - kLargePageSize)
        return nullptr;
    // Map a page more than asked for and cut the ends off, so that what stays begins at a bound.
    void* mapped = mmap(nullptr, size + kLargePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePageSize - 1) / kLargePageSize * kLargePageSize;
    if (aligned > start)
        munmap(mapped, aligned - start);
    const std::uintptr_t end = aligned + size;
    if (start + size + kLargePageSize > end)
        munmap(reinterpret_cast<void*>(end), start + size + kLargePageSize - end);
    void* memory = reinterpret_cast<void*>(aligned);
    // A request: the memory serves without it. Each large page is made present when first
    // touched, one fault for 2 MB, so that the untouched end of a mapping costs nothing.
    madvise(memory, size, MADV_HUGEPAGE);
    return memory;
}

void unmapLargePages(void* memory, std::size_t size)
{
    if (memory)
        munmap(memory, size);
}

void mapLargeBlocksApart()
{
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kSeparateBlockSize)); // a request: the heap serves without it
}

void restartWithLargeHeapPages(char** argv)
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if ((tunables && std::strstr(tunables, "glibc.malloc.hugetlb")) || !largePagesOnRequest() || !argv || !argv[0])
        return;
    std::string value = tunables && *tunables ? std::string(tunables) + ":" + kLargeHeapPagesTunable
                                              : std::string(kLargeHeapPagesTunable);
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Not started again: the program goes on with its heap and its environment as they were.
    if (tunables)
        setenv("GLIBC_TUNABLES", tunables, 1);
    else
        unsetenv("GLIBC_TUNABLES");
}

} // namespace platform

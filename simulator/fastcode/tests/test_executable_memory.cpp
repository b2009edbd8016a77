// Executable memory: code written while the mapping is writable runs once it is switched
// to read-execute, the mapping is never writable and executable at once, and it moves
// and releases with its owner.
#include "platform/core/executable_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

/// The permissions ("r-xp", "rw-p", ...) of the mapping that holds the address; empty when none.
std::string permissionsAt(const void* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::uintptr_t low = 0, high = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &low, &high, permissions) == 3 && at >= low && at < high)
            return permissions;
    }
    return {};
}

} // namespace

TEST(ExecutableMemory, WrittenCodeRunsOnlyAfterTheSwitchToReadExecute)
{
    platform::ExecutableMemory memory;
    ASSERT_TRUE(memory.allocate(6));
    EXPECT_EQ(memory.size(), 6u);
    EXPECT_EQ(permissionsAt(memory.data()), "rw-p");
    const std::uint8_t code[] = {0xB8, 42, 0, 0, 0, 0xC3}; // mov eax, 42; ret
    std::memcpy(memory.data(), code, sizeof code);
    ASSERT_TRUE(memory.makeExecutable());
    EXPECT_TRUE(memory.executable());
    EXPECT_EQ(permissionsAt(memory.data()), "r-xp");
    EXPECT_EQ(reinterpret_cast<int (*)()>(memory.data())(), 42);

    // A move hands the mapping over; the moved-from owner releases nothing.
    platform::ExecutableMemory other = std::move(memory);
    EXPECT_EQ(memory.data(), nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(other.data())(), 42);
    const void* address = other.data();
    other.release();
    EXPECT_EQ(other.data(), nullptr);
    EXPECT_EQ(permissionsAt(address), "");
}

TEST(ExecutableMemory, RefusalsAndEmptyRequestsGiveNoMapping)
{
    platform::ExecutableMemory memory;
    EXPECT_FALSE(memory.allocate(0));
    EXPECT_FALSE(memory.makeExecutable());
    {
        platform::ScopedExecutableMemoryRefusal refuse;
        EXPECT_FALSE(memory.allocate(16));
        EXPECT_EQ(memory.data(), nullptr);
    }
    EXPECT_TRUE(memory.allocate(16));
    // A new allocation replaces the old mapping.
    const void* first = memory.data();
    ASSERT_TRUE(memory.allocate(1 << 20));
    EXPECT_NE(memory.data(), nullptr);
    if (memory.data() != first) {
        EXPECT_EQ(permissionsAt(first), "");
    }
}

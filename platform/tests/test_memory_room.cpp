// The room for memory as the system tells it: an address-space limit set on the process is read
// at once, less what the process has mapped, and a number of bytes is shown in its unit.
#include "platform/core/memory_room.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {

/// The address space the process has mapped.
std::uint64_t mappedNow()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

TEST(MemoryRoom, AnAddressSpaceLimitIsReadAtOnceLessWhatTheProcessHasMapped)
{
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    const platform::MemoryRoom before = platform::memoryRoom();
    ASSERT_TRUE(before.physical) << "the machine tells its memory";
    EXPECT_FALSE(before.physicalBound.empty());

    const std::uint64_t headroom = std::uint64_t(512) << 20;
    rlimit capped = saved;
    capped.rlim_cur = std::min<rlim_t>(saved.rlim_max, mappedNow() + headroom);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    const platform::MemoryRoom room = platform::memoryRoom();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);
    ASSERT_TRUE(room.addressSpace);
    EXPECT_LE(*room.addressSpace, headroom);
    EXPECT_GT(*room.addressSpace, headroom / 2);
    EXPECT_EQ(room.physical, before.physical);
    EXPECT_EQ(platform::memoryRoom().addressSpace.has_value(), before.addressSpace.has_value());
}

TEST(MemoryRoom, BytesAreShownInTheUnitThatSuitsThem)
{
    EXPECT_EQ(platform::byteCountText(512), "512 bytes");
    EXPECT_EQ(platform::byteCountText(1536), "1.50 KB");
    EXPECT_EQ(platform::byteCountText(std::uint64_t(300) << 20), "300 MB");
    EXPECT_EQ(platform::byteCountText((std::uint64_t(1) << 30) - 1), "1.00 GB");
    EXPECT_EQ(platform::byteCountText(std::uint64_t(45) << 30), "45.0 GB");
}

} // namespace

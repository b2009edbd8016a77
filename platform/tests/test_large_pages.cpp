#include "platform/core/large_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// The flags the system keeps for the mapping that begins at `memory` ("" when none does).
std::string mappingFlags(const void* memory)
{
    std::ifstream maps("/proc/self/smaps");
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    bool inside = false;
    for (std::string line; std::getline(maps, line);) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) // a mapping's first line
            inside = from == start;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return "";
}

} // namespace

// Large pages come whole, at a bound, and the whole of them can be written; a size that is no
// whole number of them is refused rather than rounded behind the caller's back.
TEST(LargePages, AreMappedWholeAtABoundAndAskedForLargePages)
{
    EXPECT_EQ(platform::mapLargePages(0), nullptr);
    EXPECT_EQ(platform::mapLargePages(platform::kLargePageSize + 4096), nullptr);
    for (std::size_t pages : {1u, 3u}) {
        const std::size_t size = pages * platform::kLargePageSize;
        auto* memory = static_cast<unsigned char*>(platform::mapLargePages(size));
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % platform::kLargePageSize, 0u);
        EXPECT_EQ(memory[0], 0);
        EXPECT_EQ(memory[size - 1], 0);
        memory[0] = 1;
        memory[size - 1] = 2;
        if (platform::largePagesOnRequest()) {
            EXPECT_NE(mappingFlags(memory).find(" hg"), std::string::npos) << mappingFlags(memory);
        }
        platform::unmapLargePages(memory, size);
    }
}

namespace {

/// Whether every page of the `size` bytes at `memory` is present.
bool present(const unsigned char* memory, std::size_t size)
{
    std::vector<unsigned char> pages(size / 4096);
    if (mincore(const_cast<unsigned char*>(memory), size, pages.data()) != 0)
        return false;
    return std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
}

/// Asks for the middle two of four large pages to be made present ahead and waits until they
/// are; whether they became so, and the others stayed as they were.
bool middlePagesMadePresentAhead()
{
    const std::size_t page = platform::kLargePageSize;
    auto* memory = static_cast<unsigned char*>(platform::mapLargePages(4 * page));
    if (!memory)
        return false;
    const bool before = present(memory + page, 2 * page);
    platform::populateAhead(memory + page, 2 * page);
    for (int i = 0; i < 1000 && !present(memory + page, 2 * page); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool made = !before && present(memory + page, 2 * page) && !present(memory, page) &&
                      !present(memory + 3 * page, page);
    platform::unmapLargePages(memory, 4 * page);
    return made;
}

} // namespace

// Pages asked to be made present ahead become so while the caller goes on; mappings given back
// while their pages are still asked for are given back whole, what was asked dropped. A child
// process forked meanwhile has its pages made present as well.
TEST(LargePages, PagesAreMadePresentAheadAndDroppedWithTheirMapping)
{
    const std::size_t page = platform::kLargePageSize;
    EXPECT_TRUE(middlePagesMadePresentAhead());

    for (int i = 0; i < 50; ++i) {
        void* gone = platform::mapLargePages(8 * page);
        ASSERT_NE(gone, nullptr);
        platform::populateAhead(gone, 8 * page);
        platform::unmapLargePages(gone, 8 * page);
    }

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(middlePagesMadePresentAhead() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A range that begins and ends inside pages, as a table in the heap does, has every page it lies
// in made present, across large-page bounds, and no page beside it.
TEST(LargePages, ARangeHasThePagesItLiesInMadePresent)
{
    const std::size_t small = 4096;
    const std::size_t size = 3 * platform::kLargePageSize;
    auto* memory = static_cast<unsigned char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(memory, MAP_FAILED);
    madvise(memory, size, MADV_NOHUGEPAGE); // page by page, so that the pages beside stay absent
    const std::size_t lastPage = (small + 100 + platform::kLargePageSize + 200) / small;
    platform::populateAhead(memory + small + 100, platform::kLargePageSize + 200);
    for (int i = 0; i < 1000 && !present(memory + small, lastPage * small); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(present(memory + small, lastPage * small));
    EXPECT_FALSE(present(memory, small));
    EXPECT_FALSE(present(memory + (lastPage + 1) * small, small));
    munmap(memory, size);
}

// Once a large block has come and gone, a block of the size asked for is still mapped on its own
// and given back when freed, instead of being laid in the heap, whose room the program keeps.
TEST(LargePages, LargeBlocksAreMappedApartAfterALargerOneWasFreed)
{
    platform::mapLargeBlocksApart();
    const auto mapped = [] { return mallinfo2().hblkhd; };
    void* larger = std::malloc(std::size_t(16) << 20);
    ASSERT_TRUE(larger);
    static_cast<volatile char*>(larger)[0] = 1;
    std::free(larger);
    const std::size_t before = mapped();
    void* block = std::malloc(platform::kSeparateBlockSize * 2);
    ASSERT_TRUE(block);
    EXPECT_GE(mapped(), before + platform::kSeparateBlockSize * 2);
    std::free(block);
    EXPECT_EQ(mapped(), before);
}

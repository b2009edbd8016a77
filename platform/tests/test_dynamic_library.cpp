// Loadable libraries: opened by absolute path only, symbols looked up and
// called, and a text for each way it can fail.
#include "platform/core/dynamic_library.h"

#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

using platform::DynamicLibrary;

TEST(DynamicLibrary, LoadsALibraryByAbsolutePathAndCallsItsEntries)
{
    DynamicLibrary library;
    ASSERT_TRUE(library.open(TEST_USER_LIBRARY)) << library.error();
    EXPECT_TRUE(library.isOpen());
    EXPECT_TRUE(library.error().empty());
    using Gain = int (*)(double*, int, double*, int);
    auto gain = library.function<Gain>("gain");
    ASSERT_NE(gain, nullptr) << library.error();
    double in[2] = {1.5, -4.0}, out[2] = {0, 0};
    EXPECT_EQ(gain(in, 2, out, 2), 0);
    EXPECT_DOUBLE_EQ(out[0], 3.0);
    EXPECT_DOUBLE_EQ(out[1], -8.0);

    // A moved library stays open in its new owner only.
    DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.isOpen());
    EXPECT_NE(moved.symbol("LifeCycleCalls"), nullptr);
    moved.close();
    EXPECT_FALSE(moved.isOpen());
    moved.close();
}

TEST(DynamicLibrary, EachFailureHasItsText)
{
    testsupport::TempDir dir;
    std::string text = dir.write("notes.so", "this is no library\n");
    std::string missing = dir.file("gone.so");
    struct Case {
        std::string path;
        std::string error;
    };
    for (const Case& c : {Case{missing, "Could not load '" + missing + "': No such file or directory"},
                          Case{"testgain.so", "Could not load 'testgain.so': not an absolute path"},
                          Case{"", "Could not load '': not an absolute path"},
                          Case{dir.path(), "Could not load '" + dir.path() + "': it is a directory"}}) {
        DynamicLibrary library;
        EXPECT_FALSE(library.open(c.path));
        EXPECT_EQ(library.error(), c.error);
        EXPECT_FALSE(library.isOpen());
    }
    // The loader's own words for a file that is not a library, after the path.
    DynamicLibrary library;
    EXPECT_FALSE(library.open(text));
    EXPECT_EQ(library.error().rfind("Could not load '" + text + "': ", 0), 0u) << library.error();
    EXPECT_GT(library.error().size(), text.size() + 20);

    ASSERT_TRUE(library.open(TEST_USER_LIBRARY));
    EXPECT_EQ(library.symbol("NoSuchEntry"), nullptr);
    EXPECT_EQ(library.error(), std::string("Library '") + TEST_USER_LIBRARY + "' has no entry 'NoSuchEntry'");
    EXPECT_NE(library.symbol("gain"), nullptr);
    EXPECT_TRUE(library.error().empty()) << "a success clears the last failure";
    library.close();
    EXPECT_EQ(library.symbol("gain"), nullptr);
    EXPECT_EQ(library.error(), "No library is open to look up 'gain'");
}

// The program the large-page tests start: it counts its starts in its environment, asks to be
// started again with large heap pages, and prints its starts, its request and its arguments.
#include "platform/core/large_pages.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    const char* before = std::getenv("PROBE_STARTS");
    const std::string starts = std::to_string((before ? std::atoi(before) : 0) + 1);
    setenv("PROBE_STARTS", starts.c_str(), 1);
    platform::restartWithLargeHeapPages(argv);
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("starts=%s tunables=%s args=", starts.c_str(), tunables ? tunables : "");
    for (int i = 1; i < argc; ++i)
        std::printf("%s%s", i > 1 ? "," : "", argv[i]);
    std::printf("\n");
    return 0;
}

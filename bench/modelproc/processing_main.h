// The main of the benchmarks that process models: they run as the model processor runs, with the
// C library's large blocks mapped apart.
#pragma once

#include "platform/core/large_pages.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv)
{
    platform::mapLargeBlocksApart();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

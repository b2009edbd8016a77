// The peak resident size of a benchmark's process, for the benchmarks that report memory.
#pragma once

#include <fstream>
#include <string>

/// The peak resident size of this process so far, in MiB (0 when it cannot be read).
inline double peakResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

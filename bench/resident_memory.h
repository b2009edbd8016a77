// The resident size of a process, for the benchmarks and tools that report memory.
#pragma once

#include <fstream>
#include <string>
#include <sys/types.h>

/// The peak resident size of this process so far, in MiB (0 when it cannot be read).
inline double peakResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

/// The resident size of a process now, in MiB; -1 when there is no such process.
inline double residentMegabytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

// The resident size of a process, for the benchmarks and tools that report memory.
#pragma once

#include <fstream>
#include <string>
#include <sys/types.h>

/// A size line ("VmHWM:", "VmRSS:") of a process's status file, in MiB; `none` when it has none.
inline double statusMegabytes(const std::string& statusFile, const std::string& field, double none)
{
    std::ifstream status(statusFile);
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(field.size())) / 1024.0;
    return none;
}

/// The peak resident size of this process so far, in MiB (0 when it cannot be read).
inline double peakResidentMegabytes()
{
    return statusMegabytes("/proc/self/status", "VmHWM:", 0);
}

/// The resident size of a process now, in MiB; -1 when there is no such process.
inline double residentMegabytes(pid_t pid)
{
    return statusMegabytes("/proc/" + std::to_string(pid) + "/status", "VmRSS:", -1);
}

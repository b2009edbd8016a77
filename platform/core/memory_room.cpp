// The memory a process can still take, from sysconf, getrlimit and /proc/self/statm.
#include "platform/core/memory_room.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace platform {

namespace {

std::uint64_t physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size) : 0;
}

/// The address space the process has mapped, from the first field of /proc/self/statm.
std::uint64_t addressSpaceUsed()
{
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    const long size = sysconf(_SC_PAGESIZE);
    return statm && size > 0 ? pages * static_cast<std::uint64_t>(size) : 0;
}

/// The number a control-group file holds; 0 for none, for "max" and for the "no limit" that
/// the first version of control groups writes as a number near the largest.
std::uint64_t groupLimitIn(const std::string& file)
{
    std::ifstream in(file);
    std::uint64_t value = 0;
    if (!(in >> value) || value >= (std::uint64_t(1) << 62))
        return 0;
    return value;
}

/// The memory limit of the control group the process runs in, of either version; 0 for none.
std::uint64_t groupMemoryLimit()
{
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        // Inside a container the group's own folder may be the root of the hierarchy.
        if (controllers.empty()) {
            for (const std::string& folder : {"/sys/fs/cgroup" + path, std::string("/sys/fs/cgroup")})
                if (const std::uint64_t limit = groupLimitIn(folder + "/memory.max"))
                    return limit;
        } else if (controllers == "memory") {
            for (const std::string& folder : {"/sys/fs/cgroup/memory" + path, std::string("/sys/fs/cgroup/memory")})
                if (const std::uint64_t limit = groupLimitIn(folder + "/memory.limit_in_bytes"))
                    return limit;
        }
    }
    return 0;
}

} // namespace

MemoryRoom memoryRoomOf(std::uint64_t physical, std::uint64_t group, std::uint64_t limit, std::uint64_t used)
{
    MemoryRoom room;
    if (physical != 0) {
        room.physical = physical;
        room.physicalBound = "the machine's physical memory";
    }
    if (group != 0 && (physical == 0 || group < physical)) {
        room.physical = group;
        room.physicalBound = "the memory of the process's control group";
    }
    if (limit != 0)
        room.addressSpace = limit > used ? limit - used : 0;
    return room;
}

MemoryRoom memoryRoom()
{
    rlimit limit{};
    const bool limited = getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
    return memoryRoomOf(physicalMemory(), groupMemoryLimit(),
                        limited ? static_cast<std::uint64_t>(limit.rlim_cur) : 0, limited ? addressSpaceUsed() : 0);
}

std::string byteCountText(std::uint64_t bytes)
{
    static const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    // What would show as 1024 of a unit shows as 1 of the next.
    while (value >= 1023.5 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, value < 10 ? "%.2f %s" : value < 100 ? "%.1f %s" : "%.0f %s", value,
                      units[unit]);
    return text;
}

} // namespace platform

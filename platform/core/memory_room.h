// The memory a process can still take, read from the system when asked: the machine's physical
// memory (or less, as the control group the process runs in allows it), and what the process's
// address-space limit leaves it beside what it has mapped already.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

/// Room for more memory.
struct MemoryRoom {
    /// The physical memory the process may fill; none when the system does not tell it.
    std::optional<std::uint64_t> physical;
    /// "the machine's physical memory", or "the memory of the process's control group" when the
    /// group the system runs it in allows it less.
    std::string physicalBound;
    /// The address space the process's limit leaves it; none when it has no limit.
    std::optional<std::uint64_t> addressSpace;
};

/// The room as the system tells it now.
MemoryRoom memoryRoom();

/// The room of a process on a machine of `physical` bytes of memory in a control group that
/// allows it `group` bytes (either 0 when not known) whose address-space limit (0 when it has none)
/// leaves it `limit` less the `used` bytes it has mapped.
MemoryRoom memoryRoomOf(std::uint64_t physical, std::uint64_t group, std::uint64_t limit, std::uint64_t used);

/// "1.5 GB", "300 MB", "12 KB": a number of bytes in the unit that suits it.
std::string byteCountText(std::uint64_t bytes);

} // namespace platform

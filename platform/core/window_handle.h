// Window handles as the suite passes them between its programs.
#pragma once

#include <cstdint>

namespace platform {

/// A window handle: (process id << 24) | serial; 0 is no window (the desktop).
using WindowHandle = std::uint64_t;

} // namespace platform

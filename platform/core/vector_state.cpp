// Clearing the upper vector state.
#include "platform/core/vector_state.h"

namespace platform {

void clearUpperVectorState()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool wideRegisters = __builtin_cpu_supports("avx");
    if (wideRegisters)
        asm volatile("vzeroupper" ::: "memory");
#endif
}

} // namespace platform

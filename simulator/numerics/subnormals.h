// Subnormal results counted as zero while the sparse iteration matrices work.
//
// A large model started from rest carries values far below the smallest normal double in most
// of its components for the first steps (the front of a diffusion decays geometrically from one
// grid point to the next). Each operation on such a value costs the processor a hundred cycles
// or more instead of a few, and the sparse paths, whose work per step is linear in the
// components, then spend most of a run on numbers no tolerance can see (2.2e-308 and below).
// There the SSE mode flush-to-zero (a result below the normal range is zero) is set for the
// duration of the integrator's call. Operands are read as they are (denormals-are-zero stays
// off), so a subnormal given to a maths routine gives what it always gave: log(1e-310) is a
// number, not a singularity. The dense paths never set the mode: their results stay exactly
// what they were.
#pragma once

#if defined(__x86_64__) && defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace numerics {

#if defined(__x86_64__) && defined(__SSE2__)
/// The flush-to-zero bit (15) of the SSE control register.
inline constexpr unsigned SubnormalsAsZeroBits = 0x8000u;

inline unsigned subnormalModeBits() { return _mm_getcsr() & SubnormalsAsZeroBits; }

/// Clears the mode, keeping the rest of the control register (traps and sticky flags); for
/// a computation left by a jump past the scope that set them.
inline void ClearSubnormalsAsZero()
{
    const unsigned csr = _mm_getcsr();
    if (csr & SubnormalsAsZeroBits)
        _mm_setcsr(csr & ~SubnormalsAsZeroBits);
}

/// Sets the mode for its lifetime when asked to, and gives it back as it was;
/// the traps and sticky flags raised meanwhile stay as they are.
class SubnormalsAsZero {
public:
    explicit SubnormalsAsZero(bool on) : m_on(on)
    {
        if (!m_on)
            return;
        const unsigned csr = _mm_getcsr();
        m_before = csr & SubnormalsAsZeroBits;
        if (m_before != SubnormalsAsZeroBits)
            _mm_setcsr(csr | SubnormalsAsZeroBits);
    }
    ~SubnormalsAsZero()
    {
        if (!m_on)
            return;
        const unsigned csr = _mm_getcsr();
        if ((csr & SubnormalsAsZeroBits) != m_before)
            _mm_setcsr((csr & ~SubnormalsAsZeroBits) | m_before);
    }
    SubnormalsAsZero(const SubnormalsAsZero&) = delete;
    SubnormalsAsZero& operator=(const SubnormalsAsZero&) = delete;

private:
    bool m_on;
    unsigned m_before = 0;
};
#else
inline constexpr unsigned SubnormalsAsZeroBits = 0u;
inline unsigned subnormalModeBits() { return 0u; }
inline void ClearSubnormalsAsZero() {}
class SubnormalsAsZero {
public:
    explicit SubnormalsAsZero(bool) {}
};
#endif

} // namespace numerics

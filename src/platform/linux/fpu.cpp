//===- fpu.cpp - Floating-point exception masks through fenv and MXCSR ----===//
#include "platform/fpu.h"

#include <cerrno>
#include <fenv.h>
#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace ktu::sys {

namespace {

// The library's mask bits and the C library's exception flags.
struct Pair {
    unsigned mask;
    int except;
};
constexpr Pair kPairs[] = {
    {0x1, FE_INEXACT},   {0x2, FE_UNDERFLOW}, {0x4, FE_OVERFLOW},
    {0x8, FE_DIVBYZERO}, {0x10, FE_INVALID},
};
constexpr unsigned kDenormal = 0x80000;
#if defined(__x86_64__) || defined(__i386__)
constexpr unsigned kMxcsrDenormalMask = 0x100; // DM
#endif

} // namespace

unsigned GetFPControl() {
    const int trapping = fegetexcept();
    unsigned word = 0;
    for (const Pair& p : kPairs)
        if (!(trapping & p.except)) word |= p.mask;
#if defined(__x86_64__) || defined(__i386__)
    if (_mm_getcsr() & kMxcsrDenormalMask) word |= kDenormal;
#else
    word |= kDenormal; // no denormal-operand trap here: always masked
#endif
    return word;
}

bool SetFPControl(unsigned word, unsigned mask) {
    mask &= kFPExceptionMask;
    int enable = 0, disable = 0;
    for (const Pair& p : kPairs) {
        if (!(mask & p.mask)) continue;
        if (word & p.mask)
            disable |= p.except; // masked: does not trap
        else
            enable |= p.except;
    }
    if (disable && fedisableexcept(disable) == -1) return false;
    if (enable && feenableexcept(enable) == -1) {
        errno = ENOTSUP;
        return false;
    }
#if defined(__x86_64__) || defined(__i386__)
    if (mask & kDenormal) {
        unsigned csr = _mm_getcsr();
        csr = (word & kDenormal) ? csr | kMxcsrDenormalMask : csr & ~kMxcsrDenormalMask;
        _mm_setcsr(csr);
    }
#else
    if ((mask & kDenormal) && !(word & kDenormal)) {
        errno = ENOTSUP;
        return false;
    }
#endif
    return true;
}

void ClearFPStatus() {
    feclearexcept(FE_ALL_EXCEPT);
}

} // namespace ktu::sys

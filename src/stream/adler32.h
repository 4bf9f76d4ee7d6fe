//===- adler32.h - Adler-32 kernels, scalar, SSSE3 and AVX2 ---------------===//
//
// The byte loops behind KtUChecksum. The state is the two Adler-32 sums and a
// countdown of the bytes that may still be added before both sums must be
// reduced modulo 65521; every kernel leaves exactly the state that adding the
// bytes one at a time would:
//
//   a += byte; b += a;
//   if (--countdown == 0) { a %= 65521; b %= 65521; countdown = 5552; }
//
// 5552 is the largest run after which b cannot have passed 2^32 - 1, so the
// unreduced sums are exact integers and any order of adding them up (sixteen
// or thirty-two bytes per vector step) gives the same state. The vector
// kernels may only be called when the processor has their instructions;
// Adler32Add picks the best kernel once and is what callers use.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_STREAM_ADLER32_H
#define KTUTIL_STREAM_ADLER32_H

#include "platform/export.h"

#include <cstddef>
#include <cstdint>

namespace ktu::stream {

constexpr std::uint32_t kAdlerModulus = 65521;
/// Bytes that may be added between reductions.
constexpr int kAdlerDeferral = 5552;

struct Adler32State {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    int countdown = kAdlerDeferral;
};

using Adler32Kernel = void (*)(Adler32State& state, const unsigned char* bytes, std::size_t n);

KTU_INTERNAL_API void Adler32Scalar(Adler32State& state, const unsigned char* bytes, std::size_t n);
/// Only when CpuHasSsse3().
KTU_INTERNAL_API void Adler32Ssse3(Adler32State& state, const unsigned char* bytes, std::size_t n);
/// Only when CpuHasAvx2().
KTU_INTERNAL_API void Adler32Avx2(Adler32State& state, const unsigned char* bytes, std::size_t n);

KTU_INTERNAL_API bool CpuHasSsse3();
KTU_INTERNAL_API bool CpuHasAvx2();

/// The best kernel for this processor (chosen once).
KTU_INTERNAL_API Adler32Kernel Adler32Dispatched();

/// Adds n bytes with the best kernel.
inline void Adler32Add(Adler32State& state, const unsigned char* bytes, std::size_t n) {
    Adler32Dispatched()(state, bytes, n);
}

/// The checksum of the state: both sums reduced, b in the high half.
inline std::uint32_t Adler32Value(const Adler32State& state) {
    return (state.b % kAdlerModulus) << 16 | (state.a % kAdlerModulus);
}

} // namespace ktu::stream

#endif // KTUTIL_STREAM_ADLER32_H

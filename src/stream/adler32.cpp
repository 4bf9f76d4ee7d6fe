//===- adler32.cpp - Adler-32 kernels, scalar, SSSE3 and AVX2 -------------===//
#include "stream/adler32.h"

#include <immintrin.h>

namespace ktu::stream {

namespace {

// Adds k bytes to unreduced sums; the caller keeps k within the countdown.
inline void RunScalar(std::uint32_t& a, std::uint32_t& b, const unsigned char* p, std::size_t k) {
    for (; k >= 8; k -= 8, p += 8) {
        a += p[0];
        b += a;
        a += p[1];
        b += a;
        a += p[2];
        b += a;
        a += p[3];
        b += a;
        a += p[4];
        b += a;
        a += p[5];
        b += a;
        a += p[6];
        b += a;
        a += p[7];
        b += a;
    }
    for (; k; --k, ++p) {
        a += *p;
        b += a;
    }
}

// Splits the bytes at the reductions the countdown calls for and hands each
// run in between to Run.
template <void (*Run)(std::uint32_t&, std::uint32_t&, const unsigned char*, std::size_t)>
inline void AddInRuns(Adler32State& s, const unsigned char* p, std::size_t n) {
    std::uint32_t a = s.a, b = s.b;
    int countdown = s.countdown;
    while (n) {
        std::size_t k = n < static_cast<std::size_t>(countdown) ? n : countdown;
        Run(a, b, p, k);
        p += k;
        n -= k;
        countdown -= static_cast<int>(k);
        if (countdown == 0) {
            a %= kAdlerModulus;
            b %= kAdlerModulus;
            countdown = kAdlerDeferral;
        }
    }
    s.a = a;
    s.b = b;
    s.countdown = countdown;
}

// The vector runs. Per block of W bytes x[0..W-1], starting from sums a, b:
//   a' = a + sum x[t]
//   b' = b + W a + sum (W - t) x[t]
// Over B blocks the W a terms add up to W times (B a plus the sum, over each
// block, of the bytes of the blocks before it), which `prev` collects. All
// sums are taken modulo 2^32; since the true results fit (the countdown sees
// to that), they come out exact.

#define KTU_SSSE3 __attribute__((target("ssse3")))
#define KTU_AVX2 __attribute__((target("avx2")))

KTU_SSSE3 inline std::uint32_t Sum32(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

KTU_SSSE3 void RunSsse3(std::uint32_t& a, std::uint32_t& b, const unsigned char* p, std::size_t k) {
    std::size_t blocks = k / 16;
    if (blocks) {
        const __m128i weights =
            _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i zero = _mm_setzero_si128();
        __m128i sum = zero, prev = zero, weighted = zero;
        for (std::size_t i = 0; i < blocks; ++i, p += 16) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            prev = _mm_add_epi32(prev, sum);
            sum = _mm_add_epi32(sum, _mm_sad_epu8(x, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(x, weights), ones));
        }
        b += static_cast<std::uint32_t>(16 * blocks) * a + 16 * Sum32(prev) + Sum32(weighted);
        a += Sum32(sum);
    }
    RunScalar(a, b, p, k % 16);
}

KTU_AVX2 inline std::uint32_t Sum32(__m256i v) {
    return Sum32(_mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
}

KTU_AVX2 void RunAvx2(std::uint32_t& a, std::uint32_t& b, const unsigned char* p, std::size_t k) {
    std::size_t blocks = k / 32;
    if (blocks) {
        const __m256i weights =
            _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                             14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
        const __m256i ones = _mm256_set1_epi16(1);
        const __m256i zero = _mm256_setzero_si256();
        __m256i sum = zero, prev = zero, weighted = zero;
        std::size_t i = 0;
        // Two blocks a step, each with its own weighted sum, so that the two
        // multiply chains overlap.
        __m256i weighted2 = zero;
        for (; i + 2 <= blocks; i += 2, p += 64) {
            __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
            __m256i sx = _mm256_sad_epu8(x, zero);
            __m256i sy = _mm256_sad_epu8(y, zero);
            // Block x sees the sum so far; block y sees it plus x.
            prev = _mm256_add_epi32(prev, _mm256_add_epi32(_mm256_add_epi32(sum, sum), sx));
            sum = _mm256_add_epi32(sum, _mm256_add_epi32(sx, sy));
            weighted = _mm256_add_epi32(weighted,
                                        _mm256_madd_epi16(_mm256_maddubs_epi16(x, weights), ones));
            weighted2 = _mm256_add_epi32(weighted2,
                                         _mm256_madd_epi16(_mm256_maddubs_epi16(y, weights), ones));
        }
        if (i < blocks) {
            __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            prev = _mm256_add_epi32(prev, sum);
            sum = _mm256_add_epi32(sum, _mm256_sad_epu8(x, zero));
            weighted = _mm256_add_epi32(weighted,
                                        _mm256_madd_epi16(_mm256_maddubs_epi16(x, weights), ones));
            p += 32;
        }
        b += static_cast<std::uint32_t>(32 * blocks) * a + 32 * Sum32(prev) +
             Sum32(_mm256_add_epi32(weighted, weighted2));
        a += Sum32(sum);
    }
    RunScalar(a, b, p, k % 32);
}

Adler32Kernel Choose() {
    if (CpuHasAvx2()) return Adler32Avx2;
    if (CpuHasSsse3()) return Adler32Ssse3;
    return Adler32Scalar;
}

} // namespace

void Adler32Scalar(Adler32State& state, const unsigned char* bytes, std::size_t n) {
    AddInRuns<RunScalar>(state, bytes, n);
}

void Adler32Ssse3(Adler32State& state, const unsigned char* bytes, std::size_t n) {
    AddInRuns<RunSsse3>(state, bytes, n);
}

void Adler32Avx2(Adler32State& state, const unsigned char* bytes, std::size_t n) {
    AddInRuns<RunAvx2>(state, bytes, n);
}

bool CpuHasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

bool CpuHasAvx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

Adler32Kernel Adler32Dispatched() {
    static const Adler32Kernel chosen = Choose();
    return chosen;
}

} // namespace ktu::stream

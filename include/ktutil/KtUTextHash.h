//===- KtUTextHash.h - The library's text hash, h = h * 5 + c --------------===//
//
// Every text hash in the library (KtUString::Hash, KtUWideString::Hash, the
// string-keyed dictionaries) is h = h * 5 + c over the code units, narrow
// units taken as signed char and wide ones as unsigned, starting from 0:
//
//   unsigned h = ktu::text::Hash("ab");  // ('a' * 5 + 'b') == 583
//
// The value is fixed, so it is computed here sixteen bytes at a time: with
// 5 invertible modulo 2^32, a block's contribution is a dot product with
// powers of 5, scaled by 5^-k when the text ends k units early. The loads
// never cross into another page, as in the C library's strlen, so they may
// read bytes around the text that belong to nobody; those are masked off,
// and the functions are excluded from the address and thread checkers.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUTEXTHASH_H
#define KTUTIL_KTUTEXTHASH_H

#include <ktutil/KtUDefs.h>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define KTU_TEXT_HASH_SSE2 1
#endif

namespace ktu::text {

/// h = h * 5 + c, one unit at a time: the definition, and the path for
/// targets without SSE2. Null and empty texts hash to 0.
template <class C> inline unsigned int HashScalar(const C* text) {
    unsigned int h = 0;
    if (!text) return 0;
    for (; *text; ++text) {
        if constexpr (sizeof(C) == 1)
            h = h * 5 + static_cast<unsigned int>(static_cast<signed char>(*text));
        else
            h = h * 5 + static_cast<unsigned int>(*text);
    }
    return h;
}

#if KTU_TEXT_HASH_SSE2

namespace hash_detail {

constexpr uint32_t Pow5(unsigned int k) {
    uint32_t r = 1;
    while (k--)
        r *= 5;
    return r;
}
constexpr uint32_t PowInverse5(unsigned int k) {
    uint32_t r = 1;
    while (k--)
        r *= 0xCCCCCCCDu; // 5 * 0xCCCCCCCD == 1 modulo 2^32
    return r;
}
constexpr int16_t AsInt16(uint32_t v) {
    v &= 0xFFFF;
    return static_cast<int16_t>(v >= 0x8000 ? static_cast<int>(v) - 0x10000 : static_cast<int>(v));
}

struct Tables {
    // Narrow weights 5^(31 - k) for a 32-byte window, split for
    // _mm_madd_epi16 (signed 16 x 16): w == low + 65536 * high modulo 2^32
    // with low taken as signed. A single block uses the second half.
    alignas(16) int16_t narrow_low[32] = {};
    alignas(16) int16_t narrow_high[32] = {};
    // Wide weights 5^(15 - k) as unsigned halves, likewise.
    alignas(16) uint16_t wide_low[16] = {};
    alignas(16) uint16_t wide_high[16] = {};
    uint32_t pow[33] = {};     ///< 5^k
    uint32_t inverse[33] = {}; ///< 5^-k
    uint8_t mask[80] = {};     ///< 16 x 0, 32 x 0xFF, 32 x 0: byte masks by offset

    constexpr Tables() {
        for (unsigned int k = 0; k < 32; ++k) {
            uint32_t w = Pow5(31 - k);
            uint32_t low = w & 0xFFFF;
            narrow_low[k] = AsInt16(low);
            narrow_high[k] = AsInt16((w >> 16) + (low >= 0x8000 ? 1 : 0));
        }
        for (unsigned int k = 0; k < 16; ++k) {
            wide_low[k] = static_cast<uint16_t>(Pow5(15 - k) & 0xFFFF);
            wide_high[k] = static_cast<uint16_t>(Pow5(15 - k) >> 16);
        }
        for (unsigned int k = 0; k <= 32; ++k) {
            pow[k] = Pow5(k);
            inverse[k] = PowInverse5(k);
        }
        for (unsigned int k = 16; k < 48; ++k)
            mask[k] = 0xFF;
    }
};
inline constexpr Tables kTables{};

inline __m128i Load(const void* p) {
    return _mm_load_si128(static_cast<const __m128i*>(p));
}
inline __m128i LoadUnaligned(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
/// Bytes from index k on kept, those before it cleared (0 <= k <= 16).
inline __m128i KeepFrom(unsigned int k) {
    return LoadUnaligned(kTables.mask + 16 - k);
}
/// Of a 32-byte window, the bytes before index k (0 <= k <= 32) kept: the
/// first and the second block's masks.
inline __m128i KeepBefore(unsigned int k) {
    return LoadUnaligned(kTables.mask + 48 - k);
}
inline __m128i KeepBeforeSecond(unsigned int k) {
    return LoadUnaligned(kTables.mask + 64 - k);
}
inline unsigned int Sum32(__m128i s) {
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return static_cast<unsigned int>(_mm_cvtsi128_si32(s));
}

/// Lanes whose sum is that of byte k (signed) times weight k, modulo 2^32:
/// the weights from index `first` of the narrow tables.
inline __m128i NarrowProducts(__m128i bytes, unsigned int first) {
    __m128i lo = _mm_srai_epi16(_mm_unpacklo_epi8(bytes, bytes), 8);
    __m128i hi = _mm_srai_epi16(_mm_unpackhi_epi8(bytes, bytes), 8);
    __m128i low = _mm_add_epi32(_mm_madd_epi16(lo, Load(kTables.narrow_low + first)),
                                _mm_madd_epi16(hi, Load(kTables.narrow_low + first + 8)));
    __m128i high = _mm_add_epi32(_mm_madd_epi16(lo, Load(kTables.narrow_high + first)),
                                 _mm_madd_epi16(hi, Load(kTables.narrow_high + first + 8)));
    return _mm_add_epi32(low, _mm_slli_epi32(high, 16));
}
/// The same for eight UTF-16 units (unsigned) and the wide tables.
inline __m128i WideProducts(__m128i units, unsigned int first) {
    __m128i wl = Load(kTables.wide_low + first);
    __m128i lo = _mm_mullo_epi16(units, wl);
    __m128i hi = _mm_add_epi16(_mm_mulhi_epu16(units, wl),
                               _mm_mullo_epi16(units, Load(kTables.wide_high + first)));
    return _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
}

template <class C> struct Blocks {
    static constexpr unsigned int kUnits = 16 / sizeof(C); ///< units per block
    static unsigned int Nuls(__m128i b) {
        const __m128i zero = _mm_setzero_si128();
        if constexpr (sizeof(C) == 1)
            return static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, zero)));
        else
            return static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi16(b, zero)));
    }
    /// Block b's units times the weights for window position `block` (0, 1).
    static __m128i Products(__m128i b, unsigned int block) {
        if constexpr (sizeof(C) == 1)
            return NarrowProducts(b, 16 * block);
        else
            return WideProducts(b, 8 * block);
    }
};

#if defined(__clang__) || defined(__GNUC__)
#define KTU_TEXT_HASH_UNCHECKED __attribute__((no_sanitize("address", "thread")))
#else
#define KTU_TEXT_HASH_UNCHECKED
#endif

/// h * 5^n + the hash of text (n units), over 16-byte aligned blocks, which
/// never cross a page. The text's loads are written out in this function and
/// the next, the only two left unchecked.
template <class C>
KTU_TEXT_HASH_UNCHECKED inline unsigned int HashAligned(const C* text, unsigned int h) {
    using B = Blocks<C>;
    __asm__("" : "+r"(text)); // as in HashBlocks
    const auto address = reinterpret_cast<uintptr_t>(text);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~uintptr_t(15));
    const unsigned int skip = static_cast<unsigned int>(address & 15);
    // The bytes before the text count as zero units in front of it, which
    // add nothing: scale h down by as many.
    h *= kTables.inverse[skip / sizeof(C)];
    __m128i keep = KeepFrom(skip);
    __m128i units = _mm_load_si128(block);
    unsigned int nul = B::Nuls(units) >> skip << skip;
    while (!nul) {
        h = h * kTables.pow[B::kUnits] + Sum32(B::Products(_mm_and_si128(units, keep), 1));
        keep = _mm_cmpeq_epi8(units, units);
        units = _mm_load_si128(++block);
        nul = B::Nuls(units);
    }
    // The text ends in this block: keep the units before the terminator and
    // scale their sum down by the units missing from a full block.
    const unsigned int end = static_cast<unsigned int>(__builtin_ctz(nul));
    const unsigned int count = end / sizeof(C);
    keep = _mm_and_si128(keep, KeepBefore(end));
    return h * kTables.pow[count] +
           Sum32(B::Products(_mm_and_si128(units, keep), 1)) * kTables.inverse[B::kUnits - count];
}

/// The hash of text. Its first 32 bytes are read unaligned when they lie in
/// one page, so that texts shorter than that hash without a branch on their
/// length; longer ones continue block by block.
template <class C> KTU_TEXT_HASH_UNCHECKED inline unsigned int HashBlocks(const C* text) {
    using B = Blocks<C>;
    // The compiler must not reason about the text's bounds: these loads go
    // past them on purpose.
    __asm__("" : "+r"(text));
    const auto address = reinterpret_cast<uintptr_t>(text);
    if ((address & 4095) > 4096 - 32) return HashAligned(text, 0);
    __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text) + 1);
    unsigned int nul = B::Nuls(first) | B::Nuls(second) << 16;
    if (nul) {
        const unsigned int end = static_cast<unsigned int>(__builtin_ctz(nul));
        __m128i products =
            _mm_add_epi32(B::Products(_mm_and_si128(first, KeepBefore(end)), 0),
                          B::Products(_mm_and_si128(second, KeepBeforeSecond(end)), 1));
        return Sum32(products) * kTables.inverse[2 * B::kUnits - end / sizeof(C)];
    }
    unsigned int h = Sum32(_mm_add_epi32(B::Products(first, 0), B::Products(second, 1)));
    return HashAligned(text + 2 * B::kUnits, h);
}

} // namespace hash_detail

/// h = h * 5 + c over a narrow text (units as signed char); 0 for null.
inline unsigned int Hash(const char* text) {
    return text ? hash_detail::HashBlocks(text) : 0;
}
/// h = h * 5 + c over a UTF-16 text; 0 for null.
inline unsigned int Hash(const KtUWChar* text) {
    if (!text) return 0;
    // A misaligned wide text (from packed data, say) would straddle blocks
    // unit by unit: read it bytewise.
    if (reinterpret_cast<uintptr_t>(text) & 1) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text);
        unsigned int h = 0;
        for (KtUWChar c; (__builtin_memcpy(&c, bytes, sizeof c), c); bytes += sizeof c)
            h = h * 5 + c;
        return h;
    }
    return hash_detail::HashBlocks(text);
}

#else

inline unsigned int Hash(const char* text) {
    return HashScalar(text);
}
inline unsigned int Hash(const KtUWChar* text) {
    return HashScalar(text);
}

#endif

} // namespace ktu::text

#endif // KTUTIL_KTUTEXTHASH_H

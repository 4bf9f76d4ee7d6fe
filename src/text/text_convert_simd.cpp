//===- text_convert_simd.cpp - SSSE3 block kernels of the conversions -----===//
#include "text/text_convert_simd.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KTU_CONVERT_SIMD 1
#else
#define KTU_CONVERT_SIMD 0
#endif

namespace ktu::text::simd {

#if KTU_CONVERT_SIMD

namespace {

// Shuffles that gather the 16-bit lanes named by an 8-bit mask to the front.
struct LaneCompress {
    alignas(16) uint8_t shuffle[256][16] = {};
    constexpr LaneCompress() {
        for (unsigned mask = 0; mask < 256; ++mask) {
            unsigned k = 0;
            for (unsigned lane = 0; lane < 8; ++lane) {
                if (mask & (1u << lane)) {
                    shuffle[mask][k++] = uint8_t(2 * lane);
                    shuffle[mask][k++] = uint8_t(2 * lane + 1);
                }
            }
            while (k < 16)
                shuffle[mask][k++] = 0x80;
        }
    }
};

// Shuffles that pack four 32-bit words of 1 to 3 UTF-8 bytes each, indexed
// by (lanes of 2 bytes or more) | (lanes of 3 bytes) << 4.
struct WordPack {
    alignas(16) uint8_t shuffle[256][16] = {};
    uint8_t length[256] = {};
    constexpr WordPack() {
        for (unsigned index = 0; index < 256; ++index) {
            unsigned k = 0;
            for (unsigned lane = 0; lane < 4; ++lane) {
                unsigned n = 1 + ((index >> lane) & 1) + ((index >> (lane + 4)) & 1);
                for (unsigned j = 0; j < n; ++j)
                    shuffle[index][k++] = uint8_t(4 * lane + j);
            }
            length[index] = uint8_t(k);
            while (k < 16)
                shuffle[index][k++] = 0x80;
        }
    }
};

// Shuffles that drop the second byte of the ASCII lanes of eight 16-bit
// lanes holding one- or two-byte forms, indexed by the ASCII lanes.
struct PairPack {
    alignas(16) uint8_t shuffle[256][16] = {};
    uint8_t length[256] = {};
    constexpr PairPack() {
        for (unsigned ascii = 0; ascii < 256; ++ascii) {
            unsigned k = 0;
            for (unsigned lane = 0; lane < 8; ++lane) {
                shuffle[ascii][k++] = uint8_t(2 * lane);
                if (!(ascii & (1u << lane))) shuffle[ascii][k++] = uint8_t(2 * lane + 1);
            }
            length[ascii] = uint8_t(k);
            while (k < 16)
                shuffle[ascii][k++] = 0x80;
        }
    }
};

// Built by the compiler: nothing runs when the library loads.
constexpr LaneCompress kCompress;
constexpr WordPack kPack;
constexpr PairPack kPairs;

// Unsigned 16-bit lo <= v < hi, lane by lane.
__attribute__((target("ssse3,popcnt"))) inline __m128i InRange16(__m128i v, int lo, int hi) {
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128i x = _mm_xor_si128(v, bias);
    __m128i above = _mm_cmpgt_epi16(x, _mm_set1_epi16(static_cast<short>((lo - 1) ^ 0x8000)));
    __m128i below = _mm_cmplt_epi16(x, _mm_set1_epi16(static_cast<short>(hi ^ 0x8000)));
    return _mm_and_si128(above, below);
}

// One- and two-byte forms only (no byte >= 0xE0 in the 16).
__attribute__((target("ssse3,popcnt"))) size_t DecodeTwoByte(const unsigned char* s, __m128i b,
                                                             KtUWChar* out, size_t* units) {
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 1));
    unsigned cont = unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80)))));
    unsigned lead = unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(char(0xE0))), _mm_set1_epi8(char(0xC0)))));
    // 0xC0 and 0xC1 lead only overlong forms.
    unsigned overlong = unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(char(0xFE))), _mm_set1_epi8(char(0xC0)))));
    if (overlong) return 0;
    // A lead in the last byte is left for the next block.
    const unsigned used = (lead & 0x8000) ? 15 : 16;
    lead &= 0x7FFF;
    if (cont != (lead << 1)) return 0; // a continuation without its lead, or the reverse
    unsigned starts = ~cont & (used == 16 ? 0xFFFFu : 0x7FFFu);

    const __m128i low5 = _mm_set1_epi16(0x1F), low6 = _mm_set1_epi16(0x3F);
    size_t n = 0;
    for (int half = 0; half < 2; ++half) {
        // Lane p: byte p and byte p + 1.
        __m128i x = half ? _mm_unpackhi_epi8(b, b1) : _mm_unpacklo_epi8(b, b1);
        __m128i one = _mm_and_si128(x, _mm_set1_epi16(0xFF));
        __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(x, low5), 6),
                                   _mm_and_si128(_mm_srli_epi16(x, 8), low6));
        __m128i is_lead =
            _mm_cmpeq_epi16(_mm_and_si128(x, _mm_set1_epi16(0xE0)), _mm_set1_epi16(0xC0));
        __m128i v = _mm_or_si128(_mm_and_si128(is_lead, two), _mm_andnot_si128(is_lead, one));
        unsigned mask = (starts >> (8 * half)) & 0xFF;
        __m128i packed = _mm_shuffle_epi8(
            v, _mm_load_si128(reinterpret_cast<const __m128i*>(kCompress.shuffle[mask])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), packed);
        n += unsigned(__builtin_popcount(mask));
    }
    *units = n;
    return used;
}

// Eight units from two groups of four three-byte forms (12 bytes each).
__attribute__((target("ssse3,popcnt"))) inline __m128i EightThreeByte(__m128i g0, __m128i g1) {
    const __m128i lead_idx = _mm_setr_epi8(0, -128, 3, -128, 6, -128, 9, -128, -128, -128, -128,
                                           -128, -128, -128, -128, -128);
    const __m128i c1_idx = _mm_setr_epi8(1, -128, 4, -128, 7, -128, 10, -128, -128, -128, -128,
                                         -128, -128, -128, -128, -128);
    const __m128i c2_idx = _mm_setr_epi8(2, -128, 5, -128, 8, -128, 11, -128, -128, -128, -128,
                                         -128, -128, -128, -128, -128);
    const __m128i low6 = _mm_set1_epi16(0x3F);
    __m128i lead =
        _mm_unpacklo_epi64(_mm_shuffle_epi8(g0, lead_idx), _mm_shuffle_epi8(g1, lead_idx));
    __m128i c1 = _mm_unpacklo_epi64(_mm_shuffle_epi8(g0, c1_idx), _mm_shuffle_epi8(g1, c1_idx));
    __m128i c2 = _mm_unpacklo_epi64(_mm_shuffle_epi8(g0, c2_idx), _mm_shuffle_epi8(g1, c2_idx));
    return _mm_or_si128(
        _mm_slli_epi16(_mm_and_si128(lead, _mm_set1_epi16(0x0F)), 12),
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(c1, low6), 6), _mm_and_si128(c2, low6)));
}

// Bit k set where byte k is a three-byte lead (0xE0..0xEF).
__attribute__((target("ssse3,popcnt"))) inline uint64_t ThreeByteLeads(__m128i b) {
    return uint64_t(unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(char(0xF0))), _mm_set1_epi8(char(0xE0))))));
}

// Bit k set where byte k is a continuation byte (0x80..0xBF).
__attribute__((target("ssse3,popcnt"))) inline uint64_t Continuations(__m128i b) {
    return uint64_t(unsigned(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_and_si128(b, _mm_set1_epi8(char(0xC0))), _mm_set1_epi8(char(0x80))))));
}

// A run of up to five three-byte forms from the block's start.
__attribute__((target("ssse3,popcnt"))) size_t DecodeThreeByte(__m128i b, KtUWChar* out,
                                                               size_t* units) {
    // Lanes 0 to 3 from bytes 0 to 11, lane 4 from bytes 12 to 14.
    const __m128i v = EightThreeByte(b, _mm_srli_si128(b, 12));
    const uint64_t leads = ThreeByteLeads(b), conts = Continuations(b);
    // No overlong form, and not U+FFFE or U+FFFF; surrogates travel as they are.
    const unsigned in_range = unsigned(_mm_movemask_epi8(InRange16(v, 0x800, 0xFFFE)));
    size_t k = 0;
    while (k < 5 && ((leads >> (3 * k)) & 1) && ((conts >> (3 * k + 1)) & 3) == 3 &&
           ((in_range >> (2 * k)) & 1))
        ++k;
    if (k == 0) return 0;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    *units = k;
    return 3 * k;
}

} // namespace

bool Ssse3() {
    // The processor model may not be read yet when a host converts text from
    // a static constructor: read it here first.
    static const bool has =
        (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt"));
    return has;
}

__attribute__((target("ssse3,popcnt"))) size_t DecodeRun(const unsigned char* s, size_t len,
                                                         KtUWChar* out, size_t* units) {
    constexpr uint64_t kLeads48 = 0x249249249249; // every third byte of 48
    constexpr uint64_t kAll48 = 0xFFFFFFFFFFFF;

    size_t i = 0, n = 0;
    while (i + 17 <= len) {
        const unsigned char* p = s + i;
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned ascii = unsigned(_mm_movemask_epi8(b)) ^ 0xFFFF;
        if (ascii == 0xFFFF) { // sixteen ASCII bytes
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n),
                             _mm_unpacklo_epi8(b, _mm_setzero_si128()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8),
                             _mm_unpackhi_epi8(b, _mm_setzero_si128()));
            i += 16;
            n += 16;
            continue;
        }
        if (i + 48 <= len && (p[0] & 0xF0) == 0xE0) {
            // Sixteen three-byte forms in 48 bytes: checked as a whole, then
            // decoded without a dependence between the groups.
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
            uint64_t leads =
                ThreeByteLeads(b) | ThreeByteLeads(b1) << 16 | ThreeByteLeads(b2) << 32;
            uint64_t conts = Continuations(b) | Continuations(b1) << 16 | Continuations(b2) << 32;
            if (leads == kLeads48 && conts == (kAll48 & ~kLeads48)) {
                __m128i lo = EightThreeByte(b, _mm_alignr_epi8(b1, b, 12));
                __m128i hi = EightThreeByte(_mm_alignr_epi8(b2, b1, 8), _mm_srli_si128(b2, 4));
                __m128i ok =
                    _mm_and_si128(InRange16(lo, 0x800, 0xFFFE), InRange16(hi, 0x800, 0xFFFE));
                if (_mm_movemask_epi8(ok) == 0xFFFF) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), lo);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), hi);
                    i += 48;
                    n += 16;
                    continue;
                }
            }
        }
        // Bytes >= 0xE0 (three-byte leads, and the rejected 0xF0..0xFF).
        unsigned high = unsigned(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(b, _mm_set1_epi8(char(0xE0))), b)));
        size_t used = 0, u = 0;
        if (!high)
            used = DecodeTwoByte(p, b, out + n, &u);
        else if ((p[0] & 0xF0) == 0xE0)
            used = DecodeThreeByte(b, out + n, &u);
        if (!used) break;
        i += used;
        n += u;
    }
    *units = n;
    return i;
}

__attribute__((target("ssse3,popcnt"))) size_t Encode8(const KtUWChar* src, char* out) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i biased = _mm_xor_si128(units, bias);
    if (!_mm_movemask_epi8(
            _mm_cmpgt_epi16(biased, _mm_set1_epi16(static_cast<short>(0x7FF ^ 0x8000))))) {
        // One- and two-byte forms only (most European text): each lane
        // becomes its two bytes, and the ASCII lanes drop their second.
        const __m128i u16 = units;
        __m128i ascii = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<short>(0x80 ^ 0x8000)), biased);
        __m128i first = _mm_or_si128(_mm_srli_epi16(u16, 6), _mm_set1_epi16(0xC0));
        first = _mm_or_si128(_mm_and_si128(ascii, u16), _mm_andnot_si128(ascii, first));
        __m128i second =
            _mm_or_si128(_mm_and_si128(u16, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80));
        __m128i pairs = _mm_or_si128(first, _mm_slli_epi16(second, 8));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_packs_epi16(ascii, zero))) & 0xFF;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(pairs, _mm_load_si128(reinterpret_cast<const __m128i*>(
                                                     kPairs.shuffle[mask]))));
        return kPairs.length[mask];
    }
    const __m128i x3f = _mm_set1_epi32(0x3F), x80 = _mm_set1_epi32(0x80);
    size_t n = 0;
    for (int half = 0; half < 2; ++half) {
        __m128i c = half ? _mm_unpackhi_epi16(units, zero) : _mm_unpacklo_epi16(units, zero);
        __m128i two = _mm_cmpgt_epi32(c, _mm_set1_epi32(0x7F));
        __m128i three = _mm_cmpgt_epi32(c, _mm_set1_epi32(0x7FF));
        __m128i low6 = _mm_or_si128(_mm_and_si128(c, x3f), x80);
        __m128i mid6 = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 6), x3f), x80);
        __m128i w2 = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 6), _mm_set1_epi32(0xC0)),
                                  _mm_slli_epi32(low6, 8));
        __m128i w3 = _mm_or_si128(_mm_or_si128(_mm_srli_epi32(c, 12), _mm_set1_epi32(0xE0)),
                                  _mm_or_si128(_mm_slli_epi32(mid6, 8), _mm_slli_epi32(low6, 16)));
        __m128i word = _mm_or_si128(_mm_andnot_si128(two, c),
                                    _mm_or_si128(_mm_and_si128(_mm_andnot_si128(three, two), w2),
                                                 _mm_and_si128(three, w3)));
        unsigned index = unsigned(_mm_movemask_ps(_mm_castsi128_ps(two))) |
                         unsigned(_mm_movemask_ps(_mm_castsi128_ps(three))) << 4;
        __m128i packed = _mm_shuffle_epi8(
            word, _mm_load_si128(reinterpret_cast<const __m128i*>(kPack.shuffle[index])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), packed);
        n += kPack.length[index];
    }
    return n;
}

#else // no x86 SIMD: the callers stay on their scalar paths

bool Ssse3() {
    return false;
}
size_t DecodeRun(const unsigned char*, size_t, KtUWChar*, size_t*) {
    return 0;
}
size_t Encode8(const KtUWChar*, char*) {
    return 0;
}

#endif

} // namespace ktu::text::simd

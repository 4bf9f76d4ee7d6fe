//===- text_codec.cpp - Hex and Base64 kernels, scalar and AVX2 -----------===//
#include "text/text_codec.h"

#include <immintrin.h>

#include <array>
#include <cstring>

namespace ktu::text {

const char kHexDigits[17] = "0123456789ABCDEF";

namespace {

constexpr char kBase64Alphabet[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;

// Character -> 6-bit value, kInvalid elsewhere.
constexpr std::array<std::uint8_t, 256> MakeBase64Values() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t)
        v = kInvalid;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::uint8_t>(i);
    return t;
}
constexpr auto kBase64Values = MakeBase64Values();

// Character -> nibble, kInvalid elsewhere.
constexpr std::array<std::uint8_t, 256> MakeHexValues() {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = c >= '0' && c <= '9'   ? static_cast<std::uint8_t>(c - '0')
               : c >= 'A' && c <= 'F' ? static_cast<std::uint8_t>(c - 'A' + 10)
               : c >= 'a' && c <= 'f' ? static_cast<std::uint8_t>(c - 'a' + 10)
                                      : kInvalid;
    return t;
}
constexpr auto kHexValues = MakeHexValues();

// Byte -> its two digits, so the encoder copies one pair per byte.
constexpr std::array<char, 512> MakeHexPairs() {
    std::array<char, 512> t{};
    for (int b = 0; b < 256; ++b) {
        t[2 * b] = "0123456789ABCDEF"[b >> 4];
        t[2 * b + 1] = "0123456789ABCDEF"[b & 15];
    }
    return t;
}
constexpr auto kHexPairs = MakeHexPairs();

void HexEncodeScalar(const std::uint8_t* in, std::size_t n, char* out) {
    for (std::size_t i = 0; i < n; ++i)
        std::memcpy(out + 2 * i, &kHexPairs[2 * in[i]], 2);
}

bool HexDecodeScalar(const char* in, std::size_t n, std::uint8_t* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    for (std::size_t i = 0; i < n; i += 2) {
        unsigned hi = kHexValues[s[i]], lo = kHexValues[s[i + 1]];
        if ((hi | lo) & 0xF0) return false;
        *out++ = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return true;
}

// 12 bits -> their two characters, so three bytes take two look-ups.
constexpr std::array<char, 8192> MakeBase64Pairs() {
    std::array<char, 8192> t{};
    for (int i = 0; i < 4096; ++i) {
        t[2 * i] = kBase64Alphabet[i >> 6];
        t[2 * i + 1] = kBase64Alphabet[i & 63];
    }
    return t;
}
constexpr auto kBase64Pairs = MakeBase64Pairs();

void Base64EncodeScalar(const std::uint8_t* in, std::size_t n, char* out) {
    for (; n >= 3; n -= 3, in += 3, out += 4) {
        std::uint32_t v = std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
        std::memcpy(out, &kBase64Pairs[2 * (v >> 12)], 2);
        std::memcpy(out + 2, &kBase64Pairs[2 * (v & 0xFFF)], 2);
    }
    if (n == 0) return;
    std::uint32_t v = std::uint32_t{in[0]} << 16 | (n == 2 ? std::uint32_t{in[1]} << 8 : 0);
    out[0] = kBase64Alphabet[v >> 18];
    out[1] = kBase64Alphabet[v >> 12 & 63];
    if (n == 2) out[2] = kBase64Alphabet[v >> 6 & 63];
}

bool Base64DecodeScalar(const char* in, std::size_t n, std::uint8_t* out) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    for (; n >= 4; n -= 4, s += 4, out += 3) {
        std::uint32_t a = kBase64Values[s[0]], b = kBase64Values[s[1]], c = kBase64Values[s[2]],
                      d = kBase64Values[s[3]];
        if ((a | b | c | d) & 0xC0) return false;
        std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
        out[0] = static_cast<std::uint8_t>(v >> 16);
        out[1] = static_cast<std::uint8_t>(v >> 8);
        out[2] = static_cast<std::uint8_t>(v);
    }
    if (n < 2) return n == 0; // a lone character cannot happen for valid lengths
    std::uint32_t a = kBase64Values[s[0]], b = kBase64Values[s[1]];
    std::uint32_t c = n == 3 ? kBase64Values[s[2]] : 0;
    if ((a | b | c) & 0xC0) return false;
    std::uint32_t v = a << 18 | b << 12 | c << 6;
    out[0] = static_cast<std::uint8_t>(v >> 16);
    if (n == 3) out[1] = static_cast<std::uint8_t>(v >> 8);
    return true;
}

#define KTU_AVX2 __attribute__((target("avx2")))

KTU_AVX2 void HexEncodeAvx2(const std::uint8_t* in, std::size_t n, char* out) {
    const __m256i lut = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B',
                                         'C', 'D', 'E', 'F', '0', '1', '2', '3', '4', '5', '6', '7',
                                         '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    for (; n >= 32; n -= 32, in += 32, out += 64) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        __m256i hi = _mm256_shuffle_epi8(lut, _mm256_and_si256(_mm256_srli_epi16(x, 4), low4));
        __m256i lo = _mm256_shuffle_epi8(lut, _mm256_and_si256(x, low4));
        // Per 128-bit lane: a holds the digits of bytes 0-7 (16-23), b of 8-15 (24-31).
        __m256i a = _mm256_unpacklo_epi8(hi, lo);
        __m256i b = _mm256_unpackhi_epi8(hi, lo);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(a, b, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                            _mm256_permute2x128_si256(a, b, 0x31));
    }
    HexEncodeScalar(in, n, out);
}

// 32 hexadecimal digits -> 32 nibbles; bad gets 0xFF in every non-digit lane.
KTU_AVX2 inline __m256i HexNibbles(__m256i c, __m256i& bad) {
    __m256i d = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
    __m256i is_digit = _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
    __m256i l = _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    __m256i is_letter = _mm256_cmpeq_epi8(_mm256_min_epu8(l, _mm256_set1_epi8(5)), l);
    bad = _mm256_or_si256(
        bad, _mm256_andnot_si256(_mm256_or_si256(is_digit, is_letter), _mm256_set1_epi8(-1)));
    return _mm256_blendv_epi8(_mm256_add_epi8(l, _mm256_set1_epi8(10)), d, is_digit);
}

KTU_AVX2 bool HexDecodeAvx2(const char* in, std::size_t n, std::uint8_t* out) {
    const __m256i weights = _mm256_set1_epi16(0x0110); // high nibble x16, low x1
    for (; n >= 64; n -= 64, in += 64, out += 32) {
        __m256i bad = _mm256_setzero_si256();
        __m256i a = HexNibbles(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), bad);
        __m256i b = HexNibbles(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32)), bad);
        if (!_mm256_testz_si256(bad, bad)) return false;
        __m256i packed =
            _mm256_packus_epi16(_mm256_maddubs_epi16(a, weights), _mm256_maddubs_epi16(b, weights));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return HexDecodeScalar(in, n, out);
}

// Reads 28 bytes, encodes the first 24 into 32 characters.
KTU_AVX2 void Base64EncodeAvx2(const std::uint8_t* in, std::size_t n, char* out) {
    // Each lane gathers 12 bytes as 32-bit words [b1 b0 b2 b1] per 3 input bytes.
    const __m256i gather = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 1, 0,
                                            2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    // Offset from a 6-bit value to its character, by the class that the
    // saturating subtraction below picks.
    const __m256i offsets =
        _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                         '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                         'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                         '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    for (; n >= 28; n -= 24, in += 24, out += 32) {
        __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
        __m256i x = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        x = _mm256_shuffle_epi8(x, gather);
        // Move the four 6-bit fields of each word into its four bytes.
        __m256i t0 = _mm256_and_si256(x, _mm256_set1_epi32(0x0FC0FC00));
        __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
        __m256i t2 = _mm256_and_si256(x, _mm256_set1_epi32(0x003F03F0));
        __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
        __m256i v = _mm256_or_si256(t1, t3);
        // Class: 0 for 26-51, 1-12 for 52-63, 13 for 0-25.
        __m256i cls = _mm256_subs_epu8(v, _mm256_set1_epi8(51));
        __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), v);
        cls = _mm256_or_si256(cls, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
        __m256i chars = _mm256_add_epi8(v, _mm256_shuffle_epi8(offsets, cls));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), chars);
    }
    Base64EncodeScalar(in, n, out);
}

// Decodes 32 characters at a time, storing 32 bytes of which 24 count, so it
// stops while at least 44 characters (33 bytes of room) remain.
KTU_AVX2 bool Base64DecodeAvx2(const char* in, std::size_t n, std::uint8_t* out) {
    // A character is valid when its low- and high-nibble classes share no bit.
    const __m256i lut_lo =
        _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                         0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                         0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i lut_hi =
        _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // Offset from a character to its value, by high nibble ('/' apart).
    const __m256i lut_roll =
        _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4,
                         -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i mask_2f = _mm256_set1_epi8(0x2F);
    const __m256i pack = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2,
                                          1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    for (; n >= 44; n -= 32, in += 32, out += 24) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        __m256i hi_nibbles = _mm256_and_si256(_mm256_srli_epi32(s, 4), mask_2f);
        __m256i lo_nibbles = _mm256_and_si256(s, mask_2f);
        __m256i hi = _mm256_shuffle_epi8(lut_hi, hi_nibbles);
        __m256i lo = _mm256_shuffle_epi8(lut_lo, lo_nibbles);
        if (!_mm256_testz_si256(lo, hi)) return false;
        __m256i eq_2f = _mm256_cmpeq_epi8(s, mask_2f);
        __m256i roll = _mm256_shuffle_epi8(lut_roll, _mm256_add_epi8(eq_2f, hi_nibbles));
        s = _mm256_add_epi8(s, roll);
        // Four 6-bit values -> three bytes, reversed within each word.
        __m256i ab_bc = _mm256_maddubs_epi16(s, _mm256_set1_epi32(0x01400140));
        __m256i words = _mm256_madd_epi16(ab_bc, _mm256_set1_epi32(0x00011000));
        words = _mm256_shuffle_epi8(words, pack);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_permutevar8x32_epi32(words, lanes));
    }
    return Base64DecodeScalar(in, n, out);
}

} // namespace

const CodecKernels kScalarKernels = {HexEncodeScalar, HexDecodeScalar, Base64EncodeScalar,
                                     Base64DecodeScalar};
const CodecKernels kAvx2Kernels = {HexEncodeAvx2, HexDecodeAvx2, Base64EncodeAvx2,
                                   Base64DecodeAvx2};

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

const CodecKernels& Kernels() {
    static const CodecKernels& chosen = CpuHasAvx2() ? kAvx2Kernels : kScalarKernels;
    return chosen;
}

bool IsBase64Text(const char* in, std::size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    unsigned bad = 0;
    for (std::size_t i = 0; i < n; ++i)
        bad |= kBase64Values[s[i]];
    return !(bad & 0xC0);
}

bool IsHexText(const char* in, std::size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(in);
    unsigned bad = 0;
    for (std::size_t i = 0; i < n; ++i)
        bad |= kHexValues[s[i]];
    return !(bad & 0xF0);
}

int HexDigitValue(unsigned char c) {
    return kHexValues[c] == kInvalid ? -1 : kHexValues[c];
}

} // namespace ktu::text

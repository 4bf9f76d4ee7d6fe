//===- text_convert.cpp - UTF-8, UTF-16, ASCII and locale conversions -----===//
#include "text/text_convert.h"

#include "text/text_convert_simd.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ktu::text {

size_t AsciiPrefix(const char* src, size_t len) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= len; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (int mask = _mm_movemask_epi8(v))
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < len && static_cast<unsigned char>(src[i]) < 0x80)
        ++i;
    return i;
}

size_t AsciiPrefix(const KtUWChar* src, size_t len) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (; i + 8 <= len; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i bad = _mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128());
        int mask = _mm_movemask_epi8(bad) ^ 0xFFFF;
        if (mask) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    while (i < len && src[i] < 0x80)
        ++i;
    return i;
}

size_t Utf8ToUtf16(const char* src, size_t len, KtUWChar* out, bool* ok) {
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    const bool blocks = simd::Ssse3();
    size_t i = 0, n = 0;
    while (i < len) {
        unsigned c = s[i];
        if (c >= 0x80 && blocks && i + 17 <= len) {
            // Blocks of ASCII, one- and two-byte forms, or three-byte forms;
            // what fits none is decoded below, one character at a time. The
            // run writes at most len - i units: n <= i and out holds len.
            size_t units;
            if (size_t used = simd::DecodeRun(s + i, len - i, out + n, &units)) {
                i += used;
                n += units;
                continue;
            }
        }
        if (c < 0x80) {
#if defined(__SSE2__)
            // An ASCII byte: widen the run it starts 16 bytes at a time. The
            // 16 units stored always fit: n <= i and out holds len units.
            if (i + 16 <= len) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8),
                                 _mm_unpackhi_epi8(v, zero));
                unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
                size_t run = mask ? static_cast<size_t>(__builtin_ctz(mask)) : 16;
                i += run;
                n += run;
                continue;
            }
#endif
            out[n++] = static_cast<KtUWChar>(c);
            ++i;
            continue;
        }
        if (c >= 0xE0 && c < 0xF0) {
            // Three-byte form: 0x800..0xFFFD, surrogates included.
            if (i + 2 >= len || (s[i + 1] & 0xC0) != 0x80 || (s[i + 2] & 0xC0) != 0x80) break;
            unsigned v = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (v < 0x800 || v >= 0xFFFE) break;
            out[n++] = static_cast<KtUWChar>(v);
            i += 3;
            continue;
        }
        if (c >= 0xC0 && c < 0xE0) {
            // Two-byte form: 0x80..0x7FF.
            if (i + 1 >= len || (s[i + 1] & 0xC0) != 0x80) break;
            unsigned v = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            if (v < 0x80) break;
            out[n++] = static_cast<KtUWChar>(v);
            i += 2;
            continue;
        }
        // Continuation bytes as leads, four- to six-byte forms (whose values
        // do not fit one unit) and 0xFE/0xFF all fail.
        break;
    }
    *ok = i >= len;
    return n;
}

size_t Utf8LengthOf(const KtUWChar* src, size_t len) {
    size_t bytes = len, i = 0;
#if defined(__SSE2__)
    // Every unit >= 0x80 adds a byte, every unit >= 0x800 another: count
    // both with unsigned comparisons (bias by 0x8000) eight units at a time.
    const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i lim80 = _mm_set1_epi16(static_cast<short>(0x7F ^ 0x8000));
    const __m128i lim800 = _mm_set1_epi16(static_cast<short>(0x7FF ^ 0x8000));
    while (i + 8 <= len) {
        __m128i acc = _mm_setzero_si128();
        // At most 2 per lane per step: 8192 steps keep the 16-bit lanes safe.
        size_t stop = i + 8 * 8192 < len ? i + 8 * 8192 : len;
        for (; i + 8 <= stop; i += 8) {
            __m128i v =
                _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), bias);
            acc = _mm_sub_epi16(acc, _mm_cmpgt_epi16(v, lim80));
            acc = _mm_sub_epi16(acc, _mm_cmpgt_epi16(v, lim800));
        }
        __m128i sum = _mm_madd_epi16(acc, _mm_set1_epi16(1));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
        bytes += static_cast<size_t>(static_cast<unsigned>(_mm_cvtsi128_si32(sum)));
    }
#endif
    for (; i < len; ++i)
        bytes += src[i] >= 0x800 ? 2 : (src[i] >= 0x80 ? 1 : 0);
    return bytes;
}

// One unit as 1 to 3 bytes, with branches: the tail of the text.
static size_t EncodeUnit(unsigned c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
}

size_t Utf16ToUtf8(const KtUWChar* src, size_t len, char* out) {
    size_t i = 0, n = 0;
#if defined(__SSE2__)
    // Blocks of 8 units: all ASCII, narrowed with one store; otherwise, with
    // SSSE3, encoded without a branch on the text, so text that switches
    // scripts costs no mispredictions. The encoder stores 16 bytes per four
    // units: twelve more units after the block guarantee the room.
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const bool blocks = simd::Ssse3();
    while (i + 8 <= len) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) ==
            0xFFFF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(v, v));
            n += 8;
        } else if (blocks && i + 20 <= len) {
            n += simd::Encode8(src + i, out + n);
        } else {
            break;
        }
        i += 8;
    }
#endif
    for (; i < len; ++i)
        n += EncodeUnit(src[i], out + n);
    return n;
}

// One iconv conversion of a whole text; -1 when a character does not convert.
static long Iconv(const char* to, const char* from, const char* src, size_t src_bytes, char* out,
                  size_t out_bytes) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
    char scratch[256];
    auto* in = const_cast<char*>(src);
    size_t in_left = src_bytes;
    long written = 0;
    long result = 0;
    while (in_left > 0) {
        char* dst = out ? out + written : scratch;
        size_t room = out ? out_bytes - static_cast<size_t>(written) : sizeof scratch;
        char* start = dst;
        size_t r = iconv(cd, &in, &in_left, &dst, &room);
        written += dst - start;
        if (r == static_cast<size_t>(-1) && (errno != E2BIG || out)) {
            result = -1;
            break;
        }
        if (r != static_cast<size_t>(-1) && r > 0) {
            result = -1; // irreversible (substituted) conversion
            break;
        }
    }
    iconv_close(cd);
    return result < 0 ? -1 : written;
}

const char* MultiCharset() {
    // The "C" and "POSIX" locales name ASCII, yet what arrives in them today
    // is UTF-8 (file names, the post stream's text): read it as UTF-8 there.
    const char* codeset = nl_langinfo(CODESET);
    if (std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
        // The calling thread's locale name (glibc keeps it beside the codeset).
        const char* name = nl_langinfo(_NL_LOCALE_NAME(LC_CTYPE));
        if (!name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0)
            return "UTF-8";
    }
    return codeset;
}

long MultiToUtf16(const char* src, size_t len, KtUWChar* out, size_t cap) {
    long bytes = Iconv("UTF-16LE", MultiCharset(), src, len, reinterpret_cast<char*>(out),
                       cap * sizeof(KtUWChar));
    return bytes < 0 ? -1 : bytes / 2;
}

long Utf16ToMulti(const KtUWChar* src, size_t len, char* out, size_t cap) {
    return Iconv(MultiCharset(), "UTF-16LE", reinterpret_cast<const char*>(src),
                 len * sizeof(KtUWChar), out, cap);
}

} // namespace ktu::text

//===- text_convert.cpp - UTF-8, UTF-16, ASCII and locale conversions -----===//
#include "text_convert.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

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
    size_t i = 0, n = 0;
    while (i < len) {
#if defined(__SSE2__)
        // Widen 16 ASCII bytes at a time.
        while (i + 16 <= len) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(v)) break;
            __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(v, zero));
            i += 16;
            n += 16;
        }
        if (i >= len) break;
#endif
        unsigned c = s[i];
        if (c < 0x80) {
            out[n++] = static_cast<KtUWChar>(c);
            ++i;
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
        if (c >= 0xE0 && c < 0xF0) {
            // Three-byte form: 0x800..0xFFFD, surrogates included.
            if (i + 2 >= len || (s[i + 1] & 0xC0) != 0x80 || (s[i + 2] & 0xC0) != 0x80) break;
            unsigned v = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (v < 0x800 || v >= 0xFFFE) break;
            out[n++] = static_cast<KtUWChar>(v);
            i += 3;
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
    size_t bytes = len;
    for (size_t i = AsciiPrefix(src, len); i < len; ++i)
        bytes += src[i] >= 0x800 ? 2 : (src[i] >= 0x80 ? 1 : 0);
    return bytes;
}

size_t Utf16ToUtf8(const KtUWChar* src, size_t len, char* out) {
    size_t i = 0, n = 0;
    while (i < len) {
#if defined(__SSE2__)
        // Narrow 16 ASCII units at a time.
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        while (i + 16 <= len) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
            __m128i any = _mm_and_si128(_mm_or_si128(a, b), high);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(a, b));
            i += 16;
            n += 16;
        }
        if (i >= len) break;
#endif
        unsigned c = src[i++];
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            out[n++] = static_cast<char>(0xC0 | (c >> 6));
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out[n++] = static_cast<char>(0xE0 | (c >> 12));
            out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
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

static const char* MultiCharset() {
    return nl_langinfo(CODESET);
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

//===- text.cpp - Small UTF-16 helpers ------------------------------------===//
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ktu::sys {

locale_t DefaultLocale() {
    static locale_t locale = [] {
        locale_t l = newlocale(LC_ALL_MASK, "", nullptr);
        return l ? l : newlocale(LC_ALL_MASK, "C", nullptr);
    }();
    return locale;
}

size_t U16Len(const KtUWChar* s) {
    size_t n = 0;
    if (s)
        while (s[n])
            ++n;
    return n;
}

KtUWChar* U16Dup(const KtUWChar* s) {
    if (!s) return nullptr;
    size_t bytes = (U16Len(s) + 1) * sizeof(KtUWChar);
    auto* copy = static_cast<KtUWChar*>(std::malloc(bytes));
    if (copy) std::memcpy(copy, s, bytes);
    return copy;
}

size_t U16ToUtf8(const KtUWChar* s, char* out, size_t cap) {
    if (cap == 0) return 0;
    size_t n = 0;
    for (size_t i = 0; s && s[i]; ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char buf[4];
        size_t len;
        if (c < 0x80) {
            buf[0] = static_cast<char>(c);
            len = 1;
        } else if (c < 0x800) {
            buf[0] = static_cast<char>(0xC0 | (c >> 6));
            buf[1] = static_cast<char>(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            buf[0] = static_cast<char>(0xE0 | (c >> 12));
            buf[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf[2] = static_cast<char>(0x80 | (c & 0x3F));
            len = 3;
        } else {
            buf[0] = static_cast<char>(0xF0 | (c >> 18));
            buf[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buf[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buf[3] = static_cast<char>(0x80 | (c & 0x3F));
            len = 4;
        }
        if (n + len >= cap) break;
        std::memcpy(out + n, buf, len);
        n += len;
    }
    out[n] = '\0';
    return n;
}

size_t Utf8ToU16(const char* s, KtUWChar* out, size_t cap) {
    if (cap == 0) return 0;
    size_t n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s ? s : "");
    while (*p) {
        uint32_t c = *p;
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len != 0;
        for (size_t k = 1; ok && k < len; ++k)
            ok = (p[k] & 0xC0) == 0x80;
        if (!ok) {
            c = 0xFFFD;
            len = 1;
        } else if (len > 1) {
            c &= 0x7F >> len;
            for (size_t k = 1; k < len; ++k)
                c = (c << 6) | (p[k] & 0x3F);
        }
        p += len;
        if (c >= 0x10000) {
            if (n + 2 >= cap) break;
            c -= 0x10000;
            out[n++] = static_cast<KtUWChar>(0xD800 + (c >> 10));
            out[n++] = static_cast<KtUWChar>(0xDC00 + (c & 0x3FF));
        } else {
            if (n + 1 >= cap) break;
            out[n++] = static_cast<KtUWChar>(c);
        }
    }
    out[n] = 0;
    return n;
}

size_t FormatToWideV(KtUWChar* out, size_t cap, const char* format, va_list args) {
    if (cap == 0) return 0;
    char narrow[2048];
    int len = std::vsnprintf(narrow, sizeof narrow, format, args);
    size_t n = len < 0 ? 0 : static_cast<size_t>(len);
    if (n >= sizeof narrow) n = sizeof narrow - 1;
    if (n >= cap) n = cap - 1;
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(narrow[i]);
    out[n] = 0;
    return n;
}

size_t FormatToWide(KtUWChar* out, size_t cap, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t n = FormatToWideV(out, cap, format, args);
    va_end(args);
    return n;
}

} // namespace ktu::sys

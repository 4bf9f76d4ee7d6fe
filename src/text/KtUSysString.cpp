//===- KtUSysString.cpp - String services over the C runtime and locale ---===//
#include <ktutil/KtUSysString.h>

#include "platform/text.h"
#include "text/text_convert.h"
#include "text/text_format.h"
#include "text/text_ops.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <langinfo.h>
#include <string>
#include <vector>

using ktu::sys::DefaultLocale;

namespace {

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// glibc's collation works on wchar_t (UTF-32): decode UTF-8 (invalid bytes
// become U+FFFD) or UTF-16 (paired surrogates combine) into it.
std::wstring FromUtf8(const char* s) {
    std::wstring out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        unsigned c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k)
            ok = (p[k] & 0xC0) == 0x80;
        if (!ok) {
            out.push_back(L'\xFFFD');
            ++p;
            continue;
        }
        unsigned v = extra ? c & (0x3F >> extra) : c;
        for (int k = 1; k <= extra; ++k)
            v = (v << 6) | (p[k] & 0x3F);
        out.push_back(static_cast<wchar_t>(v));
        p += extra + 1;
    }
    return out;
}

std::wstring FromUtf16(const KtUWChar* s) {
    std::wstring out;
    for (; s && *s; ++s) {
        unsigned c = *s;
        if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00);
            ++s;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

// "Multi" text decodes as every other Multi conversion does (MultiCharset);
// text that does not decode compares as empty.
std::wstring FromMulti(const char* s) {
    size_t len = std::strlen(s);
    std::vector<KtUWChar> wide(len + 1);
    long n = ktu::text::MultiToUtf16(s, len, wide.data(), len);
    wide[n < 0 ? 0 : size_t(n)] = 0;
    return FromUtf16(wide.data());
}

std::wstring Folded(std::wstring s) {
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), DefaultLocale()));
    return s;
}

int Collate(const std::wstring& a, const std::wstring& b) {
    return Sign(wcscoll_l(a.c_str(), b.c_str(), DefaultLocale()));
}

// The null/empty rules for the comparisons that take raw pointers.
template <class C> bool Decided(const C* a, const C* b, int* result) {
    return ktu::text::CompareNullsAndEmpties(a, b, result);
}

template <class C> int BoundedCopy(C* dst, unsigned size, const C* src, size_t count, bool append) {
    if (!dst || !src || size == 0) return EINVAL;
    size_t start = append ? static_cast<size_t>(ktu::text::Length(dst)) : 0;
    size_t n = static_cast<size_t>(ktu::text::Length(src));
    if (n > count) n = count;
    if (start + n + 1 > size) {
        dst[0] = 0;
        return ERANGE;
    }
    std::memcpy(dst + start, src, n * sizeof(C));
    dst[start + n] = 0;
    return 0;
}

// Localisation cache; decimal places < 0 means "not read yet".
KtUWChar s_decimal_point[5];
KtUWChar s_thousand_sep[5];
KtUWChar s_list_sep[5];
std::atomic<int> s_decimal_places{-1};

void StoreSeparator(KtUWChar* dst, const char* text) {
    ktu::sys::Utf8ToU16(text ? text : "", dst, 5);
}

void ReadLocalization() {
    if (s_decimal_places.load(std::memory_order_acquire) >= 0) return;
    locale_t loc = DefaultLocale();
    StoreSeparator(s_decimal_point, nl_langinfo_l(RADIXCHAR, loc));
    StoreSeparator(s_thousand_sep, nl_langinfo_l(THOUSEP, loc));
    bool comma = s_decimal_point[0] == u',' && s_decimal_point[1] == 0;
    StoreSeparator(s_list_sep, comma ? ";" : ",");
    // The locale's fraction digits (unset in the "C" locale: 2 then).
    const char* frac = nl_langinfo_l(__FRAC_DIGITS, loc);
    int places = frac && *frac >= 0 && *frac <= 9 ? *frac : 2;
    s_decimal_places.store(places, std::memory_order_release);
}

} // namespace

int KtUSysString::Strlen(const char* text) {
    return ktu::text::Length(text);
}
int KtUSysString::WideStrlen(const KtUWChar* text) {
    return ktu::text::Length(text);
}

void KtUSysString::Memcpy(char* dst, const char* src, int count) {
    if (dst && src && count > 0) std::memcpy(dst, src, static_cast<size_t>(count));
}

void KtUSysString::WideMemcpy(KtUWChar* dst, const KtUWChar* src, int count) {
    if (dst && src && count > 0)
        std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(KtUWChar));
}

int KtUSysString::Strcmp(const char* a, const char* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Sign(strcoll_l(a, b, DefaultLocale()));
}

int KtUSysString::Stricmp(const char* a, const char* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Collate(Folded(FromUtf8(a)), Folded(FromUtf8(b)));
}

int KtUSysString::MultiStrcmp(const char* a, const char* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Collate(FromMulti(a), FromMulti(b));
}

int KtUSysString::MultiStricmp(const char* a, const char* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Collate(Folded(FromMulti(a)), Folded(FromMulti(b)));
}

int KtUSysString::WideStrcmp(const KtUWChar* a, const KtUWChar* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Collate(FromUtf16(a), FromUtf16(b));
}

int KtUSysString::WideStricmp(const KtUWChar* a, const KtUWChar* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    return Collate(Folded(FromUtf16(a)), Folded(FromUtf16(b)));
}

int KtUSysString::WideStrCmpLogical(const KtUWChar* a, const KtUWChar* b) {
    int result;
    if (Decided(a, b, &result)) return result;
    auto is_digit = [](KtUWChar c) { return c >= u'0' && c <= u'9'; };
    while (*a && *b) {
        if (is_digit(*a) && is_digit(*b)) {
            // Numbers: skip leading zeros, then the longer run is larger,
            // then the first differing digit decides.
            while (*a == u'0' && is_digit(a[1]))
                ++a;
            while (*b == u'0' && is_digit(b[1]))
                ++b;
            const KtUWChar* ea = a;
            const KtUWChar* eb = b;
            while (is_digit(*ea))
                ++ea;
            while (is_digit(*eb))
                ++eb;
            if (ea - a != eb - b) return ea - a < eb - b ? -1 : 1;
            for (; a < ea; ++a, ++b)
                if (*a != *b) return *a < *b ? -1 : 1;
            continue;
        }
        // Text: the runs up to the next digit, ignoring case.
        const KtUWChar* ea = a;
        const KtUWChar* eb = b;
        while (*ea && !is_digit(*ea))
            ++ea;
        while (*eb && !is_digit(*eb))
            ++eb;
        std::u16string ra(a, ea), rb(b, eb);
        if (ra.empty() || rb.empty()) return ra.empty() ? -1 : 1; // a digit sorts before text
        if (int c = WideStricmp(ra.c_str(), rb.c_str())) return c;
        a = ea;
        b = eb;
    }
    return *a ? 1 : (*b ? -1 : 0);
}

int KtUSysString::MultiByteToWideChar(const char* src, KtUWChar* dst, unsigned int size) {
    if (!src) return -1;
    size_t len = std::strlen(src);
    long need = ktu::text::MultiToUtf16(src, len, nullptr, 0);
    if (need < 0) return -1;
    if (!dst) return static_cast<int>(need + 1);
    if (static_cast<unsigned long>(need) + 1 > size) return -1;
    long got = ktu::text::MultiToUtf16(src, len, dst, static_cast<size_t>(need));
    if (got != need) return -1;
    dst[got] = 0;
    return static_cast<int>(got + 1);
}

int KtUSysString::WideCharToMultiByte(const KtUWChar* src, char* dst, unsigned int size) {
    if (!src) return -1;
    size_t len = static_cast<size_t>(ktu::text::Length(src));
    long need = ktu::text::Utf16ToMulti(src, len, nullptr, 0);
    if (need < 0) return -1;
    if (!dst) return static_cast<int>(need + 1);
    if (static_cast<unsigned long>(need) + 1 > size) return -1;
    long got = ktu::text::Utf16ToMulti(src, len, dst, static_cast<size_t>(need));
    if (got != need) return -1;
    dst[got] = 0;
    return static_cast<int>(got + 1);
}

// ASCII both ways: Out and In are the code unit types.
template <class In, class Out> static int AsciiCopy(const In* src, Out* dst, unsigned int size) {
    if (!src) return -1;
    size_t n = static_cast<size_t>(ktu::text::Length(src));
    if (ktu::text::AsciiPrefix(src, n) != n) return -1;
    if (!dst) return static_cast<int>(n + 1);
    if (n + 1 > size) return -1;
    for (size_t i = 0; i <= n; ++i)
        dst[i] = static_cast<Out>(src[i]);
    return static_cast<int>(n + 1);
}

int KtUSysString::AsciiToWideChar(const char* src, KtUWChar* dst, unsigned int size) {
    return AsciiCopy(src, dst, size);
}

int KtUSysString::WideCharToAscii(const KtUWChar* src, char* dst, unsigned int size) {
    return AsciiCopy(src, dst, size);
}

bool KtUSysString::Is7BitAscii(const char* text) {
    if (!text) return true;
    size_t n = std::strlen(text);
    return ktu::text::AsciiPrefix(text, n) == n;
}

KtUWChar* KtUSysString::Itow(int value, KtUWChar* dst, unsigned int size, int radix) {
    if (!dst || size == 0 || radix < 2 || radix > 36) return nullptr;
    // Radix 10 is signed; the others show the value's bits unsigned.
    bool negative = radix == 10 && value < 0;
    unsigned int v = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    KtUWChar digits[40];
    int n = 0;
    do {
        unsigned d = v % static_cast<unsigned>(radix);
        digits[n++] = static_cast<KtUWChar>(d < 10 ? u'0' + d : u'a' + d - 10);
        v /= static_cast<unsigned>(radix);
    } while (v);
    if (negative) digits[n++] = u'-';
    if (static_cast<unsigned>(n) + 1 > size) {
        dst[0] = 0;
        return nullptr;
    }
    for (int i = 0; i < n; ++i)
        dst[i] = digits[n - 1 - i];
    dst[n] = 0;
    return dst;
}

bool KtUSysString::Strtol(const char* text, int* value, char** end) {
    if (!text) return false;
    char* stop = nullptr;
    errno = 0;
    long v = std::strtol(text, &stop, 10);
    if (end) *end = stop;
    if (stop == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

int KtUSysString::Strcpy(char* dst, unsigned int size, const char* src) {
    return BoundedCopy(dst, size, src, SIZE_MAX, false);
}
int KtUSysString::Strncpy(char* dst, unsigned int size, const char* src, unsigned int count) {
    return BoundedCopy(dst, size, src, count, false);
}
int KtUSysString::Strcat(char* dst, unsigned int size, const char* src) {
    return BoundedCopy(dst, size, src, SIZE_MAX, true);
}
int KtUSysString::Wcscpy(KtUWChar* dst, unsigned int size, const KtUWChar* src) {
    return BoundedCopy(dst, size, src, SIZE_MAX, false);
}
int KtUSysString::Wcsncpy(KtUWChar* dst, unsigned int size, const KtUWChar* src,
                          unsigned int count) {
    return BoundedCopy(dst, size, src, count, false);
}
int KtUSysString::Wcscat(KtUWChar* dst, unsigned int size, const KtUWChar* src) {
    return BoundedCopy(dst, size, src, SIZE_MAX, true);
}

int KtUSysString::Vsprintf(char* dst, unsigned int size, const char* format, va_list args) {
    int n = ktu::text::FormatV(dst, size, format, args);
    return n < 0 || static_cast<unsigned>(n) >= size ? -1 : n;
}

int KtUSysString::Vswprintf(KtUWChar* dst, unsigned int size, const KtUWChar* format,
                            va_list args) {
    int n = ktu::text::FormatV(dst, size, format, args);
    return n < 0 || static_cast<unsigned>(n) >= size ? -1 : n;
}

char* KtUSysString::Sprintf(char* dst, unsigned int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ktu::text::FormatV(dst, size, format, args);
    va_end(args);
    return size ? dst + std::strlen(dst) : dst;
}

void KtUSysString::GetLocalizedDecimalPoint(KtUWChar* dst) {
    ReadLocalization();
    std::memcpy(dst, s_decimal_point, sizeof s_decimal_point);
}

void KtUSysString::GetLocalizedThousandSep(KtUWChar* dst) {
    ReadLocalization();
    std::memcpy(dst, s_thousand_sep, sizeof s_thousand_sep);
}

void KtUSysString::GetLocalizedListSep(KtUWChar* dst) {
    ReadLocalization();
    std::memcpy(dst, s_list_sep, sizeof s_list_sep);
}

int KtUSysString::GetLocalizedDecimalPlaces() {
    ReadLocalization();
    return s_decimal_places.load(std::memory_order_acquire);
}

void KtUSysString::ResetLocalization() {
    s_decimal_places.store(-1, std::memory_order_release);
}

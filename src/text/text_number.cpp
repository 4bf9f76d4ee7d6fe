//===- text_number.cpp - Reading numbers from narrow and wide text --------===//
#include "text/text_number.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>

namespace ktu::text {

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

// The trim-and-parse rules over any character type: C is char or wchar_t.
template <class C, class IsSpace, class ToDouble, class ToLong>
static int Parse(const C* text, double* value, NumberKind kind, IsSpace is_space,
                 ToDouble to_double, ToLong to_long) {
    if (!text) return 0;
    std::basic_string<C> s(text);
    size_t b = 0, e = s.size();
    while (b < e && is_space(s[b]))
        ++b;
    while (e > b && is_space(s[e - 1]))
        --e;
    if (kind != NumberKind::eCFloat && b == e) return 0;
    s = s.substr(b, e - b);
    C* end = nullptr;
    errno = 0;
    switch (kind) {
    case NumberKind::eLocalizedFloat: {
        double v = to_double(s.c_str(), &end, static_cast<locale_t>(nullptr));
        if (end != s.c_str() + s.size()) return 0;
        *value = v;
        return 1;
    }
    case NumberKind::eLocalizedInt: {
        long v = to_long(s.c_str(), &end);
        if (end != s.c_str() + s.size() || errno == ERANGE || v < INT_MIN || v > INT_MAX) return 0;
        if (v == 0 && s[0] != '0') return 0;
        *value = static_cast<double>(v);
        return 1;
    }
    case NumberKind::eCFloat: {
        double v = to_double(s.c_str(), &end, CLocale());
        if (end == s.c_str()) return 0;
        *value = v;
        return 1;
    }
    }
    return 0;
}

int ReadNumber(const char* text, double* value, NumberKind kind) {
    return Parse(
        text, value, kind, [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; },
        [](const char* s, char** end, locale_t loc) {
            return loc ? strtod_l(s, end, loc) : std::strtod(s, end);
        },
        [](const char* s, char** end) { return std::strtol(s, end, 10); });
}

int ReadNumber(const KtUWChar* text, double* value, NumberKind kind) {
    if (!text) return 0;
    std::wstring wide; // glibc's wide functions take UTF-32
    for (const KtUWChar* p = text; *p; ++p)
        wide.push_back(static_cast<wchar_t>(*p));
    return Parse(
        wide.c_str(), value, kind, [](wchar_t c) { return std::iswspace(c) != 0; },
        [](const wchar_t* s, wchar_t** end, locale_t loc) {
            return loc ? wcstod_l(s, end, loc) : std::wcstod(s, end);
        },
        [](const wchar_t* s, wchar_t** end) { return std::wcstol(s, end, 10); });
}

} // namespace ktu::text

//===- text_format.cpp - The printf engine for narrow and UTF-16 text -----===//
//
// One template over the character type. Literal runs are copied in bulk,
// integers and strings are converted here; only the digits of a floating-point
// conversion come from the C library's snprintf (into a local buffer), so
// they match glibc exactly. Width padding is always done here, which keeps the
// local buffer small whatever the width.
//
//===----------------------------------------------------------------------===//
#include "text/text_format.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace ktu::text {
namespace {

static_assert(sizeof(long) == 8 && sizeof(long long) == 8 && sizeof(size_t) == 8 &&
                  sizeof(intmax_t) == 8 && sizeof(ptrdiff_t) == 8 && sizeof(void*) == 8,
              "the length prefixes l, ll, z, j, t and I64 are all taken as 64-bit (LP64)");

// Writes while there is room and counts everything, as vsnprintf does.
template <class C> struct Sink {
    C* cur;
    C* end; // the slot kept for the terminator
    size_t total = 0;

    size_t Room() const { return static_cast<size_t>(end - cur); }
    void Put(C c) {
        if (cur < end) *cur++ = c;
        ++total;
    }
    void Fill(C c, size_t n) {
        size_t k = n < Room() ? n : Room();
        if constexpr (sizeof(C) == 1) {
            if (k) std::memset(cur, c, k);
        } else {
            for (size_t i = 0; i < k; ++i)
                cur[i] = c;
        }
        cur += k;
        total += n;
    }
    void Copy(const C* s, size_t n) {
        size_t k = n < Room() ? n : Room();
        if (k) std::memcpy(cur, s, k * sizeof(C));
        cur += k;
        total += n;
    }
    // ASCII from the number converters, widened for UTF-16 output.
    void Ascii(const char* s, size_t n) {
        if constexpr (sizeof(C) == 1) {
            Copy(s, n);
        } else {
            size_t k = n < Room() ? n : Room();
            for (size_t i = 0; i < k; ++i)
                cur[i] = static_cast<unsigned char>(s[i]);
            cur += k;
            total += n;
        }
    }
};

// A va_list wrapped so that it can be passed by reference on every ABI.
struct Args {
    va_list ap;
};

enum : unsigned { kMinus = 1, kPlus = 2, kSpace = 4, kHash = 8, kZero = 16 };
// kLL stands for every 64-bit prefix: ll, l (for integers), z, j, t, L, I64.
enum class Len : unsigned char { kNone, kHH, kH, kL, kLL, kBigL, kI64 };

struct Conversion {
    unsigned flags = 0;
    bool widthStar = false;
    bool precStar = false;
    size_t width = 0; // saturates above INT_MAX, so that the total overflows
    int prec = -1;    // -1: none
    Len len = Len::kNone;
    char conv = 0;
};

constexpr size_t kWidthLimit = size_t{INT_MAX} + 1;

// Parses the conversion after '%'. Returns the position after it, or null for
// a malformed or unknown conversion (which then consumes no argument).
template <class C> const C* Parse(const C* p, Conversion& s) {
    for (;; ++p) {
        switch (*p) {
        case '-':
            s.flags |= kMinus;
            continue;
        case '+':
            s.flags |= kPlus;
            continue;
        case ' ':
            s.flags |= kSpace;
            continue;
        case '#':
            s.flags |= kHash;
            continue;
        case '0':
            s.flags |= kZero;
            continue;
        default:
            break;
        }
        break;
    }
    if (*p == '*') {
        s.widthStar = true;
        ++p;
    } else {
        for (; *p >= '0' && *p <= '9'; ++p) {
            s.width = s.width * 10 + static_cast<size_t>(*p - '0');
            if (s.width > kWidthLimit) s.width = kWidthLimit;
        }
    }
    if (*p == '.') {
        ++p;
        s.prec = 0;
        if (*p == '*') {
            s.precStar = true;
            ++p;
        } else {
            for (; *p >= '0' && *p <= '9'; ++p) {
                long long v = s.prec * 10LL + (*p - '0');
                s.prec = v > INT_MAX ? INT_MAX : static_cast<int>(v);
            }
        }
    }
    switch (*p) {
    case 'h':
        s.len = p[1] == 'h' ? Len::kHH : Len::kH;
        p += s.len == Len::kHH ? 2 : 1;
        break;
    case 'l':
        s.len = p[1] == 'l' ? Len::kLL : Len::kL;
        p += s.len == Len::kLL ? 2 : 1;
        break;
    case 'z':
    case 'j':
    case 't':
        s.len = Len::kLL;
        ++p;
        break;
    case 'L':
        s.len = Len::kBigL;
        ++p;
        break;
    case 'I':
        if (p[1] != '6' || p[2] != '4') return nullptr;
        s.len = Len::kI64;
        p += 3;
        break;
    default:
        break;
    }
    bool ok;
    switch (*p) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'n':
        ok = true;
        break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        ok = s.len == Len::kNone || s.len == Len::kL || s.len == Len::kBigL;
        break;
    case 's':
    case 'S':
    case 'c':
    case 'C':
        ok = s.len == Len::kNone || s.len == Len::kH || s.len == Len::kL;
        break;
    case 'p':
    case '%':
        ok = s.len == Len::kNone;
        break;
    default:
        ok = false;
    }
    if (!ok) return nullptr;
    s.conv = static_cast<char>(*p);
    return p + 1;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233"
    "34353637383940414243444546474849505152535455565758596061626364656667"
    "68697071727374757677787980818283848586878889909192939495969798"
    "99";

// Digits of v written backwards ending at end; returns their start.
char* ToDecimal(uint64_t v, char* end) {
    while (v >= 100) {
        const char* d = kDigitPairs + (v % 100) * 2;
        v /= 100;
        *--end = d[1];
        *--end = d[0];
    }
    if (v >= 10) {
        *--end = kDigitPairs[v * 2 + 1];
        *--end = kDigitPairs[v * 2];
    } else {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

char* ToBase(uint64_t v, char* end, unsigned shift, const char* digits) {
    unsigned mask = (1u << shift) - 1;
    do {
        *--end = digits[v & mask];
        v >>= shift;
    } while (v);
    return end;
}

// Writes body (of len units) inside the field width.
template <class C, class Body> void Padded(Sink<C>& o, const Conversion& s, size_t len, Body body) {
    size_t pad = s.width > len ? s.width - len : 0;
    if (pad && !(s.flags & kMinus)) o.Fill(' ', pad);
    body();
    if (pad && (s.flags & kMinus)) o.Fill(' ', pad);
}

template <class C> void Integer(Sink<C>& o, const Conversion& s, bool negative, uint64_t v) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* d;
    switch (s.conv) {
    case 'x':
        d = ToBase(v, end, 4, "0123456789abcdef");
        break;
    case 'X':
        d = ToBase(v, end, 4, "0123456789ABCDEF");
        break;
    case 'o':
        d = ToBase(v, end, 3, "01234567");
        break;
    default:
        d = ToDecimal(v, end);
    }
    if (v == 0 && s.prec == 0) d = end; // C: zero with precision 0 has no digits
    size_t digits = static_cast<size_t>(end - d);

    char prefix[2];
    size_t np = 0;
    if (negative) {
        prefix[np++] = '-';
    } else if (s.conv == 'd' || s.conv == 'i') {
        if (s.flags & kPlus)
            prefix[np++] = '+';
        else if (s.flags & kSpace)
            prefix[np++] = ' ';
    }
    if ((s.flags & kHash) && v != 0 && (s.conv == 'x' || s.conv == 'X')) {
        prefix[np++] = '0';
        prefix[np++] = s.conv;
    }
    size_t zeros = s.prec > 0 && static_cast<size_t>(s.prec) > digits ? s.prec - digits : 0;
    if ((s.flags & kHash) && s.conv == 'o' && zeros == 0 && (digits == 0 || *d != '0')) zeros = 1;
    if ((s.flags & (kZero | kMinus)) == kZero && s.prec < 0 && s.width > np + digits)
        zeros = s.width - np - digits;
    Padded(o, s, np + zeros + digits, [&] {
        o.Ascii(prefix, np);
        o.Fill('0', zeros);
        o.Ascii(d, digits);
    });
}

bool IsHighSurrogate(uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// UTF-16 to UTF-8, at most max bytes, no character split. With o null it only
// measures. Returns the bytes written.
ptrdiff_t Transcode(const KtUWChar* s, size_t max, Sink<char>* o) {
    size_t n = 0;
    // The room is checked first: a precision bounds the units read, too.
    for (uint32_t c; n < max && (c = *s) != 0;) {
        size_t len = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (IsHighSurrogate(c)) {
            if (max - n < 4) break; // the next unit is read only if a pair could fit
            if (IsLowSurrogate(s[1])) {
                c = 0x10000 + ((c - 0xD800) << 10) + (s[1] - 0xDC00u);
                len = 4;
            }
        }
        if (len > max - n) break;
        if (o) {
            char b[4];
            switch (len) {
            case 1:
                b[0] = static_cast<char>(c);
                break;
            case 2:
                b[0] = static_cast<char>(0xC0 | (c >> 6));
                b[1] = static_cast<char>(0x80 | (c & 0x3F));
                break;
            case 3:
                b[0] = static_cast<char>(0xE0 | (c >> 12));
                b[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                b[2] = static_cast<char>(0x80 | (c & 0x3F));
                break;
            default:
                b[0] = static_cast<char>(0xF0 | (c >> 18));
                b[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                b[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                b[3] = static_cast<char>(0x80 | (c & 0x3F));
            }
            o->Copy(b, len);
        }
        n += len;
        s += len == 4 ? 2 : 1;
    }
    return static_cast<ptrdiff_t>(n);
}

// UTF-8 to UTF-16, at most max units, no character split. Returns the units
// written, or -1 for an invalid sequence (3-byte surrogate forms are accepted).
ptrdiff_t Transcode(const char* str, size_t max, Sink<KtUWChar>* o) {
    const auto* p = reinterpret_cast<const unsigned char*>(str);
    size_t n = 0;
    for (uint32_t c; n < max && (c = *p) != 0;) {
        size_t len = 1, units = 1;
        if (c >= 0x80) {
            if (c >= 0xC2 && c <= 0xDF) {
                len = 2;
                c &= 0x1F;
            } else if (c >= 0xE0 && c <= 0xEF) {
                len = 3;
                c &= 0x0F;
            } else if (c >= 0xF0 && c <= 0xF4) {
                len = 4;
                units = 2;
                c &= 0x07;
            } else {
                return -1;
            }
        }
        if (units > max - n) break;
        // A NUL is no continuation byte, so this never reads past the string.
        for (size_t k = 1; k < len; ++k) {
            if ((p[k] & 0xC0) != 0x80) return -1;
            c = (c << 6) | (p[k] & 0x3Fu);
        }
        if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF))) return -1;
        if (o) {
            if (units == 2) {
                o->Put(static_cast<KtUWChar>(0xD800 + ((c - 0x10000) >> 10)));
                o->Put(static_cast<KtUWChar>(0xDC00 + (c & 0x3FF)));
            } else {
                o->Put(static_cast<KtUWChar>(c));
            }
        }
        n += units;
        p += len;
    }
    return static_cast<ptrdiff_t>(n);
}

template <class S> size_t Length(const S* s, size_t max) {
    if constexpr (sizeof(S) == 1) {
        return max == SIZE_MAX ? std::strlen(s) : strnlen(s, max);
    } else {
        size_t n = 0;
        while (n < max && s[n])
            ++n;
        return n;
    }
}

template <class C, class S> int String(Sink<C>& o, const Conversion& s, const S* str) {
    static constexpr S kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (!str) str = s.prec < 0 || s.prec >= 6 ? kNull : kNull + 6;
    size_t max = s.prec < 0 ? SIZE_MAX : static_cast<size_t>(s.prec);
    if constexpr (std::is_same_v<C, S>) {
        size_t n = Length(str, max);
        Padded(o, s, n, [&] { o.Copy(str, n); });
    } else {
        ptrdiff_t n = Transcode(str, max, nullptr);
        if (n < 0) return EILSEQ;
        Padded(o, s, static_cast<size_t>(n), [&] { Transcode(str, max, &o); });
    }
    return 0;
}

// Whether %s/%S/%c/%C (with h or l) takes a UTF-16 argument.
template <class C> bool WideArgument(const Conversion& s) {
    if (s.len == Len::kL) return true;
    if (s.len == Len::kH) return false;
    bool own = s.conv == 's' || s.conv == 'c';
    return own == (sizeof(C) == 2);
}

template <class C> int Char(Sink<C>& o, const Conversion& s, int v) {
    bool wide = WideArgument<C>(s);
    if (wide == (sizeof(C) == 2)) {
        C c = sizeof(C) == 1 ? static_cast<C>(static_cast<unsigned char>(v)) : static_cast<C>(v);
        Padded(o, s, 1, [&] { o.Put(c); });
    } else if constexpr (sizeof(C) == 1) {
        const KtUWChar unit[2] = {static_cast<KtUWChar>(v), 0};
        if (unit[0] == 0) {
            Padded(o, s, 1, [&] { o.Put(0); });
        } else {
            size_t n = static_cast<size_t>(Transcode(unit, SIZE_MAX, nullptr));
            Padded(o, s, n, [&] { Transcode(unit, SIZE_MAX, &o); });
        }
    } else {
        auto b = static_cast<unsigned char>(v);
        if (b >= 0x80) return EILSEQ; // a lone byte of a multi-byte sequence
        Padded(o, s, 1, [&] { o.Put(b); });
    }
    return 0;
}

template <class C, class T> int Float(Sink<C>& o, const Conversion& s, T value) {
    char fmt[12]; // "%#+ .*Lg"
    char* f = fmt;
    *f++ = '%';
    if (s.flags & kHash) *f++ = '#';
    if (s.flags & kPlus) *f++ = '+';
    if (s.flags & kSpace) *f++ = ' ';
    *f++ = '.';
    *f++ = '*'; // a negative precision means none
    if constexpr (std::is_same_v<T, long double>) *f++ = 'L';
    *f++ = s.conv;
    *f = 0;

    char local[512];
    char* buf = local;
    int n = std::snprintf(local, sizeof local, fmt, s.prec, value);
    if (n < 0) return EOVERFLOW;
    if (static_cast<size_t>(n) >= sizeof local) {
        buf = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        if (!buf) return ENOMEM;
        std::snprintf(buf, static_cast<size_t>(n) + 1, fmt, s.prec, value);
    }
    size_t len = static_cast<size_t>(n);
    size_t sign = buf[0] == '-' || buf[0] == '+' || buf[0] == ' ' ? 1 : 0;
    bool finite = buf[sign] >= '0' && buf[sign] <= '9';
    size_t prefix = sign + (finite && (s.conv == 'a' || s.conv == 'A') ? 2 : 0);
    // Zero padding goes after the sign and "0x"; infinities and NaNs get blanks.
    size_t zeros = 0;
    if ((s.flags & (kZero | kMinus)) == kZero && finite && s.width > len) zeros = s.width - len;
    Padded(o, s, len + zeros, [&] {
        o.Ascii(buf, prefix);
        o.Fill('0', zeros);
        o.Ascii(buf + prefix, len - prefix);
    });
    if (buf != local) std::free(buf);
    return 0;
}

// Converts one well-formed conversion; returns 0 or an errno value.
template <class C> int Convert(Sink<C>& o, Conversion& s, Args& a) {
    if (s.widthStar) {
        int w = va_arg(a.ap, int);
        if (w < 0) s.flags |= kMinus;
        s.width = w < 0 ? static_cast<size_t>(-static_cast<long long>(w)) : static_cast<size_t>(w);
    }
    if (s.precStar) {
        int p = va_arg(a.ap, int);
        s.prec = p < 0 ? -1 : p;
    }
    switch (s.conv) {
    case 'd':
    case 'i': {
        long long v;
        switch (s.len) {
        case Len::kNone:
            v = va_arg(a.ap, int);
            break;
        case Len::kHH:
            v = static_cast<signed char>(va_arg(a.ap, int));
            break;
        case Len::kH:
            v = static_cast<short>(va_arg(a.ap, int));
            break;
        default:
            v = va_arg(a.ap, long long);
        }
        uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        Integer(o, s, v < 0, magnitude);
        return 0;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
        uint64_t v;
        switch (s.len) {
        case Len::kNone:
            v = va_arg(a.ap, unsigned);
            break;
        case Len::kHH:
            v = static_cast<unsigned char>(va_arg(a.ap, unsigned));
            break;
        case Len::kH:
            v = static_cast<unsigned short>(va_arg(a.ap, unsigned));
            break;
        default:
            v = va_arg(a.ap, unsigned long long);
        }
        Integer(o, s, false, v);
        return 0;
    }
    case 'p': {
        // 16 upper-case hexadecimal digits; only the width and '-' apply.
        auto v = reinterpret_cast<uintptr_t>(va_arg(a.ap, void*));
        s.conv = 'X';
        s.prec = 16;
        s.flags &= kMinus;
        Integer(o, s, false, v);
        return 0;
    }
    case 's':
    case 'S':
        if (WideArgument<C>(s)) return String(o, s, va_arg(a.ap, const KtUWChar*));
        return String(o, s, va_arg(a.ap, const char*));
    case 'c':
    case 'C':
        return Char(o, s, va_arg(a.ap, int));
    case '%':
        o.Put('%');
        return 0;
    default:
        if (s.len == Len::kBigL) return Float(o, s, va_arg(a.ap, long double));
        return Float(o, s, va_arg(a.ap, double));
    }
}

template <class C> const C* FindPercent(const C* f) {
    if constexpr (sizeof(C) == 1) {
        return strchrnul(f, '%');
    } else {
        while (*f && *f != '%')
            ++f;
        return f;
    }
}

template <class C> int Run(C* out, size_t cap, const C* format, va_list args) {
    // No result is longer than INT_MAX, so a larger capacity (a caller's
    // "unbounded") is cut there rather than letting the end pointer wrap.
    if (cap > kWidthLimit) cap = kWidthLimit;
    Sink<C> o{cap ? out : nullptr, cap ? out + cap - 1 : nullptr};
    Args a;
    va_copy(a.ap, args);
    int error = 0;
    const C* f = format; // a null format formats nothing
    while (f && *f) {
        const C* literal = f;
        f = FindPercent(f);
        o.Copy(literal, static_cast<size_t>(f - literal));
        if (!*f) break;
        Conversion s;
        const C* next = Parse(f + 1, s);
        if (!next) { // printed as written: the '%' now, the rest as literal text
            o.Put('%');
            ++f;
            continue;
        }
        if (s.conv == 'n') {
            // Never writes through the pointer; printed as written instead.
            if (s.widthStar) (void)va_arg(a.ap, int);
            if (s.precStar) (void)va_arg(a.ap, int);
            (void)va_arg(a.ap, void*);
            o.Copy(f, static_cast<size_t>(next - f));
        } else if ((error = Convert(o, s, a)) != 0) {
            break;
        }
        f = next;
    }
    va_end(a.ap);
    if (cap) *o.cur = 0;
    if (!error && o.total > INT_MAX) error = EOVERFLOW;
    if (error) {
        errno = error;
        return -1;
    }
    return static_cast<int>(o.total);
}

} // namespace

int FormatV(char* out, size_t cap, const char* format, va_list args) {
    return Run(out, cap, format, args);
}

int FormatV(KtUWChar* out, size_t cap, const KtUWChar* format, va_list args) {
    return Run(out, cap, format, args);
}

int Format(char* out, size_t cap, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = Run(out, cap, format, args);
    va_end(args);
    return n;
}

int Format(KtUWChar* out, size_t cap, const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    int n = Run(out, cap, format, args);
    va_end(args);
    return n;
}

} // namespace ktu::text

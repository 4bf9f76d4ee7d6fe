//===- TextFormatTest.cpp - The printf engine against glibc and itself ----===//
// The reference side hands run-time formats to snprintf on purpose.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

#include "text/text_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using ktu::text::Format;

namespace {

std::u16string Widen(const std::string& s) { // byte by byte, as Latin-1
    std::u16string w;
    for (unsigned char c : s)
        w += static_cast<char16_t>(c);
    return w;
}

// Narrow string arguments become their widened copies for the wide format.
struct WideArgs {
    std::deque<std::u16string> keep;
    template <class T> T operator()(T v) { return v; }
    const KtUWChar* operator()(const char* s) {
        if (!s) return nullptr;
        return keep.emplace_back(Widen(s)).c_str();
    }
};

// ktutil's format (narrow and widened) must give what glibc gives for ref.
template <class... A> bool SameAs(const char* format, const char* ref, A... args) {
    int n = std::snprintf(nullptr, 0, ref, args...);
    std::string want(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(want.data(), want.size(), ref, args...);
    want.resize(static_cast<size_t>(n));

    std::string got(want.size() + 1, '\x7f');
    int gn = Format(got.data(), got.size(), format, args...);
    WideArgs w;
    std::u16string wgot(want.size() + 1, u'\x7f');
    int wn = Format(wgot.data(), wgot.size(), Widen(format).c_str(), w(args)...);
    bool same = gn == n && got == want + '\0' && wn == n && wgot == Widen(want) + u'\0';
    EXPECT_TRUE(same) << format << ": " << n << " [" << want << "], narrow " << gn << " [" << got
                      << "], wide " << wn;
    return same;
}
template <class... A> bool Same(const char* format, A... args) {
    return SameAs(format, format, args...);
}

// Every format built from these flags, widths and precisions, then conv.
template <class F> void ForEachSpec(const char* lengths, const char* convs, F check) {
    static const char* flags[] = {"", "-", "+", " ", "#", "0", "-+", "+0", " 0", "#0", "-#0+ "};
    static const char* widths[] = {"", "1", "7", "33"};
    static const char* precs[] = {"", ".", ".0", ".1", ".6", ".25"};
    for (auto f : flags)
        for (auto w : widths)
            for (auto p : precs)
                for (const char* c = convs; *c; ++c) {
                    std::string conversion = std::string("[%") + f + w + p + lengths + *c + "]";
                    if (!check(conversion)) return;
                }
}

TEST(TextFormat, IntegersMatchTheCLibrary) {
    const int ints[] = {0, 1, -1, 42, -42, 255, 65535, 100000, INT_MAX, INT_MIN};
    const long long longs[] = {0, 7, -1, INT64_MIN, INT64_MAX, 0x0123456789abcdefLL};
    for (const char* len : {"", "hh", "h"})
        ForEachSpec(len, "diuxXo", [&](const std::string& f) {
            for (int v : ints)
                if (!Same(f.c_str(), v)) return false;
            return true;
        });
    for (const char* len : {"l", "ll", "j", "z", "t"})
        ForEachSpec(len, "diuxXo", [&](const std::string& f) {
            for (long long v : longs)
                if (!Same(f.c_str(), v)) return false;
            return true;
        });
    // I64 is ll for glibc.
    ForEachSpec("I64", "diuxXo", [&](const std::string& f) {
        std::string ref = f;
        ref.replace(ref.find("I64"), 3, "ll");
        for (long long v : longs)
            if (!SameAs(f.c_str(), ref.c_str(), v)) return false;
        return true;
    });
    EXPECT_TRUE(SameAs("%I64u|%I64d|%I64X", "%llu|%lld|%llX", UINT64_MAX, INT64_MIN, UINT64_MAX));
}

TEST(TextFormat, FloatsMatchTheCLibrary) {
    const double values[] = {0.0,       -0.0,     1.0,       -1.5,         0.1,     2.5,
                             1e300,     -1e-300,  DBL_MIN,   DBL_TRUE_MIN, DBL_MAX, 123456.789,
                             9.9999995, INFINITY, -INFINITY, NAN,          -NAN};
    for (const char* len : {"", "l"})
        ForEachSpec(len, "fFeEgGaA", [&](const std::string& f) {
            for (double v : values)
                if (!Same(f.c_str(), v)) return false;
            return true;
        });
    const long double longs[] = {0.0L, -1.5L, 1e-4000L, LDBL_MAX, 3.14159265358979323846264L};
    for (long double v : longs)
        EXPECT_TRUE(Same("%Lf|%.30Le|%La|%-12Lg|%+020.3LE|%#+ .3Lg", v, v, v, v, v, v));
    // Longer than the engine's local buffer: a heap buffer is used.
    EXPECT_TRUE(Same("%.700f|%#.0e|%+.40g", 1e300, 5.0, 1.0 / 3));
}

TEST(TextFormat, StringsCharsStarsAndPercentMatchTheCLibrary) {
    const char* strings[] = {"", "abc", "hello, world", "caf\xc3\xa9", nullptr};
    for (const char* f :
         {"%s", "%12s", "%-12s|", "%.3s", "%12.3s", "%.0s", "%.20s", "%05s", "%-.5s|"})
        for (const char* s : strings)
            EXPECT_TRUE(Same(f, s));
    for (const char* f : {"%c", "%5c", "%-5c|", "%05c"})
        for (int c : {int{'a'}, int{' '}, 0xe9, 0})
            EXPECT_TRUE(Same(f, c));
    for (int w : {-10, -1, 0, 5, 30})
        for (int p : {-5, -1, 0, 3}) {
            EXPECT_TRUE(Same("[%*d][%-*d][%.*d][%*.*d]", w, 42, w, -7, p, 3, w, p, 12345));
            EXPECT_TRUE(Same("[%*.*f][%*.*s]", w, p, 2.5, w, p, "abcdef"));
        }
    EXPECT_TRUE(Same("100%% [%5%] [%-3%]", 0)); // the 0 is not used
    EXPECT_TRUE(Same("%s: %s id(%d), data(%x), \"%s\"\n", "Memory", "alloc", 42, 0xBEEF, "ok"));
}

TEST(TextFormat, CrossWidthStrings) {
    char out[64];
    KtUWChar wout[65];
    // a, e-acute, euro sign, an emoji (surrogate pair): 1 + 2 + 3 + 4 bytes.
    const KtUWChar* w = u"a\u00e9\u20ac\U0001F600";
    const char* u8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";
    EXPECT_EQ(Format(out, sizeof out, "%S|%ls|%.3S|%.5S|%.9S|%12S|", w, w, w, w, w, w), 50);
    EXPECT_EQ(std::string(out), std::string(u8) + "|" + u8 +
                                    "|a\xc3\xa9|a\xc3\xa9|a\xc3\xa9\xe2\x82\xac|  " + u8 + "|");
    EXPECT_EQ(Format(wout, 64, u"%S|%hs|%.4S|%.2S|%-6S|", u8, u8, u8, u8, u8), 26);
    EXPECT_EQ(std::u16string(wout), u"a\u00e9\u20ac\U0001F600|a\u00e9\u20ac\U0001F600|"
                                    u"a\u00e9\u20ac|a\u00e9|a\u00e9\u20ac\U0001F600 |");
    // Unpaired surrogates keep their 3-byte form, and come back unchanged,
    // as do the 3-byte encodings of a pair.
    const std::u16string odd[] = {u"\xd800x", u"x\xdc00", u"\xdbff", u"\xde00\xd83d", w};
    for (const auto& s : odd) {
        ASSERT_GT(Format(out, sizeof out, "%S", s.c_str()), 0);
        ASSERT_GT(Format(wout, 64, u"%S", out), 0);
        EXPECT_EQ(std::u16string(wout), s);
    }
    EXPECT_EQ(Format(wout, 64, u"%S", "\xed\xa0\xbd\xed\xb8\x80"), 2);
    EXPECT_EQ(std::u16string(wout), u"\U0001F600");
    // Invalid UTF-8 is an encoding failure, unless the precision stops first.
    for (const char* bad : {"\xc0\x80", "\xff", "x\xe2\x82", "\xf4\x90\x80\x80", "\x80"}) {
        errno = 0;
        EXPECT_EQ(Format(wout, 64, u"ab%Scd", bad), -1) << bad;
        EXPECT_EQ(errno, EILSEQ);
        EXPECT_EQ(std::u16string(wout), u"ab");
    }
    EXPECT_EQ(Format(wout, 64, u"%.0S|%.1S", "\xff", "x\xff"), 2);
    // Characters and null strings.
    EXPECT_EQ(Format(out, sizeof out, "%C%lc%hc%c|%S|%.3S|", 0x20ac, 'A', 'b', 'c',
                     static_cast<const KtUWChar*>(nullptr), static_cast<const KtUWChar*>(nullptr)),
              15);
    EXPECT_EQ(std::string(out), "\xe2\x82\xac"
                                "Abc|(null)||");
    EXPECT_EQ(Format(wout, 64, u"%c%C%hc%lc|%s|%S", 0x20ac, 'A', 'b', 'c',
                     static_cast<const KtUWChar*>(nullptr), static_cast<const char*>(nullptr)),
              18);
    EXPECT_EQ(std::u16string(wout), u"\u20ac"
                                    u"Abc|(null)|(null)");
    EXPECT_EQ(Format(wout, 64, u"%C", 0xe9), -1);
    // An error message of the library itself.
    EXPECT_EQ(Format(wout, 65, u"Handle Severity(%S) component(%S) id(%d), data(%x), msg(%s)",
                     "Error", "Mem", 7, 255, u"\u00fcber"),
              64);
    EXPECT_EQ(std::u16string(wout), u"Handle Severity(Error) component(Mem) id(7), data(ff), "
                                    u"msg(\u00fcber)");
}

// Text (no terminator) that ends right before an inaccessible page, so that
// reading past it faults. The pages are left mapped: a few per test run.
template <class T> const T* AtPageEnd(const std::basic_string<T>& s) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    auto* base = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base, MAP_FAILED);
    mprotect(base + page, page, PROT_NONE);
    T* at = reinterpret_cast<T*>(base + page) - s.size();
    std::copy(s.begin(), s.end(), at);
    return at;
}

TEST(TextFormat, PrecisionBoundsTheUnitsRead) {
    char out[32];
    KtUWChar wout[32];
    EXPECT_EQ(Format(out, sizeof out, "%.3s|%.3hs", AtPageEnd<char>("abc"), AtPageEnd<char>("xyz")),
              7);
    EXPECT_STREQ(out, "abc|xyz");
    EXPECT_EQ(Format(out, sizeof out, "%.3S", AtPageEnd<KtUWChar>(u"\u00e9\u00e9")), 2);
    EXPECT_EQ(Format(out, sizeof out, "%.4S", AtPageEnd<KtUWChar>(u"\u00e9\u00e9")), 4);
    EXPECT_EQ(Format(out, sizeof out, "%.4S", AtPageEnd<KtUWChar>(u"\U0001F600")), 4);
    EXPECT_EQ(
        Format(wout, 32, u"%.2s|%.2S", AtPageEnd<KtUWChar>(u"ab"), AtPageEnd<char>("\xc3\xa9z")),
        5);
    EXPECT_EQ(std::u16string(wout), u"ab|\u00e9z");
}

TEST(TextFormat, MalformedConversionsArePrintedAsWritten) {
    const char* cases[] = {"%y",  "%I32d", "%I6",  "%I",  "%-5.2y", "%*y",  "%I64s", "%hhf",
                           "%lp", "%lls",  "%1$d", "%'d", "%Ls",    "%.*k", "%h%"};
    char out[64];
    KtUWChar wout[64];
    for (const char* c : cases) {
        // The %d after it still gets the first argument.
        std::string f = std::string(c) + "|%d";
        EXPECT_EQ(Format(out, sizeof out, f.c_str(), 5, 6), static_cast<int>(f.size()) - 1);
        EXPECT_EQ(std::string(out), std::string(c) + "|5");
        EXPECT_EQ(Format(wout, 64, Widen(f).c_str(), 5, 6), static_cast<int>(f.size()) - 1);
        EXPECT_EQ(std::u16string(wout), Widen(std::string(c) + "|5"));
    }
    for (const char* c : {"%", "abc%", "%-5", "%.", "%5.3l", "%I6"}) {
        EXPECT_EQ(Format(out, sizeof out, c), static_cast<int>(strlen(c)));
        EXPECT_STREQ(out, c);
    }
    // %n writes nothing; its pointer is skipped.
    int n = 77;
    signed char hh = 9;
    EXPECT_EQ(Format(out, sizeof out, "a%nb%5hhn%d", &n, &hh, 3), 10);
    EXPECT_STREQ(out, "a%nb%5hhn3");
    EXPECT_EQ(Format(wout, 64, u"%n%d", &n, 4), 3);
    EXPECT_EQ(n, 77);
    EXPECT_EQ(hh, 9);
}

TEST(TextFormat, PointersAndOverflow) {
    char out[128];
    auto* p = reinterpret_cast<void*>(uintptr_t{0xFFFF80001234ABCD});
    EXPECT_EQ(Format(out, sizeof out, "%p|%20p|%-18p|%p|%#+.3p", p, p, p, nullptr, p), 90);
    EXPECT_STREQ(out, "FFFF80001234ABCD|    FFFF80001234ABCD|FFFF80001234ABCD  |0000000000000000|"
                      "FFFF80001234ABCD");
    errno = 0;
    EXPECT_EQ(Format(out, sizeof out, "x%2147483647d", 1), -1);
    EXPECT_EQ(errno, EOVERFLOW);
    EXPECT_EQ(strlen(out), sizeof out - 1);
    EXPECT_EQ(Format(out, sizeof out, "%99999999999d", 1), -1);
    EXPECT_EQ(Format(out, 4, "%2147483646d", 1), INT_MAX - 1);
    EXPECT_STREQ(out, "   ");
    EXPECT_EQ(Format(out, SIZE_MAX, "%d|%s%c", 12, "unbounded", '!'), 13);
    EXPECT_STREQ(out, "12|unbounded!");
}

template <class C, class... A> void CheckTruncation(const C* format, A... args) {
    const int full = Format(static_cast<C*>(nullptr), 0, format, args...);
    ASSERT_GT(full, 0);
    std::vector<C> whole(full + 1);
    ASSERT_EQ(Format(whole.data(), whole.size(), format, args...), full);
    for (size_t cap = 0; cap <= static_cast<size_t>(full) + 2; ++cap) {
        std::vector<C> buf(cap + 8, C(0x5a));
        ASSERT_EQ(Format(buf.data(), cap, format, args...), full) << cap;
        size_t kept = cap ? std::min(cap - 1, static_cast<size_t>(full)) : 0;
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + kept, whole.begin())) << cap;
        if (cap) {
            EXPECT_EQ(buf[kept], C(0)) << cap;
        }
        for (size_t i = cap; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], C(0x5a)) << "overrun at cap " << cap;
    }
}

TEST(TextFormat, TruncatesAtEveryCapacity) {
    const KtUWChar* w = u"\u00e9\U0001F600";
    CheckTruncation("lit %s|%S|%08.3f|%-6d|%#x|%p|%c|%15s|%%|%.3e", "abc", w, 3.14159, -42, 255u,
                    &w, 'q', "right", 1e10);
    CheckTruncation(u"lit %s|%S|%08.3f|%-6d|%#x|%p|%c|%15s|%%|%.3e", w, "\xc3\xa9z", 3.14159, -42,
                    255u, &w, 'q', u"right", 1e10);
}

} // namespace

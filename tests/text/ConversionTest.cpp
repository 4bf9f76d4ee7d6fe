//===- ConversionTest.cpp - UTF-8, UTF-16, ASCII and locale conversions ---===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysString.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <gtest/gtest.h>

#include "../system/TestLocale.h"

#if KTU_HAS_ASAN
#include <sanitizer/lsan_interface.h>
#endif

#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <random>
#include <string>

namespace {

class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override { KtUString::Initialise(); }
    void TearDown() override { KtUString::Terminate(); }

    // UTF-8 → UTF-16 through the buffer; the result and the converted text.
    int Decode(const std::string& utf8, std::u16string* out) {
        KtUWideStringBuffer w;
        int ok = w.SetFromUTF8String(utf8.c_str());
        *out = w.GetString() ? w.GetString() : u"<null>";
        return ok;
    }
    std::string Encode(const std::u16string& wide) {
        KtUStringBuffer b;
        KtUWideString::ExtractUTF8String(wide.c_str(), &b);
        return b.GetString();
    }
};

TEST_F(ConversionTest, Utf8DecodingRules) {
    std::u16string w;
    EXPECT_EQ(1, Decode("\xC3\xA9", &w));
    EXPECT_EQ(u"\xE9", w);
    EXPECT_EQ(0, Decode("ab\xC0\x80", &w));       // overlong NUL
    EXPECT_EQ(u"ab", w);                          // what came before the bad byte
    EXPECT_EQ(0, Decode("\xE0\x9F\xBF", &w));     // overlong three-byte form
    EXPECT_EQ(0, Decode("\xF0\x9F\x98\x80", &w)); // four-byte forms always fail
    EXPECT_EQ(0, Decode("\xF8\x88\x80\x80\x80", &w));
    EXPECT_EQ(0, Decode("\xEF\xBF\xBE", &w)); // U+FFFE
    EXPECT_EQ(0, Decode("\xEF\xBF\xBF", &w)); // U+FFFF
    EXPECT_EQ(1, Decode("\xEF\xBF\xBD", &w)); // U+FFFD is fine
    EXPECT_EQ(0, Decode("x\x80", &w));        // continuation as lead
    EXPECT_EQ(u"x", w);
    EXPECT_EQ(0, Decode("\xE4\xB8", &w)); // truncated
    EXPECT_EQ(0, Decode("\xC3\x28", &w)); // bad continuation
    // Supplementary characters travel as two three-byte surrogate forms.
    EXPECT_EQ(1, Decode("\xED\xA0\xBD\xED\xB8\x80", &w));
    EXPECT_EQ(u"\xD83D\xDE00", w);
    EXPECT_EQ("\xED\xA0\xBD\xED\xB8\x80", Encode(w));
}

TEST_F(ConversionTest, Utf16EncodingPerUnitAtEveryBoundary) {
    EXPECT_EQ("\x7F", Encode(u"\x7F"));
    EXPECT_EQ("\xC2\x80", Encode(u"\x80"));
    EXPECT_EQ("\xDF\xBF", Encode(u"\x7FF"));
    EXPECT_EQ("\xE0\xA0\x80", Encode(u"\x800"));
    EXPECT_EQ("\xEF\xBF\xBF", Encode(u"\xFFFF"));
    KtUStringBuffer out("keep");
    KtUWideString::ExtractUTF8String(nullptr, &out);
    EXPECT_TRUE(out.IsNull());
    KtUWideString::ExtractUTF8String(u"", &out);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(4, out.GetAllocationSize());
}

TEST_F(ConversionTest, RandomUnitsRoundTripAcrossTheWidePath) {
    // Long ASCII runs with scattered non-ASCII units exercise the 16-wide
    // paths and their hand-over to the scalar code at every offset.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::u16string w;
        int len = static_cast<int>(rng() % 100);
        for (int i = 0; i < len; ++i) {
            unsigned r = rng() % 10;
            KtUWChar c = r < 7 ? static_cast<KtUWChar>(0x20 + rng() % 0x5F)
                               : static_cast<KtUWChar>(0x80 + rng() % 0xFF7E);
            w.push_back(c);
        }
        std::u16string back;
        std::string utf8 = Encode(w);
        ASSERT_EQ(1, Decode(utf8, &back)) << round;
        ASSERT_EQ(w, back) << round;
    }
}

// The decoding rules one byte at a time, independently of the library's
// block kernels: the units before the first bad byte, and whether there was one.
std::pair<std::u16string, bool> ReferenceDecode(const std::string& text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0, n = text.size();
    auto cont = [&](size_t k) { return k < n && (s[k] & 0xC0) == 0x80; };
    while (i < n) {
        unsigned c = s[i];
        if (c < 0x80) {
            out.push_back(char16_t(c));
            i += 1;
        } else if (c >= 0xC2 && c < 0xE0 && cont(i + 1)) {
            out.push_back(char16_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F)));
            i += 2;
        } else if (c >= 0xE0 && c < 0xF0 && cont(i + 1) && cont(i + 2)) {
            unsigned v = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (v < 0x800 || v >= 0xFFFE) return {out, false};
            out.push_back(char16_t(v));
            i += 3;
        } else {
            return {out, false};
        }
    }
    return {out, true};
}

TEST_F(ConversionTest, BlockKernelsAgreeWithTheRulesOnRealTextAndEveryCorruption) {
    // Real text in three scripts, each long enough for every block shape.
    const std::string texts[] = {
        "Le mod\xC3\xA8le compl\xC3\xA8te de l'usine compte d\xC3\xA9sormais plus de deux "
        "millions d'\xC3\xA9l\xC3\xA9ments ; il faut pr\xC3\xA8s d'une minute pour l'ouvrir.",
        "\xCE\xA4\xCE\xBF \xCF\x80\xCE\xBB\xCE\xAE\xCF\x81\xCE\xB5\xCF\x82 "
        "\xCE\xBC\xCE\xBF\xCE\xBD\xCF\x84\xCE\xAD\xCE\xBB\xCE\xBF \xCF\x84\xCE\xBF\xCF\x85 "
        "\xCE\xB5\xCF\x81\xCE\xB3\xCE\xBF\xCF\x83\xCF\x84\xCE\xB1\xCF\x83\xCE\xAF\xCE\xBF\xCF\x85, "
        "2 "
        "\xCE\xB5\xCE\xBA\xCE\xB1\xCF\x84\xCE\xBF\xCE\xBC\xCE\xBC\xCF\x8D\xCF\x81\xCE\xB9\xCE\xB1.",
        "\xE5\xB7\xA5\xE5\xA0\xB4\xE5\x85\xA8\xE4\xBD\x93\xE3\x81\xAE\xE3\x83\xA2\xE3\x83\x87"
        "\xE3\x83\xAB\xE3\x81\xAF\xE3\x80\x81\xE3\x81\x84\xE3\x81\xBE\xE3\x81\xA7\xE3\x81\xAF"
        "\xEF\xBF\xBD"
        "200\xEF\xBF\xBD\xE4\xB8\x87\xE3\x82\x92\xE8\xB6\x85\xE3\x81\x88\xE3\x82\x8B\xE8\xA6\x81"
        "\xE7\xB4\xA0"
        "\xE3\x81\x8B\xE3\x82\x89\xE6\x88\x90\xE3\x82\x8A\xE7\xAB\x8B\xE3\x81\xA3\xE3\x81\xA6"
        "\xE3\x81\x84\xE3\x82\x8B\xE3\x80\x82\xED\xA0\xBD\xED\xB8\x80\xEF\xBF\xBD",
    };
    const unsigned char bad[] = {0x80, 0xBE, 0xBF, 0xC0, 0xC1, 0xC3, 0xE0, 0xE3,
                                 0xED, 0xEF, 0xF0, 0xF8, 0xFF, 'a',  0x00};
    for (const std::string& text : texts) {
        std::u16string w;
        ASSERT_EQ(1, Decode(text, &w));
        EXPECT_EQ(ReferenceDecode(text).first, w);
        EXPECT_EQ(text, Encode(w)); // every block shape on the way back too
        for (size_t p = 0; p < text.size(); ++p) {
            for (unsigned char b : bad) {
                std::string broken = text;
                broken[p] = char(b);
                if (b == 0) broken.resize(p); // a cut anywhere, mid-form included
                auto [expected, valid] = ReferenceDecode(broken);
                std::u16string got;
                ASSERT_EQ(valid ? 1 : 0, Decode(broken, &got)) << "byte " << p << " = " << int(b);
                ASSERT_EQ(expected, got) << "byte " << p << " = " << int(b);
            }
        }
    }
}

TEST_F(ConversionTest, AsciiConversionsAndMarkers) {
    KtUWideStringBuffer w;
    EXPECT_EQ(1, w.TrySetFromAsciiString("plain"));
    EXPECT_EQ(u"plain", std::u16string(w.GetString()));
    EXPECT_EQ(0, w.TrySetFromAsciiString("caf\xC3\xA9"));
    EXPECT_EQ(u"ASCIITOWCS INTERNAL FAILURE!", std::u16string(w.GetString()));
    EXPECT_EQ(1, w.TrySetFromAsciiString(nullptr));
    EXPECT_TRUE(w.IsNull());
    KtUStringBuffer n;
    EXPECT_EQ(0, KtUWideString::TryExtractAsciiString(u"\xE9", &n));
    EXPECT_STREQ("NOT AN ASCII STRING", n.GetString());
    EXPECT_EQ(1, KtUWideString::TryExtractAsciiString(u"ok", &n));
    EXPECT_STREQ("ok", n.GetString());

    KtUWChar dst[4];
    EXPECT_EQ(4, KtUSysString::AsciiToWideChar("abc", nullptr, 0));
    EXPECT_EQ(-1, KtUSysString::AsciiToWideChar("abcd", dst, 4));
    EXPECT_EQ(4, KtUSysString::AsciiToWideChar("abc", dst, 4));
    EXPECT_EQ(-1, KtUSysString::AsciiToWideChar(nullptr, dst, 4));
    char narrow[4];
    EXPECT_EQ(-1, KtUSysString::WideCharToAscii(u"\x80", narrow, 4));
}

// Builds a Latin-1 locale into a scratch directory (the test machine has only
// the C locales installed); null when localedef is not there.
locale_t MakeLatin1Locale() {
    if (!ktu::test::BuildTestLocale("de_DE", "ISO-8859-1")) return nullptr;
#if KTU_HAS_ASAN
    // glibc keeps the locale files it loads for the life of the process.
    __lsan::ScopedDisabler keep_locale_data;
#endif
    return newlocale(LC_ALL_MASK, "de_DE.ISO-8859-1", nullptr);
}

TEST_F(ConversionTest, MultiIsUtf8InTheCLocaleAndTheLocaleCharsetElsewhere) {
    // "C" names ASCII, but Multi text there is read and written as UTF-8.
    KtUWideStringBuffer w;
    EXPECT_EQ(1, w.SetFromMultiString("caf\xC3\xA9"));
    EXPECT_EQ(u"caf\u00E9", std::u16string(w.GetString()));
    KtUStringBuffer n;
    EXPECT_EQ(1, KtUWideString::ExtractMultiString(u"caf\u00E9", &n));
    EXPECT_STREQ("caf\xC3\xA9", n.GetString());
    EXPECT_EQ(0, w.SetFromMultiString("caf\xE9")); // not UTF-8
    EXPECT_EQ(u"MBSTOWCS CONVERSION FAILED!", std::u16string(w.GetString()));
    EXPECT_EQ(-1, KtUSysString::MultiByteToWideChar("\xFF", nullptr, 0));
    EXPECT_EQ(3, KtUSysString::WideCharToMultiByte(u"ab", nullptr, 0));

    locale_t latin1 = MakeLatin1Locale();
    if (!latin1) GTEST_SKIP() << "localedef cannot build de_DE.ISO-8859-1 here";
    locale_t previous = uselocale(latin1);
    int ok = w.SetFromMultiString("caf\xE9");
    std::u16string decoded = w.GetString();
    int ok2 = KtUWideString::ExtractMultiString(u"\u00E9t\u00E9", &n);
    std::string encoded = n.GetString();
    int cmp = KtUSysString::MultiStricmp("\xC9T\xC9", "\xE9t\xE9");
    uselocale(previous);
    freelocale(latin1);
    EXPECT_EQ(1, ok);
    EXPECT_EQ(u"caf\u00E9", decoded);
    EXPECT_EQ(1, ok2);
    EXPECT_EQ("\xE9t\xE9", encoded);
    EXPECT_EQ(0, cmp);
}

TEST_F(ConversionTest, ValidityChecks) {
    EXPECT_TRUE(KtUString::IsValidUTF8("plain \xC3\xA9 \xE4\xB8\xAD"));
    EXPECT_FALSE(KtUString::IsValidUTF8("\xF0\x9F\x98\x80"));
    std::string long_text(1000, 'a');
    long_text += "\xE4\xB8\xAD";
    long_text += std::string(300, '\xC3');
    EXPECT_FALSE(KtUString::IsValidUTF8(long_text.c_str()));
    EXPECT_TRUE(KtUString::IsValidAscii(nullptr));
    EXPECT_FALSE(KtUString::IsValidAscii("\x80"));
}

TEST_F(ConversionTest, SysStringBoundedCopiesAndNumbers) {
    char small[4];
    EXPECT_EQ(0, KtUSysString::Strcpy(small, 4, "abc"));
    EXPECT_EQ(ERANGE, KtUSysString::Strcpy(small, 4, "abcd"));
    EXPECT_STREQ("", small);
    EXPECT_EQ(0, KtUSysString::Strncpy(small, 4, "abcdef", 2));
    EXPECT_EQ(0, KtUSysString::Strcat(small, 4, "c"));
    EXPECT_STREQ("abc", small);
    EXPECT_EQ(EINVAL, KtUSysString::Strcat(small, 4, nullptr));
    KtUWChar wide[8];
    EXPECT_EQ(u"-255", std::u16string(KtUSysString::Itow(-255, wide, 8, 10)));
    EXPECT_EQ(u"ff", std::u16string(KtUSysString::Itow(255, wide, 8, 16)));
    EXPECT_EQ(nullptr, KtUSysString::Itow(123456789, wide, 8, 10));
    int v = 0;
    char* end = nullptr;
    EXPECT_TRUE(KtUSysString::Strtol("42abc", &v, &end));
    EXPECT_EQ(42, v);
    EXPECT_STREQ("abc", end);
    EXPECT_FALSE(KtUSysString::Strtol("abc", &v, &end));
    char line[8];
    EXPECT_EQ(line + 5, KtUSysString::Sprintf(line, 8, "%d-%s", 12, "ab"));
    EXPECT_EQ(line + 7, KtUSysString::Sprintf(line, 8, "%s", "truncated"));
    KtUWChar sep[5];
    KtUSysString::GetLocalizedDecimalPoint(sep);
    EXPECT_EQ(u".", std::u16string(sep));
    KtUSysString::GetLocalizedListSep(sep);
    EXPECT_EQ(u",", std::u16string(sep));
}

} // namespace

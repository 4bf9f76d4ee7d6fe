//===- StringConvTest.cpp - 7-bit escape form and STEP string decoding ----===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUStringConv.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <gtest/gtest.h>

#include <iconv.h>

#include <random>
#include <string>

namespace {

class StringConvTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUStringConv::Initialise();
        ASSERT_TRUE(KtUStringConv::IsInitialised());
    }
    void TearDown() override { KtUStringConv::Terminate(); }

    static std::string To7Bit(const std::u16string& w) {
        KtUStringBuffer out("stale");
        KtUStringConv::EncodeWideTo7BitAscii(w.c_str(), &out);
        return out.GetString();
    }
    // The decoded text after a successful decode, else "!" and what was kept.
    static std::u16string From7Bit(const char* text) {
        KtUWideStringBuffer out(u"stale");
        bool ok = KtUStringConv::DecodeWideFrom7BitAscii(text, &out);
        return (ok ? u"" : u"!") + std::u16string(out.GetString());
    }
    // STEPToWide appended to "<"; "!" when it failed (the output must then be
    // left as it was).
    static std::u16string Step(const std::string& text) {
        KtUWideStringBuffer out(u"<");
        if (KtUStringConv::STEPToWide(text.c_str(), &out)) return out.GetString();
        EXPECT_EQ(std::u16string(u"<"), out.GetString()) << text;
        return u"!";
    }
};

TEST_F(StringConvTest, SevenBitEscapes) {
    EXPECT_EQ("a///00E9", To7Bit(u"a/\u00E9"));
    EXPECT_EQ(" ~/007F/001F/D83D/DE00/FFFF", To7Bit(u" ~\x7F\x1F\U0001F600\xFFFF"));
    EXPECT_EQ("", To7Bit(u""));
    KtUStringBuffer released("x");
    KtUStringConv::EncodeWideTo7BitAscii(nullptr, &released);
    EXPECT_TRUE(released.IsNull());

    EXPECT_EQ(u"a/\u00E9", From7Bit("a///00E9"));
    EXPECT_EQ(u"\u00E9/", From7Bit("/00e9/002F"));
    EXPECT_EQ(u"", From7Bit(""));
    EXPECT_EQ(u"!ab", From7Bit("ab/"));
    EXPECT_EQ(u"!ab", From7Bit("ab/00E"));
    EXPECT_EQ(u"!ab", From7Bit("ab/00G0x"));
    EXPECT_EQ(u"!", From7Bit("/ 0E9"));
    EXPECT_EQ(u"!x", From7Bit("x/0000"));
    EXPECT_EQ(u"!a", From7Bit("a\tb"));
    EXPECT_EQ(u"!a", From7Bit("a\xC3\xA9"));

    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::u16string w;
        for (int i = round % 40; i > 0; --i) // mostly printable, some of everything
            w += static_cast<char16_t>(rng() % 3 ? 32 + rng() % 95 : 1 + rng() % 0xFFFF);
        ASSERT_EQ(w, From7Bit(To7Bit(w).c_str()));
    }
}

TEST_F(StringConvTest, StepDirectives) {
    EXPECT_EQ(u"<", Step(""));
    EXPECT_EQ(u"<a b'c", Step("a b'c"));
    EXPECT_EQ(u"<\\", Step("\\\\"));
    EXPECT_EQ(u"<caf\u00E9!", Step("caf\\X\\e9!"));
    EXPECT_EQ(u"<\u03B1\u03B2.", Step("\\X2\\03B103B2\\X0\\."));
    EXPECT_EQ(u"<\U0001F600\u00E9", Step("\\X4\\0001F600000000E9\\X0\\"));
    EXPECT_EQ(u"<", Step("\\X2\\\\X0\\"));
    EXPECT_EQ(u"<\u00E1", Step("\\S\\a"));
    EXPECT_EQ(u"<\u0105a\u00E1", Step("\\PB\\\\S\\1a\\X\\E1")); // \X\ stays Latin-1
    EXPECT_EQ(u"<\u03B1\u00E9", Step("\\PG\\\xE1\\PA\\\xE9"));
    EXPECT_EQ(u"<\u00E1", Step("\\PL\\\xE1"));
    EXPECT_EQ(u"<\uFFFD", Step("\\PC\\\xA5")); // unassigned in 8859-3

    // clang-format off
    for (const char* bad :
         {"\\", "a\\", "\\Q", "\\X\\G0", "\\X\\E", "\\X\\", "\\X\\00", "\\X2\\00E9",
          "\\X2\\00E\\X0\\", "\\X2\\0000\\X0\\", "\\X2\\00E9\\X4\\", "\\X4\\0000E9\\X0\\",
          "\\X4\\00110000\\X0\\", "\\X4\\0000D800\\X0\\", "\\X3\\", "\\X0\\", "\\PQ\\",
          "\\P@\\", "\\PA", "\\PAB", "\\S\\", "\\S\\\x01", "\\S\x41"})
        // clang-format on
        EXPECT_EQ(u"!", Step(bad)) << bad;

    KtUWideStringBuffer null_out;
    EXPECT_TRUE(KtUStringConv::STEPToWide("", &null_out));
    EXPECT_FALSE(null_out.IsNull());
    EXPECT_FALSE(KtUStringConv::STEPToWide(nullptr, &null_out));
}

// Each letter selects its ISO 8859 part: every byte, raw and through \S\,
// decodes as glibc's iconv decodes it (U+FFFD where iconv finds nothing).
TEST_F(StringConvTest, StepCharacterSetsMatchIconv) {
    const int parts[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1, 13, 14, 15, 16};
    for (int letter = 0; letter < 16; ++letter) {
        std::string name = "ISO-8859-" + std::to_string(parts[letter]);
        iconv_t cd = iconv_open("UTF-16LE", name.c_str());
        ASSERT_NE(reinterpret_cast<iconv_t>(-1), cd) << name;
        std::string raw = std::string("\\P") + static_cast<char>('A' + letter) + "\\";
        std::string shifted = raw;
        std::u16string expected = u"<";
        for (int b = 1; b < 256; ++b) {
            if (b == '\\') continue;
            raw += static_cast<char>(b);
            char in = static_cast<char>(b), out[4] = {};
            char *ip = &in, *op = out;
            size_t il = 1, ol = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 2;
            char16_t unit = ok ? static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                       static_cast<unsigned char>(out[1]) << 8)
                               : u'\xFFFD';
            expected += unit;
        }
        iconv_close(cd);
        EXPECT_EQ(expected, Step(raw)) << name;
        std::u16string upper = u"<";
        for (int c = 0x20; c < 0x7F; ++c) {
            shifted += "\\S\\";
            shifted += static_cast<char>(c);
            upper += expected[c + 0x80 - (c + 0x80 > '\\' ? 1 : 0)];
        }
        EXPECT_EQ(upper, Step(shifted)) << name;
    }
}

} // namespace

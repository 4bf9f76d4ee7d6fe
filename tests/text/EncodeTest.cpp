//===- EncodeTest.cpp - Hex, hex-escaped and Base64 codecs ----------------===//
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUStringBuffer.h>

#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using ktu::text::CodecKernels;

class EncodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUEncode::Initialise();
        ASSERT_TRUE(KtUEncode::IsInitialised());
    }
    void TearDown() override { KtUEncode::Terminate(); }
};

using Encoder = void (*)(const unsigned char*, int, KtUStringBuffer*);
using Decoder = int (*)(const char*, unsigned char*, int);

std::string Encode(Encoder encode, const std::string& bytes) {
    KtUStringBuffer out("stale text that must go");
    encode(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()),
           &out);
    return out.GetString();
}

// Decodes into a buffer of exactly the size that the counting call reports.
std::string Decode(Decoder decode, const char* text) {
    int n = decode(text, nullptr, 0);
    if (n < 0) return "<fail>";
    std::string out(static_cast<size_t>(n), '\0');
    int m = decode(text, reinterpret_cast<unsigned char*>(out.data()), n);
    EXPECT_EQ(n, m) << text;
    return m < 0 ? "<fail>" : out;
}

Bytes RandomBytes(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& c : b)
        c = static_cast<unsigned char>(rng());
    return b;
}

TEST_F(EncodeTest, Base64MatchesRfc4648WithoutPadding) {
    const char* vectors[][2] = {
        {"", ""},           {"f", "Zg"},          {"fo", "Zm8"},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg"}, {"fooba", "Zm9vYmE"}, {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(v[1], Encode(KtUEncode::EncodeBase64, v[0]));
        EXPECT_EQ(v[0], Decode(KtUEncode::DecodeBase64, v[1]));
    }
    EXPECT_EQ("YWJj", Encode(KtUEncode::EncodeBase64, "abc"));
    EXPECT_EQ("YWI", Encode(KtUEncode::EncodeBase64, "ab"));
    EXPECT_EQ("YQ", Encode(KtUEncode::EncodeBase64, "a"));
    KtUStringBuffer self("abc");
    KtUEncode::EncodeBase64(reinterpret_cast<const unsigned char*>(self.GetString()), 3, &self);
    EXPECT_STREQ("YWJj", self.GetString()); // bytes inside the output's own block
    EXPECT_EQ("\xFB\xFF\xBF", Decode(KtUEncode::DecodeBase64, "+/+/"));
}

TEST_F(EncodeTest, Base64RejectsMalformedTextAndSmallCapacity) {
    unsigned char out[8];
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YQ==", out, 8));
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YQ==", nullptr, 0));
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YWJjZ", out, 8)); // length % 4 == 1
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YW Jj", out, 8));
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YW-j", out, 8)); // URL-safe alphabet
    EXPECT_EQ(-1, KtUEncode::DecodeBase64(nullptr, out, 8));
    EXPECT_EQ(3, KtUEncode::DecodeBase64("YWJj", out, 3));
    EXPECT_EQ(-1, KtUEncode::DecodeBase64("YWJj", out, 2));
    EXPECT_EQ(0, KtUEncode::DecodeBase64("", out, 0));
    // A bad character anywhere in a long text, across the vector blocks.
    std::string text(203, 'Q');
    for (size_t i = 0; i < text.size(); ++i) {
        for (char bad : {'=', '\x80', '\xFF', '.', '\x01'}) {
            std::string t = text;
            t[i] = bad;
            unsigned char big[256];
            ASSERT_EQ(-1, KtUEncode::DecodeBase64(t.c_str(), big, sizeof big)) << i << " " << bad;
        }
    }
}

TEST_F(EncodeTest, HexIsUpperCaseAndDecodesEitherCase) {
    EXPECT_EQ("00017F80FF", Encode(KtUEncode::EncodeHex, std::string("\0\1\x7F\x80\xFF", 5)));
    EXPECT_EQ("", Encode(KtUEncode::EncodeHex, ""));
    EXPECT_EQ("\xAB\xCD", Decode(KtUEncode::DecodeHex, "abCD"));
    unsigned char out[4];
    EXPECT_EQ(-1, KtUEncode::DecodeHex("ABC", out, 4));
    EXPECT_EQ(-1, KtUEncode::DecodeHex("0G", out, 4));
    EXPECT_EQ(-1, KtUEncode::DecodeHex("0 ", nullptr, 0));
    EXPECT_EQ(-1, KtUEncode::DecodeHex("010203", out, 2));
    EXPECT_EQ(3, KtUEncode::DecodeHex("010203", out, 3));
    std::string text(258, 'a');
    for (size_t i = 0; i < text.size(); ++i) {
        for (char bad : {'g', 'G', '/', ':', '@', '`', '\x80', '\xE1'}) {
            std::string t = text;
            t[i] = bad;
            unsigned char big[160];
            ASSERT_EQ(-1, KtUEncode::DecodeHex(t.c_str(), big, sizeof big)) << i << " " << bad;
        }
    }
}

TEST_F(EncodeTest, HexEscapedKeepsOnlyLettersAndDigits) {
    EXPECT_EQ("a/2Eb", Encode(KtUEncode::EncodeHexEscaped, "a.b"));
    EXPECT_EQ("09AZaz/2F/00/FF",
              Encode(KtUEncode::EncodeHexEscaped, std::string("09AZaz/\0\xFF", 9)));
    EXPECT_EQ("a.b", Decode(KtUEncode::DecodeHexEscaped, "a/2Eb"));
    EXPECT_EQ("\xFF", Decode(KtUEncode::DecodeHexEscaped, "/ff"));
    unsigned char out[4];
    for (const char* bad : {"a.b", "/", "/2", "/2G", "/G2", "a b", "\xC3\xA9"})
        EXPECT_EQ(-1, KtUEncode::DecodeHexEscaped(bad, out, 4)) << bad;
    EXPECT_EQ(-1, KtUEncode::DecodeHexEscaped("abc/2E", out, 3));
    EXPECT_EQ(4, KtUEncode::DecodeHexEscaped("abc/2E", out, 4));
    EXPECT_EQ(-1, KtUEncode::DecodeHexEscaped("a", out, 0));
}

TEST_F(EncodeTest, EveryCodecRoundTripsRandomBytes) {
    struct Pair {
        Encoder encode;
        Decoder decode;
    } pairs[] = {{KtUEncode::EncodeHex, KtUEncode::DecodeHex},
                 {KtUEncode::EncodeHexEscaped, KtUEncode::DecodeHexEscaped},
                 {KtUEncode::EncodeBase64, KtUEncode::DecodeBase64}};
    std::mt19937 rng(20240611);
    for (const Pair& p : pairs) {
        for (size_t n : {0, 1, 2, 3, 4, 31, 32, 33, 47, 48, 63, 64, 65, 100, 1000, 65537}) {
            Bytes b = RandomBytes(rng, n);
            KtUStringBuffer text;
            p.encode(b.data(), static_cast<int>(n), &text);
            Bytes back(n + 1);
            ASSERT_EQ(static_cast<int>(n), p.decode(text.GetString(), nullptr, 0));
            ASSERT_EQ(static_cast<int>(n), p.decode(text.GetString(), back.data(), int(n)));
            back.resize(n);
            ASSERT_EQ(b, back) << n;
        }
    }
}

// The AVX2 kernels must give exactly what the scalar ones give, at every
// length around their block sizes, and reject the same texts.
TEST(EncodeKernelTest, ScalarAndAvx2Agree) {
    if (!ktu::text::CpuHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    const CodecKernels& s = ktu::text::kScalarKernels;
    const CodecKernels& v = ktu::text::kAvx2Kernels;
    std::mt19937 rng(7);
    for (size_t n = 0; n < 300; ++n) {
        Bytes in = RandomBytes(rng, n);
        size_t b64 = ktu::text::Base64EncodedLength(n);
        std::string hs(2 * n, '?'), hv(2 * n, '?'), bs(b64, '?'), bv(b64, '?');
        s.hex_encode(in.data(), n, hs.data());
        v.hex_encode(in.data(), n, hv.data());
        s.base64_encode(in.data(), n, bs.data());
        v.base64_encode(in.data(), n, bv.data());
        ASSERT_EQ(hs, hv) << n;
        ASSERT_EQ(bs, bv) << n;
        Bytes ds(n), dv(n);
        ASSERT_TRUE(s.hex_decode(hs.data(), hs.size(), ds.data()));
        ASSERT_TRUE(v.hex_decode(hs.data(), hs.size(), dv.data()));
        ASSERT_EQ(in, ds);
        ASSERT_EQ(in, dv);
        ASSERT_TRUE(s.base64_decode(bs.data(), b64, ds.data()));
        ASSERT_TRUE(v.base64_decode(bs.data(), b64, dv.data()));
        ASSERT_EQ(in, ds);
        ASSERT_EQ(in, dv);
    }
    // Every byte value at every position of a text spanning several blocks.
    std::string hex(192, '0'), b64(192, 'A');
    Bytes out(192);
    for (size_t i = 0; i < hex.size(); i += 7) {
        for (int c = 0; c < 256; ++c) {
            std::string h = hex, b = b64;
            h[i] = b[i] = static_cast<char>(c);
            bool hex_ok = ktu::text::HexDigitValue(static_cast<unsigned char>(c)) >= 0;
            ASSERT_EQ(hex_ok, s.hex_decode(h.data(), h.size(), out.data())) << i << " " << c;
            ASSERT_EQ(hex_ok, v.hex_decode(h.data(), h.size(), out.data())) << i << " " << c;
            bool b64_ok = ktu::text::IsBase64Text(b.data(), b.size());
            ASSERT_EQ(b64_ok, s.base64_decode(b.data(), b.size(), out.data())) << i << " " << c;
            ASSERT_EQ(b64_ok, v.base64_decode(b.data(), b.size(), out.data())) << i << " " << c;
        }
    }
}

} // namespace

//===- WriteReadTest.cpp - Encodings, round trips and read errors ---------===//
#include "StreamTestUtil.h"

#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using ktu::test::Body;
using ktu::test::Modes;
using ktu::test::Reader;
using ktu::test::StreamTest;
using ktu::test::Write;

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

TEST_F(StreamTest, HeaderLineNamesModesFormatAndFilters) {
    KtUWriteStream out(nullptr);
    out.SetWideStringEncoding(KtUStream::eMULTI);
    out.SetFormatName("parts");
    EXPECT_STREQ(out.GetConfig().GetString(), "#KtUStream-V1.1 binary double release C parts\n");
    EXPECT_EQ(std::strlen("#KtUStream-V1.1 binary double release C "), 40u);
    out.SetFormatName(nullptr);
    out.SetAscii(1);
    out.SetDouble(0);
    out.SetDebug(1);
    out.SetWideStringEncoding(KtUStream::eUTF8);
    EXPECT_STREQ(out.GetConfig().GetString(), "#KtUStream-V1.1 ascii single debug utf8 linull\n");
    out.SetFormatName("");
    out.SetWideStringEncoding(static_cast<KtUStream::WideStringEncoding>(7));
    EXPECT_STREQ(out.GetConfig().GetString(), "#KtUStream-V1.1 ascii single debug \n");
}

TEST_F(StreamTest, BinaryValuesSitAtTheirAlignment) {
    Modes m;
    std::string bytes = Write(m, [](KtUWriteStream& out) {
        out.WriteNat8(1);
        out.WriteInt32(2);
        out.WriteInt16(-2);
        out.WriteNat64(0x0102030405060708ull);
        out.WriteString("ab");
        out.WriteString(static_cast<const char*>(nullptr));
    });
    EXPECT_EQ(bytes.substr(0, 39), "#KtUStream-V1.1 binary double release u");
    EXPECT_EQ(Body(bytes, m), Bytes({1,   0,   0, 0, 2,    0,    0,    0,    0xfe, 0xff, 0, 0, 0, 0,
                                     0,   0,   8, 7, 6,    5,    4,    3,    2,    1,    2, 0, 0, 0,
                                     'a', 'b', 0, 0, 0xff, 0xff, 0xff, 0xff, 0,    0,    0, 0}));
    EXPECT_EQ(bytes.size() % 8, 0u);

    Modes debug{0, 1, 1};
    std::string tokens = Write(debug, [](KtUWriteStream& out) { out.WriteInt32Array(nullptr, 0); });
    // Sync after the header, the array token and count, the closing Sync.
    EXPECT_EQ(Body(tokens, debug), Bytes({17, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(StreamTest, TextLayoutFollowsIndentColumnsAndQuoting) {
    Modes m{1, 0, 1};
    std::string text = Write(m, [](KtUWriteStream& out) {
        out.WriteInt32(5);
        out.WriteInt8(-1);
        int three[] = {1, -2, 3};
        out.WriteInt32Array(three, 3);
        out.WriteInt32Array(nullptr, 0);
        std::vector<int> eight(8, 7);
        out.WriteInt32Array(eight.data(), 8);
        out.WriteString("say \"hi\" \\");
        out.WriteString(static_cast<const char*>(nullptr));
        out.WriteString("");
        out.WriteDouble(0.5);
        out.SetDoubleDigits(20);
        out.SetSingleDigits(0);
        out.WriteSingle(2.5f);
        out.SetDoubleZero(1e-9);
        out.WriteDouble(-1e-12);
    });
    // Indent, a space for a single value, then each value in its format,
    // which starts with a space of its own.
    EXPECT_EQ(Body(text, m),
              std::string(2 + 1 + 1 + 10, ' ') +
                  "5\n"
                  "    ff\n"
                  "  [           1          -2           3 ]\n"
                  "  [ ]\n"
                  "  [           7           7           7           7           7           7\n" +
                  std::string(1 + 2 + 1 + 10, ' ') +
                  "7           7\n"
                  "  ]\n"
                  "  \"say \\\"hi\\\" \\\\\"\n"
                  "  linull\n"
                  "  \"\"\n" +
                  std::string(2 + 1 + 1 + 16, ' ') + "0.5\n" + // " %19.17g"
                  std::string(2 + 1 + 1 + 2, ' ') + "2\n" +    // one digit: " %3.1g"
                  std::string(2 + 1 + 1 + 18, ' ') + "0\n");   // below the zero
}

TEST_F(StreamTest, TextDebugTokensAndObjectsAreLines) {
    Modes m{1, 1, 1};
    std::string text = Write(m, [](KtUWriteStream& out) {
        out.WriteNat16(0xbeef);
        unsigned short pair[] = {1, 2};
        out.WriteNat16Array(pair, 2);
    });
    EXPECT_EQ(Body(text, m), "  Nat16\n    beef\n  Nat16Array 2\n  [    1    2 ]\n  Sync\n");
}

// Every value kind, written and read back in the eight mode combinations.
TEST_F(StreamTest, EveryValueKindRoundTripsInEveryMode) {
    std::mt19937 rng(7);
    std::vector<double> doubles(1000);
    for (double& d : doubles)
        d = std::ldexp(static_cast<double>(rng()) - 2e9, static_cast<int>(rng() % 40) - 20);
    std::vector<float> singles(doubles.begin(), doubles.end());
    std::vector<unsigned char> nat8(777);
    for (auto& b : nat8)
        b = static_cast<unsigned char>(rng());
    std::vector<short> int16(33, -12345);
    std::vector<unsigned short> nat16(17, 54321);
    std::vector<int> int32(100);
    for (int& v : int32)
        v = static_cast<int>(rng());
    std::vector<unsigned> nat32(int32.begin(), int32.end());
    std::vector<KtUNat64> nat64(9, 0xfedcba9876543210ull);
    const KtUWChar* wide = u"gr\u00fc\u00dfe \u6771\u4eac \U0001F600";

    for (int ascii = 0; ascii < 2; ++ascii)
        for (int debug = 0; debug < 2; ++debug)
            for (int dbl = 0; dbl < 2; ++dbl) {
                SCOPED_TRACE(testing::Message()
                             << "ascii " << ascii << " debug " << debug << " double " << dbl);
                Modes m{ascii, debug, dbl};
                std::string bytes = Write(m, [&](KtUWriteStream& out) {
                    out.WriteInt8(-5);
                    out.WriteNat8(200);
                    out.WriteInt16(-300);
                    out.WriteNat16(60000);
                    out.WriteInt32(-2000000000);
                    out.WriteNat32(4000000000u);
                    out.WriteNat64(0x8000000000000001ull);
                    out.WriteTime(-42);
                    out.WriteSingle(1.5f);
                    out.WriteDouble(-0.1);
                    out.WriteFloat(3.25);
                    out.WriteBoolean(2);
                    out.WriteEnum(9);
                    out.WriteBitfield(0x80000001u);
                    out.WriteString("quote \" and \\ and\nnewline");
                    out.WriteString(static_cast<const char*>(nullptr));
                    out.WriteWideString(wide);
                    out.WriteWideString(static_cast<const KtUWChar*>(nullptr));
                    out.WriteNat8Array(nat8.data(), static_cast<long>(nat8.size()));
                    out.WriteInt16Array(int16.data(), static_cast<long>(int16.size()));
                    out.WriteNat16Array(nat16.data(), static_cast<long>(nat16.size()));
                    out.WriteInt32Array(int32.data(), static_cast<long>(int32.size()));
                    out.WriteNat32Array(nat32.data(), static_cast<long>(nat32.size()));
                    out.WriteNat64Array(nat64.data(), static_cast<long>(nat64.size()));
                    out.WriteSingleArray(singles.data(), static_cast<long>(singles.size()));
                    out.WriteDoubleArray(doubles.data(), static_cast<long>(doubles.size()));
                    out.WriteFloatArray(doubles.data(), static_cast<long>(doubles.size()));
                    out.BeginBits();
                    for (unsigned n = 0; n <= 32; ++n)
                        out.WriteBits(0xdeadbeefu, static_cast<unsigned char>(n));
                    out.EndBits();
                });
                Reader r(bytes);
                KtUReadStream& in = r.in;
                ASSERT_TRUE(in.Begin(1, 0));
                EXPECT_EQ(in.IsAscii(), ascii);
                EXPECT_EQ(in.IsDebug(), debug);
                EXPECT_EQ(in.ReadInt8(), -5);
                EXPECT_EQ(in.ReadNat8(), 200);
                EXPECT_EQ(in.ReadInt16(), -300);
                EXPECT_EQ(in.ReadNat16(), 60000);
                EXPECT_EQ(in.ReadInt32(), -2000000000);
                EXPECT_EQ(in.ReadNat32(), 4000000000u);
                EXPECT_EQ(in.ReadNat64(), 0x8000000000000001ull);
                EXPECT_EQ(in.ReadTime(), -42);
                EXPECT_EQ(in.ReadSingle(), 1.5f);
                EXPECT_EQ(in.ReadDouble(), -0.1);
                EXPECT_EQ(in.ReadFloat(), 3.25);
                bool flag = true;
                in >> flag;
                EXPECT_FALSE(flag); // 2 is not true
                EXPECT_EQ(in.ReadEnum(), 9u);
                EXPECT_EQ(in.ReadBitfield(), 0x80000001u);
                KtUString text;
                in.ReadString(&text);
                EXPECT_STREQ(text.GetString(), "quote \" and \\ and\nnewline");
                in.ReadString(&text);
                EXPECT_TRUE(text.IsNull());
                KtUWideString w;
                in.ReadWideString(&w);
                ASSERT_FALSE(w.IsNull());
                EXPECT_EQ(std::u16string(w.GetString()), std::u16string(wide));
                in.ReadWideString(&w);
                EXPECT_TRUE(w.IsNull());
                std::vector<unsigned char> nat8_back(nat8.size());
                in.ReadNat8Array(nat8_back.data(), static_cast<long>(nat8.size()));
                EXPECT_EQ(nat8_back, nat8);
                std::vector<short> int16_back(int16.size());
                in.ReadInt16Array(int16_back.data(), static_cast<long>(int16.size()));
                EXPECT_EQ(int16_back, int16);
                std::vector<unsigned short> nat16_back(nat16.size());
                in.ReadNat16Array(nat16_back.data(), static_cast<long>(nat16.size()));
                EXPECT_EQ(nat16_back, nat16);
                std::vector<int> int32_back(int32.size());
                in.ReadInt32Array(int32_back.data(), static_cast<long>(int32.size()));
                EXPECT_EQ(int32_back, int32);
                std::vector<unsigned> nat32_back(nat32.size());
                in.ReadNat32Array(nat32_back.data(), static_cast<long>(nat32.size()));
                EXPECT_EQ(nat32_back, nat32);
                std::vector<KtUNat64> nat64_back(nat64.size());
                in.ReadNat64Array(nat64_back.data(), static_cast<long>(nat64.size()));
                EXPECT_EQ(nat64_back, nat64);
                // Text singles carry at most 8 significant digits.
                const double single_tolerance = ascii ? 1e-7 : 0;
                auto near = [](double a, double b, double tolerance) {
                    return a == b || std::fabs(a - b) <= tolerance * std::fabs(b);
                };
                std::vector<float> singles_back(singles.size());
                in.ReadSingleArray(singles_back.data(), static_cast<long>(singles.size()));
                for (size_t i = 0; i < singles.size(); ++i)
                    ASSERT_TRUE(near(singles_back[i], singles[i], single_tolerance)) << i;
                std::vector<double> doubles_back(doubles.size());
                in.ReadDoubleArray(doubles_back.data(), static_cast<long>(doubles.size()));
                EXPECT_EQ(doubles_back, doubles);
                in.ReadFloatArray(doubles_back.data(), static_cast<long>(doubles.size()));
                for (size_t i = 0; i < doubles.size(); ++i)
                    ASSERT_TRUE(near(doubles_back[i],
                                     dbl ? doubles[i] : static_cast<double>(singles[i]),
                                     dbl ? 0 : single_tolerance))
                        << i;
                in.BeginBits();
                for (unsigned n = 0; n <= 32; ++n) {
                    unsigned want = n == 32  ? 0xdeadbeefu
                                    : n == 0 ? 0
                                             : 0xdeadbeefu & ((1u << n) - 1);
                    ASSERT_EQ(in.ReadBits(static_cast<unsigned char>(n)), want) << n;
                }
                EXPECT_EQ(in.EndBits(), (33 * 32 / 2 + 31) / 32);
                EXPECT_TRUE(in.End(1)) << "reader error " << in.GetError();
            }
}

TEST_F(StreamTest, BitsPackMostSignificantFirst) {
    Modes m;
    int words = 0;
    std::string bytes = Write(m, [&](KtUWriteStream& out) {
        out.BeginBits();
        out.WriteBits(0x5, 3);
        words = out.EndBits();
    });
    EXPECT_EQ(words, 1);
    EXPECT_EQ(Body(bytes, m), Bytes({0, 0, 0, 0xa0, 0, 0, 0, 0}));
}

struct ErrorCase {
    const char* name;
    Modes modes;
    std::function<void(std::string&)> corrupt;
    std::function<void(KtUReadStream&)> read;
    KtUStream::ErrorId error;
};

TEST_F(StreamTest, CraftedInputsGiveTheirErrorIds) {
    auto write_two = [](KtUWriteStream& out) {
        out.WriteNat8(1);
        out.WriteInt32(2);
    };
    auto read_two = [](KtUReadStream& in) {
        in.ReadNat8();
        in.ReadInt32();
    };
    const ErrorCase cases[] = {
        {"non-zero padding",
         {},
         [](std::string& b) { b[b.find('\n') + 1 + 7 + 1] = 1; },
         read_two,
         KtUStream::eMALFORMED_DATA},
        {"read past the end",
         {},
         [](std::string&) {},
         [&](KtUReadStream& in) {
             read_two(in);
             in.ReadDouble();
             in.ReadDouble();
         },
         KtUStream::eUNEXPECTED_END},
        {"wrong token",
         {0, 1, 1},
         [](std::string&) {},
         [](KtUReadStream& in) { in.ReadInt16(); },
         KtUStream::ePARSE_ERROR},
        {"bad fifth header word",
         {},
         [](std::string& b) { b[b.find("utf8")] = 'x'; },
         {},
         KtUStream::ePARSE_ERROR},
        {"unknown filter",
         {},
         [](std::string& b) { b.insert(b.find('\n'), " nofilter"); },
         {},
         KtUStream::eUNKNOWN_CONFIGURATION},
        {"text number that does not parse",
         {1, 0, 1},
         [](std::string& b) { b[b.rfind('2')] = 'z'; },
         read_two,
         KtUStream::ePARSE_ERROR},
        {"trailing text",
         {1, 0, 1},
         [](std::string& b) { b += "junk\n"; },
         read_two,
         KtUStream::ePARSE_ERROR},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = Write(c.modes, write_two);
        c.corrupt(bytes);
        Reader r(bytes);
        int begun = r.in.Begin(1, 0);
        if (c.read) {
            ASSERT_TRUE(begun);
            c.read(r.in);
        } else {
            EXPECT_FALSE(begun);
        }
        if (begun) {
            EXPECT_FALSE(r.in.End(1));
        }
        EXPECT_EQ(r.in.GetError(), c.error);
        if (c.error == KtUStream::eUNEXPECTED_END) {
            EXPECT_TRUE(r.in.IsEof());
        }
    }
}

TEST_F(StreamTest, ErrorsStopFurtherWritesAndReads) {
    alignas(8) unsigned char area[64];
    KtUStreamBuffer lent;
    lent.SetBuffer(area, sizeof area, KtUStreamBuffer::eIN_PLACE);
    KtUWriteStream out(&lent);
    ASSERT_TRUE(out.Begin(0, 0));
    std::vector<double> many(100, 1.0);
    out.WriteDoubleArray(many.data(), 100); // more than the lent area holds
    EXPECT_EQ(out.GetError(), KtUStream::eWRITE_LOCK_FAILED);
    out.WriteInt32(7);
    EXPECT_FALSE(out.End());
    EXPECT_FALSE(out.End()); // not begun any more

    Reader r(std::string(16, '\0'));
    ASSERT_TRUE(r.in.Begin(0, 0));
    r.in.SetError(KtUStream::eMALFORMED_DATA);
    int values[4] = {9, 9, 9, 9};
    r.in.ReadInt32Array(values, 4);
    EXPECT_EQ(values[0] | values[3], 0);
    EXPECT_EQ(r.in.ReadInt32(), 0);
    EXPECT_FALSE(r.in.End(1));
}

TEST_F(StreamTest, UserDataSlotsAreProcessWide) {
    std::vector<int> slots;
    for (int i = 0; i < 9; ++i)
        slots.push_back(KtUStream::RegisterUserData());
    EXPECT_EQ(slots[0], 0);
    EXPECT_EQ(slots[7], 7);
    EXPECT_EQ(slots[8], -1);
    KtUStream::UnregisterUserData(3);
    EXPECT_EQ(KtUStream::RegisterUserData(), 3);
    for (int i = 0; i < 8; ++i)
        KtUStream::UnregisterUserData(i);
}

} // namespace

namespace {

// The operators pick the method of their type: in a debug stream a wrong
// pick is a token mismatch.
TEST_F(StreamTest, OperatorsWriteAndReadTheirTypes) {
    Modes m{0, 1, 1};
    std::string bytes = Write(m, [](KtUWriteStream& out) {
        out << static_cast<signed char>(-3) << static_cast<unsigned char>(250)
            << static_cast<short>(-7) << static_cast<unsigned short>(65000) << -9 << 9u
            << KtUNat64(1) << KtUInt64(-2) << 1.5f << 2.5 << true << "narrow" << u"wide"
            << KtUString("s") << KtUWideString(u"w");
    });
    Reader r(bytes);
    ASSERT_TRUE(r.in.Begin(1, 0));
    signed char i8;
    unsigned char n8;
    short i16;
    unsigned short n16;
    int i32;
    unsigned n32;
    KtUNat64 n64;
    KtUInt64 i64;
    float f;
    double d;
    bool b;
    KtUStringBuffer narrow;
    KtUWideStringBuffer wide;
    KtUString s;
    KtUWideString w;
    r.in >> i8 >> n8 >> i16 >> n16 >> i32 >> n32 >> n64 >> i64 >> f >> d >> b >> narrow >> wide >>
        s >> w;
    EXPECT_TRUE(r.in.End(1)) << r.in.GetError();
    EXPECT_EQ(i8, -3);
    EXPECT_EQ(n8, 250);
    EXPECT_EQ(i16, -7);
    EXPECT_EQ(n16, 65000);
    EXPECT_EQ(i32, -9);
    EXPECT_EQ(n32, 9u);
    EXPECT_EQ(n64, 1u);
    EXPECT_EQ(i64, -2);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(d, 2.5);
    EXPECT_TRUE(b);
    EXPECT_STREQ(narrow.GetString(), "narrow");
    EXPECT_EQ(std::u16string(wide.GetString()), u"wide");
    EXPECT_STREQ(s.GetString(), "s");
    EXPECT_EQ(std::u16string(w.GetString()), u"w");
}

} // namespace

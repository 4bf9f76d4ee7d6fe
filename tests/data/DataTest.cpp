//===- DataTest.cpp - The typed value: text, stream, registry and hashes --===//
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include "../system/TestLocale.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if KTU_HAS_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

std::u16string Text(const KtUWideStringBuffer& b) {
    return b.GetString() ? std::u16string(b.GetString()) : std::u16string();
}

std::u16string Written(const KtUData& d) {
    KtUWideStringBuffer b;
    d.Write(&b);
    return Text(b);
}

std::u16string WrittenEx(const KtUData& d) {
    KtUWideStringBuffer b;
    d.WriteEx(&b);
    return Text(b);
}

class DataTest : public ::testing::Test {
protected:
    void SetUp() override { KtUData::Initialise(); }
    void TearDown() override { KtUData::Terminate(); }
    KtUName* Name(const char* internal, const KtUWChar* user) {
        m_names.emplace_back(new KtUName(internal, user));
        return m_names.back().Get();
    }
    std::vector<KtUAutoRefPtr<KtUName>> m_names;
};

// One value of every kind with its Write and WriteEx texts.
struct Golden {
    KtUData value;
    std::u16string write;
    std::u16string write_ex;
};

std::vector<Golden> GoldenForms(KtUName* node) {
    return {
        {KtUData(), u"0", u"0"},
        {KtUData::FromFloat(2.5), u"1 2.5000000000000000000", u"1:2.5000000000000000000"},
        {KtUData(-7), u"2 -7", u"2:-7"},
        {KtUData(true), u"3 1", u"3:1"},
        {KtUData(u"abc"), u"4abc", u"4:abc"},
        {KtUData(KtUInt64{1346990054}), u"5 2012/09/07 03:54:14 GMT", u"5:2012/09/07 03:54:14 GMT"},
        {KtUData::FromLinearFloat(-0.125), u"6 -0.1250000000000000000",
         u"6:-0.1250000000000000000"},
        {KtUData::FromAngularFloat(0.1), u"7 0.1000000000000000056", u"7:0.1000000000000000056"},
        {KtUData(node), u"8 8:KtOaNodeNode", u"8:8:KtOaNodeNode"},
        {KtUData("xyz"), u"9xyz", u"9:xyz"},
        {KtUData::FromAreaFloat(1e6), u": 1000000.0000000000000000000",
         u"::1000000.0000000000000000000"},
        {KtUData::FromVolumeFloat(3), u"; 3.0000000000000000000", u";:3.0000000000000000000"},
        {KtUData(1.0, -2.5, 0.1),
         u"< 1.0000000000000000000;-2.5000000000000000000;0.1000000000000000056",
         u"<:1.0000000000000000000;-2.5000000000000000000;0.1000000000000000056"},
    };
}

TEST_F(DataTest, EveryKindHasItsGoldenTextFormsAndReadsBack) {
    for (const Golden& g : GoldenForms(Name("KtOaNode", u"Node"))) {
        SCOPED_TRACE(static_cast<int>(g.value.GetType()));
        EXPECT_EQ(Written(g.value), g.write);
        EXPECT_EQ(WrittenEx(g.value), g.write_ex);
        KtUData back;
        EXPECT_TRUE(back.Read(g.write.c_str()));
        EXPECT_TRUE(back == g.value);
        KtUData back_ex(5);
        EXPECT_TRUE(back_ex.ReadEx(g.write_ex.c_str()));
        EXPECT_TRUE(back_ex == g.value);
    }
}

TEST_F(DataTest, MalformedTextsFailAndLeaveNone) {
    KtUData d(3);
    EXPECT_TRUE(d.Read(u"0 anything"));
    EXPECT_TRUE(d.IsNone());
    EXPECT_TRUE(d.Read(u"2 5"));
    EXPECT_EQ(d.GetInt32(), 5);
    // ReadEx needs the colon; the space form is not its own.
    EXPECT_FALSE(d.ReadEx(u"2 5"));
    EXPECT_TRUE(d.IsNone());
    for (const char16_t* bad : {u"", u"2", u"2 x", u"1", u"1 z", u"= 1", u"/ 1", u"5 2012/09/07",
                                u"< 1;2", u"8 3abc", u"8 9:abc", u"8 2:\u00e9bUser", u"9\u00e9"}) {
        SCOPED_TRACE(std::string(bad, bad + std::char_traits<char16_t>::length(bad)));
        d.SetInt32(1);
        EXPECT_FALSE(d.Read(bad));
        EXPECT_TRUE(d.IsNone());
    }
    EXPECT_FALSE(d.Read(static_cast<const KtUWChar*>(nullptr)));
    // Text kinds accept an empty value.
    EXPECT_TRUE(d.Read(u"4"));
    EXPECT_TRUE(d.IsWideString());
    EXPECT_EQ(std::u16string(d.GetWideString()), u"");
}

TEST_F(DataTest, NameTextsSplitByTheirLength) {
    KtUData d;
    ASSERT_TRUE(d.Read(u"8 3:abcUser"));
    ASSERT_TRUE(d.IsName());
    EXPECT_STREQ(d.GetName()->GetName().GetString(), "abc");
    EXPECT_EQ(std::u16string(d.GetName()->GetUserName().GetString()), u"User");
    EXPECT_EQ(d.GetName()->GetRefCount(), 1);
    // An absent name writes as "0:" and reads back absent.
    d.SetName(nullptr);
    EXPECT_EQ(Written(d), u"8 0:");
    EXPECT_TRUE(d.Read(u"8 0:"));
    EXPECT_TRUE(d.IsName());
    EXPECT_EQ(d.GetName(), nullptr);
}

TEST_F(DataTest, TimesFollowTheUtcCalendar) {
    KtUData d;
    EXPECT_EQ(Written(KtUData(KtUInt64{0})), u"5 1970/01/01 00:00:00 GMT");
    EXPECT_EQ(Written(KtUData(KtUInt64{-1})), u"5 1969/12/31 23:59:59 GMT");
    EXPECT_EQ(Written(KtUData(KtUInt64{951782400})), u"5 2000/02/29 00:00:00 GMT");
    // Fields out of range roll over as the calendar does.
    ASSERT_TRUE(d.Read(u"5 2012/13/01 00:00:00 GMT"));
    EXPECT_EQ(Written(d), u"5 2013/01/01 00:00:00 GMT");
    ASSERT_TRUE(d.Read(u"5 1600/02/29 12:00:01"));
    EXPECT_EQ(Written(d), u"5 1600/02/29 12:00:01 GMT");
}

// Floats and points are written and read in the "C" locale whatever the
// process locale, so a German process still reads its own files exactly.
TEST_F(DataTest, PointsReadBackExactlyUnderAGermanLocale) {
    if (!ktu::test::BuildTestLocale("de_DE", "UTF-8"))
        GTEST_SKIP() << "localedef cannot build de_DE";
#if KTU_HAS_ASAN
    __lsan::ScopedDisabler keep_locale_data; // glibc keeps the locale paths it loads
#endif
    std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    char decimal[8];
    std::snprintf(decimal, sizeof decimal, "%.1f", 1.5);
    EXPECT_STREQ(decimal, "1,5"); // the locale is really in force
    const double coords[][3] = {{0.1, -1e6 - 0.5, 3.0}, {1.0 / 3, 2.0 / 3, -123456.789}};
    for (const auto& c : coords) {
        KtUData p(c[0], c[1], c[2]);
        std::u16string text = Written(p);
        EXPECT_EQ(text.find(u','), std::u16string::npos);
        KtUData back;
        ASSERT_TRUE(back.Read(text.c_str()));
        ASSERT_TRUE(back.IsPoint3D());
        EXPECT_EQ(back.GetPoint3D()[0], c[0]);
        EXPECT_EQ(back.GetPoint3D()[1], c[1]);
        EXPECT_EQ(back.GetPoint3D()[2], c[2]);
        KtUData f = KtUData::FromLinearFloat(c[1]);
        ASSERT_TRUE(back.Read(Written(f).c_str()));
        EXPECT_TRUE(back == f);
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST_F(DataTest, FromStringParsesOneKind) {
    KtUData d;
    EXPECT_FALSE(d.FromString(u"12abc", KtUData::eInt32, true));
    EXPECT_TRUE(d.IsNone());
    EXPECT_TRUE(d.FromString(u"12abc", KtUData::eInt32, false));
    EXPECT_EQ(d.GetInt32(), 12);
    EXPECT_TRUE(d.FromString(u"2.5", KtUData::eLinearFloat, true));
    EXPECT_TRUE(d.IsLinearFloat());
    EXPECT_EQ(d.GetLinearFloat(), 2.5);
    EXPECT_FALSE(d.FromString(u"2.5\u00b0", KtUData::eAngularFloat, true));
    EXPECT_TRUE(d.FromString(u"2.5\u00b0", KtUData::eAngularFloat, false));
    EXPECT_FALSE(d.FromString(u"", KtUData::eFloat, false));
    EXPECT_TRUE(d.FromString(u"7", KtUData::eBoolean, true));
    EXPECT_EQ(d.GetBoolean(), 7); // kept as written
    EXPECT_TRUE(d.FromString(u"\u00e9t\u00e9", KtUData::eWideString, true));
    EXPECT_EQ(std::u16string(d.GetWideString()), u"\u00e9t\u00e9");
    EXPECT_FALSE(d.FromString(u"\u00e9t\u00e9", KtUData::eString, true));
    EXPECT_TRUE(d.FromString(u"abc", KtUData::eString, true));
    EXPECT_STREQ(d.GetString(), "abc");
    EXPECT_TRUE(d.FromString(u"2012/09/07 03:54:14 GMT", KtUData::eTime, true));
    EXPECT_EQ(d.GetTime(), 1346990054);
    EXPECT_TRUE(d.FromString(u"x", KtUData::eNone, true));
    EXPECT_FALSE(d.FromString(u"8:KtOaNodeNode", KtUData::eName, true));
    EXPECT_FALSE(d.FromString(u"1;2;3", KtUData::ePoint3D, true));
}

TEST_F(DataTest, BooleanWordsAreTheLocalisedTrue) {
    KtUName::AddOverride("KtOaDataBooleanTrue", u"wahr");
    KtUData d;
    EXPECT_TRUE(d.FromString(u"WAHR", KtUData::eBoolean, true));
    EXPECT_EQ(d.GetBoolean(), 1);
    EXPECT_TRUE(d.FromString(u"maybe", KtUData::eBoolean, true));
    EXPECT_TRUE(d.IsBoolean());
    EXPECT_EQ(d.GetBoolean(), 0);
}

TEST_F(DataTest, EqualityKeepsKindsApartButStorageMayNot) {
    KtUData linear = KtUData::FromLinearFloat(2.0), plain = KtUData::FromFloat(2.0);
    EXPECT_FALSE(linear == plain);
    EXPECT_TRUE(linear.StorageTypeEquals(plain));
    EXPECT_TRUE(linear.StorageValueEquals(plain));
    EXPECT_FALSE(KtUData(2).StorageTypeEquals(plain));
    KtUData nan(std::nan(""));
    EXPECT_FALSE(nan == nan);
    KtUData two_true, one_true(true);
    two_true.SetBoolean(2);
    EXPECT_FALSE(two_true == one_true);
    EXPECT_FALSE(KtUData(static_cast<const char*>(nullptr)) == KtUData(""));
    EXPECT_TRUE(KtUData(Name("a", u"A")) == KtUData(Name("a", u"A")));
    EXPECT_FALSE(KtUData(Name("a", u"A")) == KtUData(Name("a", u"B")));
    EXPECT_TRUE(KtUData(1.0, 2.0, 3.0) == KtUData(1.0, 2.0, 3.0));
    EXPECT_FALSE(KtUData(1.0, 2.0, 3.0) == KtUData(1.0, 2.0, -3.0));
}

TEST_F(DataTest, CopiesOwnTheirTextAndShareTheirName) {
    KtUName* n = Name("n", u"N");
    KtUData a(n);
    EXPECT_EQ(n->GetRefCount(), 2);
    {
        KtUData b = a, c;
        c = b;
        EXPECT_EQ(n->GetRefCount(), 4);
        c = std::move(b);
        EXPECT_TRUE(b.IsNone());
        EXPECT_EQ(n->GetRefCount(), 3);
    }
    EXPECT_EQ(n->GetRefCount(), 2);
    KtUData s(u"text");
    KtUData t = s;
    EXPECT_NE(t.GetWideString(), s.GetWideString());
    s.SetWideString(s.GetWideString()); // its own pointer: nothing happens
    EXPECT_EQ(std::u16string(s.GetWideString()), u"text");
    const KtUData& self = s;
    s = self;
    EXPECT_EQ(std::u16string(s.GetWideString()), u"text");
    KtUData p(1.0, 2.0, 3.0), q = p;
    EXPECT_NE(p.GetPoint3D(), q.GetPoint3D());
    EXPECT_EQ(KtUData(4.0, KtUData::eInt32).GetType(), KtUData::eAngularFloat);
    EXPECT_EQ(q.GetSafeInt32(), 0);
    EXPECT_EQ(q.GetSafeWideString(), nullptr);
    EXPECT_EQ(KtUData::FromAreaFloat(1.5).GetSafeLinearFloat(), 1.5);
}

unsigned Adler(const std::vector<unsigned char>& bytes) {
    return static_cast<unsigned>(adler32(1, bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST_F(DataTest, ChecksumsCoverTagAndLittleEndianValue) {
    EXPECT_EQ(KtUData(5).CalcHashCode(), Adler({2, 0, 0, 0, 5, 0, 0, 0}));
    EXPECT_EQ(KtUData(u"ab").CalcHashCode(), Adler({4, 0, 0, 0, 'a', 0, 'b', 0}));
    EXPECT_EQ(KtUData(static_cast<const char*>(nullptr)).CalcHashCode(), Adler({9, 0, 0, 0, 0}));
    EXPECT_EQ(KtUData(KtUInt64{0x0102030405060708}).CalcHashCode(),
              Adler({5, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(KtUData().CalcHashCode(), Adler({0, 0, 0, 0}));
    // A name adds its own bytes: user name units, then the internal name.
    EXPECT_EQ(KtUData(Name("k", u"U")).CalcHashCode(), Adler({8, 0, 0, 0, 'U', 0, 'k'}));
    double one = 1.0;
    std::vector<unsigned char> bytes = {6, 0, 0, 0};
    const auto* raw = reinterpret_cast<const unsigned char*>(&one);
    bytes.insert(bytes.end(), raw, raw + 8);
    EXPECT_EQ(KtUData::FromLinearFloat(1.0).CalcHashCode(), Adler(bytes));
}

TEST_F(DataTest, DumpIsReadableDiagnostics) {
    KtUWideStringBuffer b;
    const std::pair<KtUData, std::u16string> cases[] = {
        {KtUData(), u"<<none>>"},
        {KtUData::FromFloat(1.0 / 3), u"0.3333333333333333"},
        {KtUData(true), u"True"},
        {KtUData(static_cast<const KtUWChar*>(nullptr)), u"<<null>>"},
        {KtUData(Name("KtOaNode", u"Node")), u"Name=KtOaNode , UserName=Node"},
        {KtUData(KtUInt64{-1}), u"18446744073709551615"},
        {KtUData(1.0, 0.5, -2.0), u"1, 0.5, -2"},
    };
    for (const auto& [value, text] : cases) {
        value.Dump(&b);
        EXPECT_EQ(Text(b), text);
    }
}

// --- Streams -----------------------------------------------------------------------------

// The host's name table in these tests: the internal name, then the user name.
void WriteTestName(KtUWriteStream* out, const KtUName* name) {
    out->WriteString(name ? name->GetName().GetString() : nullptr);
    out->WriteWideString(name ? name->GetUserName().GetString() : nullptr);
}

KtUName* ReadTestName(KtUReadStream* in) {
    KtUStringBuffer internal;
    KtUWideStringBuffer user;
    in->ReadString(&internal);
    in->ReadWideString(&user);
    if (in->IsError() || internal.IsNull()) return nullptr;
    return new KtUName(internal.GetString(), user.GetString());
}

struct StreamMode {
    int ascii, debug;
};

class DataStreamTest : public DataTest {
protected:
    void SetUp() override {
        DataTest::SetUp();
        KtUStream::Initialise();
        KtUName::SetReadWriteCallbacks(WriteTestName, ReadTestName);
    }
    void TearDown() override {
        KtUStream::Terminate();
        DataTest::TearDown();
    }

    // Writes values with a format of that version and reads them back.
    std::vector<KtUData> RoundTrip(const std::vector<KtUData>& values, int version, StreamMode mode,
                                   std::string* bytes = nullptr) {
        KtUStreamFormat format("ktudatatest", 0);
        format.SetVersion(version);
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.SetAscii(mode.ascii);
        out.SetDebug(mode.debug);
        out.SetFormat(&format);
        EXPECT_TRUE(out.Begin(1, 0));
        for (const KtUData& v : values)
            out << v;
        EXPECT_TRUE(out.End());
        std::string written(reinterpret_cast<const char*>(buffer.GetAlignedBuffer()),
                            static_cast<size_t>(buffer.GetAlignedUsed()));
        if (bytes) *bytes = written;
        return ReadAll(written, &format, values.size());
    }

    std::vector<KtUData> ReadAll(const std::string& bytes, const KtUStreamFormat* format,
                                 size_t count) {
        KtUStreamBuffer buffer;
        buffer.SetBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
        KtUReadStream in(&buffer);
        in.AddAvailableFormat(format);
        EXPECT_TRUE(in.Begin(1, 0));
        std::vector<KtUData> values(count);
        for (KtUData& v : values)
            in >> v;
        EXPECT_FALSE(in.IsError()) << in.GetError();
        EXPECT_TRUE(in.End(1));
        return values;
    }

    std::vector<KtUData> AllKinds() {
        std::vector<KtUData> values;
        for (const Golden& g : GoldenForms(Name("KtOaNode", u"Node")))
            values.push_back(g.value);
        return values;
    }
};

constexpr StreamMode kModes[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};

TEST_F(DataStreamTest, CurrentVersionsCarryEveryKind) {
    for (StreamMode mode : kModes) {
        SCOPED_TRACE(testing::Message() << "ascii " << mode.ascii << " debug " << mode.debug);
        std::vector<KtUData> values = AllKinds();
        std::vector<KtUData> back = RoundTrip(values, 209, mode);
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_TRUE(back[i] == values[i]) << i;
    }
}

// What a reader of each older version gets for every kind.
TEST_F(DataStreamTest, OlderVersionsGetTheKindsTheyKnew) {
    const std::vector<KtUData> values = AllKinds();
    const KtUData point_text(u"(1, -2.5, 0.1)");
    const KtUData node_user(u"Node");
    const KtUData area(1e6), volume(3.0), xyz(u"xyz");
    for (int version : {4, 90, 208}) {
        for (StreamMode mode : kModes) {
            SCOPED_TRACE(testing::Message() << "version " << version << " ascii " << mode.ascii
                                            << " debug " << mode.debug);
            std::vector<KtUData> back = RoundTrip(values, version, mode);
            for (size_t i = 0; i < values.size(); ++i) {
                const KtUData* expected = &values[i];
                switch (values[i].GetType()) {
                case KtUData::eName:
                    if (version < 5) expected = &node_user;
                    break;
                case KtUData::eString:
                    if (version < 91) expected = &xyz;
                    break;
                case KtUData::eAreaFloat:
                    expected = &area;
                    break;
                case KtUData::eVolumeFloat:
                    expected = &volume;
                    break;
                case KtUData::ePoint3D:
                    expected = &point_text;
                    break;
                default:
                    break;
                }
                EXPECT_TRUE(back[i] == *expected) << i;
            }
        }
    }
}

TEST_F(DataStreamTest, BadTagsAndMissingNameReadersFailTheStream) {
    KtUStreamFormat format("ktudatatest", 0);
    format.SetVersion(209);
    KtUStreamBuffer buffer;
    KtUWriteStream out(&buffer);
    out.SetFormat(&format);
    ASSERT_TRUE(out.Begin(1, 0));
    out.WriteInt32(13);
    out << KtUData(Name("n", u"N"));
    ASSERT_TRUE(out.End());
    std::string bytes(reinterpret_cast<const char*>(buffer.GetAlignedBuffer()),
                      static_cast<size_t>(buffer.GetAlignedUsed()));
    for (int tries = 0; tries < 2; ++tries) {
        KtUStreamBuffer source;
        source.SetBuffer(reinterpret_cast<unsigned char*>(bytes.data()),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY);
        KtUReadStream in(&source);
        in.AddAvailableFormat(&format);
        ASSERT_TRUE(in.Begin(1, 0));
        KtUData v(1);
        if (tries == 0) {
            in >> v; // tag 13
        } else {
            in.ReadInt32();
            KtUName::SetReadWriteCallbacks(nullptr, nullptr);
            in >> v; // a name with no reader installed
        }
        EXPECT_EQ(in.GetError(), KtUStream::ePARSE_ERROR);
        EXPECT_TRUE(v.IsNone());
        in.End(0);
    }
}

// A checked-in stream of every kind: the stream form must not change.
TEST_F(DataStreamTest, CorpusFilesStillRead) {
    const std::string dir = std::string(KTU_TEST_DATA_DIR) + "/stream/";
    const bool rewrite = std::getenv("KTU_WRITE_STREAM_CORPUS") != nullptr;
    std::vector<KtUData> values = AllKinds();
    for (StreamMode mode : {StreamMode{0, 0}, StreamMode{1, 1}}) {
        std::string path =
            dir + (mode.ascii ? "data-values-text-debug.ktu" : "data-values-binary-release.ktu");
        std::string bytes;
        RoundTrip(values, 209, mode, &bytes);
        if (rewrite) std::ofstream(path, std::ios::binary) << bytes;
        std::ifstream file(path, std::ios::binary);
        ASSERT_TRUE(file) << path;
        std::stringstream stored;
        stored << file.rdbuf();
        EXPECT_EQ(stored.str(), bytes) << path << " differs from what is written today";
        KtUStreamFormat format("ktudatatest", 0);
        format.SetVersion(209);
        std::vector<KtUData> back = ReadAll(stored.str(), &format, values.size());
        for (size_t i = 0; i < values.size(); ++i)
            EXPECT_TRUE(back[i] == values[i]) << i;
    }
}

// --- Registry ----------------------------------------------------------------------------

TEST_F(DataTest, RegistryKeepsTheTextForm) {
    char pattern[] = "/tmp/ktu-data-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    setenv("KTU_USER_HIVE", (dir + "/user.hive").c_str(), 1);
    setenv("KTU_MACHINE_HIVE", (dir + "/machine.hive").c_str(), 1);
    KtUSysRegistry::Initialise();
    const KtUSysRegistry::Mode mode = KtUSysRegistry::eREAD_WRITE;
    KtUData point(1.0, 2.0, 3.5);
    EXPECT_TRUE(point.WriteRegistry("Data", "Point", mode));
    KtUWideStringBuffer stored;
    KtUSysRegistry::GetWideString("Data", "Point", nullptr, &stored, mode);
    EXPECT_EQ(Text(stored), Written(point));
    KtUData back;
    back.ReadRegistry(u"Data", u"Point", mode);
    EXPECT_TRUE(back == point);
    back.ReadRegistry("Data", "Missing", KtUData(42), mode);
    EXPECT_EQ(back.GetSafeInt32(), 42);
    back.ReadRegistry("Data", "Missing", mode);
    EXPECT_TRUE(back.IsNone());
    KtUSysRegistry::Terminate();
    std::filesystem::remove_all(dir);
}

} // namespace

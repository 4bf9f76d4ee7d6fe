//===- StringTest.cpp - Immutable strings, comparisons, hashing, numbers --===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUStringHasher.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <gtest/gtest.h>

namespace {

class StringTest : public ::testing::Test {
protected:
    void SetUp() override { KtUString::Initialise(); }
    void TearDown() override {
        EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated()) << "a string leaked its block";
        KtUString::Terminate();
    }
};

TEST_F(StringTest, NullAndEmptyAreDistinct) {
    KtUString s;
    EXPECT_TRUE(s.IsNull());
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(0, s.GetLength());
    s.SetEmptyString();
    EXPECT_FALSE(s.IsNull());
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(1u, KtUMemory::GetArenaMemoryAllocated() > 0);

    EXPECT_EQ(1, KtUString::Equal(nullptr, nullptr));
    EXPECT_EQ(0, KtUString::Equal(nullptr, ""));
    EXPECT_EQ(-1, KtUString::Strcmp(nullptr, ""));
    EXPECT_EQ(1, KtUString::Strcmp("", nullptr));
    EXPECT_EQ(0, KtUString::Strcmp("", ""));
    EXPECT_EQ(-1, KtUString::Strcmp("", "a"));
    EXPECT_EQ(1, KtUString::Strcmp("\xE9", "z")); // unsigned byte order
    EXPECT_EQ(-1, KtUWideString::Strcmp(u"a", u"\xE9"));
    EXPECT_EQ(1, KtUString::EqualPrefix("", "", 3));
    EXPECT_EQ(1, KtUString::EqualPrefix("abcd", "abxy", 2));
    EXPECT_EQ(0, KtUString::EqualPrefix("abcd", "abxy", 3));
}

TEST_F(StringTest, HashIsFiveTimesPlusSignedByte) {
    EXPECT_EQ(583u, KtUString::Hash("ab"));
    EXPECT_EQ(static_cast<unsigned>(-23), KtUString::Hash("\xE9"));
    EXPECT_EQ(0u, KtUString::Hash(nullptr));
    EXPECT_EQ(0xE9u * 5 + 0x4E2Du, KtUWideString::Hash(u"\xE9\x4E2D"));
    KtUString s("ab");
    EXPECT_EQ(583u, KtUStringHasher()(s));
}

TEST_F(StringTest, CopiesOwnTheirBlocks) {
    KtUString a("hello");
    KtUString b(a);
    EXPECT_NE(a.GetString(), b.GetString());
    b[0] = 'j';
    EXPECT_STREQ("hello", a.GetString());
    KtUString& same = a;
    a = same; // self-assignment keeps the text
    EXPECT_STREQ("hello", a.GetString());
    a.SetString(a.GetString() + 2, 2); // a part of its own text
    EXPECT_STREQ("ll", a.GetString());
    a.SetString(a.GetString(), 1); // its own pointer: exactly n bytes are kept
    EXPECT_STREQ("l", a.GetString());
    KtUWideString v(u"wide");
    v.SetString(v.GetString(), 2);
    EXPECT_EQ(u"wi", std::u16string(v.GetString()));
    KtUStringBuffer buf("from buffer");
    KtUString c(buf);
    EXPECT_EQ(11, c.GetLength());
    KtUWideString w(u"abcdef", 3);
    EXPECT_EQ(u"abc", std::u16string(w.GetString()));
}

TEST_F(StringTest, SearchAndAffixes) {
    KtUString s("a.tar.gz");
    EXPECT_EQ(s.GetString() + 1, s.Find(".", 0));
    EXPECT_EQ(s.GetString() + 5, s.Find(".", 2));
    EXPECT_EQ(nullptr, s.Find(".", 8));
    EXPECT_EQ(nullptr, s.Find("", 0));
    EXPECT_EQ(s.GetString() + 5, s.FindLastChar('.'));
    EXPECT_TRUE(s.HasSuffix(".gz"));
    EXPECT_FALSE(s.HasSuffix("xa.tar.gz"));
    EXPECT_TRUE(s.HasPrefix("a.t"));
    EXPECT_FALSE(KtUString::HasPrefix("", ""));
    EXPECT_FALSE(KtUString::HasPrefix("abc", ""));
}

TEST_F(StringTest, CaseInsensitiveAndLogicalComparison) {
    EXPECT_EQ(0, KtUString::Stricmp("Hello", "hELLO"));
    EXPECT_EQ(-1, KtUString::Stricmp("apple", "Banana"));
    EXPECT_EQ(-1, KtUString::Stricmp(nullptr, "a"));
    EXPECT_EQ(0, KtUWideString::Stricmp(u"ABC", u"abc"));
    EXPECT_LT(KtUWideString::StrCmpLogical(u"file9", u"file10"), 0);
    EXPECT_GT(KtUWideString::StrCmpLogical(u"File10b", u"file10a"), 0);
    EXPECT_EQ(0, KtUWideString::StrCmpLogical(u"x007", u"X7"));
    EXPECT_LT(KtUWideString::StrCmpLogical(u"2x", u"x"), 0);
}

TEST_F(StringTest, NumbersFromText) {
    int i = -1;
    EXPECT_EQ(1, KtUString::ReadLocalizedInt(" 0 ", &i));
    EXPECT_EQ(0, i);
    EXPECT_EQ(0, KtUString::ReadLocalizedInt("x", &i));
    EXPECT_EQ(0, KtUString::ReadLocalizedInt("12x", &i));
    EXPECT_EQ(0, KtUString::ReadLocalizedInt("   ", &i));
    EXPECT_EQ(0, KtUString::ReadLocalizedInt("99999999999", &i));
    EXPECT_EQ(1, KtUWideString::ReadLocalizedInt(u"\t-42\n", &i));
    EXPECT_EQ(-42, i);
    double d = 0;
    EXPECT_EQ(0, KtUString::ReadLocalizedFloat("1.5x", &d));
    EXPECT_EQ(1, KtUString::ReadCFloat("1.5x", &d));
    EXPECT_DOUBLE_EQ(1.5, d);
    EXPECT_EQ(0, KtUString::ReadCFloat("x1.5", &d));
    EXPECT_EQ(1, KtUWideString::ReadLocalizedFloat(u" 2.25 ", &d));
    EXPECT_DOUBLE_EQ(2.25, d);
    EXPECT_EQ(0, KtUString::ReadLocalizedFloat(nullptr, &d));
}

TEST_F(StringTest, RawBlocksAreExactSize) {
    char* copy = KtUString::AllocAndCopy("abcdefghi"); // 10 bytes: 12-byte arena
    EXPECT_EQ(12u, KtUMemory::GetArenaMemoryAllocated());
    KtUString::Dealloc(copy);
    char* part = KtUString::AllocAndCopy("abcdefghi", 3);
    EXPECT_STREQ("abc", part);
    KtUString::Dealloc(part);
    KtUWChar* wide = KtUWideString::AllocAndCopy(u"abc"); // 8 bytes
    EXPECT_EQ(8u, KtUMemory::GetArenaMemoryAllocated());
    KtUWideString::Dealloc(wide);
}

} // namespace

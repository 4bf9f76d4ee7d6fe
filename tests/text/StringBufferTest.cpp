//===- StringBufferTest.cpp - Buffers: sizes, editing, replace, format ----===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUStringBufferFormat.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "../foundation/FoundationTestUtil.h"
#include "../memory/MemoryTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class StringBufferTest : public ::testing::Test {
protected:
    void SetUp() override { KtUString::Initialise(); }
    void TearDown() override {
        EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated() + KtUMemory::GetMallocMemoryAllocated())
            << "a buffer leaked its block";
        KtUString::Terminate();
    }
};

TEST_F(StringBufferTest, AllocationFollowsBestBlockSizes) {
    KtUStringBuffer b;
    EXPECT_TRUE(b.IsNull());
    EXPECT_EQ(0, b.GetAllocationSize());
    b.SetString("x");
    EXPECT_EQ(4, b.GetAllocationSize());
    b.SetString("abcd"); // 5 bytes with the terminator
    EXPECT_EQ(8, b.GetAllocationSize());
    b.SetString("ab"); // shrinking keeps the block
    EXPECT_EQ(8, b.GetAllocationSize());
    b.Format("%s", std::string(300, 'y').c_str());
    EXPECT_EQ(300, b.GetLength());
    EXPECT_EQ(512, b.GetAllocationSize());
    b.Reserve(600);
    EXPECT_EQ(1016, b.GetAllocationSize());
    EXPECT_EQ(300, b.GetLength()); // text kept

    KtUWideStringBuffer w;
    w.SetEmptyString();
    EXPECT_EQ(2, w.GetAllocationSize()); // characters: a 4-byte block
    w.Format(u"%d", 7);
    EXPECT_EQ(128, w.GetAllocationSize()); // formatting starts at 256 bytes
    EXPECT_EQ(u"7", std::u16string(w.GetString()));
}

TEST_F(StringBufferTest, AppendGrowsAndKeepsTerminator) {
    KtUStringBuffer b;
    b.Append(static_cast<const char*>(nullptr));
    EXPECT_TRUE(b.IsNull());
    b.Append("");
    EXPECT_TRUE(b.IsNull());
    for (int i = 0; i < 100; ++i)
        b.Append(static_cast<char>('a' + i % 26));
    EXPECT_EQ(100, b.GetLength());
    EXPECT_EQ(128, b.GetAllocationSize());
    EXPECT_EQ('\0', b.GetString()[100]);
    b.Append(KtUString("!!"));
    b.Append(b); // appending itself
    EXPECT_EQ(204, b.GetLength());
    EXPECT_EQ('!', b[203]);
}

TEST_F(StringBufferTest, EditInPlace) {
    KtUStringBuffer b;
    b.Reserve(10);
    char* p = b.BeginEditBuffer();
    std::memcpy(p, "hello", 6);
    b.EndEditBuffer(-1);
    EXPECT_EQ(5, b.GetLength());
    b.EndEditBuffer(1000); // clamped to the last position that holds a NUL
    EXPECT_EQ(b.GetAllocationSize() - 1, b.GetLength());
    b.SetString("hello");
    b.SetAt(2, '\0');
    EXPECT_EQ(2, b.GetLength());
    KtUStringBuffer null_buffer;
    null_buffer.EndEditBuffer(5);
    EXPECT_EQ(0, null_buffer.GetLength());
}

TEST_F(StringBufferTest, ReplaceOnceOrAll) {
    KtUStringBuffer b("banana");
    EXPECT_EQ(1, b.Replace("a", "bb", 1));
    EXPECT_STREQ("bbbnbbnbb", b.GetString());
    b.SetString("banana");
    EXPECT_EQ(1, b.Replace("a", "bb", 0));
    EXPECT_STREQ("bbbnana", b.GetString());
    b.SetString("aaaa");
    EXPECT_EQ(1, b.Replace("aa", nullptr, 1));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_FALSE(b.IsNull());
    b.SetString("abc");
    EXPECT_EQ(0, b.Replace("x", "y", 1));
    EXPECT_EQ(0, b.Replace("", "y", 1));
    b.ReplaceSubString(1, 2, "XYZ");
    EXPECT_STREQ("aXYZc", b.GetString());
    KtUWideStringBuffer w(u"a-b-c");
    EXPECT_EQ(1, w.Replace(u"-", u"+-", 1));
    EXPECT_EQ(u"a+-b+-c", std::u16string(w.GetString()));
}

TEST_F(StringBufferTest, SubStringRanges) {
    KtUStringBuffer src("hello"), out("x");
    src.ExtractSubString(1, 4, &out);
    EXPECT_STREQ("ell", out.GetString());
    src.ExtractSubString(2, 2, &out);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(out.IsNull());
    KtUStringBuffer two("ab");
    two.ExtractSubString(0, 3, &out);
    EXPECT_TRUE(out.IsEmpty());
    src.ExtractSubString(1, 3, &src); // in place
    EXPECT_STREQ("el", src.GetString());
    EXPECT_EQ(2, src.GetLength());
    KtUStringBuffer null_source;
    null_source.ExtractSubString(0, 1, &out);
    EXPECT_TRUE(out.IsNull());
}

TEST_F(StringBufferTest, TrimsKeepMultiByteSequences) {
    KtUStringBuffer b("   ");
    b.TrimRightUTF8();
    EXPECT_TRUE(b.IsEmpty());
    b.SetString(" a\xC2\xA0");
    b.TrimUTF8();
    EXPECT_STREQ("a\xC2\xA0", b.GetString());
    b.SetString("\t x \n");
    b.TrimMBCS();
    EXPECT_STREQ("x", b.GetString());
    KtUWideStringBuffer w(u"  value;.; ");
    w.TrimLeft();
    w.TrimRight(u" ;.");
    EXPECT_EQ(u"value", std::u16string(w.GetString()));
}

TEST_F(StringBufferTest, EqualityComparesLengthsAndText) {
    KtUStringBuffer a("abc"), b("abc"), n;
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == "abc");
    EXPECT_FALSE(a == n);
    EXPECT_TRUE(n == static_cast<const char*>(nullptr));
    b.SetAt(1, '\0');
    EXPECT_FALSE(a == b);
}

TEST_F(StringBufferTest, NumberFormatting) {
    KtUStringBuffer b;
    b.FormatCFloat(1.5, 2, 6);
    EXPECT_STREQ("  1.50", b.GetString());
    b.FormatLocalizedFloat(0.0005, 2, 1);
    EXPECT_STREQ("0.0005", b.GetString());
    b.FormatLocalizedFloat(0.000123, 2, 1);
    EXPECT_STREQ("0.000123", b.GetString());
    b.FormatLocalizedFloat(0.0005, 2, 0);
    EXPECT_STREQ("0.00", b.GetString());
    b.FormatLocalizedFloat(12.5, 2, 1);
    EXPECT_STREQ("12.50", b.GetString());
    KtUWideStringBuffer w = KtUStringBufferFormat::FormatLocalizedFloat(-3.25, 1, 0);
    EXPECT_EQ(u"-3.2", std::u16string(w.GetString()));
    b.Format(static_cast<const char*>(nullptr));
    EXPECT_TRUE(b.IsNull());
}

// The post capture and log reader the foundation and memory tests use.
using ktutest::CapturePost;
using ktutest::g_posts;
using ktutest::LogText;

TEST_F(StringBufferTest, FormatStopsAtTheHundredMegabyteCap) {
    KtUSysError::SetHandler(CapturePost, KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    g_posts.clear();
    KtUStringBuffer b;
    b.Format("%150000000s", "x"); // refused before anything that large is allocated
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ("0:KtUStringBuffer::FormatV: vsnprintf requires too much memory, errno=0\n",
              g_posts[0]);
    EXPECT_LE(b.GetAllocationSize(), 512);
    KtUWideStringBuffer w;
    w.Format(u"%70000000s", u"x"); // 140 MB of UTF-16: past the wide cap
    ASSERT_EQ(2u, g_posts.size());
    EXPECT_EQ("0:KtUWideStringBuffer::FormatV: vsnwprintf requires too much memory, errno=0\n",
              g_posts[1]);
    // A text past INT_MAX is refused the same way, and is no EILSEQ.
    const size_t log_before = LogText().size();
    volatile int big = 2000000000; // not a constant: the compiler would warn
    const int width = big;
    b.Format("%*s%*s", width, "a", width, "b");
    ASSERT_EQ(3u, g_posts.size());
    EXPECT_EQ(std::string::npos, LogText().find("EILSEQ", log_before > 64 ? log_before - 64 : 0));
    // Below the cap a large text is formatted in one step.
    b.Format("%20000000s", "x");
    EXPECT_EQ(20000000, b.GetLength());
    EXPECT_EQ(3u, g_posts.size());
    KtUSysError::RemoveHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
}

TEST_F(StringBufferTest, NegativeReserveNeverWritesOutsideTheBlock) {
    KtUStringBuffer b;
    b.Reserve(-1); // a 0-byte request: an empty text
    EXPECT_EQ(4, b.GetAllocationSize());
    EXPECT_STREQ("", b.GetString());
    b.Reserve(-5); // a non-null buffer ignores it
    EXPECT_EQ(4, b.GetAllocationSize());
    KtUWideStringBuffer w;
    w.Reserve(-1);
    EXPECT_EQ(std::u16string(), w.GetString());
}

TEST(StringBufferDeathTest, NegativeReserveOnANullBufferIsABadSize) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            KtUString::Initialise();
            KtUStringBuffer b;
            b.Reserve(-4);
        },
        "");
}

TEST(StringBufferDeathTest, UseBeforeInitialiseSaysWhatToInitialise) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(KtUString("abc"), "before KtUMemory::Initialise");
}

} // namespace

//===- PathTest.cpp - Path arithmetic, file-name cleaning, search paths ---===//
#include "SystemTestUtil.h"

#include <unistd.h>

using namespace ktutest;

namespace {

class PathTest : public SysFileTest {};

std::string Push(const KtUWChar* dir, const KtUWChar* name) {
    KtUWideStringBuffer out;
    EXPECT_TRUE(KtUSysFile::PushPathW(dir, name, &out));
    return N(out);
}

std::pair<std::string, std::string> Pop(const KtUWChar* path, int expect) {
    KtUWideStringBuffer dir, name;
    EXPECT_EQ(expect, KtUSysFile::PopPathW(path, &dir, &name)) << N(path);
    return {N(dir), N(name)};
}

using Pair = std::pair<std::string, std::string>;

TEST_F(PathTest, JoinAndSplitOnEdgeForms) {
    EXPECT_EQ("a/b", Push(u"a/", u"b"));
    EXPECT_EQ("a/b", Push(u"a\\\\", u"\\b"));
    EXPECT_EQ("a/b/c", Push(u"a//b", u"c/"));
    EXPECT_EQ("b", Push(u"", u"b"));
    EXPECT_EQ("/x", Push(u"/", u"x"));

    EXPECT_EQ(Pair("a", "b"), Pop(u"a/b/", 1));
    EXPECT_EQ(Pair("a/b", "c"), Pop(u"a\\b\\\\c", 1));
    EXPECT_EQ(Pair("/", "a"), Pop(u"/a", 1));
    EXPECT_EQ(Pair("/", ""), Pop(u"//", 0));
    EXPECT_EQ(Pair("", ""), Pop(nullptr, 0));

    KtUWideStringBuffer dir, name;
    EXPECT_TRUE(KtUSysFile::SplitFilenameW(u"a\\b/c.txt", &dir, &name));
    EXPECT_EQ(Pair("a/b/", "c.txt"), Pair(N(dir), N(name)));
    EXPECT_TRUE(KtUSysFile::SplitFilenameW(u"/c", &dir, &name));
    EXPECT_EQ(Pair("/", "c"), Pair(N(dir), N(name)));
    EXPECT_TRUE(KtUSysFile::RemovePathnameW(u"x/y.z/", &name));
    EXPECT_EQ("y.z", N(name));
    EXPECT_FALSE(KtUSysFile::RemovePathnameW(u"/", &name));

    // The output may be the buffer whose text is the input.
    KtUWideStringBuffer buf(u"dir");
    KtUSysFile::PushPathW(buf.GetString(), u"file", &buf);
    EXPECT_EQ("dir/file", N(buf));

    EXPECT_TRUE(KtUSysFile::IsAbsoluteW(u"\\x"));
    EXPECT_FALSE(KtUSysFile::IsAbsoluteW(u"x/y"));
}

TEST_F(PathTest, ExtensionsUseTheLastDotOfTheLastComponent) {
    KtUWideStringBuffer out;
    EXPECT_TRUE(KtUSysFile::GetFileExtensionW(u"a.tar.gz", &out));
    EXPECT_EQ("gz", N(out));
    EXPECT_TRUE(KtUSysFile::RemoveFileExtensionW(u"d\\a.tar.gz", &out));
    EXPECT_EQ("d/a.tar", N(out));

    for (const KtUWChar* none : {u"dir.d/file", u".profile", u"x/..", u"noext"}) {
        EXPECT_FALSE(KtUSysFile::GetFileExtensionW(none, &out)) << N(none);
        EXPECT_TRUE(out.IsEmpty());
        EXPECT_FALSE(KtUSysFile::RemoveFileExtensionW(none, &out));
        EXPECT_EQ(N(none), N(out));
        EXPECT_TRUE(KtUSysFile::HasFileExtensionW(none, u""));
    }
    // A trailing dot is an empty extension: nothing to get, a dot to remove.
    EXPECT_FALSE(KtUSysFile::GetFileExtensionW(u"a.", &out));
    EXPECT_TRUE(KtUSysFile::RemoveFileExtensionW(u"a.", &out));
    EXPECT_EQ("a", N(out));

    EXPECT_TRUE(KtUSysFile::HasFileExtensionW(u"m.STEP", u"step"));
    EXPECT_FALSE(KtUSysFile::HasFileExtensionW(u"m.steps", u"step"));
    EXPECT_FALSE(KtUSysFile::HasFileExtensionW(u"m.step", u""));

    EXPECT_TRUE(KtUSysFile::AddFileExtensionW(u"a.b", u".txt", &out));
    EXPECT_EQ("a.b.txt", N(out));
    EXPECT_TRUE(KtUSysFile::AddFileExtensionW(u"a", u"", &out));
    EXPECT_EQ("a", N(out));
}

TEST_F(PathTest, AbsoluteAndRelativeResolveDots) {
    KtUWideStringBuffer out;
    EXPECT_TRUE(KtUSysFile::MakeAbsoluteW(u"/base", u"x/../y/./z/", &out));
    EXPECT_EQ("/base/y/z", N(out));
    EXPECT_TRUE(KtUSysFile::MakeAbsoluteW(u"/base", u"\\abs\\..", &out));
    EXPECT_EQ("/", N(out));
    EXPECT_TRUE(KtUSysFile::MakeAbsoluteW(u"/a/b", u"../../../..", &out));
    EXPECT_EQ("/", N(out));

    KtUWideStringBuffer cwd;
    ASSERT_TRUE(KtUSysFile::GetCurrentDirectoryW(&cwd));
    ASSERT_TRUE(KtUSysFile::SetCurrentDirectoryW(W(m_dir).c_str()));
    EXPECT_TRUE(KtUSysFile::MakeAbsoluteW(nullptr, u"f", &out));
    EXPECT_EQ(P("f"), N(out));
    EXPECT_TRUE(KtUSysFile::MakeAbsoluteW(u"sub", u"f", &out));
    EXPECT_EQ(P("sub/f"), N(out));
    EXPECT_TRUE(KtUSysFile::MakeRelativeW(u"sub", W(P("g")).c_str(), &out));
    EXPECT_EQ("../g", N(out));
    ASSERT_TRUE(KtUSysFile::SetCurrentDirectoryW(cwd.GetString()));

    EXPECT_TRUE(KtUSysFile::MakeRelativeW(u"/a/b", u"/a/c/d", &out));
    EXPECT_EQ("../c/d", N(out));
    EXPECT_TRUE(KtUSysFile::MakeRelativeW(u"/a/b/", u"\\a\\b", &out));
    EXPECT_EQ(".", N(out));
    EXPECT_TRUE(KtUSysFile::MakeRelativeW(u"/a/b", u"/a/b/c/./d", &out));
    EXPECT_EQ("c/d", N(out));
    EXPECT_TRUE(KtUSysFile::MakeRelativeW(u"/", u"/x", &out));
    EXPECT_EQ("x", N(out));
}

TEST_F(PathTest, MakeValidFilenameReplacesTheNineCharacters) {
    KtUWideStringBuffer out;
    EXPECT_NE(0, KtUSysFile::MakeValidFilenameW(u"a:b*c", &out));
    EXPECT_EQ("a_b_c", N(out));
    EXPECT_EQ(0, KtUSysFile::MakeValidFilenameW(u"abc", &out));
    EXPECT_EQ("abc", N(out));
    EXPECT_NE(0, KtUSysFile::MakeValidFilenameW(u"\\/:*?\"<>|.x", &out));
    EXPECT_EQ("_________.x", N(out));
}

TEST_F(PathTest, SearchPathsInPushOrderThenCurrentDirectory) {
    ASSERT_TRUE(KtUSysFile::CreateDirW(WP("one").c_str()));
    ASSERT_TRUE(KtUSysFile::CreateDirW(WP("two").c_str()));
    WriteFile(P("two/f.txt"), "2");
    WriteFile(P("one/g.txt"), "1");
    WriteFile(P("two/g.txt"), "2");
    EXPECT_TRUE(KtUSysFile::PushSearchPathW(WP("one").c_str()));
    EXPECT_TRUE(KtUSysFile::PushSearchPathW(WP("two\\").c_str()));

    KtUWideStringBuffer out;
    EXPECT_TRUE(KtUSysFile::SearchPathW(u"f.txt", &out));
    EXPECT_EQ(P("two/f.txt"), N(out));
    EXPECT_TRUE(KtUSysFile::SearchPathW(u"g.txt", &out));
    EXPECT_EQ(P("one/g.txt"), N(out));
    EXPECT_TRUE(KtUSysFile::SearchPathW(WP("two/g.txt").c_str(), &out));
    EXPECT_FALSE(KtUSysFile::SearchPathW(u"missing.txt", &out));
    EXPECT_TRUE(out.IsEmpty());
}

} // namespace

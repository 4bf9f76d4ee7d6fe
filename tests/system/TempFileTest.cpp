//===- TempFileTest.cpp - Temporary names and files, process queries -----===//
#include "SystemTestUtil.h"

#include <chrono>
#include <dlfcn.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ktutest;

namespace {

class TempFileTest : public SysFileTest {};

TEST_F(TempFileTest, TempDirFollowsOverrideThenTmpdir) {
    KtUWideStringBuffer out;
    ASSERT_TRUE(KtUSysFile::GetTempDir(&out));
    EXPECT_EQ(m_dir, N(out));
    EXPECT_EQ(m_dir, N(KtUSysFile::GetOverrideTempDir()));

    // A missing override falls back to $TMPDIR.
    const char* saved = std::getenv("TMPDIR");
    std::string saved_value = saved ? saved : "";
    ::mkdir(P("env").c_str(), 0700);
    ::setenv("TMPDIR", (P("env") + "/").c_str(), 1);
    EXPECT_TRUE(KtUSysFile::SetOverrideTempDir(WP("later").c_str(), 0) == 0);
    EXPECT_TRUE(KtUSysFile::GetTempDir(&out));
    EXPECT_EQ(P("env"), N(out));
    ::setenv("TMPDIR", P("gone").c_str(), 1);
    EXPECT_FALSE(KtUSysFile::GetTempDir(&out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(KtUSysFile::MakeTempFileNameW(nullptr, u"p", u"tmp", &out));
    if (saved)
        ::setenv("TMPDIR", saved_value.c_str(), 1);
    else
        ::unsetenv("TMPDIR");

    EXPECT_TRUE(KtUSysFile::SetOverrideTempDir(WP("later").c_str(), 1));
    EXPECT_TRUE(KtUSysFile::GetTempDir(&out));
    EXPECT_EQ(P("later"), N(out));
}

TEST_F(TempFileTest, NamesFollowTheFormatAndDoNotExist) {
    KtUWideStringBuffer out;
    ASSERT_TRUE(KtUSysFile::MakeTempFileNameW(nullptr, u"pre", u"tmp", &out));
    std::string pid = std::to_string(::getpid());
    EXPECT_TRUE(std::regex_match(N(out), std::regex(m_dir + "/pre_" + pid +
                                                    "_[ 0-9a-f]{3}[0-9a-f][ 0-9a-f]{3}[0-9a-f]"
                                                    "\\.tmp")))
        << N(out);
    EXPECT_FALSE(KtUSysFile::ExistsW(out.GetString()));
    ASSERT_TRUE(KtUSysFile::MakeTempFileNameW(WP("").c_str(), u"q", nullptr, &out));
    EXPECT_TRUE(std::regex_match(N(out), std::regex(m_dir + "/q_" + pid + "_[ 0-9a-f]{8}")));

    EXPECT_FALSE(KtUSysFile::MakeTempFileNameW(nullptr, nullptr, u"tmp", &out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(KtUSysFile::MakeTempFileNameW(WP("missing").c_str(), u"p", u"tmp", &out));
}

TEST_F(TempFileTest, FilesAreCreatedWithTheirSizeAndUniqueAcrossThreads) {
    KtUWideStringBuffer out;
    ASSERT_TRUE(KtUSysFile::MakeTempFileW(nullptr, u"big", u"bin", 12345, &out));
    KtUNat64 size = 0;
    ASSERT_TRUE(KtUSysFile::Stat(out.GetString(), nullptr, &size));
    EXPECT_EQ(12345u, size);
    ASSERT_TRUE(KtUSysFile::MakeTempFileW(nullptr, u"big", u"bin", 0, &out));
    ASSERT_TRUE(KtUSysFile::Stat(out.GetString(), nullptr, &size));
    EXPECT_EQ(0u, size);

    // Each file is created exclusively, so every call must return a new name.
    ASSERT_TRUE(KtUSysFile::CreateDirW(WP("many").c_str()));
    constexpr int kPerThread = 500;
    std::vector<std::string> names[2];
    auto worker = [&](std::vector<std::string>* mine) {
        KtUWideStringBuffer path;
        for (int i = 0; i < kPerThread; ++i) {
            if (KtUSysFile::MakeTempFileW(WP("many").c_str(), u"t", u"tmp", 0, &path))
                mine->push_back(N(path));
        }
    };
    std::thread a(worker, &names[0]), b(worker, &names[1]);
    a.join();
    b.join();
    std::set<std::string> all(names[0].begin(), names[0].end());
    all.insert(names[1].begin(), names[1].end());
    EXPECT_EQ(2u * kPerThread, names[0].size() + names[1].size());
    EXPECT_EQ(2u * kPerThread, all.size());
    for (const std::string& name : all)
        ASSERT_TRUE(KtUSysFile::ExistsW(W(name).c_str())) << name;
}

TEST_F(TempFileTest, AutoDeleteDirectoryIsCleanedRecursively) {
    KtUWideStringBuffer out;
    ASSERT_TRUE(
        KtUSysFile::MakeTempFileW(KtUSysFile::GetAutoDeleteDirKey(), u"a", u"tmp", 10, &out));
    std::string auto_dir = P("Veltracore_AutoDelete");
    EXPECT_EQ(0u, N(out).rfind(auto_dir + "/a_", 0)) << N(out);
    ASSERT_TRUE(KtUSysFile::CreateDirW(W(auto_dir + "/x/y").c_str()));
    WriteFile(auto_dir + "/x/f", "f");
    WriteFile(auto_dir + "/x/y/g", "g");
    ASSERT_EQ(0, ::symlink(m_dir.c_str(), (auto_dir + "/x/link").c_str()));
    WriteFile(P("outside"), "kept");

    EXPECT_TRUE(KtUSysFile::CleanAutoDeleteDir());
    EXPECT_FALSE(KtUSysFile::ExistsW(W(auto_dir).c_str()));
    EXPECT_EQ("kept", ReadFile(P("outside"))) << "a link was followed";
    EXPECT_TRUE(KtUSysFile::CleanAutoDeleteDir());
}

TEST_F(TempFileTest, ProcessQueries) {
    KtUWideStringBuffer exe, dir, module;
    ASSERT_TRUE(KtUSysFile::GetExecutablePathW(&exe));
    ASSERT_TRUE(KtUSysFile::GetExecutableDirW(&dir));
    EXPECT_EQ(N(dir) + "/ktu_system_tests", N(exe));
    ASSERT_TRUE(KtUSysFile::GetModuleFileNameW(nullptr, &module));
    EXPECT_EQ(N(exe), N(module));
    void* libc = ::dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(nullptr, libc);
    ASSERT_TRUE(KtUSysFile::GetModuleFileNameW(static_cast<KtUModuleHandle>(libc), &module));
    EXPECT_NE(std::string::npos, N(module).find("libc.so.6")) << N(module);
    ::dlclose(libc);

    KtUWideStringBuffer value;
    EXPECT_FALSE(KtUSysFile::SetEnvironmentVariableW(u"A=B", u"x"));
    utsname u;
    ASSERT_EQ(0, ::uname(&u));
    ASSERT_TRUE(KtUSysFile::GetOSDescription(&value));
    EXPECT_NE(std::string::npos, N(value).find(std::string(u.release) + " " + u.machine));
}

TEST_F(TempFileTest, RunExecutableQuotesArgumentsAndReportsStatus) {
    std::string out = P("args.txt");
    std::u16string cmd = W("-c \"printf '%s|' \\\"$@\\\" > " + out + "\" sh \"a b\" c\\\"d");
    ASSERT_TRUE(KtUSysFile::RunExecutable(u"sh", cmd.c_str(), 1));
    EXPECT_EQ("a b|c\"d|", ReadFile(out));
    EXPECT_FALSE(KtUSysFile::RunExecutable(u"/bin/sh", u"-c \"exit 3\"", 1));
    EXPECT_FALSE(KtUSysFile::RunExecutable(WP("missing").c_str(), nullptr, 1));
    EXPECT_FALSE(KtUSysFile::RunExecutable(WP("missing").c_str(), nullptr, 0));
    EXPECT_FALSE(KtUSysFile::RunExecutable(nullptr, nullptr, 0));

    // Not waiting: the program still runs to its end.
    std::string flag = P("flag");
    ASSERT_TRUE(KtUSysFile::RunExecutable(u"/bin/sh", W("-c \"touch " + flag + "\"").c_str(), 0));
    for (int i = 0; i < 500 && !KtUSysFile::ExistsW(W(flag).c_str()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(KtUSysFile::ExistsW(W(flag).c_str()));
}

} // namespace

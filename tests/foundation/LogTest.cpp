//===- LogTest.cpp - The process log buffer, log file and console ---------===//
#include "FoundationTestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

using ktutest::LogPieces;
using ktutest::LogText;
using ktutest::Wide;

namespace {

constexpr size_t kHalf = 0x80000;

// Directories made by TempDir, removed when each test ends.
std::vector<std::string> g_temp_dirs;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUSysError::Initialise();
        KtUSysError::ClearLogBuffer();
    }
    void TearDown() override {
        KtUSysError::SetLogFileEnable(0);
        KtUSysError::SetLogFile(nullptr);
        KtUSysError::SetLogDir(nullptr);
        KtUSysError::ClearLogBuffer();
        KtUSysError::Terminate();
        for (const std::string& dir : g_temp_dirs)
            std::filesystem::remove_all(dir);
        g_temp_dirs.clear();
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A fresh directory, removed again when the test ends.
std::string TempDir() {
    char tmpl[] = "/tmp/ktu-log-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) return "/tmp";
    g_temp_dirs.push_back(dir);
    return dir;
}

// A line of `len` bytes, ending in '\n', tagged with its number.
std::string Line(int n, size_t len) {
    std::string s = std::to_string(n) + ":";
    s.resize(len - 1, 'x');
    return s + "\n";
}

TEST_F(LogTest, NullTextIsLoggedAsNullMarker) {
    KtUSysError::LogUTF8String(nullptr);
    EXPECT_EQ("(null)", LogText());
}

TEST_F(LogTest, TextOfHalfBufferSizeIsRefused) {
    static std::u16string posted;
    KtUSysError::SetHandler(
        [](KtUSysError::Severity, KtUComponent* c, int, void*, const KtUWChar* m) {
            posted = std::u16string(m) + u"/" + Wide(c->GetName());
            return 1;
        },
        KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
    std::string text(kHalf, 'a');
    KtUSysError::LogUTF8String(text.c_str());
    EXPECT_EQ(u"Too long to log/KtUSysError", posted);
    EXPECT_EQ(std::string::npos, LogText().find("aaaa"));
    KtUSysError::RemoveHandler(KtUSysError::eERROR, (KtUComponent*)nullptr, -1);

    KtUSysError::ClearLogBuffer();
    text.resize(kHalf - 1); // 0x7FFFF bytes fit exactly in the head half
    KtUSysError::LogUTF8String(text.c_str());
    std::vector<std::string> pieces = LogPieces();
    ASSERT_EQ(1u, pieces.size());
    EXPECT_TRUE(text == pieces[0]);
}

TEST_F(LogTest, HeadIsKeptAndRingWrapsWithMarker) {
    // Lines of 100000 bytes: five fill the head half (500000 < 524288), the
    // sixth moves to the ring, which holds five before wrapping.
    const size_t len = 100000;
    std::string expected_head;
    for (int i = 0; i < 5; ++i) {
        KtUSysError::LogUTF8String(Line(i, len).c_str());
        expected_head += Line(i, len);
    }
    KtUSysError::LogUTF8String(Line(5, len).c_str());
    EXPECT_EQ((std::vector<std::string>{expected_head, Line(5, len)}), LogPieces());

    for (int i = 6; i < 10; ++i)
        KtUSysError::LogUTF8String(Line(i, len).c_str());
    // Ring holds 5..9; line 10 wraps to the ring start.
    KtUSysError::LogUTF8String(Line(10, len).c_str());
    std::vector<std::string> pieces = LogPieces();
    ASSERT_EQ(4u, pieces.size());
    EXPECT_EQ(expected_head, pieces[0]);
    EXPECT_EQ(".\n.\n.\n.\n.\n", pieces[1]);
    // The older text starts one byte into the overwritten line 5 (its first
    // byte is the NUL after line 10) and runs to the end of the old pass.
    EXPECT_EQ(4 * len - 1, pieces[2].size());
    EXPECT_EQ(Line(6, len).substr(1), pieces[2].substr(0, len - 1));
    EXPECT_EQ(Line(9, len), pieces[2].substr(3 * len - 1));
    EXPECT_EQ(Line(10, len), pieces[3]);

    KtUSysError::ClearLogBuffer();
    EXPECT_TRUE(LogPieces().empty());
}

TEST_F(LogTest, LogFileGetsWholeBufferThenMirrorsAndReopensOnRename) {
    std::string dir = TempDir();
    KtUSysError::LogUTF8String("before\n");
    std::string first = dir + "/first.txt";
    KtUSysError::SetLogFile(Wide(first).c_str());
    KtUSysError::SetLogFileEnable(1);
    EXPECT_EQ(1, KtUSysError::IsLogFileEnable());
    KtUSysError::LogUTF8String("after\n");
    EXPECT_EQ("before\nafter\n", ReadFile(first));

    std::string second = dir + "/second.txt";
    KtUSysError::SetLogFile(Wide(second).c_str());
    KtUSysError::LogUTF8String("renamed\n");
    EXPECT_EQ("before\nafter\n", ReadFile(first));
    EXPECT_EQ("before\nafter\nrenamed\n", ReadFile(second));
    EXPECT_EQ(Wide(second), KtUSysError::GetLogFile());
    KtUSysError::SetLogFileEnable(0);
    KtUSysError::LogUTF8String("off\n");
    EXPECT_EQ("before\nafter\nrenamed\n", ReadFile(second));
}

TEST_F(LogTest, LogDirectoryUsesRunName) {
    std::string dir = TempDir();
    KtUSysError::SetLogDir(Wide(dir).c_str());
    KtUSysError::SetLogFileEnable(1);
    KtUSysError::SetLogFileEnable(0);
    // "<exe name up to its first '.'><pid>_<tick>.txt"
    std::string prefix = "ktu_foundation_tests" + std::to_string(getpid()) + "_";
    std::string cmd = "ls " + dir;
    FILE* ls = popen(cmd.c_str(), "r");
    char name[512] = {};
    ASSERT_NE(nullptr, fgets(name, sizeof name, ls));
    pclose(ls);
    EXPECT_EQ(0, std::string(name).rfind(prefix, 0)) << name;
    EXPECT_NE(std::string::npos, std::string(name).find(".txt"));
}

TEST_F(LogTest, UnopenableLogFilePostsAndKeepsFlag) {
    static std::u16string posted;
    KtUSysError::SetHandler(
        [](KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar* m) {
            posted = m;
            return 1;
        },
        KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
    KtUSysError::SetLogFile(u"/nonexistent-dir/x.txt");
    KtUSysError::SetLogFileEnable(1);
    EXPECT_EQ(u"Can't open log file \"/nonexistent-dir/x.txt\"", posted);
    EXPECT_EQ(1, KtUSysError::IsLogFileEnable());
    KtUSysError::LogUTF8String("still logged");
    EXPECT_NE(std::string::npos, LogText().find("still logged"));
    KtUSysError::RemoveHandler(KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
}

TEST_F(LogTest, ConcurrentLoggingAndPostingKeepEveryLineWhole) {
    static std::atomic<int> handled{0};
    handled = 0;
    KtUSysError::SetHandler(
        [](KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
            ++handled;
            return 1;
        },
        KtUSysError::eWARNING, (KtUComponent*)nullptr, -1);
    constexpr int kThreads = 4, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            std::string line = "thread " + std::to_string(t) + " line\n";
            for (int i = 0; i < kLines; ++i) {
                KtUSysError::LogUTF8String(line.c_str());
                KtUSysError::PostWideString(KtUSysError::eWARNING, nullptr, u"w");
            }
        });
    for (auto& th : threads)
        th.join();
    KtUSysError::RemoveHandler(KtUSysError::eWARNING, (KtUComponent*)nullptr, -1);
    EXPECT_EQ(kThreads * kLines, handled.load());
    std::string log = LogText();
    for (int t = 0; t < kThreads; ++t) {
        std::string line = "thread " + std::to_string(t) + " line\n";
        size_t count = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
            ++count;
        EXPECT_EQ(size_t(kLines), count);
    }
}

TEST_F(LogTest, TraceSettings) {
    EXPECT_FALSE(KtUSysError::ShouldTrace(1));
    KtUSysError::SetTraceEnable(1);
    EXPECT_TRUE(KtUSysError::ShouldTrace(1));
    EXPECT_FALSE(KtUSysError::ShouldTrace(2));
    KtUSysError::SetTraceLevel(3);
    EXPECT_TRUE(KtUSysError::ShouldTrace(3));
    KtUSysError::SetTraceEnable(0);
    KtUSysError::SetTraceLevel(1);
}

} // namespace

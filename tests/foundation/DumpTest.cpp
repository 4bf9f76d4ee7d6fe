//===- DumpTest.cpp - Fatal paths, crash dumps and exits ------------------===//
//
// Each fatal path runs in a child process (death tests); the parent then reads
// the dump the child left behind.
//
//===----------------------------------------------------------------------===//
#include "FoundationTestUtil.h"

#include <ktutil/KtUSysThread.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <unistd.h>

using ktutest::Wide;

namespace {

class DumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = "/tmp/ktu-dump-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dmp";
        wpath = Wide(path);
        unlink(path.c_str());
    }
    void TearDown() override { unlink(path.c_str()); }

    // ReadDump's whole text, and its result.
    int Read(std::string* text) {
        return KtUSysError::ReadDump(
            wpath.c_str(),
            [](const char* piece, void* data) { static_cast<std::string*>(data)->append(piece); },
            text);
    }

    std::string path;
    std::u16string wpath;
};

void ArmDump(const std::u16string& path) {
    KtUSysError::Initialise();
    KtUSysError::SetDumpOnUnhandledException(path.c_str(), 1, 0, nullptr, nullptr, nullptr);
    KtUSysError::LogUTF8String("child: armed\n");
}

TEST_F(DumpTest, UnhandledErrorWritesReadableDumpAndExitsWithOne) {
    EXPECT_EXIT(
        {
            ArmDump(wpath);
            KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"fatal post");
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    ASSERT_EQ(1, Read(&text));
    EXPECT_NE(std::string::npos, text.find("Linux")) << text;
    size_t part = text.find("\n\nLog Part 1\n");
    ASSERT_NE(std::string::npos, part);
    EXPECT_NE(std::string::npos, text.find("child: armed\n", part));
    EXPECT_NE(std::string::npos,
              text.find("KtUSysError::PostFixed: \"fatal post\"\nKtUSysError: No handler for "
                        "error\n",
                        part));
    EXPECT_EQ(std::string::npos, text.find("Log Part 2"));
}

TEST_F(DumpTest, PreconditionAndAssertAreFatalToo) {
    for (auto severity : {KtUSysError::ePRECONDITION, KtUSysError::eASSERT}) {
        EXPECT_EXIT(
            {
                ArmDump(wpath);
                KtUSysError::PostWideString(severity, nullptr, u"x");
            },
            ::testing::ExitedWithCode(1), "");
        std::string text;
        EXPECT_EQ(1, Read(&text));
        unlink(path.c_str());
    }
}

TEST_F(DumpTest, RealSegmentationFaultLeavesDump) {
    EXPECT_EXIT(
        {
            ArmDump(wpath);
            volatile int* volatile bad = nullptr;
            *bad = 1;
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    EXPECT_EQ(1, Read(&text));
    EXPECT_NE(std::string::npos, text.find("child: armed")) << text;
}

TEST_F(DumpTest, RingTextGoesIntoFurtherLogParts) {
    EXPECT_EXIT(
        {
            ArmDump(wpath);
            std::string line(100000, 'r');
            line += "\n";
            for (int i = 0; i < 12; ++i) // head fills, ring wraps once
                KtUSysError::LogUTF8String(line.c_str());
            KtUSysError::LogUTF8String("last words\n");
            KtUSysError::Abort();
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    ASSERT_EQ(1, Read(&text));
    EXPECT_NE(std::string::npos, text.find("Log Part 2"));
    size_t part3 = text.find("Log Part 3");
    ASSERT_NE(std::string::npos, part3);
    EXPECT_NE(std::string::npos, text.find("last words\n", part3));
}

TEST_F(DumpTest, UnitTestConfigurationExitsWithFourAfterCrashDump) {
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::ConfigureForUnitTests(wpath.c_str());
            volatile int* volatile bad = nullptr;
            *bad = 3;
        },
        ::testing::ExitedWithCode(4), "");
    std::string text;
    EXPECT_EQ(1, Read(&text));
    // An unhandled post dumps as WriteDump does, without the hooks: code 1.
    unlink(path.c_str());
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::ConfigureForUnitTests(wpath.c_str());
            KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"x");
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(1, Read(&text));
}

volatile int g_depth_limit = 1 << 30; // never reached: the stack runs out first

int Recurse(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return depth < g_depth_limit ? Recurse(depth + 1) + frame[0] : 0;
}

// Threads do not inherit an alternate signal stack; without one of its own,
// a thread whose stack overflows dies before the crash handler can run.
TEST_F(DumpTest, StackOverflowOnALibraryThreadStillDumps) {
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::ConfigureForUnitTests(wpath.c_str());
            KtUSysThread thread;
            thread.Create([](void*) { Recurse(0); }, nullptr, 0);
            thread.WaitForCompletion();
        },
        ::testing::ExitedWithCode(4), "");
    std::string text;
    EXPECT_EQ(1, Read(&text));
}

TEST_F(DumpTest, RefusingBeforeHookLetsTheFaultContinue) {
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            signal(SIGSEGV, SIG_DFL); // the disposition the fault must continue to
            KtUSysError::SetDumpOnUnhandledException(
                wpath.c_str(), 1, 0, [](const KtUWChar*) { return 0; }, nullptr, nullptr);
            raise(SIGSEGV);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_NE(0, access(path.c_str(), F_OK));
}

TEST_F(DumpTest, WriteDumpWithoutLogHasNoLogPart) {
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::WriteDump(wpath.c_str(), 0, 0);
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    EXPECT_EQ(0, Read(&text));
    EXPECT_EQ(std::string::npos, text.find("Log Part"));
    EXPECT_NE(std::string::npos, text.find("Linux")) << text;
}

TEST_F(DumpTest, AbortOnExceptionDumpsAndExits) {
    EXPECT_EXIT(
        {
            ArmDump(wpath);
            KtUSysError::AbortOnException(
                [](void*) {
                    volatile int* volatile bad = nullptr;
                    *bad = 2;
                },
                nullptr);
        },
        ::testing::ExitedWithCode(1), "");
    std::string text;
    EXPECT_EQ(1, Read(&text));
    // Without a dump path the guard still ends the process with code 1.
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::AbortOnException([](void*) { raise(SIGFPE); }, nullptr);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(DumpTest, ExitHooksRunInOrder) {
    EXPECT_EXIT(
        {
            KtUSysError::SetForceExitCB([] { (void)!write(2, "exit-hook ", 10); });
            KtUSysError::SetForceCleanExitCB([] {
                (void)!write(2, "clean-hook ", 11);
                throw 1; // dropped
            });
            KtUSysError::ForceCleanExit(7);
        },
        ::testing::ExitedWithCode(7), "clean-hook exit-hook");
}

TEST_F(DumpTest, MissingOrForeignFileReadsAsNothing) {
    std::string text;
    EXPECT_EQ(0, Read(&text));
    FILE* f = fopen(path.c_str(), "w");
    fputs("not a dump at all, just some text that is long enough", f);
    fclose(f);
    EXPECT_EQ(0, Read(&text));
    EXPECT_EQ("", text);
}

} // namespace

//===- ErrorTest.cpp - The KtUError front-end -----------------------------===//
#include "FoundationTestUtil.h"

#include <ktutil/KtUError.h>
#include <ktutil/KtUErrorLogStream.h>
#include <ktutil/KtUErrorOverride.h>
#include <ktutil/KtUErrorPostStream.h>
#include <ktutil/KtUErrorTraceStream.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using ktutest::LogText;
using Sev = KtUSysError::Severity;

namespace {

std::vector<std::u16string> g_posts;

int Collect(Sev, KtUComponent*, int, void*, const KtUWChar* message) {
    g_posts.push_back(message ? message : u"<null>");
    return 1;
}

class ErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUError::Initialise();
        comp.Initialise("ErrComp", nullptr);
        g_posts.clear();
        KtUSysError::SetHandler(Collect, KtUSysError::eANY, &comp, -1);
        KtUSysError::ClearLogBuffer();
    }
    void TearDown() override {
        comp.Terminate();
        KtUError::Terminate();
        EXPECT_EQ(0, KtUMemory::IsInitialised()) << "KtUError left a dependency initialised";
    }
    KtUComponent comp;
};

TEST_F(ErrorTest, EveryPostIsLoggedAsOneLine) {
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, u"caf\u00e9");
    KtUSysError::PostWideString(KtUSysError::eERROR, &comp, 5, nullptr, u"with id");
    KtUSysError::PostWideString(KtUSysError::eINFO, &comp, u"note");
    KtUSysError::PostWideString(Sev(9), &comp, u"odd");
    KtUSysError::PostWideString(KtUSysError::eDEBUG, &comp, u"");
    EXPECT_EQ("eWARNING: ErrComp, \"caf\xC3\xA9\"\n"
              "eERROR: ErrComp id(5), data(0), \"with id\"\n"
              "ErrComp, \"note\"\n"
              "UKNOWN: ErrComp, \"odd\"\n"
              "eDEBUG: ErrComp, \"\"\n",
              LogText());
}

TEST_F(ErrorTest, PrintfPostsAreCutAt1999UnitsStreamsAreNot) {
    std::string long_text(3000, 'x');
    KtUError::Post(KtUSysError::eERROR, &comp, "%s", long_text.c_str());
    KtUError::Post(KtUSysError::eERROR, &comp, u"%d-%S-%s", 7, "narrow", u"wide");
    KtUError::Post(KtUSysError::eERROR, &comp) << long_text.c_str();
    ASSERT_EQ(3u, g_posts.size());
    EXPECT_EQ(1999u, g_posts[0].size());
    EXPECT_EQ(u"7-narrow-wide", g_posts[1]);
    EXPECT_EQ(3000u, g_posts[2].size());
}

TEST_F(ErrorTest, NarrowPostAndPostStreamAgreeOnUtf8InTheCLocale) {
    const char* name = "r\xC3\xA9sum\xC3\xA9.txt"; // the process is in the "C" locale
    KtUError::Post(KtUSysError::eWARNING, &comp, "Can't open \"%s\"", name);
    KtUError::Post(KtUSysError::eWARNING, &comp) << "Can't open \"" << name << "\"";
    ASSERT_EQ(2u, g_posts.size());
    EXPECT_EQ(u"Can't open \"r\u00E9sum\u00E9.txt\"", g_posts[0]);
    EXPECT_EQ(g_posts[0], g_posts[1]);
}

TEST_F(ErrorTest, PostStreamFormatsEachInsertedValue) {
    {
        KtUErrorPostStream s = KtUError::Post(KtUSysError::eWARNING, &comp, 3, nullptr);
        s << u"w" << "-\xC3\xA9-" << true << false << -5 << KtUInt64(-1234567890123LL)
          << KtUNat64(18446744073709551615ULL) << 2.5 << static_cast<unsigned char>(200)
          << static_cast<short>(-7) << KtUString("k") << static_cast<const char*>(nullptr)
          << reinterpret_cast<const void*>(0xABCDEF);
    }
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ(u"w-\u00e9-TRUEFALSE-5-123456789012318446744073709551615"
              u"2.5200-7kABCDEF",
              g_posts[0]);
}

TEST_F(ErrorTest, StreamPostsOncePerObjectAndAgainPerCopy) {
    {
        KtUErrorPostStream first(KtUSysError::eWARNING, &comp, -1, nullptr);
        first << "twice";
        KtUErrorPostStream copy(first);
        EXPECT_TRUE(g_posts.empty());
    }
    EXPECT_EQ((std::vector<std::u16string>{u"twice", u"twice"}), g_posts);
    g_posts.clear();
    { KtUErrorPostStream empty(KtUSysError::eWARNING, &comp, -1, nullptr); }
    EXPECT_EQ((std::vector<std::u16string>{u"<null>"}), g_posts);
}

TEST_F(ErrorTest, DefaultOverrideHandlesEverythingThenRestores) {
    static int global_calls;
    global_calls = 0;
    KtUSysError::SetHandler(
        [](Sev, KtUComponent*, int, void*, const KtUWChar*) {
            ++global_calls;
            return 1;
        },
        KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    auto previous = KtUSysError::GetHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    {
        KtUErrorOverride quiet;
        KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"swallowed");
        EXPECT_EQ(0, global_calls);
        EXPECT_NE(previous, KtUSysError::GetHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1));
    }
    EXPECT_EQ(previous, KtUSysError::GetHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1));
    KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"seen");
    EXPECT_EQ(1, global_calls);
    KtUSysError::RemoveHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    // By name, for one id: the id node stays, holding null, afterwards.
    {
        KtUErrorOverride one(Collect, KtUSysError::eWARNING, "ErrComp", 77);
        KtUSysError::PostWideString(KtUSysError::eDEBUG, &comp, 77, nullptr, u"id");
    }
    EXPECT_EQ(u"id", g_posts.back());
    EXPECT_EQ(nullptr, KtUSysError::GetHandler(KtUSysError::eWARNING, &comp, 77));
}

TEST_F(ErrorTest, FormattersAndFilter) {
    KtUWideStringBuffer out;
    EXPECT_EQ(1, KtUError::FormatError(KtUSysError::eASSERT, &comp, 4, nullptr,
                                       u"x > 0 at foo.cpp:12", &out));
    EXPECT_EQ(u"Handle Severity(eASSERT) component(ErrComp) id(4), data(0), msg(x > 0 at "
              u"foo.cpp:12)",
              std::u16string(out.GetString()));
    EXPECT_EQ(1, KtUError::FilterAndFormatError(KtUSysError::eASSERT, &comp, 4, nullptr,
                                                u"x > 0 at foo.cpp:12", &out));
    EXPECT_EQ(u"Handle Severity(eASSERT) component(ErrComp) id(4), data(0), msg(x > 0)",
              std::u16string(out.GetString()));
    KtUError::FilterAndFormatError(KtUSysError::eERROR, nullptr, -1, nullptr, u"a at b", &out);
    EXPECT_NE(std::u16string::npos, std::u16string(out.GetString()).find(u"msg(a at b)"));
    KtUError::FilterAndFormatError(KtUSysError::ePRECONDITION, nullptr, -1, nullptr, u" at b",
                                   &out); // " at " at the very start stays
    EXPECT_NE(std::u16string::npos, std::u16string(out.GetString()).find(u"msg( at b)"));
    EXPECT_EQ(0, KtUError::FormatError(KtUSysError::eWARNING, nullptr, -1, nullptr, u"", &out));
    EXPECT_EQ(0, KtUError::FormatError(KtUSysError::eDEBUG, nullptr, -1, nullptr, u"", &out));
    EXPECT_EQ(1, KtUError::FormatError(KtUSysError::eINFO, nullptr, -1, nullptr, u"", &out));
    EXPECT_NE(std::u16string::npos, std::u16string(out.GetString()).find(u"Severity(UNKNOWN)"));
}

TEST_F(ErrorTest, MessageBoxesAndFlagConversions) {
    EXPECT_EQ(0x2 | 0x40 | 0x4000, KtUError::ConvertMBFlagsToWin32(KtUError::MessageBoxButtons(0),
                                                                   KtUError::eMBI_INFORMATION, 0));
    EXPECT_EQ(0x5 | 0x10, KtUError::ConvertMBFlagsToWin32(KtUError::eMBB_RETRY_CANCEL,
                                                          KtUError::eMBI_ERROR, -1));
    EXPECT_EQ(0x3, KtUError::ConvertMBFlagsToWin32(KtUError::eMBB_YES_NO_CANCEL,
                                                   KtUError::MessageBoxIcon(9), -1));
    EXPECT_EQ(0, KtUError::ConvertMBFlagsToWin32(KtUError::MessageBoxButtons(7),
                                                 KtUError::eMBI_NONE, -1));
    const int codes[] = {1, 2, 3, 4, 5, 6, 7, 0};
    const KtUError::MessageBoxResult results[] = {
        KtUError::eMBR_OK,     KtUError::eMBR_CANCEL, KtUError::eMBR_ABORT, KtUError::eMBR_RETRY,
        KtUError::eMBR_IGNORE, KtUError::eMBR_YES,    KtUError::eMBR_NO,    KtUError::eMBR_ERROR};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(results[i], KtUError::ConvertWin32MBResult(codes[i]));

    // The default box answers with its first button.
    EXPECT_EQ(KtUError::eMBR_YES, KtUError::MessageBoxW(u"Save?", KtUError::eMBB_YES_NO_CANCEL,
                                                        KtUError::eMBI_QUESTION, -1));
    EXPECT_EQ(KtUError::eMBR_ABORT, KtUError::MessageBoxW(u"Oops", KtUError::MessageBoxButtons(0),
                                                          KtUError::eMBI_ERROR, -1));
    static std::u16string shown;
    KtUError::SetMessageBoxFuncWcs(
        [](const KtUWChar* text, KtUError::MessageBoxButtons, KtUError::MessageBoxIcon, int) {
            shown = text;
            return KtUError::eMBR_CANCEL;
        });
    KtUWideStringBuffer text(u"from a buffer");
    EXPECT_EQ(KtUError::eMBR_CANCEL,
              KtUError::MessageBoxW(text, KtUError::eMBB_OK, KtUError::eMBI_NONE, -1));
    EXPECT_EQ(u"from a buffer", shown);
    KtUError::DisableMessageBox();
    EXPECT_EQ(KtUError::eMBR_NONE,
              KtUError::MessageBoxW(u"hidden", KtUError::eMBB_OK, KtUError::eMBI_NONE, -1));
}

TEST_F(ErrorTest, LoggingAndTracing) {
    KtUError::LogInt64(-9000000000LL);
    KtUError::Log(" ");
    KtUError::LogNat64(9000000000ULL);
    KtUError::Log(" ");
    KtUError::LogPtr(reinterpret_cast<void*>(0x1234ABCD));
    KtUError::Log(u" %s|", u"wide");
    KtUError::LogFloat(0.25);
    KtUError::Log() << " n=" << 42 << "\n";
    EXPECT_EQ("-9000000000 9000000000 1234ABCD wide|0.25 n=42\n", LogText());
    KtUSysError::ClearLogBuffer();
    KtUError::LogPtr(reinterpret_cast<void*>(0x7F0012345678)); // all of a 64-bit address
    EXPECT_EQ("7F0012345678", LogText());

    KtUSysError::ClearLogBuffer();
    EXPECT_FALSE(KtUError::Trace(1, "hidden"));
    KtUSysError::SetTraceEnable(1);
    KtUSysError::SetTraceLevel(2);
    KtUSysError::SetTraceFlag(0x1 | 0x2);
    EXPECT_TRUE(KtUError::Trace(2, "t%d\n", 1));
    EXPECT_FALSE(KtUError::Trace(3, "too deep"));
    KtUError::Trace(3, "file.cpp", 12, "%s\n", "forced"); // no enable test
    KtUError::Trace(1) << "stream\n";
    KtUError::Trace(5) << "dropped\n";
    KtUSysError::SetTraceFlag(0x4 | 0x8);
    KtUError::TraceWideString(1, u"x\n");
    KtUSysError::SetTraceEnable(0);
    KtUSysError::SetTraceFlag(0);
    KtUSysError::SetTraceLevel(1);
    std::string log = LogText();
    EXPECT_EQ(0u, log.find("Trace:2:t1\nTrace:3:file.cpp:12:forced\nTrace:1:stream\nTrace:"));
    // Time (flag 0x8) comes before the thread id (flag 0x4).
    EXPECT_TRUE(std::regex_search(log, std::regex("\nTrace:\\d\\d-\\d\\d-\\d\\d:\\d+:x\n$")))
        << log;
    EXPECT_EQ(std::string::npos, log.find("dropped"));
}

TEST(ErrorDeathTest, UnhandledErrorNamesItsComponentOnStandardError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            KtUError::Initialise();
            KtUComponent comp;
            comp.Initialise("KtUDemo", nullptr);
            KtUError::Post(KtUSysError::eERROR, &comp, "disk %s is full", "D");
        },
        "ktutil: unhandled error from KtUDemo: disk D is full");
}

TEST(ErrorDeathTest, PrintAndExitHandlers) {
    KtUError::Initialise();
    EXPECT_EQ(1, KtUError::PrintAndExitErrorHandler(KtUSysError::eWARNING, nullptr, -1, nullptr,
                                                    u"just a warning"));
    EXPECT_EXIT(
        KtUError::PrintAndExitErrorHandler(KtUSysError::eERROR, nullptr, -1, nullptr, u"fatal"),
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(1, KtUError::PrintAndExitIgnoreWarningErrorHandler(KtUSysError::eWARNING, nullptr, -1,
                                                                 nullptr, u"quiet"));
    KtUError::Terminate();
}

} // namespace

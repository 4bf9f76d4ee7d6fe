//===- DispatchTest.cpp - Handler slots, dispatch order and depth rules ---===//
#include "FoundationTestUtil.h"

#include <gtest/gtest.h>

#include <string>

using Sev = KtUSysError::Severity;
using ktutest::LogText;

namespace {

// Each recorder appends its letter to the trace and returns its configured result.
std::string g_trace;
int g_result[8];

template <int N> int Recorder(Sev, KtUComponent*, int, void* data, const KtUWChar*) {
    EXPECT_EQ(nullptr, data); // posting never passes data on
    g_trace.push_back(static_cast<char>('a' + N));
    return g_result[N];
}

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUSysError::Initialise();
        comp.Initialise("DispatchComp", nullptr);
        g_trace.clear();
        for (int& r : g_result)
            r = 0;
        // a: component id 42, b: component eDEBUG, c: component any severity,
        // d: global eDEBUG/eWARNING/eINFO slots, e: global handler.
        KtUSysError::SetHandler(Recorder<0>, KtUSysError::eDEBUG, &comp, 42);
        KtUSysError::SetHandler(Recorder<1>, KtUSysError::eDEBUG, &comp, -1);
        KtUSysError::SetHandler(Recorder<1>, KtUSysError::eWARNING, &comp, -1);
        KtUSysError::SetHandler(Recorder<1>, KtUSysError::eINFO, &comp, -1);
        KtUSysError::SetHandler(Recorder<2>, KtUSysError::eANY, &comp, -1);
        for (Sev s : {KtUSysError::eDEBUG, KtUSysError::eWARNING, KtUSysError::eINFO})
            KtUSysError::SetHandler(Recorder<3>, s, (KtUComponent*)nullptr, -1);
        KtUSysError::SetHandler(Recorder<4>, KtUSysError::eANY, (KtUComponent*)nullptr, -1);
    }
    void TearDown() override {
        comp.Terminate();
        for (int s = 0; s < 6; ++s)
            KtUSysError::RemoveHandler(Sev(s), (KtUComponent*)nullptr, -1);
        KtUSysError::RemoveHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
        KtUSysError::Terminate();
    }
    KtUComponent comp;
};

TEST_F(DispatchTest, DecliningHandlersSeeEveryStepInOrder) {
    // Warning, no id: steps 1 and 2 are the same slot, so b is asked twice.
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, u"w");
    EXPECT_EQ("bbcde", g_trace);
}

TEST_F(DispatchTest, DebugWithIdReachesOnlyTheIdHandler) {
    KtUSysError::PostWideString(KtUSysError::eDEBUG, &comp, 42, nullptr, u"d");
    EXPECT_EQ("a", g_trace);
    g_trace.clear();
    // Data also selects the specific depth even without an id.
    int dummy;
    KtUSysError::PostWideString(KtUSysError::eDEBUG, &comp, -1, &dummy, u"d");
    EXPECT_EQ("b", g_trace);
}

TEST_F(DispatchTest, DebugWithoutIdAsksComponentDebugSlotTwiceOnly) {
    KtUSysError::PostWideString(KtUSysError::eDEBUG, &comp, u"d");
    EXPECT_EQ("bb", g_trace);
}

TEST_F(DispatchTest, InfoSkipsComponentAnySeveritySlot) {
    KtUSysError::PostWideString(KtUSysError::eINFO, &comp, u"i");
    EXPECT_EQ("bbde", g_trace);
}

TEST_F(DispatchTest, FirstAcceptingHandlerStopsDispatch) {
    g_result[2] = 1;
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, u"w");
    EXPECT_EQ("bbc", g_trace);
}

TEST_F(DispatchTest, WarningWithIdAsksIdSlotOrNothingThenFallsBack) {
    // Id 42 is registered (for all severities); id 7 is not.
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, 42, nullptr, u"w");
    EXPECT_EQ("abcde", g_trace);
    g_trace.clear();
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, 7, nullptr, u"w");
    EXPECT_EQ("bcde", g_trace);
}

TEST_F(DispatchTest, NoComponentPostsUseGlobalSlots) {
    KtUSysError::PostWideString(KtUSysError::eWARNING, nullptr, u"w");
    EXPECT_EQ("ddede", g_trace);
}

TEST_F(DispatchTest, UnhandledWarningIsLoggedAndDropped) {
    KtUSysError::ClearLogBuffer();
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, u"caf\u00e9 \u4e2d");
    EXPECT_EQ("KtUSysError::PostFixed: DispatchComp: \"caf? ?\"\n", LogText());
}

TEST_F(DispatchTest, FallbackLogLineCapsMessageAt1999Units) {
    KtUSysError::ClearLogBuffer();
    std::u16string long_message(2500, u'x');
    KtUSysError::PostWideString(KtUSysError::eWARNING, nullptr, long_message.c_str());
    std::string log = LogText();
    EXPECT_EQ(std::string("KtUSysError::PostFixed: \"") + std::string(1999, 'x') + "\"\n", log);
}

TEST_F(DispatchTest, LogPostCallbackReplacesTheLogLine) {
    static int calls;
    calls = 0;
    KtUSysError::SetLogPostWideStringCB(
        [](Sev, KtUComponent*, int id, void*, const KtUWChar*) { calls += id; });
    KtUSysError::ClearLogBuffer();
    KtUSysError::PostWideString(KtUSysError::eWARNING, &comp, 3, nullptr, u"w");
    KtUSysError::SetLogPostWideStringCB(nullptr);
    EXPECT_EQ(3, calls);
    EXPECT_EQ("", LogText());
}

TEST_F(DispatchTest, SetRemoveAndGetHandlerSlots) {
    // A new id node goes to the head; removing it unlinks it.
    KtUSysError::SetHandler(Recorder<5>, KtUSysError::eERROR, &comp, 9);
    EXPECT_EQ(&Recorder<5>, KtUSysError::GetHandler(KtUSysError::eWARNING, &comp, 9));
    EXPECT_EQ(&Recorder<0>, KtUSysError::GetHandler(KtUSysError::eERROR, &comp, 42));
    EXPECT_EQ(&Recorder<5>, KtUSysError::RemoveHandler(KtUSysError::eERROR, &comp, 9));
    EXPECT_EQ(nullptr, KtUSysError::GetHandler(KtUSysError::eERROR, &comp, 9));
    EXPECT_EQ(&Recorder<0>, KtUSysError::GetHandler(KtUSysError::eERROR, &comp, 42));
    // By name; an unknown name means the no-component slots.
    KtUSysError::SetHandler(Recorder<6>, KtUSysError::eASSERT, "DispatchComp", -1);
    EXPECT_EQ(&Recorder<6>, KtUSysError::GetHandler(KtUSysError::eASSERT, &comp, -1));
    KtUSysError::SetHandler(Recorder<6>, KtUSysError::eASSERT, "NoSuchComp", -1);
    EXPECT_EQ(&Recorder<6>,
              KtUSysError::GetHandler(KtUSysError::eASSERT, (KtUComponent*)nullptr, -1));
    // Terminating the component clears its slots and id nodes.
    comp.Terminate();
    EXPECT_EQ(nullptr, KtUSysError::GetHandler(KtUSysError::eDEBUG, &comp, 42));
    EXPECT_EQ(nullptr, KtUSysError::GetHandler(KtUSysError::eANY, &comp, -1));
    comp.Initialise("DispatchComp", nullptr);
}

TEST_F(DispatchTest, GlobalHandlerAdapterPassesUserData) {
    static void* seen;
    int token = 0;
    KtUSysError::SetGlobalHandler(
        [](Sev, KtUComponent*, int, const KtUWChar*, void* user) {
            seen = user;
            return 1;
        },
        &token);
    EXPECT_EQ(&token, KtUSysError::GetGlobalHandlerData());
    KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"e");
    EXPECT_EQ(&token, seen);
    KtUSysError::SetGlobalHandler(nullptr, nullptr);
}

TEST(DispatchDeathTest, UnhandledErrorWithoutDumpPathAborts) {
    EXPECT_EXIT(
        {
            KtUSysError::Initialise();
            KtUSysError::SetConsoleEnable(1);
            KtUSysError::PostWideString(KtUSysError::eERROR, nullptr, u"boom");
        },
        ::testing::KilledBySignal(SIGABRT), "No handler for error");
    for (int s : {2, 3, 9})
        EXPECT_EXIT(
            {
                KtUSysError::Initialise();
                KtUSysError::PostWideString(Sev(s), nullptr, u"fatal");
            },
            ::testing::KilledBySignal(SIGABRT), "");
}

TEST(DispatchDeathTest, UnhandledDebugAndInfoAreDropped) {
    KtUSysError::Initialise();
    KtUSysError::PostWideString(KtUSysError::eDEBUG, nullptr, u"d");
    KtUSysError::PostWideString(KtUSysError::eINFO, nullptr, u"i");
    KtUSysError::Terminate();
    SUCCEED(); // reaching here is the point: the process was not ended
}

} // namespace

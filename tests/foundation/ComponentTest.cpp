//===- ComponentTest.cpp - Component registration and nesting ------------===//
#include "FoundationTestUtil.h"

#include <ktutil/KtUError.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUVersion.h>

#include "foundation/component.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using ktutest::LogText;

namespace {

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUSysError::Initialise();
        KtUSysError::ClearLogBuffer();
    }
    void TearDown() override { KtUSysError::Terminate(); }
};

TEST_F(ComponentTest, NestedInitialiseAndTerminateLogOnce) {
    KtUComponent c;
    EXPECT_EQ(1, c.Initialise("CompA", "CompA.cpp 1.2"));
    EXPECT_EQ(0, c.Initialise("CompA", "CompA.cpp 1.2"));
    EXPECT_EQ(2, c.IsInitialised());
    EXPECT_EQ(&c, KtUSysError::FindComponent("CompA"));
    EXPECT_EQ(0, c.Terminate());
    EXPECT_EQ(1, c.Terminate());
    EXPECT_EQ(0, c.Terminate());
    EXPECT_EQ(nullptr, KtUSysError::FindComponent("CompA"));
    EXPECT_EQ("Init: CompA (CompA.cpp 1.2)\nTerm: CompA (CompA.cpp 1.2)\n", LogText());
}

TEST_F(ComponentTest, NullInfoLogsNameWithoutLineEnd) {
    KtUComponent c;
    c.Initialise("Bare", nullptr);
    c.Terminate();
    EXPECT_EQ("Init: BareTerm: Bare", LogText());
}

TEST_F(ComponentTest, ListKeepsOrderOfFirstInitialisationAndRelinks) {
    KtUComponent a, b, c;
    a.Initialise("A", nullptr);
    b.Initialise("B", nullptr);
    c.Initialise("C", nullptr);
    // The system component registered first in SetUp.
    KtUComponent* first = KtUSysError::GetFirstComponent();
    ASSERT_STREQ("KtUSysError", first->GetName());
    EXPECT_EQ(&a, first->GetNext());
    EXPECT_EQ(&c, KtUSysError::GetLastComponent());
    b.Terminate();
    EXPECT_EQ(&c, a.GetNext());
    EXPECT_EQ(&a, c.GetPrev());
    c.Terminate();
    EXPECT_EQ(&a, KtUSysError::GetLastComponent());
    EXPECT_EQ(nullptr, a.GetNext());
    a.Terminate();
}

TEST_F(ComponentTest, SystemTerminateReportsSurvivorsAndEmptiesList) {
    KtUComponent a;
    a.Initialise("Leftover", nullptr);
    KtUSysError::SetHandler(
        [](KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) { return 1; },
        KtUSysError::eERROR, &a, 7);
    KtUSysError::ClearLogBuffer();
    KtUSysError::Terminate();
    EXPECT_EQ(std::string("Term: KtUSysError (KtUSysError.cpp ") + KtUGetVersion() +
                  ")\n*** Component Leftoverstill initialised\n",
              LogText());
    EXPECT_EQ(nullptr, KtUSysError::GetFirstComponent());
    EXPECT_EQ(0, a.IsInitialised());
    EXPECT_EQ(nullptr, KtUSysError::GetHandler(KtUSysError::eERROR, &a, 7));
    KtUSysError::Initialise(); // for TearDown
}

TEST(ComponentDeathTest, DuplicateNameIsFatalWithoutHandler) {
    EXPECT_DEATH(
        {
            KtUSysError::Initialise();
            static KtUComponent first;
            static KtUComponent second;
            first.Initialise("Twin", nullptr);
            second.Initialise("Twin", nullptr);
        },
        "");
}

TEST_F(ComponentTest, DuplicateNameIsPostedFromNewComponentAndStillRegisters) {
    static std::u16string posted;
    static KtUComponent* poster;
    KtUSysError::SetHandler(
        [](KtUSysError::Severity, KtUComponent* component, int, void*, const KtUWChar* message) {
            posted = message;
            poster = component;
            return 1;
        },
        KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
    KtUComponent first, second;
    first.Initialise("Twin", nullptr);
    EXPECT_EQ(1, second.Initialise("Twin", nullptr));
    EXPECT_EQ(u"Component with name already registered.", posted);
    EXPECT_EQ(&second, poster);
    EXPECT_EQ(&second, KtUSysError::GetLastComponent());
    second.Terminate();
    first.Terminate();
    KtUSysError::RemoveHandler(KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
}

// --- Components declared through ktu::detail::ComponentDecl --------------------

namespace declared {

std::vector<std::string> g_calls;
bool g_keep = false; // whether TearDown declines
bool g_set_up = false;

struct First {
    static void Initialise() { g_calls.push_back("First+"); }
    static void Terminate() { g_calls.push_back("First-"); }
};
struct Second {
    static void Initialise() { g_calls.push_back("Second+"); }
    static void Terminate() { g_calls.push_back("Second-"); }
};

KtUComponent s_record;
constexpr ktu::detail::ComponentDecl kDecl{
    .component = s_record,
    .name = "Declared",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<First, Second>,
    .set_up =
        [] {
            g_set_up = true;
            g_calls.push_back("set_up");
        },
    .tear_down =
        [] {
            g_calls.push_back("tear_down");
            if (g_keep) return false;
            g_set_up = false;
            return true;
        },
    .still_set_up = [] { return g_set_up; },
};

} // namespace declared

TEST_F(ComponentTest, DeclaredNeedsComeFirstAndGoLastInReverse) {
    using namespace declared;
    g_calls.clear();
    EXPECT_TRUE(ktu::detail::InitialiseComponent(kDecl));
    EXPECT_FALSE(ktu::detail::InitialiseComponent(kDecl));
    EXPECT_FALSE(ktu::detail::TerminateComponent(kDecl));
    EXPECT_TRUE(ktu::detail::TerminateComponent(kDecl));
    EXPECT_EQ(
        (std::vector<std::string>{"First+", "Second+", "set_up", "tear_down", "Second-", "First-"}),
        g_calls);
    EXPECT_EQ(std::string("Init: Declared (ComponentTest.cpp ") + KtUGetVersion() +
                  ")\nTerm: Declared (ComponentTest.cpp " + KtUGetVersion() + ")\n",
              LogText());
}

TEST_F(ComponentTest, DeclinedTearDownKeepsNeedsForTheNextRegistration) {
    using namespace declared;
    g_calls.clear();
    g_keep = true;
    ktu::detail::InitialiseComponent(kDecl);
    EXPECT_TRUE(ktu::detail::TerminateComponent(kDecl));
    EXPECT_EQ(0, s_record.IsInitialised());
    // Registered again: the state and the hold on the needs are reused.
    EXPECT_TRUE(ktu::detail::InitialiseComponent(kDecl));
    g_keep = false;
    ktu::detail::TerminateComponent(kDecl);
    EXPECT_EQ((std::vector<std::string>{"First+", "Second+", "set_up", "tear_down", "tear_down",
                                        "Second-", "First-"}),
              g_calls);
}

// The library's own declarations: KtUError starts its needs before its
// session configuration and stops them in reverse after it.
TEST_F(ComponentTest, ErrorComponentsStartAndStopInDeclaredOrder) {
    ASSERT_EQ(0, KtUMemory::IsInitialised());
    KtUError::Initialise();
    KtUError::Terminate();
    std::string lines;
    std::istringstream log(LogText());
    for (std::string line; std::getline(log, line);)
        if (line.rfind("Init: ", 0) == 0 || line.rfind("Term: ", 0) == 0)
            lines += line.substr(0, line.find(" (")) + "\n";
    EXPECT_EQ("Init: KtUError\nInit: KtUString\nInit: KtUMemory\nInit: KtUSessionConfig\n"
              "Term: KtUError\nTerm: KtUSessionConfig\nTerm: KtUString\nTerm: KtUMemory\n",
              lines);
    EXPECT_NE(std::string::npos,
              LogText().find(std::string("Init: KtUSessionConfig (KtUError.cpp ") +
                             KtUGetVersion() + ")\n"));
}

} // namespace

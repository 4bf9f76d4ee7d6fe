//===- ComponentTest.cpp - Component registration and nesting ------------===//
#include "FoundationTestUtil.h"

#include <ktutil/KtUVersion.h>

#include <gtest/gtest.h>

#include <cstring>

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

} // namespace

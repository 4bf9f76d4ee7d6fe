//===- GuardTest.cpp - Scoped locale and floating-point guards ------------===//
#include <ktutil/KtUAutoCLocaleOverride.h>
#include <ktutil/KtUFPExceptionDisabler.h>
#include <ktutil/KtUFPExceptionModifier.h>
#include <ktutil/KtUString.h>

#include <gtest/gtest.h>

#include "TestLocale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#if KTU_HAS_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { KtUString::Initialise(); }
    void TearDown() override { KtUString::Terminate(); }
};

std::string Format(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

TEST_F(GuardTest, CLocaleHoldsForItsScopeOnly) {
    if (!ktu::test::BuildTestLocale("de_DE", "UTF-8"))
        GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 here";
#if KTU_HAS_ASAN
    __lsan::ScopedDisabler keep_locale_data; // glibc keeps the locale paths it loads
#endif
    const std::string before = setlocale(LC_NUMERIC, nullptr);
    {
        KtUAutoLocaleOverride german(KtUAutoLocaleOverride::eNUMERIC, "de_DE.UTF-8");
        EXPECT_EQ(Format(1.5), "1,5");
        EXPECT_EQ(std::string(german.GetSavedLocale()), before);
        {
            KtUAutoCLocaleOverride c_numbers(KtUAutoLocaleOverride::eNUMERIC);
            EXPECT_EQ(Format(1.5), "1.5");
        }
        EXPECT_EQ(Format(1.5), "1,5");
        {
            KtUAutoCLocaleOverride everything; // all categories
            EXPECT_EQ(Format(1.5), "1.5");
            EXPECT_STREQ(setlocale(LC_TIME, nullptr), "C");
        }
        EXPECT_EQ(Format(1.5), "1,5"); // the composite locale came back whole
        KtUAutoLocaleOverride missing(KtUAutoLocaleOverride::eNUMERIC, "xx_XX.UTF-8");
        EXPECT_EQ(Format(1.5), "1,5"); // not installed: unchanged
    }
    EXPECT_EQ(std::string(setlocale(LC_NUMERIC, nullptr)), before);
}

TEST_F(GuardTest, ExceptionMasksChangeForTheirScopeOnly) {
    const int mask = KtUFPExceptionDisabler::kMask;
    const int before = KtUFPExceptionDisabler::GetState();
    EXPECT_EQ(before & mask, mask); // the process default: everything masked
    {
        KtUFPExceptionModifier trap(0x8 | 0x10, KtUFPExceptionModifier::eTRAP);
        EXPECT_EQ(KtUFPExceptionDisabler::GetState() & mask, mask & ~(0x8 | 0x10));
        {
            KtUFPExceptionDisabler quiet;
            EXPECT_EQ(KtUFPExceptionDisabler::GetState() & mask, mask);
            volatile double zero = 0;
            volatile double r = 1 / zero; // masked: infinity, no trap
            EXPECT_GT(r, 1e308);
        }
        EXPECT_EQ(KtUFPExceptionDisabler::GetState() & mask, mask & ~(0x8 | 0x10));
        {
            KtUFPExceptionModifier nothing(0, KtUFPExceptionModifier::eMASK);
            EXPECT_EQ(KtUFPExceptionDisabler::GetState() & mask, mask & ~(0x8 | 0x10));
            KtUFPExceptionDisabler::ControlFP(mask, 0x4); // changed inside the scope...
        }
        // ...and the saved word restored at its end.
        EXPECT_EQ(KtUFPExceptionDisabler::GetState() & mask, mask & ~(0x8 | 0x10));
        EXPECT_EQ(KtUFPExceptionDisabler::ControlFP(0, 0), KtUFPExceptionDisabler::GetState());
    }
    EXPECT_EQ(KtUFPExceptionDisabler::GetState(), before);
}

// An unmasked exception really traps: a division by zero raises SIGFPE
// (which a sanitizer's own handler reports as "FPE" before it exits).
void DivideByZeroWithTheTrapOn() {
    KtUFPExceptionModifier trap(0x8, KtUFPExceptionModifier::eTRAP);
    volatile double zero = 0;
    volatile double r = 1 / zero;
    (void)r;
    std::exit(0);
}

TEST_F(GuardTest, UnmaskedDivisionByZeroTraps) {
#if KTU_HAS_ASAN || KTU_HAS_TSAN
    EXPECT_DEATH(DivideByZeroWithTheTrapOn(), "FPE");
#else
    EXPECT_EXIT(DivideByZeroWithTheTrapOn(), ::testing::KilledBySignal(SIGFPE), "");
#endif
}

} // namespace

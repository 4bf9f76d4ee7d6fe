//===- ValidatorTest.cpp - Ranges, refusals and composites of validators --===//
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUOptAlwaysDisabled.h>
#include <ktutil/KtUOptCompositeValidator.h>
#include <ktutil/KtUOptFloatRangeValidator.h>
#include <ktutil/KtUOptInt32RangeValidator.h>
#include <ktutil/KtUOptNonemptyStringValidator.h>
#include <ktutil/KtUOptSwigValidator.h>
#include <ktutil/KtUOptionValidator.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

class ValidatorTest : public ::testing::Test {
protected:
    void SetUp() override { KtUData::Initialise(); }
    void TearDown() override { KtUData::Terminate(); }
    static int Valid(KtUOptionValidator& v, const KtUData& value) {
        return v.IsValidValue(nullptr, 0, value, nullptr);
    }
};

// Counts how often it is asked, to show where a composite stops.
class Probe : public KtUOptionValidator {
public:
    Probe(int disabled, int range, int valid)
        : m_disabled(disabled), m_range(range), m_valid(valid) {}
    int IsDisabled(KtUOptionSet*, int, KtUData*) override { return ++asked, m_disabled; }
    int GetRange(KtUOptionSet*, int, KtUData* min, KtUData*) override {
        ++asked;
        if (m_range && min) min->SetInt32(m_range);
        return m_range;
    }
    int IsValidValue(KtUOptionSet*, int, const KtUData&, KtUWideStringBuffer*) override {
        return ++asked, m_valid;
    }
    int asked = 0;

private:
    int m_disabled, m_range, m_valid;
};

TEST_F(ValidatorTest, FloatRangeTakesEveryFloatKindInclusive) {
    KtUOptFloatRangeValidator unit(0.0, 1.0);
    for (double v : {0.0, 0.5, 1.0}) {
        EXPECT_TRUE(Valid(unit, KtUData::FromFloat(v))) << v;
        EXPECT_TRUE(Valid(unit, KtUData::FromLinearFloat(v))) << v;
        EXPECT_TRUE(Valid(unit, KtUData::FromVolumeFloat(v))) << v;
    }
    EXPECT_FALSE(Valid(unit, KtUData::FromFloat(1.0000000001)));
    EXPECT_FALSE(Valid(unit, KtUData::FromFloat(-0.1)));
    EXPECT_FALSE(Valid(unit, KtUData::FromFloat(std::nan(""))));
    EXPECT_FALSE(Valid(unit, KtUData(1)));
    EXPECT_FALSE(Valid(unit, KtUData(true)));
    KtUData min(7), max;
    EXPECT_TRUE(unit.GetRange(nullptr, 0, &min, &max));
    EXPECT_TRUE(min == KtUData::FromFloat(0.0));
    EXPECT_TRUE(max == KtUData::FromFloat(1.0));
    EXPECT_TRUE(unit.GetRange(nullptr, 0, nullptr, &max)); // either output may be missing
    // Bounds are kept as given: a reversed range accepts nothing.
    KtUOptFloatRangeValidator reversed(1.0, 0.0);
    EXPECT_FALSE(Valid(reversed, KtUData::FromFloat(0.5)));
}

TEST_F(ValidatorTest, Int32RangeTakesOnlyIntegers) {
    KtUOptInt32RangeValidator digits(-3, 9);
    EXPECT_TRUE(Valid(digits, KtUData(-3)));
    EXPECT_TRUE(Valid(digits, KtUData(9)));
    EXPECT_FALSE(Valid(digits, KtUData(10)));
    EXPECT_FALSE(Valid(digits, KtUData(std::numeric_limits<int>::min())));
    EXPECT_FALSE(Valid(digits, KtUData::FromFloat(5.0)));
    EXPECT_FALSE(Valid(digits, KtUData(true)));
    KtUData min, max;
    EXPECT_TRUE(digits.GetRange(nullptr, 0, &min, &max));
    EXPECT_TRUE(min == KtUData(-3));
    EXPECT_TRUE(max == KtUData(9));
}

TEST_F(ValidatorTest, NonemptyStringWantsAtLeastOneCharacter) {
    KtUOptNonemptyStringValidator named;
    EXPECT_FALSE(Valid(named, KtUData(u"")));
    EXPECT_FALSE(Valid(named, KtUData(static_cast<const KtUWChar*>(nullptr))));
    EXPECT_FALSE(Valid(named, KtUData("")));
    EXPECT_TRUE(Valid(named, KtUData(u"x")));
    EXPECT_TRUE(Valid(named, KtUData("x")));
    EXPECT_FALSE(Valid(named, KtUData(3)));
    EXPECT_FALSE(Valid(named, KtUData()));
}

TEST_F(ValidatorTest, NeutralValidatorsAndAlwaysDisabled) {
    KtUOptAlwaysDisabled off;
    KtUOptSwigValidator neutral;
    KtUData min(1);
    EXPECT_TRUE(off.IsDisabled(nullptr, 0, nullptr));
    EXPECT_TRUE(Valid(off, KtUData()));
    EXPECT_FALSE(neutral.IsDisabled(nullptr, 0, nullptr));
    EXPECT_FALSE(neutral.GetRange(nullptr, 0, &min, nullptr));
    EXPECT_TRUE(min == KtUData(1)); // nothing written without a range
    EXPECT_TRUE(Valid(neutral, KtUData()));
}

TEST_F(ValidatorTest, CompositeStopsAtTheFirstSettledAnswer) {
    KtUOptCompositeValidator empty;
    EXPECT_TRUE(Valid(empty, KtUData()));
    EXPECT_FALSE(empty.IsDisabled(nullptr, 0, nullptr));
    EXPECT_FALSE(empty.GetRange(nullptr, 0, nullptr, nullptr));

    // No value is both a float in range and a non-empty string.
    KtUOptCompositeValidator both(new KtUOptFloatRangeValidator(0, 1),
                                  new KtUOptNonemptyStringValidator);
    EXPECT_FALSE(Valid(both, KtUData::FromFloat(0.5)));
    EXPECT_FALSE(Valid(both, KtUData(u"x")));

    KtUAutoRefPtr<Probe> first(new Probe(0, 0, 1)), second(new Probe(1, 5, 0)),
        third(new Probe(1, 7, 0));
    KtUOptCompositeValidator chain(first.Get(), nullptr);
    chain.AddValidator(second.Get());
    chain.AddValidator(nullptr);
    chain.AddValidator(third.Get());
    EXPECT_EQ(chain.GetValidators().Size(), 3);
    EXPECT_TRUE(chain.IsDisabled(nullptr, 0, nullptr));
    KtUData min;
    EXPECT_TRUE(chain.GetRange(nullptr, 0, &min, nullptr));
    EXPECT_TRUE(min == KtUData(5)); // the second member's range
    EXPECT_FALSE(Valid(chain, KtUData()));
    EXPECT_EQ(first->asked, 3);
    EXPECT_EQ(second->asked, 3);
    EXPECT_EQ(third->asked, 0);
}

TEST_F(ValidatorTest, ReferencesKeepSharedValidatorsAlive) {
    auto* range = new KtUOptInt32RangeValidator(0, 1);
    EXPECT_EQ(range->GetRefCount(), 0);
    range->UnrefNoDelete();
    EXPECT_EQ(range->GetRefCount(), 0);
    KtUAutoRefPtr<KtUOptionValidator> held(range);
    {
        KtUOptCompositeValidator a(range, nullptr);
        KtUOptCompositeValidator b(a); // copies share the members
        EXPECT_EQ(range->GetRefCount(), 3);
        const KtUOptCompositeValidator& self = b;
        b = self;
        EXPECT_EQ(range->GetRefCount(), 3);
    }
    EXPECT_EQ(range->GetRefCount(), 1);
    // A copy is a new object with no references of its own.
    KtUOptInt32RangeValidator copy(*range);
    EXPECT_EQ(copy.GetRefCount(), 0);
    EXPECT_EQ(copy.GetMax(), 1);
}

} // namespace

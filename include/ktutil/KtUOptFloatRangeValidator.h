//===- KtUOptFloatRangeValidator.h - Inclusive range of a float option ----===//
//
//   KtUAutoRefPtr<KtUOptionValidator> unit(new KtUOptFloatRangeValidator(0.0, 1.0));
//   unit->IsValidValue(set, i, KtUData::FromLinearFloat(0.5), nullptr);  // 1
//   unit->IsValidValue(set, i, KtUData(1), nullptr);                      // 0: Int32
//
// Any float kind is checked against [min, max], both ends included; other
// kinds and NaN are refused. The bounds are stored as given, unordered.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTFLOATRANGEVALIDATOR_H
#define KTUTIL_KTUOPTFLOATRANGEVALIDATOR_H

#include <ktutil/KtUOptionValidator.h>

/// Accepts float values of any float kind within [min, max].
class KTU_API KtUOptFloatRangeValidator : public KtUOptionValidator {
public:
    KtUOptFloatRangeValidator(double min, double max) : m_min(min), m_max(max) {}

    /// Both bounds as Float values; 1.
    int GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) override;
    int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                     KtUWideStringBuffer* message) override;

    double GetMin() const { return m_min; }
    double GetMax() const { return m_max; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    double m_min;
    double m_max;
};

#endif // KTUTIL_KTUOPTFLOATRANGEVALIDATOR_H

//===- KtUOptInt32RangeValidator.h - Inclusive range of an integer option -===//
//
//   KtUAutoRefPtr<KtUOptionValidator> digits(new KtUOptInt32RangeValidator(0, 9));
//   digits->IsValidValue(set, i, KtUData(7), nullptr);     // 1
//   digits->IsValidValue(set, i, KtUData(7.0), nullptr);   // 0: a Float
//
// Only Int32 values are accepted, within [min, max] compared as signed.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTINT32RANGEVALIDATOR_H
#define KTUTIL_KTUOPTINT32RANGEVALIDATOR_H

#include <ktutil/KtUOptionValidator.h>

/// Accepts Int32 values within [min, max].
class KTU_API KtUOptInt32RangeValidator : public KtUOptionValidator {
public:
    KtUOptInt32RangeValidator(int min, int max) : m_min(min), m_max(max) {}

    /// Both bounds as Int32 values; 1.
    int GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) override;
    int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                     KtUWideStringBuffer* message) override;

    int GetMin() const { return m_min; }
    int GetMax() const { return m_max; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    int m_min;
    int m_max;
};

#endif // KTUTIL_KTUOPTINT32RANGEVALIDATOR_H

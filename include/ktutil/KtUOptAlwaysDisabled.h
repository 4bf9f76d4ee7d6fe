//===- KtUOptAlwaysDisabled.h - An option that is always shown disabled ---===//
//
//   KtUAutoRefPtr<KtUOptionValidator> off(new KtUOptAlwaysDisabled);
//   off->IsDisabled(set, index, nullptr);   // 1, whatever the option holds
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTALWAYSDISABLED_H
#define KTUTIL_KTUOPTALWAYSDISABLED_H

#include <ktutil/KtUOptionValidator.h>

/// Marks its option disabled whatever its value.
class KTU_API KtUOptAlwaysDisabled : public KtUOptionValidator {
public:
    KtUOptAlwaysDisabled() = default;

    /// 1.
    int IsDisabled(KtUOptionSet* set, int index, KtUData* value) override;

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUOPTALWAYSDISABLED_H

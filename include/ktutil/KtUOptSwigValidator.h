//===- KtUOptSwigValidator.h - Validator base for scripting bindings ------===//
//
// A concrete validator with public construction whose three answers are the
// base ones (not disabled, no range, valid), so that a scripting binding can
// derive validators from it and override what it needs.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTSWIGVALIDATOR_H
#define KTUTIL_KTUOPTSWIGVALIDATOR_H

#include <ktutil/KtUOptionValidator.h>

/// Validator base for bindings: every answer is the neutral one.
class KTU_API KtUOptSwigValidator : public KtUOptionValidator {
public:
    KtUOptSwigValidator() = default;

    int IsDisabled(KtUOptionSet* set, int index, KtUData* value) override;
    int GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) override;
    int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                     KtUWideStringBuffer* message) override;

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUOPTSWIGVALIDATOR_H

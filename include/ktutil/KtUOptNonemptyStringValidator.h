//===- KtUOptNonemptyStringValidator.h - Refuses empty text ---------------===//
//
//   KtUAutoRefPtr<KtUOptionValidator> named(new KtUOptNonemptyStringValidator);
//   named->IsValidValue(set, i, KtUData(u""), nullptr);   // 0
//   named->IsValidValue(set, i, KtUData("x"), nullptr);   // 1
//
// Accepts a WideString or String value with at least one character; every
// other kind is refused.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTNONEMPTYSTRINGVALIDATOR_H
#define KTUTIL_KTUOPTNONEMPTYSTRINGVALIDATOR_H

#include <ktutil/KtUOptionValidator.h>

/// Accepts non-empty narrow or wide text.
class KTU_API KtUOptNonemptyStringValidator : public KtUOptionValidator {
public:
    KtUOptNonemptyStringValidator() = default;

    int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                     KtUWideStringBuffer* message) override;

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUOPTNONEMPTYSTRINGVALIDATOR_H

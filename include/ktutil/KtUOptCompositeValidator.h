//===- KtUOptCompositeValidator.h - Several validators asked in turn ------===//
//
//   auto* both = new KtUOptCompositeValidator(new KtUOptInt32RangeValidator(0, 9),
//                                             new KtUOptAlwaysDisabled);
//   both->AddValidator(hostCheck);   // a reference is taken on each member
//
// Members are asked in the order they were added and the first settled
// answer wins: disabled when any member disables, the first member's range,
// refused when any member refuses. An empty composite disables nothing and
// accepts everything.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTCOMPOSITEVALIDATOR_H
#define KTUTIL_KTUOPTCOMPOSITEVALIDATOR_H

#include <ktutil/KtUOptionValidator.h>
#include <ktutil/KtURefPtrVector.h>

/// A list of validators that answer together.
class KTU_API KtUOptCompositeValidator : public KtUOptionValidator {
public:
    KtUOptCompositeValidator() = default;
    /// Appends each non-null argument.
    KtUOptCompositeValidator(KtUOptionValidator* first, KtUOptionValidator* second);

    /// Appends a non-null validator, taking a reference; ignores null.
    void AddValidator(KtUOptionValidator* validator);
    const KtURefPtrVector<KtUOptionValidator>& GetValidators() const { return m_validators; }

    int IsDisabled(KtUOptionSet* set, int index, KtUData* value) override;
    int GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max) override;
    int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                     KtUWideStringBuffer* message) override;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtURefPtrVector<KtUOptionValidator> m_validators;
};

#endif // KTUTIL_KTUOPTCOMPOSITEVALIDATOR_H

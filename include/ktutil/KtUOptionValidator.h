//===- KtUOptionValidator.h - Policy deciding an option's state and range -===//
//
// A validator is a small reference-counted policy attached to an option. The
// option sets ask it whether the option is shown disabled, what its range is
// and whether a proposed value is acceptable. The library's validators are
// the KtUOpt*Validator classes and KtUOptAlwaysDisabled/KtUOptValueEnabler;
// hosts derive their own:
//
//   class EvenOnly : public KtUOptionValidator {
//   public:
//       int IsValidValue(KtUOptionSet*, int, const KtUData& value,
//                        KtUWideStringBuffer*) override {
//           return value.IsInt32() && value.GetInt32() % 2 == 0;
//       }
//   };
//   KtUAutoRefPtr<KtUOptionValidator> check(new EvenOnly);
//
// A new validator has no references; whoever keeps it calls Ref (or holds it
// in a KtUAutoRefPtr), and the last Unref destroys it.
//
// Thread safety: validators run on the thread that asks an option set;
// reference counts are not atomic, so a validator is shared only by option
// trees used under the same lock.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONVALIDATOR_H
#define KTUTIL_KTUOPTIONVALIDATOR_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUData;
class KtUOptionSet;
class KtUWideStringBuffer;

/// Base of option validators: never disabling, no range, accepts everything.
class KTU_API KtUOptionValidator {
public:
    KtUOptionValidator(const KtUOptionValidator& other) : m_refs(0) { (void)other; }
    KtUOptionValidator& operator=(const KtUOptionValidator&) { return *this; }

    /// Non-zero when option index of set must be shown disabled.
    virtual int IsDisabled(KtUOptionSet* set, int index, KtUData* value);
    /// Non-zero when there is a range; it is written to each non-null output.
    virtual int GetRange(KtUOptionSet* set, int index, KtUData* min, KtUData* max);
    /// Non-zero when value is acceptable for option index of set. message is
    /// for host validators that explain a refusal.
    virtual int IsValidValue(KtUOptionSet* set, int index, const KtUData& value,
                             KtUWideStringBuffer* message);

    void Ref() { ++m_refs; }
    /// Destroys the validator when the count falls from 1 to 0.
    void Unref() {
        if (--m_refs == 0) delete this;
    }
    /// Subtracts one while the count is positive; never destroys.
    void UnrefNoDelete() {
        if (m_refs > 0) --m_refs;
    }
    int GetRefCount() const { return m_refs; }

    KTU_DECLARE_ALLOCATION_OPERATORS

protected:
    KtUOptionValidator() = default;
    virtual ~KtUOptionValidator();

private:
    int m_refs = 0;
};

#endif // KTUTIL_KTUOPTIONVALIDATOR_H

//===- KtUOptValueEnabler.h - Enables an option while another has a value -===//
//
//   // "view.grid.spacing" is shown disabled unless "view.grid.show" is true.
//   KtUOption::DefineInt32("view.grid.spacing", 10, KtUOptionSet::ePROFILE_STANDARD, 0,
//                          nullptr, new KtUOptValueEnabler("view.grid.show",
//                                                          KtUData(true), 0));
//
// With local non-zero the path is read in the set being asked about; with
// local zero in the process-wide current values, under KtUOptionLock. A path
// that can't be read posts GetData's error and disables the option.
//
// Thread safety: as KtUOptionValidator.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTVALUEENABLER_H
#define KTUTIL_KTUOPTVALUEENABLER_H

#include <ktutil/KtUData.h>
#include <ktutil/KtUOptionValidator.h>
#include <ktutil/KtUString.h>

/// Disables an option unless the option at a path has a given value.
class KTU_API KtUOptValueEnabler : public KtUOptionValidator {
public:
    KtUOptValueEnabler(const char* path, const KtUData& value, int local)
        : m_value(value), m_path(path), m_local(local) {}

    const KtUData& GetValue() const { return m_value; }
    const KtUString& GetPath() const { return m_path; }
    int IsLocal() const { return m_local; }

    int IsDisabled(KtUOptionSet* set, int index, KtUData* value) override;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUData m_value;
    KtUString m_path;
    int m_local;
};

#endif // KTUTIL_KTUOPTVALUEENABLER_H

//===- KtUOptionWrapper.h - One entry of an option set, as iterators give it ---===//
//
//   for (KtUOptionSetIterator it(root); it != KtUOptionSetIterator::Invalid(); ++it)
//       printf("%s\n", it->GetName());
//
// A wrapper holds a reference on its set and an entry index; its members
// forward to the set's members of the same names for that entry.
//
// Thread safety: as KtUOptionSet.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONWRAPPER_H
#define KTUTIL_KTUOPTIONWRAPPER_H

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUOptionSet.h>

/// An entry of an option set: the set and an index.
class KTU_API KtUOptionWrapper {
public:
    KtUOptionWrapper() = default;
    KtUOptionWrapper(KtUOptionSet* set, int index) : m_set(set), m_index(index) {}

    KtUOptionSet* GetSet() const { return m_set.Get(); }
    int GetIndex() const { return m_index; }

    const char* GetName() const { return m_set->GetName(m_index); }
    const char* GetClassName() const { return m_set->GetClassName(m_index); }
    const KtUWChar* GetUserName() const { return m_set->GetUserName(m_index); }
    unsigned GetFlags() const { return m_set->GetFlags(m_index); }
    unsigned GetUserFlags() const { return m_set->GetUserFlags(m_index); }
    void SetUserFlags(unsigned flags) const { m_set->SetUserFlags(m_index, flags); }
    KtUOptionSet::Profile GetProfile() const { return m_set->GetProfile(m_index); }
    int IsDisabled(KtUData* value) const { return m_set->IsDisabled(m_index, value); }
    int GetRange(KtUData* min, KtUData* max) const { return m_set->GetRange(m_index, min, max); }
    KtUData::Type GetType() const { return m_set->GetType(m_index); }
    /// 1 and the value for a value entry; 0 for a set.
    int GetValue(KtUData* value) const { return m_set->GetDataValue(m_index, value); }
    int SetValue(const KtUData& value, KtUWideStringBuffer* message) const {
        return m_set->SetValue(m_index, value, message);
    }

    /// Same set object and same index.
    bool operator==(const KtUOptionWrapper& other) const {
        return m_set.Get() == other.m_set.Get() && m_index == other.m_index;
    }
    bool operator!=(const KtUOptionWrapper& other) const { return !(*this == other); }

private:
    KtUAutoRefPtr<KtUOptionSet> m_set;
    int m_index = -1;
};

#endif // KTUTIL_KTUOPTIONWRAPPER_H

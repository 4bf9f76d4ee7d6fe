//===- KtUSysRegistrySectionHandle.h - Names found below a section --------===//
//
// A KtUSysRegistrySectionHandle walks the subkey or value names that
// KtUSysRegistry::OpenSection gathered from the roots, each name once:
//
//   KtUSysRegistrySectionHandle* h = KtUSysRegistry::OpenSection(
//       u"Recent", KtUSysRegistry::eUSER | KtUSysRegistry::eINHERIT, KtUSysRegistry::eSUBKEYS);
//   for (; h->IsValid(); h->Next())
//       Use(h->GetKey());
//   KtUSysRegistry::CloseSection(h);
//
// The order is the dictionary's, not sorted. Names that differ only in case
// but come from different roots are listed as they are spelt in each.
//
// Thread safety: one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSREGISTRYSECTIONHANDLE_H
#define KTUTIL_KTUSYSREGISTRYSECTIONHANDLE_H

#include <ktutil/KtUWideStrVoidPtrDict.h>
#include <ktutil/KtUWideStrVoidPtrDictIt.h>

class KtUStringBuffer;
namespace ktu::reg {
struct SectionAccess;
}

/// The names of a registry section gathered across roots, walked once.
class KTU_API KtUSysRegistrySectionHandle {
public:
    KtUSysRegistrySectionHandle(const KtUSysRegistrySectionHandle&) = delete;
    KtUSysRegistrySectionHandle& operator=(const KtUSysRegistrySectionHandle&) = delete;

    /// A current name exists.
    bool IsValid() const { return m_it.IsValid(); }
    /// The current name (null past the end).
    const KtUWChar* GetKey() const { return m_it.IsValid() ? m_it.GetKey() : nullptr; }
    /// The current name as UTF-8.
    void GetUTF8Key(KtUStringBuffer* out) const;
    void Next() {
        if (m_it.IsValid()) m_it.Next();
    }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUSysRegistry;
    friend struct ktu::reg::SectionAccess;
    KtUSysRegistrySectionHandle() = default;
    ~KtUSysRegistrySectionHandle() = default;
    /// Adds name unless present; true when added.
    bool Add(const KtUWChar* name);
    void Start() { m_it = m_names.Begin(); }

    KtUWideStrVoidPtrDict m_names;
    KtUWideStrVoidPtrDictIt m_it;
};

#endif // KTUTIL_KTUSYSREGISTRYSECTIONHANDLE_H

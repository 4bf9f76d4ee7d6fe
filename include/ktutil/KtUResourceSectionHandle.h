//===- KtUResourceSectionHandle.h - Entries of a data subdirectory --------===//
//
// A KtUResourceSectionHandle walks the entries that KtUResource::OpenSection
// found in one subdirectory of the data search directories, each name once,
// with the path of the first search directory that has it:
//
//   KtUResourceSectionHandle* h = KtUResource::OpenSection(u"templates",
//                                                          KtUResource::eALL_DIRS);
//   for (; h->IsValid(); h->Next())
//       Offer(h->GetNameW(), h->GetFullNameW());
//   KtUResource::CloseSection(h);
//
// Entries come slot by slot in search order; within a slot, in the file
// system's order.
//
// Thread safety: one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTURESOURCESECTIONHANDLE_H
#define KTUTIL_KTURESOURCESECTIONHANDLE_H

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUVoidPtrVector.h>
#include <ktutil/KtUWideStrVoidPtrDict.h>

/// The entries of a data subdirectory gathered across search directories.
class KTU_API KtUResourceSectionHandle {
public:
    KtUResourceSectionHandle() = default;
    ~KtUResourceSectionHandle();
    KtUResourceSectionHandle(const KtUResourceSectionHandle&) = delete;
    KtUResourceSectionHandle& operator=(const KtUResourceSectionHandle&) = delete;

    /// Adds an entry unless its name is already listed; true when added.
    bool Add(const KtUWChar* name, const KtUWChar* full);
    bool IsValid() const { return m_index < m_entries.Size(); }
    /// The entry's name; null past the end.
    const KtUWChar* GetNameW() const;
    /// The entry's full path; null past the end.
    const KtUWChar* GetFullNameW() const;
    /// Moves to the next entry; returns IsValid().
    bool Next();
    int GetCount() const { return m_entries.Size(); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUWideStrVoidPtrDict m_seen;
    KtUVoidPtrVector m_entries; // of Entry, owned
    int m_index = 0;
};

#endif // KTUTIL_KTURESOURCESECTIONHANDLE_H

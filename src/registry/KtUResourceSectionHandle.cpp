//===- KtUResourceSectionHandle.cpp - Entries gathered across directories ===//
#include <ktutil/KtUResourceSectionHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

namespace {

struct Entry {
    KtUWideStringBuffer name;
    KtUWideStringBuffer full;
    KTU_DECLARE_ALLOCATION_OPERATORS
};

const Entry* At(const KtUVoidPtrVector& entries, int index) {
    return index < entries.Size() ? static_cast<const Entry*>(entries[index]) : nullptr;
}

} // namespace

KtUResourceSectionHandle::~KtUResourceSectionHandle() {
    for (void* entry : m_entries)
        delete static_cast<Entry*>(entry);
}

bool KtUResourceSectionHandle::Add(const KtUWChar* name, const KtUWChar* full) {
    if (!name || !*name || m_seen.Find(name, nullptr)) return false;
    Entry* entry = new Entry;
    if (!entry) return false;
    entry->name.SetString(name);
    entry->full.SetString(full);
    m_seen.Enter(name, entry);
    m_entries.PushBack(entry);
    return true;
}

const KtUWChar* KtUResourceSectionHandle::GetNameW() const {
    const Entry* entry = At(m_entries, m_index);
    return entry ? entry->name.GetString() : nullptr;
}

const KtUWChar* KtUResourceSectionHandle::GetFullNameW() const {
    const Entry* entry = At(m_entries, m_index);
    return entry ? entry->full.GetString() : nullptr;
}

bool KtUResourceSectionHandle::Next() {
    if (m_index < m_entries.Size()) ++m_index;
    return IsValid();
}

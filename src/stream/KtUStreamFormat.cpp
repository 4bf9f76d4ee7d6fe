//===- KtUStreamFormat.cpp - Entry tables of object formats ---------------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStreamExtData.h>
#include <ktutil/KtUStreamFormat.h>

#include <cstring>
#include <new>

static char* CopyName(const char* name) {
    if (!name) return nullptr;
    const size_t n = std::strlen(name) + 1;
    auto* copy = static_cast<char*>(KtUMemory::TryMalloc(static_cast<unsigned>(n)));
    if (copy) std::memcpy(copy, name, n); // null when memory ran out
    return copy;
}

KtUStreamFormatEntry::KtUStreamFormatEntry(const KtUStreamFormatEntry& other)
    : m_write(other.m_write), m_create(other.m_create), m_read(other.m_read),
      m_dispose(other.m_dispose), m_name(CopyName(other.m_name)), m_parent(other.m_parent),
      m_substitute(other.m_substitute) {}

KtUStreamFormatEntry& KtUStreamFormatEntry::operator=(const KtUStreamFormatEntry& other) {
    if (this != &other) {
        m_write = other.m_write;
        m_create = other.m_create;
        m_read = other.m_read;
        m_dispose = other.m_dispose;
        SetName(other.m_name);
        m_parent = other.m_parent;
        m_substitute = other.m_substitute;
    }
    return *this;
}

KtUStreamFormatEntry::~KtUStreamFormatEntry() {
    KtUMemory::Free(m_name);
}

void KtUStreamFormatEntry::SetName(const char* name) {
    if (name == m_name) return;
    char* copy = CopyName(name);
    KtUMemory::Free(m_name);
    m_name = copy;
}

KtUStreamFormat::KtUStreamFormat(const char* name, int extendable)
    : m_name(name), m_extendable(extendable) {}

KtUStreamFormat::KtUStreamFormat(const KtUStreamFormat& other)
    : m_name(other.m_name), m_version(other.m_version), m_earlier(other.m_earlier),
      m_extendable(other.m_extendable) {
    CopyFrom(other);
}

KtUStreamFormat& KtUStreamFormat::operator=(const KtUStreamFormat& other) {
    if (this != &other) {
        m_name = other.m_name;
        m_version = other.m_version;
        m_earlier = other.m_earlier;
        m_extendable = other.m_extendable;
        SetNumEntries(0);
        CopyFrom(other);
    }
    return *this;
}

KtUStreamFormat::~KtUStreamFormat() {
    SetNumEntries(0);
    KtUMemory::Free(m_entries);
}

void KtUStreamFormat::CopyFrom(const KtUStreamFormat& other) {
    if (!SetNumEntries(other.m_count)) return;
    for (int i = 0; i < m_count; ++i) {
        m_entries[i] = other.m_entries[i];
        if (other.m_entries[i].GetName() && !m_entries[i].GetName()) {
            SetNumEntries(0); // a name could not be copied: the copy is empty, not wrong
            return;
        }
    }
}

int KtUStreamFormat::SetNumEntries(int count) {
    if (count < 0) count = 0;
    if (count > m_capacity) {
        int capacity = m_capacity ? m_capacity : 8;
        while (capacity < count)
            capacity *= 2;
        auto* entries = static_cast<KtUStreamFormatEntry*>(
            KtUMemory::TryMalloc(static_cast<unsigned>(capacity) * sizeof(KtUStreamFormatEntry)));
        if (!entries) return 0;
        // Entries hold only pointers and ints: moving their bytes moves them.
        if (m_count)
            std::memcpy(static_cast<void*>(entries), m_entries,
                        static_cast<size_t>(m_count) * sizeof(KtUStreamFormatEntry));
        KtUMemory::Free(m_entries);
        m_entries = entries;
        m_capacity = capacity;
    }
    for (int i = count; i < m_count; ++i)
        m_entries[i].~KtUStreamFormatEntry();
    for (int i = m_count; i < count; ++i)
        new (&m_entries[i]) KtUStreamFormatEntry;
    m_count = count;
    return 1;
}

void KtUStreamFormat::SetEntry(int index, KtUStreamFormatEntry::WriteMethod write,
                               KtUStreamFormatEntry::CreateMethod create,
                               KtUStreamFormatEntry::ReadMethod read, const char* name,
                               int parent) {
    if (index < 0 || index >= m_count) return;
    KtUStreamFormatEntry& entry = m_entries[index];
    entry.SetWriteMethod(write);
    entry.SetCreateMethod(create);
    entry.SetReadMethod(read);
    entry.SetName(name);
    entry.SetParent(parent);
    entry.SetSubstitute(KtUStreamFormatEntry::kOwnMethods);
}

int KtUStreamFormat::FindEntry(const char* name) const {
    for (int i = 0; i < m_count; ++i) {
        const char* own = m_entries[i].GetName();
        if (own == name || (own && name && std::strcmp(own, name) == 0)) return i;
    }
    return -1;
}

void KtUStreamExtData::Unref() {
    if (--m_refs == 0) delete this;
}

KtUStreamExtData::~KtUStreamExtData() {
    KtUMemory::Free(m_data);
}

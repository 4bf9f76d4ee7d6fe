//===- KtUNameVoidPtrDict.cpp - Dictionary from a name (by value) to void* ===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameVoidPtrDict.h>
#include <ktutil/KtUNameVoidPtrDictIt.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

#include <cstring>

struct KtUNameVoidPtrDict::Slot {
    KtUName* key; ///< null: free
    void* value;
    unsigned int hash; ///< of the key, so growing and probing skip most compares
};

namespace {

using Slot = KtUNameVoidPtrDict::Slot;

constexpr unsigned int kMinCapacity = 16;

Slot* AllocSlots(unsigned int capacity) {
    auto* slots = static_cast<Slot*>(
        KtUMemory::Alloc(capacity * static_cast<unsigned int>(sizeof(Slot)), KtUMemory::eALIGN8));
    if (slots) std::memset(slots, 0, capacity * sizeof(Slot));
    return slots;
}

void FreeSlots(Slot* slots, unsigned int capacity) {
    if (slots)
        KtUMemory::Dealloc(slots, capacity * static_cast<unsigned int>(sizeof(Slot)),
                           KtUMemory::eALIGN8);
}

/// Equality of the table: both internal names absent or byte-equal, and the
/// user names equal (absent equals only absent).
bool SameName(const KtUName* name, const KtUWChar* user, const char* internal) {
    const char* own = name->GetName().GetString();
    if (!own != !internal) return false;
    if (own && std::strcmp(own, internal) != 0) return false;
    return KtUWideString::Equal(name->GetUserName().GetString(), user);
}

} // namespace

unsigned int KtUNameVoidPtrDict::Hash(const KtUWChar* user, const char* internal) {
    unsigned int h = 0;
    if (user)
        for (; *user; ++user)
            h = h * 5 + *user;
    if (internal)
        for (; *internal; ++internal)
            h = h * 5 + static_cast<unsigned int>(static_cast<signed char>(*internal));
    return h;
}

KtUNameVoidPtrDict::KtUNameVoidPtrDict(const KtUNameVoidPtrDict& other) {
    if (!other.m_count) return;
    m_slots = AllocSlots(other.m_capacity);
    if (!m_slots) return; // out of memory (posted): the copy stays empty
    std::memcpy(m_slots, other.m_slots, other.m_capacity * sizeof(Slot));
    m_capacity = other.m_capacity;
    m_count = other.m_count;
    for (unsigned int i = 0; i < m_capacity; ++i)
        if (m_slots[i].key) m_slots[i].key->Ref();
}

KtUNameVoidPtrDict& KtUNameVoidPtrDict::operator=(const KtUNameVoidPtrDict& other) {
    if (this != &other) {
        KtUNameVoidPtrDict copy(other);
        Swap(copy);
    }
    return *this;
}

KtUNameVoidPtrDict::~KtUNameVoidPtrDict() {
    RemoveAll();
}

void KtUNameVoidPtrDict::Swap(KtUNameVoidPtrDict& other) noexcept {
    Slot* slots = m_slots;
    unsigned int capacity = m_capacity, count = m_count;
    m_slots = other.m_slots;
    m_capacity = other.m_capacity;
    m_count = other.m_count;
    other.m_slots = slots;
    other.m_capacity = capacity;
    other.m_count = count;
}

KtUNameVoidPtrDict::Slot* KtUNameVoidPtrDict::Lookup(const KtUWChar* user, const char* internal,
                                                     unsigned int hash) const {
    if (!m_count) return nullptr;
    unsigned int mask = m_capacity - 1;
    for (unsigned int i = hash & mask;; i = (i + 1) & mask) {
        Slot* slot = &m_slots[i];
        if (!slot->key) return nullptr;
        if (slot->hash == hash && SameName(slot->key, user, internal)) return slot;
    }
}

KtUName* KtUNameVoidPtrDict::FindKey(const KtUWChar* user, const char* internal,
                                     unsigned int hash) const {
    Slot* slot = Lookup(user, internal, hash);
    return slot ? slot->key : nullptr;
}

bool KtUNameVoidPtrDict::Insert(KtUName* key, void* value, unsigned int hash) {
    // At most three quarters full, so every probe meets a free slot.
    if ((m_count + 1) * 4 > m_capacity * 3 && !Grow()) return false;
    unsigned int mask = m_capacity - 1;
    unsigned int i = hash & mask;
    while (m_slots[i].key)
        i = (i + 1) & mask;
    m_slots[i] = {key, value, hash};
    ++m_count;
    return true;
}

bool KtUNameVoidPtrDict::Grow() {
    unsigned int capacity = m_capacity ? m_capacity * 2 : kMinCapacity;
    Slot* slots = AllocSlots(capacity);
    if (!slots) return false;
    Slot* old = m_slots;
    unsigned int old_capacity = m_capacity;
    m_slots = slots;
    m_capacity = capacity;
    unsigned int mask = capacity - 1;
    for (unsigned int k = 0; k < old_capacity; ++k) {
        if (!old[k].key) continue;
        unsigned int i = old[k].hash & mask;
        while (m_slots[i].key)
            i = (i + 1) & mask;
        m_slots[i] = old[k];
    }
    FreeSlots(old, old_capacity);
    return true;
}

int KtUNameVoidPtrDict::Enter(KtUName* key, void* value) {
    if (!key) return 0;
    const KtUWChar* user = key->GetUserName().GetString();
    const char* internal = key->GetName().GetString();
    unsigned int hash = Hash(user, internal);
    if (Slot* slot = Lookup(user, internal, hash)) {
        slot->value = value;
        return 0;
    }
    if (!Insert(key, value, hash)) return 0;
    key->Ref();
    return 1;
}

int KtUNameVoidPtrDict::Find(const KtUName* key, void** value) const {
    if (!key) return 0;
    const KtUWChar* user = key->GetUserName().GetString();
    const char* internal = key->GetName().GetString();
    Slot* slot = Lookup(user, internal, Hash(user, internal));
    if (!slot) return 0;
    if (value) *value = slot->value;
    return 1;
}

int KtUNameVoidPtrDict::Remove(const KtUName* key) {
    if (!key) return 0;
    const KtUWChar* user = key->GetUserName().GetString();
    const char* internal = key->GetName().GetString();
    Slot* slot = Lookup(user, internal, Hash(user, internal));
    if (!slot) return 0;
    KtUName* stored = slot->key;
    // Backward-shift deletion: move later members of the probe run into the
    // hole when their home lies at or before it, so no tombstones are needed.
    unsigned int mask = m_capacity - 1;
    unsigned int hole = static_cast<unsigned int>(slot - m_slots);
    for (unsigned int i = (hole + 1) & mask; m_slots[i].key; i = (i + 1) & mask) {
        unsigned int home = m_slots[i].hash & mask;
        // Distances from home, modulo the capacity: the slot may fill the
        // hole when the hole is no further from home than the slot itself.
        if (((hole - home) & mask) < ((i - home) & mask)) {
            m_slots[hole] = m_slots[i];
            hole = i;
        }
    }
    m_slots[hole] = {nullptr, nullptr, 0};
    --m_count;
    stored->Unref();
    return 1;
}

void KtUNameVoidPtrDict::RemoveAll() {
    // Empty the table before releasing: a name's destruction must never meet
    // a half-cleared table.
    Slot* slots = m_slots;
    unsigned int capacity = m_capacity;
    m_slots = nullptr;
    m_capacity = 0;
    m_count = 0;
    for (unsigned int i = 0; i < capacity; ++i)
        if (slots[i].key) slots[i].key->Unref();
    FreeSlots(slots, capacity);
}

KtUNameVoidPtrDictIt KtUNameVoidPtrDict::Begin() const {
    for (unsigned int i = 0; i < m_capacity; ++i)
        if (m_slots[i].key) return KtUNameVoidPtrDictIt(this, i);
    return KtUNameVoidPtrDictIt();
}

// ---- Iterator ----------------------------------------------------------------

KtUName* KtUNameVoidPtrDictIt::GetKey() const {
    return m_dict ? m_dict->m_slots[m_index].key : nullptr;
}

void* KtUNameVoidPtrDictIt::GetValue() const {
    return m_dict ? m_dict->m_slots[m_index].value : nullptr;
}

void KtUNameVoidPtrDictIt::Next() {
    if (!m_dict) return;
    for (unsigned int i = m_index + 1; i < m_dict->m_capacity; ++i) {
        if (m_dict->m_slots[i].key) {
            m_index = i;
            return;
        }
    }
    m_dict = nullptr;
}

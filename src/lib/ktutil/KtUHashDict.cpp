//===- KtUHashDict.cpp - Hash dictionary from a key to void* --------------===//
//
// One open-addressed table serves every key kind: a power-of-two array of
// slots {hash, key, value} with linear probing and backward-shift deletion
// (no tombstones). The stored hash is the key's hash, mixed so that its top
// bits pick the home slot evenly (the string hash is the library's fixed
// h * 5 + c, then mixed), with the lowest bit set so that 0 marks an empty
// slot. Comparing stored hashes first keeps key comparisons to real matches.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUHashDict.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

#include "text_ops.h"

#include <cstring>

using ktu::dict::KeyKind;
using ktu::dict::Slot;

namespace ktu::dict {

struct Table {
    Slot* slots;
    unsigned int shift; // 32 - log2(slot count)
    unsigned int count;

    unsigned int Capacity() const { return 1u << (32 - shift); }
    unsigned int Mask() const { return Capacity() - 1; }
    unsigned int Home(unsigned int hash) const { return hash >> shift; }
};

} // namespace ktu::dict

namespace {

using ktu::dict::Table;

constexpr unsigned int kInitialShift = 32 - 3; // 8 slots

// The operations that depend on the key kind.
template <KeyKind Kind> struct Keys;

// Spreads the fixed string hash over all 32 bits (the final mix of a
// well-known 32-bit hash): h * 5 + c alone leaves its high bits weak.
unsigned int Mix(unsigned int h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

template <> struct Keys<KeyKind::ePointer> {
    // The 64-bit counterpart of Mix over the address: a plain multiplicative
    // hash clusters the evenly spaced addresses that allocators hand out.
    static unsigned int Hash(const void* key) {
        auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
        v ^= v >> 33;
        v *= 0xFF51AFD7ED558CCDull;
        v ^= v >> 33;
        v *= 0xC4CEB9FE1A85EC53ull;
        v ^= v >> 33;
        return static_cast<unsigned int>(v >> 32) | 1u;
    }
    static bool Equal(const void* a, const void* b) { return a == b; }
    static const void* Copy(const void* key) { return key; }
    static void Free(const void*) {}
};

template <class C, bool Owned> struct StrKeys {
    static unsigned int Hash(const void* key) {
        return Mix(ktu::text::Hash(static_cast<const C*>(key))) | 1u;
    }
    static bool Equal(const void* a, const void* b) {
        return ktu::text::Equal(static_cast<const C*>(a), static_cast<const C*>(b)) != 0;
    }
    static const void* Copy(const void* key) {
        if (!Owned || !key) return key;
        const C* s = static_cast<const C*>(key);
        return ktu::text::AllocCopy(s, ktu::text::Length(s));
    }
    static void Free(const void* key) {
        if (Owned && key) {
            C* s = static_cast<C*>(const_cast<void*>(key));
            ktu::text::DeallocUnits(s, ktu::text::Length(s) + 1);
        }
    }
};

template <> struct Keys<KeyKind::eOwnedStr> : StrKeys<char, true> {};
template <> struct Keys<KeyKind::eTempStr> : StrKeys<char, false> {};
template <> struct Keys<KeyKind::eOwnedWideStr> : StrKeys<KtUWChar, true> {};
template <> struct Keys<KeyKind::eTempWideStr> : StrKeys<KtUWChar, false> {};

Slot* AllocSlots(unsigned int count) {
    auto* slots = static_cast<Slot*>(
        KtUMemory::AllocEx(count * sizeof(Slot), KtUMemory::eALIGN8, 0));
    if (slots)
        std::memset(slots, 0, count * sizeof(Slot));
    return slots;
}

void FreeSlots(Slot* slots, unsigned int count) {
    KtUMemory::Dealloc(slots, count * sizeof(Slot), KtUMemory::eALIGN8);
}

Table* NewTable(unsigned int shift) {
    auto* table =
        static_cast<Table*>(KtUMemory::AllocEx(sizeof(Table), KtUMemory::eALIGN8, 0));
    if (!table)
        return nullptr;
    table->shift = shift;
    table->count = 0;
    table->slots = AllocSlots(table->Capacity());
    if (!table->slots) {
        KtUMemory::Dealloc(table, sizeof(Table), KtUMemory::eALIGN8);
        return nullptr;
    }
    return table;
}

template <KeyKind Kind> void DeleteTable(Table* table) {
    if (!table)
        return;
    for (unsigned int i = 0; i < table->Capacity(); ++i)
        if (table->slots[i].hash)
            Keys<Kind>::Free(table->slots[i].key);
    FreeSlots(table->slots, table->Capacity());
    KtUMemory::Dealloc(table, sizeof(Table), KtUMemory::eALIGN8);
}

// Places a slot's content at the first free slot from its home.
Slot* Place(Table* table, const Slot& slot) {
    unsigned int i = table->Home(slot.hash);
    while (table->slots[i].hash)
        i = (i + 1) & table->Mask();
    table->slots[i] = slot;
    return &table->slots[i];
}

// Doubles the capacity. Slots are re-placed in the old array's order, so the
// result depends only on the table's contents and history.
bool Grow(Table* table) {
    unsigned int old_capacity = table->Capacity();
    Slot* slots = AllocSlots(old_capacity * 2);
    if (!slots)
        return false;
    Slot* old = table->slots;
    table->slots = slots;
    --table->shift;
    for (unsigned int i = 0; i < old_capacity; ++i)
        if (old[i].hash)
            Place(table, old[i]);
    FreeSlots(old, old_capacity);
    return true;
}

// The key's slot, or null.
template <KeyKind Kind> Slot* Lookup(const Table* table, const void* key, unsigned int hash) {
    for (unsigned int i = table->Home(hash);; i = (i + 1) & table->Mask()) {
        Slot* slot = &table->slots[i];
        if (slot->hash == hash && Keys<Kind>::Equal(slot->key, key))
            return slot;
        if (!slot->hash)
            return nullptr;
    }
}

// Empties a slot and moves later slots of the run back into the gap, so
// that every key stays reachable from its home without tombstones.
void Erase(Table* table, Slot* slot) {
    unsigned int gap = static_cast<unsigned int>(slot - table->slots);
    for (unsigned int i = (gap + 1) & table->Mask(); table->slots[i].hash;
         i = (i + 1) & table->Mask()) {
        unsigned int home = table->Home(table->slots[i].hash);
        // Move it when its home is not within (gap, i], cyclically.
        if (((i - home) & table->Mask()) >= ((i - gap) & table->Mask())) {
            table->slots[gap] = table->slots[i];
            gap = i;
        }
    }
    table->slots[gap] = Slot{0, nullptr, nullptr};
    --table->count;
}

} // namespace

// --- KtUHashDict ---------------------------------------------------------------

template <KeyKind Kind, class K> KtUHashDict<Kind, K>::KtUHashDict(const KtUHashDict& other) {
    *this = other;
}

template <KeyKind Kind, class K>
KtUHashDict<Kind, K>& KtUHashDict<Kind, K>::operator=(const KtUHashDict& other) {
    if (this == &other)
        return *this;
    RemoveAll();
    if (!other.m_table || other.m_table->count == 0)
        return *this;
    Table* copy = NewTable(other.m_table->shift);
    if (!copy)
        return *this;
    // The same capacity and positions: the copy iterates in the same order.
    for (unsigned int i = 0; i < copy->Capacity(); ++i) {
        const Slot& slot = other.m_table->slots[i];
        if (slot.hash)
            copy->slots[i] = Slot{slot.hash, Keys<Kind>::Copy(slot.key), slot.value};
    }
    copy->count = other.m_table->count;
    m_table = copy;
    return *this;
}

template <KeyKind Kind, class K> KtUHashDict<Kind, K>::~KtUHashDict() {
    DeleteTable<Kind>(m_table);
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Size() const {
    return m_table ? static_cast<int>(m_table->count) : 0;
}

template <KeyKind Kind, class K> void*& KtUHashDict<Kind, K>::Enter(K key) {
    static void* s_failed; // the slot handed out when memory ran out
    if (!m_table && !(m_table = NewTable(kInitialShift)))
        return s_failed = nullptr, s_failed;
    unsigned int hash = Keys<Kind>::Hash(key);
    if (Slot* slot = Lookup<Kind>(m_table, key, hash))
        return slot->value;
    // Keep the table at most half full.
    if (2 * (m_table->count + 1) > m_table->Capacity() && !Grow(m_table) &&
        m_table->count + 1 == m_table->Capacity())
        return s_failed = nullptr, s_failed;
    ++m_table->count;
    return Place(m_table, Slot{hash, Keys<Kind>::Copy(key), nullptr})->value;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Enter(K key, void* value) {
    int before = Size();
    Enter(key) = value;
    return Size() > before;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Find(K key, void** value) const {
    if (!m_table)
        return 0;
    Slot* slot = Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    if (!slot)
        return 0;
    if (value)
        *value = slot->value;
    return 1;
}

template <KeyKind Kind, class K> void** KtUHashDict<Kind, K>::Find(K key) {
    if (!m_table)
        return nullptr;
    Slot* slot = Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    return slot ? &slot->value : nullptr;
}

template <KeyKind Kind, class K> void* KtUHashDict<Kind, K>::FindAndRemove(K key) {
    if (!m_table)
        return nullptr;
    Slot* slot = Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    if (!slot)
        return nullptr;
    void* value = slot->value;
    Keys<Kind>::Free(slot->key);
    Erase(m_table, slot);
    return value;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Remove(K key) {
    int before = Size();
    FindAndRemove(key);
    return Size() < before;
}

template <KeyKind Kind, class K> void KtUHashDict<Kind, K>::RemoveAll() {
    DeleteTable<Kind>(m_table);
    m_table = nullptr;
}

template <KeyKind Kind, class K> KtUHashDictIt<K> KtUHashDict<Kind, K>::Begin() const {
    if (m_table)
        for (unsigned int i = 0; i < m_table->Capacity(); ++i)
            if (m_table->slots[i].hash)
                return Iterator(m_table, &m_table->slots[i]);
    return Iterator();
}

// --- KtUHashDictIt -------------------------------------------------------------

template <class K> void KtUHashDictIt<K>::Next() {
    if (!m_slot)
        return;
    Slot* end = m_table->slots + m_table->Capacity();
    for (Slot* slot = m_slot + 1; slot < end; ++slot) {
        if (slot->hash) {
            m_slot = slot;
            return;
        }
    }
    *this = KtUHashDictIt(); // past the end: forget the table
}

template class KtUHashDictIt<void*>;
template class KtUHashDictIt<const char*>;
template class KtUHashDictIt<const KtUWChar*>;
template class KtUHashDict<KeyKind::ePointer, void*>;
template class KtUHashDict<KeyKind::eOwnedStr, const char*>;
template class KtUHashDict<KeyKind::eTempStr, const char*>;
template class KtUHashDict<KeyKind::eOwnedWideStr, const KtUWChar*>;
template class KtUHashDict<KeyKind::eTempWideStr, const KtUWChar*>;

//===- KtUHashDict.cpp - Hash dictionary from a key to void* --------------===//
//
// One open-addressed table serves every key kind. Beside the slots
// {key, value} it keeps one control byte per slot: empty, deleted, or seven
// bits of the key's hash. Lookups scan the control bytes sixteen at a time
// and touch a slot only when its seven bits match, so most misses are settled
// in the small control array. Text keys' hashes are kept in a parallel array
// and pointer keys' are recomputed, so growing never reads key memory. The
// hash is the key's (the pointer, or the library's fixed h * 5 + c over the
// text), mixed so that every bit counts.
//
// Values do not live in the slots but in cells of their own, carved from
// chunks that belong to the table and never move: hosts hold the reference
// from Enter while they enter more keys. Growing rebuilds only the slot
// arrays. Cells are handed out in order from the newest chunk, which keeps
// the values of keys entered together close in memory; a removed key's cell
// goes on a free list for the next insert.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUHashDict.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

#include "memory/mem_switches.h"
#include "platform/assert.h"
#include "platform/vm.h"
#include "text/text_ops.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

using ktu::dict::CellChunk;
using ktu::dict::KeyKind;
using ktu::dict::Slot;

namespace {

using ktu::dict::Home;
using ktu::dict::kDeleted;
using ktu::dict::kEmpty;
using ktu::dict::Keys;
using ktu::dict::kGroup;
using ktu::dict::Lookup;
using ktu::dict::Table;
using ktu::dict::Tag;

// Owning kinds keep an exact-size copy of every text key.
template <KeyKind Kind> struct Store {
    static constexpr bool kOwned = Kind == KeyKind::eOwnedStr || Kind == KeyKind::eOwnedWideStr;
    using C = std::conditional_t<Kind == KeyKind::eOwnedStr, char, KtUWChar>;
    static const void* Copy(const void* key) {
        if (!kOwned || !key) return key;
        const C* text = static_cast<const C*>(key);
        return ktu::text::AllocCopy(text, ktu::text::Length(text));
    }
    static void Free(const void* key) {
        if (kOwned && key) {
            C* text = static_cast<C*>(const_cast<void*>(key));
            ktu::text::DeallocUnits(text, ktu::text::Length(text) + 1);
        }
    }
};

// Arrays of a megabyte or more are memory regions of their own, on huge
// pages where the system allows: a large table is touched all over as it
// fills and grows, and on small pages those first touches would cost more
// than the inserts. Smaller arrays come from the C heap. Both are counted by
// KtUMemory.
constexpr size_t kRegionArray = size_t(1) << 20;

[[nodiscard]] void* AllocArray(size_t bytes) {
    if (bytes > 0xFFFFFFFFu) return nullptr; // beyond what the memory manager sizes
    if (bytes < kRegionArray) return KtUMemory::TryMalloc(static_cast<unsigned int>(bytes));
    void* block =
        KtUMemory::TryAllocRegion(static_cast<unsigned int>(bytes), KtUMemory::eLIFETIME_NORMAL);
    if (block) ktu::sys::VmAdviseHugePages(block, bytes);
    return block;
}
void FreeArray(void* block, size_t bytes) {
    if (!block) return;
    if (bytes < kRegionArray)
        KtUMemory::Free(block);
    else
        KtUMemory::DeallocRegion(block, static_cast<unsigned int>(bytes),
                                 KtUMemory::eLIFETIME_NORMAL);
}

size_t CtrlBytes(size_t capacity) {
    return capacity + kGroup - 1;
}

// --- Value cells ---------------------------------------------------------------

// Chunks double with the table's cell count, from 16 cells up to a megabyte,
// so a small dictionary costs one small block and a big one a block per
// 131,000 keys or so.
constexpr unsigned int kFirstChunkCells = 16;
constexpr size_t kMaxChunkBytes = kRegionArray;

// Adds a chunk of at least `want` cells (more when the table is big); false
// when no memory can be had.
[[nodiscard]] bool AddChunk(Table* t, unsigned int want) {
    size_t cells = std::max<size_t>({want, t->cells, kFirstChunkCells});
    size_t bytes = sizeof(CellChunk) + cells * sizeof(void*);
    bytes = std::min(bytes, std::max(kMaxChunkBytes, sizeof(CellChunk) + want * sizeof(void*)));
    auto* chunk = static_cast<CellChunk*>(AllocArray(bytes));
    if (!chunk) return false;
    chunk->next = t->chunks;
    chunk->bytes = bytes;
    t->chunks = chunk;
    // Called when the newest chunk is used up (or on a new table).
    t->fresh = reinterpret_cast<void**>(chunk + 1);
    t->fresh_left = static_cast<unsigned int>((bytes - sizeof(CellChunk)) / sizeof(void*));
    t->cells += t->fresh_left;
    return true;
}

// A cell for a new key, holding null; null when no memory can be had.
[[nodiscard]] void** NewCell(Table* t) {
    void** cell = t->free_cells;
    if (cell) {
        ktu::mem::Unpoison(cell, sizeof(void*));
        t->free_cells = static_cast<void**>(*cell);
    } else {
        if (!t->fresh_left && !AddChunk(t, kFirstChunkCells)) return nullptr;
        cell = t->fresh++;
        --t->fresh_left;
    }
    *cell = nullptr;
    return cell;
}

// Puts a removed key's cell on the free list; the address sanitizer then
// reports writes through a reference kept past the removal.
void FreeCell(Table* t, void** cell) {
    *cell = t->free_cells;
    t->free_cells = cell;
    ktu::mem::Poison(cell, sizeof(void*));
}

void FreeChunks(Table* t) {
    for (CellChunk* c = t->chunks; c;) {
        CellChunk* next = c->next;
        ktu::mem::Unpoison(c, c->bytes);
        FreeArray(c, c->bytes);
        c = next;
    }
    t->chunks = nullptr;
}

// --- Slot arrays -----------------------------------------------------------------

void FreeArrays(Table* t) {
    FreeArray(t->ctrl, CtrlBytes(t->capacity));
    FreeArray(t->slots, size_t(t->capacity) * sizeof(Slot));
    FreeArray(t->hashes, size_t(t->capacity) * sizeof(uint32_t));
    t->ctrl = nullptr;
    t->slots = nullptr;
    t->hashes = nullptr;
}

// Empty slot arrays of the given capacity; false (and t unchanged but for
// null arrays) when memory ran out.
[[nodiscard]] bool NewArrays(Table* t, unsigned int capacity, bool with_hashes) {
    // Probing visits every group only of a power-of-two capacity.
    KTU_ASSERT(capacity >= kGroup && (capacity & (capacity - 1)) == 0);
    t->capacity = capacity;
    t->count = 0;
    t->deleted = 0;
    t->ctrl = static_cast<uint8_t*>(AllocArray(CtrlBytes(capacity)));
    t->slots = static_cast<Slot*>(AllocArray(size_t(capacity) * sizeof(Slot)));
    t->hashes = with_hashes
                    ? static_cast<uint32_t*>(AllocArray(size_t(capacity) * sizeof(uint32_t)))
                    : nullptr;
    if (!t->ctrl || !t->slots || (with_hashes && !t->hashes)) {
        FreeArrays(t);
        return false;
    }
    std::memset(t->ctrl, kEmpty, CtrlBytes(capacity));
    return true;
}

void FreeTable(Table* t) {
    FreeArrays(t);
    FreeChunks(t);
    KtUMemory::Dealloc(t, sizeof(Table), KtUMemory::eALIGN8);
}

template <KeyKind Kind> [[nodiscard]] Table* NewTable(unsigned int capacity) {
    auto* t = static_cast<Table*>(KtUMemory::AllocEx(sizeof(Table), KtUMemory::eALIGN8, 0));
    if (!t) return nullptr;
    std::memset(static_cast<void*>(t), 0, sizeof(Table));
    if (!NewArrays(t, capacity, Kind != KeyKind::ePointer)) {
        FreeTable(t);
        return nullptr;
    }
    return t;
}

bool IsFull(const Table* t, unsigned int i) {
    return t->ctrl[i] < kEmpty;
}

template <KeyKind Kind> void DeleteTable(Table* t) {
    if (!t) return;
    if (Store<Kind>::kOwned)
        for (unsigned int i = 0; i < t->capacity; ++i)
            if (IsFull(t, i)) Store<Kind>::Free(t->slots[i].key);
    FreeTable(t);
}

// Puts a slot at the first empty or deleted place of its probe sequence.
Slot* Place(Table* t, const Slot& slot, unsigned int hash) {
    KTU_ASSERT(t->count + t->deleted < t->capacity); // else the probe never ends
    unsigned int pos = Home(t, hash);
    unsigned int m;
    for (unsigned int step = kGroup; !(m = t->MatchFree(pos)); step += kGroup)
        pos = (pos + step) & t->Mask();
    unsigned int index = (pos + __builtin_ctz(m)) & t->Mask();
    if (t->ctrl[index] == kDeleted) --t->deleted;
    t->SetCtrl(index, Tag(hash));
    t->slots[index] = slot;
    if (t->hashes) t->hashes[index] = hash;
    ++t->count;
    return &t->slots[index];
}

// Rebuilds the slot arrays at the given capacity, dropping deleted marks;
// the cells stay. Slots are re-placed in index order, text keys from their
// stored hashes and pointer keys from a recomputed one (no key memory is
// read), so the result depends only on the table's contents and history.
// False, with the table as it was, when memory ran out.
template <KeyKind Kind> [[nodiscard]] bool Rebuild(Table* t, unsigned int capacity) {
    Table old = *t;
    if (!NewArrays(t, capacity, old.hashes != nullptr)) {
        t->ctrl = old.ctrl;
        t->slots = old.slots;
        t->hashes = old.hashes;
        t->capacity = old.capacity;
        t->count = old.count;
        t->deleted = old.deleted;
        return false;
    }
    for (unsigned int i = 0; i < old.capacity; ++i)
        if (IsFull(&old, i))
            Place(t, old.slots[i], old.hashes ? old.hashes[i] : Keys<Kind>::Hash(old.slots[i].key));
    KTU_ASSERT(t->count == old.count && t->deleted == 0);
    FreeArrays(&old);
    return true;
}

} // namespace

// --- KtUHashDict ---------------------------------------------------------------

template <KeyKind Kind, class K> KtUHashDict<Kind, K>::KtUHashDict(const KtUHashDict& other) {
    *this = other;
}

template <KeyKind Kind, class K>
KtUHashDict<Kind, K>& KtUHashDict<Kind, K>::operator=(const KtUHashDict& other) {
    if (this == &other) return *this;
    RemoveAll();
    const Table* o = other.m_table;
    if (!o || o->count == 0) return *this;
    Table* copy = NewTable<Kind>(o->capacity);
    if (copy && !AddChunk(copy, o->count)) { // one chunk for every value
        FreeTable(copy);
        copy = nullptr;
    }
    if (!copy) return *this;
    // The same positions: the copy iterates in the same order.
    std::memcpy(copy->ctrl, o->ctrl, o->capacity + kGroup - 1);
    for (unsigned int i = 0; i < o->capacity; ++i) {
        if (IsFull(o, i)) {
            void** cell = NewCell(copy);
            *cell = *o->slots[i].cell;
            copy->slots[i] = Slot{Store<Kind>::Copy(o->slots[i].key), cell};
        }
    }
    if (o->hashes) std::memcpy(copy->hashes, o->hashes, o->capacity * sizeof(uint32_t));
    copy->count = o->count;
    copy->deleted = o->deleted;
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
    if (!m_table && !(m_table = NewTable<Kind>(kGroup))) return s_failed = nullptr, s_failed;
    unsigned int hash = Keys<Kind>::Hash(key);
    Table* t = m_table;
    if (Slot* slot = Lookup<Kind>(t, key, hash)) return *slot->cell;
    // At most 7/8 of the slots in use or deleted; rebuilding drops deleted
    // marks and doubles when more than half the slots hold keys.
    if ((t->count + t->deleted + 1) * 8 > t->capacity * 7) {
        unsigned int capacity = (t->count + 1) * 2 > t->capacity ? t->capacity * 2 : t->capacity;
        if (!Rebuild<Kind>(t, capacity) && t->count + t->deleted + 1 >= t->capacity)
            return s_failed = nullptr, s_failed;
    }
    void** cell = NewCell(t);
    if (!cell) return s_failed = nullptr, s_failed;
    const void* copy = Store<Kind>::Copy(key);
    if (key && !copy) { // an owned copy could not be made
        FreeCell(t, cell);
        return s_failed = nullptr, s_failed;
    }
    Place(t, Slot{copy, cell}, hash);
    return *cell;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Enter(K key, void* value) {
    int before = Size();
    Enter(key) = value;
    return Size() > before;
}

template <KeyKind Kind, class K> void* KtUHashDict<Kind, K>::FindAndRemove(K key) {
    if (!m_table) return nullptr;
    Slot* slot = Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    if (!slot) return nullptr;
    void* value = *slot->cell;
    FreeCell(m_table, slot->cell);
    Store<Kind>::Free(slot->key);
    m_table->SetCtrl(static_cast<unsigned int>(slot - m_table->slots), kDeleted);
    *slot = Slot{nullptr, nullptr};
    KTU_ASSERT(m_table->count > 0);
    --m_table->count;
    ++m_table->deleted;
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
        for (unsigned int i = 0; i < m_table->capacity; ++i)
            if (IsFull(m_table, i)) return Iterator(m_table, &m_table->slots[i]);
    return Iterator();
}

// --- KtUHashDictIt -------------------------------------------------------------

template <class K> void KtUHashDictIt<K>::Next() {
    if (!m_slot) return;
    for (auto i = static_cast<unsigned int>(m_slot - m_table->slots) + 1; i < m_table->capacity;
         ++i) {
        if (IsFull(m_table, i)) {
            m_slot = &m_table->slots[i];
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

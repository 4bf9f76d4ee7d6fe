//===- KtUHashDict.h - Open-addressed hash dictionary from a key to void* -===//
//
// KtUHashDict is the one implementation behind the library's dictionaries
// (KtUVoidPtrDict, KtUStrVoidPtrDict, KtUTempStrVoidPtrDict,
// KtUWideStrVoidPtrDict, KtUWideTempStrVoidPtrDict); use those names:
//
//   KtUStrVoidPtrDict parts;                 // owns a copy of every key
//   parts.Enter("bolt", part);               // 1: inserted
//   void* found;
//   if (parts.Find("bolt", &found)) ...
//   for (KtUStrVoidPtrDictIt it = parts.Begin(); it.IsValid(); it.Next())
//       Use(it.GetKey(), it.GetValue());
//
// String keys hash as h = h * 5 + c and compare by content; a null key is
// allowed and equals only another null key. The table is allocated with the
// first element: an open-addressed array of slots {key, value cell} with a
// control byte per slot, probed sixteen at a time and kept at most 7/8
// used. The value cells live apart, in chunks that never move, so the
// reference from Enter and the pointer from Find stay valid until their key
// is removed or the dictionary cleared, however many keys are entered
// meanwhile:
//
//   void*& slot = cache.Enter(key);
//   if (!slot) slot = Build();               // Build may enter more keys
//
// Iteration visits the slots in order, so the order is the same for the same
// sequence of operations.
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUHASHDICT_H
#define KTUTIL_KTUHASHDICT_H

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUTextHash.h>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ktu::dict {

/// How a dictionary treats its keys.
enum class KeyKind {
    ePointer,      ///< void*: the pointer value
    eOwnedStr,     ///< const char*: content; the dictionary keeps a copy
    eTempStr,      ///< const char*: content; the caller keeps the key alive
    eOwnedWideStr, ///< const KtUWChar*: content; a copy is kept
    eTempWideStr,  ///< const KtUWChar*: content; the caller keeps it alive
};

/// One slot of the table: the key and where its value lives. Slots move
/// when the table grows; the cells they point to do not.
struct Slot {
    const void* key;
    void** cell;
};

/// A block of value cells; cells are handed out from the newest chunk and
/// reused through a free list threaded through the free cells themselves.
struct CellChunk {
    CellChunk* next;
    size_t bytes; ///< of the whole block, this header included
};

// The table and the lookup are visible here so that Find inlines into the
// caller's loop; everything else lives in the library.

constexpr unsigned int kGroup = 16;
constexpr uint8_t kEmpty = 0x80;
constexpr uint8_t kDeleted = 0xFE;

/// Slots plus one control byte each: empty, deleted, or 7 bits of the hash;
/// and the value cells, which outlive any one set of slot arrays.
struct Table {
    uint8_t* ctrl; ///< capacity + kGroup - 1 bytes: the tail mirrors the head
    Slot* slots;
    uint32_t* hashes;      ///< text keys' hashes, for growing without reading keys; else null
    unsigned int capacity; ///< a power of two, at least kGroup
    unsigned int count;
    unsigned int deleted;
    void** free_cells;       ///< removed keys' cells, each holding the next
    void** fresh;            ///< the newest chunk's first unused cell
    unsigned int fresh_left; ///< unused cells from there on
    unsigned int cells;      ///< cells in all chunks
    CellChunk* chunks;

    unsigned int Mask() const { return capacity - 1; }
    void SetCtrl(unsigned int i, uint8_t c) {
        ctrl[i] = c;
        if (i < kGroup - 1) ctrl[capacity + i] = c;
    }
    /// Bits of the 16 control bytes at pos that equal c.
    unsigned int Match(unsigned int pos, uint8_t c) const {
#if defined(__SSE2__)
        __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctrl + pos));
        return static_cast<unsigned int>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(g, _mm_set1_epi8(static_cast<char>(c)))));
#else
        unsigned int m = 0;
        for (unsigned int k = 0; k < kGroup; ++k)
            m |= unsigned(ctrl[pos + k] == c) << k;
        return m;
#endif
    }
    /// Bits of the empty or deleted control bytes at pos (their top bit is set).
    unsigned int MatchFree(unsigned int pos) const {
#if defined(__SSE2__)
        __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ctrl + pos));
        return static_cast<unsigned int>(_mm_movemask_epi8(g));
#else
        unsigned int m = 0;
        for (unsigned int k = 0; k < kGroup; ++k)
            m |= unsigned(ctrl[pos + k] >> 7) << k;
        return m;
#endif
    }
};

/// The home position and the control tag of a hash.
inline unsigned int Home(const Table* t, unsigned int hash) {
    return (hash >> 7) & t->Mask();
}
inline uint8_t Tag(unsigned int hash) {
    return static_cast<uint8_t>(hash & 0x7F);
}

/// Spreads the fixed string hash over all 32 bits (the final mix of a
/// well-known 32-bit hash): h * 5 + c alone leaves its high bits weak.
inline unsigned int Mix(unsigned int h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

/// Hashing and equality by key kind (copies and frees are the library's).
template <KeyKind Kind> struct Keys;

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
        return static_cast<unsigned int>(v >> 32);
    }
    static bool Equal(const void* a, const void* b) { return a == b; }
};

template <class C, bool Owned> struct TextKeys {
    static constexpr bool kOwned = Owned;
    /// The library's text hash (h = h * 5 + c), mixed.
    static unsigned int Hash(const void* key) {
        return Mix(ktu::text::Hash(static_cast<const C*>(key)));
    }
    static bool Equal(const void* a, const void* b) {
        if (a == b) return true;
        if (!a || !b) return false;
        if constexpr (sizeof(C) == 1) {
            return __builtin_strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
        } else {
            const C* x = static_cast<const C*>(a);
            const C* y = static_cast<const C*>(b);
            while (*x && *x == *y)
                ++x, ++y;
            return *x == *y;
        }
    }
};

template <> struct Keys<KeyKind::eOwnedStr> : TextKeys<char, true> {};
template <> struct Keys<KeyKind::eTempStr> : TextKeys<char, false> {};
template <> struct Keys<KeyKind::eOwnedWideStr> : TextKeys<KtUWChar, true> {};
template <> struct Keys<KeyKind::eTempWideStr> : TextKeys<KtUWChar, false> {};

/// The key's slot, or null. Groups are probed at home, home + 16,
/// home + 16 + 32, ...: with a power-of-two capacity this visits every group,
/// and the table always keeps empty slots, so every probe ends.
template <KeyKind Kind> inline Slot* Lookup(const Table* t, const void* key, unsigned int hash) {
    uint8_t tag = Tag(hash);
    unsigned int pos = Home(t, hash);
    for (unsigned int step = kGroup;; step += kGroup) {
        for (unsigned int m = t->Match(pos, tag); m; m &= m - 1) {
            Slot* slot = &t->slots[(pos + __builtin_ctz(m)) & t->Mask()];
            if (Keys<Kind>::Equal(slot->key, key)) return slot;
        }
        // An empty byte ends the sequence: the key would have been placed there.
        if (t->Match(pos, kEmpty)) return nullptr;
        pos = (pos + step) & t->Mask();
    }
}

} // namespace ktu::dict

/// Iterator over a KtUHashDict: visits every element once, then is invalid.
template <class K> class KtUHashDictIt {
public:
    KtUHashDictIt() = default;
    bool IsValid() const { return m_slot != nullptr; }
    K GetKey() const { return static_cast<K>(const_cast<void*>(m_slot->key)); }
    void* GetValue() const { return *m_slot->cell; }
    void*& EditValue() const { return *m_slot->cell; }
    void Next();
    void Swap(KtUHashDictIt& other) noexcept {
        KtUHashDictIt t = *this;
        *this = other;
        other = t;
    }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    template <ktu::dict::KeyKind, class> friend class KtUHashDict;
    KtUHashDictIt(const ktu::dict::Table* table, ktu::dict::Slot* slot)
        : m_table(table), m_slot(slot) {}

    const ktu::dict::Table* m_table = nullptr;
    ktu::dict::Slot* m_slot = nullptr;
};

/// Open-addressed hash dictionary from a key to an untyped value (see above).
template <ktu::dict::KeyKind Kind, class K> class KtUHashDict {
public:
    using Iterator = KtUHashDictIt<K>;

    KtUHashDict() = default;
    KtUHashDict(const KtUHashDict& other);
    KtUHashDict& operator=(const KtUHashDict& other);
    KtUHashDict(KtUHashDict&& other) noexcept : m_table(other.m_table) { other.m_table = nullptr; }
    ~KtUHashDict();

    int IsEmpty() const { return Size() == 0; }
    int Size() const;
    /// Inserts key (1) or replaces the value of the key present (0).
    int Enter(K key, void* value);
    /// The key's value slot, inserted with a null value when absent. The slot
    /// stays where it is until the key is removed or the dictionary cleared.
    void*& Enter(K key);
    /// 1 and the value when present, else 0.
    int Find(K key, void** value) const {
        ktu::dict::Slot* slot = FindSlot(key);
        if (slot && value) *value = *slot->cell;
        return slot != nullptr;
    }
    /// The key's value slot, or null.
    void** Find(K key) {
        ktu::dict::Slot* slot = FindSlot(key);
        return slot ? slot->cell : nullptr;
    }
    /// 1 when the key was present and is now removed.
    int Remove(K key);
    /// Removes the key and returns its value; null when absent.
    void* FindAndRemove(K key);
    void RemoveAll();
    /// The first element; invalid when the dictionary is empty.
    Iterator Begin() const;
    void Swap(KtUHashDict& other) noexcept {
        ktu::dict::Table* t = m_table;
        m_table = other.m_table;
        other.m_table = t;
    }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    ktu::dict::Slot* FindSlot(K key) const {
        if (!m_table) return nullptr;
        return ktu::dict::Lookup<Kind>(m_table, key, ktu::dict::Keys<Kind>::Hash(key));
    }

    ktu::dict::Table* m_table = nullptr;
};

// Compiled once, in the library.
extern template class KTU_API KtUHashDictIt<void*>;
extern template class KTU_API KtUHashDictIt<const char*>;
extern template class KTU_API KtUHashDictIt<const KtUWChar*>;
extern template class KTU_API KtUHashDict<ktu::dict::KeyKind::ePointer, void*>;
extern template class KTU_API KtUHashDict<ktu::dict::KeyKind::eOwnedStr, const char*>;
extern template class KTU_API KtUHashDict<ktu::dict::KeyKind::eTempStr, const char*>;
extern template class KTU_API KtUHashDict<ktu::dict::KeyKind::eOwnedWideStr, const KtUWChar*>;
extern template class KTU_API KtUHashDict<ktu::dict::KeyKind::eTempWideStr, const KtUWChar*>;

#endif // KTUTIL_KTUHASHDICT_H

//===- KtUHashDict.h - Chained hash dictionary from a key to void* --------===//
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
// first element; its buckets double when it holds as many elements as
// buckets, and iteration visits bucket by bucket, so the order is the same
// for the same sequence of operations.
//
// Thread safety: none; a dictionary is used by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUHASHDICT_H
#define KTUTIL_KTUHASHDICT_H

#include <ktutil/KtUMemory.h>

namespace ktu::dict {

/// How a dictionary treats its keys.
enum class KeyKind {
    ePointer,      ///< void*: the pointer value
    eOwnedStr,     ///< const char*: content; the dictionary keeps a copy
    eTempStr,      ///< const char*: content; the caller keeps the key alive
    eOwnedWideStr, ///< const KtUWChar*: content; a copy is kept
    eTempWideStr,  ///< const KtUWChar*: content; the caller keeps it alive
};

/// One element: the chain link, the key's hash, the key and the value.
struct Node {
    Node* next;
    unsigned int hash;
    const void* key;
    void* value;
};

struct Table;

} // namespace ktu::dict

/// Iterator over a KtUHashDict: visits every element once, then is invalid.
template <class K> class KtUHashDictIt {
public:
    KtUHashDictIt() = default;
    bool IsValid() const { return m_node != nullptr; }
    K GetKey() const { return static_cast<K>(const_cast<void*>(m_node->key)); }
    void* GetValue() const { return m_node->value; }
    void*& EditValue() const { return m_node->value; }
    void Next();
    void Swap(KtUHashDictIt& other) noexcept {
        KtUHashDictIt t = *this;
        *this = other;
        other = t;
    }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    template <ktu::dict::KeyKind, class> friend class KtUHashDict;
    KtUHashDictIt(const ktu::dict::Table* table, unsigned int bucket, ktu::dict::Node* node)
        : m_table(table), m_bucket(bucket), m_node(node) {}

    const ktu::dict::Table* m_table = nullptr;
    unsigned int m_bucket = 0;
    ktu::dict::Node* m_node = nullptr;
};

/// Chained hash dictionary from a key to an untyped value (see above).
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
    /// The key's value slot, inserted with a null value when absent.
    void*& Enter(K key);
    /// 1 and the value when present, else 0.
    int Find(K key, void** value) const;
    /// The key's value slot, or null.
    void** Find(K key);
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

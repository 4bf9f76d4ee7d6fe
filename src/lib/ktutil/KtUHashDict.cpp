//===- KtUHashDict.cpp - Chained hash dictionary from a key to void* ------===//
//
// Buckets are a power-of-two array of chains. The key hash (the pointer, or
// h * 5 + c over the characters) is kept in each node and spread over the
// buckets by a multiplicative mix, so the weak string hash still fills the
// table evenly. Nodes come from a fast arena owned by the table.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtUHashDict.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

#include "text_ops.h"

#include <cstring>
#include <new>

using ktu::dict::KeyKind;
using ktu::dict::Node;

namespace ktu::dict {

struct Table {
    Node** buckets;
    unsigned int shift; // 32 - log2(bucket count)
    unsigned int count;
    KtUFastArena nodes{sizeof(Node), 8};

    unsigned int BucketCount() const { return 1u << (32 - shift); }
    unsigned int Index(unsigned int hash) const { return (hash * 0x9E3779B1u) >> shift; }
};

} // namespace ktu::dict

namespace {

using ktu::dict::Table;

constexpr unsigned int kInitialShift = 32 - 3; // 8 buckets

// The operations that depend on the key kind.
template <KeyKind Kind> struct Keys;

template <> struct Keys<KeyKind::ePointer> {
    static unsigned int Hash(const void* key) {
        auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
        return static_cast<unsigned int>(v ^ (v >> 32));
    }
    static bool Equal(const void* a, const void* b) { return a == b; }
    static const void* Copy(const void* key) { return key; }
    static void Free(const void*) {}
};

template <class C, bool Owned> struct StrKeys {
    static unsigned int Hash(const void* key) {
        return ktu::text::Hash(static_cast<const C*>(key));
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

Node** AllocBuckets(unsigned int count) {
    auto** buckets =
        static_cast<Node**>(KtUMemory::AllocEx(count * sizeof(Node*), KtUMemory::eALIGN8, 0));
    if (buckets) std::memset(buckets, 0, count * sizeof(Node*));
    return buckets;
}

void FreeBuckets(Node** buckets, unsigned int count) {
    KtUMemory::Dealloc(buckets, count * sizeof(Node*), KtUMemory::eALIGN8);
}

Table* NewTable(unsigned int shift) {
    void* memory = KtUMemory::AllocEx(sizeof(Table), KtUMemory::eALIGN8, 0);
    if (!memory) return nullptr;
    Table* table = new (memory) Table;
    table->shift = shift;
    table->count = 0;
    table->buckets = AllocBuckets(table->BucketCount());
    if (!table->buckets) {
        table->~Table();
        KtUMemory::Dealloc(memory, sizeof(Table), KtUMemory::eALIGN8);
        return nullptr;
    }
    return table;
}

template <KeyKind Kind> void DeleteTable(Table* table) {
    if (!table) return;
    if (Kind != KeyKind::ePointer && Kind != KeyKind::eTempStr && Kind != KeyKind::eTempWideStr)
        for (unsigned int b = 0; b < table->BucketCount(); ++b)
            for (Node* n = table->buckets[b]; n; n = n->next)
                Keys<Kind>::Free(n->key);
    FreeBuckets(table->buckets, table->BucketCount());
    table->~Table();
    KtUMemory::Dealloc(table, sizeof(Table), KtUMemory::eALIGN8);
}

// Doubles the bucket count, keeping every node; chains are rebuilt bucket by
// bucket, so the resulting order depends only on the table's contents.
void Grow(Table* table) {
    unsigned int old_count = table->BucketCount();
    Node** buckets = AllocBuckets(old_count * 2);
    if (!buckets) return; // longer chains, still correct
    Node** old = table->buckets;
    table->buckets = buckets;
    --table->shift;
    for (unsigned int b = 0; b < old_count; ++b) {
        for (Node* n = old[b]; n;) {
            Node* next = n->next;
            Node*& head = buckets[table->Index(n->hash)];
            n->next = head;
            head = n;
            n = next;
        }
    }
    FreeBuckets(old, old_count);
}

// The slot that points at the key's node (or at the chain's end).
template <KeyKind Kind> Node** Lookup(const Table* table, const void* key, unsigned int hash) {
    Node** slot = &table->buckets[table->Index(hash)];
    for (; *slot; slot = &(*slot)->next)
        if ((*slot)->hash == hash && Keys<Kind>::Equal((*slot)->key, key)) return slot;
    return slot;
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
    if (!other.m_table || other.m_table->count == 0) return *this;
    Table* copy = NewTable(other.m_table->shift);
    if (!copy) return *this;
    // Same bucket count and, within each chain, the same order.
    for (unsigned int b = 0; b < other.m_table->BucketCount(); ++b) {
        Node** tail = &copy->buckets[b];
        for (Node* n = other.m_table->buckets[b]; n; n = n->next) {
            auto* node = static_cast<Node*>(copy->nodes.Alloc());
            if (!node) break;
            *node = {nullptr, n->hash, Keys<Kind>::Copy(n->key), n->value};
            *tail = node;
            tail = &node->next;
            ++copy->count;
        }
    }
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
    if (!m_table && !(m_table = NewTable(kInitialShift))) return s_failed = nullptr, s_failed;
    unsigned int hash = Keys<Kind>::Hash(key);
    Node** slot = Lookup<Kind>(m_table, key, hash);
    if (*slot) return (*slot)->value;
    auto* node = static_cast<Node*>(m_table->nodes.Alloc());
    if (!node) return s_failed = nullptr, s_failed;
    *node = {nullptr, hash, Keys<Kind>::Copy(key), nullptr};
    *slot = node;
    if (++m_table->count > m_table->BucketCount()) Grow(m_table);
    return node->value;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Enter(K key, void* value) {
    int before = Size();
    Enter(key) = value;
    return Size() > before;
}

template <KeyKind Kind, class K> int KtUHashDict<Kind, K>::Find(K key, void** value) const {
    if (!m_table) return 0;
    Node* node = *Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    if (!node) return 0;
    if (value) *value = node->value;
    return 1;
}

template <KeyKind Kind, class K> void** KtUHashDict<Kind, K>::Find(K key) {
    if (!m_table) return nullptr;
    Node* node = *Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    return node ? &node->value : nullptr;
}

template <KeyKind Kind, class K> void* KtUHashDict<Kind, K>::FindAndRemove(K key) {
    if (!m_table) return nullptr;
    Node** slot = Lookup<Kind>(m_table, key, Keys<Kind>::Hash(key));
    Node* node = *slot;
    if (!node) return nullptr;
    *slot = node->next;
    void* value = node->value;
    Keys<Kind>::Free(node->key);
    m_table->nodes.Dealloc(node);
    --m_table->count;
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
        for (unsigned int b = 0; b < m_table->BucketCount(); ++b)
            if (Node* n = m_table->buckets[b]) return Iterator(m_table, b, n);
    return Iterator();
}

// --- KtUHashDictIt -------------------------------------------------------------

template <class K> void KtUHashDictIt<K>::Next() {
    if (!m_node) return;
    if ((m_node = m_node->next)) return;
    for (unsigned int b = m_bucket + 1; b < m_table->BucketCount(); ++b) {
        if (Node* n = m_table->buckets[b]) {
            m_bucket = b;
            m_node = n;
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

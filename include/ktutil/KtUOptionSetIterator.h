//===- KtUOptionSetIterator.h - Depth-first walks over an option tree's values ===//
//
//   KtUAutoRefPtr<KtUOptionSet> root = ...;
//   for (KtUOptionSetIterator it(root); it != KtUOptionSetIterator::Invalid(); ++it) {
//       KtUData value;
//       it->GetValue(&value);
//   }
//
// The iterators visit the value entries of a set and of every nested set,
// depth first in entry order: a set entry is not visited itself, its
// entries are, at its place. The reverse iterators visit the same entries in
// the opposite order. An iterator keeps a stack of (set, index) positions
// with a reference on every set in it; two iterators are equal when their
// stacks are. Invalid() has an empty stack, as has an iterator that ran off
// either end (further steps leave it there).
//
// KtUOptionSetIterator, KtUOptionSetConstIterator, KtUOptionSetReverseIterator
// and KtUOptionSetConstReverseIterator are the four directions and constness.
//
// Thread safety: as KtUOptionSet; editing the tree invalidates iterators.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONSETITERATOR_H
#define KTUTIL_KTUOPTIONSETITERATOR_H

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUInt32Vector.h>
#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtUOptionWrapper.h>
#include <ktutil/KtURefPtrVector.h>

/// The walk shared by the four iterators; step is +1 forward, -1 reverse.
class KTU_API KtUOptionSetWalk {
public:
    KtUOptionSetWalk() = default;
    KtUOptionSetWalk(KtUOptionSet* root, int step);

    bool operator==(const KtUOptionSetWalk& other) const;
    bool operator!=(const KtUOptionSetWalk& other) const { return !(*this == other); }
    /// Number of levels on the stack; 0 at the end.
    int GetDepth() const { return m_sets.Size(); }

protected:
    /// Moves by step (+1 or -1) in the walk's own direction.
    void Move(int step);
    const KtUOptionWrapper& Current() const { return m_current; }

private:
    void Settle(int step);

    int m_step = 1;
    KtURefPtrVector<KtUOptionSet> m_sets;
    KtUInt32Vector m_indices;
    KtUOptionWrapper m_current;
};

/// One of the four iterators (see the file comment). The wrapper's members
/// are const (they act on the set, not the wrapper), so the Const forms
/// differ in name only: they document read-only walks.
template <int Step, bool Const> class KtUOptionSetIteratorT : public KtUOptionSetWalk {
public:
    KtUOptionSetIteratorT() = default;
    explicit KtUOptionSetIteratorT(const KtUAutoRefPtr<KtUOptionSet>& root)
        : KtUOptionSetWalk(root.Get(), Step) {}
    template <class Set>
    explicit KtUOptionSetIteratorT(const KtUAutoRefPtr<Set>& root)
        : KtUOptionSetWalk(root.Get(), Step) {}
    static KtUOptionSetIteratorT Invalid() { return KtUOptionSetIteratorT(); }

    const KtUOptionWrapper& operator*() const { return Current(); }
    const KtUOptionWrapper* operator->() const { return &Current(); }
    KtUOptionSetIteratorT& operator++() {
        Move(1);
        return *this;
    }
    KtUOptionSetIteratorT& operator--() {
        Move(-1);
        return *this;
    }
    KtUOptionSetIteratorT operator++(int) {
        KtUOptionSetIteratorT before(*this);
        Move(1);
        return before;
    }
    KtUOptionSetIteratorT operator--(int) {
        KtUOptionSetIteratorT before(*this);
        Move(-1);
        return before;
    }
};

using KtUOptionSetIterator = KtUOptionSetIteratorT<1, false>;
using KtUOptionSetConstIterator = KtUOptionSetIteratorT<1, true>;
using KtUOptionSetReverseIterator = KtUOptionSetIteratorT<-1, false>;
using KtUOptionSetConstReverseIterator = KtUOptionSetIteratorT<-1, true>;

#endif // KTUTIL_KTUOPTIONSETITERATOR_H

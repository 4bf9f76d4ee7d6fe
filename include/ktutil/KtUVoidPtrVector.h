//===- KtUVoidPtrVector.h - Vector of untyped pointers --------------------===//
//
// KtUVoidPtrVector is the library's vector of untyped pointers. Its operations are those of
// KtUBasicVector (growth along the memory manager's size classes, checked
// ItemAt/Insert/Erase, Compare and equality); see KtUBasicVector.h.
//
//   KtUVoidPtrVector items;
//   items.PushBack(&object);
//   int i = items.Find(&object);
//
// The pointer-vector templates (KtUPtrVector and its owning relatives) are
// laid out as a KtUVoidPtrVector. Compare orders by address.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUVOIDPTRVECTOR_H
#define KTUTIL_KTUVOIDPTRVECTOR_H

#include <ktutil/KtUBasicVector.h>

extern template class KtUBasicVector<void*>;

/// Vector of untyped pointers. Not thread-safe: one thread at a time per vector.
class KTU_API KtUVoidPtrVector : public KtUBasicVector<void*> {
public:
    KtUVoidPtrVector() = default;
    KtUVoidPtrVector(void* const* first, void* const* last) : KtUBasicVector(first, last) {}

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUVOIDPTRVECTOR_H

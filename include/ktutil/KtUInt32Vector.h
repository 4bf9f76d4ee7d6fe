//===- KtUInt32Vector.h - Vector of 32-bit integers -----------------------===//
//
// KtUInt32Vector is the library's vector of signed 32-bit integers. Its operations are those of
// KtUBasicVector (growth along the memory manager's size classes, checked
// ItemAt/Insert/Erase, Compare and equality); see KtUBasicVector.h.
//
//   KtUInt32Vector ids;
//   ids.PushBack(-4);
//   ids.PushBack(7);
//   ids.Compare(other);     // signed element order: -1, 0 or 1
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUINT32VECTOR_H
#define KTUTIL_KTUINT32VECTOR_H

#include <ktutil/KtUBasicVector.h>

extern template class KtUBasicVector<int>;

/// Vector of signed 32-bit integers. Not thread-safe: one thread at a time per vector.
class KTU_API KtUInt32Vector : public KtUBasicVector<int> {
public:
    KtUInt32Vector() = default;
    KtUInt32Vector(const int* first, const int* last) : KtUBasicVector(first, last) {}

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUINT32VECTOR_H

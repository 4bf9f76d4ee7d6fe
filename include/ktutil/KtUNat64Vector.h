//===- KtUNat64Vector.h - Vector of unsigned 64-bit integers --------------===//
//
// KtUNat64Vector is the library's vector of unsigned 64-bit integers. Its operations are those of
// KtUBasicVector (growth along the memory manager's size classes, checked
// ItemAt/Insert/Erase, Compare and equality); see KtUBasicVector.h.
//
//   KtUNat64Vector offsets;
//   offsets.Reserve(16);    // exactly 16 elements of capacity
//   offsets.PushBack(1ull << 40);
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAT64VECTOR_H
#define KTUTIL_KTUNAT64VECTOR_H

#include <ktutil/KtUBasicVector.h>

extern template class KtUBasicVector<KtUNat64>;

/// Vector of unsigned 64-bit integers. Not thread-safe: one thread at a time per vector.
class KTU_API KtUNat64Vector : public KtUBasicVector<KtUNat64> {
public:
    KtUNat64Vector() = default;
    KtUNat64Vector(const KtUNat64* first, const KtUNat64* last) : KtUBasicVector(first, last) {}

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUNAT64VECTOR_H

//===- KtUFloatVector.h - Vector of 32-bit floats -------------------------===//
//
// KtUFloatVector is the library's vector of 32-bit floats. Its operations are those of
// KtUBasicVector (growth along the memory manager's size classes, checked
// ItemAt/Insert/Erase, Compare and equality); see KtUBasicVector.h.
//
//   KtUFloatVector xs;
//   xs.SetSize(3);          // three 0.0f
//   xs[1] = 2.5f;
//
// Find, equality and Compare use the float operators: -0.0 equals 0.0, a NaN
// equals nothing and orders neither before nor after any element.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUFLOATVECTOR_H
#define KTUTIL_KTUFLOATVECTOR_H

#include <ktutil/KtUBasicVector.h>

extern template class KtUBasicVector<float>;

/// Vector of 32-bit floats. Not thread-safe: one thread at a time per vector.
class KTU_API KtUFloatVector : public KtUBasicVector<float> {
public:
    KtUFloatVector() = default;
    KtUFloatVector(const float* first, const float* last) : KtUBasicVector(first, last) {}

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUFLOATVECTOR_H

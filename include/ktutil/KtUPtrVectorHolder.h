//===- KtUPtrVectorHolder.h - Read access shared by the managing vectors --===//
//
// KtUOwnPtrVector and KtURefPtrVector keep their elements in a
// KtUPtrVector<T> and differ only in what storing and removing do. The read
// access they share lives here once; use the derived classes.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPTRVECTORHOLDER_H
#define KTUTIL_KTUPTRVECTORHOLDER_H

#include <ktutil/KtUPtrVector.h>

/// The read-only half of a vector that manages its T* elements.
template <typename T> class KtUPtrVectorHolder {
public:
    operator const KtUPtrVector<T>&() const { return m_vec; }
    const KtUPtrVector<T>& GetVector() const { return m_vec; }
    const KtUVoidPtrVector& AsVoidPtrVector() const { return m_vec.AsVoidPtrVector(); }

    T** Begin() { return m_vec.Begin(); }
    T* const* Begin() const { return m_vec.Begin(); }
    T** End() { return m_vec.End(); }
    T* const* End() const { return m_vec.End(); }
    T** begin() { return Begin(); }
    T* const* begin() const { return Begin(); }
    T** end() { return End(); }
    T* const* end() const { return End(); }
    int Size() const { return m_vec.Size(); }
    int Capacity() const { return m_vec.Capacity(); }
    bool Empty() const { return m_vec.Empty(); }
    T* operator[](int index) const { return m_vec[index]; }
    T* ItemAt(int index) const { return m_vec.ItemAt(index); }
    T* Front() const { return m_vec.Front(); }
    T* Back() const { return m_vec.Back(); }

protected:
    KtUPtrVectorHolder() = default;
    ~KtUPtrVectorHolder() = default;

    KtUPtrVector<T> m_vec;
};

#endif // KTUTIL_KTUPTRVECTORHOLDER_H

//===- KtUPtrVector.h - Vector of pointers it does not own ----------------===//
//
// KtUPtrVector<T> is a typed view of a KtUVoidPtrVector: the same layout and
// operations (see KtUBasicVector.h) over T* elements. It does not own them.
//
//   KtUPtrVector<Part> visible;
//   visible.PushBack(part);
//   for (Part* p : visible) p->Draw();
//   PassUntyped(visible.AsVoidPtrVector());
//
// Bad arguments are reported as by KtUVoidPtrVector (ePRECONDITION from the
// KtUVector component, nothing changed).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPTRVECTOR_H
#define KTUTIL_KTUPTRVECTOR_H

#include <ktutil/KtUVoidPtrVector.h>

/// Vector of T* that does not own its elements. Not thread-safe: one thread
/// at a time per vector.
template <typename T> class KtUPtrVector {
public:
    KtUPtrVector() = default;
    KtUPtrVector(T* const* first, T* const* last) : m_vec(Untyped(first), Untyped(last)) {}

    T** Begin() { return Typed(m_vec.Begin()); }
    T* const* Begin() const { return Typed(m_vec.Begin()); }
    T** End() { return Typed(m_vec.End()); }
    T* const* End() const { return Typed(m_vec.End()); }
    T** begin() { return Begin(); }
    T* const* begin() const { return Begin(); }
    T** end() { return End(); }
    T* const* end() const { return End(); }
    int Size() const { return m_vec.Size(); }
    int Capacity() const { return m_vec.Capacity(); }
    bool Empty() const { return m_vec.Empty(); }

    T*& operator[](int index) { return Begin()[index]; }
    T* operator[](int index) const { return Begin()[index]; }
    T* ItemAt(int index) const { return static_cast<T*>(m_vec.ItemAt(index)); }
    T* Front() const { return static_cast<T*>(m_vec.Front()); }
    T* Back() const { return static_cast<T*>(m_vec.Back()); }

    void Reserve(int count) { m_vec.Reserve(count); }
    void SetSize(int count) { m_vec.SetSize(count); }
    void PushBack(T* value) { m_vec.PushBack(ToVoid(value)); }
    void PopBack() { m_vec.PopBack(); }
    T** Insert(T** position, T* value) {
        return Typed(m_vec.Insert(Untyped(position), ToVoid(value)));
    }
    void Insert(T** position, T* const* first, T* const* last) {
        m_vec.Insert(Untyped(position), Untyped(first), Untyped(last));
    }
    T** Erase(T** position) { return Typed(m_vec.Erase(Untyped(position))); }
    T** Erase(T** first, T** last) { return Typed(m_vec.Erase(Untyped(first), Untyped(last))); }
    void Clear() { m_vec.Clear(); }
    void Swap(KtUPtrVector& other) noexcept { m_vec.Swap(other.m_vec); }

    int Find(const T* value) const { return m_vec.Find(ToVoid(value)); }
    void SetFrom(const KtUPtrVector& other) { m_vec.SetFrom(other.m_vec); }
    /// Orders by element address.
    int Compare(const KtUPtrVector& other) const { return m_vec.Compare(other.m_vec); }
    bool operator==(const KtUPtrVector& other) const { return m_vec == other.m_vec; }
    bool operator!=(const KtUPtrVector& other) const { return m_vec != other.m_vec; }

    KtUVoidPtrVector& AsVoidPtrVector() { return m_vec; }
    const KtUVoidPtrVector& AsVoidPtrVector() const { return m_vec; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    static void* ToVoid(const T* p) { return const_cast<void*>(static_cast<const void*>(p)); }
    static T** Typed(void** p) { return reinterpret_cast<T**>(p); }
    static T* const* Typed(void* const* p) { return reinterpret_cast<T* const*>(p); }
    static void** Untyped(T** p) { return reinterpret_cast<void**>(p); }
    static void* const* Untyped(T* const* p) { return reinterpret_cast<void* const*>(p); }

    KtUVoidPtrVector m_vec;
};

#endif // KTUTIL_KTUPTRVECTOR_H

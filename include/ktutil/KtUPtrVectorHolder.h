//===- KtUPtrVectorHolder.h - Read access shared by the managing vectors --===//
//
// KtUOwnPtrVector and KtURefPtrVector keep their elements in a
// KtUPtrVector<T> and differ only in what storing and removing do. What they
// share lives here once: read access, the writable element handle that
// operator[] returns, and SetSize. Use the derived classes.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPTRVECTORHOLDER_H
#define KTUTIL_KTUPTRVECTORHOLDER_H

#include <ktutil/KtUPtrVector.h>

#include <type_traits>

/// The common half of a vector that manages its T* elements. Derived
/// supplies `static void Store(T** slot, T* object)` (replace an element,
/// managing both), `Erase(first, last)` and `kSharesElements` (whether one
/// object may stand in two places).
template <typename T, typename Derived> class KtUPtrVectorHolder {
public:
    /// What the writable operator[] returns: reads as the stored pointer;
    /// assigning a pointer stores it as Derived::Store does. One element
    /// assigned to another is allowed only where objects may be shared: in an
    /// owning vector it would leave one object owned twice, so it does not
    /// compile there (store a copy, or Remove first).
    class Element {
        struct NotAnElement;
        using ElementOrNot = std::conditional_t<Derived::kSharesElements, Element, NotAnElement>;

    public:
        operator T*() const { return *m_slot; }
        T* operator->() const { return *m_slot; }
        T& operator*() const { return **m_slot; }
        Element& operator=(T* object) {
            Derived::Store(m_slot, object);
            return *this;
        }
        Element& operator=(const ElementOrNot& other) { return *this = static_cast<T*>(other); }

    private:
        friend class KtUPtrVectorHolder;
        explicit Element(T** slot) : m_slot(slot) {}
        Element(const Element&) = default;
        T** const m_slot; // const: no implicit assignment that would rebind the handle
    };

    /// Unchecked, as for the plain vectors.
    Element operator[](int index) { return Element(Begin() + index); }
    T* operator[](int index) const { return m_vec[index]; }

    /// Shrinking removes (deletes or releases) the elements beyond count;
    /// growing appends nulls.
    void SetSize(int count) {
        if (count >= 0 && count < Size())
            static_cast<Derived*>(this)->Erase(Begin() + count, End());
        else
            m_vec.SetSize(count);
    }

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
    T* ItemAt(int index) const { return m_vec.ItemAt(index); }
    T* Front() const { return m_vec.Front(); }
    T* Back() const { return m_vec.Back(); }

protected:
    KtUPtrVectorHolder() = default;
    ~KtUPtrVectorHolder() = default;

    KtUPtrVector<T> m_vec;
};

#endif // KTUTIL_KTUPTRVECTORHOLDER_H

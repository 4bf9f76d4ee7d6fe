//===- KtURefPtrVector.h - Vector holding one reference per element -------===//
//
// KtURefPtrVector<T> stores T* and holds one reference on each non-null
// element: storing calls Ref(), removal (PopBack, Erase, Clear, SetSize
// shrinking, Replace) and destruction call Unref(), which destroys an object
// whose count falls from 1 to 0. T has the library's intrusive counts
// (count 0 after construction).
//
//   KtURefPtrVector<Mesh> meshes;
//   meshes.PushBack(new Mesh);              // count 1, held by the vector
//   meshes.Replace(meshes.Begin(), other);  // Ref other, Unref the old one
//   const KtUPtrVector<Mesh>& view = meshes.GetVector();
//   copy.Copy(meshes.GetVector());          // same objects, one more ref each
//
//   meshes[0] = other;                      // as Replace
//   meshes[1] = meshes[0];                  // both hold a reference
//
// Copy construction, assignment and SetFrom share the objects (one more
// reference each), they do not copy them. Insert of a range references each
// inserted element. The writable operator[] returns a small element handle:
// it reads as the stored T*, and assigning to it references the new object
// before releasing the old one, so the count stays right; keep no T*& to an
// element. Bad positions are reported as by the plain vectors
// (ePRECONDITION from KtUVector) and change no count. Writing through
// Begin() bypasses the counting.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUREFPTRVECTOR_H
#define KTUTIL_KTUREFPTRVECTOR_H

#include <ktutil/KtUPtrVectorHolder.h>
#include <ktutil/KtUVector.h>

#include <cstdint>
#include <functional>

/// Vector of T* holding a reference on each element. Not thread-safe: one
/// thread at a time per vector (the counts of T are not touched atomically
/// unless T makes them so).
template <typename T> class KtURefPtrVector : public KtUPtrVectorHolder<T, KtURefPtrVector<T>> {
    using Holder = KtUPtrVectorHolder<T, KtURefPtrVector<T>>;
    friend Holder;

public:
    using Holder::operator[];
    using Holder::Begin;
    using Holder::Empty;
    using Holder::End;
    using Holder::SetSize;
    using Holder::Size;
    KtURefPtrVector() = default;
    KtURefPtrVector(const KtURefPtrVector& other) { Copy(other.m_vec); }
    KtURefPtrVector& operator=(const KtURefPtrVector& other) {
        Copy(other.m_vec);
        return *this;
    }
    ~KtURefPtrVector() { Clear(); }

    void Reserve(int count) { m_vec.Reserve(count); }

    void PushBack(T* object) {
        int before = Size();
        m_vec.PushBack(object);
        if (Size() != before) Ref(object);
    }
    T** Insert(T** position, T* object) {
        T** at = m_vec.Insert(position, object);
        if (at) Ref(object);
        return at;
    }
    /// Inserts the elements of [first, last), one reference each.
    void Insert(T** position, T* const* first, T* const* last) {
        int before = Size();
        // The offset, since inserting may move the storage.
        auto offset = (reinterpret_cast<std::uintptr_t>(position) -
                       reinterpret_cast<std::uintptr_t>(Begin())) /
                      sizeof(T*);
        m_vec.Insert(position, first, last);
        int added = Size() - before;
        for (int i = 0; i < added; ++i)
            Ref(m_vec[static_cast<int>(offset) + i]);
    }
    /// Makes this vector hold the elements of other, as Copy.
    void SetFrom(const KtUPtrVector<T>& other) { Copy(other); }
    void PopBack() {
        if (Empty()) {
            KtUVector::ReportBadArgument(u"KtURefPtrVector::PopBack: empty vector");
            return;
        }
        T* last = m_vec[Size() - 1];
        m_vec.PopBack();
        Unref(last);
    }
    T** Erase(T** position) {
        if (position == End()) {
            KtUVector::ReportBadArgument(u"KtURefPtrVector::Erase: position out of range");
            return nullptr;
        }
        return Erase(position, position + 1);
    }
    T** Erase(T** first, T** last) {
        // The plain vector checks the range; release only what it removed.
        int before = Size();
        T* const* stop = std::less<T**>()(first, last) ? last : first;
        KtUPtrVector<T> removed;
        if (IsInside(first) && IsInside(stop)) removed = KtUPtrVector<T>(first, stop);
        T** next = m_vec.Erase(first, last);
        if (Size() != before)
            for (T* object : removed)
                Unref(object);
        return next;
    }
    /// Releases every element; the capacity is kept.
    void Clear() {
        KtUPtrVector<T> removed(Begin(), End());
        m_vec.Clear();
        for (T* object : removed)
            Unref(object);
    }
    /// Stores object at position (taking a reference) and releases the old
    /// element.
    void Replace(T** position, T* object) {
        if (!IsInside(position) || position == End()) {
            KtUVector::ReportBadArgument(u"KtURefPtrVector::Replace: position out of range");
            return;
        }
        Store(position, object);
    }
    /// Makes this vector hold the elements of other, one reference each.
    void Copy(const KtUPtrVector<T>& other) {
        if (&other == &m_vec) return;
        for (T* object : other)
            Ref(object);
        KtUPtrVector<T> old;
        old.Swap(m_vec);
        m_vec.SetFrom(other);
        for (T* object : old)
            Unref(object);
    }
    void Swap(KtURefPtrVector& other) noexcept { m_vec.Swap(other.m_vec); }

    /// Index of the element that is object (by address), or -1.
    int Find(const T* object) const { return m_vec.Find(object); }
    int Compare(const KtURefPtrVector& other) const { return m_vec.Compare(other.m_vec); }
    bool operator==(const KtURefPtrVector& other) const { return m_vec == other.m_vec; }
    bool operator!=(const KtURefPtrVector& other) const { return m_vec != other.m_vec; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    static constexpr bool kSharesElements = true;
    using Holder::m_vec;
    // References the new element before releasing the old: they may be one.
    static void Store(T** slot, T* object) {
        Ref(object);
        T* old = *slot;
        *slot = object;
        Unref(old);
    }
    static void Ref(T* object) {
        if (object) object->Ref();
    }
    static void Unref(T* object) {
        if (object) object->Unref();
    }
    bool IsInside(T* const* position) const {
        return !std::less<T* const*>()(position, Begin()) &&
               !std::less<T* const*>()(End(), position);
    }
};

#endif // KTUTIL_KTUREFPTRVECTOR_H

//===- KtUOwnPtrVector.h - Vector that owns its pointed-to objects --------===//
//
// KtUOwnPtrVector<T> stores T* and deletes the objects it holds: on removal
// (PopBack, Erase, Clear, SetSize shrinking, Replace*) and on destruction.
// Copying the vector copies every object (T's copy constructor).
//
//   KtUOwnPtrVector<Layer> layers;
//   layers.PushBackOwn(new Layer("a"));       // the vector takes it
//   layers.PushBack(new Layer("b"));          // the same: the plain name
//   layers.PushBackCopy(&prototype);          // stores new Layer(prototype)
//   layers[0] = new Layer("c");               // deletes "a", owns "c"
//   Layer* kept = layers.Remove(layers.Begin());   // the caller owns it now
//   const KtUPtrVector<Layer>& view = layers;       // non-owning view
//   layers.ClearAndTakeOwn();                 // empties without deleting
//
// The plain operations keep their meaning under ownership: PushBack and
// Insert (one object or a range of them) take the objects, SetFrom stores
// copies, and assigning a pointer to operator[] deletes the old object and
// takes the new one (as ReplaceOwn). Assigning one element of an owning
// vector to another does not compile: two places would own one object.
//
// Positions are element pointers as Begin() returns them. A bad position is
// reported as by the plain vectors (ePRECONDITION from KtUVector) and nothing
// is stored, removed or deleted: an object offered to a failed Insert,
// InsertOwn or ReplaceOwn still belongs to the caller. Writing through
// Begin() bypasses ownership: the old object is not deleted.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOWNPTRVECTOR_H
#define KTUTIL_KTUOWNPTRVECTOR_H

#include <ktutil/KtUPtrVectorHolder.h>
#include <ktutil/KtUVector.h>

#include <functional>

/// Vector of T* owning its objects. Not thread-safe: one thread at a time
/// per vector.
template <typename T> class KtUOwnPtrVector : public KtUPtrVectorHolder<T, KtUOwnPtrVector<T>> {
    using Holder = KtUPtrVectorHolder<T, KtUOwnPtrVector<T>>;
    friend Holder;

public:
    using Holder::operator[];
    using Holder::Begin;
    using Holder::Empty;
    using Holder::End;
    using Holder::SetSize;
    using Holder::Size;
    KtUOwnPtrVector() = default;
    KtUOwnPtrVector(const KtUOwnPtrVector& other) { CopyFrom(other.Begin(), other.End()); }
    KtUOwnPtrVector& operator=(const KtUOwnPtrVector& other) {
        if (&other != this) CopyFrom(other.Begin(), other.End());
        return *this;
    }
    ~KtUOwnPtrVector() { Clear(); }

    void Reserve(int count) { m_vec.Reserve(count); }

    void PushBackOwn(T* object) { m_vec.PushBack(object); }
    T** InsertOwn(T** position, T* object) { return m_vec.Insert(position, object); }
    /// Takes object, as PushBackOwn.
    void PushBack(T* object) { PushBackOwn(object); }
    /// Takes object, as InsertOwn; null (object still the caller's) for a bad
    /// position.
    T** Insert(T** position, T* object) { return InsertOwn(position, object); }
    /// Takes the objects of [first, last), which must not be elements of
    /// this vector already.
    void Insert(T** position, T* const* first, T* const* last) {
        const void* f = first;
        const void* l = last;
        if (first != last && std::less<const void*>()(f, End()) &&
            std::less<const void*>()(Begin(), l)) {
            KtUVector::ReportBadArgument(u"KtUOwnPtrVector::Insert: source is this vector");
            return;
        }
        m_vec.Insert(position, first, last);
    }
    /// Replaces the contents with copies of other's objects, as assignment.
    void SetFrom(const KtUPtrVector<T>& other) {
        if (&other != &m_vec) CopyFrom(other.Begin(), other.End());
    }
    /// Stores a new copy of source (null stores null).
    void PushBackCopy(const T* source) { m_vec.PushBack(NewCopy(source)); }
    T** InsertCopy(T** position, const T* source) {
        if (!CheckPosition(position, true, u"KtUOwnPtrVector::InsertCopy: position out of range"))
            return nullptr;
        return m_vec.Insert(position, NewCopy(source));
    }
    /// Deletes the element at position and stores object there.
    void ReplaceOwn(T** position, T* object) {
        if (!CheckPosition(position, false, u"KtUOwnPtrVector::ReplaceOwn: position out of range"))
            return;
        Store(position, object);
    }
    void ReplaceCopy(T** position, const T* source) {
        if (!CheckPosition(position, false, u"KtUOwnPtrVector::ReplaceCopy: position out of range"))
            return;
        Store(position, NewCopy(source));
    }

    void PopBack() { delete PopBackOwn(); }
    /// Removes the last element without deleting it and returns it.
    T* PopBackOwn() {
        if (Empty()) {
            KtUVector::ReportBadArgument(u"KtUOwnPtrVector::PopBack: empty vector");
            return nullptr;
        }
        T* last = m_vec[Size() - 1];
        m_vec.PopBack();
        return last;
    }
    T** Erase(T** position) {
        if (!CheckPosition(position, false, u"KtUOwnPtrVector::Erase: position out of range"))
            return nullptr;
        return Erase(position, position + 1);
    }
    T** Erase(T** first, T** last) {
        if (!CheckPosition(first, true, u"KtUOwnPtrVector::Erase: range out of range") ||
            !CheckPosition(last, true, u"KtUOwnPtrVector::Erase: range out of range"))
            return nullptr;
        if (std::less<T**>()(last, first)) {
            KtUVector::ReportBadArgument(u"KtUOwnPtrVector::Erase: range out of range");
            return nullptr;
        }
        // Take the objects out first, then delete them.
        KtUPtrVector<T> removed(first, last);
        T** next = m_vec.Erase(first, last);
        for (T* object : removed)
            delete object;
        return next;
    }
    /// Removes the element at position without deleting it and returns it.
    T* Remove(T** position) {
        if (!CheckPosition(position, false, u"KtUOwnPtrVector::Remove: position out of range"))
            return nullptr;
        T* object = *position;
        m_vec.Erase(position);
        return object;
    }
    /// Deletes every object; the capacity is kept.
    void Clear() {
        for (T* object : m_vec)
            delete object;
        m_vec.Clear();
    }
    /// Empties the vector without deleting anything: the caller owns the
    /// objects now.
    void ClearAndTakeOwn() { m_vec.Clear(); }
    void Swap(KtUOwnPtrVector& other) noexcept { m_vec.Swap(other.m_vec); }

    /// Index of the element that is object (by address), or -1.
    int Find(const T* object) const { return m_vec.Find(object); }
    /// Position of the element that is object (by address), or null.
    T** FindPtr(T* object) {
        int i = m_vec.Find(object);
        return i < 0 ? nullptr : Begin() + i;
    }
    /// Index of the first element equal to *object by T's operator== (two
    /// nulls are equal, a null equals no object), or -1.
    int FindByValue(const T* object) const {
        for (int i = 0; i < Size(); ++i)
            if (EqualObjects(m_vec[i], object)) return i;
        return -1;
    }
    T** FindPtrByValue(T* object) {
        int i = FindByValue(object);
        return i < 0 ? nullptr : Begin() + i;
    }
    bool EqualByValue(const KtUOwnPtrVector& other) const {
        if (Size() != other.Size()) return false;
        for (int i = 0; i < Size(); ++i)
            if (!EqualObjects(m_vec[i], other.m_vec[i])) return false;
        return true;
    }
    /// Replaces the contents with copies of the objects in [first, last).
    void CopyFrom(T* const* first, T* const* last) {
        if (std::less<T* const*>()(last, first) || (!first && last)) {
            KtUVector::ReportBadArgument(u"KtUOwnPtrVector::CopyFrom: bad source range");
            return;
        }
        KtUOwnPtrVector copies;
        copies.Reserve(static_cast<int>(last - first));
        for (T* const* p = first; p != last; ++p)
            copies.PushBackCopy(*p);
        Swap(copies);
    }

    // Address order and equality, as for KtUPtrVector.
    int Compare(const KtUOwnPtrVector& other) const { return m_vec.Compare(other.m_vec); }
    bool operator==(const KtUOwnPtrVector& other) const { return m_vec == other.m_vec; }
    bool operator!=(const KtUOwnPtrVector& other) const { return m_vec != other.m_vec; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    static constexpr bool kSharesElements = false;
    using Holder::m_vec;
    static void Store(T** slot, T* object) {
        T* old = *slot;
        *slot = object;
        if (old != object) delete old;
    }
    static T* NewCopy(const T* source) { return source ? new T(*source) : nullptr; }
    static bool EqualObjects(const T* a, const T* b) {
        if (!a || !b) return a == b;
        return *a == *b;
    }
    bool CheckPosition(T* const* position, bool allow_end, const KtUWChar* message) const {
        const void* p = position;
        const void* b = Begin();
        const void* e = End();
        bool ok =
            std::less_equal<const void*>()(b, p) &&
            (allow_end ? std::less_equal<const void*>()(p, e) : std::less<const void*>()(p, e));
        if (!ok) KtUVector::ReportBadArgument(message);
        return ok;
    }
};

#endif // KTUTIL_KTUOWNPTRVECTOR_H

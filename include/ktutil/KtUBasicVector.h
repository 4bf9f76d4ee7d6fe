//===- KtUBasicVector.h - Storage and operations shared by the vectors ----===//
//
// KtUBasicVector<T> is the one implementation behind the plain vectors
// (KtUInt32Vector, KtUNat64Vector, KtUFloatVector, KtUVoidPtrVector,
// KtUConstWCharPtrVector). Use those classes; the template is compiled into
// the library for their element types only.
//
//   KtUInt32Vector v;
//   v.PushBack(3);
//   v.Insert(v.Begin(), 1);             // returns the new element's position
//   v.Erase(v.Begin() + 1, v.End());    // removes [first, last)
//   int i = v.Find(1);                  // 0; -1 when absent
//
// A vector is three pointers: begin, end and end of capacity. Storage comes
// from KtUMemory. Capacity grows only when an element is added to a full
// vector, to the memory manager's best block size for one more element, so
// the block is resized in place while it stays in its size class. Reserve(n)
// grows to exactly n elements.
//
// Positions are element pointers as Begin() returns them. Bad arguments (an
// index outside [0, Size()) to ItemAt, a position outside [Begin(), End()],
// Front/Back/PopBack of an empty vector, a negative size) post ePRECONDITION
// from the KtUVector component and change nothing; ItemAt, Front and Back
// then return a zero element and the position-returning calls null. An
// unhandled ePRECONDITION ends the process, as any other. operator[] is not
// checked.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUBASICVECTOR_H
#define KTUTIL_KTUBASICVECTOR_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

/// Vector of trivially copyable elements with KtUMemory storage. Not
/// thread-safe: use one vector from one thread at a time (concurrent reads of
/// an unchanging vector are fine).
template <typename T> class KTU_API KtUBasicVector {
public:
    typedef T ValueType;

    KtUBasicVector() = default;
    KtUBasicVector(const T* first, const T* last);
    KtUBasicVector(const KtUBasicVector& other);
    KtUBasicVector(KtUBasicVector&& other) noexcept
        : m_begin(other.m_begin), m_end(other.m_end), m_cap(other.m_cap) {
        other.m_begin = other.m_end = other.m_cap = nullptr;
    }
    ~KtUBasicVector();

    KtUBasicVector& operator=(const KtUBasicVector& other);
    KtUBasicVector& operator=(KtUBasicVector&& other) noexcept {
        Swap(other);
        return *this;
    }

    T* Begin() { return m_begin; }
    const T* Begin() const { return m_begin; }
    T* End() { return m_end; }
    const T* End() const { return m_end; }
    int Size() const { return static_cast<int>(m_end - m_begin); }
    int Capacity() const { return static_cast<int>(m_cap - m_begin); }
    bool Empty() const { return m_end == m_begin; }
    // For range-based for.
    T* begin() { return m_begin; }
    const T* begin() const { return m_begin; }
    T* end() { return m_end; }
    const T* end() const { return m_end; }

    T& operator[](int index) { return m_begin[index]; }
    const T& operator[](int index) const { return m_begin[index]; }
    /// Checked element read; zero when index is outside [0, Size()).
    T ItemAt(int index) const;
    /// First and last element; zero for an empty vector.
    T Front() const;
    T Back() const;

    /// Grows the capacity to exactly count elements when it is smaller.
    void Reserve(int count);
    /// Shrinks, or grows with zero elements.
    void SetSize(int count);
    void PushBack(T value) {
        if (m_end != m_cap)
            *m_end++ = value;
        else
            PushBackGrow(value);
    }
    void PopBack();
    /// Inserts before position; returns the new element's position.
    T* Insert(T* position, T value);
    /// Inserts the copies of [first, last) before position (the range may lie
    /// in this vector).
    void Insert(T* position, const T* first, const T* last);
    /// Removes one element or [first, last); returns the position that now
    /// holds the element after the removed ones.
    T* Erase(T* position);
    T* Erase(T* first, T* last);
    /// Size 0; the capacity is kept.
    void Clear() { m_end = m_begin; }
    void Swap(KtUBasicVector& other) noexcept;

    /// Index of the first element equal to value, or -1.
    int Find(T value) const;
    void SetFrom(const KtUBasicVector& other);
    /// Lexicographic order (a prefix sorts first): -1, 0 or 1.
    int Compare(const KtUBasicVector& other) const;
    bool operator==(const KtUBasicVector& other) const;
    bool operator!=(const KtUBasicVector& other) const { return !(*this == other); }

private:
    static constexpr KtUMemory::Alignment kAlignment =
        sizeof(T) == 8 ? KtUMemory::eALIGN8 : KtUMemory::eALIGN1;

    void PushBackGrow(T value);
    /// Makes room for extra more elements (growing along the size classes).
    bool GrowFor(int extra);
    bool Reallocate(int capacity);
    bool IsPosition(const T* position) const;

    T* m_begin = nullptr;
    T* m_end = nullptr;
    T* m_cap = nullptr;
};

#endif // KTUTIL_KTUBASICVECTOR_H

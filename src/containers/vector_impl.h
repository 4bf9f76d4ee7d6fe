//===- vector_impl.h - Member definitions of KtUBasicVector ---------------===//
//
// Included only by the sources that instantiate KtUBasicVector for the
// exported element types, so the code exists once, inside the library.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_VECTOR_IMPL_H
#define KTUTIL_VECTOR_IMPL_H

#include <ktutil/KtUBasicVector.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVector.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>

namespace ktu::vec {

// Largest block the memory manager accepts without treating it as a bad size.
inline constexpr KtUNat64 kMaxBytes = 0x7FF00000u;

inline std::uintptr_t Addr(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

} // namespace ktu::vec

template <typename T> KtUBasicVector<T>::KtUBasicVector(const T* first, const T* last) {
    Insert(m_begin, first, last);
}

template <typename T> KtUBasicVector<T>::KtUBasicVector(const KtUBasicVector& other) {
    SetFrom(other);
}

template <typename T> KtUBasicVector<T>::~KtUBasicVector() {
    if (m_begin)
        KtUMemory::Dealloc(m_begin, static_cast<unsigned int>(Capacity() * sizeof(T)), kAlignment);
}

template <typename T> KtUBasicVector<T>& KtUBasicVector<T>::operator=(const KtUBasicVector& other) {
    SetFrom(other);
    return *this;
}

template <typename T> T KtUBasicVector<T>::ItemAt(int index) const {
    if (index < 0 || index >= Size()) {
        KtUVector::ReportBadArgument(u"KtUVector::ItemAt: index out of range");
        return T();
    }
    return m_begin[index];
}

template <typename T> T KtUBasicVector<T>::Front() const {
    if (Empty()) {
        KtUVector::ReportBadArgument(u"KtUVector::Front: empty vector");
        return T();
    }
    return *m_begin;
}

template <typename T> T KtUBasicVector<T>::Back() const {
    if (Empty()) {
        KtUVector::ReportBadArgument(u"KtUVector::Back: empty vector");
        return T();
    }
    return m_end[-1];
}

template <typename T> bool KtUBasicVector<T>::Reallocate(int capacity) {
    unsigned int old_bytes = static_cast<unsigned int>(Capacity() * sizeof(T));
    unsigned int new_bytes = static_cast<unsigned int>(capacity * sizeof(T));
    int size = Size();
    void* block = KtUMemory::Resize(m_begin, old_bytes, new_bytes, kAlignment);
    if (!block) {
        KtUSysError::PostWideString(KtUSysError::eERROR, KtUVector::GetComponent(),
                                    u"KtUVector: out of memory");
        return false;
    }
    m_begin = static_cast<T*>(block);
    m_end = m_begin + size;
    m_cap = m_begin + capacity;
    return true;
}

template <typename T> bool KtUBasicVector<T>::GrowFor(int extra) {
    using ktu::vec::kMaxBytes;
    KtUNat64 need = (static_cast<KtUNat64>(Size()) + extra) * sizeof(T);
    KtUNat64 want = static_cast<KtUNat64>(Capacity() + 1) * sizeof(T);
    if (need > want) want = need;
    if (want > kMaxBytes) {
        KtUVector::ReportBadArgument(u"KtUVector: too many elements");
        return false;
    }
    KtUNat64 best = KtUMemory::GetBestBlockSize(static_cast<unsigned int>(want));
    if (best > kMaxBytes) best = want;
    return Reallocate(static_cast<int>(best / sizeof(T)));
}

template <typename T> void KtUBasicVector<T>::PushBackGrow(T value) {
    if (GrowFor(1)) *m_end++ = value;
}

template <typename T> void KtUBasicVector<T>::Reserve(int count) {
    if (count < 0) {
        KtUVector::ReportBadArgument(u"KtUVector::Reserve: negative size");
        return;
    }
    if (static_cast<KtUNat64>(count) * sizeof(T) > ktu::vec::kMaxBytes) {
        KtUVector::ReportBadArgument(u"KtUVector::Reserve: too many elements");
        return;
    }
    if (count > Capacity()) Reallocate(count);
}

template <typename T> void KtUBasicVector<T>::SetSize(int count) {
    if (count < 0) {
        KtUVector::ReportBadArgument(u"KtUVector::SetSize: negative size");
        return;
    }
    int size = Size();
    if (count <= size) {
        m_end = m_begin + count;
        return;
    }
    if (count > Capacity() && !GrowFor(count - size)) return;
    std::memset(static_cast<void*>(m_end), 0, (count - size) * sizeof(T));
    m_end = m_begin + count;
}

template <typename T> void KtUBasicVector<T>::PopBack() {
    if (Empty()) {
        KtUVector::ReportBadArgument(u"KtUVector::PopBack: empty vector");
        return;
    }
    --m_end;
}

template <typename T> bool KtUBasicVector<T>::IsPosition(const T* position) const {
    using ktu::vec::Addr;
    return Addr(position) >= Addr(m_begin) && Addr(position) <= Addr(m_end) &&
           (Addr(position) - Addr(m_begin)) % sizeof(T) == 0;
}

template <typename T> T* KtUBasicVector<T>::Insert(T* position, T value) {
    if (!IsPosition(position)) {
        KtUVector::ReportBadArgument(u"KtUVector::Insert: position out of range");
        return nullptr;
    }
    int index = static_cast<int>(position - m_begin);
    if (m_end == m_cap && !GrowFor(1)) return nullptr;
    T* at = m_begin + index;
    if (m_end != at) std::memmove(static_cast<void*>(at + 1), at, (m_end - at) * sizeof(T));
    *at = value;
    ++m_end;
    return at;
}

template <typename T> void KtUBasicVector<T>::Insert(T* position, const T* first, const T* last) {
    using ktu::vec::Addr;
    if (!IsPosition(position)) {
        KtUVector::ReportBadArgument(u"KtUVector::Insert: position out of range");
        return;
    }
    if (Addr(first) > Addr(last) || (!first && last)) {
        KtUVector::ReportBadArgument(u"KtUVector::Insert: bad source range");
        return;
    }
    if (first == last) return;
    if (Addr(last) > Addr(m_begin) && Addr(first) < Addr(m_cap)) {
        // The source is (partly) our own storage, which growing may move.
        KtUBasicVector copy(first, last);
        Insert(position, copy.m_begin, copy.m_end);
        return;
    }
    KtUNat64 count = static_cast<KtUNat64>(last - first);
    if (count * sizeof(T) > ktu::vec::kMaxBytes) {
        KtUVector::ReportBadArgument(u"KtUVector::Insert: too many elements");
        return;
    }
    int n = static_cast<int>(count);
    int index = static_cast<int>(position - m_begin);
    if (n > Capacity() - Size() && !GrowFor(n)) return;
    T* at = m_begin + index;
    if (m_end != at) std::memmove(static_cast<void*>(at + n), at, (m_end - at) * sizeof(T));
    std::memcpy(static_cast<void*>(at), first, n * sizeof(T));
    m_end += n;
}

template <typename T> T* KtUBasicVector<T>::Erase(T* position) {
    if (!IsPosition(position) || position == m_end) {
        KtUVector::ReportBadArgument(u"KtUVector::Erase: position out of range");
        return nullptr;
    }
    return Erase(position, position + 1);
}

template <typename T> T* KtUBasicVector<T>::Erase(T* first, T* last) {
    if (!IsPosition(first) || !IsPosition(last) || first > last) {
        KtUVector::ReportBadArgument(u"KtUVector::Erase: range out of range");
        return nullptr;
    }
    if (last != m_end) std::memmove(static_cast<void*>(first), last, (m_end - last) * sizeof(T));
    m_end -= last - first;
    return first;
}

template <typename T> void KtUBasicVector<T>::Swap(KtUBasicVector& other) noexcept {
    T* b = m_begin;
    T* e = m_end;
    T* c = m_cap;
    m_begin = other.m_begin;
    m_end = other.m_end;
    m_cap = other.m_cap;
    other.m_begin = b;
    other.m_end = e;
    other.m_cap = c;
}

template <typename T> int KtUBasicVector<T>::Find(T value) const {
    for (const T* p = m_begin; p != m_end; ++p)
        if (*p == value) return static_cast<int>(p - m_begin);
    return -1;
}

template <typename T> void KtUBasicVector<T>::SetFrom(const KtUBasicVector& other) {
    if (&other == this) return;
    int size = other.Size();
    if (size > Capacity() && !Reallocate(size)) return;
    if (size) std::memcpy(static_cast<void*>(m_begin), other.m_begin, size * sizeof(T));
    m_end = m_begin + size;
}

template <typename T> int KtUBasicVector<T>::Compare(const KtUBasicVector& other) const {
    std::less<T> less;
    const T* a = m_begin;
    const T* b = other.m_begin;
    int n = Size() < other.Size() ? Size() : other.Size();
    for (int i = 0; i < n; ++i) {
        if (less(a[i], b[i])) return -1;
        if (less(b[i], a[i])) return 1;
    }
    return Size() < other.Size() ? -1 : Size() > other.Size() ? 1 : 0;
}

template <typename T> bool KtUBasicVector<T>::operator==(const KtUBasicVector& other) const {
    if (Size() != other.Size()) return false;
    for (const T *a = m_begin, *b = other.m_begin; a != m_end; ++a, ++b)
        if (!(*a == *b)) return false;
    return true;
}

#endif // KTUTIL_VECTOR_IMPL_H

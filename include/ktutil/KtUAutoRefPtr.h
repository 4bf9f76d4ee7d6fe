//===- KtUAutoRefPtr.h - Owning pointer over intrusive reference counts ---===//
//
// KtUAutoRefPtr<T> holds one reference on an object that counts its own
// references (Ref adds one; Unref destroys it when the count falls from 1 to
// 0; a new object's count is 0):
//
//   KtUAutoRefPtr<Stream> s(new Stream);   // count 1
//   KtUAutoRefPtr<Stream> t = s;           // count 2
//   s = nullptr;                           // count 1; t keeps it alive
//
// Thread safety: as the object's own Ref/Unref (the library's are not atomic).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUAUTOREFPTR_H
#define KTUTIL_KTUAUTOREFPTR_H

/// Holds one reference on an intrusively counted object.
template <class T> class KtUAutoRefPtr {
public:
    KtUAutoRefPtr() = default;
    KtUAutoRefPtr(T* object) : m_object(object) {
        if (m_object) m_object->Ref();
    }
    KtUAutoRefPtr(const KtUAutoRefPtr& other) : KtUAutoRefPtr(other.m_object) {}
    KtUAutoRefPtr(KtUAutoRefPtr&& other) noexcept : m_object(other.m_object) {
        other.m_object = nullptr;
    }
    ~KtUAutoRefPtr() {
        if (m_object) m_object->Unref();
    }

    KtUAutoRefPtr& operator=(T* object) {
        // Take the new reference first: assigning the object already held is safe.
        if (object) object->Ref();
        T* old = m_object;
        m_object = object;
        if (old) old->Unref();
        return *this;
    }
    KtUAutoRefPtr& operator=(const KtUAutoRefPtr& other) { return *this = other.m_object; }
    KtUAutoRefPtr& operator=(KtUAutoRefPtr&& other) noexcept {
        if (this != &other) {
            T* old = m_object;
            m_object = other.m_object;
            other.m_object = nullptr;
            if (old) old->Unref();
        }
        return *this;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    bool operator==(const T* object) const { return m_object == object; }
    bool operator!=(const T* object) const { return m_object != object; }

    /// Gives up the reference without releasing it; the caller now holds it.
    T* Detach() {
        T* object = m_object;
        m_object = nullptr;
        return object;
    }

private:
    T* m_object = nullptr;
};

#endif // KTUTIL_KTUAUTOREFPTR_H

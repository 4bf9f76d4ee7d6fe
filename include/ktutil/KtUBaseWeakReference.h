//===- KtUBaseWeakReference.h - Weak references --------------------------===//
//
// KtUBaseWeakReference holds a target's handle without keeping the target
// alive; KtUWeakReference<T> adds the typed access:
//
//   KtUWeakReference<Model> ref(model);
//   if (Model* m = ref.Get()) m->Draw();   // null once the model is deleted
//
// Thread safety: none (see KtUWeakReferenceTarget).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUBASEWEAKREFERENCE_H
#define KTUTIL_KTUBASEWEAKREFERENCE_H

#include <ktutil/KtUWeakReferenceHandle.h>
#include <ktutil/KtUWeakReferenceTarget.h>

/// Untyped weak reference; see KtUWeakReference<T>.
class KTU_API KtUBaseWeakReference {
public:
    ~KtUBaseWeakReference() { Release(); }

    /// No target, or the target is gone.
    bool IsNull() const { return !m_handle || !m_handle->GetTarget(); }
    bool IsNonNull() const { return !IsNull(); }
    /// The reference had a target that has been deleted since.
    bool IsTargetDeleted() const { return m_handle && !m_handle->GetTarget(); }

protected:
    KtUBaseWeakReference() = default;
    explicit KtUBaseWeakReference(KtUWeakReferenceTarget* target)
        : m_handle(KtUWeakReferenceHandle::Ref(target)) {}
    KtUBaseWeakReference(const KtUBaseWeakReference& other) : m_handle(other.m_handle) {
        if (m_handle) m_handle->Ref();
    }
    KtUBaseWeakReference& operator=(const KtUBaseWeakReference& other) {
        Take(other.m_handle ? (other.m_handle->Ref(), other.m_handle) : nullptr);
        return *this;
    }
    KtUBaseWeakReference& operator=(KtUWeakReferenceTarget* target) {
        Take(KtUWeakReferenceHandle::Ref(target));
        return *this;
    }

    KtUWeakReferenceTarget* GetTarget() const { return m_handle ? m_handle->GetTarget() : nullptr; }
    /// The same handle (so the same target, or both null).
    bool Equal(const KtUBaseWeakReference& other) const { return m_handle == other.m_handle; }

private:
    // The new handle is taken before the old one goes, so self-assignment
    // keeps the handle alive.
    void Take(KtUWeakReferenceHandle* handle) {
        Release();
        m_handle = handle;
    }
    void Release() {
        if (m_handle) m_handle->Unref();
        m_handle = nullptr;
    }

    KtUWeakReferenceHandle* m_handle = nullptr;
};

/// Typed weak reference to a T derived from KtUWeakReferenceTarget.
template <class T> class KtUWeakReference : public KtUBaseWeakReference {
public:
    KtUWeakReference() = default;
    KtUWeakReference(T* target) : KtUBaseWeakReference(target) {}
    KtUWeakReference(const KtUWeakReference& other) = default;
    KtUWeakReference& operator=(const KtUWeakReference& other) {
        KtUBaseWeakReference::operator=(other);
        return *this;
    }
    KtUWeakReference& operator=(T* target) {
        KtUBaseWeakReference::operator=(static_cast<KtUWeakReferenceTarget*>(target));
        return *this;
    }

    /// The target, or null once it is gone.
    T* Get() const { return static_cast<T*>(GetTarget()); }
    T* operator->() const { return Get(); }
    bool operator==(const KtUWeakReference& other) const { return Equal(other); }
    bool operator!=(const KtUWeakReference& other) const { return !Equal(other); }

    KTU_DECLARE_ALLOCATION_OPERATORS
};

#endif // KTUTIL_KTUBASEWEAKREFERENCE_H

//===- KtUWeakReferenceHandle.h - Shared handle of weak references --------===//
//
// The meeting point of a target and its weak references: the target pointer
// (null once the target is gone) and a count of references. Created on the
// first reference to a target and freed with the last one. Used through
// KtUWeakReference; rarely directly.
//
// Thread safety: none (see KtUWeakReferenceTarget).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWEAKREFERENCEHANDLE_H
#define KTUTIL_KTUWEAKREFERENCEHANDLE_H

#include <ktutil/KtUMemory.h>

class KtUWeakReferenceTarget;

/// Reference-counted link between a target and its weak references.
class KTU_API KtUWeakReferenceHandle {
public:
    /// The target's handle, created when missing, with one more reference;
    /// null for a null target.
    static KtUWeakReferenceHandle* Ref(KtUWeakReferenceTarget* target);
    void Ref() { ++m_count; }
    /// Drops a reference; the last one detaches the handle from a living
    /// target and frees it.
    void Unref();
    KtUWeakReferenceTarget* GetTarget() const { return m_target; }
    int GetCount() const { return m_count; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUWeakReferenceTarget;
    explicit KtUWeakReferenceHandle(KtUWeakReferenceTarget* target) : m_target(target) {}

    KtUWeakReferenceTarget* m_target;
    int m_count = 0;
};

#endif // KTUTIL_KTUWEAKREFERENCEHANDLE_H

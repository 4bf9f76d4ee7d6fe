//===- KtUWeakReferenceTarget.h - Base of weakly referenced objects -------===//
//
// A class whose objects may be pointed at weakly derives from
// KtUWeakReferenceTarget; holders keep a KtUWeakReference<T>, which finds out
// safely whether the object still exists:
//
//   class Model : public KtUWeakReferenceTarget { ... };
//   KtUWeakReference<Model> ref(model);
//   delete model;
//   ref.IsTargetDeleted();   // true; ref.Get() is null
//
// Target and references meet through a small shared handle that outlives the
// target while references hold it (KtUWeakReferenceHandle).
//
// Thread safety: none; a target and its references are used from one thread
// at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWEAKREFERENCETARGET_H
#define KTUTIL_KTUWEAKREFERENCETARGET_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUWeakReferenceHandle;

/// Base of objects that weak references may point at.
class KTU_API KtUWeakReferenceTarget {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KtUWeakReferenceTarget() = default;
    /// A copy is a new object: it starts without a handle.
    KtUWeakReferenceTarget(const KtUWeakReferenceTarget&) {}
    KtUWeakReferenceTarget& operator=(const KtUWeakReferenceTarget&) { return *this; }
    /// References that still hold the handle see the target as deleted.
    ~KtUWeakReferenceTarget();

    bool HasWeakReferenceHandle() const { return m_handle != nullptr; }
    /// References currently held (0 without a handle).
    int GetNumWeakReferences() const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUWeakReferenceHandle;
    KtUWeakReferenceHandle* m_handle = nullptr;
};

#endif // KTUTIL_KTUWEAKREFERENCETARGET_H

//===- KtUSysCondition.h - Operating-system wake-up signal ----------------===//
//
//   cond.Create();
//   lock.Lock();
//   cond.Wait(lock);      // releases the lock while waiting
//   ...                   // another thread: cond.Signal();
//
// An auto-reset event created signalled: Signal lets one waiter (or the
// next Wait) pass; the first Wait after creation passes at once.
//
// Thread safety: Signal and Wait from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSCONDITION_H
#define KTUTIL_KTUSYSCONDITION_H

#include <ktutil/KtUSysLock.h>

/// Auto-reset wake-up signal with int results.
class KTU_API KtUSysCondition {
public:
    int Create();
    int Destroy();
    int Signal();
    /// Releases lock, waits for the signal, takes lock again.
    int Wait(KtUSysLock& lock);
    /// Whether Create succeeded and Destroy has not been called since.
    int IsCreated() const { return m_event != nullptr; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void* m_event = nullptr;
};

#endif // KTUTIL_KTUSYSCONDITION_H

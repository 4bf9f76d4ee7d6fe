//===- KtUActionQueueLock.h - Scoped edit lock of an action queue ---------===//
//
//   {
//       KtUActionQueueLock edit(&queue, KtUActionQueue::eDO_NOT_WAIT);
//       if (edit.IsLocked()) Inspect(*queue.EditQueue());
//   }
//
// Thread safety: the queue owner's thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUACTIONQUEUELOCK_H
#define KTUTIL_KTUACTIONQUEUELOCK_H

#include <ktutil/KtUActionQueue.h>

/// Scoped edit lock of a KtUActionQueue: the workers take no new work while
/// it lives. A second edit lock on a locked queue does not lock.
class KTU_API KtUActionQueueLock {
public:
    KtUActionQueueLock(KtUActionQueue* queue, KtUActionQueue::EWaitType wait_type);
    ~KtUActionQueueLock();
    KtUActionQueueLock(const KtUActionQueueLock&) = delete;
    KtUActionQueueLock& operator=(const KtUActionQueueLock&) = delete;

    int IsLocked() const { return m_locked; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUActionQueue* m_queue;
    int m_locked = 0;
};

#endif // KTUTIL_KTUACTIONQUEUELOCK_H

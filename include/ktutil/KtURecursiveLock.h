//===- KtURecursiveLock.h - Lock its owner may take again -----------------===//
//
//   lock.Lock();
//   lock.Lock();      // the owner again: passes
//   lock.Unlock();
//   lock.Unlock();    // now another thread may take it
//
// Thread safety: Lock/Unlock from any thread; unlocking a lock that is not
// held posts error 18.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTURECURSIVELOCK_H
#define KTUTIL_KTURECURSIVELOCK_H

#include <ktutil/KtULock.h>

/// Lock with an owner and a hold count; waiters park on a release event.
class KTU_API KtURecursiveLock {
public:
    KtURecursiveLock();
    ~KtURecursiveLock();
    KtURecursiveLock(const KtURecursiveLock&) = delete;
    KtURecursiveLock& operator=(const KtURecursiveLock&) = delete;

    void Lock();
    void Unlock();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysLock m_mutex;
    int m_count = 0;
    unsigned int m_owner = 0;
    void* m_released; // auto-reset event, created signalled
};

#endif // KTUTIL_KTURECURSIVELOCK_H

//===- KtULock.h - Mutex of the application layer --------------------------===//
//
//   static KtULock s_lock;
//   {
//       KtUCritical hold(s_lock);     // locked until the end of the scope
//       ...
//   }
//
// Failures of the lock family post eERROR from the "KtULock" component with
// a fixed id and the object as data (see the ids in KtULock.cpp).
//
// Thread safety: Lock/Unlock from any thread; the mutex is recursive.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTULOCK_H
#define KTUTIL_KTULOCK_H

#include <ktutil/KtUSysLock.h>

class KtUComponent;

/// Mutex that reports its failures through KtUError.
class KTU_API KtULock {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KtULock();
    ~KtULock();
    KtULock(const KtULock&) = delete;
    KtULock& operator=(const KtULock&) = delete;

    void Lock() { m_lock.Lock(); }
    void Unlock() { m_lock.Unlock(); }
    /// The system mutex, for KtUCondition::Wait.
    KtUSysLock& GetSysLock() { return m_lock; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysLock m_lock;
};

/// Holds a KtULock for its scope.
class KTU_API KtUCritical {
public:
    explicit KtUCritical(KtULock& lock) : m_lock(&lock) { m_lock->Lock(); }
    ~KtUCritical() { m_lock->Unlock(); }
    KtUCritical(const KtUCritical&) = delete;
    KtUCritical& operator=(const KtUCritical&) = delete;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtULock* m_lock;
};

namespace ktu::sys {
/// The "KtULock" component the lock family posts from.
KTU_API KtUComponent* LockComponent();
} // namespace ktu::sys

#endif // KTUTIL_KTULOCK_H

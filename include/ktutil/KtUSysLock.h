//===- KtUSysLock.h - Operating-system mutex ------------------------------===//
//
//   KtUSysLock lock;
//   if (lock.Create()) { lock.Lock(); ...; lock.Unlock(); lock.Destroy(); }
//
// A thin wrapper: every operation returns non-zero on success. The mutex is
// recursive, as the system mutex it stands for: its owner may take it again
// and releases it as often.
//
// Thread safety: Lock/Unlock from any thread; Create/Destroy from one.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSLOCK_H
#define KTUTIL_KTUSYSLOCK_H

#include <ktutil/KtUMemory.h>

/// Recursive operating-system mutex with int results.
class KTU_API KtUSysLock {
public:
    int Create();
    int Destroy();
    int Lock();
    int Unlock();
    int IsCreated() const { return m_handle != nullptr; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void* m_handle = nullptr;
};

#endif // KTUTIL_KTUSYSLOCK_H

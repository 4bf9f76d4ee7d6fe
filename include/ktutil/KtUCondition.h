//===- KtUCondition.h - Wake-up signal of the application layer -----------===//
//
//   KtUCondition ready;            // created signalled
//   lock.Lock();
//   ready.Wait(lock);              // the first Wait passes at once
//   ...                            // another thread: ready.Signal();
//
// Thread safety: Signal and Wait from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUCONDITION_H
#define KTUTIL_KTUCONDITION_H

#include <ktutil/KtULock.h>
#include <ktutil/KtUSysCondition.h>

/// Auto-reset wake-up signal that reports failures through KtUError.
class KTU_API KtUCondition {
public:
    KtUCondition();
    ~KtUCondition();
    KtUCondition(const KtUCondition&) = delete;
    KtUCondition& operator=(const KtUCondition&) = delete;

    void Signal() { m_condition.Signal(); }
    /// Releases lock, waits for the signal, takes lock again.
    void Wait(KtULock& lock) { m_condition.Wait(lock.GetSysLock()); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysCondition m_condition;
};

#endif // KTUTIL_KTUCONDITION_H

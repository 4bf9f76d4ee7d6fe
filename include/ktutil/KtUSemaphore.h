//===- KtUSemaphore.h - Counting semaphore of the application layer -------===//
//
//   KtUSemaphore items;     // count 0
//   items.Inc();            // producer
//   items.Dec();            // consumer waits for a unit
//
// Thread safety: Inc and Dec from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSEMAPHORE_H
#define KTUTIL_KTUSEMAPHORE_H

#include <ktutil/KtUSysSemaphore.h>

/// Counting semaphore that reports failures through KtUError.
class KTU_API KtUSemaphore {
public:
    KtUSemaphore();
    ~KtUSemaphore();
    KtUSemaphore(const KtUSemaphore&) = delete;
    KtUSemaphore& operator=(const KtUSemaphore&) = delete;

    void Inc() { m_semaphore.Inc(); }
    void Dec() { m_semaphore.Dec(); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysSemaphore m_semaphore;
};

#endif // KTUTIL_KTUSEMAPHORE_H

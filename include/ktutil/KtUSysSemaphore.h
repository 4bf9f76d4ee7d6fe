//===- KtUSysSemaphore.h - Operating-system counting semaphore ------------===//
//
//   sem.Create();       // count 0
//   sem.Inc();          // producer
//   sem.Dec();          // consumer: waits for a unit
//
// Count starts at 0; at most 0x0FFFFFFF units. Results are non-zero on
// success.
//
// Thread safety: Inc and Dec from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSSEMAPHORE_H
#define KTUTIL_KTUSYSSEMAPHORE_H

#include <ktutil/KtUMemory.h>

/// Counting semaphore with int results.
class KTU_API KtUSysSemaphore {
public:
    static constexpr int kMaxCount = 0x0FFFFFFF;

    int Create();
    int Destroy();
    /// Releases one unit; 0 when the count is at its maximum.
    int Inc();
    /// Waits for a unit and takes it.
    int Dec();
    /// Whether Create succeeded and Destroy has not been called since.
    int IsCreated() const { return m_handle != nullptr; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void* m_handle = nullptr;
};

#endif // KTUTIL_KTUSYSSEMAPHORE_H

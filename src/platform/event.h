//===- event.h - Events of the platform layer -----------------------------===//
//
// The synchronisation classes were designed around events: a flag that
// threads wait for, reset by a successful wait (auto-reset) or only
// explicitly (manual-reset). ktu::sys::Event builds one from a pthread mutex
// and condition variable.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_EVENT_H
#define KTUTIL_SYS_EVENT_H

#include "platform/export.h"

#include <pthread.h>

namespace ktu::sys {

class Event {
public:
    Event(bool manual_reset, bool signalled);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    /// False when the system objects could not be created.
    bool IsValid() const { return m_valid; }
    void Set();
    void Reset();
    bool IsSet() const;
    /// Waits until set (an auto-reset event is reset by the wait that passes).
    /// timeout_ms < 0 waits forever. Returns false on time-out.
    bool Wait(int timeout_ms = -1);

private:
    mutable pthread_mutex_t m_mutex;
    pthread_cond_t m_cond;
    bool m_manual;
    bool m_state;
    bool m_valid;
};

/// A counting semaphore of the system, behind KtUSysSemaphore: a count that
/// Post raises and Wait lowers, waiting while it is zero.
struct Semaphore;
/// Starts at zero; null when the system refuses.
Semaphore* SemaphoreCreate();
/// Frees the semaphore; false (and nothing freed) when the system refuses.
bool SemaphoreDestroy(Semaphore* semaphore);
/// Raises the count unless it has reached max; false then or on failure.
bool SemaphorePost(Semaphore* semaphore, int max);
/// Waits until the count is above zero and lowers it; interruptions by
/// signals do not end the wait.
bool SemaphoreWait(Semaphore* semaphore);

/// Adds ms milliseconds to the current CLOCK_MONOTONIC time.
void DeadlineAfter(int ms, struct timespec* out);

/// Test hook: the next count creations of a KtUSysCondition or
/// KtUSysSemaphore on the calling thread fail as if the system had refused
/// them, so that the failure paths can be exercised.
KTU_INTERNAL_API void RefuseCreationsForTest(int count);
/// Whether a creation on the calling thread is to fail (uses up one).
bool CreationRefusedForTest();

} // namespace ktu::sys

#endif // KTUTIL_SYS_EVENT_H

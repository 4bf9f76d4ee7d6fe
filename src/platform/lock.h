//===- lock.h - Recursive mutex of the platform layer ---------------------===//
//
// ktu::sys::RecursiveMutex is the lock behind the process-wide services (error
// reporting, the memory manager). It is a futex-based recursive mutex whose
// uncontended acquire and release are one atomic operation each, and it is
// constant-initialised, so a static one works before any constructor runs.
//
// LockIfThreaded() skips the atomics while the process has a single thread
// (glibc's __libc_single_threaded): the memory manager's hot path pays nothing
// for locking until a second thread exists. The returned token must be handed
// back to UnlockIfThreaded(). Code holding such a token must not start threads.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_LOCK_H
#define KTUTIL_SYS_LOCK_H

#include <ktutil/KtUDefs.h>

#include <atomic>
#include <cstdint>
#include <sys/single_threaded.h>

namespace ktu::sys {

/// The calling thread's kernel thread id (cached per thread).
uint32_t CurrentThreadId();

/// True while the process has only ever had one thread. Inline: it sits on
/// the memory manager's allocation fast path.
inline bool IsSingleThreaded() {
#if KTU_HAS_TSAN
    // TSan must see every lock to model happens-before correctly.
    return false;
#else
    return __libc_single_threaded != 0;
#endif
}

/// The same fact in every build: under TSan IsSingleThreaded() answers
/// false so that every lock is seen, this one does not. The memory manager's
/// per-thread caches start with the second thread in all builds.
inline bool HasOneThread() {
    return __libc_single_threaded != 0;
}

class RecursiveMutex {
public:
    constexpr RecursiveMutex() = default;
    RecursiveMutex(const RecursiveMutex&) = delete;
    RecursiveMutex& operator=(const RecursiveMutex&) = delete;

    void Lock();
    bool TryLock();
    void Unlock();
    bool IsHeldByCurrentThread() const;

    /// Locks unless the process is single-threaded; returns whether it locked.
    bool LockIfThreaded() {
        if (IsSingleThreaded()) return false;
        Lock();
        return true;
    }
    void UnlockIfThreaded(bool locked) {
        if (locked) Unlock();
    }

private:
    // 0 free, 1 held, 2 held with waiters.
    std::atomic<uint32_t> m_state{0};
    std::atomic<uint32_t> m_owner{0};
    uint32_t m_depth = 0;
};

/// Scoped Lock/Unlock.
class LockGuard {
public:
    explicit LockGuard(RecursiveMutex& m) : m_mutex(m) { m_mutex.Lock(); }
    ~LockGuard() { m_mutex.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveMutex& m_mutex;
};

/// Scoped LockIfThreaded/UnlockIfThreaded.
class FastLockGuard {
public:
    explicit FastLockGuard(RecursiveMutex& m) : m_mutex(m), m_locked(m.LockIfThreaded()) {}
    ~FastLockGuard() { m_mutex.UnlockIfThreaded(m_locked); }
    FastLockGuard(const FastLockGuard&) = delete;
    FastLockGuard& operator=(const FastLockGuard&) = delete;

private:
    RecursiveMutex& m_mutex;
    bool m_locked;
};

/// The system thread library's recursive mutex, behind KtUSysLock. Slower
/// than RecursiveMutex but strict: unlocking a mutex the calling thread does
/// not hold fails, and so does destroying a mutex that is held.
struct SystemMutex;
/// Null when the system refuses.
SystemMutex* SystemMutexCreate();
/// Frees the mutex; false (and nothing freed) while it is held.
bool SystemMutexDestroy(SystemMutex* mutex);
bool SystemMutexLock(SystemMutex* mutex);
bool SystemMutexUnlock(SystemMutex* mutex);

} // namespace ktu::sys

#endif // KTUTIL_SYS_LOCK_H

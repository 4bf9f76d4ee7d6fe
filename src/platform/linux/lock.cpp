//===- lock.cpp - Futex-based recursive mutex -----------------------------===//
#include "platform/lock.h"

#include <linux/futex.h>
#include <new>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ktu::sys {

uint32_t CurrentThreadId() {
    static thread_local uint32_t tid = 0;
    if (tid == 0) tid = static_cast<uint32_t>(syscall(SYS_gettid));
    return tid;
}

static void FutexWait(std::atomic<uint32_t>* addr, uint32_t value) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(addr), FUTEX_WAIT_PRIVATE, value, nullptr,
            nullptr, 0);
}

static void FutexWakeOne(std::atomic<uint32_t>* addr) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(addr), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr,
            0);
}

void RecursiveMutex::Lock() {
    uint32_t self = CurrentThreadId();
    if (m_owner.load(std::memory_order_relaxed) == self) {
        ++m_depth;
        return;
    }
    uint32_t expected = 0;
    if (!m_state.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
        // Contended: announce a waiter and sleep until the holder releases.
        if (expected != 2) expected = m_state.exchange(2, std::memory_order_acquire);
        while (expected != 0) {
            FutexWait(&m_state, 2);
            expected = m_state.exchange(2, std::memory_order_acquire);
        }
    }
    m_owner.store(self, std::memory_order_relaxed);
    m_depth = 1;
}

bool RecursiveMutex::TryLock() {
    uint32_t self = CurrentThreadId();
    if (m_owner.load(std::memory_order_relaxed) == self) {
        ++m_depth;
        return true;
    }
    uint32_t expected = 0;
    if (!m_state.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                         std::memory_order_relaxed))
        return false;
    m_owner.store(self, std::memory_order_relaxed);
    m_depth = 1;
    return true;
}

void RecursiveMutex::Unlock() {
    if (--m_depth != 0) return;
    m_owner.store(0, std::memory_order_relaxed);
    if (m_state.exchange(0, std::memory_order_release) == 2) FutexWakeOne(&m_state);
}

bool RecursiveMutex::IsHeldByCurrentThread() const {
    return m_owner.load(std::memory_order_relaxed) == CurrentThreadId();
}

// --- SystemMutex: a recursive pthread mutex --------------------------------

struct SystemMutex {
    pthread_mutex_t mutex;
};

SystemMutex* SystemMutexCreate() {
    auto* m = new (std::nothrow) SystemMutex;
    if (!m) return nullptr;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(&m->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        delete m;
        return nullptr;
    }
    return m;
}

bool SystemMutexDestroy(SystemMutex* mutex) {
    if (pthread_mutex_destroy(&mutex->mutex) != 0) return false;
    delete mutex;
    return true;
}

bool SystemMutexLock(SystemMutex* mutex) {
    return pthread_mutex_lock(&mutex->mutex) == 0;
}

bool SystemMutexUnlock(SystemMutex* mutex) {
    return pthread_mutex_unlock(&mutex->mutex) == 0;
}

} // namespace ktu::sys

//===- thread.cpp - Threads over pthreads, priorities as nice values ------===//
#include "platform/thread.h"

#include "platform/event.h"
#include "platform/fault.h"
#include "platform/lock.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ktu::sys {

// What a new thread needs before it runs the caller's function. The creator
// waits until the thread has applied its priority.
struct ThreadRecord {
    pthread_t thread{};
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    int priority = 0;
    Event ready{true, false};
    bool priority_ok = false;
    bool priority_refused = false;
    // The owner and the thread each hold the record; the last one frees it
    // (the owner may give up a thread it never waits for).
    std::atomic<int> refs{2};

    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

namespace {

// Raising a priority lowers the thread's nice value (1: by 5, 2: by 10,
// 3: to -20), which needs CAP_SYS_NICE or a high enough RLIMIT_NICE. Without
// them the thread keeps its nice value and *refused is set.
bool RaisePriority(id_t tid, int priority, bool* refused) {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) return false;
    int target = priority == 3 ? -20 : nice - (priority == 2 ? 10 : 5);
    if (target < -20) target = -20;
    if (target >= nice || setpriority(PRIO_PROCESS, tid, target) == 0) return true;
    if (errno != EPERM && errno != EACCES) return false;
    *refused = true;
    return true;
}

bool ApplyPriority(int priority, bool* refused) {
    if (priority == -3) {
        sched_param param{};
        return pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
    }
    if (priority == -2 || priority == -1) {
        // Nice values are per thread on Linux (setpriority on the tid).
        int tid = static_cast<int>(CurrentThreadId());
        int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        nice += priority == -2 ? 10 : 5;
        return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice > 19 ? 19 : nice) == 0;
    }
    if (priority > 0) return RaisePriority(static_cast<id_t>(CurrentThreadId()), priority, refused);
    return true;
}

void* ThreadMain(void* p) {
    ThreadAltStack alt_stack; // lets a stack overflow here reach the crash handler
    auto* start = static_cast<ThreadRecord*>(p);
    start->priority_ok = ApplyPriority(start->priority, &start->priority_refused);
    bool run = start->priority_ok;
    void (*fn)(void*) = start->fn;
    void* arg = start->arg;
    start->ready.Set();
    if (run) fn(arg);
    start->Release();
    return nullptr;
}

} // namespace

ThreadRecord* StartThread(void (*fn)(void*), void* arg, int priority, bool* priority_refused) {
    auto* start = new (std::nothrow) ThreadRecord;
    if (!start || !start->ready.IsValid()) {
        delete start;
        return nullptr;
    }
    start->fn = fn;
    start->arg = arg;
    start->priority = priority;
    if (pthread_create(&start->thread, nullptr, ThreadMain, start) != 0) {
        delete start;
        return nullptr;
    }
    start->ready.Wait();
    if (priority_refused) *priority_refused = start->priority_refused;
    if (!start->priority_ok) {
        pthread_join(start->thread, nullptr);
        start->Release();
        return nullptr;
    }
    return start;
}

bool JoinThread(ThreadRecord* thread) {
    int rc = pthread_join(thread->thread, nullptr);
    thread->Release();
    return rc == 0;
}

void AbandonThread(ThreadRecord* thread) {
    pthread_detach(thread->thread);
    thread->Release();
}

void ExitThread() {
    pthread_exit(nullptr);
}

int ProcessorCount() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

int NewThreadExitHook(void (*fn)(void* value)) {
    pthread_key_t key;
    if (pthread_key_create(&key, fn) != 0) return -1;
    return static_cast<int>(key);
}

bool SetThreadExitValue(int hook, void* value) {
    return hook >= 0 && pthread_setspecific(static_cast<pthread_key_t>(hook), value) == 0;
}

bool AtFork(void (*prepare)(), void (*parent)(), void (*child)()) {
    return pthread_atfork(prepare, parent, child) == 0;
}

} // namespace ktu::sys

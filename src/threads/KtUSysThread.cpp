//===- KtUSysThread.cpp - Operating-system thread -------------------------===//
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysThread.h>

#include "platform/event.h"
#include "platform/fault.h"
#include "platform/lock.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// What a new thread needs before it runs the caller's function. The creator
// waits until the thread has applied its priority, as a thread created
// suspended, given its priority and resumed would.
struct Start {
    pthread_t thread{};
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    int priority = 0;
    ktu::sys::Event ready{true, false};
    bool priority_ok = false;
    // The owner and the thread each hold the record; the last one frees it
    // (the owner may give up a thread it never waits for).
    std::atomic<int> refs{2};

    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
};

// Raising a priority lowers the thread's nice value (1: by 5, 2: by 10,
// 3: to -20), which needs CAP_SYS_NICE or a high enough RLIMIT_NICE. Without
// them the thread runs at normal priority, and the process log says so once.
bool RaisePriority(id_t tid, int priority) {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) return false;
    int target = priority == 3 ? -20 : nice - (priority == 2 ? 10 : 5);
    if (target < -20) target = -20;
    if (target >= nice || setpriority(PRIO_PROCESS, tid, target) == 0) return true;
    if (errno != EPERM && errno != EACCES) return false;
    static std::atomic<bool> s_logged{false};
    if (!s_logged.exchange(true))
        KtUSysError::LogUTF8String(
            "KtUSysThread::SetPriority: no privilege to raise a thread's priority "
            "(CAP_SYS_NICE or RLIMIT_NICE); threads run at normal priority\n");
    return true;
}

bool ApplyPriority(int priority) {
    if (priority == -3) {
        sched_param param{};
        return pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0;
    }
    if (priority == -2 || priority == -1) {
        // Nice values are per thread on Linux (setpriority on the tid).
        int tid = static_cast<int>(ktu::sys::CurrentThreadId());
        int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        nice += priority == -2 ? 10 : 5;
        return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice > 19 ? 19 : nice) == 0;
    }
    if (priority > 0)
        return RaisePriority(static_cast<id_t>(ktu::sys::CurrentThreadId()), priority);
    return true;
}

void* ThreadMain(void* p) {
    ktu::sys::ThreadAltStack alt_stack; // lets a stack overflow here reach the crash handler
    auto* start = static_cast<Start*>(p);
    start->priority_ok = ApplyPriority(start->priority);
    bool run = start->priority_ok;
    void (*fn)(void*) = start->fn;
    void* arg = start->arg;
    start->ready.Set();
    if (run) fn(arg);
    start->Release();
    return nullptr;
}

} // namespace

KtUSysThread::~KtUSysThread() {
    // A thread never waited for is detached so that its resources go with it.
    if (auto* start = static_cast<Start*>(m_handle)) {
        pthread_detach(start->thread);
        start->Release();
    }
}

int KtUSysThread::Create(void (*fn)(void*), void* arg, int priority) {
    if (m_handle || !fn || priority < -3 || priority > 3) return 0;
    auto* start = new (std::nothrow) Start;
    if (!start || !start->ready.IsValid()) {
        delete start;
        return 0;
    }
    start->fn = fn;
    start->arg = arg;
    start->priority = priority;
    if (pthread_create(&start->thread, nullptr, ThreadMain, start) != 0) {
        delete start;
        return 0;
    }
    start->ready.Wait();
    if (!start->priority_ok) {
        pthread_join(start->thread, nullptr);
        start->Release();
        return 0;
    }
    m_handle = start;
    return 1;
}

int KtUSysThread::WaitForCompletion() {
    auto* start = static_cast<Start*>(m_handle);
    if (!start) return 0;
    int rc = pthread_join(start->thread, nullptr);
    start->Release();
    m_handle = nullptr;
    return rc == 0;
}

KtUThreadId KtUSysThread::Self() {
    return KtUThreadId(ktu::sys::CurrentThreadId());
}

void KtUSysThread::Sleep(unsigned int ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void KtUSysThread::Exit() {
    pthread_exit(nullptr);
}

int KtUSysThread::NumProcessors() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

//===- KtUSysThread.h - Operating-system thread ---------------------------===//
//
//   KtUSysThread t;
//   if (t.Create(Work, &job, 0)) t.WaitForCompletion();
//
// Priorities -3..3 (idle, lowest, below normal, normal, above normal,
// highest, time critical) map onto the thread's scheduling: -3 SCHED_IDLE,
// -2 and -1 a higher nice value (+10, +5), 1 and 2 a lower one (-5, -10) and
// 3 nice -20. Raising needs CAP_SYS_NICE or RLIMIT_NICE; without them the
// thread runs at normal priority and the process log says so (once per
// process). 0 starts the thread as it is. Other values fail.
//
// Thread safety: one owner creates and waits; the statics from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSTHREAD_H
#define KTUTIL_KTUSYSTHREAD_H

#include <ktutil/KtUThreadId.h>

/// Operating-system thread with int results.
class KTU_API KtUSysThread {
public:
    KtUSysThread() = default;
    KtUSysThread(const KtUSysThread&) = delete;
    KtUSysThread& operator=(const KtUSysThread&) = delete;
    ~KtUSysThread();

    /// Starts fn(arg) on a new thread with the given priority (-3..3).
    int Create(void (*fn)(void*), void* arg, int priority);
    /// Waits for the thread to end and releases it.
    int WaitForCompletion();
    int IsCreated() const { return m_handle != nullptr; }

    static KtUThreadId Self();
    static void Sleep(unsigned int ms);
    [[noreturn]] static void Exit();
    static int NumProcessors();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void* m_handle = nullptr;
};

#endif // KTUTIL_KTUSYSTHREAD_H

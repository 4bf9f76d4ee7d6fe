//===- KtUThread.h - Threads of the application layer ---------------------===//
//
//   KtUThread::Initialise();
//   KtUThread worker;
//   worker.Create(Work, &job, 0);
//   ...
//   worker.WaitForCompletion();
//   KtUThread::GetNumThreads();   // 1 again
//
// Failures post eERROR from the "KtUThread" component: 0 "KtUThread::Create -
// Can't create thread", 1 "KtUThread::WaitForCompletion - Wait failed",
// 2 "KtUThread::~KtUThread - Thread still running". The thread count
// includes the main thread. Priorities as KtUSysThread.
//
// Thread safety: a KtUThread object belongs to the thread that created it;
// the statics may be called from any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUTHREAD_H
#define KTUTIL_KTUTHREAD_H

#include <ktutil/KtUSysThread.h>

/// A thread that reports failures through KtUError and is counted.
class KTU_API KtUThread {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KtUThread() = default;
    /// A copy refers to no thread.
    KtUThread(const KtUThread&) {}
    KtUThread& operator=(const KtUThread&) = delete;
    virtual ~KtUThread();

    void Create(void (*fn)(void*), void* arg, int priority);
    void WaitForCompletion();
    int IsRunning() const { return m_running; }

    static int IsMultiThreaded();
    static void SetMultiThreaded(int on);
    static int GetNumProcessors();
    static KtUThreadId Main();
    static KtUThreadId Self() { return KtUSysThread::Self(); }
    static void Sleep(unsigned int ms) { KtUSysThread::Sleep(ms); }
    [[noreturn]] static void Exit() { KtUSysThread::Exit(); }
    static int GetNumThreads();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysThread m_thread;
    int m_running = 0;
};

#endif // KTUTIL_KTUTHREAD_H

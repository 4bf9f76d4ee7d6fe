//===- KtUSysThread.cpp - Operating-system thread -------------------------===//
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysThread.h>

#include "platform/clock.h"
#include "platform/lock.h"
#include "platform/thread.h"

#include <atomic>

using ktu::sys::ThreadRecord;

KtUSysThread::~KtUSysThread() {
    // A thread never waited for is abandoned so that its resources go with it.
    if (auto* thread = static_cast<ThreadRecord*>(m_handle)) ktu::sys::AbandonThread(thread);
}

int KtUSysThread::Create(void (*fn)(void*), void* arg, int priority) {
    if (m_handle || !fn || priority < -3 || priority > 3) return 0;
    bool refused = false;
    ThreadRecord* thread = ktu::sys::StartThread(fn, arg, priority, &refused);
    if (refused) {
        // The thread runs at normal priority; the process log says so once.
        static std::atomic<bool> s_logged{false};
        if (!s_logged.exchange(true))
            KtUSysError::LogUTF8String(
                "KtUSysThread::SetPriority: no privilege to raise a thread's priority "
                "(CAP_SYS_NICE or RLIMIT_NICE); threads run at normal priority\n");
    }
    if (!thread) return 0;
    m_handle = thread;
    return 1;
}

int KtUSysThread::WaitForCompletion() {
    auto* thread = static_cast<ThreadRecord*>(m_handle);
    if (!thread) return 0;
    m_handle = nullptr;
    return ktu::sys::JoinThread(thread);
}

KtUThreadId KtUSysThread::Self() {
    return KtUThreadId(ktu::sys::CurrentThreadId());
}

void KtUSysThread::Sleep(unsigned int ms) {
    ktu::sys::SleepMs(ms);
}

void KtUSysThread::Exit() {
    ktu::sys::ExitThread();
}

int KtUSysThread::NumProcessors() {
    return ktu::sys::ProcessorCount();
}

//===- KtUThread.cpp - Threads of the application layer -------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtULock.h>
#include <ktutil/KtUThread.h>

#include "foundation/component.h"

#include <atomic>

static KtUComponent s_component;
static KtUThreadId s_main;
static std::atomic<int> s_multi_threaded{0};
static int s_processors = 1;
static KtULock* s_count_lock = nullptr;
static int s_thread_count = 1;

static void SetUp() {
    s_main = KtUSysThread::Self();
    s_multi_threaded = 1;
    s_processors = KtUSysThread::NumProcessors();
    s_count_lock = new KtULock;
}

static bool TearDown() {
    delete s_count_lock;
    s_count_lock = nullptr;
    return true;
}

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUThread",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtULock>,
    .set_up = SetUp,
    .tear_down = TearDown,
};
KTU_COMPONENT_LIFECYCLE(KtUThread, kComponent)

KtUThread::~KtUThread() {
    if (m_running)
        KtUError::Post(KtUSysError::eERROR, &s_component, 2, this,
                       "KtUThread::~KtUThread - Thread still running");
}

static void AddThreads(int delta, bool keep_one) {
    if (!s_count_lock) return;
    KtUCritical hold(*s_count_lock);
    if (!(keep_one && s_thread_count == 1)) s_thread_count += delta;
}

void KtUThread::Create(void (*fn)(void*), void* arg, int priority) {
    AddThreads(+1, false);
    if (!m_thread.Create(fn, arg, priority)) {
        AddThreads(-1, false);
        KtUError::Post(KtUSysError::eERROR, &s_component, 0, &m_thread,
                       "KtUThread::Create - Can't create thread");
        m_running = 0;
        return;
    }
    m_running = 1;
}

void KtUThread::WaitForCompletion() {
    if (!m_thread.WaitForCompletion())
        KtUError::Post(KtUSysError::eERROR, &s_component, 1, this,
                       "KtUThread::WaitForCompletion - Wait failed");
    m_running = 0;
    AddThreads(-1, true);
}

int KtUThread::IsMultiThreaded() {
    return s_multi_threaded;
}
void KtUThread::SetMultiThreaded(int on) {
    s_multi_threaded = on;
}
int KtUThread::GetNumProcessors() {
    return s_processors;
}
KtUThreadId KtUThread::Main() {
    return s_main;
}

int KtUThread::GetNumThreads() {
    if (!s_count_lock) return 1;
    KtUCritical hold(*s_count_lock);
    return s_thread_count;
}

//===- KtUActionQueue.cpp - Worker threads running queued actions ---------===//
//
// The queue's events (work available, space available, stop, thread started
// and one idle flag per worker) are flags under one mutex with one condition
// variable, so a worker can wait for "work or stop" at once. The queue's data
// is guarded by its critical section, a recursive mutex that an edit lock
// holds for its lifetime.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUActionQueue.h>
#include <ktutil/KtUActionQueueLock.h>
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUSysThread.h>

#include "foundation/component.h"
#include "platform/lock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

static KtUComponent s_component;

KtUActionQueueStatusCB::~KtUActionQueueStatusCB() = default;

struct KtUActionQueue::State {
    ktu::sys::RecursiveMutex cs;
    std::mutex event_mutex;
    std::condition_variable event_cv;
    bool work = false;
    bool space = true;
    bool stop = false;
    bool started = false;
    std::vector<bool> idle;
    std::vector<bool> exited;
    std::vector<KtUAction*> current;
    std::vector<KtUSysThread*> threads;

    void SetFlag(bool& flag, bool value) {
        {
            std::lock_guard<std::mutex> hold(event_mutex);
            flag = value;
        }
        event_cv.notify_all();
    }
    void SetIdle(int i, bool value) {
        {
            std::lock_guard<std::mutex> hold(event_mutex);
            idle[i] = value;
        }
        event_cv.notify_all();
    }
    bool Get(const bool& flag) {
        std::lock_guard<std::mutex> hold(event_mutex);
        return flag;
    }
    /// Waits until pred() holds (under the event mutex); false on time-out.
    template <class Pred> bool WaitFor(Pred pred, int timeout_ms = -1) {
        std::unique_lock<std::mutex> hold(event_mutex);
        if (timeout_ms < 0) {
            event_cv.wait(hold, pred);
            return true;
        }
        return event_cv.wait_for(hold, std::chrono::milliseconds(timeout_ms), pred);
    }
};

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUActionQueue",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError, KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUActionQueue, kComponent)

KtUActionQueue::KtUActionQueue(int max_queue_size, int num_threads, int auto_delete)
    : m_max_queue_size(max_queue_size < 1 ? 1 : max_queue_size),
      m_num_threads(num_threads < 1 ? 1 : num_threads), m_auto_delete(auto_delete),
      m_state(new State) {
    Start();
}

KtUActionQueue::KtUActionQueue(const KtUActionQueue& other)
    : m_max_queue_size(other.m_max_queue_size), m_num_threads(other.m_num_threads),
      m_auto_delete(other.m_auto_delete), m_state(new State) {
    Start();
}

// Starts the workers one at a time; each reads its index from the start index
// while the constructor waits for it.
void KtUActionQueue::Start() {
    State& s = *m_state;
    s.idle.assign(m_num_threads, true);
    s.exited.assign(m_num_threads, false);
    s.current.assign(m_num_threads, nullptr);
    for (m_start_index = 0; m_start_index < m_num_threads; ++m_start_index) {
        auto* thread = new KtUSysThread;
        s.threads.push_back(thread);
        if (!thread->Create(WorkerMain, this, 0)) {
            s.exited[m_start_index] = true;
            continue;
        }
        s.WaitFor([&] { return s.started; }, 5000);
        s.SetFlag(s.started, false);
    }
}

KtUActionQueue& KtUActionQueue::operator=(const KtUActionQueue& other) {
    if (&other == this) return *this;
    Stop();
    m_max_queue_size = other.m_max_queue_size;
    m_num_threads = other.m_num_threads;
    m_auto_delete = other.m_auto_delete;
    m_last_load = -1;
    m_status_cb = nullptr;
    m_empty_cached = 0;
    m_state = new State;
    Start();
    return *this;
}

KtUActionQueue::~KtUActionQueue() {
    Stop();
}

// Clears the queue, stops the workers and frees the threads and events.
void KtUActionQueue::Stop() {
    Clear();
    State& s = *m_state;
    s.SetFlag(s.stop, true);
    bool all_exited = s.WaitFor(
        [&] {
            for (bool e : s.exited)
                if (!e) return false;
            return true;
        },
        5000);
    for (int i = 0; i < m_num_threads; ++i) {
        // Workers that did not stop in time are left detached.
        if (all_exited || s.Get(s.exited[i])) s.threads[i]->WaitForCompletion();
        delete s.threads[i];
    }
    delete m_state;
    m_state = nullptr;
}

void KtUActionQueue::WorkerMain(void* p) {
    auto* queue = static_cast<KtUActionQueue*>(p);
    int index = queue->m_start_index;
    queue->m_state->SetFlag(queue->m_state->started, true);
    queue->Work(index);
    {
        std::lock_guard<std::mutex> hold(queue->m_state->event_mutex);
        queue->m_state->exited[index] = true;
    }
    queue->m_state->event_cv.notify_all();
}

void KtUActionQueue::Work(int index) {
    State& s = *m_state;
    for (;;) {
        bool stop = false;
        s.WaitFor([&] { return (stop = s.stop) || s.work; });
        if (stop) return;
        KtUAction* action = nullptr;
        {
            ktu::sys::LockGuard hold(s.cs);
            int held = m_queue.Size();
            if (held > 0) {
                action = m_queue[0];
                m_queue.Erase(m_queue.Begin());
                s.current[index] = action;
                s.SetIdle(index, false);
            }
            if (held < 2) s.SetFlag(s.work, false);
            s.SetFlag(s.space, m_queue.Size() < m_max_queue_size);
        }
        if (!action) continue;
        action->Execute(index);
        ktu::sys::LockGuard hold(s.cs);
        if (m_auto_delete)
            delete action;
        else
            m_results.PushBack(action);
        s.current[index] = nullptr;
        s.SetIdle(index, true);
    }
}

void KtUActionQueue::ReportLoad(int percent) {
    if (percent == m_last_load) return;
    m_last_load = percent;
    if (m_status_cb) m_status_cb->QueueLoad(percent);
}

int KtUActionQueue::AddAction(KtUAction* action, int process_results, EAddActionType type) {
    if (!action) return 0;
    if (process_results) ProcessResults();
    State& s = *m_state;
    if (type == eADD_FAIL_IF_FULL || type == eADD_WAIT_FOR_SPACE) {
        if (!s.Get(s.space)) {
            ReportLoad(100);
            if (type == eADD_FAIL_IF_FULL) return 0;
            s.WaitFor([&] { return s.space || s.stop; });
            if (!s.Get(s.space)) return 0;
        }
    }
    ktu::sys::LockGuard hold(s.cs);
    m_queue.PushBack(action);
    m_empty_cached = 0;
    if (!m_holder) s.SetFlag(s.work, true);
    if (m_queue.Size() >= m_max_queue_size) s.SetFlag(s.space, false);
    ReportLoad(static_cast<int>(static_cast<long long>(m_queue.Size()) * 100 / m_max_queue_size));
    return 1;
}

int KtUActionQueue::ProcessResults() {
    KtUPtrVector<KtUAction> taken;
    {
        ktu::sys::LockGuard hold(m_state->cs);
        taken.Swap(m_results);
        ReportLoad(
            static_cast<int>(static_cast<long long>(m_queue.Size()) * 100 / m_max_queue_size));
    }
    for (KtUAction* action : taken)
        if (action->ProcessResult()) delete action;
    return taken.Size() > 0;
}

void KtUActionQueue::Clear() {
    KtUActionQueueLock edit(this, eCANCEL_AND_WAIT);
    // A queue already edit-locked by its owner is cleared under that lock.
    for (KtUAction* action : m_queue)
        delete action;
    m_queue.Clear();
    for (KtUAction* action : m_results)
        delete action;
    m_results.Clear();
}

int KtUActionQueue::IsEmpty() const {
    if (m_empty_cached) return 1;
    ktu::sys::LockGuard hold(m_state->cs);
    bool empty = m_queue.Empty();
    for (KtUAction* action : m_state->current)
        empty = empty && !action;
    m_empty_cached = empty;
    return empty;
}

const KtUAction* KtUActionQueue::GetCurrentAction(int thread) const {
    if (thread < 0 || thread >= m_num_threads) return nullptr;
    ktu::sys::LockGuard hold(m_state->cs);
    return m_state->current[thread];
}

void KtUActionQueue::SetStatusCB(KtUActionQueueStatusCB* cb) {
    m_status_cb = cb;
}

// --- KtUActionQueueLock -----------------------------------------------------------

KtUActionQueueLock::KtUActionQueueLock(KtUActionQueue* queue, KtUActionQueue::EWaitType wait_type)
    : m_queue(queue) {
    if (!queue || queue->m_holder) return;
    KtUActionQueue::State& s = *queue->m_state;
    s.SetFlag(s.work, false); // no worker takes new work
    if (wait_type == KtUActionQueue::eCANCEL_AND_WAIT) {
        ktu::sys::LockGuard hold(s.cs);
        for (KtUAction* action : s.current)
            if (action) action->CancelAction();
    }
    if (wait_type != KtUActionQueue::eDO_NOT_WAIT) {
        for (;;) {
            s.WaitFor([&] {
                for (bool idle : s.idle)
                    if (!idle) return false;
                return true;
            });
            s.cs.Lock();
            bool running = false;
            for (KtUAction* action : s.current)
                running = running || action;
            if (!running) break;
            s.cs.Unlock();
        }
    } else {
        s.cs.Lock();
    }
    queue->m_holder = this;
    m_locked = 1;
}

KtUActionQueueLock::~KtUActionQueueLock() {
    if (!m_locked) return;
    KtUActionQueue& q = *m_queue;
    KtUActionQueue::State& s = *q.m_state;
    if (!q.m_queue.Empty()) {
        q.m_empty_cached = 0;
        s.SetFlag(s.work, true);
    }
    s.SetFlag(s.space, q.m_queue.Size() < q.m_max_queue_size);
    q.m_holder = nullptr;
    s.cs.Unlock();
}

//===- ActionQueueBench.cpp - Action queue beside a plain thread pool -----===//
//
// 1,000,000 empty actions run by 4 workers through a queue of 1000 places:
// KtUActionQueue in auto-delete mode (the owner waits for space), and a
// baseline pool of std::thread workers over a std::deque guarded by a
// std::mutex with std::condition_variables, written here. Both allocate and
// delete one task object per action.
//
// KtUStringQueue: 200,000 actions through the same queue, each building and
// formatting a few KtUStrings; scripts/bench-memory runs it as is and with
// QB4_FORCE_MALLOC=1 (every block from the C heap) to compare the manager's
// per-thread caches with glibc on the same program.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUActionQueue.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUThread.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kActions = 1000000;
constexpr int kWorkers = 4;
constexpr int kQueueSize = 1000;

std::atomic<int> g_done{0};

struct EmptyAction : KtUAction {
    void Execute(int) override { g_done.fetch_add(1, std::memory_order_relaxed); }
    int ProcessResult() override { return 1; }
};

void KtUQueue(benchmark::State& state) {
    KtUActionQueue::Initialise();
    KtUThread::Initialise();
    for (auto _ : state) {
        g_done = 0;
        {
            KtUActionQueue queue(kQueueSize, kWorkers, 1);
            for (int i = 0; i < kActions; ++i)
                queue.AddAction(new EmptyAction, 0, KtUActionQueue::eADD_WAIT_FOR_SPACE);
            while (g_done.load() < kActions)
                std::this_thread::yield();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kActions);
}

struct StringAction : KtUAction {
    explicit StringAction(int n) : m_n(n) {}
    void Execute(int) override {
        KtUStringBuffer line;
        line.Format("action %d of %s: %d.%03d ms", m_n, "queue", m_n / 1000, m_n % 1000);
        KtUString name(line);
        KtUString copy(name);
        KtUStringBuffer path;
        for (int i = 0; i < 4; ++i) {
            path.Append("/segment");
            path.Format("%s%d", "", i + m_n % 7);
        }
        KtUString joined(path);
        benchmark::DoNotOptimize(copy.GetLength() + joined.GetLength());
        g_done.fetch_add(1, std::memory_order_relaxed);
    }
    int ProcessResult() override { return 1; }
    int m_n;
};

void KtUStringQueue(benchmark::State& state) {
    constexpr int kStringActions = 200000;
    KtUActionQueue::Initialise();
    KtUThread::Initialise();
    KtUString::Initialise();
    for (auto _ : state) {
        g_done = 0;
        {
            KtUActionQueue queue(kQueueSize, kWorkers, 1);
            for (int i = 0; i < kStringActions; ++i)
                queue.AddAction(new StringAction(i), 0, KtUActionQueue::eADD_WAIT_FOR_SPACE);
            while (g_done.load() < kStringActions)
                std::this_thread::yield();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kStringActions);
}

// The baseline: a bounded blocking queue of heap-allocated tasks.
struct Task {
    virtual ~Task() = default;
    virtual void Run() = 0;
};
struct EmptyTask : Task {
    void Run() override { g_done.fetch_add(1, std::memory_order_relaxed); }
};

class Pool {
public:
    Pool() {
        for (int i = 0; i < kWorkers; ++i)
            m_threads.emplace_back([this] { Work(); });
    }
    ~Pool() {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_stop = true;
        }
        m_work.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    void Add(Task* task) {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_space.wait(hold, [this] { return m_queue.size() < size_t(kQueueSize); });
        m_queue.push_back(task);
        hold.unlock();
        m_work.notify_one();
    }

private:
    void Work() {
        for (;;) {
            std::unique_lock<std::mutex> hold(m_mutex);
            m_work.wait(hold, [this] { return m_stop || !m_queue.empty(); });
            if (m_queue.empty()) return;
            Task* task = m_queue.front();
            m_queue.pop_front();
            hold.unlock();
            m_space.notify_one();
            task->Run();
            delete task;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work, m_space;
    std::deque<Task*> m_queue;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

void ThreadPool(benchmark::State& state) {
    for (auto _ : state) {
        g_done = 0;
        {
            Pool pool;
            for (int i = 0; i < kActions; ++i)
                pool.Add(new EmptyTask);
            while (g_done.load() < kActions)
                std::this_thread::yield();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kActions);
}

} // namespace

BENCHMARK(KtUQueue)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(KtUStringQueue)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ThreadPool)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();

//===- ActionQueueTest.cpp - The action queue -----------------------------===//
#include <ktutil/KtUActionQueue.h>
#include <ktutil/KtUActionQueueLock.h>
#include <ktutil/KtUThread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_alive{0};

// A one-way handshake between threads.
class Latch {
public:
    void Open() {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }
    /// False if it was not opened within a minute (a hung test, not a slow one).
    bool Wait() {
        std::unique_lock<std::mutex> hold(m_mutex);
        return m_cv.wait_for(hold, std::chrono::minutes(1), [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// An action that counts itself, can block until released and can be
// cancelled.
struct TestAction : KtUAction {
    std::atomic<bool>* gate = nullptr; // Execute waits while *gate is false
    Latch* started = nullptr;          // opened when Execute begins
    std::vector<int>* order = nullptr; // Execute appends id
    int id = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> executed{false};
    KtUThreadId processed_on;
    int keep = 0; // ProcessResult's answer is !keep

    TestAction() { ++g_alive; }
    ~TestAction() override { --g_alive; }
    void Execute(int) override {
        if (started) started->Open();
        if (order) order->push_back(id); // one worker: no other writer
        while (gate && !*gate && !cancelled)
            KtUThread::Sleep(1);
        executed = true;
    }
    int ProcessResult() override {
        processed_on = KtUThread::Self();
        return !keep;
    }
    void CancelAction() override { cancelled = true; }
};

struct LoadLog : KtUActionQueueStatusCB {
    std::vector<int> loads;
    void QueueLoad(int percent) override { loads.push_back(percent); }
};

class ActionQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUActionQueue::Initialise();
        KtUThread::Initialise();
        g_alive = 0;
    }
    void TearDown() override {
        EXPECT_EQ(0, g_alive.load()) << "actions leaked";
        KtUThread::Terminate();
        KtUActionQueue::Terminate();
    }
};

// Waits (bounded by a minute, for a hung queue) until pred holds.
template <class Pred> bool Eventually(Pred pred) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!pred() && std::chrono::steady_clock::now() < deadline)
        KtUThread::Sleep(1);
    return pred();
}

TEST_F(ActionQueueTest, FullQueueRefusesAndReportsFullLoadOnce) {
    KtUActionQueue queue; // 50 places, 1 worker
    LoadLog log;
    queue.SetStatusCB(&log);
    std::atomic<bool> gate{false};
    auto* blocker = new TestAction;
    blocker->gate = &gate;
    ASSERT_EQ(1, queue.AddAction(blocker, 0, KtUActionQueue::eADD_FAIL_IF_FULL));
    ASSERT_TRUE(Eventually([&] { return queue.GetCurrentAction(0) == blocker; }));
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(1, queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL)) << i;
    TestAction extra; // refused: still ours
    EXPECT_EQ(0, queue.AddAction(&extra, 0, KtUActionQueue::eADD_FAIL_IF_FULL));
    EXPECT_EQ(0, queue.AddAction(&extra, 0, KtUActionQueue::eADD_FAIL_IF_FULL));
    int hundreds = 0;
    for (int load : log.loads)
        hundreds += load == 100;
    EXPECT_EQ(1, hundreds);
    EXPECT_EQ(2, log.loads.front()); // 1 of 50 after the blocker was queued
    gate = true;
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    EXPECT_EQ(1, queue.ProcessResults());
    EXPECT_EQ(0, queue.ProcessResults());
}

TEST_F(ActionQueueTest, ResultsComeBackOnlyThroughProcessResults) {
    KtUActionQueue queue(10, 2, 0);
    auto* kept = new TestAction;
    kept->keep = 1;
    auto* deleted = new TestAction;
    queue.AddAction(kept, 0, KtUActionQueue::eADD_WAIT_FOR_SPACE);
    queue.AddAction(deleted, 0, KtUActionQueue::eADD_WAIT_FOR_SPACE);
    ASSERT_TRUE(Eventually([&] { return kept->executed && deleted->executed; }));
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    EXPECT_EQ(KtUThreadId(), kept->processed_on); // not yet
    EXPECT_EQ(2, g_alive.load());
    EXPECT_EQ(1, queue.ProcessResults());
    EXPECT_EQ(KtUThread::Self(), kept->processed_on);
    EXPECT_EQ(1, g_alive.load()); // the one answering 0 is the owner's now
    delete kept;
}

TEST_F(ActionQueueTest, ClearCancelsRunningActionsAndWaits) {
    KtUActionQueue queue(50, 1, 0);
    std::atomic<bool> never{false};
    auto* running = new TestAction;
    running->gate = &never; // ends only when cancelled
    queue.AddAction(running, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    for (int i = 0; i < 5; ++i)
        queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(Eventually([&] { return queue.GetCurrentAction(0) != nullptr; }));
    queue.Clear();
    EXPECT_EQ(nullptr, queue.GetCurrentAction(0));
    EXPECT_EQ(0, g_alive.load()); // the cancelled one and the 5 queued are gone
    EXPECT_TRUE(queue.IsEmpty());
}

TEST_F(ActionQueueTest, EditLockWithoutWaitingReturnsAtOnce) {
    KtUActionQueue queue(50, 1, 0);
    std::atomic<bool> gate{false};
    auto* blocker = new TestAction;
    blocker->gate = &gate;
    queue.AddAction(blocker, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(Eventually([&] { return queue.GetCurrentAction(0) != nullptr; }));
    queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    {
        KtUActionQueueLock edit(&queue, KtUActionQueue::eDO_NOT_WAIT);
        EXPECT_TRUE(edit.IsLocked());
        EXPECT_EQ(2, queue.EditQueue()->Size());
        KtUActionQueueLock second(&queue, KtUActionQueue::eDO_NOT_WAIT);
        EXPECT_FALSE(second.IsLocked());
        gate = true;
        KtUThread::Sleep(20);
        EXPECT_EQ(2, queue.EditQueue()->Size()); // no new work while locked
    }
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    queue.ProcessResults();
}

TEST_F(ActionQueueTest, AutoDeleteAndStress) {
    // Bounded: 4 workers, 2000 actions added with waiting for space.
    KtUActionQueue queue(16, 4, 1);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(1, queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_WAIT_FOR_SPACE));
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0 && g_alive == 0; }));
    EXPECT_EQ(0, queue.ProcessResults()); // deleted by the workers, no results
}

// An action that blocks on gate and says when it has started.
TestAction* Gated(std::atomic<bool>* gate, Latch* started) {
    auto* action = new TestAction;
    action->gate = gate;
    action->started = started;
    return action;
}

TEST_F(ActionQueueTest, ActionsRunInTheOrderAdded) {
    KtUActionQueue queue(50, 1, 0);
    std::atomic<bool> gate{false};
    Latch started;
    queue.AddAction(Gated(&gate, &started), 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(started.Wait());
    std::vector<int> order;
    for (int i = 0; i < 20; ++i) {
        auto* action = new TestAction;
        action->order = &order;
        action->id = i;
        queue.AddAction(action, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    }
    gate = true;
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    std::vector<int> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back(i);
    EXPECT_EQ(expected, order);
    queue.ProcessResults();
}

TEST_F(ActionQueueTest, WaitForSpaceBlocksUntilAWorkerTakesAnAction) {
    KtUActionQueue queue(2, 1, 0);
    std::atomic<bool> gate{false};
    Latch started;
    TestAction* blocker = Gated(&gate, &started);
    queue.AddAction(blocker, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(started.Wait());
    queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL); // full
    std::atomic<bool> returned{false};
    bool blocker_done_then = false;
    int result = -1;
    std::thread adder([&] {
        result = queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_WAIT_FOR_SPACE);
        blocker_done_then = blocker->executed;
        returned = true;
    });
    KtUThread::Sleep(50); // time for a wrongly returning adder to do so
    EXPECT_FALSE(returned);
    gate = true; // the worker finishes the blocker and takes the next action
    adder.join();
    EXPECT_EQ(1, result);
    EXPECT_TRUE(blocker_done_then);
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    queue.ProcessResults();
}

TEST_F(ActionQueueTest, EditLockWaitsForRunningActionsWithoutCancelling) {
    KtUActionQueue queue(10, 2, 0);
    std::atomic<bool> gate{false};
    Latch started[2];
    TestAction* running[2] = {Gated(&gate, &started[0]), Gated(&gate, &started[1])};
    for (TestAction* action : running)
        queue.AddAction(action, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(started[0].Wait() && started[1].Wait());
    queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    std::thread opener([&] {
        KtUThread::Sleep(50); // time for a lock that does not wait to return
        gate = true;
    });
    {
        KtUActionQueueLock edit(&queue, KtUActionQueue::eWAIT_FOR_RUNNING);
        EXPECT_TRUE(edit.IsLocked());
        for (TestAction* action : running) {
            EXPECT_TRUE(action->executed);
            EXPECT_FALSE(action->cancelled);
        }
        EXPECT_EQ(1, queue.EditQueue()->Size()); // not taken meanwhile
        EXPECT_EQ(2, queue.EditResults()->Size());
    }
    opener.join();
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    EXPECT_EQ(1, queue.ProcessResults());
}

TEST_F(ActionQueueTest, StatusCallbackSeesEveryLoadChange) {
    KtUActionQueue queue(4, 1, 0);
    LoadLog log;
    queue.SetStatusCB(&log);
    std::atomic<bool> gates[2] = {false, false};
    Latch started[2];
    queue.AddAction(Gated(&gates[0], &started[0]), 0, KtUActionQueue::eADD_FAIL_IF_FULL); // 25
    ASSERT_TRUE(started[0].Wait()); // 0 queued
    queue.AddAction(Gated(&gates[1], &started[1]), 0, KtUActionQueue::eADD_FAIL_IF_FULL); // 25
    for (int i = 0; i < 3; ++i) // 50, 75, 100
        queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    TestAction refused;
    EXPECT_EQ(0, queue.AddAction(&refused, 0, KtUActionQueue::eADD_FAIL_IF_FULL)); // 100 again
    EXPECT_EQ(0, queue.ProcessResults());                                          // 100 again
    gates[0] = true;
    ASSERT_TRUE(started[1].Wait()); // the first finished, 3 queued
    EXPECT_EQ(1, queue.ProcessResults());
    gates[1] = true;
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0; }));
    EXPECT_EQ(1, queue.ProcessResults());
    EXPECT_EQ((std::vector<int>{25, 50, 75, 100, 75, 0}), log.loads);
}

TEST_F(ActionQueueTest, AssignmentRestartsAsACopyOfTheOther) {
    KtUActionQueue queue(10, 1, 0);
    LoadLog log;
    queue.SetStatusCB(&log);
    std::atomic<bool> never{false};
    Latch started;
    TestAction* running = Gated(&never, &started); // ends only when cancelled
    queue.AddAction(running, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    ASSERT_TRUE(started.Wait());
    for (int i = 0; i < 3; ++i)
        queue.AddAction(new TestAction, 0, KtUActionQueue::eADD_FAIL_IF_FULL);
    const KtUActionQueue other(3, 2, 1);
    size_t reports = log.loads.size();

    queue = other;
    EXPECT_EQ(0, g_alive.load()); // the cancelled one and the queued ones are gone
    EXPECT_EQ(3, queue.GetMaxQueueSize());
    EXPECT_EQ(2, queue.GetNumThreads());
    EXPECT_TRUE(queue.IsAutoDeleteMode());
    EXPECT_TRUE(queue.IsEmpty());
    // It works as a new queue: its workers run actions and delete them.
    TestAction* action = new TestAction;
    std::atomic<bool> go{true};
    Latch ran;
    action->gate = &go;
    action->started = &ran;
    EXPECT_EQ(1, queue.AddAction(action, 0, KtUActionQueue::eADD_FAIL_IF_FULL));
    ASSERT_TRUE(ran.Wait());
    ASSERT_TRUE(Eventually([&] { return queue.IsEmpty() != 0 && g_alive == 0; }));
    EXPECT_EQ(reports, log.loads.size()); // the callback went with the old queue
}

} // namespace

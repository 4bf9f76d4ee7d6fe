//===- LockTest.cpp - Locks, conditions, semaphores and threads -----------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUCondition.h>
#include <ktutil/KtULock.h>
#include <ktutil/KtUReadWriteLock.h>
#include <ktutil/KtURecursiveLock.h>
#include <ktutil/KtUSemaphore.h>
#include <ktutil/KtUThread.h>

#include <gtest/gtest.h>

#include "sys_event.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_posts;

int Capture(KtUSysError::Severity, KtUComponent* c, int id, void*, const KtUWChar* m) {
    std::string text = std::string(c ? c->GetName() : "") + "/" + std::to_string(id) + "/";
    for (; m && *m; ++m)
        text.push_back(static_cast<char>(*m));
    g_posts.push_back(text);
    return 1;
}

class LockTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUThread::Initialise();
        g_posts.clear();
        KtUSysError::SetHandler(Capture, KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
    }
    void TearDown() override {
        KtUSysError::RemoveHandler(KtUSysError::eERROR, (KtUComponent*)nullptr, -1);
        KtUThread::Terminate();
    }
};

// Runs fn on a KtUThread.
template <class Fn> struct Runner {
    Fn fn;
    KtUThread thread;
    explicit Runner(Fn f) : fn(std::move(f)) {
        thread.Create([](void* self) { static_cast<Runner*>(self)->fn(); }, this, 0);
    }
    ~Runner() {
        if (thread.IsRunning()) thread.WaitForCompletion();
    }
};

TEST_F(LockTest, RecursiveLockNeedsAsManyUnlocksAsLocks) {
    KtURecursiveLock lock;
    std::atomic<bool> other_has_it{false};
    lock.Lock();
    lock.Lock();
    Runner other([&] {
        lock.Lock();
        other_has_it = true;
        lock.Unlock();
    });
    KtUThread::Sleep(50);
    lock.Unlock();
    KtUThread::Sleep(50);
    EXPECT_FALSE(other_has_it); // still held once
    lock.Unlock();
    other.thread.WaitForCompletion();
    EXPECT_TRUE(other_has_it);
    lock.Unlock(); // not held
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ("KtULock/18/KtURecursiveLock::Unlock", g_posts[0]);
}

TEST_F(LockTest, ReadWriteLockPrefersWaitingWriters) {
    KtUReadWriteLock lock;
    std::vector<std::string> order;
    KtULock order_lock;
    auto note = [&](const char* what) {
        KtUCritical hold(order_lock);
        order.push_back(what);
    };
    lock.ReadLock(); // a reader inside
    Runner writer([&] {
        lock.WriteLock();
        note("writer");
        KtUThread::Sleep(20);
        lock.WriteUnlock();
    });
    KtUThread::Sleep(50); // the writer is waiting now
    Runner late_reader([&] {
        lock.ReadLock();
        note("late reader");
        lock.ReadUnlock();
    });
    KtUThread::Sleep(50);
    EXPECT_TRUE(order.empty()); // both wait: the writer for us, the reader for the writer
    lock.ReadUnlock();
    writer.thread.WaitForCompletion();
    late_reader.thread.WaitForCompletion();
    EXPECT_EQ((std::vector<std::string>{"writer", "late reader"}), order);
    lock.ReadUnlock();
    lock.WriteUnlock();
    EXPECT_EQ((std::vector<std::string>{"KtULock/20/KtUReadWriteLock::ReadUnlock",
                                        "KtULock/21/KtUReadWriteLock::WriteUnlock"}),
              g_posts);
}

TEST_F(LockTest, ConditionFirstWaitPassesThenNeedsSignal) {
    KtULock lock;
    KtUCondition condition;
    lock.Lock();
    condition.Wait(lock); // created signalled
    std::atomic<bool> woke{false};
    Runner waiter([&] {
        lock.Lock();
        condition.Wait(lock);
        woke = true;
        lock.Unlock();
    });
    lock.Unlock();
    KtUThread::Sleep(50);
    EXPECT_FALSE(woke);
    condition.Signal();
    waiter.thread.WaitForCompletion();
    EXPECT_TRUE(woke);
}

TEST_F(LockTest, SemaphoreCountsUnits) {
    KtUSemaphore sem;
    std::atomic<int> taken{0};
    Runner consumer([&] {
        for (int i = 0; i < 3; ++i) {
            sem.Dec();
            ++taken;
        }
    });
    KtUThread::Sleep(30);
    EXPECT_EQ(0, taken.load());
    sem.Inc();
    sem.Inc();
    sem.Inc();
    consumer.thread.WaitForCompletion();
    EXPECT_EQ(3, taken.load());
}

TEST_F(LockTest, ThreadsAreCountedAndPrioritiesChecked) {
    EXPECT_EQ(KtUThread::Self(), KtUThread::Main());
    EXPECT_GE(KtUThread::GetNumProcessors(), 1);
    EXPECT_EQ(1, KtUThread::GetNumThreads());
    std::atomic<bool> go{false};
    KtUThreadId seen;
    Runner worker([&] {
        seen = KtUThread::Self();
        while (!go)
            KtUThread::Sleep(1);
    });
    EXPECT_EQ(2, KtUThread::GetNumThreads());
    EXPECT_TRUE(worker.thread.IsRunning());
    go = true;
    worker.thread.WaitForCompletion();
    EXPECT_FALSE(worker.thread.IsRunning());
    EXPECT_NE(KtUThread::Main(), seen);
    EXPECT_EQ(1, KtUThread::GetNumThreads());

    KtUSysThread sys;
    EXPECT_EQ(0, sys.Create([](void*) {}, nullptr, 4));
    EXPECT_EQ(0, sys.Create([](void*) {}, nullptr, -4));
    for (int priority : {-3, -2, -1, 1, 2, 3}) {
        KtUSysThread t;
        ASSERT_EQ(1, t.Create([](void*) {}, nullptr, priority)) << priority;
        EXPECT_EQ(1, t.WaitForCompletion());
    }
    KtUThread bad;
    bad.Create(nullptr, nullptr, 0);
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ("KtUThread/0/KtUThread::Create - Can't create thread", g_posts[0]);
    EXPECT_EQ(1, KtUThread::GetNumThreads());
}

TEST_F(LockTest, FailedCreationIsReportedOnce) {
    ktu::sys::RefuseCreationsForTest(2);
    {
        KtUCondition condition;
        KtUSemaphore semaphore;
    } // nothing to close
    ktu::sys::RefuseCreationsForTest(0);
    EXPECT_EQ((std::vector<std::string>{"KtULock/4/KtUCondition::KtUCondition",
                                        "KtULock/8/KtUSemaphore::KtUSemaphore"}),
              g_posts);
}

TEST_F(LockTest, LocksHoldUnderContention) {
    // Bounded: four threads, a fixed number of operations each.
    KtULock lock;
    KtURecursiveLock recursive;
    KtUReadWriteLock rw;
    long counter = 0, recursive_counter = 0, rw_counter = 0;
    std::vector<Runner<std::function<void()>>*> runners;
    for (int t = 0; t < 4; ++t)
        runners.push_back(new Runner<std::function<void()>>([&] {
            for (int i = 0; i < 5000; ++i) {
                {
                    KtUCritical hold(lock);
                    ++counter;
                }
                recursive.Lock();
                recursive.Lock();
                ++recursive_counter;
                recursive.Unlock();
                recursive.Unlock();
                if (i % 4 == 0) {
                    rw.WriteLock();
                    ++rw_counter;
                    rw.WriteUnlock();
                } else {
                    rw.ReadLock();
                    volatile long seen = rw_counter;
                    (void)seen;
                    rw.ReadUnlock();
                }
            }
        }));
    for (auto* r : runners)
        delete r;
    EXPECT_EQ(20000, counter);
    EXPECT_EQ(20000, recursive_counter);
    EXPECT_EQ(5000, rw_counter);
    EXPECT_TRUE(g_posts.empty());
}

} // namespace

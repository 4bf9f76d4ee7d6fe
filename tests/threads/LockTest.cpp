//===- LockTest.cpp - Locks, conditions, semaphores and threads -----------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUCondition.h>
#include <ktutil/KtULock.h>
#include <ktutil/KtUReadWriteLock.h>
#include <ktutil/KtURecursiveLock.h>
#include <ktutil/KtUSemaphore.h>
#include <ktutil/KtUThread.h>

#include <gtest/gtest.h>

#include "common/TestLog.h"
#include "platform/event.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <linux/capability.h>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
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

// The nice value of the calling thread.
int ThreadNice() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(KtUThread::Self().GetValue()));
}

// Starts a thread with the given priority and returns its nice value.
int NiceOfThreadAt(int priority) {
    int nice = 100;
    KtUSysThread thread;
    EXPECT_EQ(
        1, thread.Create([](void* p) { *static_cast<int*>(p) = ThreadNice(); }, &nice, priority));
    thread.WaitForCompletion();
    return nice;
}

// Whether the calling thread may lower its nice value all the way; with drop,
// takes that capability away from it (and the threads it starts) first.
bool MayRaisePriority(bool drop) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    if (drop) {
        data[CAP_SYS_NICE / 32].effective &= ~bit;
        if (syscall(SYS_capset, &header, data) != 0) return true;
    }
    rlimit limit{};
    getrlimit(RLIMIT_NICE, &limit);
    return (data[CAP_SYS_NICE / 32].effective & bit) ||
           limit.rlim_cur >= 40; // 40: down to nice -20
}

int LogCount(const std::string& what) {
    std::string log = ktutest::LogText();
    int n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(LockTest, RaisedPrioritiesLowerTheNiceValue) {
    if (!MayRaisePriority(false)) GTEST_SKIP() << "no privilege to raise priorities here";
    int base = ThreadNice();
    EXPECT_EQ(std::max(base - 5, -20), NiceOfThreadAt(1));
    EXPECT_EQ(std::max(base - 10, -20), NiceOfThreadAt(2));
    EXPECT_EQ(-20, NiceOfThreadAt(3));
    EXPECT_EQ(std::min(base + 5, 19), NiceOfThreadAt(-1));
}

TEST_F(LockTest, PriorityRaiseWithoutPrivilegeRunsNormallyAndIsLogged) {
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_NICE, &saved));
    rlimit none{0, saved.rlim_max};
    ASSERT_EQ(0, setrlimit(RLIMIT_NICE, &none));
    bool refused = false;
    int base = 0;
    std::vector<int> nices;
    Runner unprivileged([&] {
        refused = !MayRaisePriority(true);
        base = ThreadNice();
        for (int priority : {1, 3, 2})
            nices.push_back(NiceOfThreadAt(priority));
    });
    unprivileged.thread.WaitForCompletion();
    setrlimit(RLIMIT_NICE, &saved);
    ASSERT_TRUE(refused) << "could not drop the privilege";
    EXPECT_EQ(std::vector<int>(3, base), nices);
    EXPECT_EQ(1, LogCount("KtUSysThread::SetPriority: no privilege to raise a thread's priority"));
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

//===- ThreadCacheTest.cpp - The manager with many threads ----------------===//
#include "MemoryTestUtil.h"
#include "memory/mem_thread_cache.h"

#include <barrier>
#include <cstring>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ktutest;

namespace {

using ThreadCacheTest = MemoryFixture;
constexpr auto kAlign1 = KtUMemory::eALIGN1;

// The arena block size that serves a request: the histogram's size classes.
unsigned ClassSize(unsigned n) {
    unsigned s = KtUMemory::GetHistogramFirstSize();
    while (s && s < n)
        s = KtUMemory::GetHistogramNextSize(s);
    return s;
}

struct Block {
    unsigned char* p;
    unsigned size;
    unsigned char tag;
};

// Each thread allocates blocks of small and medium sizes, then frees the
// blocks of the next thread while that one frees another's: most blocks go
// back on a thread that did not allocate them. Every block carries its tag
// throughout, so a block handed out twice shows as a corrupt tag.
TEST_F(ThreadCacheTest, BlocksFreedOnOtherThreadsKeepCountersAndHistogramExact) {
    constexpr int kThreads = 8, kBlocks = 3000;
    const uint64_t arena_before = KtUMemory::GetArenaMemoryAllocated();
    const unsigned blocks16_before = KtUMemory::GetHistogramNumBlocks(16);
    std::vector<std::vector<Block>> owned(kThreads);
    std::vector<uint64_t> counted(kThreads, 0);
    std::atomic<int> corrupt{0};
    std::barrier allocated(kThreads + 1), checked(kThreads + 1);
    auto work = [&](int t) {
        std::mt19937 rng{unsigned(t)};
        for (int i = 0; i < kBlocks; ++i) {
            unsigned size = i % 10 == 0 ? 513 + rng() % 8000 : 1 + rng() % 512;
            if (i % 7 == 0) size = 16;
            auto* p = static_cast<unsigned char*>(KtUMemory::AllocEx(size, kAlign1, 0));
            unsigned char tag = static_cast<unsigned char>(t * 31 + i);
            std::memset(p, tag, size);
            owned[t].push_back({p, size, tag});
            counted[t] += ClassSize(size <= 512 ? (size + 3) & ~3u : size);
            // Some churn through this thread's own cache as well.
            void* q = KtUMemory::AllocEx(size, kAlign1, 0);
            KtUMemory::Dealloc(q, size, kAlign1);
        }
        allocated.arrive_and_wait();
        checked.arrive_and_wait();
        for (const Block& b : owned[(t + 1) % kThreads]) {
            for (unsigned k = 0; k < b.size; ++k)
                if (b.p[k] != b.tag) {
                    ++corrupt;
                    break;
                }
            KtUMemory::Dealloc(b.p, b.size, kAlign1);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(work, t);
    allocated.arrive_and_wait();
    // Mid-way, with every thread's cache in use: exact while they are idle.
    uint64_t held = 0, held16 = 0;
    for (int t = 0; t < kThreads; ++t) {
        held += counted[t];
        for (const Block& b : owned[t])
            held16 += b.size <= 512 && ((b.size + 3) & ~3u) == 16;
    }
    EXPECT_EQ(arena_before + held, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_EQ(blocks16_before + held16, KtUMemory::GetHistogramNumBlocks(16));
    checked.arrive_and_wait();
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(0, corrupt.load());
    EXPECT_EQ(arena_before, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_EQ(blocks16_before, KtUMemory::GetHistogramNumBlocks(16));
    EXPECT_EQ(arena_before,
              KtUMemory::GetMemoryAllocated() - KtUMemory::GetMallocMemoryAllocated() -
                  KtUMemory::GetRegionMemoryAllocated() - KtUMemory::GetExternalMemoryAllocated());
}

// A thread that ends with full cache lists hands them back to the arenas: a
// class whose blocks were all freed keeps only the arena's spare region.
TEST_F(ThreadCacheTest, ThreadExitReturnsItsCache) {
    const unsigned size = 200,
                   regions_before = unsigned(KtUMemory::GetHistogramReservedMemory(size));
    const unsigned caches_before = ktu::mem::RegisteredCaches();
    std::thread([&] {
        std::vector<void*> blocks;
        for (int i = 0; i < 2000; ++i)
            blocks.push_back(KtUMemory::AllocEx(size, kAlign1, 0));
        for (void* p : blocks)
            KtUMemory::Dealloc(p, size, kAlign1);
        EXPECT_GE(ktu::mem::RegisteredCaches(), caches_before + 1);
    }).join();
    EXPECT_EQ(caches_before, ktu::mem::RegisteredCaches());
    EXPECT_EQ(0u, KtUMemory::GetHistogramNumBlocks(size));
    EXPECT_LE(KtUMemory::GetHistogramReservedMemory(size),
              std::max<uint64_t>(regions_before, KtUMemory::GetHistogramRegionSize(size)));
}

// A producer allocates and a consumer frees, many rounds: blocks travel in
// chains from the consumer's full lists to the producer's empty ones. Each
// block carries its round and index, so one handed out twice shows; the
// counters and the histogram come back to where they started.
TEST_F(ThreadCacheTest, ProducerConsumerChainsKeepEveryBlockOnce) {
    constexpr unsigned kRounds = 200, kPerRound = 500, kSize = 40;
    const uint64_t arena_before = KtUMemory::GetArenaMemoryAllocated();
    const unsigned class_size = ClassSize(kSize);
    const unsigned blocks_before = KtUMemory::GetHistogramNumBlocks(class_size);
    std::vector<uint32_t*> handoff(kPerRound);
    std::barrier produced(2), consumed(2);
    std::atomic<int> corrupt{0};
    std::thread consumer([&] {
        for (unsigned r = 0; r < kRounds; ++r) {
            produced.arrive_and_wait();
            for (unsigned i = 0; i < kPerRound; ++i) {
                uint32_t* p = handoff[i];
                for (unsigned w = 0; w < kSize / 4; ++w)
                    if (p[w] != r * kPerRound + i) ++corrupt;
                KtUMemory::Dealloc(p, kSize, kAlign1);
            }
            consumed.arrive_and_wait();
        }
    });
    for (unsigned r = 0; r < kRounds; ++r) {
        for (unsigned i = 0; i < kPerRound; ++i) {
            auto* p = static_cast<uint32_t*>(KtUMemory::AllocEx(kSize, kAlign1, 0));
            for (unsigned w = 0; w < kSize / 4; ++w)
                p[w] = r * kPerRound + i;
            handoff[i] = p;
        }
        produced.arrive_and_wait();
        consumed.arrive_and_wait();
        if (r == kRounds / 2) { // mid-way, with chains in transit
            EXPECT_EQ(arena_before, KtUMemory::GetArenaMemoryAllocated());
            EXPECT_EQ(blocks_before, KtUMemory::GetHistogramNumBlocks(class_size));
        }
    }
    consumer.join();
    EXPECT_EQ(0, corrupt.load());
    EXPECT_EQ(arena_before, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_EQ(blocks_before, KtUMemory::GetHistogramNumBlocks(class_size));
}

// Scrub and check still see every block once threads have used caches.
TEST_F(ThreadCacheTest, ScrubAndCheckBypassWarmCaches) {
    std::thread([] {
        for (int i = 0; i < 100; ++i)
            KtUMemory::Dealloc(KtUMemory::AllocEx(12, kAlign1, 0), 12, kAlign1);
    }).join();
    void* warm = KtUMemory::AllocEx(12, kAlign1, 0);
    KtUMemory::Dealloc(warm, 12, kAlign1); // into this thread's cache
    KtUMemory::SetScrubMemory(1);
    auto* p = static_cast<unsigned char*>(KtUMemory::AllocEx(12, kAlign1, 0));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(0xCD, PeekByte(p + i)) << i;
    KtUMemory::Dealloc(p, 12, kAlign1);
    EXPECT_EQ(0xDD, PeekByte(p + 4));
    KtUMemory::SetScrubMemory(0);

    // A write after release, caught on the next allocation of the block.
    void* q = KtUMemory::AllocEx(16, kAlign1, 0);
    KtUMemory::Dealloc(q, 16, kAlign1); // warms the 16-byte list
    KtUMemory::SetScrubMemory(1);
    KtUMemory::SetCheckMemory(1);
    void* keep = KtUMemory::AllocEx(16, kAlign1, 0); // keeps r's page in use
    auto* r = static_cast<unsigned char*>(KtUMemory::AllocEx(16, kAlign1, 0));
    KtUMemory::Dealloc(r, 16, kAlign1);
#if KTU_HAS_ASAN
    __asan_unpoison_memory_region(r + 8, 1);
#endif
    r[8] = 0;
    void* again = KtUMemory::AllocEx(16, kAlign1, 0);
    ASSERT_EQ(again, r);
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_NE(std::string::npos, g_posts[0].find("has value 0 at offset 8"));
    KtUMemory::Dealloc(again, 16, kAlign1);
    KtUMemory::Dealloc(keep, 16, kAlign1);
}

// fork() while another thread is allocating: the child has its own thread
// only, can allocate every kind of block and its counters stay sane.
TEST_F(ThreadCacheTest, ForkDuringAllocationLeavesTheChildAbleToAllocate) {
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        void* ring[64] = {};
        unsigned sizes[64] = {};
        for (unsigned i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            unsigned slot = i % 64;
            if (ring[slot]) KtUMemory::Dealloc(ring[slot], sizes[slot], kAlign1);
            sizes[slot] = 8 + i * 37 % 248;
            ring[slot] = KtUMemory::AllocEx(sizes[slot], kAlign1, 0);
        }
        for (unsigned slot = 0; slot < 64; ++slot)
            KtUMemory::Dealloc(ring[slot], sizes[slot], kAlign1);
    });
    for (int round = 0; round < 5; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int ok = 1;
            uint64_t before = KtUMemory::GetArenaMemoryAllocated();
            std::vector<void*> blocks;
            for (unsigned size = 1; size < 17000; size += 13)
                blocks.push_back(KtUMemory::AllocEx(size, kAlign1, 0));
            for (void* p : blocks)
                ok &= p != nullptr;
            ok &= KtUMemory::GetArenaMemoryAllocated() > before;
            ok &= before < (uint64_t(1) << 40); // not wrapped below zero
            unsigned i = 0;
            for (unsigned size = 1; size < 17000; size += 13)
                KtUMemory::Dealloc(blocks[i++], size, kAlign1);
            ok &= KtUMemory::GetArenaMemoryAllocated() == before;
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    stop = true;
    churn.join();
}

} // namespace

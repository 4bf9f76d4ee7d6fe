//===- MemoryTest.cpp - The memory manager: tables, routing, switches -----===//
#include "MemoryTestUtil.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sys/resource.h>
#include <thread>

using namespace ktutest;
using A = KtUMemory::Alignment;

namespace {

using MemoryTest = MemoryFixture;

std::vector<unsigned> HistogramSizes() {
    std::vector<unsigned> sizes;
    for (unsigned s = KtUMemory::GetHistogramFirstSize(); s; s = KtUMemory::GetHistogramNextSize(s))
        sizes.push_back(s);
    return sizes;
}

TEST_F(MemoryTest, MediumTablesMatchTheDerivedSizeClasses) {
    std::vector<unsigned> sizes = HistogramSizes();
    std::map<unsigned, unsigned> per_table; // by the table's largest size
    const unsigned largest[] = {1016, 2032, 4064, 8128, 16256};
    unsigned region_max = 0;
    for (unsigned s : sizes) {
        if (s <= 512 || s > 16256) continue;
        for (unsigned l : largest)
            if (s <= l) {
                ++per_table[l];
                break;
            }
        if (s > 8128) region_max = std::max(region_max, KtUMemory::GetHistogramRegionSize(s));
    }
    EXPECT_EQ(53u, per_table[1016]);
    EXPECT_EQ(32u, per_table[2032]);
    EXPECT_EQ(16u, per_table[4064]);
    EXPECT_EQ(16u, per_table[8128]);
    EXPECT_EQ(16u, per_table[16256]);
    EXPECT_EQ(128u + 133u + 1u, sizes.size()); // small, medium, the exact 32744
    EXPECT_EQ(32744u, sizes.back());
    EXPECT_EQ(262144u, region_max);
    // The step-64 table alternates between 128 KiB and 64 KiB regions.
    EXPECT_EQ(131072u, KtUMemory::GetHistogramRegionSize(4224));
    EXPECT_EQ(65536u, KtUMemory::GetHistogramRegionSize(4352));
    EXPECT_EQ(131072u, KtUMemory::GetHistogramRegionSize(4480));
    EXPECT_EQ(16256u, KtUMemory::GetMaxMediumBlockSize());
}

TEST_F(MemoryTest, BestBlockSizes) {
    struct {
        unsigned n, best;
    } cases[] = {{0, 4},         {3, 4},         {5, 8},         {300, 512},   {513, 1016},
                 {600, 1016},    {1017, 2032},   {2033, 4064},   {8000, 8128}, {16256, 16256},
                 {16257, 32744}, {32745, 65536}, {70000, 131072}};
    for (auto c : cases)
        EXPECT_EQ(c.best, KtUMemory::GetBestBlockSize(c.n)) << c.n;
    EXPECT_EQ(4072u, KtUMemory::GetPageBlockSize());
    EXPECT_EQ(65536u, KtUMemory::GetRegionBlockSize());
}

TEST_F(MemoryTest, WithoutMediumArenasTheExactTableStartsAt1016) {
    KtUMemory::Terminate();
    setenv("QB5_DISABLE_MEDIUM_BLOCK_ALLOCATORS", "1", 1);
    KtUMemory::Initialise();
    unsetenv("QB5_DISABLE_MEDIUM_BLOCK_ALLOCATORS");
    std::vector<unsigned> sizes = HistogramSizes();
    std::vector<unsigned> large(sizes.begin() + 128, sizes.end());
    EXPECT_EQ((std::vector<unsigned>{1016, 2040, 4072, 8168, 16360, 32744}), large);
    EXPECT_EQ(512u, KtUMemory::GetMaxMediumBlockSize());
    EXPECT_EQ(1016u, KtUMemory::GetBestBlockSize(600));
    void* p = KtUMemory::Alloc(600, KtUMemory::eALIGN1); // not an exact size: heap
    EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_GE(KtUMemory::GetMallocMemoryAllocated(), 600u);
    KtUMemory::Dealloc(p, 600, KtUMemory::eALIGN1);
    p = KtUMemory::Alloc(2040, KtUMemory::eALIGN1);
    EXPECT_EQ(2040u, KtUMemory::GetArenaMemoryAllocated());
    KtUMemory::Dealloc(p, 2040, KtUMemory::eALIGN1);
}

TEST_F(MemoryTest, RoutesEachSizeToItsKindAndCountsIt) {
    struct {
        unsigned size;
        A alignment;
        uint64_t arena, region;
        bool heap;
    } cases[] = {
        {9, KtUMemory::eALIGN1, 12, 0, false},
        {9, KtUMemory::eALIGN8, 16, 0, false},
        {1020, KtUMemory::eALIGN1, 1040, 0, false},
        {32744, KtUMemory::eALIGN1, 32744, 0, false},
        {65536, KtUMemory::eALIGN1, 0, 65536, false},
        {8 * 1024 * 1024 + 1, KtUMemory::eALIGN1, 0, 8 * 1024 * 1024 + 1, false},
        {65537, KtUMemory::eALIGN1, 0, 0, true},
        {20000, KtUMemory::eALIGN1, 0, 0, true},
    };
    for (auto c : cases) {
        char* p = static_cast<char*>(KtUMemory::Alloc(c.size, c.alignment));
        ASSERT_NE(nullptr, p);
        std::memset(p, 1, c.size);
        EXPECT_EQ(c.arena, KtUMemory::GetArenaMemoryAllocated()) << c.size;
        EXPECT_EQ(c.region, KtUMemory::GetRegionMemoryAllocated()) << c.size;
        if (c.heap) {
            EXPECT_GE(KtUMemory::GetMallocMemoryAllocated(), c.size);
        } else {
            EXPECT_EQ(0u, KtUMemory::GetMallocMemoryAllocated());
        }
        if (c.region) {
            EXPECT_EQ(RegionOf(p), reinterpret_cast<uintptr_t>(p));
        }
        if (c.alignment == KtUMemory::eALIGN8) {
            EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 8);
        }
        KtUMemory::Dealloc(p, c.size, c.alignment);
        EXPECT_EQ(0u, KtUMemory::GetDirectMemoryAllocated()) << c.size;
    }
    EXPECT_EQ(nullptr, KtUMemory::Alloc(0, KtUMemory::eALIGN1));
    KtUMemory::Dealloc(nullptr, 16, KtUMemory::eALIGN1);
}

TEST_F(MemoryTest, ResizeKeepsTheBlockWithinOneSizeClass) {
    char* p = static_cast<char*>(KtUMemory::Alloc(101, KtUMemory::eALIGN1));
    std::memset(p, 'x', 101);
    EXPECT_EQ(p, KtUMemory::Resize(p, 101, 104, KtUMemory::eALIGN1));
    char* q = static_cast<char*>(KtUMemory::Resize(p, 104, 105, KtUMemory::eALIGN1));
    EXPECT_NE(p, q);
    EXPECT_EQ(std::string(101, 'x'), std::string(q, 101));
    EXPECT_EQ(108u, KtUMemory::GetArenaMemoryAllocated());
    // 1025 and 1040 share the first step-16 arena.
    char* m = static_cast<char*>(KtUMemory::Resize(q, 105, 1025, KtUMemory::eALIGN1));
    EXPECT_EQ(m, KtUMemory::Resize(m, 1025, 1040, KtUMemory::eALIGN1));
    // Heap to heap goes through realloc; into a region it moves.
    char* h = static_cast<char*>(KtUMemory::Resize(m, 1040, 70000, KtUMemory::eALIGN1));
    h = static_cast<char*>(KtUMemory::Resize(h, 70000, 90000, KtUMemory::eALIGN1));
    EXPECT_EQ(std::string(101, 'x'), std::string(h, 101));
    char* r = static_cast<char*>(KtUMemory::Resize(h, 90000, 131072, KtUMemory::eALIGN1));
    EXPECT_EQ(131072u, KtUMemory::GetRegionMemoryAllocated());
    EXPECT_EQ(0u, KtUMemory::GetMallocMemoryAllocated());
    unsigned size = 131072;
    r = static_cast<char*>(KtUMemory::Expand(r, &size, 200000, KtUMemory::eALIGN1));
    EXPECT_EQ(262144u, size);
    EXPECT_EQ(std::string(101, 'x'), std::string(r, 101));
    EXPECT_EQ(nullptr, KtUMemory::Resize(r, size, 0, KtUMemory::eALIGN1));
    EXPECT_EQ(0u, KtUMemory::GetDirectMemoryAllocated());
}

TEST_F(MemoryTest, MediumSwitchRebuildsTheTablesWhenNothingIsOutstanding) {
    KtUMemory::SetUseMediumBlockAllocator(0);
    EXPECT_EQ(0, KtUMemory::IsUseMediumBlockAllocator());
    EXPECT_EQ(512u, KtUMemory::GetMaxMediumBlockSize());
    void* p = KtUMemory::Alloc(2040, KtUMemory::eALIGN1); // an exact-table size now
    EXPECT_EQ(2040u, KtUMemory::GetArenaMemoryAllocated());
    // Both sizes above the fixed medium bound of 16256 go through realloc;
    // below it a heap block moves even when realloc could keep it.
    void* h = KtUMemory::Alloc(600, KtUMemory::eALIGN1);
    void* moved = KtUMemory::Resize(h, 600, 604, KtUMemory::eALIGN1);
    EXPECT_NE(h, moved);
    KtUMemory::Dealloc(moved, 604, KtUMemory::eALIGN1);
    // With a block outstanding in a sized arena the switch refuses to change.
    KtUMemory::SetUseMediumBlockAllocator(1);
    EXPECT_EQ(0, KtUMemory::IsUseMediumBlockAllocator());
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ("1:SetUseMediumBlockAllocator: 1 blocks of 2040 bytes are still allocated; the "
              "medium block allocators stay off",
              g_posts[0]);
    KtUMemory::Dealloc(p, 2040, KtUMemory::eALIGN1);
    KtUMemory::SetUseMediumBlockAllocator(1);
    EXPECT_EQ(16256u, KtUMemory::GetMaxMediumBlockSize());
    p = KtUMemory::Alloc(600, KtUMemory::eALIGN1); // a medium arena again, not the heap
    EXPECT_GE(KtUMemory::GetArenaMemoryAllocated(), 600u);
    EXPECT_EQ(0u, KtUMemory::GetMallocMemoryAllocated());
    KtUMemory::Dealloc(p, 600, KtUMemory::eALIGN1);
}

TEST_F(MemoryTest, ScrubPatternsOnManagerBlocks) {
    KtUMemory::SetScrubMemory(1);
    uint8_t* p = static_cast<uint8_t*>(KtUMemory::Alloc(9, KtUMemory::eALIGN1));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(0xCD, p[i]) << i;
    KtUMemory::Dealloc(p, 9, KtUMemory::eALIGN1);
    for (int i = 4; i < 12; ++i)
        EXPECT_EQ(0xDD, PeekByte(p + i)) << i;
}

TEST_F(MemoryTest, LargeBlockWithBadOffsetIsReportedAndKept) {
    unsigned char* heap = static_cast<unsigned char*>(KtUMemory::Malloc(131072 + 64));
    unsigned char* fake = heap + 32;
    if (RegionOf(fake) == reinterpret_cast<uintptr_t>(fake)) fake += 16;
    fake[-1] = 3;
    KtUMemory::Dealloc(fake, 131072, KtUMemory::eALIGN1);
    char expected[128];
    std::snprintf(expected, sizeof(expected),
                  "0:Dealloc: Large Block %lx not region aligned and has invalid offset 3",
                  (unsigned long)fake);
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_EQ(expected, g_posts[0]);
    KtUMemory::Free(heap);
    EXPECT_EQ(0u, KtUMemory::GetMallocMemoryAllocated());
}

unsigned ExternalFifty() {
    return 50;
}

TEST_F(MemoryTest, ExternalMemoryAndCallbacksAddToTheTotal) {
    KtUMemory::ReportExternalAlloc(100);
    KtUMemory::RegisterExternalMemoryAllocatedCB(ExternalFifty);
    void* p = KtUMemory::Alloc(64, KtUMemory::eALIGN8);
    EXPECT_EQ(100u, KtUMemory::GetExternalMemoryAllocated());
    EXPECT_EQ(214u, KtUMemory::GetMemoryAllocated());
    KtUMemory::UnregisterExternalMemoryAllocatedCB(ExternalFifty);
    KtUMemory::UnregisterExternalMemoryAllocatedCB(ExternalFifty); // absent: no effect
    KtUMemory::ReportExternalDealloc(100);
    EXPECT_EQ(64u, KtUMemory::GetMemoryAllocated());
    KtUMemory::Dealloc(p, 64, KtUMemory::eALIGN8);
}

TEST_F(MemoryTest, HistogramReportsBlocksAndMemoryPerClass) {
    std::vector<void*> blocks;
    for (int i = 0; i < 300; ++i)
        blocks.push_back(KtUMemory::Alloc(2000, KtUMemory::eALIGN1));
    EXPECT_EQ(300u, KtUMemory::GetHistogramNumBlocks(2032));
    EXPECT_EQ(300u * 2032u, KtUMemory::GetArenaMemoryAllocated());
    uint64_t reserved = KtUMemory::GetHistogramReservedMemory(2032);
    EXPECT_EQ(0u, reserved % KtUMemory::GetHistogramRegionSize(2032));
    EXPECT_GE(reserved, 300u * 2032u);
    EXPECT_LE(KtUMemory::GetHistogramCommittedMemory(2032), reserved);
    EXPECT_EQ(0u, KtUMemory::GetHistogramNumBlocks(65536));
    EXPECT_EQ(0u, KtUMemory::GetHistogramMaxBlockSize());
    for (void* p : blocks)
        KtUMemory::Dealloc(p, 2000, KtUMemory::eALIGN1);
    EXPECT_EQ(0u, KtUMemory::GetHistogramNumBlocks(2032));
    // Emptied regions are released, and the histogram says so.
    EXPECT_EQ(0u, KtUMemory::GetHistogramReservedMemory(2032));
    EXPECT_EQ(0u, KtUMemory::GetHistogramCommittedMemory(2032));
}

TEST_F(MemoryTest, SpareMallocRegionIsReservedOnce) {
    EXPECT_EQ(0, KtUMemory::HaveReservedSpareMallocRegion());
    EXPECT_EQ(1, KtUMemory::ReserveSpareMallocRegion());
    EXPECT_EQ(1, KtUMemory::ReserveSpareMallocRegion());
    EXPECT_EQ(
        std::vector<std::string>{"5:ReserveSpareMallocRegion: Reserved region of 16 MB for malloc"},
        g_posts);
    EXPECT_EQ(1, KtUMemory::ReleaseSpareMallocRegion());
    EXPECT_EQ(0, KtUMemory::ReleaseSpareMallocRegion());
}

TEST_F(MemoryTest, TerminateRefusesWhileBytesAreOutstanding) {
    void* a = KtUMemory::Alloc(12, KtUMemory::eALIGN1);
    void* m = KtUMemory::Malloc(100);
    void* r = KtUMemory::AllocRegion(65536, KtUMemory::eLIFETIME_NORMAL);
    uint64_t heap = KtUMemory::GetMallocMemoryAllocated();
    KtUMemory::Terminate();
    EXPECT_EQ(0, KtUMemory::IsInitialised());
    ASSERT_EQ(3u, g_posts.size());
    EXPECT_EQ("1:12 arena bytes still allocated at KtUMemory::Terminate. Not terminating.",
              g_posts[0]);
    EXPECT_EQ("1:" + std::to_string(heap) +
                  " malloc bytes still allocated at KtUMemory::Terminate. Not terminating.",
              g_posts[1]);
    EXPECT_EQ("1:65536 region bytes still allocated at KtUMemory::Terminate. Not terminating.",
              g_posts[2]);
    // The tables stayed: the blocks can still be freed after re-initialising.
    KtUMemory::Initialise();
    KtUMemory::Dealloc(a, 12, KtUMemory::eALIGN1);
    KtUMemory::Free(m);
    KtUMemory::DeallocRegion(r, 65536, KtUMemory::eLIFETIME_NORMAL);
    EXPECT_EQ(0u, KtUMemory::GetDirectMemoryAllocated());
}

TEST_F(MemoryTest, CheckMemoryIsQuietOnAHealthyProcess) {
    std::vector<void*> blocks;
    for (unsigned s = 4; s <= 16256; s += 100)
        blocks.push_back(KtUMemory::Alloc(s, KtUMemory::eALIGN8));
    KtUMemory::CheckMemory();
    EXPECT_TRUE(g_posts.empty());
    unsigned s = 4;
    for (void* p : blocks) {
        KtUMemory::Dealloc(p, s, KtUMemory::eALIGN8);
        s += 100;
    }
}

TEST_F(MemoryTest, ConcurrentAllocAndFreeKeepCountersExact) {
    auto worker = [](unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<std::pair<void*, unsigned>> live;
        for (int op = 0; op < 20000; ++op) {
            if (live.size() < 64 && (live.empty() || rng() % 2)) {
                unsigned size = 1 + rng() % 3000;
                char* p = static_cast<char*>(KtUMemory::Alloc(size, KtUMemory::eALIGN8));
                p[0] = char(size);
                p[size - 1] = char(size);
                live.push_back({p, size});
            } else {
                size_t i = rng() % live.size();
                auto [p, size] = live[i];
                EXPECT_EQ(char(size), static_cast<char*>(p)[0]);
                EXPECT_EQ(char(size), static_cast<char*>(p)[size - 1]);
                KtUMemory::Dealloc(p, size, KtUMemory::eALIGN8);
                live[i] = live.back();
                live.pop_back();
            }
        }
        for (auto [p, size] : live)
            KtUMemory::Dealloc(p, size, KtUMemory::eALIGN8);
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t)
        threads.emplace_back(worker, t + 1);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(0u, KtUMemory::GetDirectMemoryAllocated());
}

// Switches read at initialisation, each in a fresh child process.
TEST(MemorySwitchTest, EnvironmentSwitchesAreReadAtInitialise) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process: no switch set yet
    EXPECT_EXIT(
        {
            setenv("QB4_FORCE_MALLOC", "1", 1);
            setenv("QB4_SCRUB_MEMORY", "yes", 1);
            setenv("QB4_CHECK_MEMORY", "0", 1);
            KtUMemory::Initialise();
            void* p = KtUMemory::Alloc(16, KtUMemory::eALIGN8);
            bool ok = KtUMemory::IsForceMalloc() && KtUMemory::IsScrubMemory() &&
                      !KtUMemory::IsCheckMemory() && KtUMemory::GetArenaMemoryAllocated() == 0 &&
                      KtUMemory::GetMallocMemoryAllocated() >= 16;
            KtUMemory::Dealloc(p, 16, KtUMemory::eALIGN8);
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    // Switches from the environment act on the inline paths as the setters do.
    EXPECT_EXIT(
        {
            setenv("QB4_SCRUB_MEMORY", "1", 1);
            setenv("QB4_CHECK_MEMORY", "1", 1);
            KtUMemory::Initialise();
            KtUSysError::SetHandler(CapturePost, KtUSysError::eANY, (KtUComponent*)nullptr, -1);
            auto* p = static_cast<uint8_t*>(KtUMemory::Alloc(9, KtUMemory::eALIGN1));
            void* keep = KtUMemory::Alloc(9, KtUMemory::eALIGN1); // the region stays
            bool ok = p[0] == 0xCD && p[11] == 0xCD;
            KtUMemory::Dealloc(p, 9, KtUMemory::eALIGN1);
            ok = ok && PeekByte(p + 8) == 0xDD;
            void* wrong = KtUMemory::Alloc(16, KtUMemory::eALIGN8);
            KtUMemory::Dealloc(wrong, 32, KtUMemory::eALIGN8); // into another arena
            ok = ok && g_posts.size() == 1 &&
                 g_posts[0].find("which is not in arena") != std::string::npos;
            (void)keep;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    // A choice the program made before Initialise stands; the environment
    // can still turn medium arenas off.
    EXPECT_EXIT(
        {
            KtUMemory::SetUseMediumBlockAllocator(0);
            KtUMemory::Initialise();
            bool ok = KtUMemory::GetMaxMediumBlockSize() == 512;
            KtUMemory::Terminate();
            KtUMemory::SetUseMediumBlockAllocator(1);
            setenv("QB5_DISABLE_MEDIUM_BLOCK_ALLOCATORS", "1", 1);
            KtUMemory::Initialise();
            ok = ok && !KtUMemory::IsUseMediumBlockAllocator();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("QB4_FORCE_MALLOC", "1", 1);
            KtUMemory::SetForceMalloc(0); // the program's choice wins
            KtUMemory::Initialise();
            std::exit(KtUMemory::IsForceMalloc() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("QB4_FORCE_MALLOC_REGION", "1", 1);
            KtUMemory::Initialise();
            char* r =
                static_cast<char*>(KtUMemory::AllocRegion(65536, KtUMemory::eLIFETIME_NORMAL));
            void* big = KtUMemory::Alloc(65536, KtUMemory::eALIGN1);
            bool ok = RegionOf(r) == reinterpret_cast<uintptr_t>(r) &&
                      KtUMemory::GetRegionMemoryAllocated() == 0 &&
                      KtUMemory::GetMallocMemoryAllocated() >= 2 * 65536;
            std::memset(r, 0, 65536);
            KtUMemory::DeallocRegion(r, 65536, KtUMemory::eLIFETIME_NORMAL);
            KtUMemory::Dealloc(big, 65536, KtUMemory::eALIGN1);
            ok = ok && KtUMemory::GetMallocMemoryAllocated() == 0;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(MemoryDeathTest, UseBeforeInitialiseIsReportedByName) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a process that never initialised
    EXPECT_DEATH(KtUMemory::Alloc(16, KtUMemory::eALIGN8),
                 "unhandled precondition failure from .*KtUMemory::Alloc of 16 bytes before "
                 "KtUMemory::Initialise\\(\\)");
}

TEST(MemoryDeathTest, BadSizeIsFatal) {
    EXPECT_DEATH(
        {
            KtUMemory::Initialise();
            KtUMemory::Alloc(0x7FF00001u, KtUMemory::eALIGN1);
        },
        "");
    EXPECT_DEATH(
        {
            KtUMemory::Initialise();
            KtUMemory::Dealloc(reinterpret_cast<void*>(0x10000), 0xFFFFFFF0u, KtUMemory::eALIGN1);
        },
        "");
}

#if KTU_HAS_ASAN
TEST(MemoryDeathTest, UseAfterFreeInsideAnArenaIsCaught) {
    EXPECT_DEATH(
        {
            KtUMemory::Initialise();
            char* p = static_cast<char*>(KtUMemory::Alloc(32, KtUMemory::eALIGN8));
            KtUMemory::Dealloc(p, 32, KtUMemory::eALIGN8);
            static_cast<volatile char*>(p)[8] = 1;
        },
        "use-after-poison");
}
#endif

#if !KTU_HAS_ASAN && !KTU_HAS_TSAN
int g_handler_calls;
int RetryTwice(unsigned, int try_only) {
    ++g_handler_calls;
    return try_only == 1 && g_handler_calls < 3;
}

TEST(MemoryChildTest, NewHandlerIsAskedToRetryHeapFailures) {
    EXPECT_EXIT(
        {
            KtUMemory::Initialise();
            KtUMemory::SetNewHandler(RetryTwice);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = rlim_t(1) << 30; // below a 1.5 GiB block
            setrlimit(RLIMIT_AS, &limit);
            void* p = KtUMemory::TryMalloc(1536u << 20);
            std::exit(p == nullptr && g_handler_calls == 3 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(MemoryChildTest, RestrictMaxRegionSizeRemovesLargeFreeAreas) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            KtUMemory::Initialise();
            const unsigned limit = 64u << 20;
            KtUMemory::RestrictMaxRegionSize(limit);
            void* small = KtUMemory::TryAllocRegion(limit / 2, KtUMemory::eLIFETIME_NORMAL);
            void* large = KtUMemory::TryAllocRegion(2 * limit, KtUMemory::eLIFETIME_NORMAL);
            int reset = KtUMemory::ResetMaxRegionSize();
            void* after = KtUMemory::TryAllocRegion(2 * limit, KtUMemory::eLIFETIME_NORMAL);
            int code = (small ? 0 : 1) | (large ? 2 : 0) | (reset == 1 ? 0 : 4) | (after ? 0 : 8);
            code |= KtUMemory::ResetMaxRegionSize() == 0 ? 0 : 16;
            std::exit(code);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace

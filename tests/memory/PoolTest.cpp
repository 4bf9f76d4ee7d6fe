//===- PoolTest.cpp - Fast arenas, retrying arenas, heaps, deletables -----===//
#include "MemoryTestUtil.h"

#include <ktutil/KtUArena.h>
#include <ktutil/KtUDeletable.h>
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtUHeap.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sys/resource.h>
#include <vector>

using ktutest::g_posts;
using ktutest::PeekByte;

namespace {

class PoolTest : public ktutest::MemoryFixture {};

TEST_F(PoolTest, FastArenaPageArithmeticAndCompact) {
    KtUFastArena arena(12, 8);
    EXPECT_EQ(16u, arena.GetAlignedSize());
    EXPECT_EQ(8128u, arena.GetPageSize()); // GetBestBlockSize(4096): 508 blocks, no tail
    std::vector<void*> blocks;
    for (int i = 0; i < 509; ++i)
        blocks.push_back(arena.Alloc());
    EXPECT_EQ(2u, arena.GetCommittedPages());
    EXPECT_EQ(509u, arena.GetBlocksAllocated());
    EXPECT_EQ(509u, std::set<void*>(blocks.begin(), blocks.end()).size());
    // Blocks come in address order from the bump pointer.
    EXPECT_EQ(static_cast<char*>(blocks[0]) + 16, blocks[1]);

    // Freeing all but one block of the first page and compacting keeps it.
    for (int i = 1; i < 509; ++i)
        arena.Dealloc(blocks[i]);
    arena.Compact();
    EXPECT_EQ(1u, arena.GetCommittedPages());
    arena.Dealloc(blocks[0]);
    arena.Compact();
    EXPECT_EQ(0u, arena.GetCommittedPages());
    EXPECT_EQ(0u, arena.GetBlocksAllocated());
    EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated());
    // The arena still works after everything went back.
    void* again = arena.Alloc();
    EXPECT_NE(nullptr, again);
    arena.Dealloc(again);
}

TEST_F(PoolTest, DeallocAllKeepsSparePagesForReuse) {
    KtUFastArena arena(24, 8);
    for (int i = 0; i < 300; ++i)
        arena.Alloc();
    unsigned pages = arena.GetCommittedPages();
    auto bytes = KtUMemory::GetArenaMemoryAllocated() + KtUMemory::GetMallocMemoryAllocated();
    arena.DeallocAll();
    EXPECT_EQ(0u, arena.GetBlocksAllocated());
    EXPECT_EQ(pages, arena.GetCommittedPages());
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(nullptr, arena.Alloc());
    EXPECT_EQ(bytes, KtUMemory::GetArenaMemoryAllocated() + KtUMemory::GetMallocMemoryAllocated());
    arena.Release();
    EXPECT_EQ(0u, arena.GetCommittedPages());
    EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated() + KtUMemory::GetMallocMemoryAllocated());
}

TEST_F(PoolTest, MergeMovesFreshBlocksAndPages) {
    KtUFastArena a(16, 64 * 16, 8), b(16, 64 * 16, 8);
    ASSERT_EQ(a.GetPageSize(), b.GetPageSize());
    unsigned per_page = b.GetPageSize() / 16;
    std::vector<void*> taken;
    for (unsigned i = 0; i < per_page - 4; ++i)
        taken.push_back(b.Alloc());
    void* freed = b.Alloc(); // leaves 3 fresh blocks in b, and one free
    b.Dealloc(freed);
    void* mine = a.Alloc();
    a.Merge(&b);
    EXPECT_EQ(0u, b.GetBlocksAllocated());
    EXPECT_EQ(0u, b.GetCommittedPages());
    EXPECT_EQ(per_page - 4 + 1, a.GetBlocksAllocated());
    EXPECT_EQ(2u, a.GetCommittedPages());
    // The 3 fresh blocks and b's freed block are now a's to hand out, before
    // a touches its own fresh blocks or a new page.
    std::set<void*> handed;
    for (int i = 0; i < 4; ++i)
        handed.insert(a.Alloc());
    EXPECT_EQ(1u, handed.count(freed));
    EXPECT_EQ(2u, a.GetCommittedPages());
    // All four lie in b's page, which starts with b's first block.
    auto* page = static_cast<char*>(taken[0]);
    for (void* p : handed)
        EXPECT_TRUE(p >= page && p < page + b.GetPageSize()) << p;
    a.Dealloc(mine);
}

TEST_F(PoolTest, FastArenaScrubPatternsAndMessages) {
    KtUMemory::SetScrubMemory(1);
    KtUMemory::SetCheckMemory(1);
    KtUFastArena arena(12, 8);
    auto* block = static_cast<unsigned char*>(arena.Alloc());
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(0xCD, block[i]) << i;
    for (int i = 12; i < 16; ++i)
        EXPECT_EQ(0xFD, block[i]) << i;
    block[13] = 0xAB; // write past the object
    arena.Dealloc(block);
    ASSERT_EQ(1u, g_posts.size());
    EXPECT_NE(std::string::npos, g_posts[0].find("has value ab at offset 13, expected fd"))
        << g_posts[0];
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(0xDD, PeekByte(block + i)) << i;
    // Reusing the block finds the free pattern intact: no new message.
    auto* again = static_cast<unsigned char*>(arena.Alloc());
    EXPECT_EQ(block, again);
    EXPECT_EQ(1u, g_posts.size());
    arena.Dealloc(again);
}

// Current virtual size of the process, from /proc/self/status.
unsigned long VmSizeBytes() {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    unsigned long kib = 0;
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "VmSize: %lu kB", &kib) == 1) break;
    if (f) fclose(f);
    return kib * 1024;
}

// In a child with a tight address-space limit, fills an arena until the
// system refuses a region. The handler frees a reserve once (the retry
// succeeds), then gives up (Alloc returns null). Exits 0 when all went so.
[[noreturn]] void RunArenaRetryChild() {
    KtUMemory::Initialise();
    static void* reserve = KtUMemory::AllocEx(8u << 20, KtUMemory::eALIGN8, 0);
    static int calls = 0;
    static bool right_args = true;
    KtUMemory::SetNewHandler([](unsigned size, int try_only) {
        right_args = right_args && size == 4096 && try_only == 0;
        if (++calls > 1) return 0;
        KtUMemory::Dealloc(reserve, 8u << 20, KtUMemory::eALIGN8);
        return 1;
    });
    rlimit limit{VmSizeBytes() + (4u << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    KtUArena arena(4096, 8);
    int blocks = 0;
    while (blocks < 100000 && arena.Alloc())
        ++blocks;
    // Without the reserve's 8 MiB the arena would stop near 4 MiB (1024 blocks).
    std::_Exit(calls == 2 && right_args && blocks > 2048 && blocks < 100000 ? 0 : 1);
}

TEST(PoolDeathTest, ArenaRetriesWhileTheNewHandlerFreesMemory) {
#if KTU_HAS_ASAN || KTU_HAS_TSAN
    GTEST_SKIP() << "an address-space limit breaks the sanitizer runtimes";
#endif
    EXPECT_EXIT(RunArenaRetryChild(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PoolTest, HeapAllocatesNothing) {
    KtUHeap heap(16, 4096);
    EXPECT_EQ(16u, heap.GetMinSize());
    EXPECT_EQ(4096u, heap.GetMaxSize());
    EXPECT_EQ(nullptr, heap.Alloc(100));
    unsigned size = 10;
    EXPECT_EQ(nullptr, heap.Expand(nullptr, &size, 20));
    int x;
    EXPECT_EQ(&x, heap.Compact(&x, 4));
}

struct Part : KtUDeletable {
    KTU_DECLARE_ALLOCATION_OPERATORS
    char payload[100] = {};
    static inline int destroyed = 0;
    ~Part() override { ++destroyed; }
};

TEST_F(PoolTest, ObjectsLiveInEveryPoolAndDeleteThroughTheBase) {
    Part::destroyed = 0;
    KtUDeletable* d = new Part;
    EXPECT_EQ(sizeof(Part), KtUMemory::GetArenaMemoryAllocated()); // its own size, not the base's
    delete d;
    EXPECT_EQ(1, Part::destroyed);
    EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated());

    KtUFastArena fast(sizeof(Part), 8);
    KtUArena arena(sizeof(Part), 8);
    KtURawArena raw(sizeof(Part), 8, 0);
    Part* p1 = new (&fast) Part;
    Part* p2 = new (&arena) Part;
    Part* p3 = new (&raw) Part;
    EXPECT_EQ(1u, fast.GetBlocksAllocated());
    EXPECT_EQ(1u, arena.GetBlocksAllocated());
    EXPECT_EQ(1u, raw.GetBlocksAllocated());
    p1->~Part();
    fast.Dealloc(p1);
    p2->~Part();
    arena.Dealloc(p2);
    p3->~Part();
    raw.Dealloc(p3);
    EXPECT_EQ(0u,
              fast.GetBlocksAllocated() + arena.GetBlocksAllocated() + raw.GetBlocksAllocated());
}

} // namespace

//===- ArenaTest.cpp - Raw arenas: layout, pages, regions, scrub, check ---===//
#include "MemoryTestUtil.h"

#include <ktutil/KtURawArena.h>

#include <cstring>
#include <set>

using namespace ktutest;

namespace {

using ArenaTest = MemoryFixture;

TEST_F(ArenaTest, PageSizeKeepsWasteUnderOneIn128) {
    struct {
        unsigned size, page;
    } cases[] = {{4, 4096},   {8, 4096},    {16, 4096},   {20, 8192},
                 {56, 16384}, {124, 32768}, {1016, 4096}, {32744, 32768}};
    for (auto c : cases) {
        KtURawArena arena(c.size, 4, 0);
        EXPECT_EQ(c.page, arena.GetPageSize()) << c.size;
        EXPECT_EQ(65536u, arena.GetRegionSize());
    }
    KtURawArena odd(10, 8, 0);
    EXPECT_EQ(16u, odd.GetAlignedSize());
    KtURawArena big(4224, 8, 131072);
    EXPECT_EQ(131072u, big.GetPageSize()); // larger regions are single-page
}

TEST_F(ArenaTest, HandsOutHighestBlockFirstAndReusesLastFreed) {
    KtURawArena arena(16, 8, 0);
    char* a = static_cast<char*>(arena.Alloc());
    char* b = static_cast<char*>(arena.Alloc());
    // Page 0 of a multi-page region holds blocks from offset 24 up to 4096.
    EXPECT_EQ(24u + 253u * 16u, reinterpret_cast<uintptr_t>(a) & 0xFFFF);
    EXPECT_EQ(a - 16, b);
    arena.Dealloc(a);
    EXPECT_EQ(a, arena.Alloc());
    arena.Dealloc(a);
    arena.Dealloc(b);
    EXPECT_EQ(0u, arena.GetBlocksAllocated());
}

TEST_F(ArenaTest, CommitsPagesOnDemandAndReleasesEmptyRegions) {
    KtURawArena arena(16, 8, 0);
    const unsigned page0 = (4096 - 24) / 16, page = (4096 - 8) / 16;
    std::vector<void*> blocks;
    for (unsigned i = 0; i < page0; ++i)
        blocks.push_back(arena.Alloc());
    EXPECT_EQ(1u, arena.GetCommittedPages());
    blocks.push_back(arena.Alloc()); // first block of page 1
    EXPECT_EQ(2u, arena.GetCommittedPages());
    EXPECT_EQ(8192u, arena.GetCommittedMemory());
    arena.Dealloc(blocks.back()); // page 1 empties and is decommitted
    blocks.pop_back();
    EXPECT_EQ(1u, arena.GetCommittedPages());

    // Fill the whole region, then spill into a second one.
    const unsigned per_region = page0 + 15 * page;
    while (blocks.size() < per_region)
        blocks.push_back(arena.Alloc());
    EXPECT_EQ(1u, arena.GetFullRegions());
    EXPECT_EQ(0u, arena.GetFreeRegions());
    blocks.push_back(arena.Alloc());
    EXPECT_EQ(2u, arena.GetRegions());
    EXPECT_EQ(2u * 65536u, arena.GetReservedMemory());
    EXPECT_NE(RegionOf(blocks.front()), RegionOf(blocks.back()));
    std::set<uintptr_t> distinct(reinterpret_cast<uintptr_t*>(blocks.data()),
                                 reinterpret_cast<uintptr_t*>(blocks.data() + blocks.size()));
    EXPECT_EQ(blocks.size(), distinct.size());

    for (void* p : blocks)
        arena.Dealloc(p);
    // Every emptied region leaves the arena and its counters, the last one too.
    EXPECT_EQ(0u, arena.GetRegions());
    EXPECT_EQ(0u, arena.GetCommittedPages());
    EXPECT_EQ(0u, arena.GetCommittedMemory());
    // A block allocated and freed again takes a region and gives it back.
    void* again = arena.Alloc();
    EXPECT_EQ(1u, arena.GetRegions());
    arena.Dealloc(again);
    EXPECT_EQ(0u, arena.GetRegions());
}

TEST_F(ArenaTest, SingleAndLargeRegionArenasRoundTrip) {
    KtURawArena arena(4224, 8, 131072);
    std::vector<void*> blocks;
    for (int i = 0; i < 70; ++i) { // more than two 128 KiB regions of 31 blocks
        void* p = arena.Alloc();
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(0u, (reinterpret_cast<uintptr_t>(p) - 16) % 4224 % 8);
        std::memset(p, i, 4224);
        blocks.push_back(p);
    }
    EXPECT_EQ(3u, arena.GetRegions());
    for (void* p : blocks)
        EXPECT_EQ(0u, RegionOf(p, 131072) % 131072);
    for (void* p : blocks)
        arena.Dealloc(p);
    EXPECT_EQ(0u, arena.GetRegions()); // regions above 64 KiB are not kept
}

TEST_F(ArenaTest, ScrubFillsObjectTailAndFreedBlocks) {
    KtUMemory::SetScrubMemory(1);
    KtURawArena arena(10, 8, 0);
    uint8_t* p = static_cast<uint8_t*>(arena.Alloc());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(0xCD, p[i]) << i;
    for (int i = 10; i < 16; ++i)
        EXPECT_EQ(0xFD, p[i]) << i;
    arena.Dealloc(p);
    for (int i = 4; i < 16; ++i) // the first word links the free list
        EXPECT_EQ(0xDD, PeekByte(p + i)) << i;
}

TEST_F(ArenaTest, CheckReportsForeignBlocksAndBrokenPatterns) {
    KtUMemory::SetScrubMemory(1);
    KtUMemory::SetCheckMemory(1);
    KtURawArena a(10, 8, 0), b(10, 8, 0);
    uint8_t* p = static_cast<uint8_t*>(a.Alloc());
    b.Dealloc(p);
    ASSERT_EQ(1u, g_posts.size());
    char expected[128];
    std::snprintf(expected, sizeof(expected),
                  "0:Dealloc: Block %lx lies in region %lx which is not in arena %lx",
                  (unsigned long)p, (unsigned long)RegionOf(p), (unsigned long)&b);
    EXPECT_EQ(expected, g_posts[0]);
    EXPECT_EQ(1u, a.GetBlocksAllocated()); // nothing was freed

    p[12] = 0;
    a.Dealloc(p);
    std::snprintf(expected, sizeof(expected),
                  "0:Memory block at %lx has value 0 at offset 12, expected fd", (unsigned long)p);
    ASSERT_EQ(2u, g_posts.size());
    EXPECT_EQ(expected, g_posts[1]);

    // The freed block is handed out again; a write after free shows up. A
    // second block keeps the region from emptying (and leaving the arena).
    uint8_t* q = static_cast<uint8_t*>(a.Alloc());
    ASSERT_EQ(p, q);
    void* keep = a.Alloc();
    a.Dealloc(q);
#if !KTU_HAS_ASAN
    q[9] = 0x11;
    EXPECT_EQ(q, a.Alloc());
    std::snprintf(expected, sizeof(expected),
                  "0:Memory block at %lx has value 11 at offset 9, expected dd", (unsigned long)q);
    EXPECT_EQ(expected, g_posts.back());
    a.Dealloc(q);
#endif
    a.Dealloc(keep);
}

TEST_F(ArenaTest, CheckArenaReportsCorruptHeaders) {
    KtURawArena arena(16, 8, 0);
    void* p = arena.Alloc();
    void* region = reinterpret_cast<void*>(RegionOf(p));
    unsigned long r = (unsigned long)region;
    char expected[160];
    struct Corruption {
        unsigned offset;
        uint32_t value;
        const char* format;
    } cases[] = {
        {12, 0x10000,
         "0:Memory Region %lx has invalid uncommited pages mask 10000 (at most fffe bits can be "
         "set)\n"},
        {8, 0x20001,
         "0:Memory Region %lx has invalid free pages mask 20001 (at most ffff bits can be set)\n"},
        {20, 300, "0:Memory Page %lx , size 4080, block size 16 has invalid used blocks 300\n"},
        {16, 40000, "0:Free Block %lx , size 16, is out of range for page %lx, size 4080\n"},
        {16, 28, "0:Free Block %lx , size 16, on page %lx points into middle of block\n"},
    };
    for (const Corruption& c : cases) {
        uint32_t saved = *Word(region, c.offset);
        *Word(region, c.offset) = c.value;
        g_posts.clear();
        arena.CheckArena();
        ASSERT_EQ(1u, g_posts.size()) << c.format;
        unsigned long block = r + (c.offset == 16 ? c.value : 0);
        if (c.offset == 16)
            std::snprintf(expected, sizeof(expected), c.format, block, r);
        else
            std::snprintf(expected, sizeof(expected), c.format, r);
        EXPECT_EQ(expected, g_posts[0]);
        *Word(region, c.offset) = saved;
    }
    g_posts.clear();
    arena.CheckArena();
    EXPECT_TRUE(g_posts.empty());

    KtURawArena big(4224, 8, 131072);
    void* q = big.Alloc();
    void* big_region = reinterpret_cast<void*>(RegionOf(q, 131072));
    *Word(big_region, 4) = 0x7001; // a 64 KiB multiple that is not 128 KiB aligned
    big.CheckArena();
    std::snprintf(expected, sizeof(expected),
                  "0:Memory Region %lx has invalid prev pointer 70010000\n",
                  (unsigned long)big_region);
    ASSERT_FALSE(g_posts.empty());
    EXPECT_EQ(expected, g_posts.back());
    *Word(big_region, 4) = 0;
    big.Dealloc(q);
    arena.Dealloc(p);
}

} // namespace

//===- RetainTest.cpp - Emptied pages and regions kept mapped for reuse ---===//
#include "MemoryTestUtil.h"
#include "memory/mem_retain.h"

#include <ktutil/KtURawArena.h>

#include <chrono>
#include <sys/mman.h>
#include <thread>

using namespace ktutest;

namespace {

constexpr unsigned kPage0Blocks = (4096 - 24) / 16, kPageBlocks = (4096 - 8) / 16;

// Residency as the kernel reports it; mapped = inside some mapping at all.
bool Mapped(const void* p) {
    unsigned char v;
    return mincore(reinterpret_cast<void*>(RegionOf(p, 4096)), 4096, &v) == 0;
}
bool Resident(const void* p) {
    unsigned char v = 0;
    return mincore(reinterpret_cast<void*>(RegionOf(p, 4096)), 4096, &v) == 0 && (v & 1);
}

class RetainTest : public MemoryFixture {
protected:
    void SetUp() override {
        MemoryFixture::SetUp();
        KtUMemory::ReleaseRetainedMemory();
    }
    void TearDown() override {
        ktu::mem::SetDecayForTest(ktu::mem::kDecayMs);
        ktu::mem::SetCapFloorForTest(ktu::mem::kCapFloor);
        MemoryFixture::TearDown();
    }
    // Fills page 0 of a 16-byte arena's region and hands out blocks of the
    // pages after it: `pages` pages of them, plus one more block.
    static std::vector<void*> Fill(KtURawArena& arena, unsigned pages) {
        std::vector<void*> blocks;
        for (unsigned i = 0; i < kPage0Blocks + pages * kPageBlocks + 1; ++i)
            blocks.push_back(arena.Alloc());
        return blocks;
    }
};

TEST_F(RetainTest, EmptiedPageIsReusedInPlace) {
    KtURawArena arena(16, 8, 0);
    std::vector<void*> blocks = Fill(arena, 0);
    void* p = blocks.back(); // the first block of page 1
    ASSERT_EQ(2u, arena.GetCommittedPages());
    arena.Dealloc(p);
    EXPECT_EQ(1u, arena.GetCommittedPages()); // logically decommitted...
    EXPECT_EQ(4096u, KtUMemory::GetRetainedMemory());
    EXPECT_TRUE(Resident(p)); // ...physically kept, and poisoned under ASan
#if KTU_HAS_ASAN
    EXPECT_TRUE(__asan_address_is_poisoned(p));
#endif
    EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_EQ(p, arena.Alloc());
    EXPECT_EQ(2u, arena.GetCommittedPages());
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
}

TEST_F(RetainTest, ReleasedRegionGoesToAProcessWideCacheBySize) {
    KtURawArena a(4224, 8, 131072);
    void* p = a.Alloc();
    a.Dealloc(p);
    EXPECT_EQ(0u, a.GetRegions());
    EXPECT_EQ(131072u, KtUMemory::GetRetainedMemory());
    KtURawArena b(4224, 8, 131072), c(40, 8, 0);
    void* q = c.Alloc(); // another region size: not from the cache
    EXPECT_EQ(131072u, KtUMemory::GetRetainedMemory());
    void* r = b.Alloc(); // the same size: the cached region, no new mapping
    EXPECT_EQ(RegionOf(p, 131072), RegionOf(r, 131072));
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
    b.Dealloc(r);
    c.Dealloc(q);
}

TEST_F(RetainTest, DecayPurgesOnTheManagersOwnCalls) {
    ktu::mem::SetDecayForTest(20);
    KtURawArena arena(4224, 8, 131072);
    void* p = arena.Alloc();
    arena.Dealloc(p);
    ktu::mem::Tick();
    EXPECT_EQ(131072u, KtUMemory::GetRetainedMemory()); // still young
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    for (unsigned i = 0; i < ktu::mem::kTickInterval; ++i) // the clock is read once per interval
        KtUMemory::Dealloc(KtUMemory::Alloc(16, KtUMemory::eALIGN8), 16, KtUMemory::eALIGN8);
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
    EXPECT_FALSE(Mapped(p));
}

TEST_F(RetainTest, CapKeepsTheFootprintWithinTheRecentPeak) {
    ktu::mem::SetDecayForTest(60000);
    ktu::mem::SetCapFloorForTest(0);
    KtURawArena x(16, 8, 0), y(16, 8, 0);
    std::vector<void*> blocks = Fill(x, 2); // pages 0-3 committed
    for (size_t i = kPage0Blocks; i < blocks.size(); ++i)
        x.Dealloc(blocks[i]);
    ktu::mem::Tick();
    EXPECT_EQ(3u * 4096u, KtUMemory::GetRetainedMemory()); // below the peak: kept
    std::vector<void*> more = Fill(y, 2);                  // commits four pages: past the peak
    ktu::mem::Tick();
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
    EXPECT_FALSE(Resident(blocks.back()));
    for (size_t i = 0; i < kPage0Blocks; ++i)
        x.Dealloc(blocks[i]);
    for (void* p : more)
        y.Dealloc(p);
}

TEST_F(RetainTest, ReleaseRetainedMemoryPurgesEverythingNow) {
    KtURawArena arena(16, 8, 0);
    std::vector<void*> blocks = Fill(arena, 0);
    arena.Dealloc(blocks.back()); // a retained page
    char* p = static_cast<char*>(KtUMemory::Alloc(4224, KtUMemory::eALIGN8));
    KtUMemory::Dealloc(p, 4224, KtUMemory::eALIGN8); // a cached 128 KiB region
    EXPECT_EQ(4096u + 131072u, KtUMemory::GetRetainedMemory());

    KtUMemory::ReleaseRetainedMemory();
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
    EXPECT_FALSE(Mapped(p));
    EXPECT_TRUE(Mapped(blocks.back())); // decommitted inside its live region
    EXPECT_FALSE(Resident(blocks.back()));
    char* q = static_cast<char*>(arena.Alloc()); // committed afresh
    EXPECT_EQ(blocks.back(), q);
    q[15] = 1;

    // Terminate gives retained memory back as well.
    arena.Dealloc(q);
    p = static_cast<char*>(KtUMemory::Alloc(4224, KtUMemory::eALIGN8));
    KtUMemory::Dealloc(p, 4224, KtUMemory::eALIGN8);
    EXPECT_LE(131072u, KtUMemory::GetRetainedMemory());
    KtUMemory::Terminate();
    EXPECT_EQ(0u, KtUMemory::GetRetainedMemory());
    KtUMemory::Initialise();
    for (size_t i = 0; i + 1 < blocks.size(); ++i)
        arena.Dealloc(blocks[i]);
}

} // namespace

//===- PageOutTest.cpp - Page-out passes, criteria, new handler, page files ===//
#include "PagingTestUtil.h"

#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPageFile.h>
#include <ktutil/KtUPageOut.h>
#include <ktutil/KtUPageOutObserver.h>
#include <ktutil/KtUPageOutProgress.h>

#include "platform/membudget.h"

#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace ktutest;

namespace {

std::vector<std::string> g_calls; // "<name>:<pass>" in call order

/// A host cache of blocks from the memory manager. It frees one block per
/// call from pass `first_pass` on (a lower priority waits for later passes)
/// and asks the criterion after each.
class Cache : public KtUPageOut {
public:
    Cache(const char* name, int first_pass, int blocks, unsigned block_size, bool region = false)
        : m_name(name), m_first_pass(first_pass), m_size(block_size), m_region(region) {
        for (int i = 0; i < blocks; ++i) {
            void* p = region ? KtUMemory::AllocRegion(block_size, KtUMemory::eLIFETIME_NORMAL)
                             : KtUMemory::Alloc(block_size, KtUMemory::eALIGN8);
            std::memset(p, 1, block_size); // private memory, not just address space
            m_blocks.push_back(p);
        }
    }
    ~Cache() override {
        while (FreeOne()) {
        }
    }
    int PageOut(KtUPage::Context, KtUPage::Action, int reserved, int pass,
                KtUPageOutProgress* progress) override {
        EXPECT_EQ(0, reserved);
        g_calls.push_back(m_name + ":" + std::to_string(pass));
        if (pass < m_first_pass) return 0;
        while (FreeOne())
            if (!progress || progress->ShouldStop(1)) return 0;
        return 1;
    }
    size_t Blocks() const { return m_blocks.size(); }

private:
    bool FreeOne() {
        if (m_blocks.empty()) return false;
        if (m_region)
            KtUMemory::DeallocRegion(m_blocks.back(), m_size, KtUMemory::eLIFETIME_NORMAL);
        else
            KtUMemory::Dealloc(m_blocks.back(), m_size, KtUMemory::eALIGN8);
        m_blocks.pop_back();
        return true;
    }
    std::string m_name;
    int m_first_pass;
    unsigned m_size;
    bool m_region;
    std::vector<void*> m_blocks;
};

/// Met after `calls` tests.
class Countdown : public KtUPageOutProgress {
public:
    explicit Countdown(int calls) : m_left(calls) {}
    int Test(int) override { return --m_left <= 0; }

private:
    int m_left;
};

class PageOutTest : public PagingTest {
protected:
    void SetUp() override {
        PagingTest::SetUp();
        g_calls.clear();
        ktu::sys::InvalidatePrivateMemoryCache();
    }
    bool Logged(const char* line) { return LogText().find(line) != std::string::npos; }
};

TEST_F(PageOutTest, PassesAskPageOutsInOrderUntilTheCriterionIsMet) {
    Cache a("a", 0, 1, 64), b("b", 2, 3, 64), c("c", 1, 3, 64);
    KtUPage::AddPageOut(&a);
    KtUPage::AddPageOut(&b);
    KtUPage::AddPageOut(&c);
    // a gives its one block in pass 0 and is exhausted; c starts giving in pass 1,
    // b in pass 2; the fifth test is met after b's first block.
    Countdown five(5);
    EXPECT_EQ(KtUPage::eSUCCESS,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &five));
    std::vector<std::string> expected = {"a:0", "b:0", "c:0", "b:1", "c:1", "b:2"};
    EXPECT_EQ(expected, g_calls);
    EXPECT_EQ(0u, a.Blocks());
    EXPECT_EQ(2u, b.Blocks());
    EXPECT_EQ(0u, c.Blocks());
    EXPECT_TRUE(Logged("Page out succeeded after pass 2\n"));
    EXPECT_EQ(0, KtUPage::GetPageOutDepth());

    // Not enough to give: an external criterion fails without declaring the
    // process out of memory, after the first pass in which nobody answered 0.
    g_calls.clear();
    Countdown never(1000);
    EXPECT_EQ(KtUPage::eFAILURE,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &never));
    EXPECT_EQ((std::vector<std::string>{"a:0", "b:0", "c:0", "b:1", "c:1", "b:2"}), g_calls);
    EXPECT_EQ(0u, b.Blocks());
    EXPECT_TRUE(Logged("Page out to external criteria failed\n"));
    EXPECT_FALSE(KtUPage::IsOutOfMemory());

    // No criterion at all: nothing is asked.
    g_calls.clear();
    EXPECT_EQ(KtUPage::eNOTHING_DONE,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, nullptr));
    EXPECT_TRUE(g_calls.empty());
    KtUPage::RemovePageOut(&a);
    KtUPage::RemovePageOut(&b);
    KtUPage::RemovePageOut(&c);
}

TEST_F(PageOutTest, AllocLimitPagesOutDownToTheAllocTarget) {
    Cache cache("cache", 0, 24, 1u << 20); // 24 MiB from the memory manager
    KtUPage::AddPageOut(&cache);
    KtUNat64 base = KtUMemory::GetMemoryAllocated() - 24 * kMiB;
    KtUPage::SetAllocMemoryLimit(base + 20 * kMiB); // target: base + 10 MiB
    EXPECT_TRUE(KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_LIMIT));
    EXPECT_EQ(KtUPage::eSUCCESS, KtUPage::PageOutIfNeeded());
    // Freed down to the target and not one block further.
    EXPECT_LT(KtUMemory::GetMemoryAllocated(), KtUPage::GetAllocMemoryTarget());
    EXPECT_GE(KtUMemory::GetMemoryAllocated() + kMiB, KtUPage::GetAllocMemoryTarget());
    EXPECT_GT(cache.Blocks(), 0u);
    EXPECT_TRUE(Logged("Page out succeeded after pass 0\n"));
    EXPECT_FALSE(KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_LIMIT));
    EXPECT_EQ(KtUPage::eNOTHING_DONE, KtUPage::PageOutIfNeeded());

    // Below the limit with nothing to free: out of memory, and stays so.
    KtUPage::SetAllocMemoryLimit(base + 1 * kMiB);
    KtUPage::RemovePageOut(&cache);
    Cache empty("empty", 0, 0, 64);
    KtUPage::AddPageOut(&empty);
    ClearLog();
    g_calls.clear();
    EXPECT_EQ(KtUPage::eFAILURE, KtUPage::PageOutIfNeeded());
    EXPECT_EQ(std::vector<std::string>{"empty:0"}, g_calls); // one pass: nobody answered 0
    EXPECT_TRUE(Logged("Page out failed - out of memory\n"));
    EXPECT_TRUE(Logged("Process memory (MB): ")); // statistics after a failure
    EXPECT_TRUE(KtUPage::IsOutOfMemory());
    g_calls.clear();
    EXPECT_EQ(KtUPage::eFAILURE, KtUPage::PageOutIfNeeded());
    EXPECT_TRUE(g_calls.empty());
    KtUPage::RemovePageOut(&empty);
}

TEST_F(PageOutTest, HardLimitPagesOutUntilPrivateMemoryIsBelowTheZone) {
    KtUNat64 base = KtUPage::GetProcessPrivateMemoryUsage();
    ASSERT_GT(base, 0u);
    Cache cache("cache", 0, 16, 4u << 20, true); // 64 MiB of touched regions
    KtUPage::AddPageOut(&cache);
    // Limit base + 40 MiB, zone base + 30 MiB: about 36 MiB must go.
    KtUPage::SetProcessMemoryLimit(base + 40 * kMiB);
    ktu::sys::InvalidatePrivateMemoryCache();
    EXPECT_TRUE(KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_LIMIT));
    ktu::sys::InvalidatePrivateMemoryCache();
    EXPECT_EQ(KtUPage::eSUCCESS, KtUPage::PageOutIfNeeded());
    EXPECT_TRUE(Logged("Page out succeeded after pass 0\n"));
    // Below the zone when the criterion was met; the log lines since may have
    // touched a few more pages.
    EXPECT_LT(KtUPage::GetProcessPrivateMemoryUsage(), KtUPage::GetProcessMemoryZone() + kMiB);
    // Stopped on the way, not emptied: about 7 blocks are left normally. The
    // rest of the process moves by a few MiB, and under a sanitizer its shadow
    // memory rises and falls with the blocks too, so only "some" is certain.
    EXPECT_GE(cache.Blocks(), 1u);
    EXPECT_LE(cache.Blocks(), 12u);
    // The alloc limit came down to what was allocated when the limit was relieved.
    EXPECT_TRUE(KtUPage::IsAllocMemoryLimitAdjusted());
    EXPECT_EQ(KtUMemory::GetMemoryAllocated(), KtUPage::GetAllocMemoryLimit());

    // A limit no process gets below (a small test process falls under 1 MiB
    // once the cache is gone): everything is freed and the page-out fails.
    KtUPage::SetProcessMemoryLimit(4096);
    ktu::sys::InvalidatePrivateMemoryCache();
    ClearLog();
    EXPECT_EQ(KtUPage::eFAILURE,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, nullptr));
    EXPECT_TRUE(Logged("Page out failed - out of memory\n"));
    EXPECT_EQ(0u, cache.Blocks());
    EXPECT_TRUE(KtUPage::IsOutOfMemory());
    KtUPage::RemovePageOut(&cache);
}

/// Calls PageOut again from inside, or removes itself, when asked.
class Reentrant : public KtUPageOut {
public:
    int PageOut(KtUPage::Context, KtUPage::Action, int, int,
                KtUPageOutProgress* progress) override {
        ++calls;
        progress->ShouldStop(0);
        nested = KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, nullptr);
        if (remove_self) KtUPage::RemovePageOut(this);
        return 0;
    }
    int calls = 0;
    int nested = -1;
    bool remove_self = false;
};

class Observer : public KtUPageOutObserver {
public:
    int PageOutStarting() override {
        ++started;
        return answer;
    }
    void PageOutFinished() override { ++finished; }
    int answer = 0, started = 0, finished = 0;
};

TEST_F(PageOutTest, ObserversVetoesReentryAndRemovalDuringARun) {
    Reentrant r, other;
    r.remove_self = true;
    Observer watch;
    KtUPage::AddPageOut(&r);
    KtUPage::AddPageOut(&other);
    KtUPage::AddPageOutObserver(&watch);
    Countdown two(2);
    EXPECT_EQ(KtUPage::eSUCCESS,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &two));
    EXPECT_EQ(KtUPage::eNOTHING_DONE, r.nested); // nested page-outs do nothing
    EXPECT_EQ(1, r.calls);                       // removed itself: not asked in pass 1
    EXPECT_EQ(1, other.calls);
    EXPECT_EQ(1, watch.started);
    EXPECT_EQ(1, watch.finished);

    // An observer's 2 fails the page-out before anyone is asked.
    watch.answer = 2;
    Countdown one(1);
    EXPECT_EQ(KtUPage::eFAILURE,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &one));
    EXPECT_EQ(1, other.calls);
    EXPECT_TRUE(KtUPage::IsOutOfMemory());
    EXPECT_EQ(2, watch.finished);
    KtUPage::ClearOutOfMemory();

    // Stress test: every pass runs and the page-out counts as done.
    watch.answer = 0;
    KtUPage::SetStressTest(1);
    EXPECT_TRUE(KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_LIMIT));
    EXPECT_EQ(KtUPage::eSUCCESS,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, nullptr));
    EXPECT_EQ(11, other.calls);
    EXPECT_FALSE(KtUPage::IsOutOfMemory());
    KtUPage::RemovePageOut(&other);
    KtUPage::RemovePageOutObserver(&watch);

    KtUPage::SetPageFileCorrupt(u"bad page 7");
    EXPECT_EQ(std::u16string(u"bad page 7"), KtUPage::GetPageFileCorrupt());
    EXPECT_TRUE(Logged("Page file corrupt: bad page 7\n"));
    KtUPage::ClearPageFileCorrupt();
    EXPECT_EQ(nullptr, KtUPage::GetPageFileCorrupt());
}

TEST_F(PageOutTest, RecoveringTheSpareRegionLowersTheLimitToTheUseThen) {
    Cache cache("cache", 0, 4, 64);
    KtUPage::AddPageOut(&cache);
    KtUMemory::ReleaseSpareMallocRegion();
    KtUPage::SetRecoverMallocRegion(1);
    Countdown two(2);
    EXPECT_EQ(KtUPage::eSUCCESS,
              KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &two));
    EXPECT_EQ(2u, cache.Blocks()); // the wrapped criterion still decides
    EXPECT_TRUE(KtUMemory::HaveReservedSpareMallocRegion());
    EXPECT_FALSE(KtUPage::ShouldRecoverMallocRegion());
    KtUNat64 limit = KtUPage::GetMallocOverrideLimit();
    EXPECT_GT(limit, 0u);
    EXPECT_EQ(limit, KtUPage::GetProcessMemoryLimit());
    std::string log = LogText();
    EXPECT_NE(std::string::npos,
              log.find("Need to recover spare malloc region, attemping to page out...\n"));
    EXPECT_NE(std::string::npos,
              log.find("Reserved spare malloc region during page out. Updating hard process "
                       "memory limit to " +
                       std::to_string(limit >> 20) + " MB\n"));
    EXPECT_NE(std::string::npos, log.find("CalcDefaultProcessMemoryLimit MallocOverride " +
                                          std::to_string(limit >> 20) + " MB"));
    KtUMemory::ReleaseSpareMallocRegion();
    KtUPage::RemovePageOut(&cache);
}

// The memory manager's new handler: a region the address space cannot hold
// until a page-out released the cache. Run in a child under an address-space limit.
TEST_F(PageOutTest, FailedAllocationPagesOutAndSucceeds) {
#if KTU_HAS_ASAN || KTU_HAS_TSAN
    GTEST_SKIP() << "sanitizers reserve terabytes of shadow: no address-space limit possible";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Cache cache("cache", 0, 8, 8u << 20, true); // 64 MiB
            KtUPage::AddPageOut(&cache);
            ktu::sys::AddressSpaceUsage u;
            ktu::sys::ReadAddressSpaceUsage(&u);
            rlimit lim{};
            getrlimit(RLIMIT_AS, &lim);
            lim.rlim_cur = ktu::sys::AddressSpaceBytes() - u.free + 32 * kMiB;
            setrlimit(RLIMIT_AS, &lim);
            void* p = KtUMemory::TryAllocRegion(48u << 20, KtUMemory::eLIFETIME_NORMAL);
            bool ok = p && cache.Blocks() < 8 && cache.Blocks() > 0 &&
                      LogText().find("virtual_alloc_alloc: Failed to allocate size 50331648") !=
                          std::string::npos;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

class Pages : public KtUPageFile {
public:
    int Flush() override { return 0; }
    int Truncate(unsigned int) override { return 0; }
    unsigned int GetNumPages() override { return 0; }
    void PageReleased(unsigned int page, int how) override {
        released.push_back(int(page) * 10 + how);
    }
    void* IRead(unsigned int page, Type, Status* status) override {
        *status = eSTATUS_READ;
        reads.push_back(int(page));
        return this;
    }
    ~Pages() override { *deleted = true; }
    using KtUPageFile::GetCache;
    using KtUPageFile::Read;
    using KtUPageFile::SetCache;
    std::vector<int> released, reads;
    bool* deleted = nullptr;
};

TEST_F(PageOutTest, PageFilesCacheReadThroughAPageOutAndDeleteThemselves) {
    bool deleted = false;
    Pages* file = new Pages;
    file->deleted = &deleted;
    file->Ref();
    file->Ref();
    int a = 1, b = 2;
    file->SetCache(300, &a); // grows one slot at a time to 300
    EXPECT_EQ(300u, file->GetCacheSize());
    EXPECT_EQ(nullptr, file->GetCache(299));
    EXPECT_EQ(nullptr, file->GetCache(301));
    file->SetCache(300, &b);
    file->SetCache(300, nullptr);
    file->SetCache(299, nullptr);
    EXPECT_EQ(std::vector<int>{2999}, file->released); // (300, -1), once
    file->SetCache(5, &a);

    Cache cache("cache", 0, 2, 64);
    KtUPage::AddPageOut(&cache);
    Countdown one(1);
    KtUPageFile::Status status = KtUPageFile::eSTATUS_READ;
    EXPECT_EQ(&a,
              file->Read(5, KtUPageFile::eTYPE_DEFAULT, &status, KtUPage::eACTION_DEFAULT, &one));
    EXPECT_EQ(KtUPageFile::eSTATUS_CACHED, status);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(file,
              file->Read(6, KtUPageFile::eTYPE_DEFAULT, &status, KtUPage::eACTION_DEFAULT, &one));
    EXPECT_EQ(KtUPageFile::eSTATUS_READ, status);
    EXPECT_EQ(std::vector<std::string>{"cache:0"}, g_calls);
    file->Read(7, KtUPageFile::eTYPE_DEFAULT, &status, KtUPage::eACTION_NO_PAGE_OUT, &one);
    EXPECT_EQ(1u, g_calls.size());
    EXPECT_EQ((std::vector<int>{6, 7}), file->reads);
    KtUPage::RemovePageOut(&cache);

    file->SetCacheSize(2);
    EXPECT_EQ(nullptr, file->GetCache(5));
    file->Unref();
    EXPECT_FALSE(deleted);
    file->Unref();
    EXPECT_TRUE(deleted);
}

} // namespace

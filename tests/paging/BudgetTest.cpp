//===- BudgetTest.cpp - Limits, zones, targets and the machine's facts ----===//
#include "PagingTestUtil.h"

#include "platform/membudget.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ktutest;

namespace {

class BudgetTest : public PagingTest {};

TEST_F(BudgetTest, ZonesAndTargetsFollowTheLimitFactorsAndOffsets) {
    KtUPage::SetProcessMemoryLimit(1000 * kMiB);
    EXPECT_FALSE(KtUPage::IsDefaultProcessMemoryLimit());
    EXPECT_EQ(1000 * kMiB, KtUPage::GetProcessMemoryLimit());
    EXPECT_EQ(990 * kMiB, KtUPage::GetProcessMemoryZone());
    EXPECT_EQ(980 * kMiB, KtUPage::GetProcessMemoryTarget());
    // The alloc limit tracks the process zone: max(0.9 x, x - 5 MiB), max(0.8 x, x - 10 MiB).
    EXPECT_EQ(990 * kMiB, KtUPage::GetAllocMemoryLimit());
    EXPECT_EQ(985 * kMiB, KtUPage::GetAllocMemoryZone());
    EXPECT_EQ(980 * kMiB, KtUPage::GetAllocMemoryTarget());
    EXPECT_NE(std::string::npos,
              LogText().find("KtUPage::CalcDefaultProcessMemoryLimit External 1000 MB ("));

    KtUPage::SetProcessMemoryLimit(50 * kMiB);
    EXPECT_EQ(45 * kMiB, KtUPage::GetProcessMemoryZone());
    EXPECT_EQ(40 * kMiB, KtUPage::GetProcessMemoryTarget());

    KtUPage::SetProcessMemoryZoneFactor(0.5);
    EXPECT_EQ(40 * kMiB, KtUPage::GetProcessMemoryZone()); // the offset wins
    KtUPage::SetProcessMemoryZoneOffset(30 * kMiB);
    EXPECT_EQ(25 * kMiB, KtUPage::GetProcessMemoryZone());
    KtUPage::SetProcessMemoryZoneFactor(1.0);
    EXPECT_EQ(0.9, KtUPage::GetProcessMemoryZoneFactor());
    KtUPage::SetProcessMemoryZoneFactor(0.5);
    KtUPage::SetProcessMemoryZoneFactor(0.0);
    EXPECT_EQ(0.9, KtUPage::GetProcessMemoryZoneFactor());
    KtUPage::SetProcessMemoryZoneOffset(0);
    EXPECT_EQ(10 * kMiB, KtUPage::GetProcessMemoryZoneOffset());
    EXPECT_EQ(45 * kMiB, KtUPage::GetProcessMemoryZone());

    // An explicit alloc limit stays put when the process limit moves.
    KtUPage::SetAllocMemoryLimit(100 * kMiB);
    KtUPage::SetProcessMemoryLimit(2000 * kMiB);
    EXPECT_EQ(100 * kMiB, KtUPage::GetAllocMemoryLimit());
    EXPECT_EQ(95 * kMiB, KtUPage::GetAllocMemoryZone());
    KtUPage::SetAllocMemoryLimit(0);
    EXPECT_EQ(KtUPage::GetProcessMemoryZone(), KtUPage::GetAllocMemoryLimit());

    // Without the host's limit the smaller of the physical and address-space limits.
    KtUPage::SetProcessMemoryLimit(0);
    EXPECT_TRUE(KtUPage::IsDefaultProcessMemoryLimit());
    KtUNat64 physical = KtUPage::GetPhysicalMemory();
    EXPECT_EQ(physical < 128 * kMiB ? physical / 2 : physical - 64 * kMiB,
              KtUPage::GetPhysicalMemoryLimit());
    EXPECT_LE(physical, KtUPage::GetMachineMemory());
    EXPECT_EQ(KtUPage::GetDefaultProcessMemoryLimit(), KtUPage::GetProcessMemoryLimit());
    EXPECT_GT(KtUPage::GetAddressSpaceMemoryLimit(), KtUPage::GetPhysicalMemoryLimit());
    EXPECT_EQ(0, KtUPage::ShouldConserveAddressSpace());
}

TEST_F(BudgetTest, AddressSpaceClassesAddUpToTheWholeSpace) {
    KtUNat64 priv, mapped, image, reserved, free, largest;
    KtUNat64 total =
        KtUPage::CalcProcessAddressSpaceUsage(&priv, &mapped, &image, &reserved, &free, &largest);
    EXPECT_EQ(KtUPage::GetVirtualAddressSpace(), total);
    EXPECT_EQ(total, priv + mapped + image + reserved + free);
    EXPECT_GT(image, 0u); // the test program and its libraries
    EXPECT_GT(priv, 0u);
    EXPECT_LE(largest, free);
    // A fresh inaccessible mapping is counted as reserved.
    void* p = ::mmap(nullptr, 64 * kMiB, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, p);
    KtUNat64 reserved2;
    KtUPage::CalcProcessAddressSpaceUsage(nullptr, nullptr, nullptr, &reserved2, nullptr, nullptr);
    ::munmap(p, 64 * kMiB);
    EXPECT_GE(reserved2, reserved + 64 * kMiB);
    EXPECT_NE(std::string::npos,
              LogText().find("KtUPage::CalcProcessAddressSpaceUsage (MB): private("));
}

// Recorded texts of the kernel's files.
TEST(MemoryFactsTest, KernelTextsParse) {
    using namespace ktu::sys;
    const char* v2 = "0::/user.slice/user-1000.slice/session-2.scope\n";
    const char* hybrid = "9:name=systemd:/\n4:memory:/jobs/83b2\n1:cpu,cpuacct:/\n0::/\n";
    const char* v1 = "12:cpuset:/\n7:memory,hugetlb:/docker/ab12\n";
    EXPECT_EQ("/user.slice/user-1000.slice/session-2.scope", CgroupV2Path(v2));
    EXPECT_EQ("", CgroupV1Path(v2, "memory"));
    EXPECT_EQ("/", CgroupV2Path(hybrid));
    EXPECT_EQ("/jobs/83b2", CgroupV1Path(hybrid, "memory"));
    EXPECT_EQ("", CgroupV2Path(v1));
    EXPECT_EQ("/docker/ab12", CgroupV1Path(v1, "memory"));
    EXPECT_EQ("", CgroupV1Path(v1, "mem"));

    EXPECT_EQ(kNoMemoryLimit, ParseCgroupMemoryLimit("max\n"));
    EXPECT_EQ(268435456u, ParseCgroupMemoryLimit("268435456\n"));
    EXPECT_EQ(kNoMemoryLimit, ParseCgroupMemoryLimit("9223372036854771712\n")); // v1 "unlimited"
    EXPECT_EQ(kNoMemoryLimit, ParseCgroupMemoryLimit(""));
    EXPECT_EQ(kNoMemoryLimit, ParseCgroupMemoryLimit("12k\n"));

    const char* rollup = "55d0c0a00000-7ffd5a5fe000 ---p 00000000 00:00 0   [rollup]\n"
                         "Rss:               21420 kB\n"
                         "Pss:               17100 kB\n"
                         "Shared_Clean:       4300 kB\n"
                         "Private_Clean:      1000 kB\n"
                         "Private_Dirty:     16000 kB\n"
                         "Swap:                 24 kB\n"
                         "SwapPss:              24 kB\n";
    uint64_t bytes = 0;
    ASSERT_TRUE(ParseSmapsPrivateBytes(rollup, &bytes));
    EXPECT_EQ(17024u * 1024, bytes);
    EXPECT_FALSE(ParseSmapsPrivateBytes("Rss: 4 kB\n", &bytes));
}

void WriteFile(const std::string& path, const char* text) {
    std::ofstream(path) << text;
}

// A cgroup tree in a temporary folder: the tightest limit on the way to the root wins.
TEST(MemoryFactsTest, CgroupLimitsAreReadUpTheTree) {
    using namespace ktu::sys;
    char tmpl[] = "/tmp/ktu_cgroupXXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(tmpl));
    std::string root = tmpl;
    ::mkdir((root + "/a").c_str(), 0700);
    ::mkdir((root + "/a/b").c_str(), 0700);
    WriteFile(root + "/self", "0::/a/b\n");
    WriteFile(root + "/a/b/memory.max", "max\n");
    WriteFile(root + "/a/memory.max", "536870912\n");
    WriteFile(root + "/a/b/memory.high", "314572800\n");
    PhysicalMemoryFacts f = ReadPhysicalMemoryFacts((root + "/self").c_str(), root.c_str());
    EXPECT_GT(f.machine, 0u);
    EXPECT_EQ(536870912u, f.cgroup_max);
    EXPECT_EQ(314572800u, f.cgroup_high);
    EXPECT_EQ(314572800u, f.usable);
    EXPECT_EQ(MemorySource::kCgroupHigh, f.source);
    EXPECT_EQ("/a/b", f.cgroup);

    // memory.max alone: the ancestor's.
    ::unlink((root + "/a/b/memory.high").c_str());
    f = ReadPhysicalMemoryFacts((root + "/self").c_str(), root.c_str());
    EXPECT_EQ(536870912u, f.usable);
    EXPECT_EQ(MemorySource::kCgroupMax, f.source);
    EXPECT_EQ("/a", f.cgroup);

    // A v1 memory hierarchy.
    ::mkdir((root + "/memory").c_str(), 0700);
    ::mkdir((root + "/memory/job").c_str(), 0700);
    WriteFile(root + "/self", "4:memory:/job\n0::/\n");
    WriteFile(root + "/memory/job/memory.limit_in_bytes", "104857600\n");
    f = ReadPhysicalMemoryFacts((root + "/self").c_str(), root.c_str());
    EXPECT_EQ(104857600u, f.usable);
    EXPECT_EQ(MemorySource::kCgroupV1Limit, f.source);

    // No cgroup file at all: the machine.
    f = ReadPhysicalMemoryFacts((root + "/missing").c_str(), root.c_str());
    EXPECT_EQ(f.machine, f.usable);
    EXPECT_EQ(MemorySource::kMachine, f.source);
    std::system(("rm -rf " + root).c_str());
}

// Runs itself in a transient scope with a memory limit; the child checks the limit it sees.
TEST(MemoryFactsTest, LimitOfARealCgroupIsRead) {
    if (const char* expect = std::getenv("KTU_PAGING_EXPECT_MAX")) {
        ktu::sys::PhysicalMemoryFacts f = ktu::sys::ReadPhysicalMemoryFacts();
        EXPECT_EQ(std::strtoull(expect, nullptr, 10), f.usable);
        EXPECT_EQ(ktu::sys::MemorySource::kCgroupMax, f.source);
        return;
    }
    if (::geteuid() != 0 || std::system("systemd-run --scope --quiet true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-run --scope is not available (no systemd as init or not root)";
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string cmd = std::string("KTU_PAGING_EXPECT_MAX=268435456 systemd-run --scope --quiet "
                                  "-p MemoryMax=268435456 ") +
                      exe + " --gtest_filter=MemoryFactsTest.LimitOfARealCgroupIsRead";
    EXPECT_EQ(0, std::system(cmd.c_str()));
}

TEST(MemoryFactsTest, PrivateMemoryGrowsWithTouchedPagesAndIsCached) {
    using namespace ktu::sys;
    uint64_t before = 0, after = 0, cached = 0;
    int error = 0;
    ASSERT_TRUE(ReadPrivateMemory(&before, &error));
    ASSERT_TRUE(ReadPrivateMemoryCached(10'000'000'000ull, &cached, &error)); // fills the copy
    const size_t size = 32 * kMiB;
    char* p = static_cast<char*>(
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(MAP_FAILED, static_cast<void*>(p));
    std::memset(p, 1, size);
    ASSERT_TRUE(ReadPrivateMemory(&after, &error));
    uint64_t old_copy = 0;
    ASSERT_TRUE(ReadPrivateMemoryCached(10'000'000'000ull, &old_copy, &error));
    InvalidatePrivateMemoryCache();
    uint64_t fresh = 0;
    ASSERT_TRUE(ReadPrivateMemoryCached(10'000'000'000ull, &fresh, &error));
    ::munmap(p, size);
    // At least half of the touched pages show: the rest of the process (a
    // sanitizer's allocator among it) may give memory back meanwhile.
    EXPECT_GE(after, before + size / 2);
    EXPECT_EQ(cached, old_copy);
    EXPECT_GE(fresh, cached + size / 2);
}

} // namespace

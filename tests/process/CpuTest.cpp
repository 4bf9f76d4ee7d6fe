//===- CpuTest.cpp - KtUSysCPU and the parsing of the kernel's texts ------===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysCPU.h>

#include "process/cpu_info.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ktu::process;

namespace {

// Recorded on an x86-64 machine (two of its processors, lines trimmed).
const char kX86[] = "processor\t: 0\n"
                    "vendor_id\t: GenuineIntel\n"
                    "cpu family\t: 6\n"
                    "model\t\t: 85\n"
                    "model name\t: Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz\n"
                    "stepping\t: 4\n"
                    "cpu MHz\t\t: 2394.374\n"
                    "flags\t\t: fpu vme de pse\n"
                    "\n"
                    "processor\t: 1\n"
                    "vendor_id\t: GenuineIntel\n"
                    "cpu family\t: 6\n"
                    "model\t\t: 85\n"
                    "model name\t: Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz\n"
                    "stepping\t: 4\n"
                    "cpu MHz\t\t: 2394.600\n"
                    "\n";

// A 64-bit ARM kernel: no name, no speed.
const char kArm64[] = "processor\t: 0\n"
                      "BogoMIPS\t: 50.00\n"
                      "Features\t: fp asimd evtstrm aes\n"
                      "CPU implementer\t: 0x41\n"
                      "CPU architecture: 8\n"
                      "CPU variant\t: 0x3\n"
                      "CPU part\t: 0xd0c\n"
                      "CPU revision\t: 1\n"
                      "\n";

// An older 32-bit ARM kernel: the name once before the processors, the
// identifiers once after them.
const char kArm32[] = "Processor\t: ARMv7 Processor rev 10 (v7l)\n"
                      "processor\t: 0\n"
                      "BogoMIPS\t: 790.52\n"
                      "\n"
                      "processor\t: 1\n"
                      "BogoMIPS\t: 790.52\n"
                      "\n"
                      "CPU implementer\t: 0x41\n"
                      "CPU part\t: 0xc09\n"
                      "Hardware\t: Freescale i.MX 6Quad\n";

TEST(CpuInfoTest, X86ProcessorsHaveNameIdentifierAndSpeed) {
    auto cpus = ParseCpuInfo(kX86);
    ASSERT_EQ(2u, cpus.size());
    EXPECT_EQ(1, cpus[1].number);
    EXPECT_EQ(2395, cpus[1].mhz);
    EXPECT_EQ(
        "Intel(R) Xeon(R) Gold 6148 CPU @ 2.40GHz (GenuineIntel Family 6 Model 85 Stepping 4)",
        DescribeCpu(cpus[0]));
}

TEST(CpuInfoTest, ArmWithoutNameOrWithSharedFields) {
    auto cpus = ParseCpuInfo(kArm64);
    ASSERT_EQ(1u, cpus.size());
    EXPECT_EQ("", cpus[0].name);
    EXPECT_EQ(0, cpus[0].mhz);
    EXPECT_EQ("Implementer 0x41 Architecture 8 Variant 0x3 Part 0xd0c Revision 1",
              DescribeCpu(cpus[0]));

    cpus = ParseCpuInfo(kArm32);
    ASSERT_EQ(2u, cpus.size());
    EXPECT_EQ("ARMv7 Processor rev 10 (v7l) (Implementer 0x41 Part 0xc09)", DescribeCpu(cpus[1]));
}

TEST(CpuInfoTest, DescriptionWithoutIdentifierIsTheNameInAscii) {
    CpuRecord cpu;
    cpu.name = "Prozessor \xC3\xBC"
               "ber\t1";
    EXPECT_EQ("Prozessor ?ber?1", DescribeCpu(cpu));
    EXPECT_TRUE(ParseCpuInfo("").empty());
}

TEST(CpuInfoTest, KernelListsAndFrequencies) {
    EXPECT_EQ(4, CountCpuList("0-3\n"));
    EXPECT_EQ(6, CountCpuList("0-3,6,8"));
    EXPECT_EQ(1, CountCpuList("0"));
    EXPECT_EQ(-1, CountCpuList(""));
    EXPECT_EQ(-1, CountCpuList("3-1"));
    EXPECT_EQ(-1, CountCpuList("a"));
    EXPECT_EQ(2400, KhzTextToMhz("2400000\n"));
    EXPECT_EQ(0, KhzTextToMhz("fast"));
}

TEST(CpuInfoTest, ThisMachine) {
    KtUSysCPU::Initialise();
    const int n = KtUSysCPU::GetNumProcessors();
    EXPECT_GE(n, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
    KtUStringBuffer text;
    ASSERT_EQ(1, KtUSysCPU::GetCPUDescription(0, &text));
    ASSERT_NE(nullptr, text.GetString());
    EXPECT_GT(std::string(text.GetString()).size(), 0u);
    for (const char* p = text.GetString(); *p; ++p)
        EXPECT_LT(static_cast<unsigned char>(*p), 0x80);
    EXPECT_EQ(0, KtUSysCPU::GetCPUDescription(n + 1000, &text));
    EXPECT_EQ(0, KtUSysCPU::GetCPUSpeed(-1));
#if defined(__x86_64__)
    EXPECT_GT(KtUSysCPU::GetCPUSpeed(0), 0); // x86 kernels always give "cpu MHz"
#endif
    KtUSysCPU::Terminate();
}

} // namespace

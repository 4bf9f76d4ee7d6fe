//===- InfoCommand.cpp - "ktu info" ---------------------------------------===//
#include "Commands.h"

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPage.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVersion.h>

#include <cstdio>
#include <cstring>

namespace ktu::tool {

static const char* OnOff(int value) {
    return value ? "on" : "off";
}

// "0 bytes", "512 bytes", "64.0 KiB", "1.5 GiB": sizes a reader takes in at a glance.
static const char* Bytes(unsigned long long n, char* out, size_t cap) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (n < 1024) {
        std::snprintf(out, cap, "%llu bytes", n);
        return out;
    }
    double v = double(n) / 1024;
    unsigned u = 0;
    while (v >= 1024 && u + 1 < sizeof kUnits / sizeof kUnits[0]) {
        v /= 1024;
        ++u;
    }
    std::snprintf(out, cap, "%.1f %s", v, kUnits[u]);
    return out;
}

static void PrintMemory() {
    std::printf("\nMemory manager\n");
    char a[32], b[32], c3[32], d[32], e[32];
    std::printf("  page size %s, region size %s, max small block %u bytes, max medium block %u "
                "bytes\n",
                Bytes(KtUMemory::GetPageSize(), a, sizeof a),
                Bytes(KtUMemory::GetRegionSize(), b, sizeof b), KtUMemory::GetMaxSmallBlockSize(),
                KtUMemory::GetMaxMediumBlockSize());
    std::printf("  largest free address space %s at %p\n",
                Bytes(KtUMemory::GetLargestFreeRegionSize(), a, sizeof a),
                KtUMemory::GetLargestFreeRegionBase());
    std::printf("  switches: scrub %s, check %s, force malloc %s, medium arenas %s\n",
                OnOff(KtUMemory::IsScrubMemory()), OnOff(KtUMemory::IsCheckMemory()),
                OnOff(KtUMemory::IsForceMalloc()), OnOff(KtUMemory::IsUseMediumBlockAllocator()));
    std::printf("  allocated: arena %s, malloc %s, region %s, external %s, total %s\n",
                Bytes(KtUMemory::GetArenaMemoryAllocated(), a, sizeof a),
                Bytes(KtUMemory::GetMallocMemoryAllocated(), b, sizeof b),
                Bytes(KtUMemory::GetRegionMemoryAllocated(), c3, sizeof c3),
                Bytes(KtUMemory::GetExternalMemoryAllocated(), d, sizeof d),
                Bytes(KtUMemory::GetMemoryAllocated(), e, sizeof e));

    // Size-class histogram: a summary line, then the classes in use.
    unsigned int classes = 0, used = 0;
    unsigned long long blocks = 0, committed = 0, reserved = 0;
    for (unsigned int s = KtUMemory::GetHistogramFirstSize(); s != 0;
         s = KtUMemory::GetHistogramNextSize(s)) {
        ++classes;
        unsigned long long n = KtUMemory::GetHistogramNumBlocks(s);
        unsigned long long c = KtUMemory::GetHistogramCommittedMemory(s);
        unsigned long long r = KtUMemory::GetHistogramReservedMemory(s);
        blocks += n;
        committed += c;
        reserved += r;
        if (n == 0 && r == 0) continue;
        if (used++ == 0)
            std::printf("  %10s %10s %12s %12s %12s\n", "block size", "blocks", "region",
                        "committed", "reserved");
        std::printf("  %10u %10llu %12s %12s %12s\n", s, n,
                    Bytes(KtUMemory::GetHistogramRegionSize(s), a, sizeof a), Bytes(c, b, sizeof b),
                    Bytes(r, d, sizeof d));
    }
    std::printf("  size classes: %u, in use: %u, blocks %llu, committed %s, reserved %s\n", classes,
                used, blocks, Bytes(committed, a, sizeof a), Bytes(reserved, b, sizeof b));
}

// Budget figures in whole MiB: limits, zones and targets differ by a few MiB.
static const char* MiB(unsigned long long n, char* out, size_t cap) {
    std::snprintf(out, cap, "%llu MiB", n >> 20);
    return out;
}

// The memory budget: where the physical memory and each limit came from, the
// zones and targets derived from them, and what the process uses now.
static void PrintBudget() {
    char a[32], b[32], c3[32], d[32];
    std::printf("\nMemory budget\n");
    std::printf("  physical memory %s from %s (machine %s)\n",
                MiB(KtUPage::GetPhysicalMemory(), a, sizeof a), KtUPage::GetPhysicalMemorySource(),
                MiB(KtUPage::GetMachineMemory(), b, sizeof b));
    std::printf("  address space %s, largest free %s\n",
                Bytes(KtUPage::GetVirtualAddressSpace(), a, sizeof a),
                Bytes(KtUMemory::GetLargestFreeRegionSize(), b, sizeof b));
    KtUNat64 override_limit = KtUPage::GetMallocOverrideLimit();
    const char* from = override_limit                            ? "spare malloc region override"
                       : !KtUPage::IsDefaultProcessMemoryLimit() ? "host setting"
                       : KtUPage::GetPhysicalMemoryLimit() <= KtUPage::GetAddressSpaceMemoryLimit()
                           ? "physical memory limit"
                           : "address-space limit";
    std::printf("  limits: physical %s, address space %s, process %s from %s\n",
                MiB(KtUPage::GetPhysicalMemoryLimit(), a, sizeof a),
                MiB(KtUPage::GetAddressSpaceMemoryLimit(), b, sizeof b),
                MiB(KtUPage::GetProcessMemoryLimit(), c3, sizeof c3), from);
    std::printf("  process zone %s, target %s (factors %.2f/%.2f, offsets %s/%s)\n",
                MiB(KtUPage::GetProcessMemoryZone(), a, sizeof a),
                MiB(KtUPage::GetProcessMemoryTarget(), b, sizeof b),
                KtUPage::GetProcessMemoryZoneFactor(), KtUPage::GetProcessMemoryTargetFactor(),
                MiB(KtUPage::GetProcessMemoryZoneOffset(), c3, sizeof c3),
                MiB(KtUPage::GetProcessMemoryTargetOffset(), d, sizeof d));
    const char* alloc_from = KtUPage::IsAllocMemoryLimitExplicit()   ? "host setting"
                             : KtUPage::IsAllocMemoryLimitAdjusted() ? "allocation when adjusted"
                                                                     : "process zone";
    std::printf("  alloc limit %s from %s, zone %s, target %s\n",
                MiB(KtUPage::GetAllocMemoryLimit(), a, sizeof a), alloc_from,
                MiB(KtUPage::GetAllocMemoryZone(), b, sizeof b),
                MiB(KtUPage::GetAllocMemoryTarget(), c3, sizeof c3));
    std::printf("  in use: private memory %s, allocated %s\n",
                Bytes(KtUPage::GetProcessPrivateMemoryUsage(), a, sizeof a),
                Bytes(KtUMemory::GetMemoryAllocated(), b, sizeof b));
}

int RunInfo(int argc, char** argv) {
    if (argc > 0) {
        std::fprintf(stderr, "ktu info: unexpected argument '%s'\n", argv[0]);
        return kExitUsage;
    }
    // The error front-end pulls in strings, the memory manager and the
    // error service: everything a host initialises first.
    KtUError::Initialise();
    KtUPage::Initialise();

    std::printf("ktutil %s\n\nComponents\n", KtUGetVersion());
    for (KtUComponent* c = KtUSysError::GetFirstComponent(); c; c = c->GetNext())
        std::printf("  %-24s init count %d  %s\n", c->GetName(), c->IsInitialised(),
                    c->GetInfo() ? c->GetInfo() : "");
    PrintMemory();
    PrintBudget();

    std::printf("\nLog (the library's own lines, as written)\n");
    KtUSysError::OutputLogBuffer([](const char* text, void*) { std::fputs(text, stdout); },
                                 nullptr);
    KtUPage::Terminate();
    KtUError::Terminate();
    return kExitOk;
}

} // namespace ktu::tool

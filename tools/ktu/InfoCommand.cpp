//===- InfoCommand.cpp - "ktu info" ---------------------------------------===//
#include "Commands.h"

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVersion.h>

#include <cstdio>
#include <cstring>

namespace ktu::tool {

static const char* OnOff(int value) {
    return value ? "on" : "off";
}

static void PrintMemory() {
    std::printf("\nMemory manager\n");
    std::printf("  page size %u, region size %u, max small block %u, max medium block %u\n",
                KtUMemory::GetPageSize(), KtUMemory::GetRegionSize(),
                KtUMemory::GetMaxSmallBlockSize(), KtUMemory::GetMaxMediumBlockSize());
    std::printf("  switches: scrub %s, check %s, force malloc %s, medium arenas %s\n",
                OnOff(KtUMemory::IsScrubMemory()), OnOff(KtUMemory::IsCheckMemory()),
                OnOff(KtUMemory::IsForceMalloc()), OnOff(KtUMemory::IsUseMediumBlockAllocator()));
    std::printf("  bytes: arena %llu, malloc %llu, region %llu, external %llu, total %llu\n",
                static_cast<unsigned long long>(KtUMemory::GetArenaMemoryAllocated()),
                static_cast<unsigned long long>(KtUMemory::GetMallocMemoryAllocated()),
                static_cast<unsigned long long>(KtUMemory::GetRegionMemoryAllocated()),
                static_cast<unsigned long long>(KtUMemory::GetExternalMemoryAllocated()),
                static_cast<unsigned long long>(KtUMemory::GetMemoryAllocated()));

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
            std::printf("  %10s %10s %12s %12s %12s\n", "size", "blocks", "region", "committed",
                        "reserved");
        std::printf("  %10u %10llu %12u %12llu %12llu\n", s, n,
                    KtUMemory::GetHistogramRegionSize(s), c, r);
    }
    std::printf("  size classes: %u, in use: %u, blocks %llu, committed %llu, reserved %llu\n",
                classes, used, blocks, committed, reserved);
}

int RunInfo(int argc, char** argv) {
    if (argc > 0) {
        std::fprintf(stderr, "ktu info: unexpected argument '%s'\n", argv[0]);
        return kExitUsage;
    }
    // The error front-end pulls in strings, the memory manager and the
    // error service: everything a host initialises first.
    KtUError::Initialise();

    std::printf("ktutil %s\n\nComponents\n", KtUGetVersion());
    for (KtUComponent* c = KtUSysError::GetFirstComponent(); c; c = c->GetNext())
        std::printf("  %-24s init count %d  %s\n", c->GetName(), c->IsInitialised(),
                    c->GetInfo() ? c->GetInfo() : "");
    PrintMemory();

    std::printf("\nLog\n");
    KtUSysError::OutputLogBuffer([](const char* text, void*) { std::fputs(text, stdout); },
                                 nullptr);
    KtUError::Terminate();
    return kExitOk;
}

} // namespace ktu::tool

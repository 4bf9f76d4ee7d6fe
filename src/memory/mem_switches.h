//===- mem_switches.h - Memory switches shared by the manager and arenas --===//
#ifndef KTUTIL_MEM_SWITCHES_H
#define KTUTIL_MEM_SWITCHES_H

#include <ktutil/KtUDefs.h>

#include "platform/export.h"

#if KTU_HAS_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace ktu::mem {

/// The scrub and check switches (KtUMemory::SetScrubMemory/SetCheckMemory and
/// their environment variables) as bits of one byte, the single place every
/// path reads them from: any bit set sends the arenas' fast paths aside.
/// Exported because KtUFastArena's inline fast path reads it.
/// kFailSwitch: a test has asked for an allocation to fail (FailAllocationAfter).
enum : unsigned char { kScrubSwitch = 1, kCheckSwitch = 2, kFailSwitch = 4 };
extern KTU_API unsigned char g_switches;
inline bool Scrubbing() {
    return (g_switches & kScrubSwitch) != 0;
}
inline bool Checking() {
    return (g_switches & kCheckSwitch) != 0;
}
inline bool Debugging() {
    return g_switches != 0;
}
/// Test hook: the n-th allocation of any kind from now on (n >= 1) returns
/// null, as if the system had no memory left; 0 cancels. For single-threaded
/// tests of failure paths; while armed every allocation takes the slow path.
KTU_INTERNAL_API void FailAllocationAfter(long n);
/// True once, for the allocation that FailAllocationAfter chose.
bool InjectedFailure();
/// Allocations still to go before the injected failure (0: none armed).
KTU_INTERNAL_API long AllocationsBeforeFailure();

/// Sets or clears one switch bit.
inline void SetSwitch(unsigned char bit, bool on) {
    g_switches = static_cast<unsigned char>(on ? g_switches | bit : g_switches & ~bit);
}

/// Posts an eERROR from the KtUMemory component, formatted into 512 units.
void PostError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Writes a formatted line to the process log.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Scrub patterns: a new block's object bytes, the bytes beyond the object
/// size (and page tails), and released blocks and fresh pages.
constexpr unsigned char kNewByte = 0xCD;
constexpr unsigned char kTailByte = 0xFD;
constexpr unsigned char kFreeByte = 0xDD;

/// Checks that bytes [from, to) of block hold expected; on the first other
/// byte posts "Memory block at .. has value .. at offset .., expected .." and
/// returns false.
bool CheckBytes(const void* block, unsigned from, unsigned to, unsigned char expected);

/// ASan poisoning of free arena blocks (no-ops in other builds).
#if KTU_HAS_ASAN
inline void Poison(void* p, unsigned long size) {
    __asan_poison_memory_region(p, size);
}
inline void Unpoison(void* p, unsigned long size) {
    __asan_unpoison_memory_region(p, size);
}
#else
inline void Poison(void*, unsigned long) {}
inline void Unpoison(void*, unsigned long) {}
#endif

} // namespace ktu::mem

#endif // KTUTIL_MEM_SWITCHES_H

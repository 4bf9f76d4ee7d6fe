//===- mem_switches.h - Memory switches shared by the manager and arenas --===//
#ifndef KTUTIL_MEM_SWITCHES_H
#define KTUTIL_MEM_SWITCHES_H

#include <ktutil/KtUDefs.h>

#if defined(KTU_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace ktu::mem {

/// Scrub patterns on and validation on (KtUMemory::SetScrubMemory/SetCheckMemory).
extern KTU_API bool g_scrub;
extern KTU_API bool g_check;
/// g_scrub || g_check: one test on the arenas' fast paths. Exported because
/// KtUFastArena's inline fast path reads it.
extern KTU_API bool g_debug;

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
#if defined(KTU_ASAN)
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

//===- mem_switches.h - Memory switches shared by the manager and arenas --===//
#ifndef KTUTIL_MEM_SWITCHES_H
#define KTUTIL_MEM_SWITCHES_H

#if defined(KTU_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace ktu::mem {

/// Scrub patterns on and validation on (KtUMemory::SetScrubMemory/SetCheckMemory).
extern bool g_scrub;
extern bool g_check;
/// g_scrub || g_check: one test on the arenas' fast paths.
extern bool g_debug;

/// Posts an eERROR from the KtUMemory component, formatted into 512 units.
void PostError(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Writes a formatted line to the process log.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

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

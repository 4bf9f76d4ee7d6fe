//===- mem_retain.h - What the arenas keep mapped after they let go -------===//
//
// The arenas' logical state (which pages are committed, which regions an
// arena owns) is kept apart from what is mapped. A page an arena decommits
// stays mapped read-write and is retained; a region an arena releases goes to
// a process-wide cache keyed by its size. Committing a retained page or taking
// a cached region then costs no system call and no page fault.
//
// Retained memory is purged (madvise + PROT_NONE for pages, munmap for
// regions) once it has been retained for the decay time, oldest first when it
// exceeds the cap, and all at once by PurgeAll. The checks are amortised on
// the allocator's own calls: the library has no thread of its own.
//
// Every function takes the manager's lock (g_lock).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_MEM_RETAIN_H
#define KTUTIL_MEM_RETAIN_H

#include "platform/export.h"

#include "platform/lock.h"

#include <cstddef>
#include <cstdint>

namespace ktu::mem {

/// The memory manager's lock: arenas, counters and the retained memory.
extern ktu::sys::RecursiveMutex g_lock;

/// Retained memory older than this is purged (milliseconds).
constexpr unsigned kDecayMs = 1000;
/// Retained memory is always allowed up to this many bytes.
constexpr size_t kCapFloor = size_t(64) << 20;
/// The manager calls Tick() once per this many deallocations.
constexpr unsigned kTickInterval = 1024;

/// Logical commit of a page inside a 64 KiB region: free when the page is
/// retained, else mprotect. False when the system refuses.
[[nodiscard]] bool CommitPage(void* page, size_t size);
/// Logical decommit of a page inside a 64 KiB region: it is retained.
void RetainPage(void* page, size_t size);

/// A cached region of region_size bytes whose first `ready` bytes are
/// readable and writable, or null when the cache has none of that size.
[[nodiscard]] void* TakeRegion(size_t region_size, size_t ready);
/// Counts the committed bytes of a region the arena mapped itself.
void CountFreshRegion(size_t committed);
/// An arena lets go of an empty region whose first `committed` bytes it used.
void RetainRegion(void* region, size_t region_size, size_t committed);
/// Unmaps a region at once (its arena is released), with its retained pages.
void DropRegion(void* region, size_t region_size, size_t committed);

/// Purges what has outlived the decay time; cheap when nothing has.
KTU_INTERNAL_API void Tick();
/// Bytes retained now (mapped read-write, logically free).
uint64_t RetainedBytes();
/// Purges everything retained; returns the bytes purged.
uint64_t PurgeAll();

/// Test hooks: the decay time in milliseconds (which also starts a fresh
/// period for the cap's peak) and the cap's floor in bytes (kDecayMs and
/// kCapFloor by default).
KTU_INTERNAL_API void SetDecayForTest(unsigned ms);
KTU_INTERNAL_API void SetCapFloorForTest(size_t bytes);

} // namespace ktu::mem

#endif // KTUTIL_MEM_RETAIN_H

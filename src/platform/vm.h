//===- vm.h - Virtual memory of the platform layer ------------------------===//
//
// Reserve, commit, decommit and release address space, in the shape the
// memory manager expects: reservations are aligned to the 64 KiB region size
// (over-reserve and trim), commit is mprotect(READ|WRITE), decommit is
// madvise(MADV_DONTNEED) plus PROT_NONE, release is munmap. Also the
// address-space walk over /proc/self/maps.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_VM_H
#define KTUTIL_SYS_VM_H

#include <cstddef>
#include <cstdint>

namespace ktu::sys {

/// Allocation granularity: every reservation starts on a multiple of it.
constexpr size_t kRegionSize = 64 * 1024;

/// The system page size.
size_t PageSize();

/// Reserves size bytes (PROT_NONE) aligned to kRegionSize; near the top of the
/// address space when top_down. Returns null on failure.
[[nodiscard]] void* VmReserve(size_t size, bool top_down = false);
/// Reserves and commits size bytes aligned to kRegionSize in one step.
[[nodiscard]] void* VmReserveCommitted(size_t size, bool top_down = false);
/// Reserves size bytes exactly at addr; null when that range is not free.
[[nodiscard]] void* VmReserveAt(void* addr, size_t size);
/// Reserves size bytes aligned to `alignment` (a multiple of kRegionSize).
[[nodiscard]] void* VmReserveAligned(size_t size, size_t alignment);
/// Makes [addr, addr+size) readable and writable.
[[nodiscard]] bool VmCommit(void* addr, size_t size);
/// Faults in the committed pages of [addr, addr+size) in one call, where the
/// kernel can (MADV_POPULATE_WRITE); otherwise they fault in on first touch.
void VmPopulate(void* addr, size_t size);
/// Asks for transparent huge pages on the 2 MiB-aligned part of
/// [addr, addr+size) (MADV_HUGEPAGE); best effort. For large arrays that are
/// touched all over: one fault per 2 MiB instead of one per page.
void VmAdviseHugePages(void* addr, size_t size);
/// Drops the pages of [addr, addr+size) and makes them inaccessible again.
bool VmDecommit(void* addr, size_t size);
/// Unmaps a reservation (or part of one).
void VmRelease(void* addr, size_t size);

/// Maps size bytes of zero-filled, readable and writable memory anywhere, for
/// the library's own tables; pages take physical memory only when first
/// touched. No alignment beyond the page size. Null on failure; give it back
/// with VmRelease.
void* VmAllocate(size_t size);

/// One area of the address space as seen by the walk.
struct VmArea {
    uintptr_t base;
    uintptr_t size;
    bool free;
};

/// Lowest and one-past-highest user addresses the walk covers.
uintptr_t VmLowestAddress();
uintptr_t VmHighestAddress();

/// Walks the address space from VmLowestAddress() to VmHighestAddress() in
/// address order, calling fn for every mapped and every free area. Allocates
/// nothing. Returns false when /proc/self/maps cannot be read.
bool VmWalk(void (*fn)(const VmArea& area, void* data), void* data);

} // namespace ktu::sys

#endif // KTUTIL_SYS_VM_H

//===- KtUMemory.h - The library's memory manager -------------------------===//
//
// KtUMemory is ktutil's own allocator. Deallocation is sized: give back the
// size and alignment the block was allocated with.
//
//   KtUMemory::Initialise();
//   void* p = KtUMemory::Alloc(40, KtUMemory::eALIGN8);
//   p = KtUMemory::Resize(p, 40, 100, KtUMemory::eALIGN8);
//   KtUMemory::Dealloc(p, 100, KtUMemory::eALIGN8);
//   KtUMemory::Terminate();
//
// Requests up to 512 bytes come from 128 small arenas (one per multiple of 4),
// 513 to 16256 bytes from medium arenas, multiples of the 64 KiB region size
// and requests of 8 MiB or more straight from virtual memory, a few exact
// sizes from arenas of their own, and the rest from the C heap. Byte counters
// per kind feed memory-limit decisions; a new handler may free memory and ask
// for a retry when an allocation fails.
//
// Classes allocated by the library declare their allocation operators with
// KTU_DECLARE_ALLOCATION_OPERATORS:
//
//   class KtUFoo {
//   public:
//       KTU_DECLARE_ALLOCATION_OPERATORS
//   };
//   KtUFoo* a = new KtUFoo;              // KtUMemory::AllocEx / Dealloc
//   KtUFoo* b = new (&arena) KtUFoo;     // arena.Alloc(); destroy with
//   b->~KtUFoo(); arena.Dealloc(b);      // the destructor and arena.Dealloc
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUMEMORY_H
#define KTUTIL_KTUMEMORY_H

#include <ktutil/KtUArena.h>
#include <ktutil/KtUDefs.h>
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtURawArena.h>

#include <cstddef>

/// The process-wide memory manager (static members only). Thread-safe: one
/// recursive lock guards the arenas, counters and callback list. Switches and
/// the address-space helpers (spare region, region-size restriction) are
/// meant to be changed while no other thread allocates.
class KTU_API KtUMemory {
public:
    /// Below 8: 4-byte granularity; 8: 8-byte alignment.
    enum Alignment : unsigned int {
        eALIGN1 = 1,
        eALIGN4 = 4,
        eALIGN8 = 8,
    };
    /// Placement of a region: eLIFETIME_LONG asks for the top of the address space.
    enum Lifetime : int {
        eLIFETIME_LONG = -1,
        eLIFETIME_NORMAL = 0,
    };
    /// Called when an allocation fails; non-zero asks for a retry.
    typedef int (*NewHandler)(unsigned int size, int try_only);
    typedef unsigned int (*ExternalMemoryCB)();

    // Lifecycle.
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // Sized blocks. Alloc returns null on failure as TryAlloc does, without
    // the bad-size check being skipped.
    static void* Alloc(unsigned int size, Alignment alignment);
    [[nodiscard]] static void* TryAlloc(unsigned int size, Alignment alignment);
    static void* AllocEx(unsigned int size, Alignment alignment, int try_only);
    static void Dealloc(void* block, unsigned int size, Alignment alignment);
    static void* Resize(void* block, unsigned int old_size, unsigned int new_size,
                        Alignment alignment);
    static void* Expand(void* block, unsigned int* size, unsigned int min_size,
                        Alignment alignment);
    static void* Compact(void* block, unsigned int size, Alignment alignment);
    static unsigned int GetBestBlockSize(unsigned int size);
    static unsigned int GetPageBlockSize();
    static unsigned int GetRegionBlockSize();

    // Heap blocks (counted with malloc_usable_size).
    static void* Malloc(unsigned int size);
    [[nodiscard]] static void* TryMalloc(unsigned int size);
    static void* MallocEx(unsigned int size, int try_only);
    static void Free(void* block);
    static void* Realloc(void* block, unsigned int size);
    [[nodiscard]] static void* TryRealloc(void* block, unsigned int size);
    static void* ReallocEx(void* block, unsigned int size, int try_only);

    // Regions: committed virtual memory aligned to the region size.
    static void* AllocRegion(unsigned int size, Lifetime lifetime);
    [[nodiscard]] static void* TryAllocRegion(unsigned int size, Lifetime lifetime);
    static void* AllocRegionEx(unsigned int size, Lifetime lifetime, int try_only);
    static void DeallocRegion(void* block, unsigned int size, Lifetime lifetime);

    // Switches.
    static void SetForceMalloc(int on);
    static int IsForceMalloc();
    static void SetScrubMemory(int on);
    static int IsScrubMemory();
    static void SetCheckMemory(int on);
    static int IsCheckMemory();
    /// Takes effect at the next first Initialise (the tables are built there).
    static void SetUseMediumBlockAllocator(int on);
    static int IsUseMediumBlockAllocator();
    static unsigned int GetMaxSmallBlockSize();
    static unsigned int GetMaxMediumBlockSize();
    static unsigned int GetPageSize();
    static unsigned int GetRegionSize();

    /// Installs the failure hook; returns the previous one.
    static NewHandler SetNewHandler(NewHandler handler);
    /// The handler installed with SetNewHandler, or null.
    static NewHandler GetNewHandler();

    // Accounting (bytes).
    static KtUNat64 GetMemoryAllocated();
    static KtUNat64 GetDirectMemoryAllocated();
    static KtUNat64 GetArenaMemoryAllocated();
    static KtUNat64 GetMallocMemoryAllocated();
    static KtUNat64 GetRegionMemoryAllocated();
    static KtUNat64 GetExternalMemoryAllocated();
    static void ReportExternalAlloc(unsigned int size);
    static void ReportExternalDealloc(unsigned int size);
    static void RegisterExternalMemoryAllocatedCB(ExternalMemoryCB cb);
    static void UnregisterExternalMemoryAllocatedCB(ExternalMemoryCB cb);

    /// Bytes the arenas keep mapped after letting go of them (emptied pages
    /// and regions), so that reusing them costs no system call. Not counted
    /// by the getters above; purged after about a second unused.
    static KtUNat64 GetRetainedMemory();
    /// Gives all of that memory back to the system now: for a new handler or
    /// the paging subsystem under memory pressure.
    static void ReleaseRetainedMemory();

    // Histogram over size classes: 4, 8, ..., 512, the medium and exact sizes.
    static unsigned int GetHistogramFirstSize();
    static unsigned int GetHistogramNextSize(unsigned int size);
    static unsigned int GetHistogramNumBlocks(unsigned int size);
    static unsigned int GetHistogramRegionSize(unsigned int size);
    static KtUNat64 GetHistogramCommittedMemory(unsigned int size);
    static KtUNat64 GetHistogramReservedMemory(unsigned int size);
    static unsigned int GetHistogramMaxBlockSize();

    // Address space.
    static int ReserveSpareMallocRegion();
    static int HaveReservedSpareMallocRegion();
    static int ReleaseSpareMallocRegion();
    static void RestrictMaxRegionSize(unsigned int limit);
    static int ResetMaxRegionSize();

    /// Largest free area of the address space found at initialisation.
    static KtUNat64 GetLargestFreeRegionSize();
    static void* GetLargestFreeRegionBase();

    /// Validates every arena and the C heap; faults are posted as eERROR.
    static void CheckMemory();

private:
    KtUMemory() = delete;
    KtUMemory(const KtUMemory&) = delete;
    KtUMemory& operator=(const KtUMemory&) = delete;
};

/// Declares, inside a class, the library's allocation operator family:
/// new/delete on KtUMemory (delete releases exactly the object's size),
/// placement new, and new/delete on a KtURawArena, KtUArena or KtUFastArena
/// (the arena's block size must fit the object).
#define KTU_DECLARE_ALLOCATION_OPERATORS                                                           \
    static void* operator new(std::size_t size) noexcept {                                         \
        return KtUMemory::AllocEx(static_cast<unsigned int>(size), KtUMemory::eALIGN1, 0);         \
    }                                                                                              \
    static void operator delete(void* block, std::size_t size) noexcept {                          \
        KtUMemory::Dealloc(block, static_cast<unsigned int>(size), KtUMemory::eALIGN1);            \
    }                                                                                              \
    static void* operator new(std::size_t, void* place) noexcept {                                 \
        return place;                                                                              \
    }                                                                                              \
    static void operator delete(void*, void*) noexcept {}                                          \
    static void* operator new(std::size_t, KtURawArena* arena) noexcept {                          \
        return arena->Alloc();                                                                     \
    }                                                                                              \
    static void operator delete(void* block, KtURawArena* arena) noexcept {                        \
        arena->Dealloc(block);                                                                     \
    }                                                                                              \
    static void* operator new(std::size_t, KtUArena* arena) noexcept {                             \
        return arena->Alloc();                                                                     \
    }                                                                                              \
    static void operator delete(void* block, KtUArena* arena) noexcept {                           \
        arena->Dealloc(block);                                                                     \
    }                                                                                              \
    static void* operator new(std::size_t, KtUFastArena* arena) noexcept {                         \
        return arena->Alloc();                                                                     \
    }                                                                                              \
    static void operator delete(void* block, KtUFastArena* arena) noexcept {                       \
        arena->Dealloc(block);                                                                     \
    }

#endif // KTUTIL_KTUMEMORY_H

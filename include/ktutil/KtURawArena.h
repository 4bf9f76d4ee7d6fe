//===- KtURawArena.h - Fixed-size block arena over reserved regions -------===//
//
// A KtURawArena hands out blocks of one size from regions of reserved address
// space. Regions are aligned to their own size, so a block's region and page
// are found by masking its address and no per-block header is stored:
//
//   KtURawArena arena(40, 8, 0);     // 40-byte blocks, 8-aligned, 64 KiB regions
//   void* p = arena.Alloc();
//   arena.Dealloc(p);
//
// Pages of a region are committed as they are needed and decommitted when they
// empty; an emptied region is given up at once and no longer counted (the
// arena's only 64 KiB region stays mapped as its spare, uncounted).
// Decommitted pages and given-up regions stay mapped for a while so that they
// can be reused cheaply (see KtUMemory::ReleaseRetainedMemory).
//
// Most code does not use arenas directly: KtUMemory owns the size-class
// arenas. Library classes placed in an arena use operator new(size_t,
// KtURawArena*) from KTU_DECLARE_ALLOCATION_OPERATORS (KtUMemory.h).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTURAWARENA_H
#define KTUTIL_KTURAWARENA_H

#include <ktutil/KtUDefs.h>

#include <cstddef>
#include <cstdint>

struct KtUMemoryRegion;
struct KtUMemoryPage;
class KtUArenaFastPath;

/// Fixed-size block arena. Not thread-safe: KtUMemory calls it under its
/// lock; a caller owning an arena serialises its use.
class KTU_API KtURawArena {
public:
    /// region_size 0 means the platform region size (64 KiB).
    KtURawArena(unsigned int object_size, unsigned int alignment, unsigned int region_size);
    ~KtURawArena();
    KtURawArena(const KtURawArena&) = delete;
    KtURawArena& operator=(const KtURawArena&) = delete;

    /// A block of GetAlignedSize() bytes, or null when no region can be had.
    void* Alloc();
    /// Returns a block obtained from this arena's Alloc.
    void Dealloc(void* block);
    void* Compact(void* block) { return block; }
    /// Releases every region without looking at its blocks.
    void Release();
    /// Gives back the emptied region the arena keeps for reuse, if it holds one.
    void ReleaseSpare();
    /// Validates both region lists; faults are posted as eERROR.
    void CheckArena();

    // On the memory manager, out of line: this header comes before KtUMemory's.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}

    unsigned int GetObjectSize() const { return m_object_size; }
    unsigned int GetAlignment() const { return m_alignment; }
    unsigned int GetAlignedSize() const { return m_aligned_size; }
    unsigned int GetPageSize() const { return m_page_size; }
    unsigned int GetRegionSize() const { return m_region_size; }
    unsigned int GetBlocksAllocated() const { return m_blocks_allocated; }
    unsigned int GetFullRegions() const { return CountRegions(m_full); }
    unsigned int GetFreeRegions() const { return CountRegions(m_partial); }
    unsigned int GetRegions() const { return GetFullRegions() + GetFreeRegions(); }
    KtUNat64 GetReservedMemory() const { return KtUNat64(GetRegions()) * m_region_size; }
    KtUNat64 GetCommittedMemory() const { return KtUNat64(GetCommittedPages()) * m_page_size; }
    unsigned int GetCommittedPages() const;

private:
    friend class KtUArenaFastPath;
    using Region = KtUMemoryRegion;
    using Page = KtUMemoryPage;

    void* AllocSlow();
    void DeallocSlow(void* block);
    Region* NewRegion();
    void* MapRegion();
    size_t CommittedBytes(Region* region) const;
    void SetupPage(Region* region, unsigned int index);
    bool FindRegion(Region* region) const;
    Page* FindPage(void* block, unsigned int* index) const;
    unsigned int CountRegions(uint32_t list) const;
    bool IsEmpty(Region* region) const;
    bool CheckRegion(Region* region);
    void CheckRegionList(uint32_t list);
    bool CheckPage(Region* region, unsigned int index);

    unsigned int m_object_size;
    unsigned int m_alignment;
    unsigned int m_aligned_size;
    unsigned int m_region_size;
    unsigned int m_page_size;
    uintptr_t m_region_mask;
    uintptr_t m_page_mask;
    uint32_t m_other_pages_mask;
    unsigned int m_blocks_allocated = 0;
    uint32_t m_partial = 0; // region links are region address >> 16
    uint32_t m_full = 0;
    unsigned int m_page_shift;
    bool m_single_page;
};

#endif // KTUTIL_KTURAWARENA_H

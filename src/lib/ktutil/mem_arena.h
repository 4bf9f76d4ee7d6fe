//===- mem_arena.h - Arena layout and the inline allocation fast paths ----===//
//
// Shared by KtURawArena.cpp and KtUMemory.cpp so that the manager's size-class
// lookup and the arena's free-list pop compile into one function.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_MEM_ARENA_H
#define KTUTIL_MEM_ARENA_H

#include <ktutil/KtURawArena.h>

#include "mem_switches.h"
#include "sys_vm.h"

#include <cstring>

// Layout (64-bit): links between regions are 32-bit (region address >> 16),
// free-list links are 32-bit offsets from the region start, so a region header
// stays 16 bytes, a page header 8 bytes and the smallest block 4 bytes.
struct KtUMemoryPage {
    uint32_t free; // offset of the first free block, 0 when none
    uint32_t used; // blocks handed out from this page
};

struct KtUMemoryRegion {
    uint32_t next;
    uint32_t prev;
    union {
        KtUMemoryPage page; // single-page region: the page header at offset 8
        struct {
            uint32_t free_mask;        // bit k: page k committed with a free block
            uint32_t uncommitted_mask; // bit k: page k not committed
        } m;
    };
};

namespace ktu::mem {

inline uint32_t Encode(const void* region) {
    return uint32_t(reinterpret_cast<uintptr_t>(region) >> 16);
}

inline KtUMemoryRegion* Decode(uint32_t link) {
    return reinterpret_cast<KtUMemoryRegion*>(uintptr_t(link) << 16);
}

inline unsigned LowestBit(uint32_t mask) {
    return unsigned(__builtin_ctz(mask));
}

inline KtUMemoryPage* PageHeader(KtUMemoryRegion* region, bool single_page, unsigned page_shift,
                                 unsigned index) {
    char* base = reinterpret_cast<char*>(region);
    if (single_page) return &region->page;
    if (index == 0) return reinterpret_cast<KtUMemoryPage*>(base + 16);
    return reinterpret_cast<KtUMemoryPage*>(base + (size_t(index) << page_shift));
}

/// A free-list link with this bit set says that the next free block is the
/// one at (link & ~kLazyLink) and every block below it is free too and has not
/// been linked yet. Block offsets are multiples of 4, so the bit is spare.
constexpr uint32_t kLazyLink = 1;

/// Reads the link of block (being handed out) and returns the page's new
/// free-list head, writing the next lazy link into that block when needed.
inline uint32_t TakeLink(char* base, char* block, uint32_t block_size, uint32_t area_begin) {
    uint32_t link;
    std::memcpy(&link, block, 4);
    if (__builtin_expect(link & kLazyLink, 0)) {
        link &= ~kLazyLink;
        uint32_t below = link >= area_begin + block_size ? ((link - block_size) | kLazyLink) : 0;
        Unpoison(base + link, 4);
        std::memcpy(base + link, &below, 4);
        Poison(base + link, 4);
    }
    return link;
}

/// First block offset of page index.
inline uint32_t AreaBegin(bool single_page, unsigned page_shift, unsigned index) {
    if (single_page) return 16;
    return index ? (uint32_t(index) << page_shift) + 8 : 24;
}

} // namespace ktu::mem

// The common cases, with scrub and check off: a partial region with a free
// block; a free into a page that keeps a used block (or into the arena's
// only, retained region). Everything else takes the arena's full path.
class KtUArenaFastPath {
public:
    static inline void* Alloc(KtURawArena* a) {
        KtUMemoryRegion* region = ktu::mem::Decode(a->m_partial);
        if (__builtin_expect(region == nullptr || ktu::mem::g_debug, 0)) return a->AllocSlow();
        KtUMemoryPage* page;
        unsigned k = 0;
        if (a->m_single_page) {
            page = &region->page;
        } else {
            uint32_t mask = region->m.free_mask;
            if (__builtin_expect(mask == 0, 0)) return a->AllocSlow();
            k = ktu::mem::LowestBit(mask);
            page = ktu::mem::PageHeader(region, false, a->m_page_shift, k);
        }
        char* block = reinterpret_cast<char*>(region) + page->free;
        ktu::mem::Unpoison(block, a->m_aligned_size);
        uint32_t next =
            ktu::mem::TakeLink(reinterpret_cast<char*>(region), block, a->m_aligned_size,
                               ktu::mem::AreaBegin(a->m_single_page, a->m_page_shift, k));
        page->free = next;
        ++page->used;
        ++a->m_blocks_allocated;
        if (__builtin_expect(next == 0, 0)) a->PageFilled(region, k);
        return block;
    }

    static inline void Dealloc(KtURawArena* a, void* p) {
        if (__builtin_expect(ktu::mem::g_debug, 0)) return a->DeallocSlow(p);
        char* block = static_cast<char*>(p);
        KtUMemoryRegion* region =
            reinterpret_cast<KtUMemoryRegion*>(reinterpret_cast<uintptr_t>(p) & a->m_region_mask);
        char* base = reinterpret_cast<char*>(region);
        unsigned k = a->m_single_page ? 0 : unsigned((block - base) >> a->m_page_shift);
        KtUMemoryPage* page = ktu::mem::PageHeader(region, a->m_single_page, a->m_page_shift, k);
        uint32_t head = page->free;
        if (__builtin_expect(head == 0, 0)) return a->DeallocSlow(p);
        if (__builtin_expect(page->used == 1, 0)) {
            // Emptying a page: only the retained last region needs no work.
            bool retained =
                k == 0 && a->m_region_size == ktu::sys::kRegionSize && a->m_full == 0 &&
                a->m_partial == ktu::mem::Encode(region) && region->next == 0 &&
                (a->m_single_page || region->m.uncommitted_mask == a->m_other_pages_mask);
            if (!retained) return a->DeallocSlow(p);
        }
        std::memcpy(block, &head, 4);
        page->free = uint32_t(block - base);
        --page->used;
        --a->m_blocks_allocated;
        ktu::mem::Poison(block, a->m_aligned_size);
    }
};

#endif // KTUTIL_MEM_ARENA_H

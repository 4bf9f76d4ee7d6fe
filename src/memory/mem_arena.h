//===- mem_arena.h - Arena layout and the inline allocation fast paths ----===//
//
// Shared by KtURawArena.cpp and KtUMemory.cpp so that the manager's size-class
// lookup and the arena's free-list pop compile into one function.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_MEM_ARENA_H
#define KTUTIL_MEM_ARENA_H

#include <ktutil/KtURawArena.h>

#include "memory/mem_switches.h"
#include "platform/assert.h"
#include "platform/vm.h"

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
    KTU_ASSERT((reinterpret_cast<uintptr_t>(region) & 0xFFFF) == 0); // nothing lost below
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

/// First block offset of page index.
inline uint32_t AreaBegin(bool single_page, unsigned page_shift, unsigned index) {
    if (single_page) return 16;
    return index ? (uint32_t(index) << page_shift) + 8 : 24;
}

} // namespace ktu::mem

// The common cases, with scrub and check off: a block from the first free
// page of the first partial region that does not fill the page; a free into
// a page that keeps a used block, or into the arena's spare region.
// They touch no list and make no call, so the manager inlines them; anything
// else returns null/false and the caller takes the arena's full path.
class KtUArenaFastPath {
public:
    static inline void* TryAlloc(KtURawArena* a) {
        char* base = reinterpret_cast<char*>(ktu::mem::Decode(a->m_partial));
        if (__builtin_expect(base == nullptr || ktu::mem::Debugging(), 0)) return nullptr;
        KtUMemoryRegion* region = reinterpret_cast<KtUMemoryRegion*>(base);
        KtUMemoryPage* page;
        unsigned k = 0;
        if (a->m_single_page) {
            page = &region->page;
        } else {
            uint32_t mask = region->m.free_mask;
            if (__builtin_expect(mask == 0, 0)) return nullptr;
            k = ktu::mem::LowestBit(mask);
            page = ktu::mem::PageHeader(region, false, a->m_page_shift, k);
        }
        const uint32_t size = a->m_aligned_size;
        char* block = base + page->free;
        ktu::mem::Unpoison(block, size);
        uint32_t next;
        std::memcpy(&next, block, 4);
        if (__builtin_expect(next & ktu::mem::kLazyLink, 0)) {
            // Link the next block to the one below it, lazily again.
            next &= ~ktu::mem::kLazyLink;
            uint32_t begin = ktu::mem::AreaBegin(a->m_single_page, a->m_page_shift, k);
            uint32_t below = next >= begin + size ? ((next - size) | ktu::mem::kLazyLink) : 0;
            ktu::mem::Unpoison(base + next, 4);
            std::memcpy(base + next, &below, 4);
            ktu::mem::Poison(base + next, 4);
        } else if (__builtin_expect(next == 0, 0)) {
            ktu::mem::Poison(block, size); // the page fills: its region may move
            return nullptr;
        }
        page->free = next;
        ++page->used;
        ++a->m_blocks_allocated;
        return block;
    }

    static inline bool TryDealloc(KtURawArena* a, void* p) {
        if (__builtin_expect(ktu::mem::Debugging(), 0)) return false;
        char* block = static_cast<char*>(p);
        char* base = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(p) & a->m_region_mask);
        KtUMemoryRegion* region = reinterpret_cast<KtUMemoryRegion*>(base);
        unsigned k = a->m_single_page ? 0 : unsigned((block - base) >> a->m_page_shift);
        KtUMemoryPage* page = ktu::mem::PageHeader(region, a->m_single_page, a->m_page_shift, k);
        uint32_t head = page->free;
        if (__builtin_expect(head == 0, 0)) return false; // the page was full
        if (__builtin_expect(page->used == 1, 0) && !IsSpare(a, region, k)) return false;
        std::memcpy(block, &head, 4);
        page->free = uint32_t(block - base);
        --page->used;
        --a->m_blocks_allocated;
        ktu::mem::Poison(block, a->m_aligned_size);
        return true;
    }

    // Emptying page k of region: no work when it is page 0 of the arena's
    // only region, which the arena keeps as its spare (64 KiB regions only).
    // The arena's slow paths ask the same question.
    static inline bool IsSpare(const KtURawArena* a, const KtUMemoryRegion* region, unsigned k) {
        return k == 0 && a->m_full == 0 && a->m_partial == ktu::mem::Encode(region) &&
               region->next == 0 && a->m_region_size == ktu::sys::kRegionSize &&
               (a->m_single_page || region->m.uncommitted_mask == a->m_other_pages_mask);
    }
};

#endif // KTUTIL_MEM_ARENA_H

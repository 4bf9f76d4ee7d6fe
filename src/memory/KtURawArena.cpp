//===- KtURawArena.cpp - Fixed-size block arena over reserved regions -----===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtURawArena.h>

#include "foundation/fatal.h"
#include "memory/mem_arena.h"
#include "memory/mem_retain.h"
#include "memory/mem_switches.h"
#include "platform/assert.h"
#include "platform/vm.h"

#include <cstring>
#include <initializer_list>

namespace {

using ktu::mem::kFreeByte;
using ktu::mem::kNewByte;
using ktu::mem::kTailByte;

inline uint32_t ReadLink(const char* block) {
    ktu::mem::Unpoison(const_cast<char*>(block), 4);
    uint32_t v;
    std::memcpy(&v, block, 4);
    ktu::mem::Poison(const_cast<char*>(block), 4);
    return v;
}

/// Reads the link of block (being handed out) and returns the page's new
/// free-list head, writing the next lazy link into that block when needed.
inline uint32_t TakeLink(char* base, char* block, uint32_t block_size, uint32_t area_begin) {
    uint32_t link;
    std::memcpy(&link, block, 4);
    if (link & ktu::mem::kLazyLink) {
        link &= ~ktu::mem::kLazyLink;
        uint32_t below =
            link >= area_begin + block_size ? ((link - block_size) | ktu::mem::kLazyLink) : 0;
        ktu::mem::Unpoison(base + link, 4);
        std::memcpy(base + link, &below, 4);
        ktu::mem::Poison(base + link, 4);
    }
    return link;
}

using ktu::mem::Decode;
using ktu::mem::Encode;
using ktu::mem::LowestBit;
using ktu::mem::PageHeader;
using Region = KtUMemoryRegion;
using Page = KtUMemoryPage;

inline void Unlink(Region* region, uint32_t* list) {
    Region* next = Decode(region->next);
    Region* prev = Decode(region->prev);
    if (prev)
        prev->next = region->next;
    else
        *list = region->next;
    if (next) next->prev = region->prev;
    region->next = region->prev = 0;
}

inline void PushFront(Region* region, uint32_t* list) {
    Region* head = Decode(*list);
    region->prev = 0;
    region->next = *list;
    if (head) head->prev = Encode(region);
    *list = Encode(region);
}

} // namespace

KtURawArena::KtURawArena(unsigned int object_size, unsigned int alignment, unsigned int region_size)
    : m_object_size(object_size), m_alignment(alignment) {
    const unsigned platform_region = unsigned(ktu::sys::kRegionSize);
    unsigned a = alignment < 4 ? 4 : alignment;
    unsigned s = object_size < 4 ? 4 : object_size;
    m_aligned_size = (s + a - 1) / a * a;
    m_region_size = region_size ? region_size : platform_region;
    if (m_region_size == platform_region) {
        // Double the page while it wastes more than 1/128 of itself.
        unsigned page = unsigned(ktu::sys::PageSize());
        while (page < m_region_size &&
               (page - (page - 24) / m_aligned_size * m_aligned_size) * 128 > page)
            page *= 2;
        m_page_size = page > m_region_size ? m_region_size : page;
    } else {
        m_page_size = m_region_size;
    }
    m_region_mask = ~uintptr_t(m_region_size - 1);
    m_page_mask = ~uintptr_t(m_page_size - 1);
    unsigned pages = m_region_size / m_page_size;
    m_other_pages_mask = pages < 2 ? 0 : uint32_t(((uint64_t(1) << pages) - 1) & ~uint64_t(1));
    m_single_page = pages < 2;
    m_page_shift = unsigned(__builtin_ctz(m_page_size));
    // Regions are found by masking a block's address and linked by their
    // address >> 16; pages are tracked in 32-bit masks.
    KTU_ASSERT((m_region_size & (m_region_size - 1)) == 0 && m_region_size >= (1u << 16));
    KTU_ASSERT(m_region_size % m_page_size == 0 && pages <= 32);
}

KtURawArena::~KtURawArena() {
    Release();
}

// Offsets of page index's block area within its region.
static inline void BlockArea(bool single, unsigned page_size, unsigned index, uint32_t* begin,
                             uint32_t* end) {
    if (single) {
        *begin = 16;
        *end = page_size;
    } else {
        *begin = index == 0 ? 24 : index * page_size + 8;
        *end = (index + 1) * page_size;
    }
}

void KtURawArena::SetupPage(Region* region, unsigned int index) {
    char* base = reinterpret_cast<char*>(region);
    uint32_t begin, end;
    BlockArea(m_single_page, m_page_size, index, &begin, &end);
    const uint32_t a = m_aligned_size;
    uint32_t last = begin + (end - begin) / a * a; // end of the last whole block
    if (ktu::mem::Scrubbing()) {
        std::memset(base + begin, kFreeByte, last - begin);
        std::memset(base + last, kTailByte, end - last);
    }
    // The list runs from the highest block down. Only the highest block is
    // written now: its link is marked lazy (see TakeLink), so the page is not
    // touched block by block before it is used.
    uint32_t head = 0;
    if (last > begin) {
        head = last - a;
        uint32_t link = head >= begin + a ? ((head - a) | ktu::mem::kLazyLink) : 0;
        std::memcpy(base + head, &link, 4);
    }
    Page* page = PageHeader(region, m_single_page, m_page_shift, index);
    page->free = head;
    page->used = 0;
    ktu::mem::Poison(base + begin, last - begin);
}

// Maps a fresh region with its first page (or all of it) committed.
void* KtURawArena::MapRegion() {
    using namespace ktu::sys;
    const size_t r = m_region_size;
    void* p;
    if (r == kRegionSize) {
        if (m_single_page) {
            p = VmReserveCommitted(r);
            if (!p) {
                ktu::mem::LogLine(
                    "virtual_alloc_alloc: Failed to allocate size %d, allocation type "
                    "%x, protect %x\n",
                    int(r), 0x3000u, 4u);
                return nullptr;
            }
        } else {
            p = VmReserve(r);
            if (p && !VmCommit(p, m_page_size)) {
                VmRelease(p, r);
                p = nullptr;
            }
            if (!p) {
                ktu::mem::LogLine(
                    "virtual_alloc_alloc: Failed to allocate size %d, allocation type "
                    "%x, protect %x\n",
                    int(r), 0x2000u, 1u);
                return nullptr;
            }
        }
    } else {
        // Over-reserve and trim cannot race with other threads, so a failure
        // here means the address space is exhausted; retry as the platform
        // contract asks, then fail fatally.
        int failures = 0;
        p = nullptr;
        while (failures < 100 && !(p = VmReserveAligned(r, r)))
            ++failures;
        if (failures)
            ktu::mem::LogLine("virtual_alloc_aligned: Allocating at %lx, size %d, returned 0 %d "
                              "times\n",
                              static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)), int(r),
                              failures);
        if (!p) FatalUnhandled();
        if (reinterpret_cast<uintptr_t>(p) & (r - 1)) {
            ktu::mem::LogLine(
                "virtual_alloc_aligned: Allocating at %lx, size %d, returned block at %lx\n",
                static_cast<unsigned long>((reinterpret_cast<uintptr_t>(p) + r - 1) & ~(r - 1)),
                int(r), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
            FatalUnhandled();
        }
        if (!VmCommit(p, r)) {
            VmRelease(p, r);
            return nullptr;
        }
    }
    return p;
}

Region* KtURawArena::NewRegion() {
    const size_t ready = m_single_page ? m_region_size : m_page_size; // committed at once
    void* p = ktu::mem::TakeRegion(m_region_size, ready);
    if (!p) {
        p = MapRegion();
        if (!p) return nullptr;
        // The committed part will be handed out block by block: fault it in
        // with one call rather than one fault per system page.
        ktu::sys::VmPopulate(p, ready);
        ktu::mem::CountFreshRegion(ready);
    }
    KTU_ASSERT((reinterpret_cast<uintptr_t>(p) & (m_region_size - 1)) == 0);
    Region* region = static_cast<Region*>(p);
    region->next = 0;
    region->prev = 0;
    if (!m_single_page) {
        region->m.free_mask = 1;
        region->m.uncommitted_mask = m_other_pages_mask;
    }
    SetupPage(region, 0);
    return region;
}

// Bytes of region that are logically committed.
size_t KtURawArena::CommittedBytes(Region* region) const {
    if (m_single_page) return m_region_size;
    return size_t(m_page_size) *
           (1 + unsigned(__builtin_popcount(m_other_pages_mask & ~region->m.uncommitted_mask)));
}

void* KtURawArena::Alloc() {
    if (void* p = KtUArenaFastPath::TryAlloc(this)) return p;
    return AllocSlow();
}

void* KtURawArena::AllocSlow() {
    Region* region = Decode(m_partial);
    if (!region) {
        region = NewRegion();
        if (!region) return nullptr;
        PushFront(region, &m_partial);
    } else if (ktu::mem::Checking()) {
        CheckRegion(region);
    }
    char* base = reinterpret_cast<char*>(region);
    Page* page;
    uint32_t bit = 0;
    unsigned k = 0;
    if (m_single_page) {
        page = &region->page;
    } else {
        uint32_t mask = region->m.free_mask;
        if (mask) {
            k = LowestBit(mask);
        } else {
            k = LowestBit(region->m.uncommitted_mask);
            if (!ktu::mem::CommitPage(base + (size_t(k) << m_page_shift), m_page_size)) {
                ktu::mem::LogLine("virtual_alloc_alloc: Failed to allocate size %d, allocation "
                                  "type %x, protect %x\n",
                                  int(m_page_size), 0x1000u, 4u);
                return nullptr;
            }
            SetupPage(region, k);
            region->m.uncommitted_mask &= ~(1u << k);
            region->m.free_mask |= 1u << k;
        }
        bit = 1u << k;
        page = PageHeader(region, m_single_page, m_page_shift, k);
    }
    char* block = base + page->free;
    ktu::mem::Unpoison(block, m_aligned_size);
    {
        uint32_t begin, end;
        BlockArea(m_single_page, m_page_size, k, &begin, &end);
        // A partial region's chosen page has a free block, inside its area.
        KTU_ASSERT(page->free >= begin && page->free + m_aligned_size <= end);
        page->free = TakeLink(base, block, m_aligned_size, begin);
    }
    ++page->used;
    if (page->free == 0) {
        if (!m_single_page) {
            region->m.free_mask &= ~bit;
            if (region->m.free_mask | region->m.uncommitted_mask) goto handed_out;
        }
        Unlink(region, &m_partial);
        PushFront(region, &m_full);
    }
handed_out:
    if (ktu::mem::Scrubbing()) {
        if (ktu::mem::Checking())
            ktu::mem::CheckBytes(block, 4, m_aligned_size, kFreeByte); // past the link
        std::memset(block, kNewByte, m_object_size);
        std::memset(block + m_object_size, kTailByte, m_aligned_size - m_object_size);
    }
    ++m_blocks_allocated;
    return block;
}

void KtURawArena::Dealloc(void* block) {
    if (!KtUArenaFastPath::TryDealloc(this, block)) DeallocSlow(block);
}

void KtURawArena::DeallocSlow(void* p) {
    char* block = static_cast<char*>(p);
    Region* region = reinterpret_cast<Region*>(reinterpret_cast<uintptr_t>(p) & m_region_mask);
    if (ktu::mem::Checking()) {
        if (!FindRegion(region)) {
            ktu::mem::PostError("Dealloc: Block %lx lies in region %lx which is not in arena %lx",
                                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)),
                                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(region)),
                                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(this)));
            return;
        }
        CheckRegion(region);
    }
    char* base = reinterpret_cast<char*>(region);
    unsigned k = 0;
    Page* page;
    if (m_single_page) {
        page = &region->page;
        if (page->free == 0) {
            Unlink(region, &m_full);
            PushFront(region, &m_partial);
        }
    } else {
        k = unsigned((block - base) >> m_page_shift);
        page = PageHeader(region, m_single_page, m_page_shift, k);
        if (page->free == 0) {
            bool was_full = (region->m.free_mask | region->m.uncommitted_mask) == 0;
            region->m.free_mask |= 1u << k;
            if (was_full) {
                Unlink(region, &m_full);
                PushFront(region, &m_partial);
            }
        }
    }
    if (ktu::mem::Scrubbing()) {
        if (ktu::mem::Checking())
            ktu::mem::CheckBytes(block, m_object_size, m_aligned_size, kTailByte);
        std::memset(block, kFreeByte, m_aligned_size);
    }
    KTU_ASSERT(page->used > 0 && m_blocks_allocated > 0);
    std::memcpy(block, &page->free, 4);
    page->free = uint32_t(block - base);
    ktu::mem::Poison(block, m_aligned_size);
    --m_blocks_allocated;
    if (--page->used != 0) return;
    if (!m_single_page) {
        if (k != 0) {
            char* start = base + (size_t(k) << m_page_shift);
            ktu::mem::RetainPage(start, m_page_size);
            region->m.free_mask &= ~(1u << k);
            region->m.uncommitted_mask |= 1u << k;
        }
        if (region->m.uncommitted_mask != m_other_pages_mask ||
            PageHeader(region, m_single_page, m_page_shift, 0)->used != 0)
            return;
    }
    // The region is empty: it leaves the arena's counts. The arena's only
    // platform-size region stays in place as its spare, so that one block
    // allocated and freed in a loop touches no list and makes no call; any
    // other goes to the retained-memory cache, which keeps it mapped for a
    // while for cheap reuse.
    if (KtUArenaFastPath::IsSpare(this, region, 0)) return;
    Unlink(region, &m_partial);
    ktu::mem::RetainRegion(region, m_region_size, CommittedBytes(region));
}

void KtURawArena::Release() {
    for (uint32_t* list : {&m_partial, &m_full}) {
        if (ktu::mem::Checking()) CheckRegionList(*list);
        while (Region* region = Decode(*list)) {
            *list = region->next;
            ktu::mem::DropRegion(region, m_region_size, CommittedBytes(region));
        }
    }
    m_blocks_allocated = 0;
}

void KtURawArena::ReleaseSpare() {
    Region* region = Decode(m_partial);
    if (!region || !KtUArenaFastPath::IsSpare(this, region, 0) || !IsEmpty(region)) return;
    Unlink(region, &m_partial);
    ktu::mem::RetainRegion(region, m_region_size, CommittedBytes(region));
}

// A region without a used block: only the arena's spare is ever kept so, and
// it counts as released (the counts say what the arena holds for its blocks).
bool KtURawArena::IsEmpty(Region* region) const {
    if (m_single_page) return region->page.used == 0;
    return region->m.uncommitted_mask == m_other_pages_mask &&
           PageHeader(region, m_single_page, m_page_shift, 0)->used == 0;
}

unsigned int KtURawArena::CountRegions(uint32_t list) const {
    unsigned n = 0;
    for (Region* r = Decode(list); r; r = Decode(r->next))
        n += !IsEmpty(r);
    return n;
}

unsigned int KtURawArena::GetCommittedPages() const {
    unsigned pages = GetFullRegions() * (m_region_size / m_page_size);
    for (Region* r = Decode(m_partial); r; r = Decode(r->next))
        if (!IsEmpty(r))
            pages +=
                m_single_page
                    ? 1
                    : 1 + unsigned(__builtin_popcount(m_other_pages_mask & ~r->m.uncommitted_mask));
    return pages;
}

bool KtURawArena::FindRegion(Region* region) const {
    for (uint32_t list : {m_partial, m_full})
        for (Region* r = Decode(list); r; r = Decode(r->next))
            if (r == region) return true;
    return false;
}

Page* KtURawArena::FindPage(void* block, unsigned int* index) const {
    Region* region = reinterpret_cast<Region*>(reinterpret_cast<uintptr_t>(block) & m_region_mask);
    unsigned k =
        m_single_page
            ? 0
            : unsigned((reinterpret_cast<uintptr_t>(block) & ~m_region_mask) >> m_page_shift);
    if (index) *index = k;
    return PageHeader(region, m_single_page, m_page_shift, k);
}

bool KtURawArena::CheckPage(Region* region, unsigned int index) {
    char* base = reinterpret_cast<char*>(region);
    Page* page = PageHeader(region, m_single_page, m_page_shift, index);
    uint32_t begin, end;
    BlockArea(m_single_page, m_page_size, index, &begin, &end);
    // Nominal page size as the messages report it; capacity = (size - 8) / block.
    unsigned size = index != 0 ? m_page_size : m_single_page ? m_page_size - 8 : m_page_size - 16;
    unsigned capacity = (size - 8) / m_aligned_size;
    char* page_start = base + (size_t(index) << m_page_shift);
    if (page->used > capacity) {
        ktu::mem::PostError("Memory Page %lx , size %d, block size %d has invalid used blocks %d\n",
                            static_cast<unsigned long>(reinterpret_cast<uintptr_t>(page_start)),
                            int(size), int(m_aligned_size), int(page->used));
        return false;
    }
    unsigned steps = 0;
    for (uint32_t off = page->free; off != 0; off = ReadLink(base + off)) {
        bool lazy = off & ktu::mem::kLazyLink; // the rest of the list is every block below
        off &= ~ktu::mem::kLazyLink;
        char* block = base + off;
        if (off < begin || off + m_aligned_size > end) {
            ktu::mem::PostError(
                "Free Block %lx , size %d, is out of range for page %lx, size %d\n",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)), int(m_aligned_size),
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(page_start)), int(size));
            return false;
        }
        if ((off - begin) % m_aligned_size != 0) {
            ktu::mem::PostError(
                "Free Block %lx , size %d, on page %lx points into middle of block\n",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)), int(m_aligned_size),
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(page_start)));
            return false;
        }
        if (lazy || ++steps > capacity) // a cycle: the used count check bounds the list
            break;
    }
    return true;
}

bool KtURawArena::CheckRegion(Region* region) {
    // Links decode to multiples of 64 KiB by construction; a region must also
    // sit on a multiple of the arena's own region size.
    const uintptr_t misaligned = ~m_region_mask;
    uintptr_t addr = reinterpret_cast<uintptr_t>(region);
    uintptr_t next = reinterpret_cast<uintptr_t>(Decode(region->next));
    uintptr_t prev = reinterpret_cast<uintptr_t>(Decode(region->prev));
    if (next & misaligned) {
        ktu::mem::PostError("Memory Region %lx has invalid next pointer %lx\n",
                            static_cast<unsigned long>(addr), static_cast<unsigned long>(next));
        return false;
    }
    if (prev & misaligned) {
        ktu::mem::PostError("Memory Region %lx has invalid prev pointer %lx\n",
                            static_cast<unsigned long>(addr), static_cast<unsigned long>(prev));
        return false;
    }
    if (m_single_page) return CheckPage(region, 0);
    if (region->m.uncommitted_mask & ~m_other_pages_mask) {
        ktu::mem::PostError(
            "Memory Region %lx has invalid uncommited pages mask %x (at most %x bits "
            "can be set)\n",
            static_cast<unsigned long>(addr), region->m.uncommitted_mask, m_other_pages_mask);
        return false;
    }
    if (region->m.free_mask & ~(m_other_pages_mask | 1u)) {
        ktu::mem::PostError("Memory Region %lx has invalid free pages mask %x (at most %x bits can "
                            "be set)\n",
                            static_cast<unsigned long>(addr), region->m.free_mask,
                            m_other_pages_mask | 1u);
        return false;
    }
    unsigned pages = m_region_size / m_page_size;
    for (unsigned k = 0; k < pages; ++k)
        if ((k == 0 || !(region->m.uncommitted_mask & (1u << k))) && !CheckPage(region, k))
            return false;
    return true;
}

void KtURawArena::CheckRegionList(uint32_t list) {
    for (Region* r = Decode(list); r; r = Decode(r->next))
        if (!CheckRegion(r)) return;
}

void KtURawArena::CheckArena() {
    CheckRegionList(m_partial);
    CheckRegionList(m_full);
}

void* KtURawArena::operator new(std::size_t size) noexcept {
    return KtUMemory::AllocEx(static_cast<unsigned int>(size), KtUMemory::eALIGN8, 0);
}

void KtURawArena::operator delete(void* block, std::size_t size) noexcept {
    KtUMemory::Dealloc(block, static_cast<unsigned int>(size), KtUMemory::eALIGN8);
}

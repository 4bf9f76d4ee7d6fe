//===- KtUFastArena.h - Bump-pointer pool of fixed-size blocks ------------===//
//
// KtUFastArena carves blocks of one size from pages it gets from the memory
// manager. Allocation pops the free list or bumps a pointer in the newest
// page; release pushes on the free list. Pages go back to the manager only in
// bulk: DeallocAll keeps them as spares, Release and the destructor free
// them, and Compact frees the pages whose blocks are all free.
//
//   KtUFastArena edges(sizeof(Edge), 8);
//   Edge* e = new (&edges) Edge;         // KTU_DECLARE_ALLOCATION_OPERATORS
//   ...
//   edges.DeallocAll();                  // every block at once
//
// On 64-bit the free list links are pointers, so the smallest block is 8
// bytes (4 on the reference platform).
//
// Thread safety: not locked; one owner thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUFASTARENA_H
#define KTUTIL_KTUFASTARENA_H

#include <ktutil/KtUDefs.h>

namespace ktu::mem {
// KtUMemory's scrub and check switches; while any is on the fast paths step
// aside.
extern KTU_API unsigned char g_switches;
} // namespace ktu::mem

/// Pool of fixed-size blocks with a bump pointer, a free list and bulk release.
class KTU_API KtUFastArena {
public:
    /// Pages hold at least 256 blocks: GetBestBlockSize(aligned size * 256).
    KtUFastArena(unsigned int object_size, unsigned int alignment);
    /// Pages of GetBestBlockSize(page_size) bytes.
    KtUFastArena(unsigned int object_size, unsigned int page_size, unsigned int alignment);
    ~KtUFastArena();
    KtUFastArena(const KtUFastArena&) = delete;
    KtUFastArena& operator=(const KtUFastArena&) = delete;

    /// A block of GetAlignedSize() bytes, or null when no page can be had.
    void* Alloc() {
#if !KTU_HAS_ASAN
        if (!ktu::mem::g_switches) {
            if (void* block = m_free) {
                m_free = *static_cast<void**>(block);
                ++m_blocks_allocated;
                return block;
            }
            if (m_fresh) {
                void* block = m_bump;
                m_bump += m_aligned_size;
                --m_fresh;
                ++m_blocks_allocated;
                return block;
            }
        }
#endif
        return AllocSlow();
    }
    /// Returns a block to the free list; its page stays in use.
    void Dealloc(void* block) {
#if !KTU_HAS_ASAN
        if (!ktu::mem::g_switches) {
            *static_cast<void**>(block) = m_free;
            m_free = block;
            --m_blocks_allocated;
            return;
        }
#endif
        DeallocSlow(block);
    }
    void* Compact(void* block) {
        return block;
    }
    /// Frees the pages whose blocks are all on the free list.
    void Compact();
    /// Invalidates every block at once; the pages become spares.
    void DeallocAll();
    /// DeallocAll, then frees the spare pages.
    void Release();
    /// Takes over other's blocks and pages (same aligned size and page size);
    /// other ends empty.
    void Merge(KtUFastArena* other);
    void CheckArena() {}

    // On the memory manager, out of line: this header comes before KtUMemory's.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;
    static void* operator new(std::size_t, void* place) noexcept {
        return place;
    }
    static void operator delete(void*, void*) noexcept {}

    unsigned int GetObjectSize() const {
        return m_object_size;
    }
    unsigned int GetAlignment() const {
        return m_alignment;
    }
    unsigned int GetAlignedSize() const {
        return m_aligned_size;
    }
    unsigned int GetPageSize() const {
        return m_page_size;
    }
    unsigned int GetBlocksAllocated() const {
        return m_blocks_allocated;
    }
    /// Pages in use plus spare pages.
    unsigned int GetCommittedPages() const;
    KtUNat64 GetCommittedMemory() const {
        return KtUNat64(GetCommittedPages()) * m_page_size;
    }

private:
    /// A page in use or spare: the descriptor comes from the manager's
    /// 16-byte size class on 64-bit.
    struct PageDesc {
        PageDesc* next;
        char* memory;
    };

    void Init(unsigned int object_size, unsigned int page_size, unsigned int alignment);
    void* AllocSlow();
    void DeallocSlow(void* block);
    void ReleaseSpares();
    void FreePage(PageDesc* page);
    unsigned int BlocksPerPage() const {
        return m_page_size / m_aligned_size;
    }

    unsigned int m_object_size = 0;
    unsigned int m_alignment = 0;
    unsigned int m_aligned_size = 0;
    unsigned int m_page_size = 0;
    unsigned int m_blocks_allocated = 0;
    void* m_free = nullptr;
    char* m_bump = nullptr;
    unsigned int m_fresh = 0;
    PageDesc* m_pages = nullptr;
    PageDesc* m_pages_tail = nullptr;
    PageDesc* m_spares = nullptr;
};

#endif // KTUTIL_KTUFASTARENA_H

//===- KtUFastArena.cpp - Bump-pointer pool of fixed-size blocks ----------===//
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtUMemory.h>

#include "memory/mem_switches.h"

#include <algorithm>
#include <cstring>

using namespace ktu::mem;

KtUFastArena::KtUFastArena(unsigned int object_size, unsigned int alignment) {
    unsigned int a = alignment < 4 ? 4 : alignment;
    unsigned int aligned = ((object_size < 8 ? 8 : object_size) + a - 1) / a * a;
    Init(object_size, aligned * 256, alignment);
}

KtUFastArena::KtUFastArena(unsigned int object_size, unsigned int page_size,
                           unsigned int alignment) {
    Init(object_size, page_size, alignment);
}

KtUFastArena::~KtUFastArena() {
    Release();
}

void KtUFastArena::Init(unsigned int object_size, unsigned int page_size, unsigned int alignment) {
    m_object_size = object_size;
    m_alignment = alignment;
    // Free blocks hold a pointer-sized link: 8 bytes at least on 64-bit.
    unsigned int a = alignment < 4 ? 4 : alignment;
    m_aligned_size = ((object_size < 8 ? 8 : object_size) + a - 1) / a * a;
    m_page_size =
        KtUMemory::GetBestBlockSize(page_size < m_aligned_size ? m_aligned_size : page_size);
}

void* KtUFastArena::AllocSlow() {
    char* block;
    if (m_free) {
        block = static_cast<char*>(m_free);
        Unpoison(block, m_aligned_size);
        m_free = *reinterpret_cast<void**>(block);
    } else if (m_fresh) {
        block = m_bump;
        Unpoison(block, m_aligned_size);
        m_bump += m_aligned_size;
        --m_fresh;
    } else {
        PageDesc* page = m_spares;
        if (page) {
            m_spares = page->next;
        } else {
            page =
                static_cast<PageDesc*>(KtUMemory::AllocEx(sizeof(PageDesc), KtUMemory::eALIGN8, 0));
            char* memory =
                page ? static_cast<char*>(KtUMemory::AllocEx(m_page_size, KtUMemory::eALIGN8, 0))
                     : nullptr;
            if (!memory) {
                if (page) KtUMemory::Dealloc(page, sizeof(PageDesc), KtUMemory::eALIGN8);
                return nullptr;
            }
            page->memory = memory;
            // A new page always carries the free and tail patterns.
            unsigned int blocks_bytes = BlocksPerPage() * m_aligned_size;
            std::memset(memory, kFreeByte, blocks_bytes);
            std::memset(memory + blocks_bytes, kTailByte, m_page_size - blocks_bytes);
            Poison(memory, m_page_size);
        }
        page->next = m_pages;
        m_pages = page;
        if (!m_pages_tail) m_pages_tail = page;
        block = page->memory;
        Unpoison(block, m_aligned_size);
        m_bump = block + m_aligned_size;
        m_fresh = BlocksPerPage() - 1;
    }
    if (Scrubbing()) {
        if (Checking()) CheckBytes(block, 8, m_aligned_size, kFreeByte); // past the link
        std::memset(block, kNewByte, m_object_size);
        std::memset(block + m_object_size, kTailByte, m_aligned_size - m_object_size);
    }
    ++m_blocks_allocated;
    return block;
}

void KtUFastArena::DeallocSlow(void* p) {
    char* block = static_cast<char*>(p);
    if (Scrubbing()) {
        if (Checking()) CheckBytes(block, m_object_size, m_aligned_size, kTailByte);
        std::memset(block, kFreeByte, m_aligned_size);
    }
    *reinterpret_cast<void**>(block) = m_free;
    m_free = block;
    Poison(block, m_aligned_size);
    --m_blocks_allocated;
}

void KtUFastArena::DeallocAll() {
    unsigned int blocks_bytes = BlocksPerPage() * m_aligned_size;
    for (PageDesc* page = m_pages; page; page = page->next) {
        Unpoison(page->memory, m_page_size);
        if (Scrubbing()) {
            if (Checking()) CheckBytes(page->memory, blocks_bytes, m_page_size, kTailByte);
            std::memset(page->memory, kFreeByte, blocks_bytes);
        }
        Poison(page->memory, m_page_size);
    }
    if (m_pages) {
        m_pages_tail->next = m_spares;
        m_spares = m_pages;
    }
    m_pages = m_pages_tail = nullptr;
    m_blocks_allocated = 0;
    m_free = nullptr;
    m_bump = nullptr;
    m_fresh = 0;
}

void KtUFastArena::FreePage(PageDesc* page) {
    Unpoison(page->memory, m_page_size);
    KtUMemory::Dealloc(page->memory, m_page_size, KtUMemory::eALIGN8);
    KtUMemory::Dealloc(page, sizeof(PageDesc), KtUMemory::eALIGN8);
}

void KtUFastArena::ReleaseSpares() {
    unsigned int blocks_bytes = BlocksPerPage() * m_aligned_size;
    while (PageDesc* page = m_spares) {
        m_spares = page->next;
        if (Scrubbing() && Checking()) {
            Unpoison(page->memory, m_page_size);
            if (CheckBytes(page->memory, 0, blocks_bytes, kFreeByte))
                CheckBytes(page->memory, blocks_bytes, m_page_size, kTailByte);
        }
        FreePage(page);
    }
}

void KtUFastArena::Release() {
    DeallocAll();
    ReleaseSpares();
}

void KtUFastArena::Compact() {
    ReleaseSpares();
    // The newest page's fresh blocks join the free list.
    for (; m_fresh; --m_fresh, m_bump += m_aligned_size) {
        Unpoison(m_bump, m_aligned_size);
        *reinterpret_cast<void**>(m_bump) = m_free;
        m_free = m_bump;
        Poison(m_bump, m_aligned_size);
    }
    m_bump = nullptr;

    auto next_of = [this](void* block) {
        Unpoison(block, sizeof(void*));
        void* next = *static_cast<void**>(block);
        Poison(block, m_aligned_size);
        return next;
    };
    unsigned int free_count = 0, page_count = 0;
    for (void* b = m_free; b; b = next_of(b))
        ++free_count;
    if (free_count < BlocksPerPage()) return;
    for (PageDesc* page = m_pages; page; page = page->next)
        ++page_count;

    // Free blocks and pages, both sorted by address.
    unsigned int blocks_bytes = KtUMemory::GetBestBlockSize(free_count * sizeof(void*));
    unsigned int pages_bytes = KtUMemory::GetBestBlockSize(page_count * sizeof(PageDesc*));
    auto** blocks = static_cast<char**>(KtUMemory::AllocEx(blocks_bytes, KtUMemory::eALIGN8, 0));
    auto** pages = static_cast<PageDesc**>(KtUMemory::AllocEx(pages_bytes, KtUMemory::eALIGN8, 0));
    if (!blocks || !pages) {
        if (blocks) KtUMemory::Dealloc(blocks, blocks_bytes, KtUMemory::eALIGN8);
        if (pages) KtUMemory::Dealloc(pages, pages_bytes, KtUMemory::eALIGN8);
        return;
    }
    unsigned int n = 0;
    for (void* b = m_free; b; b = next_of(b))
        blocks[n++] = static_cast<char*>(b);
    n = 0;
    for (PageDesc* page = m_pages; page; page = page->next)
        pages[n++] = page;
    std::sort(blocks, blocks + free_count);
    std::sort(pages, pages + page_count,
              [](const PageDesc* a, const PageDesc* b) { return a->memory < b->memory; });

    // Rebuild the lists page by page, freeing pages that are wholly free.
    m_pages = m_pages_tail = nullptr;
    m_free = nullptr;
    unsigned int b = 0;
    for (unsigned int p = 0; p < page_count; ++p) {
        PageDesc* page = pages[p];
        char* end = page->memory + m_page_size;
        while (b < free_count && blocks[b] < page->memory)
            ++b; // cannot happen for blocks of this arena
        unsigned int first = b;
        while (b < free_count && blocks[b] < end)
            ++b;
        if (b - first == BlocksPerPage()) {
            FreePage(page);
            continue;
        }
        page->next = m_pages;
        m_pages = page;
        if (!m_pages_tail) m_pages_tail = page;
        for (unsigned int i = first; i < b; ++i) {
            Unpoison(blocks[i], sizeof(void*));
            *reinterpret_cast<void**>(blocks[i]) = m_free;
            m_free = blocks[i];
            Poison(blocks[i], m_aligned_size);
        }
    }
    KtUMemory::Dealloc(blocks, blocks_bytes, KtUMemory::eALIGN8);
    KtUMemory::Dealloc(pages, pages_bytes, KtUMemory::eALIGN8);
}

void KtUFastArena::Merge(KtUFastArena* other) {
    if (!other || other == this) return;
    m_blocks_allocated += other->m_blocks_allocated;
    other->m_blocks_allocated = 0;
    // Other's free list goes after the last element of ours.
    if (other->m_free && !m_free) {
        m_free = other->m_free;
    } else if (other->m_free) {
        char* last = static_cast<char*>(m_free);
        for (;;) {
            Unpoison(last, sizeof(void*));
            void* next = *reinterpret_cast<void**>(last);
            if (!next) break;
            Poison(last, m_aligned_size);
            last = static_cast<char*>(next);
        }
        *reinterpret_cast<void**>(last) = other->m_free;
        Poison(last, m_aligned_size);
    }
    // Other's fresh blocks join our free list.
    for (; other->m_fresh; --other->m_fresh, other->m_bump += m_aligned_size) {
        Unpoison(other->m_bump, m_aligned_size);
        *reinterpret_cast<void**>(other->m_bump) = m_free;
        m_free = other->m_bump;
        Poison(other->m_bump, m_aligned_size);
    }
    if (other->m_pages) {
        if (m_pages_tail)
            m_pages_tail->next = other->m_pages;
        else
            m_pages = other->m_pages;
        m_pages_tail = other->m_pages_tail;
    }
    if (other->m_spares) {
        PageDesc** link = &m_spares;
        while (*link)
            link = &(*link)->next;
        *link = other->m_spares;
    }
    other->m_free = nullptr;
    other->m_bump = nullptr;
    other->m_pages = other->m_pages_tail = other->m_spares = nullptr;
}

unsigned int KtUFastArena::GetCommittedPages() const {
    unsigned int n = 0;
    for (PageDesc* page = m_pages; page; page = page->next)
        ++n;
    for (PageDesc* page = m_spares; page; page = page->next)
        ++n;
    return n;
}

void* KtUFastArena::operator new(std::size_t size) noexcept {
    return KtUMemory::AllocEx(static_cast<unsigned int>(size), KtUMemory::eALIGN8, 0);
}

void KtUFastArena::operator delete(void* block, std::size_t size) noexcept {
    KtUMemory::Dealloc(block, static_cast<unsigned int>(size), KtUMemory::eALIGN8);
}

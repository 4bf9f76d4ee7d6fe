//===- KtUPageFile.cpp - Page-pointer cache and reference count -----------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPageFile.h>

KtUPageFile::~KtUPageFile() {
    if (m_cache)
        KtUMemory::Dealloc(m_cache, m_cache_capacity * unsigned(sizeof(void*)), KtUMemory::eALIGN8);
}

void KtUPageFile::Pump() {}

void KtUPageFile::FinishedWaiting() {}

unsigned int KtUPageFile::IWrite(void*) {
    return 0;
}

void KtUPageFile::Unref() {
    if (--m_ref_count == 0) delete this;
}

// Grows the slots to `pages`, the capacity along the memory manager's best
// block sizes; new slots are null. False when memory ran out.
bool KtUPageFile::GrowCache(unsigned int pages) {
    if (pages > m_cache_capacity) {
        unsigned bytes = KtUMemory::GetBestBlockSize(pages * unsigned(sizeof(void*)));
        void* grown = KtUMemory::Resize(m_cache, m_cache_capacity * unsigned(sizeof(void*)), bytes,
                                        KtUMemory::eALIGN8);
        if (!grown) return false;
        m_cache = static_cast<void**>(grown);
        m_cache_capacity = bytes / unsigned(sizeof(void*));
    }
    while (m_cache_size < pages)
        m_cache[m_cache_size++] = nullptr;
    return true;
}

void KtUPageFile::SetCacheSize(unsigned int pages) {
    if (pages <= m_cache_size)
        m_cache_size = pages;
    else
        GrowCache(pages);
}

void KtUPageFile::SetCache(unsigned int page, void* pointer) {
    if (page == 0) return;
    if (page > m_cache_size && !GrowCache(page)) return;
    void* old = m_cache[page - 1];
    m_cache[page - 1] = pointer;
    if (old && !pointer) PageReleased(page, -1);
}

void* KtUPageFile::GetCache(unsigned int page) const {
    if (page == 0 || page > m_cache_size) return nullptr;
    return m_cache[page - 1];
}

void* KtUPageFile::Read(unsigned int page, Type type, Status* status, KtUPage::Action action,
                        KtUPageOutProgress* progress) {
    if (void* cached = GetCache(page)) {
        if (status) *status = eSTATUS_CACHED;
        return cached;
    }
    if (action != KtUPage::eACTION_NO_PAGE_OUT)
        KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, action, progress);
    return IRead(page, type, status);
}

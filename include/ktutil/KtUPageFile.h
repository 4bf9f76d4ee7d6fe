//===- KtUPageFile.h - Reference-counted base of a host's page file -------===//
//
// KtUPageFile caches page pointers by page number (from 1) and, before
// reading a page that is not cached, pages out so that the read has room.
// Hosts implement the file itself.
//
//   class ModelPages : public KtUPageFile {
//       void* IRead(unsigned int page, Type, Status* status) override;
//       ...
//   };
//   ModelPages* file = new ModelPages;
//   file->Ref();
//   KtUPageFile::Status status;
//   void* p = file->ReadPage(3, &status);   // a host helper calling Read
//   file->Unref();                          // deletes at 0
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUPAGEFILE_H
#define KTUTIL_KTUPAGEFILE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUPage.h>

class KtUPageOutProgress;

/// Base of a host's page file: reference count and page-pointer cache.
/// Not thread-safe: the host serialises access.
class KTU_API KtUPageFile {
public:
    /// Passed through to IRead; values other than 0 are the host's.
    enum Type : int { eTYPE_DEFAULT = 0 };
    /// eSTATUS_CACHED: the page came from the cache; the host's own values follow.
    enum Status : int { eSTATUS_CACHED = 0, eSTATUS_READ = 1 };

    KtUPageFile() = default;
    KtUPageFile(const KtUPageFile&) = delete;
    KtUPageFile& operator=(const KtUPageFile&) = delete;

    // The host's page file.
    virtual int Flush() = 0;
    virtual int Truncate(unsigned int pages) = 0;
    virtual unsigned int GetNumPages() = 0;
    /// Release notice: called with (page, -1) when a cached pointer is replaced by null.
    virtual void PageReleased(unsigned int page, int how) = 0;
    virtual void Pump();
    virtual void FinishedWaiting();
    virtual ~KtUPageFile();

    void Ref() { ++m_ref_count; }
    /// Deletes the page file when the count drops from 1 to 0.
    void Unref();
    void UnrefNoDelete() { --m_ref_count; }
    unsigned int GetRefCount() const { return m_ref_count; }
    unsigned int GetCacheSize() const { return m_cache_size; }
    /// Truncates the cache or grows it with empty slots.
    void SetCacheSize(unsigned int pages);

protected:
    /// Reads a page that is not cached.
    virtual void* IRead(unsigned int page, Type type, Status* status) = 0;
    virtual unsigned int IWrite(void* page);

    void SetCache(unsigned int page, void* pointer);
    void* GetCache(unsigned int page) const;
    /// The cached page (status eSTATUS_CACHED), or IRead after a page-out
    /// (none when action is eACTION_NO_PAGE_OUT).
    void* Read(unsigned int page, Type type, Status* status, KtUPage::Action action,
               KtUPageOutProgress* progress);
    unsigned int Write(void* page) { return IWrite(page); }

private:
    bool GrowCache(unsigned int pages);

    unsigned int m_ref_count = 0;
    void** m_cache = nullptr;
    unsigned int m_cache_size = 0;
    unsigned int m_cache_capacity = 0;
};

#endif // KTUTIL_KTUPAGEFILE_H

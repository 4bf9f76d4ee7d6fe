//===- KtUSysDirHandle.h - A listing of one directory ---------------------===//
//
// KtUSysDirHandle walks the entries of a directory, one at a time, in the
// file system's order ("." and ".." are skipped):
//
//   KtUSysDirHandle* dir = KtUSysFile::OpenDirW(u"/data", u"*.step");
//   for (; dir && dir->IsValid(); dir->Next()) {
//       KtUSysFileHandle* f = dir->OpenFile();   // holds one reference
//       ... f->GetFullNameW() ...
//       KtUSysFile::CloseFile(f);
//   }
//   KtUSysFile::CloseDir(dir);
//
// Entries that disappear while the listing runs are skipped. Entries added
// meanwhile may or may not be seen.
//
// Thread safety: use one listing from one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSDIRHANDLE_H
#define KTUTIL_KTUSYSDIRHANDLE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUSysFileHandle;

/// An open directory listing positioned on one entry.
///
/// Thread safety: not thread-safe; one thread at a time.
class KTU_API KtUSysDirHandle {
public:
    /// Opens dir (a UTF-8 path) and moves to the first entry matching pattern
    /// (UTF-8 wildcards; null matches all). Use KtUSysFile::OpenDirW instead.
    KtUSysDirHandle(const char* dir, const char* pattern);
    ~KtUSysDirHandle();
    KtUSysDirHandle(const KtUSysDirHandle&) = delete;
    KtUSysDirHandle& operator=(const KtUSysDirHandle&) = delete;

    /// True while the listing is positioned on an entry.
    bool IsValid() const { return m_current != nullptr; }
    /// True when the directory itself could be opened.
    bool IsOpen() const { return m_dir != nullptr; }
    /// The current entry, holding one reference; null past the end.
    KtUSysFileHandle* OpenFile() const;
    /// Moves to the next entry; returns IsValid().
    bool Next();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void* m_dir = nullptr; // the platform's directory listing
    char* m_path = nullptr;
    char* m_pattern = nullptr;
    KtUSysFileHandle* m_current = nullptr;
};

#endif // KTUTIL_KTUSYSDIRHANDLE_H

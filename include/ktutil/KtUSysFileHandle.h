//===- KtUSysFileHandle.h - One entry of a directory listing --------------===//
//
// KtUSysFileHandle describes one file or directory as it was when the handle
// was made: its name, its full path, its size and modification time.
//
//   KtUSysFileHandle* f = KtUSysFile::OpenFileW(u"/data/model.step");
//   if (f) {
//       KtUNat64 bytes = f->GetFileSize();
//       KtUSysFile::CloseFile(f);                 // or f->Unref()
//   }
//
// Handles are reference-counted: a new one has a count of 0, Ref adds one and
// Unref destroys it when the count falls from 1 to 0. OpenFileW and
// KtUSysDirHandle::OpenFile hand out a handle already holding one reference.
//
// Thread safety: the described values never change, so a handle may be read
// from several threads; Ref and Unref are atomic.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSFILEHANDLE_H
#define KTUTIL_KTUSYSFILEHANDLE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUWideString.h>

#include <atomic>

/// A reference-counted snapshot of one file-system entry.
///
/// Thread safety: immutable after creation; Ref/Unref are atomic.
class KTU_API KtUSysFileHandle {
public:
    /// An entry named name inside full (its whole path); the file system is
    /// not consulted. Prefer KtUSysFile::OpenFileW, which fills in the facts.
    KtUSysFileHandle(const KtUWChar* name, const KtUWChar* full, KtUNat64 size, KtUInt64 time,
                     bool directory);
    KtUSysFileHandle(const KtUSysFileHandle&) = delete;
    KtUSysFileHandle& operator=(const KtUSysFileHandle&) = delete;

    void Ref() { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Unref();
    void UnrefNoDelete() { m_refs.fetch_sub(1, std::memory_order_acq_rel); }
    int GetRefCount() const { return m_refs.load(std::memory_order_relaxed); }

    /// The last component of the path.
    const KtUWChar* GetNameW() const { return m_name.GetString(); }
    /// The whole path, with "/" separators.
    const KtUWChar* GetFullNameW() const { return m_full.GetString(); }
    /// Size in bytes (0 for a directory).
    KtUNat64 GetFileSize() const { return m_size; }
    /// Modification time in seconds since 1970 UTC.
    KtUInt64 GetModificationTime() const { return m_time; }
    bool IsDirectory() const { return m_directory; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    ~KtUSysFileHandle() = default;

    KtUWideString m_name;
    KtUWideString m_full;
    KtUNat64 m_size;
    KtUInt64 m_time;
    bool m_directory;
    std::atomic<int> m_refs{0};
};

#endif // KTUTIL_KTUSYSFILEHANDLE_H

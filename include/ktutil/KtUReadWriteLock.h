//===- KtUReadWriteLock.h - Many readers or one writer, writers first -----===//
//
//   lock.ReadLock();  ...  lock.ReadUnlock();
//   lock.WriteLock(); ...  lock.WriteUnlock();
//
// A writer waits for the readers inside; readers that arrive while a writer
// waits wait behind it (writer preference).
//
// Thread safety: all operations from any thread; misuse posts errors 19-21.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUREADWRITELOCK_H
#define KTUTIL_KTUREADWRITELOCK_H

#include <ktutil/KtULock.h>

/// Reader/writer lock with writer preference.
class KTU_API KtUReadWriteLock {
public:
    KtUReadWriteLock();
    ~KtUReadWriteLock();
    KtUReadWriteLock(const KtUReadWriteLock&) = delete;
    KtUReadWriteLock& operator=(const KtUReadWriteLock&) = delete;

    void ReadLock();
    void ReadUnlock();
    void WriteLock();
    void WriteUnlock();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUSysLock m_mutex;
    int m_state = 0; // > 0 readers, -1 one writer, 0 free
    int m_waiting_writers = 0;
    void* m_reader_event; // auto-reset events, created signalled
    void* m_writer_event;
};

#endif // KTUTIL_KTUREADWRITELOCK_H

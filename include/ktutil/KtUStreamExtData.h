//===- KtUStreamExtData.h - Preserved data of an object of unknown class --===//
//
// When a reader meets an object of a derived class it does not know, it
// reads the part its nearest known ancestor understands and keeps the rest,
// as self-describing bytes, in a KtUStreamExtData. Writing the object back
// with that ext data restores the derived class and its data unchanged:
//
//   KtUStreamExtData* ext = nullptr;
//   int entry;
//   void* part = in.ReadObjectExt(&entry, &ext);
//   KtUAutoRefPtr<KtUStreamExtData> keep(ext);     // new ext data has no reference yet
//   ...
//   out.WriteObjectExt(part, entry, ext);
//
// Thread safety: reference counts are not atomic; one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMEXTDATA_H
#define KTUTIL_KTUSTREAMEXTDATA_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

/// Reference-counted bytes of an unknown derived class's extra data.
class KTU_API KtUStreamExtData {
public:
    /// Takes ownership of data (from KtUMemory::Malloc), size bytes.
    KtUStreamExtData(int entry, unsigned char* data, int size)
        : m_entry(entry), m_data(data), m_size(size) {}
    KtUStreamExtData(const KtUStreamExtData&) = delete;
    KtUStreamExtData& operator=(const KtUStreamExtData&) = delete;

    void Ref() { ++m_refs; }
    /// Destroys the object when the count falls from 1 to 0.
    void Unref();
    int GetRefCount() const { return m_refs; }

    /// The derived class's entry index in the reader's current read format.
    int GetEntry() const { return m_entry; }
    const unsigned char* GetData() const { return m_data; }
    int GetSize() const { return m_size; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    ~KtUStreamExtData();

    int m_refs = 0;
    int m_entry;
    unsigned char* m_data;
    int m_size;
};

#endif // KTUTIL_KTUSTREAMEXTDATA_H

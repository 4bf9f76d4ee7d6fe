//===- KtUStreamBuffer.h - A sink on one contiguous memory area -----------===//
//
// KtUStreamBuffer writes into, or reads from, one contiguous area. An area it
// owns grows by doubling; an area the caller lends it does not grow, so
// writing fails once it is full.
//
//   KtUStreamBuffer buffer;              // owns a 64 KiB area at WriteBegin
//   KtUWriteStream out(&buffer);
//   out.Begin(1, 0); out.WriteInt32(7); out.End();
//   int n = buffer.GetAlignedUsed();     // bytes written
//   unsigned char* bytes = buffer.ClaimBuffer();   // now the caller's:
//   KtUMemory::Free(bytes);                        //   free it so
//
//   KtUStreamBuffer view;                // read bytes in place
//   view.SetBuffer(data, size, KtUStreamBuffer::eCOPY_IF_UNALIGNED);
//
// The stream reads and writes from the first 8-aligned address of the area
// (GetAlignedBuffer). An owned area comes from KtUMemory::Malloc.
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMBUFFER_H
#define KTUTIL_KTUSTREAMBUFFER_H

#include <ktutil/KtUStreamSink.h>

/// A sink on one contiguous memory area, owned (growing) or lent.
class KTU_API KtUStreamBuffer : public KtUStreamSink {
public:
    /// How SetBuffer takes an area.
    enum Hint : int {
        /// In place when 8-aligned, else copied.
        eCOPY_IF_UNALIGNED = 0,
        /// Always copied into an owned area.
        eCOPY = 1,
        /// Always in place; reading and writing start at the first 8-aligned byte.
        eIN_PLACE = 2,
    };

    KtUStreamBuffer() = default;
    KtUStreamBuffer(const KtUStreamBuffer&) = delete;
    KtUStreamBuffer& operator=(const KtUStreamBuffer&) = delete;
    ~KtUStreamBuffer() override;

    /// Frees an owned area, then takes size bytes at data as hint says.
    /// Returns 0 (and leaves the buffer empty) when a copy cannot be allocated.
    int SetBuffer(unsigned char* data, int size, Hint hint);
    /// Gives the area to the caller (free with KtUMemory::Free when it was owned).
    unsigned char* ClaimBuffer() {
        m_managed = 0;
        return m_start;
    }

    int WriteBegin(const KtUWriteStream* stream) override;
    int WriteLock(unsigned char** region, int* size) override;
    int WriteProcess(int count) override;
    int WriteEnd() override;
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadLock(const unsigned char** region, int* size) override;
    int ReadProcess(int count) override;

    unsigned char* GetBuffer() const { return m_start; }
    int GetSize() const { return static_cast<int>(m_end - m_start); }
    int GetUsed() const { return static_cast<int>(m_cursor - m_start); }
    unsigned char* GetAlignedBuffer() const;
    int GetAlignedSize() const { return static_cast<int>(m_end - GetAlignedBuffer()); }
    int GetAlignedUsed() const { return static_cast<int>(m_cursor - GetAlignedBuffer()); }
    int IsManagedBuffer() const { return m_managed; }

private:
    void Release();

    unsigned char* m_start = nullptr;
    unsigned char* m_end = nullptr;
    unsigned char* m_cursor = nullptr;
    int m_managed = 0;
};

#endif // KTUTIL_KTUSTREAMBUFFER_H

//===- KtUStreamBlockBuffer.h - A memory sink made of fixed blocks --------===//
//
// KtUStreamBlockBuffer grows one 4,064-byte block at a time and never moves
// data, so large streams are written without reallocation:
//
//   KtUStreamBlockBuffer blocks;
//   KtUWriteStream out(&blocks);
//   out.Begin(1, 0); ... out.End();
//   int bytes = blocks.GetBufferUsed();
//   KtUStreamBlockStore store;
//   store.ClaimBuffer(&blocks);            // keep the bytes compactly
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMBLOCKBUFFER_H
#define KTUTIL_KTUSTREAMBLOCKBUFFER_H

#include <ktutil/KtUStreamBlock.h>
#include <ktutil/KtUStreamSink.h>

/// A sink on a list of KtUStreamBlock, owned or borrowed.
class KTU_API KtUStreamBlockBuffer : public KtUStreamSink {
public:
    KtUStreamBlockBuffer() = default;
    KtUStreamBlockBuffer(const KtUStreamBlockBuffer&) = delete;
    KtUStreamBlockBuffer& operator=(const KtUStreamBlockBuffer&) = delete;
    ~KtUStreamBlockBuffer() override { Release(); }

    int WriteBegin(const KtUWriteStream* stream) override;
    int WriteLock(unsigned char** region, int* size) override;
    int WriteProcess(int count) override;
    int WriteEnd() override;
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadLock(const unsigned char** region, int* size) override;
    int ReadProcess(int count) override;

    KtUStreamBlock* GetBuffer() const { return m_head; }
    KtUStreamBlock* GetTail() const { return m_tail; }
    int GetTailUsed() const { return m_tail_used; }
    int IsManagedBuffer() const { return m_managed; }
    /// 4,064 per block before the tail plus the tail's used bytes.
    int GetBufferUsed() const;
    /// Same used size and the same bytes.
    bool EqualData(const KtUStreamBlockBuffer& other) const;
    /// Returns the head (and the tail in *tail) and gives up ownership.
    KtUStreamBlock* ClaimBuffer(KtUStreamBlock** tail);
    /// Frees an owned list and reads (head, tail, tail used) without owning it.
    void SetReadBuffer(KtUStreamBlock* head, KtUStreamBlock* tail, int tail_used);

private:
    void Release();
    int ReadLimit() const;

    KtUStreamBlock* m_head = nullptr;
    KtUStreamBlock* m_tail = nullptr;
    int m_tail_used = 0;
    KtUStreamBlock* m_read_block = nullptr;
    int m_read_offset = 0;
    int m_managed = 0;
};

#endif // KTUTIL_KTUSTREAMBLOCKBUFFER_H

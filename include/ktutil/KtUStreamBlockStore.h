//===- KtUStreamBlockStore.h - Block-buffer contents kept between uses ----===//
//
// A KtUStreamBlockStore keeps what a KtUStreamBlockBuffer holds: its full
// blocks as they are and its partial last block as a compact copy. It can be
// read again through a block buffer without copying, and it can itself be
// written into and read from a typed stream.
//
//   KtUStreamBlockStore store;
//   store.ClaimBuffer(&blocks);            // blocks is empty afterwards
//   KtUStreamBlockBuffer view;
//   store.BeginReadBuffer(&view);
//   KtUReadStream in(&view); ...
//   store.EndReadBuffer(&view);
//   store.WriteContents(&out);             // into another stream
//
// Thread safety: a plain value.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMBLOCKSTORE_H
#define KTUTIL_KTUSTREAMBLOCKSTORE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUReadStream;
class KtUStreamBlock;
class KtUStreamBlockBuffer;
class KtUWriteStream;

/// Compact storage of a block buffer's contents.
class KTU_API KtUStreamBlockStore {
public:
    KtUStreamBlockStore() = default;
    KtUStreamBlockStore(const KtUStreamBlockStore& other);
    KtUStreamBlockStore& operator=(const KtUStreamBlockStore& other);
    ~KtUStreamBlockStore() { Clear(); }

    bool IsEmpty() const { return !m_blocks && !m_tail; }
    void Clear();
    /// Takes the buffer's list; a partly used tail block becomes tail data.
    void ClaimBuffer(KtUStreamBlockBuffer* buffer);
    /// Lets buffer read the contents in place (see the class comment).
    void BeginReadBuffer(KtUStreamBlockBuffer* buffer);
    void EndReadBuffer(KtUStreamBlockBuffer* buffer);
    /// The block count, each block, the tail size and the tail.
    void WriteContents(KtUWriteStream* stream) const;
    void ReadContents(KtUReadStream* stream);

    /// Full blocks held and bytes of tail data.
    int GetNumBlocks() const;
    int GetTailSize() const { return m_tail_size; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUStreamBlock* m_blocks = nullptr;
    unsigned char* m_tail = nullptr;
    int m_tail_size = 0;
    KtUStreamBlock* m_read_extra = nullptr;
};

#endif // KTUTIL_KTUSTREAMBLOCKSTORE_H

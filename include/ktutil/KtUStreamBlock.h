//===- KtUStreamBlock.h - One block of a block-list memory sink ------------===//
//
// A KtUStreamBlock holds 4,064 data bytes, 8-aligned, and the link to the
// next block; a list of them is the storage of KtUStreamBlockBuffer and
// KtUStreamBlockStore. Destroying a block destroys its whole tail chain.
//
//   KtUStreamBlock* head = new KtUStreamBlock;
//   head->SetNext(new KtUStreamBlock);     // replaces (and frees) any old tail
//   memcpy(head->EditData(), bytes, KtUStreamBlock::kDataSize);
//   delete head;                           // both blocks
//
// Thread safety: a plain value.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMBLOCK_H
#define KTUTIL_KTUSTREAMBLOCK_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

#include <cstdint>

/// A link of a list of fixed-size, 8-aligned data blocks.
class KTU_API KtUStreamBlock {
public:
    static constexpr int kDataSize = 4064;

    KtUStreamBlock() = default;
    KtUStreamBlock(const KtUStreamBlock&) = delete;
    KtUStreamBlock& operator=(const KtUStreamBlock&) = delete;
    ~KtUStreamBlock() { SetNext(nullptr); }

    KtUStreamBlock* GetNext() const { return m_next; }
    /// Destroys the chain linked before, then links next.
    void SetNext(KtUStreamBlock* next);
    /// Gives up the tail chain without destroying it.
    KtUStreamBlock* DetachNext() {
        KtUStreamBlock* next = m_next;
        m_next = nullptr;
        return next;
    }
    const unsigned char* GetData() const { return m_data; }
    unsigned char* EditData() { return m_data; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUStreamBlock* m_next = nullptr;
    unsigned char* m_data = reinterpret_cast<unsigned char*>(
        (reinterpret_cast<uintptr_t>(m_storage) + 7) & ~uintptr_t(7));
    unsigned char m_storage[kDataSize + 8];
};

#endif // KTUTIL_KTUSTREAMBLOCK_H

//===- KtUStreamBlockSink.h - A sink that buffers one block at a time -----===//
//
// KtUStreamBlockSink keeps one block of memory between the stream and a
// destination that wants whole blocks: a derived class supplies WriteBlock,
// called each time the block fills (and with the rest at WriteEnd), and
// ReadBlock, called each time the block has been read through.
//
//   class Counter : public KtUStreamBlockSink {
//   public:
//       Counter() : KtUStreamBlockSink(4096, 0) {}
//       long bytes = 0;
//   protected:
//       int WriteBlock(const unsigned char*, int size) override { bytes += size; return 1; }
//       int ReadBlock(unsigned char*, int* size) override { *size = 0; return 1; }
//   };
//
// A strict sink pads its last block with zero bytes to the full block size.
// The block is allocated once per WriteBegin/ReadBegin cycle, freed by
// WriteEnd and kept over ReadEnd. Copying copies the configuration, never the
// block.
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMBLOCKSINK_H
#define KTUTIL_KTUSTREAMBLOCKSINK_H

#include <ktutil/KtUStreamSink.h>

/// A sink that hands whole blocks to WriteBlock and refills from ReadBlock.
class KTU_API KtUStreamBlockSink : public KtUStreamSink {
public:
    KtUStreamBlockSink(int block_size, int strict);
    KtUStreamBlockSink(const KtUStreamBlockSink& other);
    KtUStreamBlockSink& operator=(const KtUStreamBlockSink& other);
    ~KtUStreamBlockSink() override;

    int WriteBegin(const KtUWriteStream* stream) override;
    int WriteLock(unsigned char** region, int* size) override;
    int WriteProcess(int count) override;
    int WriteEnd() override;
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadLock(const unsigned char** region, int* size) override;
    int ReadProcess(int count) override;
    int ReadEnd() override;

    int GetBlockSize() const { return m_block_size; }
    int IsStrict() const { return m_strict; }

protected:
    /// Passes size bytes of data to the destination.
    virtual int WriteBlock(const unsigned char* data, int size) = 0;
    /// Fills up to the block size bytes at data; *size = bytes delivered (0: end).
    virtual int ReadBlock(unsigned char* data, int* size) = 0;
    /// The block and, in *size, the bytes filled so far; rewinds the cursor.
    /// Null (and *size 0) when nothing is filled.
    unsigned char* FlushProcessedBlock(int* size);
    /// Frees the block, if any (for destructors of derived classes).
    void FreeBlock();

private:
    int m_block_size;
    int m_strict;
    unsigned char* m_block = nullptr;
    unsigned char* m_cursor = nullptr;
    int m_read_size = 0;
};

#endif // KTUTIL_KTUSTREAMBLOCKSINK_H

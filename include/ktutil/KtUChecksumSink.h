//===- KtUChecksumSink.h - A write-only sink that checksums its bytes -----===//
//
// KtUChecksumSink takes everything a stream writes and keeps only its
// Adler-32 checksum, so a stream's contents can be checksummed without being
// stored:
//
//   KtUChecksumSink sink;
//   KtUWriteStream out(&sink);
//   out.Begin(1, 0); ... out.End();
//   unsigned value = sink.GetChecksum();   // Adler-32 of every byte written
//
// The checksum starts again at each WriteBegin and is stored at WriteEnd;
// GetChecksum is 0 until the first WriteEnd. The sink cannot be read: its
// ReadBegin fails.
//
// Thread safety: as every sink, one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUCHECKSUMSINK_H
#define KTUTIL_KTUCHECKSUMSINK_H

#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUStreamBlockSink.h>

/// A sink that computes the Adler-32 checksum of everything written into it.
class KTU_API KtUChecksumSink : public KtUStreamBlockSink {
public:
    KtUChecksumSink() : KtUStreamBlockSink(4096, 0) {}
    ~KtUChecksumSink() override;

    /// Starts the checksum again, then allocates the block.
    int WriteBegin(const KtUWriteStream* stream) override;
    /// Adds the bytes written so far to the checksum.
    int WriteFlush() override;
    /// Adds the rest and stores the final checksum.
    int WriteEnd() override;
    /// These fail: there is nothing to read.
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadEnd() override;

    /// The checksum of the bytes between the last WriteBegin and WriteEnd.
    unsigned GetChecksum() const { return m_final; }

protected:
    int WriteBlock(const unsigned char* data, int size) override;
    int ReadBlock(unsigned char* data, int* size) override;

private:
    KtUChecksum m_checksum;
    unsigned m_final = 0;
};

#endif // KTUTIL_KTUCHECKSUMSINK_H

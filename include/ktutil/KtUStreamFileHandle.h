//===- KtUStreamFileHandle.h - A block sink on an open C stream ------------===//
//
// KtUStreamFileHandle writes and reads 64 KiB blocks through a FILE* that
// the caller opened and will close:
//
//   FILE* f = KtUSysFile::fopenW(u"out.bin", u"wb");
//   KtUStreamFileHandle sink(f);
//   KtUWriteStream out(&sink);
//   out.Begin(1, 0); ... out.End();
//   fclose(f);
//
// Short writes and failed flushes are posted at eWARNING (component
// "KtUStreamSink"); a short read is simply a smaller block.
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMFILEHANDLE_H
#define KTUTIL_KTUSTREAMFILEHANDLE_H

#include <ktutil/KtUStreamBlockSink.h>

#include <cstdio>

/// A block sink on a C stream it does not own.
class KTU_API KtUStreamFileHandle : public KtUStreamBlockSink {
public:
    static constexpr int kBlockSize = 0x10000;

    explicit KtUStreamFileHandle(FILE* handle)
        : KtUStreamBlockSink(kBlockSize, 0), m_handle(handle) {}

    /// Writes the filled part of the block, then fflush.
    int WriteFlush() override;

    FILE* GetHandle() const { return m_handle; }
    void SetHandle(FILE* handle) { m_handle = handle; }

protected:
    int WriteBlock(const unsigned char* data, int size) override;
    int ReadBlock(unsigned char* data, int* size) override;

private:
    FILE* m_handle;
};

#endif // KTUTIL_KTUSTREAMFILEHANDLE_H

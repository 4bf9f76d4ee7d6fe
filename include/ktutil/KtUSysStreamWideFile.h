//===- KtUSysStreamWideFile.h - A block sink on the system's file calls ---===//
//
// KtUSysStreamWideFile writes 4 KiB blocks straight to a file descriptor for
// binary streams (the file is created or truncated, and read front to back)
// and through a C stream for text streams:
//
//   KtUSysStreamWideFile file(u"cache/part.bin");
//   KtUWriteStream out(&file);
//   out.Begin(1, 0); ... out.End();        // closed; WriteFlush syncs to disk
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSSTREAMWIDEFILE_H
#define KTUTIL_KTUSYSSTREAMWIDEFILE_H

#include <ktutil/KtUStreamBlockSink.h>
#include <ktutil/KtUWideString.h>

#include <cstdio>

/// A block sink on a named file through the operating system's file calls.
class KTU_API KtUSysStreamWideFile : public KtUStreamBlockSink {
public:
    static constexpr int kBlockSize = 4096;

    explicit KtUSysStreamWideFile(const KtUWChar* name);
    KtUSysStreamWideFile(const KtUSysStreamWideFile& other);
    KtUSysStreamWideFile& operator=(const KtUSysStreamWideFile& other);
    ~KtUSysStreamWideFile() override;

    int WriteBegin(const KtUWriteStream* stream) override;
    /// Writes the filled part of the block and syncs it to the storage device.
    int WriteFlush() override;
    int WriteEnd() override;
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadEnd() override;

    const KtUWideString& GetFilename() const { return m_name; }
    void SetFilename(const KtUWChar* name) { m_name.SetString(name); }

protected:
    int WriteBlock(const unsigned char* data, int size) override;
    int ReadBlock(unsigned char* data, int* size) override;

private:
    int Open(bool write, bool text);
    int Close();

    KtUWideString m_name;
    int m_fd = -1;
    FILE* m_file = nullptr;
};

#endif // KTUTIL_KTUSYSSTREAMWIDEFILE_H

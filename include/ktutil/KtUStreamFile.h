//===- KtUStreamFile.h - A block sink on a named file it opens ------------===//
//
// KtUStreamFile opens its file when a stream begins and closes it when the
// stream ends, in text mode for text streams and binary mode otherwise:
//
//   KtUStreamFile file(u"model.ktu");
//   KtUWriteStream out(&file);
//   out.Begin(1, 0); out.WriteInt32(1); out.End();   // file closed
//   KtUReadStream in(&file);
//   in.Begin(1, 0); ...
//
// The open mode comes from the stream's ASCII flag when reading begins,
// before the header is read: a reader not preset to ASCII opens a text file
// in binary mode, which is harmless (the text reader skips carriage returns).
// On Linux both modes write bare line feeds.
//
// Thread safety: one stream (and thread) at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTREAMFILE_H
#define KTUTIL_KTUSTREAMFILE_H

#include <ktutil/KtUStreamFileHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

/// A block sink on a named file, opened at Begin and closed at End.
class KTU_API KtUStreamFile : public KtUStreamFileHandle {
public:
    explicit KtUStreamFile(const KtUWChar* name);
    KtUStreamFile(const KtUStreamFile& other);
    KtUStreamFile& operator=(const KtUStreamFile& other);
    ~KtUStreamFile() override;

    int WriteBegin(const KtUWriteStream* stream) override;
    int WriteEnd() override;
    int ReadBegin(const KtUReadStream* stream) override;
    int ReadEnd() override;

    const KtUWideStringBuffer& GetFilename() const { return m_name; }
    void SetFilename(const KtUWChar* name) { m_name.SetString(name); }

private:
    int Close();

    KtUWideStringBuffer m_name;
};

#endif // KTUTIL_KTUSTREAMFILE_H

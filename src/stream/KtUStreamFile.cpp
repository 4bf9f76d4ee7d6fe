//===- KtUStreamFile.cpp - Block sinks on C streams and named files -------===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamFile.h>
#include <ktutil/KtUStreamFileHandle.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUWriteStream.h>

#include <cerrno>

static KtUComponent* SinkComponent() {
    return KtUStreamSink::GetComponent();
}

int KtUStreamFileHandle::WriteBlock(const unsigned char* data, int size) {
    const unsigned int written = KtUSysFile::fwrite(data, static_cast<unsigned>(size), m_handle);
    if (written != static_cast<unsigned>(size)) {
        const int error = errno;
        KtUError::Post(KtUSysError::eWARNING, SinkComponent(),
                       "WriteBlock: fwrite(%d) returned %d, ferror %d, last error %d", size,
                       static_cast<int>(written), m_handle ? ferror(m_handle) : 0, error);
        return 0;
    }
    return 1;
}

int KtUStreamFileHandle::WriteFlush() {
    int size = 0;
    if (unsigned char* block = FlushProcessedBlock(&size)) {
        const unsigned int written =
            KtUSysFile::fwrite(block, static_cast<unsigned>(size), m_handle);
        if (written != static_cast<unsigned>(size)) {
            const int error = errno;
            KtUError::Post(KtUSysError::eWARNING, SinkComponent(),
                           "WriteFlush: fwrite(%d) returned %d, ferror %d, last error %d", size,
                           static_cast<int>(written), m_handle ? ferror(m_handle) : 0, error);
            return 0;
        }
    }
    if (!m_handle || fflush(m_handle) != 0) {
        KtUError::Post(KtUSysError::eWARNING, SinkComponent(), "WriteFlush: fflush failed");
        return 0;
    }
    return 1;
}

int KtUStreamFileHandle::ReadBlock(unsigned char* data, int* size) {
    *size = m_handle ? static_cast<int>(fread(data, 1, kBlockSize, m_handle)) : 0;
    return 1;
}

KtUStreamFile::KtUStreamFile(const KtUWChar* name) : KtUStreamFileHandle(nullptr), m_name(name) {}

KtUStreamFile::KtUStreamFile(const KtUStreamFile& other)
    : KtUStreamFileHandle(nullptr), m_name(other.m_name) {}

KtUStreamFile& KtUStreamFile::operator=(const KtUStreamFile& other) {
    if (this != &other) {
        Close();
        KtUStreamFileHandle::operator=(other);
        SetHandle(nullptr);
        m_name = other.m_name;
    }
    return *this;
}

KtUStreamFile::~KtUStreamFile() {
    Close();
}

int KtUStreamFile::Close() {
    FILE* handle = GetHandle();
    SetHandle(nullptr);
    return handle && fclose(handle) == 0;
}

int KtUStreamFile::WriteBegin(const KtUWriteStream* stream) {
    Close();
    const bool text = stream && stream->IsAscii();
    FILE* handle = KtUSysFile::fopenW(m_name.GetString(), text ? u"w" : u"wb");
    if (!handle) return 0;
    SetHandle(handle);
    return KtUStreamFileHandle::WriteBegin(stream);
}

int KtUStreamFile::WriteEnd() {
    const int result = KtUStreamFileHandle::WriteEnd();
    if (!GetHandle()) return 0;
    return Close() ? result : 0;
}

int KtUStreamFile::ReadBegin(const KtUReadStream* stream) {
    Close();
    const bool text = stream && stream->IsAscii();
    FILE* handle = KtUSysFile::fopenW(m_name.GetString(), text ? u"r" : u"rb");
    if (!handle) return 0;
    SetHandle(handle);
    return KtUStreamFileHandle::ReadBegin(stream);
}

int KtUStreamFile::ReadEnd() {
    KtUStreamFileHandle::ReadEnd();
    return Close();
}

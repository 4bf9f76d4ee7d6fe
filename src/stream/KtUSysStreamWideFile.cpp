//===- KtUSysStreamWideFile.cpp - Block sink on the system's file calls ---===//
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUSysStreamWideFile.h>
#include <ktutil/KtUWriteStream.h>

#include "platform/file.h"
#include "system/file_paths.h"

#include <string>

KtUSysStreamWideFile::KtUSysStreamWideFile(const KtUWChar* name)
    : KtUStreamBlockSink(kBlockSize, 0), m_name(name) {}

KtUSysStreamWideFile::KtUSysStreamWideFile(const KtUSysStreamWideFile& other)
    : KtUStreamBlockSink(other), m_name(other.m_name) {}

KtUSysStreamWideFile& KtUSysStreamWideFile::operator=(const KtUSysStreamWideFile& other) {
    if (this != &other) {
        Close();
        KtUStreamBlockSink::operator=(other);
        m_name = other.m_name;
    }
    return *this;
}

KtUSysStreamWideFile::~KtUSysStreamWideFile() {
    Close();
}

int KtUSysStreamWideFile::Open(bool write, bool text) {
    Close();
    if (!m_name.GetString() || !*m_name.GetString()) return 0;
    if (text) {
        m_file = KtUSysFile::fopenW(m_name.GetString(), write ? u"w" : u"r");
        return m_file != nullptr;
    }
    std::string path;
    if (!ktu::system::FsPath(m_name.GetString(), &path)) return 0;
    m_fd =
        write ? ktu::sys::CreateForWriting(path.c_str()) : ktu::sys::OpenForReading(path.c_str());
    if (m_fd == ktu::sys::kNoFile) return 0;
    ktu::sys::AdviseSequential(m_fd);
    return 1;
}

// 1 when something was open and closed cleanly.
int KtUSysStreamWideFile::Close() {
    int ok = 0;
    if (m_file)
        ok = fclose(m_file) == 0;
    else if (m_fd != ktu::sys::kNoFile)
        ok = ktu::sys::CloseFile(m_fd);
    m_file = nullptr;
    m_fd = ktu::sys::kNoFile;
    return ok;
}

int KtUSysStreamWideFile::WriteBegin(const KtUWriteStream* stream) {
    if (!Open(true, stream && stream->IsAscii())) return 0;
    return KtUStreamBlockSink::WriteBegin(stream);
}

int KtUSysStreamWideFile::ReadBegin(const KtUReadStream* stream) {
    if (!Open(false, stream && stream->IsAscii())) return 0;
    return KtUStreamBlockSink::ReadBegin(stream);
}

int KtUSysStreamWideFile::WriteBlock(const unsigned char* data, int size) {
    if (m_file)
        return KtUSysFile::fwrite(data, static_cast<unsigned>(size), m_file) ==
               static_cast<unsigned>(size);
    if (m_fd == ktu::sys::kNoFile) return 0;
    return ktu::sys::WriteFile(m_fd, data, static_cast<size_t>(size)) == size;
}

int KtUSysStreamWideFile::ReadBlock(unsigned char* data, int* size) {
    *size = 0;
    if (m_file) {
        *size = static_cast<int>(fread(data, 1, kBlockSize, m_file));
        return 1;
    }
    if (m_fd == ktu::sys::kNoFile) return 0;
    long n = ktu::sys::ReadFile(m_fd, data, kBlockSize);
    if (n < 0) return 0;
    *size = static_cast<int>(n);
    return 1;
}

int KtUSysStreamWideFile::WriteFlush() {
    int size = 0;
    if (unsigned char* block = FlushProcessedBlock(&size)) {
        if (!WriteBlock(block, size)) return 0;
    }
    if (m_file) return fflush(m_file) == 0;
    return m_fd != ktu::sys::kNoFile && ktu::sys::SyncFile(m_fd);
}

int KtUSysStreamWideFile::WriteEnd() {
    if (!m_file && m_fd == ktu::sys::kNoFile) return 0;
    const int result = KtUStreamBlockSink::WriteEnd();
    return Close() ? result : 0;
}

int KtUSysStreamWideFile::ReadEnd() {
    KtUStreamBlockSink::ReadEnd();
    return Close();
}

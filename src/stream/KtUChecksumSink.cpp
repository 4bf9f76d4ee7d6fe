//===- KtUChecksumSink.cpp - A write-only sink that checksums its bytes ---===//
#include <ktutil/KtUChecksumSink.h>

KtUChecksumSink::~KtUChecksumSink() = default;

int KtUChecksumSink::WriteBegin(const KtUWriteStream* stream) {
    m_checksum.Begin();
    return KtUStreamBlockSink::WriteBegin(stream);
}

int KtUChecksumSink::WriteBlock(const unsigned char* data, int size) {
    if (size > 0) m_checksum.AddNat8Array(data, static_cast<unsigned>(size));
    return 1;
}

int KtUChecksumSink::WriteFlush() {
    int size = 0;
    if (unsigned char* data = FlushProcessedBlock(&size)) WriteBlock(data, size);
    return 1;
}

int KtUChecksumSink::WriteEnd() {
    int result = KtUStreamBlockSink::WriteEnd();
    if (result) m_final = m_checksum.End();
    return result;
}

int KtUChecksumSink::ReadBegin(const KtUReadStream*) {
    return 0;
}

int KtUChecksumSink::ReadBlock(unsigned char*, int*) {
    return 0;
}

int KtUChecksumSink::ReadEnd() {
    return 0;
}

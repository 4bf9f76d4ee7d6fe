//===- KtUStreamBlockSink.cpp - Block-buffered sink -----------------------===//
#include <ktutil/KtUStreamBlockSink.h>

#include <cstring>

KtUStreamBlockSink::KtUStreamBlockSink(int block_size, int strict)
    : m_block_size(block_size), m_strict(strict) {}

KtUStreamBlockSink::KtUStreamBlockSink(const KtUStreamBlockSink& other)
    : KtUStreamSink(other), m_block_size(other.m_block_size), m_strict(other.m_strict) {}

KtUStreamBlockSink& KtUStreamBlockSink::operator=(const KtUStreamBlockSink& other) {
    if (this != &other) {
        FreeBlock();
        m_block_size = other.m_block_size;
        m_strict = other.m_strict;
    }
    return *this;
}

KtUStreamBlockSink::~KtUStreamBlockSink() {
    FreeBlock();
}

void KtUStreamBlockSink::FreeBlock() {
    if (m_block) DeallocBlock(m_block, m_block_size);
    m_block = m_cursor = nullptr;
    m_read_size = 0;
}

int KtUStreamBlockSink::WriteBegin(const KtUWriteStream*) {
    if (!m_block) {
        m_block = AllocBlock(m_block_size);
        if (!m_block) return 0;
    }
    m_cursor = m_block;
    return 1;
}

int KtUStreamBlockSink::WriteLock(unsigned char** region, int* size) {
    if (!m_block || !m_cursor) return 0;
    *region = m_cursor;
    *size = static_cast<int>(m_block + m_block_size - m_cursor);
    return 1;
}

int KtUStreamBlockSink::WriteProcess(int count) {
    if (!m_block || !m_cursor || count < 0 || count > m_block + m_block_size - m_cursor) return 0;
    m_cursor += count;
    if (m_cursor == m_block + m_block_size) {
        // A failed write leaves the cursor at the end: the next lock offers no room.
        if (!WriteBlock(m_block, m_block_size)) return 0;
        m_cursor = m_block;
    }
    return 1;
}

int KtUStreamBlockSink::WriteEnd() {
    if (m_block && m_cursor && m_cursor != m_block) {
        int filled = static_cast<int>(m_cursor - m_block);
        if (m_strict && filled < m_block_size) {
            std::memset(m_cursor, 0, static_cast<size_t>(m_block_size - filled));
            filled = m_block_size;
        }
        m_cursor = m_block;
        if (!WriteBlock(m_block, filled)) return 0;
    }
    int result = DeallocBlock(m_block, m_block_size);
    m_block = m_cursor = nullptr;
    return result;
}

unsigned char* KtUStreamBlockSink::FlushProcessedBlock(int* size) {
    if (!m_block || !m_cursor || m_cursor == m_block) {
        *size = 0;
        return nullptr;
    }
    *size = static_cast<int>(m_cursor - m_block);
    m_cursor = m_block;
    return m_block;
}

int KtUStreamBlockSink::ReadBegin(const KtUReadStream*) {
    if (!m_block) {
        m_block = AllocBlock(m_block_size);
        if (!m_block) return 0;
    }
    m_cursor = nullptr;
    m_read_size = 0;
    return 1;
}

int KtUStreamBlockSink::ReadLock(const unsigned char** region, int* size) {
    if (!m_block) return 0;
    if (!m_cursor) {
        int got = 0;
        if (!ReadBlock(m_block, &got)) return 0;
        if (got < 0 || got > m_block_size) return 0;
        m_read_size = got;
        if (got == 0) {
            *region = nullptr;
            *size = 0;
            return 1;
        }
        m_cursor = m_block;
    }
    *region = m_cursor;
    *size = m_read_size - static_cast<int>(m_cursor - m_block);
    return 1;
}

int KtUStreamBlockSink::ReadProcess(int count) {
    if (count == 0) return 1;
    if (!m_block || !m_cursor || count < 0) return 0;
    int left = m_read_size - static_cast<int>(m_cursor - m_block);
    if (count > left) return 0;
    m_cursor += count;
    if (count == left) m_cursor = nullptr;
    return 1;
}

int KtUStreamBlockSink::ReadEnd() {
    return 1;
}

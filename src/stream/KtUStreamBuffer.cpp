//===- KtUStreamBuffer.cpp - Contiguous memory sink -----------------------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStreamBuffer.h>

#include <cstdint>
#include <cstring>

namespace {
constexpr int kInitialSize = 65536;

unsigned char* AlignUp(unsigned char* p) {
    return reinterpret_cast<unsigned char*>((reinterpret_cast<uintptr_t>(p) + 7) & ~uintptr_t(7));
}
unsigned char* AlignDown(unsigned char* p) {
    return reinterpret_cast<unsigned char*>(reinterpret_cast<uintptr_t>(p) & ~uintptr_t(7));
}
} // namespace

KtUStreamBuffer::~KtUStreamBuffer() {
    Release();
}

void KtUStreamBuffer::Release() {
    if (m_managed && m_start) KtUMemory::Free(m_start);
    m_start = m_end = m_cursor = nullptr;
    m_managed = 0;
}

unsigned char* KtUStreamBuffer::GetAlignedBuffer() const {
    return m_start ? AlignUp(m_start) : nullptr;
}

int KtUStreamBuffer::SetBuffer(unsigned char* data, int size, Hint hint) {
    Release();
    if (size < 0) size = 0;
    const bool aligned = (reinterpret_cast<uintptr_t>(data) & 7) == 0;
    const bool copy = hint == eCOPY || (hint == eCOPY_IF_UNALIGNED && !aligned);
    if (!copy) {
        m_start = m_cursor = data;
        m_end = data ? data + size : nullptr;
        if (hint == eIN_PLACE && data) m_cursor = AlignUp(data);
        return 1;
    }
    auto* area = static_cast<unsigned char*>(KtUMemory::TryMalloc(static_cast<unsigned>(size) + 7));
    if (!area) return 0;
    unsigned char* at = AlignUp(area);
    if (size > 0) std::memcpy(at, data, static_cast<size_t>(size));
    m_start = m_cursor = area;
    m_end = at + size;
    m_managed = 1;
    return 1;
}

int KtUStreamBuffer::WriteBegin(const KtUWriteStream*) {
    if (!m_start) {
        auto* area = static_cast<unsigned char*>(KtUMemory::TryMalloc(kInitialSize));
        if (!area) return 0;
        m_start = area;
        m_end = area + kInitialSize;
        m_managed = 1;
    }
    m_cursor = AlignUp(m_start);
    m_end = AlignDown(m_end);
    if (m_cursor > m_end) m_cursor = m_end;
    return 1;
}

int KtUStreamBuffer::WriteLock(unsigned char** region, int* size) {
    if (!m_start) return 0;
    if (m_cursor >= m_end) {
        if (!m_managed) return 0;
        const size_t old_size = static_cast<size_t>(m_end - m_start);
        const size_t used = static_cast<size_t>(m_cursor - AlignUp(m_start));
        const uintptr_t old_phase = reinterpret_cast<uintptr_t>(m_start) & 7;
        size_t new_size = old_size * 2;
        void* grown = new_size <= 0x7fffffff
                          ? KtUMemory::TryRealloc(m_start, static_cast<unsigned>(new_size))
                          : nullptr;
        if (!grown) {
            new_size = old_size + kInitialSize;
            if (new_size > 0x7fffffff) return 0;
            grown = KtUMemory::TryRealloc(m_start, static_cast<unsigned>(new_size));
            if (!grown) return 0;
        }
        auto* area = static_cast<unsigned char*>(grown);
        // realloc keeps the bytes at the same offset from the start; when the
        // new start has another phase modulo 8 they must move to the aligned start.
        if ((reinterpret_cast<uintptr_t>(area) & 7) != old_phase)
            std::memmove(AlignUp(area), area + ((8 - old_phase) & 7), used);
        m_start = area;
        m_cursor = AlignUp(area) + used;
        m_end = AlignDown(area + new_size);
    }
    *region = m_cursor;
    *size = static_cast<int>(m_end - m_cursor);
    return 1;
}

int KtUStreamBuffer::WriteProcess(int count) {
    if (count < 0 || !m_cursor || count > m_end - m_cursor) return 0;
    m_cursor += count;
    return 1;
}

int KtUStreamBuffer::WriteEnd() {
    if (m_managed && m_start && m_cursor < m_end) {
        if (m_cursor == AlignUp(m_start) || m_cursor == m_start) {
            Release();
        } else {
            m_end = m_cursor;
        }
    }
    return 1;
}

int KtUStreamBuffer::ReadBegin(const KtUReadStream*) {
    m_cursor = GetAlignedBuffer();
    if (m_cursor && m_cursor > m_end) m_cursor = m_end;
    return 1;
}

int KtUStreamBuffer::ReadLock(const unsigned char** region, int* size) {
    if (!m_cursor || m_cursor >= m_end) {
        *region = nullptr;
        *size = 0;
        return 1;
    }
    *region = m_cursor;
    *size = static_cast<int>(m_end - m_cursor);
    return 1;
}

int KtUStreamBuffer::ReadProcess(int count) {
    if (count == 0) return 1;
    if (count < 0 || !m_cursor || count > m_end - m_cursor) return 0;
    m_cursor += count;
    return 1;
}

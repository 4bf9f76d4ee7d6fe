//===- KtUStreamBlockBuffer.cpp - Block-list memory sink and block store --===//
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamBlock.h>
#include <ktutil/KtUStreamBlockBuffer.h>
#include <ktutil/KtUStreamBlockStore.h>
#include <ktutil/KtUWriteStream.h>

#include <cstring>

namespace {
constexpr int kData = KtUStreamBlock::kDataSize;
}

void KtUStreamBlock::SetNext(KtUStreamBlock* next) {
    // Iteratively, so that long chains do not recurse once per block.
    KtUStreamBlock* old = m_next;
    m_next = next;
    while (old) {
        KtUStreamBlock* after = old->DetachNext();
        delete old;
        old = after;
    }
}

void KtUStreamBlockBuffer::Release() {
    if (m_managed) delete m_head;
    m_head = m_tail = m_read_block = nullptr;
    m_tail_used = m_read_offset = 0;
    m_managed = 0;
}

int KtUStreamBlockBuffer::GetBufferUsed() const {
    if (!m_head) return 0;
    int blocks = 0;
    for (KtUStreamBlock* b = m_head; b != m_tail; b = b->GetNext())
        ++blocks;
    return blocks * kData + m_tail_used;
}

bool KtUStreamBlockBuffer::EqualData(const KtUStreamBlockBuffer& other) const {
    if (GetBufferUsed() != other.GetBufferUsed()) return false;
    int left = GetBufferUsed();
    for (KtUStreamBlock *a = m_head, *b = other.m_head; left > 0;
         a = a->GetNext(), b = b->GetNext()) {
        const int n = left < kData ? left : kData;
        if (std::memcmp(a->GetData(), b->GetData(), static_cast<size_t>(n)) != 0) return false;
        left -= n;
    }
    return true;
}

KtUStreamBlock* KtUStreamBlockBuffer::ClaimBuffer(KtUStreamBlock** tail) {
    if (tail) *tail = m_tail;
    m_managed = 0;
    return m_head;
}

void KtUStreamBlockBuffer::SetReadBuffer(KtUStreamBlock* head, KtUStreamBlock* tail,
                                         int tail_used) {
    Release();
    m_head = head;
    m_tail = tail;
    m_tail_used = tail_used;
}

int KtUStreamBlockBuffer::WriteBegin(const KtUWriteStream*) {
    Release();
    m_tail_used = kData;
    return 1;
}

int KtUStreamBlockBuffer::WriteLock(unsigned char** region, int* size) {
    if (m_tail_used == kData) {
        auto* block = new KtUStreamBlock;
        if (!block) return 0;
        if (m_tail)
            m_tail->SetNext(block);
        else
            m_head = block;
        m_tail = block;
        m_managed = 1;
        m_tail_used = 0;
    }
    *region = m_tail->EditData() + m_tail_used;
    *size = kData - m_tail_used;
    return 1;
}

int KtUStreamBlockBuffer::WriteProcess(int count) {
    if (count < 0 || m_tail_used + count > kData) return 0;
    m_tail_used += count;
    return 1;
}

int KtUStreamBlockBuffer::WriteEnd() {
    if (!m_head) m_tail_used = 0;
    return 1;
}

int KtUStreamBlockBuffer::ReadBegin(const KtUReadStream*) {
    m_read_block = m_head;
    m_read_offset = 0;
    return 1;
}

int KtUStreamBlockBuffer::ReadLimit() const {
    return m_read_block == m_tail ? m_tail_used : kData;
}

int KtUStreamBlockBuffer::ReadLock(const unsigned char** region, int* size) {
    while (m_read_block && m_read_offset >= ReadLimit() && m_read_block != m_tail) {
        m_read_block = m_read_block->GetNext();
        m_read_offset = 0;
    }
    if (!m_read_block || m_read_offset >= ReadLimit()) {
        *region = nullptr;
        *size = 0;
        return 1;
    }
    *region = m_read_block->GetData() + m_read_offset;
    *size = ReadLimit() - m_read_offset;
    return 1;
}

int KtUStreamBlockBuffer::ReadProcess(int count) {
    if (count == 0) return 1;
    if (!m_read_block || count < 0 || m_read_offset + count > ReadLimit()) return 0;
    m_read_offset += count;
    if (m_read_offset == ReadLimit() && m_read_block != m_tail) {
        m_read_block = m_read_block->GetNext();
        m_read_offset = 0;
    }
    return 1;
}

// --- Block store -----------------------------------------------------------------

KtUStreamBlockStore::KtUStreamBlockStore(const KtUStreamBlockStore& other) {
    *this = other;
}

KtUStreamBlockStore& KtUStreamBlockStore::operator=(const KtUStreamBlockStore& other) {
    if (this == &other) return *this;
    Clear();
    KtUStreamBlock* last = nullptr;
    for (const KtUStreamBlock* b = other.m_blocks; b; b = b->GetNext()) {
        auto* copy = new KtUStreamBlock;
        if (!copy) break; // memory ran out: the copy holds the blocks made so far
        std::memcpy(copy->EditData(), b->GetData(), kData);
        if (last)
            last->SetNext(copy);
        else
            m_blocks = copy;
        last = copy;
    }
    if (other.m_tail) {
        m_tail = static_cast<unsigned char*>(
            KtUMemory::TryMalloc(static_cast<unsigned>(other.m_tail_size)));
        if (m_tail) {
            std::memcpy(m_tail, other.m_tail, static_cast<size_t>(other.m_tail_size));
            m_tail_size = other.m_tail_size;
        }
    }
    return *this;
}

void KtUStreamBlockStore::Clear() {
    delete m_blocks;
    m_blocks = nullptr;
    KtUMemory::Free(m_tail);
    m_tail = nullptr;
    m_tail_size = 0;
    m_read_extra = nullptr;
}

int KtUStreamBlockStore::GetNumBlocks() const {
    int n = 0;
    for (const KtUStreamBlock* b = m_blocks; b; b = b->GetNext())
        ++n;
    return n;
}

void KtUStreamBlockStore::ClaimBuffer(KtUStreamBlockBuffer* buffer) {
    Clear();
    KtUStreamBlock* tail = nullptr;
    const int tail_used = buffer->GetTailUsed();
    const bool owned = buffer->IsManagedBuffer();
    KtUStreamBlock* head = buffer->ClaimBuffer(&tail);
    buffer->SetReadBuffer(nullptr, nullptr, 0);
    if (!head) return;
    if (!owned) return; // a borrowed list stays its owner's
    m_blocks = head;
    if (tail && tail_used < kData) {
        if (tail_used > 0) {
            m_tail =
                static_cast<unsigned char*>(KtUMemory::TryMalloc(static_cast<unsigned>(tail_used)));
            if (!m_tail) return; // memory ran out: keep the whole list, tail block included
            std::memcpy(m_tail, tail->GetData(), static_cast<size_t>(tail_used));
            m_tail_size = tail_used;
        }
        if (head == tail) {
            m_blocks = nullptr;
        } else {
            KtUStreamBlock* before = head;
            while (before->GetNext() != tail)
                before = before->GetNext();
            before->DetachNext();
        }
        delete tail;
    }
}

void KtUStreamBlockStore::BeginReadBuffer(KtUStreamBlockBuffer* buffer) {
    KtUStreamBlock* last = m_blocks;
    while (last && last->GetNext())
        last = last->GetNext();
    if (m_tail) {
        m_read_extra = new KtUStreamBlock;
        if (!m_read_extra) { // memory ran out: nothing to read
            buffer->SetReadBuffer(nullptr, nullptr, 0);
            return;
        }
        std::memcpy(m_read_extra->EditData(), m_tail, static_cast<size_t>(m_tail_size));
        if (last) last->SetNext(m_read_extra);
        buffer->SetReadBuffer(m_blocks ? m_blocks : m_read_extra, m_read_extra, m_tail_size);
    } else {
        buffer->SetReadBuffer(m_blocks, last, last ? kData : 0);
    }
}

void KtUStreamBlockStore::EndReadBuffer(KtUStreamBlockBuffer* buffer) {
    if (m_read_extra) {
        KtUStreamBlock* last = m_blocks;
        while (last && last->GetNext() != m_read_extra)
            last = last->GetNext();
        if (last) last->DetachNext();
        delete m_read_extra;
        m_read_extra = nullptr;
    }
    buffer->SetReadBuffer(nullptr, nullptr, 0);
}

void KtUStreamBlockStore::WriteContents(KtUWriteStream* stream) const {
    stream->WriteInt32(GetNumBlocks());
    for (const KtUStreamBlock* b = m_blocks; b; b = b->GetNext())
        stream->WriteNat8Array(b->GetData(), kData);
    stream->WriteInt32(m_tail_size);
    if (m_tail_size > 0) stream->WriteNat8Array(m_tail, m_tail_size);
}

void KtUStreamBlockStore::ReadContents(KtUReadStream* stream) {
    Clear();
    const int count = stream->ReadInt32();
    KtUStreamBlock* last = nullptr;
    for (int i = 0; i < count && !stream->IsError(); ++i) {
        auto* block = new KtUStreamBlock;
        if (!block) {
            stream->SetError(KtUStream::eREAD_LOCK_FAILED); // memory ran out
            return;
        }
        stream->ReadNat8Array(block->EditData(), kData);
        if (last)
            last->SetNext(block);
        else
            m_blocks = block;
        last = block;
    }
    const int tail = stream->ReadInt32();
    if (tail < 0 || tail >= kData) {
        if (!stream->IsError()) stream->SetError(KtUStream::ePARSE_ERROR);
        return;
    }
    if (tail > 0) {
        m_tail = static_cast<unsigned char*>(KtUMemory::TryMalloc(static_cast<unsigned>(tail)));
        if (!m_tail) {
            stream->SetError(KtUStream::eREAD_LOCK_FAILED); // memory ran out
            return;
        }
        stream->ReadNat8Array(m_tail, tail);
        m_tail_size = tail;
    }
}

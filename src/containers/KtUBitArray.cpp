//===- KtUBitArray.cpp - Packed array of bits -----------------------------===//
#include <ktutil/KtUBitArray.h>
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUSysError.h>

#include "foundation/component.h"

#include <cstring>

static KtUComponent s_component;

namespace {

constexpr KtUMemory::Alignment kAlign = KtUMemory::eALIGN1;

unsigned int WordBytes(int words) {
    return static_cast<unsigned int>(words) * 4u;
}

// Mask of the bits from position (first & 31) upwards.
unsigned int MaskFrom(int first) {
    return ~0u << (first & 31);
}

// Mask of the bits up to and including position (last & 31).
unsigned int MaskTo(int last) {
    return ~0u >> (31 - (last & 31));
}

void Report(const KtUWChar* message) {
    KtUSysError::PostWideString(KtUSysError::ePRECONDITION, &s_component, message);
}

} // namespace

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUBitArray",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError, KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUBitArray, kComponent)

KtUComponent* KtUBitArray::GetComponent() {
    return &s_component;
}

KtUBitArray::KtUBitArray(int size) {
    SetSize(size);
}

KtUBitArray::KtUBitArray(const unsigned int* words, int size) {
    if (size > 0 && !words) {
        Report(u"KtUBitArray::KtUBitArray: null words");
        return;
    }
    SetSize(size);
    if (m_size) {
        std::memcpy(m_words, words, WordBytes(GetWordSize()));
        ClearTail();
    }
}

KtUBitArray::KtUBitArray(const KtUBitArray& other) : KtUBitArray(other.m_words, other.m_size) {}

KtUBitArray::~KtUBitArray() {
    KtUMemory::Dealloc(m_words, WordBytes(GetWordSize()), kAlign);
}

KtUBitArray& KtUBitArray::operator=(const KtUBitArray& other) {
    if (&other != this) {
        KtUBitArray copy(other);
        Swap(copy);
    }
    return *this;
}

void KtUBitArray::SetSize(int size) {
    if (size < 0) {
        Report(u"KtUBitArray::SetSize: negative size");
        return;
    }
    int old_words = GetWordSize();
    int new_words = GetWordSizeForSize(size);
    if (new_words != old_words) {
        void* block =
            KtUMemory::Resize(m_words, WordBytes(old_words), WordBytes(new_words), kAlign);
        if (!block && new_words) {
            KtUSysError::PostWideString(KtUSysError::eERROR, &s_component,
                                        u"KtUBitArray::SetSize: out of memory");
            return;
        }
        m_words = static_cast<unsigned int*>(block);
        if (new_words > old_words)
            std::memset(m_words + old_words, 0, WordBytes(new_words - old_words));
    }
    m_size = size;
    ClearTail();
}

void KtUBitArray::ClearTail() {
    if (m_size & 31) m_words[GetWordSize() - 1] &= MaskTo(m_size - 1);
}

bool KtUBitArray::CheckIndex(int index, const KtUWChar* message) const {
    if (index >= 0 && index < m_size) return true;
    Report(message);
    return false;
}

bool KtUBitArray::CheckRange(int first, int end, const KtUWChar* message) const {
    if (first >= 0 && first <= end && end <= m_size) return true;
    Report(message);
    return false;
}

bool KtUBitArray::GetBit(int index) const {
    return CheckIndex(index, u"KtUBitArray::GetBit: index out of range") && (*this)[index];
}

void KtUBitArray::SetBit(int index) {
    if (CheckIndex(index, u"KtUBitArray::SetBit: index out of range"))
        m_words[GetWordForIndex(index)] |= GetBitInWordForIndex(index);
}

void KtUBitArray::SetBit(int index, bool value) {
    if (!CheckIndex(index, u"KtUBitArray::SetBit: index out of range")) return;
    if (value)
        m_words[GetWordForIndex(index)] |= GetBitInWordForIndex(index);
    else
        m_words[GetWordForIndex(index)] &= ~GetBitInWordForIndex(index);
}

void KtUBitArray::ClearBit(int index) {
    if (CheckIndex(index, u"KtUBitArray::ClearBit: index out of range"))
        m_words[GetWordForIndex(index)] &= ~GetBitInWordForIndex(index);
}

void KtUBitArray::SetRange(int first, int end, bool value) {
    if (!CheckRange(first, end, u"KtUBitArray::SetRange: range out of range") || first == end)
        return;
    int fw = GetWordForIndex(first);
    int lw = GetWordForIndex(end - 1);
    for (int w = fw; w <= lw; ++w) {
        unsigned int mask = ~0u;
        if (w == fw) mask &= MaskFrom(first);
        if (w == lw) mask &= MaskTo(end - 1);
        if (value)
            m_words[w] |= mask;
        else
            m_words[w] &= ~mask;
    }
}

void KtUBitArray::SetAll(bool value) {
    if (!m_size) return;
    std::memset(m_words, value ? 0xFF : 0, WordBytes(GetWordSize()));
    ClearTail();
}

bool KtUBitArray::IsSet(int first, int end, bool value) const {
    if (!CheckRange(first, end, u"KtUBitArray::IsSet: range out of range")) return false;
    if (first == end) return true;
    int fw = GetWordForIndex(first);
    int lw = GetWordForIndex(end - 1);
    unsigned int want = value ? ~0u : 0u;
    for (int w = fw; w <= lw; ++w) {
        unsigned int mask = ~0u;
        if (w == fw) mask &= MaskFrom(first);
        if (w == lw) mask &= MaskTo(end - 1);
        if ((m_words[w] & mask) != (want & mask)) return false;
    }
    return true;
}

int KtUBitArray::GetNumSet() const {
    int count = 0;
    for (int w = 0, n = GetWordSize(); w < n; ++w)
        count += __builtin_popcount(m_words[w]);
    return count;
}

bool KtUBitArray::operator==(const KtUBitArray& other) const {
    return m_size == other.m_size &&
           (m_size == 0 || std::memcmp(m_words, other.m_words, WordBytes(GetWordSize())) == 0);
}

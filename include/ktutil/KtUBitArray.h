//===- KtUBitArray.h - Packed array of bits -------------------------------===//
//
// KtUBitArray is a size in bits and an array of 32-bit words from the memory
// manager: bit i lives in word i >> 5 under the mask 1 << (i & 31). Bits of
// the last word beyond the size are always 0, so whole-word comparisons and
// counts are exact.
//
//   KtUBitArray::Initialise();
//   KtUBitArray visible(100);           // 100 clear bits, 4 words
//   visible.SetRange(10, 40);           // bits 10..39
//   visible.IsSet(10, 40);              // true
//   visible.GetNumSet();                // 30
//   visible.SetSize(20);                // bits 20..39 are gone
//
// Ranges are half-open: [first, end) is bits first to end - 1; an empty range
// is all set and all clear. Bad arguments (an index outside [0, GetSize()), a
// range outside [0, GetSize()] or with end < first, a negative size) post
// ePRECONDITION from the KtUBitArray component and change nothing; GetBit and
// the range tests then return false. operator[] is not checked.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUBITARRAY_H
#define KTUTIL_KTUBITARRAY_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUComponent;

/// Packed bit array; also the component of its class. Not thread-safe: one
/// thread at a time per array (concurrent reads are fine).
class KTU_API KtUBitArray {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    static int GetWordForIndex(int index) { return index >> 5; }
    static unsigned int GetBitInWordForIndex(int index) { return 1u << (index & 31); }
    /// Words needed for size bits.
    static int GetWordSizeForSize(int size) { return size > 0 ? (size - 1) / 32 + 1 : 0; }

    KtUBitArray() = default;
    /// size clear bits.
    explicit KtUBitArray(int size);
    /// The first size bits of words.
    KtUBitArray(const unsigned int* words, int size);
    KtUBitArray(const KtUBitArray& other);
    KtUBitArray(KtUBitArray&& other) noexcept : m_size(other.m_size), m_words(other.m_words) {
        other.m_size = 0;
        other.m_words = nullptr;
    }
    ~KtUBitArray();
    KtUBitArray& operator=(const KtUBitArray& other);
    KtUBitArray& operator=(KtUBitArray&& other) noexcept {
        Swap(other);
        return *this;
    }

    int GetSize() const { return m_size; }
    bool IsEmpty() const { return m_size == 0; }
    int GetWordSize() const { return GetWordSizeForSize(m_size); }
    const unsigned int* GetBits() const { return m_words; }

    /// New bits are clear; shrinking drops the bits beyond the new size.
    void SetSize(int size);

    bool GetBit(int index) const;
    bool operator[](int index) const {
        return (m_words[GetWordForIndex(index)] & GetBitInWordForIndex(index)) != 0;
    }
    void SetBit(int index);
    void SetBit(int index, bool value);
    void ClearBit(int index);

    void SetRange(int first, int end) { SetRange(first, end, true); }
    void ClearRange(int first, int end) { SetRange(first, end, false); }
    void SetRange(int first, int end, bool value);
    void SetAll() { SetAll(true); }
    void SetAll(bool value);
    void ClearAll() { SetAll(false); }

    /// Whether every bit of [first, end) has the value.
    bool IsSet(int first, int end) const { return IsSet(first, end, true); }
    bool IsClear(int first, int end) const { return IsSet(first, end, false); }
    bool IsSet(int first, int end, bool value) const;
    bool IsAllSet() const { return IsSet(0, m_size, true); }
    bool IsAllClear() const { return IsSet(0, m_size, false); }
    int GetNumSet() const;

    void Swap(KtUBitArray& other) noexcept {
        int size = m_size;
        unsigned int* words = m_words;
        m_size = other.m_size;
        m_words = other.m_words;
        other.m_size = size;
        other.m_words = words;
    }

    /// Same size and equal bits.
    bool operator==(const KtUBitArray& other) const;
    bool operator!=(const KtUBitArray& other) const { return !(*this == other); }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    bool CheckIndex(int index, const KtUWChar* message) const;
    bool CheckRange(int first, int end, const KtUWChar* message) const;
    /// Clears the bits of the last word beyond the size.
    void ClearTail();

    int m_size = 0;
    unsigned int* m_words = nullptr;
};

#endif // KTUTIL_KTUBITARRAY_H

//===- KtUStringBuffer.h - Growable narrow string -------------------------===//
//
// KtUStringBuffer is a mutable UTF-8 text with a stored length and an
// allocation that is always one of the memory manager's best block sizes, so
// growth lands on blocks the manager serves without waste.
//
//   KtUStringBuffer line;
//   line.Format("%s: %d items\n", name, count);
//   line.Append("done");
//   line.Replace("a", "bb", 1);            // every occurrence
//   char* p = line.BeginEditBuffer();      // write directly, then
//   line.EndEditBuffer(-1);                // length up to the first NUL
//
// A default-constructed buffer is null (no block). Every operation keeps the
// text NUL-terminated and length < allocation size. A failed allocation
// leaves the buffer null.
//
// Thread safety: a buffer is a plain value; use one object from one thread at
// a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRINGBUFFER_H
#define KTUTIL_KTUSTRINGBUFFER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

#include <cstdarg>

namespace ktu::text {
struct BufferAccess;
}
class KtUString;
class KtUWideStringBuffer;

/// Mutable UTF-8 text on memory-manager blocks of best block sizes.
class KTU_API KtUStringBuffer {
public:
    KtUStringBuffer() = default;
    KtUStringBuffer(const char* text);
    KtUStringBuffer(const KtUString& text);
    KtUStringBuffer(const KtUStringBuffer& other);
    KtUStringBuffer(KtUStringBuffer&& other) noexcept { Swap(other); }
    ~KtUStringBuffer();

    KtUStringBuffer& operator=(const char* text);
    KtUStringBuffer& operator=(const KtUString& text);
    KtUStringBuffer& operator=(const KtUStringBuffer& other);
    KtUStringBuffer& operator=(KtUStringBuffer&& other) noexcept {
        Swap(other);
        return *this;
    }

    int GetLength() const { return m_length; }
    const char* GetString() const { return m_text; }
    /// Allocation in bytes (0 for a null buffer).
    int GetAllocationSize() const { return m_alloc; }
    char& operator[](int index) { return m_text[index]; }
    const char& operator[](int index) const { return m_text[index]; }
    /// Stores c at index; a NUL shortens the length to index.
    void SetAt(int index, const char& c);

    int Equal(const KtUStringBuffer& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator==(const KtUString& text) const;
    bool operator!=(const KtUString& text) const { return !(*this == text); }
    bool operator==(const KtUStringBuffer& other) const { return Equal(other) != 0; }
    bool operator!=(const KtUStringBuffer& other) const { return !Equal(other); }
    int Strcmp(const char* text) const;
    int Stricmp(const char* text) const;
    bool IsNull() const { return m_text == nullptr; }
    bool IsEmpty() const { return !m_text || !*m_text; }
    int IsValidAscii() const;
    int IsValidUTF8() const;

    void SetString(const char* text);
    void SetString(const char* text, int length);
    void SetString(const KtUString& text);
    void SetString(const KtUStringBuffer& other);
    void SetEmptyString();
    void Swap(KtUStringBuffer& other) noexcept;

    char* BeginEditBuffer() { return m_text; }
    /// Sets the length (clamped to the allocation; -1: up to the first NUL).
    void EndEditBuffer(int length);
    /// Room for length characters plus terminator, keeping the text.
    void Reserve(int length);

    void ExtractSubString(int start, int end, KtUStringBuffer* out) const;
    /// Replaces find by with (all: every non-overlapping occurrence); 0 when
    /// nothing was replaced.
    int Replace(const char* find, const char* with, int all);
    void ReplaceSubString(int start, int end, const char* text);

    void Append(const char* text);
    void Append(const char* text, int length);
    void Append(char c);
    void Append(const KtUString& text);
    void Append(const KtUStringBuffer& text);

    const char* Find(const char* needle, int start) const;
    const char* FindLastChar(char c) const;
    int HasPrefix(const char* prefix) const;
    int HasSuffix(const char* suffix) const;
    void LowerCase();
    void UpperCase();

    void TrimLeftMBCS();
    void TrimRightMBCS();
    void TrimMBCS();
    void TrimLeftUTF8();
    void TrimRightUTF8();
    void TrimUTF8();
    static int IsSpaceMBCS(char c);
    static int IsSpaceUTF8(char c);

    void Format(const char* format, ...) KTU_PRINTF(2, 3);
    void FormatV(const char* format, va_list args) KTU_PRINTF(2, 0);
    void FormatLocalizedFloat(double value, int decimals, int extend);
    void FormatCFloat(double value, int decimals, int width);

    int UTF8ToWideString(KtUWideStringBuffer* out) const;
    int MultiToWideString(KtUWideStringBuffer* out) const;
    int AsciiToWideString(KtUWideStringBuffer* out) const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend struct ktu::text::BufferAccess;
    char* m_text = nullptr;
    int m_length = 0;
    int m_alloc = 0;
};

#endif // KTUTIL_KTUSTRINGBUFFER_H

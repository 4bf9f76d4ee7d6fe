//===- KtUWideStringBuffer.h - Growable UTF-16 string ---------------------===//
//
// KtUWideStringBuffer is KtUStringBuffer's UTF-16 twin. Length and
// allocation count characters; the block is twice the allocation in bytes
// and always a best block size.
//
//   KtUWideStringBuffer text;
//   text.SetFromUTF8String("caf\xC3\xA9");
//   text.Format(u"%s has %d parts", name, n);   // %S takes a narrow string
//   text.TrimRight(u".;");
//
// Thread safety: a buffer is a plain value; use one object from one thread at
// a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDESTRINGBUFFER_H
#define KTUTIL_KTUWIDESTRINGBUFFER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

#include <cstdarg>

namespace ktu::text {
struct BufferAccess;
}
class KtUString;
class KtUStringBuffer;
class KtUWideString;

/// Mutable UTF-16 text on memory-manager blocks of best block sizes.
class KTU_API KtUWideStringBuffer {
public:
    KtUWideStringBuffer() = default;
    KtUWideStringBuffer(const KtUWChar* text);
    KtUWideStringBuffer(const KtUWideString& text);
    KtUWideStringBuffer(const KtUWideStringBuffer& other);
    KtUWideStringBuffer(KtUWideStringBuffer&& other) noexcept { Swap(other); }
    ~KtUWideStringBuffer();

    KtUWideStringBuffer& operator=(const KtUWChar* text);
    KtUWideStringBuffer& operator=(const KtUWideString& text);
    KtUWideStringBuffer& operator=(const KtUWideStringBuffer& other);
    KtUWideStringBuffer& operator=(KtUWideStringBuffer&& other) noexcept {
        Swap(other);
        return *this;
    }

    int GetLength() const { return m_length; }
    const KtUWChar* GetString() const { return m_text; }
    /// Allocation in characters (0 for a null buffer).
    int GetAllocationSize() const { return m_alloc; }
    KtUWChar& operator[](int index) { return m_text[index]; }
    const KtUWChar& operator[](int index) const { return m_text[index]; }
    void SetAt(int index, const KtUWChar& c);

    int Equal(const KtUWideStringBuffer& other) const;
    bool operator==(const KtUWChar* text) const;
    bool operator!=(const KtUWChar* text) const { return !(*this == text); }
    bool operator==(const KtUWideString& text) const;
    bool operator!=(const KtUWideString& text) const { return !(*this == text); }
    bool operator==(const KtUWideStringBuffer& o) const { return Equal(o) != 0; }
    bool operator!=(const KtUWideStringBuffer& o) const { return !Equal(o); }
    int Strcmp(const KtUWChar* text) const;
    int Stricmp(const KtUWChar* text) const;
    bool IsNull() const { return m_text == nullptr; }
    bool IsEmpty() const { return !m_text || !*m_text; }
    int IsValidAscii() const;

    void SetString(const KtUWChar* text);
    void SetString(const KtUWChar* text, int length);
    void SetString(const KtUWideString& text);
    void SetString(const KtUWideStringBuffer& other);
    void SetEmptyString();
    void Swap(KtUWideStringBuffer& other) noexcept;

    KtUWChar* BeginEditBuffer() { return m_text; }
    void EndEditBuffer(int length);
    void Reserve(int length);

    void ExtractSubString(int start, int end, KtUWideStringBuffer* out) const;
    int Replace(const KtUWChar* find, const KtUWChar* with, int all);
    void ReplaceSubString(int start, int end, const KtUWChar* text);

    void Append(const KtUWChar* text);
    void Append(const KtUWChar* text, int length);
    void Append(KtUWChar c);
    void Append(const KtUWideString& text);
    void Append(const KtUWideStringBuffer& text);

    const KtUWChar* Find(const KtUWChar* needle, int start) const;
    const KtUWChar* FindLastChar(KtUWChar c) const;
    int HasPrefix(const KtUWChar* prefix) const;
    int HasSuffix(const KtUWChar* suffix) const;
    void LowerCase();
    void UpperCase();

    void Trim();
    void TrimLeft();
    void TrimRight();
    /// Removes trailing characters that occur in set (nothing for null).
    void TrimRight(const KtUWChar* set);

    void Format(const KtUWChar* format, ...);
    void FormatV(const KtUWChar* format, va_list args);
    void FormatLocalizedFloat(double value, int decimals, int extend);
    void FormatCFloat(double value, int decimals, int width);

    void SetFromAsciiString(const char* text) { TrySetFromAsciiString(text); }
    int TrySetFromAsciiString(const char* text);
    int SetFromMultiString(const char* text);
    int SetFromUTF8String(const char* text);
    int SetFromUTF8String(const char* text, int length);
    int TryExtractAsciiString(KtUStringBuffer* out) const;
    void ExtractAsciiString(KtUStringBuffer* out) const { TryExtractAsciiString(out); }
    int ExtractMultiString(KtUStringBuffer* out) const;
    void ExtractUTF8String(KtUStringBuffer* out) const;

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend struct ktu::text::BufferAccess;
    KtUWChar* m_text = nullptr;
    int m_length = 0;
    int m_alloc = 0;
};

#endif // KTUTIL_KTUWIDESTRINGBUFFER_H

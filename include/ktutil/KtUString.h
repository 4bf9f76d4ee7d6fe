//===- KtUString.h - Immutable, singly owned narrow string ----------------===//
//
// KtUString owns one exact-size block holding UTF-8 text (or nothing: the
// null string). It is one pointer wide; the length is not stored.
//
//   KtUString name("model.step");
//   if (name.HasSuffix(".step")) ...
//   KtUWideStringBuffer wide;
//   name.UTF8ToWideString(&wide);          // 1 on success
//   unsigned h = KtUString::Hash("ab");    // 583
//
// Null and empty differ: a default-constructed string is null (IsNull and
// IsEmpty both true); SetEmptyString makes it empty but not null. Equal treats
// two nulls as equal and a null and an empty text as different; Strcmp sorts
// null before everything. Characters may be changed in place through
// operator[], but never to NUL (the block's size is recomputed from the text).
//
// Thread safety: a string is a plain value; use one object from one thread at
// a time. Initialise/Terminate follow the component pattern.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSTRING_H
#define KTUTIL_KTUSTRING_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUStringBuffer;
class KtUWideStringBuffer;

/// Immutable UTF-8 string owning an exact-size block from the memory manager.
class KTU_API KtUString {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    KtUString() = default;
    KtUString(const char* text);
    KtUString(const KtUString& other);
    KtUString(const KtUStringBuffer& buffer);
    KtUString(KtUString&& other) noexcept : m_text(other.m_text) { other.m_text = nullptr; }
    ~KtUString();

    KtUString& operator=(const char* text);
    KtUString& operator=(const KtUString& other);
    KtUString& operator=(const KtUStringBuffer& buffer);
    KtUString& operator=(KtUString&& other) noexcept {
        Swap(other);
        return *this;
    }

    void SetString(const char* text);
    void SetString(const char* text, int length);
    void SetString(const KtUString& other);
    void SetString(const KtUStringBuffer& buffer);
    void SetEmptyString();
    void Swap(KtUString& other) noexcept {
        char* t = m_text;
        m_text = other.m_text;
        other.m_text = t;
    }

    int GetLength() const;
    const char* GetString() const { return m_text; }
    char& operator[](int index) { return m_text[index]; }
    bool IsNull() const { return m_text == nullptr; }
    bool IsEmpty() const { return !m_text || !*m_text; }

    bool operator==(const KtUString& other) const { return Equal(m_text, other.m_text); }
    bool operator!=(const KtUString& other) const { return !Equal(m_text, other.m_text); }
    bool operator==(const char* text) const { return Equal(m_text, text); }
    bool operator!=(const char* text) const { return !Equal(m_text, text); }

    int Strcmp(const char* text) const { return Strcmp(m_text, text); }
    int Stricmp(const char* text) const { return Stricmp(m_text, text); }
    static int Strcmp(const KtUString& a, const char* b) { return Strcmp(a.m_text, b); }
    static int Stricmp(const KtUString& a, const char* b) { return Stricmp(a.m_text, b); }
    /// Byte order, -1/0/1; null sorts first, two empties are equal.
    static int Strcmp(const char* a, const char* b);
    /// Locale-aware, ignoring case, -1/0/1; nulls and empties as Strcmp.
    static int Stricmp(const char* a, const char* b);
    static int Equal(const char* a, const char* b);
    static int EqualPrefix(const char* a, const char* b, int n);

    const char* Find(const char* needle, int start) const;
    static const char* Find(const char* text, const char* needle);
    const char* FindLastChar(char c) const { return FindLastChar(m_text, c); }
    static const char* FindLastChar(const char* text, char c);
    int HasPrefix(const char* prefix) const { return HasPrefix(m_text, prefix); }
    int HasSuffix(const char* suffix) const { return HasSuffix(m_text, suffix); }
    static int HasPrefix(const char* text, const char* prefix);
    static int HasSuffix(const char* text, const char* suffix);
    int IsValidAscii() const { return IsValidAscii(m_text); }
    int IsValidUTF8() const { return IsValidUTF8(m_text); }
    static int IsValidAscii(const char* text);
    static int IsValidUTF8(const char* text);
    void LowerCase() { LowerCase(m_text); }
    void UpperCase() { UpperCase(m_text); }
    static void LowerCase(char* text);
    static void UpperCase(char* text);
    unsigned int Hash() const { return Hash(m_text); }
    /// h = h * 5 + c over the bytes taken as signed char; 0 for null or empty.
    static unsigned int Hash(const char* text);
    static int GetLength(const char* text);

    void ExtractSubString(int start, int end, KtUStringBuffer* out) const {
        ExtractSubString(m_text, start, end, out);
    }
    static void ExtractSubString(const char* text, int start, int end, KtUStringBuffer* out);

    int AsciiToWideString(KtUWideStringBuffer* out) const { return AsciiToWideString(m_text, out); }
    int UTF8ToWideString(KtUWideStringBuffer* out) const { return UTF8ToWideString(m_text, out); }
    int MultiToWideString(KtUWideStringBuffer* out) const { return MultiToWideString(m_text, out); }
    static int AsciiToWideString(const char* text, KtUWideStringBuffer* out);
    static int UTF8ToWideString(const char* text, KtUWideStringBuffer* out);
    /// At most length bytes (-1: up to the terminator).
    static int UTF8ToWideString(const char* text, int length, KtUWideStringBuffer* out);
    static int MultiToWideString(const char* text, KtUWideStringBuffer* out);

    static int ReadLocalizedFloat(const char* text, double* value);
    static int ReadLocalizedInt(const char* text, int* value);
    static int ReadCFloat(const char* text, double* value);

    /// Blocks of exactly length + 1 bytes, released with Dealloc.
    static char* AllocAndCopy(const char* text);
    static char* AllocAndCopy(const char* text, int length);
    static void Dealloc(char* text);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    char* m_text = nullptr;
};

#endif // KTUTIL_KTUSTRING_H

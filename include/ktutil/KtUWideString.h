//===- KtUWideString.h - Immutable, singly owned UTF-16 string ------------===//
//
// KtUWideString is KtUString's UTF-16 twin: one pointer to an exact-size
// block of (length + 1) units, or null. It adds the conversions from and to
// narrow text and the logical comparison (digit runs compare as numbers).
//
//   KtUWideString title;
//   title.SetFromUTF8String("R\xC3\xA9sum\xC3\xA9");   // 1 on success
//   KtUStringBuffer utf8;
//   title.ExtractUTF8String(&utf8);
//   KtUWideString::StrCmpLogical(u"file9", u"file10");  // < 0
//
// Null/empty rules, hashing (each unit unsigned) and thread safety are those
// of KtUString.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUWIDESTRING_H
#define KTUTIL_KTUWIDESTRING_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUString;
class KtUStringBuffer;
class KtUWideStringBuffer;

/// Immutable UTF-16 string owning an exact-size block from the memory manager.
class KTU_API KtUWideString {
public:
    KtUWideString() = default;
    KtUWideString(const KtUWChar* text);
    KtUWideString(const KtUWChar* text, int length);
    KtUWideString(const KtUWideString& other);
    KtUWideString(const KtUWideStringBuffer& buffer);
    KtUWideString(KtUWideString&& other) noexcept : m_text(other.m_text) { other.m_text = nullptr; }
    ~KtUWideString();

    KtUWideString& operator=(const KtUWChar* text);
    KtUWideString& operator=(const KtUWideString& other);
    KtUWideString& operator=(const KtUWideStringBuffer& buffer);
    KtUWideString& operator=(KtUWideString&& other) noexcept {
        Swap(other);
        return *this;
    }

    void SetString(const KtUWChar* text);
    void SetString(const KtUWChar* text, int length);
    void SetString(const KtUWideString& other);
    void SetString(const KtUWideStringBuffer& buffer);
    void SetEmptyString();
    void Swap(KtUWideString& other) noexcept {
        KtUWChar* t = m_text;
        m_text = other.m_text;
        other.m_text = t;
    }

    int GetLength() const;
    const KtUWChar* GetString() const { return m_text; }
    KtUWChar& operator[](int index) { return m_text[index]; }
    bool IsNull() const { return m_text == nullptr; }
    bool IsEmpty() const { return !m_text || !*m_text; }

    bool operator==(const KtUWideString& o) const { return Equal(m_text, o.m_text); }
    bool operator!=(const KtUWideString& o) const { return !Equal(m_text, o.m_text); }
    bool operator==(const KtUWChar* text) const { return Equal(m_text, text); }
    bool operator!=(const KtUWChar* text) const { return !Equal(m_text, text); }

    int Strcmp(const KtUWChar* text) const { return Strcmp(m_text, text); }
    int Stricmp(const KtUWChar* text) const { return Stricmp(m_text, text); }
    static int Strcmp(const KtUWideString& a, const KtUWChar* b) { return Strcmp(a.m_text, b); }
    static int Stricmp(const KtUWideString& a, const KtUWChar* b) { return Stricmp(a.m_text, b); }
    /// Unit order, -1/0/1; null sorts first, two empties are equal.
    static int Strcmp(const KtUWChar* a, const KtUWChar* b);
    /// Case-insensitive collation in the process locale; sign of the result.
    static int Stricmp(const KtUWChar* a, const KtUWChar* b);
    /// Digit runs compare as numbers, the rest ignoring case.
    static int StrCmpLogical(const KtUWChar* a, const KtUWChar* b);
    static int Equal(const KtUWChar* a, const KtUWChar* b);
    static int EqualPrefix(const KtUWChar* a, const KtUWChar* b, int n);

    const KtUWChar* Find(const KtUWChar* needle, int start) const;
    static const KtUWChar* Find(const KtUWChar* text, const KtUWChar* needle);
    const KtUWChar* FindLastChar(KtUWChar c) const { return FindLastChar(m_text, c); }
    static const KtUWChar* FindLastChar(const KtUWChar* text, KtUWChar c);
    int HasPrefix(const KtUWChar* prefix) const { return HasPrefix(m_text, prefix); }
    int HasSuffix(const KtUWChar* suffix) const { return HasSuffix(m_text, suffix); }
    static int HasPrefix(const KtUWChar* text, const KtUWChar* prefix);
    static int HasSuffix(const KtUWChar* text, const KtUWChar* suffix);
    int IsValidAscii() const { return IsValidAscii(m_text); }
    static int IsValidAscii(const KtUWChar* text);
    void LowerCase() { LowerCase(m_text); }
    void UpperCase() { UpperCase(m_text); }
    static void LowerCase(KtUWChar* text);
    static void UpperCase(KtUWChar* text);
    unsigned int Hash() const { return Hash(m_text); }
    static unsigned int Hash(const KtUWChar* text);
    static int GetLength(const KtUWChar* text);

    void ExtractSubString(int start, int end, KtUWideStringBuffer* out) const {
        ExtractSubString(m_text, start, end, out);
    }
    static void ExtractSubString(const KtUWChar* text, int start, int end,
                                 KtUWideStringBuffer* out);

    // From narrow text.
    void SetFromAsciiString(const char* text) { TrySetFromAsciiString(text); }
    int TrySetFromAsciiString(const char* text);
    int SetFromMultiString(const char* text);
    int SetFromUTF8String(const char* text);
    int SetFromUTF8String(const KtUString& text);
    int SetFromUTF8String(const KtUStringBuffer& text);

    // To narrow text.
    void ExtractAsciiString(KtUStringBuffer* out) const { TryExtractAsciiString(m_text, out); }
    int TryExtractAsciiString(KtUStringBuffer* out) const {
        return TryExtractAsciiString(m_text, out);
    }
    int ExtractMultiString(KtUStringBuffer* out) const { return ExtractMultiString(m_text, out); }
    void ExtractUTF8String(KtUStringBuffer* out) const { ExtractUTF8String(m_text, out); }
    static void ExtractAsciiString(const KtUWChar* text, KtUStringBuffer* out) {
        TryExtractAsciiString(text, out);
    }
    /// Units below 0x80 only; otherwise out reads "NOT AN ASCII STRING", 0.
    static int TryExtractAsciiString(const KtUWChar* text, KtUStringBuffer* out);
    static int ExtractMultiString(const KtUWChar* text, KtUStringBuffer* out);
    /// Each unit on its own (surrogates as three-byte forms); cannot fail.
    static void ExtractUTF8String(const KtUWChar* text, KtUStringBuffer* out);

    static int ReadLocalizedFloat(const KtUWChar* text, double* value);
    static int ReadLocalizedInt(const KtUWChar* text, int* value);
    static int ReadCFloat(const KtUWChar* text, double* value);

    static KtUWChar* AllocAndCopy(const KtUWChar* text);
    static KtUWChar* AllocAndCopy(const KtUWChar* text, int length);
    static void Dealloc(KtUWChar* text);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUWChar* m_text = nullptr;
};

#endif // KTUTIL_KTUWIDESTRING_H

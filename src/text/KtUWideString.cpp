//===- KtUWideString.cpp - Immutable, singly owned UTF-16 string ----------===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysString.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "text/text_buffer.h"
#include "text/text_number.h"

#include <cwctype>

using namespace ktu::text;

KtUWideString::KtUWideString(const KtUWChar* text) {
    SetString(text);
}
KtUWideString::KtUWideString(const KtUWChar* text, int length) {
    SetString(text, length);
}
KtUWideString::KtUWideString(const KtUWideString& other) {
    SetString(other.m_text);
}
KtUWideString::KtUWideString(const KtUWideStringBuffer& buffer) {
    SetString(buffer);
}
KtUWideString::~KtUWideString() {
    Dealloc(m_text);
}

KtUWideString& KtUWideString::operator=(const KtUWChar* text) {
    SetString(text);
    return *this;
}
KtUWideString& KtUWideString::operator=(const KtUWideString& other) {
    SetString(other.m_text);
    return *this;
}
KtUWideString& KtUWideString::operator=(const KtUWideStringBuffer& buffer) {
    SetString(buffer);
    return *this;
}

void KtUWideString::SetString(const KtUWChar* text) {
    if (text != m_text) SetString(text, Length(text));
}

void KtUWideString::SetString(const KtUWChar* text, int length) {
    KtUWChar* copy = AllocCopy(text, length); // before releasing: text may be our own
    Dealloc(m_text);
    m_text = copy;
}

void KtUWideString::SetString(const KtUWideString& other) {
    SetString(other.m_text);
}

void KtUWideString::SetString(const KtUWideStringBuffer& buffer) {
    SetString(buffer.GetString(), buffer.GetLength());
}

void KtUWideString::SetEmptyString() {
    SetString(u"", 0);
}

int KtUWideString::GetLength() const {
    return Length(m_text);
}

int KtUWideString::Strcmp(const KtUWChar* a, const KtUWChar* b) {
    return ktu::text::Strcmp(a, b);
}

int KtUWideString::Stricmp(const KtUWChar* a, const KtUWChar* b) {
    int result;
    if (CompareNullsAndEmpties(a, b, &result)) return result;
    return KtUSysString::WideStricmp(a, b);
}

int KtUWideString::StrCmpLogical(const KtUWChar* a, const KtUWChar* b) {
    int result;
    if (CompareNullsAndEmpties(a, b, &result)) return result;
    return KtUSysString::WideStrCmpLogical(a, b);
}

int KtUWideString::Equal(const KtUWChar* a, const KtUWChar* b) {
    return ktu::text::Equal(a, b);
}

int KtUWideString::EqualPrefix(const KtUWChar* a, const KtUWChar* b, int n) {
    return ktu::text::EqualPrefix(a, b, n);
}

const KtUWChar* KtUWideString::Find(const KtUWChar* needle, int start) const {
    return ktu::text::Find(m_text, Length(m_text), needle, start);
}

const KtUWChar* KtUWideString::Find(const KtUWChar* text, const KtUWChar* needle) {
    return ktu::text::Find(text, Length(text), needle, 0);
}

const KtUWChar* KtUWideString::FindLastChar(const KtUWChar* text, KtUWChar c) {
    return ktu::text::FindLastChar(text, c);
}

int KtUWideString::HasPrefix(const KtUWChar* text, const KtUWChar* prefix) {
    return ktu::text::HasPrefix(text, prefix);
}

int KtUWideString::HasSuffix(const KtUWChar* text, const KtUWChar* suffix) {
    return ktu::text::HasSuffix(text, suffix);
}

int KtUWideString::IsValidAscii(const KtUWChar* text) {
    for (; text && *text; ++text)
        if (*text >= 0x80) return 0;
    return 1;
}

void KtUWideString::LowerCase(KtUWChar* text) {
    for (; text && *text; ++text)
        *text = static_cast<KtUWChar>(std::towlower(*text));
}

void KtUWideString::UpperCase(KtUWChar* text) {
    for (; text && *text; ++text)
        *text = static_cast<KtUWChar>(std::towupper(*text));
}

unsigned int KtUWideString::Hash(const KtUWChar* text) {
    return ktu::text::Hash(text);
}

int KtUWideString::GetLength(const KtUWChar* text) {
    return Length(text);
}

void KtUWideString::ExtractSubString(const KtUWChar* text, int start, int end,
                                     KtUWideStringBuffer* out) {
    ktu::text::ExtractSubString(text, Length(text), start, end, BufferAccess::Of(*out));
}

// The narrow-to-wide setters convert through a scratch buffer, then take its text.
template <class Convert> static int SetFromNarrow(KtUWideString* s, Convert convert) {
    KtUWideStringBuffer scratch;
    int ok = convert(&scratch);
    s->SetString(scratch);
    return ok;
}

int KtUWideString::TrySetFromAsciiString(const char* text) {
    return SetFromNarrow(this, [&](KtUWideStringBuffer* b) { return AsciiToWide(text, b); });
}

int KtUWideString::SetFromMultiString(const char* text) {
    return SetFromNarrow(this, [&](KtUWideStringBuffer* b) { return MultiToWide(text, b); });
}

int KtUWideString::SetFromUTF8String(const char* text) {
    return SetFromNarrow(this, [&](KtUWideStringBuffer* b) { return Utf8ToWide(text, -1, b); });
}

int KtUWideString::SetFromUTF8String(const KtUString& text) {
    return SetFromUTF8String(text.GetString());
}

int KtUWideString::SetFromUTF8String(const KtUStringBuffer& text) {
    return SetFromNarrow(this, [&](KtUWideStringBuffer* b) {
        return Utf8ToWide(text.GetString(), text.GetLength(), b);
    });
}

int KtUWideString::TryExtractAsciiString(const KtUWChar* text, KtUStringBuffer* out) {
    return WideToAscii(text, out);
}

int KtUWideString::ExtractMultiString(const KtUWChar* text, KtUStringBuffer* out) {
    return WideToMulti(text, out);
}

void KtUWideString::ExtractUTF8String(const KtUWChar* text, KtUStringBuffer* out) {
    WideToUtf8(text, -1, out);
}

int KtUWideString::ReadLocalizedFloat(const KtUWChar* text, double* value) {
    return ReadNumber(text, value, NumberKind::eLocalizedFloat);
}

int KtUWideString::ReadLocalizedInt(const KtUWChar* text, int* value) {
    double v = 0;
    int ok = ReadNumber(text, &v, NumberKind::eLocalizedInt);
    if (ok) *value = static_cast<int>(v);
    return ok;
}

int KtUWideString::ReadCFloat(const KtUWChar* text, double* value) {
    return ReadNumber(text, value, NumberKind::eCFloat);
}

KtUWChar* KtUWideString::AllocAndCopy(const KtUWChar* text) {
    return AllocCopy(text, Length(text));
}

KtUWChar* KtUWideString::AllocAndCopy(const KtUWChar* text, int length) {
    return AllocCopy(text, length); // before releasing: text may be our own
}

void KtUWideString::Dealloc(KtUWChar* text) {
    DeallocUnits(text, Length(text) + 1);
}

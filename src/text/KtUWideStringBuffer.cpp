//===- KtUWideStringBuffer.cpp - Growable UTF-16 string -------------------===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "text/text_buffer.h"
#include "text/text_number.h"

#include <cwctype>
#include <utility>

using namespace ktu::text;

#define SELF BufferAccess::Of(*this)

KtUWideStringBuffer::KtUWideStringBuffer(const KtUWChar* text) {
    SetString(text);
}
KtUWideStringBuffer::KtUWideStringBuffer(const KtUWideString& text) {
    SetString(text);
}
KtUWideStringBuffer::KtUWideStringBuffer(const KtUWideStringBuffer& other) {
    SetString(other);
}
KtUWideStringBuffer::~KtUWideStringBuffer() {
    Release(SELF);
}

KtUWideStringBuffer& KtUWideStringBuffer::operator=(const KtUWChar* text) {
    SetString(text);
    return *this;
}
KtUWideStringBuffer& KtUWideStringBuffer::operator=(const KtUWideString& text) {
    SetString(text);
    return *this;
}
KtUWideStringBuffer& KtUWideStringBuffer::operator=(const KtUWideStringBuffer& other) {
    SetString(other);
    return *this;
}

void KtUWideStringBuffer::SetAt(int index, const KtUWChar& c) {
    m_text[index] = c;
    if (c == 0) m_length = index;
}

int KtUWideStringBuffer::Equal(const KtUWideStringBuffer& other) const {
    if (m_length != other.m_length) return 0;
    return ktu::text::Equal(m_text, other.m_text);
}

bool KtUWideStringBuffer::operator==(const KtUWChar* text) const {
    return ktu::text::Equal(m_text, text);
}

bool KtUWideStringBuffer::operator==(const KtUWideString& text) const {
    return ktu::text::Equal(m_text, text.GetString());
}

int KtUWideStringBuffer::Strcmp(const KtUWChar* text) const {
    return ktu::text::Strcmp(m_text, text);
}
int KtUWideStringBuffer::Stricmp(const KtUWChar* text) const {
    return KtUWideString::Stricmp(m_text, text);
}
int KtUWideStringBuffer::IsValidAscii() const {
    return KtUWideString::IsValidAscii(m_text);
}

void KtUWideStringBuffer::SetString(const KtUWChar* text) {
    ktu::text::SetString(SELF, text, Length(text));
}
void KtUWideStringBuffer::SetString(const KtUWChar* text, int length) {
    ktu::text::SetString(SELF, text, length);
}
void KtUWideStringBuffer::SetString(const KtUWideString& text) {
    ktu::text::SetString(SELF, text.GetString(), text.GetLength());
}
void KtUWideStringBuffer::SetString(const KtUWideStringBuffer& other) {
    ktu::text::SetString(SELF, other.m_text, other.m_length);
}
void KtUWideStringBuffer::SetEmptyString() {
    ktu::text::SetEmptyString(SELF);
}

void KtUWideStringBuffer::Swap(KtUWideStringBuffer& other) noexcept {
    std::swap(m_text, other.m_text);
    std::swap(m_length, other.m_length);
    std::swap(m_alloc, other.m_alloc);
}

void KtUWideStringBuffer::EndEditBuffer(int length) {
    ktu::text::EndEditBuffer(SELF, length);
}
void KtUWideStringBuffer::Reserve(int length) {
    ktu::text::Reserve(SELF, length);
}

void KtUWideStringBuffer::ExtractSubString(int start, int end, KtUWideStringBuffer* out) const {
    ktu::text::ExtractSubString(m_text, m_length, start, end, BufferAccess::Of(*out));
}

int KtUWideStringBuffer::Replace(const KtUWChar* find, const KtUWChar* with, int all) {
    return ktu::text::Replace(SELF, find, with, all);
}

void KtUWideStringBuffer::ReplaceSubString(int start, int end, const KtUWChar* text) {
    ktu::text::ReplaceSubString(SELF, start, end, text);
}

void KtUWideStringBuffer::Append(const KtUWChar* text) {
    ktu::text::Append(SELF, text, Length(text));
}
void KtUWideStringBuffer::Append(const KtUWChar* text, int length) {
    ktu::text::Append(SELF, text, length);
}
void KtUWideStringBuffer::Append(KtUWChar c) {
    ktu::text::Append(SELF, &c, 1);
}
void KtUWideStringBuffer::Append(const KtUWideString& text) {
    ktu::text::Append(SELF, text.GetString(), text.GetLength());
}
void KtUWideStringBuffer::Append(const KtUWideStringBuffer& text) {
    ktu::text::Append(SELF, text.m_text, text.m_length);
}

const KtUWChar* KtUWideStringBuffer::Find(const KtUWChar* needle, int start) const {
    return ktu::text::Find(m_text, m_length, needle, start);
}
const KtUWChar* KtUWideStringBuffer::FindLastChar(KtUWChar c) const {
    return ktu::text::FindLastChar(m_text, c);
}
int KtUWideStringBuffer::HasPrefix(const KtUWChar* prefix) const {
    return ktu::text::HasPrefix(m_text, prefix);
}
int KtUWideStringBuffer::HasSuffix(const KtUWChar* suffix) const {
    return ktu::text::HasSuffix(m_text, suffix);
}
void KtUWideStringBuffer::LowerCase() {
    KtUWideString::LowerCase(m_text);
}
void KtUWideStringBuffer::UpperCase() {
    KtUWideString::UpperCase(m_text);
}

static bool IsWideSpace(KtUWChar c) {
    return std::iswspace(c) != 0;
}

void KtUWideStringBuffer::Trim() {
    ktu::text::Trim(SELF, true, true, IsWideSpace);
}
void KtUWideStringBuffer::TrimLeft() {
    ktu::text::Trim(SELF, true, false, IsWideSpace);
}
void KtUWideStringBuffer::TrimRight() {
    ktu::text::Trim(SELF, false, true, IsWideSpace);
}

void KtUWideStringBuffer::TrimRight(const KtUWChar* set) {
    if (!set) return;
    ktu::text::Trim(SELF, false, true, [set](KtUWChar c) {
        for (const KtUWChar* p = set; *p; ++p)
            if (*p == c) return true;
        return false;
    });
}

void KtUWideStringBuffer::Format(const KtUWChar* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void KtUWideStringBuffer::FormatV(const KtUWChar* format, va_list args) {
    FormatInto(SELF, format, args, "KtUWideStringBuffer::FormatV: vsnwprintf");
}

void KtUWideStringBuffer::FormatLocalizedFloat(double value, int decimals, int extend) {
    FormatFloatLocalized(SELF, value, decimals, extend);
}

void KtUWideStringBuffer::FormatCFloat(double value, int decimals, int width) {
    KtUStringBuffer narrow;
    narrow.FormatCFloat(value, decimals, width);
    TrySetFromAsciiString(narrow.GetString());
}

int KtUWideStringBuffer::TrySetFromAsciiString(const char* text) {
    return AsciiToWide(text, this);
}
int KtUWideStringBuffer::SetFromMultiString(const char* text) {
    return MultiToWide(text, this);
}
int KtUWideStringBuffer::SetFromUTF8String(const char* text) {
    return Utf8ToWide(text, -1, this);
}
int KtUWideStringBuffer::SetFromUTF8String(const char* text, int length) {
    return Utf8ToWide(text, length, this);
}
int KtUWideStringBuffer::TryExtractAsciiString(KtUStringBuffer* out) const {
    return WideToAscii(m_text, out);
}
int KtUWideStringBuffer::ExtractMultiString(KtUStringBuffer* out) const {
    return WideToMulti(m_text, out);
}
void KtUWideStringBuffer::ExtractUTF8String(KtUStringBuffer* out) const {
    WideToUtf8(m_text, m_length, out);
}

//===- KtUStringBuffer.cpp - Growable narrow string -----------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "text/text_buffer.h"
#include "text/text_format.h"
#include "text/text_number.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>

using namespace ktu::text;

#define SELF BufferAccess::Of(*this)

KtUStringBuffer::KtUStringBuffer(const char* text) {
    SetString(text);
}
KtUStringBuffer::KtUStringBuffer(const KtUString& text) {
    SetString(text);
}
KtUStringBuffer::KtUStringBuffer(const KtUStringBuffer& other) {
    SetString(other);
}
KtUStringBuffer::~KtUStringBuffer() {
    Release(SELF);
}

KtUStringBuffer& KtUStringBuffer::operator=(const char* text) {
    SetString(text);
    return *this;
}
KtUStringBuffer& KtUStringBuffer::operator=(const KtUString& text) {
    SetString(text);
    return *this;
}
KtUStringBuffer& KtUStringBuffer::operator=(const KtUStringBuffer& other) {
    SetString(other);
    return *this;
}

void KtUStringBuffer::SetAt(int index, const char& c) {
    m_text[index] = c;
    if (c == 0) m_length = index;
}

int KtUStringBuffer::Equal(const KtUStringBuffer& other) const {
    if (m_length != other.m_length) return 0;
    return ktu::text::Equal(m_text, other.m_text);
}

bool KtUStringBuffer::operator==(const char* text) const {
    return ktu::text::Equal(m_text, text);
}

bool KtUStringBuffer::operator==(const KtUString& text) const {
    return ktu::text::Equal(m_text, text.GetString());
}

int KtUStringBuffer::Strcmp(const char* text) const {
    return ktu::text::Strcmp(m_text, text);
}
int KtUStringBuffer::Stricmp(const char* text) const {
    return KtUString::Stricmp(m_text, text);
}
int KtUStringBuffer::IsValidAscii() const {
    return KtUString::IsValidAscii(m_text);
}
int KtUStringBuffer::IsValidUTF8() const {
    return IsValidUtf8(m_text);
}

void KtUStringBuffer::SetString(const char* text) {
    ktu::text::SetString(SELF, text, Length(text));
}
void KtUStringBuffer::SetString(const char* text, int length) {
    ktu::text::SetString(SELF, text, length);
}
void KtUStringBuffer::SetString(const KtUString& text) {
    ktu::text::SetString(SELF, text.GetString(), text.GetLength());
}
void KtUStringBuffer::SetString(const KtUStringBuffer& other) {
    ktu::text::SetString(SELF, other.m_text, other.m_length);
}
void KtUStringBuffer::SetEmptyString() {
    ktu::text::SetEmptyString(SELF);
}

void KtUStringBuffer::Swap(KtUStringBuffer& other) noexcept {
    std::swap(m_text, other.m_text);
    std::swap(m_length, other.m_length);
    std::swap(m_alloc, other.m_alloc);
}

void KtUStringBuffer::EndEditBuffer(int length) {
    ktu::text::EndEditBuffer(SELF, length);
}
void KtUStringBuffer::Reserve(int length) {
    ktu::text::Reserve(SELF, length);
}

void KtUStringBuffer::ExtractSubString(int start, int end, KtUStringBuffer* out) const {
    ktu::text::ExtractSubString(m_text, m_length, start, end, BufferAccess::Of(*out));
}

int KtUStringBuffer::Replace(const char* find, const char* with, int all) {
    return ktu::text::Replace(SELF, find, with, all);
}

void KtUStringBuffer::ReplaceSubString(int start, int end, const char* text) {
    ktu::text::ReplaceSubString(SELF, start, end, text);
}

void KtUStringBuffer::Append(const char* text) {
    ktu::text::Append(SELF, text, Length(text));
}
void KtUStringBuffer::Append(const char* text, int length) {
    ktu::text::Append(SELF, text, length);
}
void KtUStringBuffer::Append(char c) {
    ktu::text::Append(SELF, &c, 1);
}
void KtUStringBuffer::Append(const KtUString& text) {
    ktu::text::Append(SELF, text.GetString(), text.GetLength());
}
void KtUStringBuffer::Append(const KtUStringBuffer& text) {
    ktu::text::Append(SELF, text.m_text, text.m_length);
}

const char* KtUStringBuffer::Find(const char* needle, int start) const {
    return ktu::text::Find(m_text, m_length, needle, start);
}
const char* KtUStringBuffer::FindLastChar(char c) const {
    return ktu::text::FindLastChar(m_text, c);
}
int KtUStringBuffer::HasPrefix(const char* prefix) const {
    return ktu::text::HasPrefix(m_text, prefix);
}
int KtUStringBuffer::HasSuffix(const char* suffix) const {
    return ktu::text::HasSuffix(m_text, suffix);
}
void KtUStringBuffer::LowerCase() {
    KtUString::LowerCase(m_text);
}
void KtUStringBuffer::UpperCase() {
    KtUString::UpperCase(m_text);
}

int KtUStringBuffer::IsSpaceMBCS(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
int KtUStringBuffer::IsSpaceUTF8(char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

void KtUStringBuffer::TrimLeftMBCS() {
    ktu::text::Trim(SELF, true, false, IsSpaceMBCS);
}
void KtUStringBuffer::TrimRightMBCS() {
    ktu::text::Trim(SELF, false, true, IsSpaceMBCS);
}
void KtUStringBuffer::TrimMBCS() {
    ktu::text::Trim(SELF, true, true, IsSpaceMBCS);
}
void KtUStringBuffer::TrimLeftUTF8() {
    ktu::text::Trim(SELF, true, false, IsSpaceUTF8);
}
void KtUStringBuffer::TrimRightUTF8() {
    ktu::text::Trim(SELF, false, true, IsSpaceUTF8);
}
void KtUStringBuffer::TrimUTF8() {
    ktu::text::Trim(SELF, true, true, IsSpaceUTF8);
}

void KtUStringBuffer::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void KtUStringBuffer::FormatV(const char* format, va_list args) {
    FormatInto(SELF, format, args, "KtUStringBuffer::FormatV: vsnprintf");
}

void KtUStringBuffer::FormatLocalizedFloat(double value, int decimals, int extend) {
    FormatFloatLocalized(SELF, value, decimals, extend);
}

void KtUStringBuffer::FormatCFloat(double value, int decimals, int width) {
    char format[32];
    std::snprintf(format, sizeof format, "%%%d.%df", width, decimals);
    ScopedCNumericLocale c_locale;
    Format(format, value);
}

int KtUStringBuffer::UTF8ToWideString(KtUWideStringBuffer* out) const {
    return Utf8ToWide(m_text, m_length, out);
}
int KtUStringBuffer::MultiToWideString(KtUWideStringBuffer* out) const {
    return MultiToWide(m_text, out);
}
int KtUStringBuffer::AsciiToWideString(KtUWideStringBuffer* out) const {
    return AsciiToWide(m_text, out);
}

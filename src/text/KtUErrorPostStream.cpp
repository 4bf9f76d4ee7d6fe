//===- KtUErrorPostStream.cpp - Streaming construction of an error post ---===//
#include <ktutil/KtUErrorPostStream.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>

#include "text/text_format.h"
#include "text/text_ops.h"

KtUErrorPostStream::KtUErrorPostStream(KtUSysError::Severity severity, KtUComponent* component,
                                       int id, void* data)
    : m_severity(severity), m_component(component), m_id(id), m_data(data) {}

KtUErrorPostStream::~KtUErrorPostStream() {
    KtUSysError::PostWideString(m_severity, m_component, m_id, m_data, m_message.GetString());
}

void KtUErrorPostStream::AppendWide(const KtUWChar* text, int length) {
    if (!text || length <= 0) return;
    m_message.Reserve(m_message.GetLength() + length + 1);
    m_message.Append(text, length);
}

void KtUErrorPostStream::AppendUtf8(const char* text, int length) {
    if (!text || length <= 0) return;
    KtUString::UTF8ToWideString(text, length, &m_scratch);
    AppendWide(m_scratch.GetString(), m_scratch.GetLength());
}

void KtUErrorPostStream::AppendFormatted(const KtUWChar* format, ...) {
    KtUWChar text[64];
    va_list args;
    va_start(args, format);
    int n = ktu::text::FormatV(text, 64, format, args);
    va_end(args);
    AppendWide(text, n < 64 ? n : 63);
}

KtUErrorPostStream& KtUErrorPostStream::operator<<(const KtUWChar* text) {
    AppendWide(text, ktu::text::Length(text));
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const char* text) {
    AppendUtf8(text, ktu::text::Length(text));
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const KtUString& text) {
    AppendUtf8(text.GetString(), text.GetLength());
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const KtUStringBuffer& text) {
    AppendUtf8(text.GetString(), text.GetLength());
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const KtUWideString& text) {
    AppendWide(text.GetString(), text.GetLength());
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const KtUWideStringBuffer& text) {
    AppendWide(text.GetString(), text.GetLength());
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(bool value) {
    return *this << (value ? u"TRUE" : u"FALSE");
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(signed char value) {
    AppendFormatted(u"%d", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(short value) {
    AppendFormatted(u"%d", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(int value) {
    AppendFormatted(u"%d", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(KtUInt64 value) {
    AppendFormatted(u"%I64d", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(double value) {
    AppendFormatted(u"%g", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(unsigned char value) {
    AppendFormatted(u"%u", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(unsigned short value) {
    AppendFormatted(u"%u", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(unsigned int value) {
    AppendFormatted(u"%u", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(KtUNat64 value) {
    AppendFormatted(u"%I64u", value);
    return *this;
}
KtUErrorPostStream& KtUErrorPostStream::operator<<(const void* value) {
    AppendFormatted(u"%X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)));
    return *this;
}

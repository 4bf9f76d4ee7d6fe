//===- KtUString.cpp - Immutable, singly owned narrow string --------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "text/text_buffer.h"
#include "text/text_number.h"

#include <cctype>

using namespace ktu::text;

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUString",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError, KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUString, kComponent)

KtUString::KtUString(const char* text) {
    SetString(text);
}
KtUString::KtUString(const KtUString& other) {
    SetString(other.m_text);
}
KtUString::KtUString(const KtUStringBuffer& buffer) {
    SetString(buffer);
}
KtUString::~KtUString() {
    Dealloc(m_text);
}

KtUString& KtUString::operator=(const char* text) {
    SetString(text);
    return *this;
}
KtUString& KtUString::operator=(const KtUString& other) {
    SetString(other.m_text);
    return *this;
}
KtUString& KtUString::operator=(const KtUStringBuffer& buffer) {
    SetString(buffer);
    return *this;
}

void KtUString::SetString(const char* text) {
    if (text != m_text) SetString(text, Length(text));
}

void KtUString::SetString(const char* text, int length) {
    char* copy = AllocCopy(text, length); // before releasing: text may be our own
    Dealloc(m_text);
    m_text = copy;
}

void KtUString::SetString(const KtUString& other) {
    SetString(other.m_text);
}

void KtUString::SetString(const KtUStringBuffer& buffer) {
    SetString(buffer.GetString(), buffer.GetLength());
}

void KtUString::SetEmptyString() {
    SetString("", 0);
}

int KtUString::GetLength() const {
    return Length(m_text);
}

int KtUString::Strcmp(const char* a, const char* b) {
    return ktu::text::Strcmp(a, b);
}

int KtUString::Stricmp(const char* a, const char* b) {
    int result;
    if (CompareNullsAndEmpties(a, b, &result)) return result;
    return KtUSysString::Stricmp(a, b);
}

int KtUString::Equal(const char* a, const char* b) {
    return ktu::text::Equal(a, b);
}

int KtUString::EqualPrefix(const char* a, const char* b, int n) {
    return ktu::text::EqualPrefix(a, b, n);
}

const char* KtUString::Find(const char* needle, int start) const {
    return ktu::text::Find(m_text, Length(m_text), needle, start);
}

const char* KtUString::Find(const char* text, const char* needle) {
    return ktu::text::Find(text, Length(text), needle, 0);
}

const char* KtUString::FindLastChar(const char* text, char c) {
    return ktu::text::FindLastChar(text, c);
}

int KtUString::HasPrefix(const char* text, const char* prefix) {
    return ktu::text::HasPrefix(text, prefix);
}

int KtUString::HasSuffix(const char* text, const char* suffix) {
    return ktu::text::HasSuffix(text, suffix);
}

int KtUString::IsValidAscii(const char* text) {
    return !text || KtUSysString::Is7BitAscii(text);
}

int KtUString::IsValidUTF8(const char* text) {
    return IsValidUtf8(text);
}

void KtUString::LowerCase(char* text) {
    for (; text && *text; ++text)
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
}

void KtUString::UpperCase(char* text) {
    for (; text && *text; ++text)
        *text = static_cast<char>(std::toupper(static_cast<unsigned char>(*text)));
}

unsigned int KtUString::Hash(const char* text) {
    return ktu::text::Hash(text);
}

int KtUString::GetLength(const char* text) {
    return Length(text);
}

void KtUString::ExtractSubString(const char* text, int start, int end, KtUStringBuffer* out) {
    ktu::text::ExtractSubString(text, Length(text), start, end, BufferAccess::Of(*out));
}

int KtUString::AsciiToWideString(const char* text, KtUWideStringBuffer* out) {
    return AsciiToWide(text, out);
}

int KtUString::UTF8ToWideString(const char* text, KtUWideStringBuffer* out) {
    return Utf8ToWide(text, -1, out);
}

int KtUString::UTF8ToWideString(const char* text, int length, KtUWideStringBuffer* out) {
    return Utf8ToWide(text, length, out);
}

int KtUString::MultiToWideString(const char* text, KtUWideStringBuffer* out) {
    return MultiToWide(text, out);
}

int KtUString::ReadLocalizedFloat(const char* text, double* value) {
    return ReadNumber(text, value, NumberKind::eLocalizedFloat);
}

int KtUString::ReadLocalizedInt(const char* text, int* value) {
    double v = 0;
    int ok = ReadNumber(text, &v, NumberKind::eLocalizedInt);
    if (ok) *value = static_cast<int>(v);
    return ok;
}

int KtUString::ReadCFloat(const char* text, double* value) {
    return ReadNumber(text, value, NumberKind::eCFloat);
}

char* KtUString::AllocAndCopy(const char* text) {
    return AllocCopy(text, Length(text));
}

char* KtUString::AllocAndCopy(const char* text, int length) {
    return AllocCopy(text, length);
}

void KtUString::Dealloc(char* text) {
    DeallocUnits(text, Length(text) + 1);
}

KtUComponent* ktu::text::StringComponent() {
    return &s_component;
}

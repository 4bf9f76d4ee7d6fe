//===- KtUSysPathModifier.cpp - LD_LIBRARY_PATH changed for a scope -------===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysPathModifier.h>

#include "platform/process.h"
#include "process/lib_search.h"

#include <cstdlib>

namespace {

constexpr const char* kVariable = "LD_LIBRARY_PATH";

std::string Utf8(const KtUWChar* text) {
    KtUWideStringBuffer wide(text ? text : u"");
    KtUStringBuffer narrow;
    wide.ExtractUTF8String(&narrow);
    return narrow.GetString() ? narrow.GetString() : "";
}

} // namespace

KtUSysPathModifier::KtUSysPathModifier(const KtUWChar* text, ModifyMode mode) {
    const char* old = std::getenv(kVariable);
    m_was_set = old != nullptr;
    if (old) m_saved.SetFromUTF8String(old);
    const std::string given = Utf8(text);
    if (mode == ePREPEND) {
        if (given.empty()) return;
        ktu::sys::SetEnvironmentVariable(kVariable,
                                         ktu::process::PrependDirectory(given, old).c_str());
    } else {
        ktu::sys::SetEnvironmentVariable(kVariable, given.c_str());
    }
}

KtUSysPathModifier::KtUSysPathModifier(const KtUSysPathModifier& other)
    : m_saved(other.m_saved), m_was_set(other.m_was_set) {}

KtUSysPathModifier& KtUSysPathModifier::operator=(const KtUSysPathModifier& other) {
    m_saved = other.m_saved;
    m_was_set = other.m_was_set;
    return *this;
}

KtUSysPathModifier::~KtUSysPathModifier() {
    ktu::sys::SetEnvironmentVariable(kVariable,
                                     m_was_set ? Utf8(m_saved.GetString()).c_str() : nullptr);
}

const KtUWChar* KtUSysPathModifier::GetVariableName() {
    return u"LD_LIBRARY_PATH";
}

KtUWChar KtUSysPathModifier::GetSeparator() {
    return static_cast<KtUWChar>(ktu::process::kPathSeparator);
}

//===- KtUSysRegistrySectionHandle.cpp - Names found below a section ------===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysRegistrySectionHandle.h>
#include <ktutil/KtUWideString.h>

void KtUSysRegistrySectionHandle::GetUTF8Key(KtUStringBuffer* out) const {
    if (m_it.IsValid()) {
        KtUWideString::ExtractUTF8String(m_it.GetKey(), out);
    } else {
        out->SetEmptyString();
    }
}

bool KtUSysRegistrySectionHandle::Add(const KtUWChar* name) {
    if (m_names.Find(name, nullptr)) return false;
    m_names.Enter(name, nullptr);
    return true;
}

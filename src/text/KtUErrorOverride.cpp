//===- KtUErrorOverride.cpp - Scoped replacement of one handler -----------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUErrorOverride.h>

// Installed for a null handler: every post it sees counts as handled.
static int SwallowHandler(KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
    return 1;
}

KtUErrorOverride::KtUErrorOverride(KtUSysError::Handler handler, KtUSysError::Severity severity,
                                   KtUComponent* component, int id)
    : m_severity(severity), m_component(component), m_id(id), m_previous(nullptr) {
    Init(handler);
}

KtUErrorOverride::KtUErrorOverride(KtUSysError::Handler handler, KtUSysError::Severity severity,
                                   const char* component_name, int id)
    : m_severity(severity), m_component(KtUSysError::FindComponent(component_name)), m_id(id),
      m_previous(nullptr) {
    Init(handler);
}

void KtUErrorOverride::Init(KtUSysError::Handler handler) {
    m_previous = KtUSysError::GetHandler(m_severity, m_component, m_id);
    KtUSysError::SetHandler(handler ? handler : SwallowHandler, m_severity, m_component, m_id);
}

KtUErrorOverride::~KtUErrorOverride() {
    KtUSysError::SetHandler(m_previous, m_severity, m_component, m_id);
}

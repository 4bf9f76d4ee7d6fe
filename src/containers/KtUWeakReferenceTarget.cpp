//===- KtUWeakReferenceTarget.cpp - Base of weakly referenced objects -----===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUWeakReferenceHandle.h>
#include <ktutil/KtUWeakReferenceTarget.h>

static KtUComponent s_component;

void KtUWeakReferenceTarget::Initialise() {
    if (s_component.Initialise("KtUWeakReferenceTarget",
                               "KtUWeakReferenceTarget.cpp " KTU_VERSION_STRING))
        KtUMemory::Initialise();
}

void KtUWeakReferenceTarget::Terminate() {
    if (s_component.Terminate()) KtUMemory::Terminate();
}

int KtUWeakReferenceTarget::IsInitialised() {
    return s_component.IsInitialised();
}

KtUWeakReferenceTarget::~KtUWeakReferenceTarget() {
    if (m_handle) m_handle->m_target = nullptr;
}

int KtUWeakReferenceTarget::GetNumWeakReferences() const {
    return m_handle ? m_handle->GetCount() : 0;
}

//===- KtUWeakReferenceTarget.cpp - Base of weakly referenced objects -----===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUWeakReferenceHandle.h>
#include <ktutil/KtUWeakReferenceTarget.h>

#include "foundation/component.h"

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUWeakReferenceTarget",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUWeakReferenceTarget, kComponent)

KtUWeakReferenceTarget::~KtUWeakReferenceTarget() {
    if (m_handle) m_handle->m_target = nullptr;
}

int KtUWeakReferenceTarget::GetNumWeakReferences() const {
    return m_handle ? m_handle->GetCount() : 0;
}

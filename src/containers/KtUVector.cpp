//===- KtUVector.cpp - Component of the vector classes --------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVector.h>

#include "foundation/component.h"

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUVector",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError, KtUMemory>,
};
KTU_COMPONENT_LIFECYCLE(KtUVector, kComponent)

KtUComponent* KtUVector::GetComponent() {
    return &s_component;
}

void KtUVector::ReportBadArgument(const KtUWChar* message) {
    KtUSysError::PostWideString(KtUSysError::ePRECONDITION, &s_component, message);
}

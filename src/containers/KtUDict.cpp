//===- KtUDict.cpp - The dictionaries' component --------------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUDict.h>
#include <ktutil/KtUString.h>

#include "foundation/component.h"

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUDict",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString>,
};
KTU_COMPONENT_LIFECYCLE(KtUDict, kComponent)

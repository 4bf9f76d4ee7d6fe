//===- KtUExceptionHandler.cpp - Processor faults as a failure result -----===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUExceptionHandler.h>
#include <ktutil/KtUSysError.h>

#include "foundation/component.h"
#include "platform/fault.h"

namespace {

KtUComponent s_component;

// The body as the platform's guard calls it; an exception leaving the body
// fails the run like a fault.
bool RunBody(void* handler) {
    try {
        static_cast<KtUExceptionHandler*>(handler)->Body();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUExceptionHandler",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError>,
};
KTU_COMPONENT_LIFECYCLE(KtUExceptionHandler, kComponent)

KtUExceptionHandler::~KtUExceptionHandler() = default;

int KtUExceptionHandler::Try() {
    if (ktu::sys::RunGuarded(RunBody, this, nullptr)) return 0;
    Failure();
    return 1;
}

int KtUExceptionHandler::IsActiveHandler() {
    return ktu::sys::InGuardedRun() ? 1 : 0;
}

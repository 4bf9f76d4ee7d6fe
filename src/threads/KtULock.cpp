//===- KtULock.cpp - Mutex of the application layer ------------------------===//
//
// Error ids of the lock family (eERROR from "KtULock", the object as data):
//   0 "KtULock::KtULock"                       mutex creation failed
//   3 "KtULock::~KtULock"                      mutex close failed
//   4 "KtUCondition::KtUCondition"             event creation failed
//   7 "KtUCondition::KtUCondition"             event close failed
//   8 "KtUSemaphore::KtUSemaphore"             semaphore creation failed
//  11 "KtUSemaphore::~KtUSemaphore"            semaphore close failed
//  17 "KtURecursiveLock::~KtURecursiveLock"    destroyed while held
//  18 "KtURecursiveLock::Unlock"               unlocked while not held
//  19 "KtUReadWriteLock::~KtUReadWriteLock"    destroyed while in use
//  20 "KtUReadWriteLock::ReadUnlock"           read unlock without a reader
//  21 "KtUReadWriteLock::WriteUnlock"          write unlock without the writer
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtULock.h>

#include "foundation/component.h"

static KtUComponent s_component;

KtUComponent* ktu::sys::LockComponent() {
    return &s_component;
}

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtULock",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError>,
};
KTU_COMPONENT_LIFECYCLE(KtULock, kComponent)

KtULock::KtULock() {
    if (!m_lock.Create())
        KtUError::Post(KtUSysError::eERROR, &s_component, 0, this, "KtULock::KtULock");
}

KtULock::~KtULock() {
    if (m_lock.IsCreated() && !m_lock.Destroy())
        KtUError::Post(KtUSysError::eERROR, &s_component, 3, this, "KtULock::~KtULock");
}

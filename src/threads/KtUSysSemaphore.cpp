//===- KtUSysSemaphore.cpp - Operating-system counting semaphore ----------===//
#include <ktutil/KtUSysSemaphore.h>

#include "platform/event.h"

using ktu::sys::Semaphore;

int KtUSysSemaphore::Create() {
    if (m_handle || ktu::sys::CreationRefusedForTest()) return 0;
    m_handle = ktu::sys::SemaphoreCreate();
    return m_handle != nullptr;
}

int KtUSysSemaphore::Destroy() {
    auto* sem = static_cast<Semaphore*>(m_handle);
    if (!sem || !ktu::sys::SemaphoreDestroy(sem)) return 0;
    m_handle = nullptr;
    return 1;
}

int KtUSysSemaphore::Inc() {
    auto* sem = static_cast<Semaphore*>(m_handle);
    return sem && ktu::sys::SemaphorePost(sem, kMaxCount);
}

int KtUSysSemaphore::Dec() {
    auto* sem = static_cast<Semaphore*>(m_handle);
    return sem && ktu::sys::SemaphoreWait(sem);
}

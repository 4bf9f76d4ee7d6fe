//===- KtUSysLock.cpp - Operating-system mutex ----------------------------===//
#include <ktutil/KtUSysLock.h>

#include "platform/lock.h"

using ktu::sys::SystemMutex;

int KtUSysLock::Create() {
    if (m_handle) return 0;
    m_handle = ktu::sys::SystemMutexCreate();
    return m_handle != nullptr;
}

int KtUSysLock::Destroy() {
    auto* mutex = static_cast<SystemMutex*>(m_handle);
    if (!mutex || !ktu::sys::SystemMutexDestroy(mutex)) return 0;
    m_handle = nullptr;
    return 1;
}

int KtUSysLock::Lock() {
    return m_handle && ktu::sys::SystemMutexLock(static_cast<SystemMutex*>(m_handle));
}

int KtUSysLock::Unlock() {
    return m_handle && ktu::sys::SystemMutexUnlock(static_cast<SystemMutex*>(m_handle));
}

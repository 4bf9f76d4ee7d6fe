//===- KtUSysSemaphore.cpp - Operating-system counting semaphore ----------===//
#include <ktutil/KtUSysSemaphore.h>

#include "platform/event.h"

#include <cerrno>
#include <new>
#include <semaphore.h>

int KtUSysSemaphore::Create() {
    if (m_handle || ktu::sys::CreationRefusedForTest()) return 0;
    auto* sem = new (std::nothrow) sem_t;
    if (!sem || sem_init(sem, 0, 0) != 0) {
        delete sem;
        return 0;
    }
    m_handle = sem;
    return 1;
}

int KtUSysSemaphore::Destroy() {
    auto* sem = static_cast<sem_t*>(m_handle);
    if (!sem || sem_destroy(sem) != 0) return 0;
    delete sem;
    m_handle = nullptr;
    return 1;
}

int KtUSysSemaphore::Inc() {
    auto* sem = static_cast<sem_t*>(m_handle);
    int value = 0;
    if (!sem || sem_getvalue(sem, &value) != 0 || value >= kMaxCount) return 0;
    return sem_post(sem) == 0;
}

int KtUSysSemaphore::Dec() {
    auto* sem = static_cast<sem_t*>(m_handle);
    if (!sem) return 0;
    int rc;
    while ((rc = sem_wait(sem)) != 0 && errno == EINTR) {
    }
    return rc == 0;
}

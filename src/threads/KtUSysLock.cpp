//===- KtUSysLock.cpp - Operating-system mutex ----------------------------===//
#include <ktutil/KtUSysLock.h>

#include <new>
#include <pthread.h>

int KtUSysLock::Create() {
    if (m_handle) return 0;
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (!mutex) return 0;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int rc = pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        delete mutex;
        return 0;
    }
    m_handle = mutex;
    return 1;
}

int KtUSysLock::Destroy() {
    auto* mutex = static_cast<pthread_mutex_t*>(m_handle);
    if (!mutex) return 0;
    int rc = pthread_mutex_destroy(mutex);
    if (rc != 0) return 0;
    delete mutex;
    m_handle = nullptr;
    return 1;
}

int KtUSysLock::Lock() {
    return m_handle && pthread_mutex_lock(static_cast<pthread_mutex_t*>(m_handle)) == 0;
}

int KtUSysLock::Unlock() {
    return m_handle && pthread_mutex_unlock(static_cast<pthread_mutex_t*>(m_handle)) == 0;
}

//===- KtURecursiveLock.cpp - Lock its owner may take again ---------------===//
#include <ktutil/KtUError.h>
#include <ktutil/KtURecursiveLock.h>

#include "platform/event.h"
#include "platform/lock.h"

using ktu::sys::Event;

KtURecursiveLock::KtURecursiveLock() : m_released(new Event(false, true)) {
    if (!m_mutex.Create())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 0, this, "KtULock::KtULock");
}

KtURecursiveLock::~KtURecursiveLock() {
    if (m_count != 0)
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 17, this,
                       "KtURecursiveLock::~KtURecursiveLock");
    m_mutex.Destroy();
    delete static_cast<Event*>(m_released);
}

void KtURecursiveLock::Lock() {
    unsigned int self = ktu::sys::CurrentThreadId();
    m_mutex.Lock();
    while (m_count != 0 && m_owner != self) {
        m_mutex.Unlock();
        static_cast<Event*>(m_released)->Wait();
        m_mutex.Lock();
    }
    ++m_count;
    m_owner = self;
    m_mutex.Unlock();
}

void KtURecursiveLock::Unlock() {
    m_mutex.Lock();
    if (m_count == 0) {
        m_mutex.Unlock();
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 18, this,
                       "KtURecursiveLock::Unlock");
        return;
    }
    bool released = --m_count == 0;
    m_mutex.Unlock();
    if (released) static_cast<Event*>(m_released)->Set();
}

//===- KtUReadWriteLock.cpp - Many readers or one writer, writers first ---===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUReadWriteLock.h>

#include "platform/event.h"

using ktu::sys::Event;

static Event& E(void* event) {
    return *static_cast<Event*>(event);
}

KtUReadWriteLock::KtUReadWriteLock()
    : m_reader_event(new Event(false, true)), m_writer_event(new Event(false, true)) {
    if (!m_mutex.Create())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 0, this, "KtULock::KtULock");
}

KtUReadWriteLock::~KtUReadWriteLock() {
    if (m_state != 0 || m_waiting_writers != 0)
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 19, this,
                       "KtUReadWriteLock::~KtUReadWriteLock");
    m_mutex.Destroy();
    delete &E(m_reader_event);
    delete &E(m_writer_event);
}

void KtUReadWriteLock::ReadLock() {
    m_mutex.Lock();
    while (m_state == -1 || m_waiting_writers > 0) {
        m_mutex.Unlock();
        E(m_reader_event).Wait();
        m_mutex.Lock();
    }
    ++m_state;
    m_mutex.Unlock();
    E(m_reader_event).Set(); // further waiting readers pass too
}

void KtUReadWriteLock::WriteLock() {
    m_mutex.Lock();
    while (m_state != 0) {
        ++m_waiting_writers;
        m_mutex.Unlock();
        E(m_writer_event).Wait();
        m_mutex.Lock();
        --m_waiting_writers;
    }
    m_state = -1;
    m_mutex.Unlock();
}

void KtUReadWriteLock::ReadUnlock() {
    m_mutex.Lock();
    if (m_state <= 0) {
        m_mutex.Unlock();
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 20, this,
                       "KtUReadWriteLock::ReadUnlock");
        return;
    }
    if (--m_state == 0 && m_waiting_writers > 0) E(m_writer_event).Set();
    m_mutex.Unlock();
}

void KtUReadWriteLock::WriteUnlock() {
    m_mutex.Lock();
    if (m_state != -1) {
        m_mutex.Unlock();
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 21, this,
                       "KtUReadWriteLock::WriteUnlock");
        return;
    }
    m_state = 0;
    if (m_waiting_writers > 0)
        E(m_writer_event).Set();
    else
        E(m_reader_event).Set();
    m_mutex.Unlock();
}

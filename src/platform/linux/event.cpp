//===- event.cpp - Events over pthread mutexes and conditions -------------===//
#include "platform/event.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <semaphore.h>

namespace ktu::sys {

void DeadlineAfter(int ms, timespec* out) {
    clock_gettime(CLOCK_MONOTONIC, out);
    out->tv_sec += ms / 1000;
    out->tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (out->tv_nsec >= 1000000000L) {
        out->tv_nsec -= 1000000000L;
        ++out->tv_sec;
    }
}

Event::Event(bool manual_reset, bool signalled) : m_manual(manual_reset), m_state(signalled) {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    bool mutex_ok = pthread_mutex_init(&m_mutex, nullptr) == 0;
    bool cond_ok = pthread_cond_init(&m_cond, &attr) == 0;
    pthread_condattr_destroy(&attr);
    m_valid = mutex_ok && cond_ok;
}

Event::~Event() {
    pthread_cond_destroy(&m_cond);
    pthread_mutex_destroy(&m_mutex);
}

void Event::Set() {
    pthread_mutex_lock(&m_mutex);
    m_state = true;
    if (m_manual)
        pthread_cond_broadcast(&m_cond);
    else
        pthread_cond_signal(&m_cond);
    pthread_mutex_unlock(&m_mutex);
}

void Event::Reset() {
    pthread_mutex_lock(&m_mutex);
    m_state = false;
    pthread_mutex_unlock(&m_mutex);
}

bool Event::IsSet() const {
    pthread_mutex_lock(&m_mutex);
    bool state = m_state;
    pthread_mutex_unlock(&m_mutex);
    return state;
}

bool Event::Wait(int timeout_ms) {
    timespec deadline;
    if (timeout_ms >= 0) DeadlineAfter(timeout_ms, &deadline);
    pthread_mutex_lock(&m_mutex);
    while (!m_state) {
        int rc = timeout_ms < 0 ? pthread_cond_wait(&m_cond, &m_mutex)
                                : pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
        if (rc != 0 && !m_state) {
            pthread_mutex_unlock(&m_mutex);
            return false;
        }
    }
    if (!m_manual) m_state = false;
    pthread_mutex_unlock(&m_mutex);
    return true;
}

static thread_local int t_refused_creations = 0;

void RefuseCreationsForTest(int count) {
    t_refused_creations = count;
}

bool CreationRefusedForTest() {
    if (t_refused_creations <= 0) return false;
    --t_refused_creations;
    return true;
}

// --- Semaphore: a POSIX unnamed semaphore ----------------------------------

struct Semaphore {
    sem_t sem;
};

Semaphore* SemaphoreCreate() {
    auto* s = new (std::nothrow) Semaphore;
    if (!s || sem_init(&s->sem, 0, 0) != 0) {
        delete s;
        return nullptr;
    }
    return s;
}

bool SemaphoreDestroy(Semaphore* semaphore) {
    if (sem_destroy(&semaphore->sem) != 0) return false;
    delete semaphore;
    return true;
}

bool SemaphorePost(Semaphore* semaphore, int max) {
    int value = 0;
    if (sem_getvalue(&semaphore->sem, &value) != 0 || value >= max) return false;
    return sem_post(&semaphore->sem) == 0;
}

bool SemaphoreWait(Semaphore* semaphore) {
    int rc;
    while ((rc = sem_wait(&semaphore->sem)) != 0 && errno == EINTR) {
    }
    return rc == 0;
}

} // namespace ktu::sys

//===- KtUSemaphore.cpp - Counting semaphore of the application layer -----===//
#include <ktutil/KtUError.h>
#include <ktutil/KtULock.h>
#include <ktutil/KtUSemaphore.h>

KtUSemaphore::KtUSemaphore() {
    if (!m_semaphore.Create())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 8, this,
                       "KtUSemaphore::KtUSemaphore");
}

// A semaphore whose creation failed was reported then; there is nothing to
// close.
KtUSemaphore::~KtUSemaphore() {
    if (m_semaphore.IsCreated() && !m_semaphore.Destroy())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 11, this,
                       "KtUSemaphore::~KtUSemaphore");
}

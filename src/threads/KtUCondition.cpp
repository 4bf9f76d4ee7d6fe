//===- KtUCondition.cpp - Wake-up signal of the application layer ---------===//
#include <ktutil/KtUCondition.h>
#include <ktutil/KtUError.h>

KtUCondition::KtUCondition() {
    if (!m_condition.Create())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 4, this,
                       "KtUCondition::KtUCondition");
}

// A condition whose creation failed was reported then; there is nothing to
// close.
KtUCondition::~KtUCondition() {
    if (m_condition.IsCreated() && !m_condition.Destroy())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 7, this,
                       "KtUCondition::KtUCondition");
}

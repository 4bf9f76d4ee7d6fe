//===- KtUCondition.cpp - Wake-up signal of the application layer ---------===//
#include <ktutil/KtUCondition.h>
#include <ktutil/KtUError.h>

KtUCondition::KtUCondition() {
    if (!m_condition.Create())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 4, this,
                       "KtUCondition::KtUCondition");
}

KtUCondition::~KtUCondition() {
    if (!m_condition.Destroy())
        KtUError::Post(KtUSysError::eERROR, ktu::sys::LockComponent(), 7, this,
                       "KtUCondition::KtUCondition");
}

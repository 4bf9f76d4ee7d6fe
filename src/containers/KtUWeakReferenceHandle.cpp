//===- KtUWeakReferenceHandle.cpp - Shared handle of weak references ------===//
#include <ktutil/KtUWeakReferenceHandle.h>
#include <ktutil/KtUWeakReferenceTarget.h>

KtUWeakReferenceHandle* KtUWeakReferenceHandle::Ref(KtUWeakReferenceTarget* target) {
    if (!target) return nullptr;
    if (!target->m_handle) target->m_handle = new KtUWeakReferenceHandle(target);
    KtUWeakReferenceHandle* handle = target->m_handle;
    if (handle) ++handle->m_count;
    return handle;
}

void KtUWeakReferenceHandle::Unref() {
    if (--m_count > 0) return;
    if (m_target) m_target->m_handle = nullptr;
    delete this;
}

//===- KtUConstWCharPtrVector.cpp - Vector of wide-string pointers --------===//
#include <ktutil/KtUConstWCharPtrVector.h>
#include <ktutil/KtUWideString.h>

#include "containers/vector_impl.h"

#include <algorithm>

template class KtUBasicVector<const KtUWChar*>;

KtUConstWCharPtrVector::KtUConstWCharPtrVector(const KtUConstWCharPtrVector& other)
    : KtUBasicVector() {
    SetFrom(other);
}

KtUConstWCharPtrVector::~KtUConstWCharPtrVector() {
    FreeCopies();
}

KtUConstWCharPtrVector& KtUConstWCharPtrVector::operator=(const KtUConstWCharPtrVector& other) {
    SetFrom(other);
    return *this;
}

void KtUConstWCharPtrVector::PushBackCopy(const KtUWChar* text) {
    if (!text) {
        PushBack(nullptr);
        return;
    }
    KtUWChar* copy = KtUWideString::AllocAndCopy(text);
    m_copies.PushBack(copy);
    PushBack(copy);
}

void KtUConstWCharPtrVector::Clear() {
    KtUBasicVector::Clear();
    FreeCopies();
}

void KtUConstWCharPtrVector::Swap(KtUConstWCharPtrVector& other) noexcept {
    KtUBasicVector::Swap(other);
    m_copies.Swap(other.m_copies);
}

void KtUConstWCharPtrVector::SetFrom(const KtUConstWCharPtrVector& other) {
    if (&other == this) return;
    // Build the new contents aside, so that other may share texts with us.
    KtUConstWCharPtrVector result;
    KtUBasicVector<const KtUWChar*> owned(other.m_copies);
    std::sort(owned.Begin(), owned.End(), std::less<const KtUWChar*>());
    result.Reserve(other.Size());
    for (const KtUWChar* text : other) {
        if (std::binary_search(owned.Begin(), owned.End(), text, std::less<const KtUWChar*>()))
            result.PushBackCopy(text);
        else
            result.PushBack(text);
    }
    Swap(result);
}

void KtUConstWCharPtrVector::FreeCopies() {
    for (const KtUWChar* text : m_copies)
        KtUWideString::Dealloc(const_cast<KtUWChar*>(text));
    m_copies.Clear();
}

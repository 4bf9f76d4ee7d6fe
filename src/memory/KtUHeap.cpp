//===- KtUHeap.cpp - Variable-size pool interface -------------------------===//
#include <ktutil/KtUHeap.h>

KtUHeap::KtUHeap(unsigned int min_size, unsigned int max_size)
    : m_min_size(min_size), m_max_size(max_size) {}

KtUHeap::~KtUHeap() = default;

void* KtUHeap::Alloc(unsigned int) {
    return nullptr;
}
void KtUHeap::Dealloc(void*, unsigned int) {}
void* KtUHeap::Resize(void*, unsigned int, unsigned int) {
    return nullptr;
}
void* KtUHeap::Expand(void*, unsigned int*, unsigned int) {
    return nullptr;
}
void* KtUHeap::Compact(void* block, unsigned int) {
    return block;
}
void KtUHeap::Release() {}

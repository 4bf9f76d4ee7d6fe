//===- KtUHeap.h - Variable-size pool interface ---------------------------===//
//
// KtUHeap is the variable-size counterpart of the arenas: a pool for blocks
// between a minimum and a maximum size. The base class allocates nothing
// (Alloc, Resize and Expand return null); it marks the interface that heap
// implementations provide.
//
//   KtUHeap heap(16, 4096);
//   void* p = heap.Alloc(100);   // null: the base heap has no memory
//
// Thread safety: a heap is owned by one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUHEAP_H
#define KTUTIL_KTUHEAP_H

#include <ktutil/KtUMemory.h>

/// Variable-size pool interface that allocates nothing by itself.
class KTU_API KtUHeap {
public:
    KtUHeap(unsigned int min_size, unsigned int max_size);
    ~KtUHeap();

    unsigned int GetMinSize() const { return m_min_size; }
    unsigned int GetMaxSize() const { return m_max_size; }
    void* Alloc(unsigned int size);
    void Dealloc(void* block, unsigned int size);
    void* Resize(void* block, unsigned int old_size, unsigned int new_size);
    void* Expand(void* block, unsigned int* size, unsigned int min_size);
    void* Compact(void* block, unsigned int size);
    void Release();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    unsigned int m_min_size;
    unsigned int m_max_size;
    [[maybe_unused]] unsigned int m_state[5] = {}; // for implementations
};

#endif // KTUTIL_KTUHEAP_H

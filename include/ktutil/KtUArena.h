//===- KtUArena.h - Fixed-size block arena that retries through the new handler ===//
//
// KtUArena is a KtURawArena whose Alloc asks the memory manager's new handler
// for a retry when the system refuses memory, so that a host's paging can free
// memory first:
//
//   KtUArena nodes(sizeof(Node), 8);
//   Node* n = new (&nodes) Node;      // KTU_DECLARE_ALLOCATION_OPERATORS
//   n->~Node();
//   nodes.Dealloc(n);
//
// Thread safety: as KtURawArena, one owner thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUARENA_H
#define KTUTIL_KTUARENA_H

#include <ktutil/KtURawArena.h>

/// A KtURawArena of platform-sized regions whose Alloc retries while the
/// memory manager's new handler frees memory.
class KTU_API KtUArena : public KtURawArena {
public:
    KtUArena(unsigned int object_size, unsigned int alignment);

    /// A block, or null when the new handler (if any) gives up.
    void* Alloc();

    // On the memory manager, out of line: this header comes before KtUMemory's.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block, std::size_t size) noexcept;
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}
};

#endif // KTUTIL_KTUARENA_H

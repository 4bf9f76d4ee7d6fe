//===- KtUDeletable.h - Root of objects deleted through a base pointer ----===//
//
// KtUDeletable carries only a virtual destructor and the allocation operator
// family, so objects of any derived class can be deleted through a
// KtUDeletable* and may live in the memory manager or in any arena:
//
//   class Part : public KtUDeletable {
//   public:
//       KTU_DECLARE_ALLOCATION_OPERATORS   // plain new/delete release sizeof(Part)
//   };
//   KtUDeletable* p = new Part;
//   delete p;
//
// A derived class created with plain new declares its own operators (the
// macro above); otherwise delete releases only sizeof(KtUDeletable).
//
// Thread safety: as the derived class.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUDELETABLE_H
#define KTUTIL_KTUDELETABLE_H

#include <ktutil/KtUMemory.h>

/// Root for objects deleted through a base pointer, in any pool.
class KTU_API KtUDeletable {
public:
    KtUDeletable() = default;
    KtUDeletable(const KtUDeletable&) = default;
    KtUDeletable& operator=(const KtUDeletable&) = default;
    virtual ~KtUDeletable();

    static void* operator new(std::size_t size) noexcept {
        return KtUMemory::AllocEx(static_cast<unsigned int>(size), KtUMemory::eALIGN1, 0);
    }
    /// Releases sizeof(KtUDeletable): derived classes declare their own.
    static void operator delete(void* block) noexcept {
        KtUMemory::Dealloc(block, sizeof(KtUDeletable), KtUMemory::eALIGN1);
    }
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}
    static void* operator new(std::size_t, KtURawArena* arena) noexcept { return arena->Alloc(); }
    static void operator delete(void* block, KtURawArena* arena) noexcept { arena->Dealloc(block); }
    static void* operator new(std::size_t, KtUArena* arena) noexcept { return arena->Alloc(); }
    static void operator delete(void* block, KtUArena* arena) noexcept { arena->Dealloc(block); }
    static void* operator new(std::size_t, KtUFastArena* arena) noexcept { return arena->Alloc(); }
    static void operator delete(void* block, KtUFastArena* arena) noexcept {
        arena->Dealloc(block);
    }
};

#endif // KTUTIL_KTUDELETABLE_H

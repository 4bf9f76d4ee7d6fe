//===- KtUArena.cpp - Fixed-size block arena that retries through the new handler ===//
#include <ktutil/KtUArena.h>
#include <ktutil/KtUMemory.h>

KtUArena::KtUArena(unsigned int object_size, unsigned int alignment)
    : KtURawArena(object_size, alignment, 0) {}

void* KtUArena::Alloc() {
    for (;;) {
        if (void* block = KtURawArena::Alloc()) return block;
        KtUMemory::NewHandler handler = KtUMemory::GetNewHandler();
        if (!handler || !handler(GetAlignedSize(), 0)) return nullptr;
    }
}

void* KtUArena::operator new(std::size_t size) noexcept {
    return KtUMemory::AllocEx(static_cast<unsigned int>(size), KtUMemory::eALIGN8, 0);
}

void KtUArena::operator delete(void* block, std::size_t size) noexcept {
    KtUMemory::Dealloc(block, static_cast<unsigned int>(size), KtUMemory::eALIGN8);
}

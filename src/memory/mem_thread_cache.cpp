//===- mem_thread_cache.cpp - Per-thread caches of free arena blocks ------===//
#include "memory/mem_thread_cache.h"

#include <ktutil/KtURawArena.h>

#include "memory/mem_retain.h"
#include "platform/lock.h"
#include "platform/thread.h"
#include "platform/vm.h"

#include <cstring>
#include <new>

namespace ktu::mem {

__thread ThreadCache* t_cache = nullptr;

namespace {

using ktu::sys::LockGuard;

// Everything below is guarded by g_lock.

// The arena of slot 0; slot k is the arena after it in the manager's store.
KtURawArena* g_arenas = nullptr;
// Registered caches, and the objects of ended threads kept for new ones.
ThreadCache* g_registry = nullptr;
ThreadCache* g_spare = nullptr;
unsigned g_registered = 0;
// Deltas of caches no longer registered.
int64_t g_ended_delta = 0;
int g_exit_hook = -1;

// Half-lists on their way from a thread whose list filled to one whose list
// ran empty, so that blocks allocated on one thread and freed on another
// pass between them in chains, without going through the arena one by one.
constexpr unsigned kTransferChains = 8;
struct TransferStack {
    void* heads[kTransferChains];
    uint32_t counts[kTransferChains];
    uint32_t chains = 0;
    uint32_t blocks = 0; // in all chains, for the histogram
};
TransferStack g_transfer[kCacheSlots];

// What a thread uses after its exit hook has run: every list empty and every
// limit 0, so that each operation takes the locked path straight to the arena.
ThreadCache g_ended_thread;

unsigned LimitFor(unsigned block_size) {
    if (block_size < sizeof(void*) || block_size > kCacheBytes) return 0;
    unsigned n = kCacheBytes / block_size;
    if (n < 2) n = 2;
    return n < kCacheMaxBlocks ? n : kCacheMaxBlocks;
}

void Link(ThreadCache* c) {
    c->prev = nullptr;
    c->next = g_registry;
    if (g_registry) g_registry->prev = c;
    g_registry = c;
    ++g_registered;
}

void Unlink(ThreadCache* c) {
    if (c->prev)
        c->prev->next = c->next;
    else
        g_registry = c->next;
    if (c->next) c->next->prev = c->prev;
    c->next = c->prev = nullptr;
    --g_registered;
}

// Returns the blocks of the chain starting at head to their arena.
void DeallocChain(KtURawArena* arena, void* head) {
    const unsigned size = arena->GetAlignedSize();
    for (char* block = static_cast<char*>(head); block;) {
        Unpoison(block, size);
        char* next;
        std::memcpy(&next, block, sizeof(void*));
        arena->Dealloc(block);
        block = next;
    }
}

// Returns every block of c to its arena; the lists start again at limit 0.
void Flush(ThreadCache* c) {
    for (unsigned slot = 0; slot < kCacheSlots; ++slot) {
        CacheBin& bin = c->bins[slot];
        if (bin.head) DeallocChain(g_arenas + slot, bin.head);
        bin.head = nullptr;
        bin.count.store(0, std::memory_order_relaxed);
        bin.limit = 0;
    }
}

// Returns every chain in transit to its arena.
void FlushTransfers() {
    for (unsigned slot = 0; slot < kCacheSlots; ++slot) {
        TransferStack& t = g_transfer[slot];
        for (uint32_t k = 0; k < t.chains; ++k)
            DeallocChain(g_arenas + slot, t.heads[k]);
        t.chains = 0;
        t.blocks = 0;
    }
}

// Forgets c's lists without touching their blocks (they may be torn).
void Forget(ThreadCache* c) {
    for (CacheBin& bin : c->bins) {
        bin.head = nullptr;
        bin.count.store(0, std::memory_order_relaxed);
        bin.limit = 0;
    }
}

void Retire(ThreadCache* c) {
    g_ended_delta += c->delta.exchange(0, std::memory_order_relaxed);
    Unlink(c);
    c->next = g_spare;
    g_spare = c;
}

void ThreadEnded(void* value) {
    auto* c = static_cast<ThreadCache*>(value);
    LockGuard guard(g_lock);
    Flush(c);
    Retire(c);
    t_cache = &g_ended_thread;
}

void BeforeFork() {
    g_lock.Lock();
}

void AfterForkParent() {
    g_lock.Unlock();
}

// The child has only the forking thread. The others' lists may have been in
// the middle of a push or pop, so their blocks are lost to the child; their
// deltas stay counted (the blocks their hosts held are never freed here).
void AfterForkChild() {
    for (ThreadCache* c = g_registry; c;) {
        ThreadCache* next = c->next;
        if (c != t_cache) {
            Forget(c);
            Retire(c);
        }
        c = next;
    }
    g_lock.Unlock();
}

// Installed when the library is loaded, before any thread of the process can
// hold g_lock: a fork handler installed later could miss a fork that copies
// the lock held.
bool InstallHooks() {
    g_exit_hook = ktu::sys::NewThreadExitHook(ThreadEnded);
    return g_exit_hook >= 0 && ktu::sys::AtFork(BeforeFork, AfterForkParent, AfterForkChild);
}
const bool g_hooks_installed = InstallHooks();

// The calling thread's cache, created on first use; null when caches are
// not in use now or one cannot be had.
ThreadCache* CurrentCache() {
    if (ktu::sys::HasOneThread() || Debugging()) return nullptr;
    ThreadCache* c = t_cache;
    if (c == &g_ended_thread) return nullptr;
    if (c || !g_hooks_installed) return c;
    if (g_spare) {
        c = g_spare;
        g_spare = c->next;
    } else {
        void* memory = ktu::sys::VmAllocate(sizeof(ThreadCache));
        if (!memory) return nullptr;
        c = new (memory) ThreadCache;
    }
    if (!ktu::sys::SetThreadExitValue(g_exit_hook, c)) {
        c->next = g_spare;
        g_spare = c;
        return nullptr;
    }
    Link(c);
    t_cache = c;
    return c;
}

// The bin of slot in the calling thread's cache when it may hold blocks.
CacheBin* CurrentBin(KtURawArena* arena, unsigned slot) {
    if (slot >= kCacheSlots) return nullptr;
    ThreadCache* c = CurrentCache();
    if (!c) return nullptr;
    g_arenas = arena - slot;
    CacheBin& bin = c->bins[slot];
    if (bin.limit == 0) bin.limit = LimitFor(arena->GetAlignedSize());
    return bin.limit ? &bin : nullptr;
}

} // namespace

void* CacheAllocSlow(KtURawArena* arena, unsigned slot) {
    // An empty list takes a chain another thread's full list gave up.
    CacheBin* empty = CurrentBin(arena, slot);
    if (empty && !empty->head && g_transfer[slot].chains) {
        TransferStack& t = g_transfer[slot];
        --t.chains;
        t.blocks -= t.counts[t.chains];
        char* block = static_cast<char*>(t.heads[t.chains]);
        Unpoison(block, arena->GetAlignedSize());
        std::memcpy(&empty->head, block, sizeof(void*));
        empty->count.store(t.counts[t.chains] - 1, std::memory_order_relaxed);
        return block;
    }
    void* block = arena->Alloc();
    CacheBin* bin = block ? CurrentBin(arena, slot) : nullptr;
    if (!bin) return block;
    const unsigned size = arena->GetAlignedSize();
    uint32_t count = bin->count.load(std::memory_order_relaxed);
    const uint32_t target = bin->limit / 2 > 0 ? bin->limit / 2 : 1;
    while (count < target) {
        char* extra = static_cast<char*>(arena->Alloc());
        if (!extra) break;
        std::memcpy(extra, &bin->head, sizeof(void*));
        Poison(extra, size);
        bin->head = extra;
        ++count;
    }
    bin->count.store(count, std::memory_order_relaxed);
    return block;
}

void CacheDeallocSlow(KtURawArena* arena, unsigned slot, void* block) {
    CacheBin* bin = CurrentBin(arena, slot);
    if (!bin) {
        arena->Dealloc(block);
        return;
    }
    const unsigned size = arena->GetAlignedSize();
    uint32_t count = bin->count.load(std::memory_order_relaxed);
    if (count >= bin->limit) {
        // Full: the most recently freed half leaves the list as one chain,
        // for a thread whose list runs empty, or back to the arena when
        // enough chains are in transit already.
        const uint32_t keep = bin->limit / 2, moved = count - keep;
        char* head = static_cast<char*>(bin->head);
        char* last = head;
        for (uint32_t k = 1; k < moved; ++k) {
            char* next;
            Unpoison(last, sizeof(void*));
            std::memcpy(&next, last, sizeof(void*));
            Poison(last, sizeof(void*));
            last = next;
        }
        Unpoison(last, sizeof(void*));
        std::memcpy(&bin->head, last, sizeof(void*));
        std::memset(last, 0, sizeof(void*));
        Poison(last, size);
        TransferStack& t = g_transfer[slot];
        if (t.chains < kTransferChains) {
            t.heads[t.chains] = head;
            t.counts[t.chains] = moved;
            ++t.chains;
            t.blocks += moved;
        } else {
            DeallocChain(arena, head);
        }
        count = keep;
    }
    std::memcpy(block, &bin->head, sizeof(void*));
    Poison(block, size);
    bin->head = block;
    bin->count.store(count + 1, std::memory_order_relaxed);
}

int64_t CacheArenaDelta() {
    int64_t sum = g_ended_delta;
    for (ThreadCache* c = g_registry; c; c = c->next)
        sum += c->delta.load(std::memory_order_relaxed);
    return sum;
}

unsigned CachedBlocks(unsigned slot) {
    if (slot >= kCacheSlots) return 0;
    unsigned n = g_transfer[slot].blocks;
    for (ThreadCache* c = g_registry; c; c = c->next)
        n += c->bins[slot].count.load(std::memory_order_relaxed);
    return n;
}

int64_t CacheFlushAll() {
    ktu::sys::FastLockGuard guard(g_lock);
    int64_t sum = g_ended_delta;
    g_ended_delta = 0;
    for (ThreadCache* c = g_registry; c; c = c->next) {
        Flush(c);
        sum += c->delta.exchange(0, std::memory_order_relaxed);
    }
    FlushTransfers();
    return sum;
}

void CacheFlushCurrent() {
    ThreadCache* c = t_cache;
    if (!c || c == &g_ended_thread) return;
    ktu::sys::FastLockGuard guard(g_lock);
    Flush(c);
    FlushTransfers();
}

unsigned RegisteredCaches() {
    ktu::sys::FastLockGuard guard(g_lock);
    return g_registered;
}

} // namespace ktu::mem

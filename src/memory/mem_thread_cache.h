//===- mem_thread_cache.h - Per-thread caches of free arena blocks --------===//
//
// Once the process has a second thread, every thread keeps, per arena of the
// manager's arena store (its "slot"), a LIFO list of free blocks of that
// arena. The common allocation pops from the calling thread's list and the
// common release pushes onto it: no lock, and no cache line that another
// thread writes. An empty list is refilled and a full one drained, half its
// limit at a time, under g_lock with the arena's own Alloc and Dealloc.
//
// A cached block counts as allocated in its arena. What hosts read is kept
// exact apart from that: each thread keeps its net arena bytes (allocated
// minus released through its cache) as a delta that readers add, and the
// histogram subtracts the blocks sitting in caches.
//
// Caches are filled only while scrub and check are off; turning either on
// first flushes every cache (switches change while no other thread
// allocates). A thread's cache goes back to the arenas when the thread ends.
// After fork() the child forgets the caches of the threads it does not have.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_MEM_THREAD_CACHE_H
#define KTUTIL_MEM_THREAD_CACHE_H

#include "memory/mem_switches.h"
#include "platform/assert.h"
#include "platform/export.h"

#include <atomic>
#include <cstdint>
#include <cstring>

class KtURawArena;

namespace ktu::mem {

/// Slots: one per arena of the manager's store (small, medium, exact).
constexpr unsigned kCacheSlots = 320;
/// A class caches at most this many bytes per thread, and 2 to 64 blocks.
constexpr unsigned kCacheBytes = 16384;
constexpr unsigned kCacheMaxBlocks = 64;

struct CacheBin {
    void* head = nullptr;
    /// Blocks in the list; read by other threads for the histogram.
    std::atomic<uint32_t> count{0};
    /// 0 until the owner's first slow-path call for the slot (and after a
    /// flush); stays 0 for blocks too small or too large to cache.
    uint32_t limit = 0;
};

struct alignas(64) ThreadCache {
    CacheBin bins[kCacheSlots];
    /// Arena bytes handed to hosts minus bytes taken back, through this cache.
    std::atomic<int64_t> delta{0};
    ThreadCache* next = nullptr;
    ThreadCache* prev = nullptr;
};

/// The calling thread's cache: null before its first slow-path call, a
/// permanently empty one after the thread's exit hook has run.
extern __thread ThreadCache* t_cache __attribute__((tls_model("initial-exec")));

/// A block of `counted` bytes (the arena's block size) from the calling
/// thread's list for slot, or null.
inline void* CachePop(unsigned slot, unsigned counted) {
    ThreadCache* c = t_cache;
    if (__builtin_expect(c == nullptr, 0)) return nullptr;
    CacheBin& bin = c->bins[slot];
    char* block = static_cast<char*>(bin.head);
    if (__builtin_expect(block == nullptr, 0)) return nullptr;
    Unpoison(block, counted);
    std::memcpy(&bin.head, block, sizeof(void*));
    const uint32_t left = bin.count.load(std::memory_order_relaxed) - 1;
    KTU_ASSERT((left == 0) == (bin.head == nullptr)); // the list and its count agree
    bin.count.store(left, std::memory_order_relaxed);
    c->delta.store(c->delta.load(std::memory_order_relaxed) + counted, std::memory_order_relaxed);
    return block;
}

/// Keeps block in the calling thread's list for slot; false when the list is
/// full or the slot is not cached.
inline bool CachePush(unsigned slot, void* block, unsigned counted) {
    ThreadCache* c = t_cache;
    if (__builtin_expect(c == nullptr, 0)) return false;
    CacheBin& bin = c->bins[slot];
    uint32_t count = bin.count.load(std::memory_order_relaxed);
    if (__builtin_expect(count >= bin.limit, 0)) return false;
    std::memcpy(block, &bin.head, sizeof(void*));
    Poison(block, counted);
    bin.head = block;
    bin.count.store(count + 1, std::memory_order_relaxed);
    c->delta.store(c->delta.load(std::memory_order_relaxed) - int64_t(counted),
                   std::memory_order_relaxed);
    return true;
}

// The rest runs with g_lock held unless it says otherwise.

/// A block from arena (slot `slot`), refilling the calling thread's list for
/// the slot when caches are in use; null when the arena has none.
void* CacheAllocSlow(KtURawArena* arena, unsigned slot);
/// Gives block back: to the calling thread's list (draining half of it into
/// the arena when full) when caches are in use, else to the arena.
void CacheDeallocSlow(KtURawArena* arena, unsigned slot, void* block);
/// The sum of every thread's delta (including threads that have ended).
int64_t CacheArenaDelta();
/// Blocks of slot held in all caches.
unsigned CachedBlocks(unsigned slot);

/// Takes g_lock. Returns every cached block to its arena and folds all deltas
/// into the return value, which the caller adds to its arena byte counter.
/// Other threads must not be allocating.
int64_t CacheFlushAll();
/// Takes g_lock. Returns the calling thread's cached blocks to their arenas.
void CacheFlushCurrent();

/// Caches registered now (threads that have used one and not ended).
KTU_INTERNAL_API unsigned RegisteredCaches();

} // namespace ktu::mem

#endif // KTUTIL_MEM_THREAD_CACHE_H

//===- mem_retain.cpp - Retained pages and the region cache ---------------===//
#include "memory/mem_retain.h"

#include "memory/mem_switches.h"
#include "platform/clock.h"
#include "platform/vm.h"

namespace ktu::mem {

ktu::sys::RecursiveMutex g_lock;

namespace {

using ktu::sys::kRegionSize;

// Physical state of one region, kept outside the region so that retained
// memory is never written (and stays poisoned under ASan). A region whose
// state is all zero is exactly as its arena's logical state says.
struct RegionState {
    uint64_t since;                  // when it joined the age list (coarse ms)
    uint32_t older, newer;           // age list, as region numbers (0: none)
    uint32_t cache_prev, cache_next; // cache list of its size
    uint16_t retained;               // system pages mapped but logically free (64 KiB regions)
    uint8_t cached_units;            // in the cache: region size / 64 KiB; 0 while owned
    bool aged;                       // on the age list
};

// Two-level table indexed by region number (address >> 16). Leaves are
// mapped on first use and kept: one covers 4 GiB of address space.
constexpr unsigned kLeafBits = 16;
constexpr size_t kLeafEntries = size_t(1) << kLeafBits;
constexpr size_t kTopEntries = size_t(1) << 16; // 48-bit addresses
RegionState* s_table[kTopEntries];

// The age list runs from the oldest retained region to the newest; purging
// takes the oldest first.
uint32_t s_oldest = 0, s_newest = 0;

// Cached regions per region size, most recently cached first.
struct CacheList {
    size_t size;
    uint32_t head;
};
constexpr unsigned kCacheSizes = 8;
CacheList s_cache[kCacheSizes];

uint64_t s_retained = 0;     // bytes mapped read-write and logically free
uint64_t s_committed = 0;    // bytes the arenas hold committed (logically)
uint64_t s_peak[2] = {0, 0}; // highest s_committed in this and the last decay period
uint64_t s_next_rotate = 0;
unsigned s_decay_ms = kDecayMs;
size_t s_cap_floor = kCapFloor;

inline uint32_t Number(const void* p) {
    return uint32_t(reinterpret_cast<uintptr_t>(p) >> 16);
}

inline char* Address(uint32_t n) {
    return reinterpret_cast<char*>(uintptr_t(n) << 16);
}

RegionState* Find(uint32_t n) {
    RegionState* leaf = s_table[n >> kLeafBits];
    return leaf ? &leaf[n & (kLeafEntries - 1)] : nullptr;
}

RegionState* Get(uint32_t n) {
    RegionState*& leaf = s_table[n >> kLeafBits];
    if (!leaf) {
        void* p = ktu::sys::VmAllocate(kLeafEntries * sizeof(RegionState));
        if (!p) return nullptr;
        leaf = static_cast<RegionState*>(p);
    }
    return &leaf[n & (kLeafEntries - 1)];
}

uint64_t NowMs() {
    return ktu::sys::MonotonicMs();
}

inline size_t Unit() {
    return ktu::sys::PageSize();
}

// System pages [offset, offset + size) of a 64 KiB region as a mask.
inline uint16_t Bits(size_t offset, size_t size) {
    size_t first = offset / Unit(), count = (size + Unit() - 1) / Unit();
    return uint16_t(((1u << count) - 1) << first);
}

inline uint64_t MaskBytes(uint16_t mask) {
    return uint64_t(__builtin_popcount(mask)) * Unit();
}

void AddCommitted(size_t size) {
    s_committed += size;
    if (s_committed > s_peak[0]) s_peak[0] = s_committed;
}

void AgeAppend(uint32_t n, RegionState& s, uint64_t now) {
    s.since = now;
    s.aged = true;
    s.older = s_newest;
    s.newer = 0;
    if (s_newest)
        Find(s_newest)->newer = n;
    else
        s_oldest = n;
    s_newest = n;
}

void AgeRemove(RegionState& s) {
    if (s.older)
        Find(s.older)->newer = s.newer;
    else
        s_oldest = s.newer;
    if (s.newer)
        Find(s.newer)->older = s.older;
    else
        s_newest = s.older;
    s.aged = false;
    s.older = s.newer = 0;
}

CacheList* CacheFor(size_t size, bool add) {
    for (CacheList& c : s_cache)
        if (c.size == size) return &c;
    if (add)
        for (CacheList& c : s_cache)
            if (c.size == 0) {
                c.size = size;
                return &c;
            }
    return nullptr;
}

void CachePush(CacheList& c, uint32_t n, RegionState& s) {
    s.cache_prev = 0;
    s.cache_next = c.head;
    if (c.head) Find(c.head)->cache_prev = n;
    c.head = n;
}

void CacheUnlink(RegionState& s) {
    CacheList& c = *CacheFor(size_t(s.cached_units) * kRegionSize, false);
    if (s.cache_prev)
        Find(s.cache_prev)->cache_next = s.cache_next;
    else
        c.head = s.cache_next;
    if (s.cache_next) Find(s.cache_next)->cache_prev = s.cache_prev;
    s.cache_prev = s.cache_next = 0;
}

// Decommits the retained pages of mask in runs: one system call pair per run.
void PurgePages(char* base, uint16_t mask) {
    const size_t unit = Unit();
    for (unsigned i = 0; i < 16;) {
        if (!(mask >> i & 1)) {
            ++i;
            continue;
        }
        unsigned j = i;
        while (j < 16 && (mask >> j & 1))
            ++j;
        Unpoison(base + i * unit, (j - i) * unit);
        ktu::sys::VmDecommit(base + i * unit, (j - i) * unit);
        i = j;
    }
}

// Purges region n: a cached region is unmapped, a live one loses its
// retained pages.
uint64_t Purge(uint32_t n, RegionState& s) {
    char* base = Address(n);
    uint64_t bytes;
    if (s.aged) AgeRemove(s);
    if (s.cached_units) {
        size_t size = size_t(s.cached_units) * kRegionSize;
        bytes = s.cached_units > 1 ? size : MaskBytes(s.retained);
        CacheUnlink(s);
        s = RegionState{};
        Unpoison(base, size);
        ktu::sys::VmRelease(base, size);
    } else {
        bytes = MaskBytes(s.retained);
        PurgePages(base, s.retained);
        s.retained = 0;
    }
    s_retained -= bytes;
    return bytes;
}

// Room for retained memory: never less than the floor, and otherwise as much
// as the arenas' recent peak of committed memory exceeds what they commit
// now, so that retention does not raise the footprint above that peak.
uint64_t Cap() {
    uint64_t peak = s_peak[0] > s_peak[1] ? s_peak[0] : s_peak[1];
    uint64_t room = peak > s_committed ? peak - s_committed : 0;
    return room > s_cap_floor ? room : s_cap_floor;
}

void Enforce(uint64_t now) {
    if (now >= s_next_rotate) {
        s_peak[1] = s_peak[0];
        s_peak[0] = s_committed;
        s_next_rotate = now + s_decay_ms;
    }
    while (s_oldest) {
        RegionState& s = *Find(s_oldest);
        if (now - s.since < s_decay_ms && s_retained <= Cap()) break;
        Purge(s_oldest, s);
    }
}

} // namespace

bool CommitPage(void* page, size_t size) {
    ktu::sys::FastLockGuard guard(g_lock);
    uint32_t n = Number(page);
    uint16_t bits = Bits(size_t(static_cast<char*>(page) - Address(n)), size);
    RegionState* s = Find(n);
    uint16_t had = s ? uint16_t(s->retained & bits) : 0;
    if (had != bits) {
        if (!ktu::sys::VmCommit(page, size)) return false;
        ktu::sys::VmPopulate(page, size); // one call instead of a fault per system page
    }
    if (had) {
        s->retained &= uint16_t(~bits);
        s_retained -= MaskBytes(had);
        if (!s->retained && s->aged) AgeRemove(*s);
        Unpoison(page, size);
    }
    AddCommitted(size);
    return true;
}

void RetainPage(void* page, size_t size) {
    ktu::sys::FastLockGuard guard(g_lock);
    s_committed -= size;
    uint32_t n = Number(page);
    RegionState* s = Get(n);
    if (!s) { // no room to remember it: decommit at once
        Unpoison(page, size);
        ktu::sys::VmDecommit(page, size);
        return;
    }
    Poison(page, size);
    s->retained |= Bits(size_t(static_cast<char*>(page) - Address(n)), size);
    s_retained += size;
    uint64_t now = NowMs();
    if (!s->aged) AgeAppend(n, *s, now);
    Enforce(now);
}

void* TakeRegion(size_t region_size, size_t ready) {
    ktu::sys::FastLockGuard guard(g_lock);
    CacheList* c = CacheFor(region_size, false);
    if (!c || !c->head) return nullptr;
    uint32_t n = c->head;
    RegionState& s = *Find(n);
    char* base = Address(n);
    if (s.cached_units > 1) { // larger regions are cached whole and read-write
        if (s.aged) AgeRemove(s);
        CacheUnlink(s);
        s = RegionState{};
        s_retained -= region_size;
    } else {
        uint16_t bits = Bits(0, ready);
        uint16_t had = s.retained & bits;
        if (had != bits && !ktu::sys::VmCommit(base, ready)) {
            Purge(n, s);
            return nullptr;
        }
        CacheUnlink(s);
        s.cached_units = 0;
        s.retained &= uint16_t(~bits);
        s_retained -= MaskBytes(had);
        if (!s.retained && s.aged) AgeRemove(s);
    }
    Unpoison(base, ready);
    AddCommitted(ready);
    return base;
}

void CountFreshRegion(size_t committed) {
    ktu::sys::FastLockGuard guard(g_lock);
    AddCommitted(committed);
}

void RetainRegion(void* region, size_t region_size, size_t committed) {
    ktu::sys::FastLockGuard guard(g_lock);
    const size_t units = region_size / kRegionSize;
    const bool cacheable =
        region_size % kRegionSize == 0 && units <= 255 && (units == 1 || committed == region_size);
    CacheList* c = cacheable ? CacheFor(region_size, true) : nullptr;
    uint32_t n = Number(region);
    RegionState* s = c ? Get(n) : nullptr;
    if (!s) {
        DropRegion(region, region_size, committed);
        return;
    }
    s_committed -= committed;
    Poison(region, committed);
    if (units == 1) {
        s->retained |= Bits(0, committed);
    } else {
        s->retained = 0xFFFF;
    }
    s_retained += committed;
    s->cached_units = uint8_t(units);
    CachePush(*c, n, *s);
    uint64_t now = NowMs();
    if (!s->aged) AgeAppend(n, *s, now);
    Enforce(now);
}

void DropRegion(void* region, size_t region_size, size_t committed) {
    ktu::sys::FastLockGuard guard(g_lock);
    s_committed -= committed;
    if (RegionState* s = Find(Number(region))) {
        if (s->aged) AgeRemove(*s);
        s_retained -= MaskBytes(s->retained);
        *s = RegionState{};
    }
    Unpoison(region, region_size);
    ktu::sys::VmRelease(region, region_size);
}

void Tick() {
    ktu::sys::FastLockGuard guard(g_lock);
    Enforce(NowMs());
}

uint64_t RetainedBytes() {
    ktu::sys::FastLockGuard guard(g_lock);
    return s_retained;
}

uint64_t PurgeAll() {
    ktu::sys::FastLockGuard guard(g_lock);
    uint64_t total = 0;
    while (s_oldest)
        total += Purge(s_oldest, *Find(s_oldest));
    return total;
}

void SetDecayForTest(unsigned ms) {
    ktu::sys::FastLockGuard guard(g_lock);
    s_decay_ms = ms;
    s_peak[0] = s_peak[1] = s_committed; // a fresh period: earlier peaks are forgotten
    s_next_rotate = NowMs() + ms;
}

void SetCapFloorForTest(size_t bytes) {
    ktu::sys::FastLockGuard guard(g_lock);
    s_cap_floor = bytes;
}

} // namespace ktu::mem

//===- KtUMemory.cpp - The library's memory manager -----------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>

#include "foundation/component.h"
#include "foundation/fatal.h"
#include "memory/mem_arena.h"
#include "memory/mem_retain.h"
#include "memory/mem_switches.h"
#include "memory/mem_thread_cache.h"
#include "platform/lock.h"
#include "platform/text.h"
#include "platform/vm.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>

namespace ktu::mem {
unsigned char g_switches = 0;

static std::atomic<long> g_fail_countdown{0};

void FailAllocationAfter(long n) {
    g_fail_countdown.store(n > 0 ? n : 0, std::memory_order_relaxed);
    SetSwitch(kFailSwitch, n > 0);
}

long AllocationsBeforeFailure() {
    return g_fail_countdown.load(std::memory_order_relaxed);
}

bool InjectedFailure() {
    if (!(g_switches & kFailSwitch)) return false;
    if (g_fail_countdown.fetch_sub(1, std::memory_order_relaxed) != 1) return false;
    SetSwitch(kFailSwitch, false);
    return true;
}
} // namespace ktu::mem

namespace {

using ktu::mem::g_lock;
using ktu::sys::FastLockGuard;

constexpr unsigned kMaxSmall = 512;
// The largest medium block size on the reference platform; Resize's heap
// path starts above it whatever the tables hold.
constexpr unsigned kMediumBound = 16256;
constexpr unsigned kSmallArenas = kMaxSmall / 4;
constexpr unsigned kBadSize = 0x7FF00001u;
constexpr unsigned kSpareSize = 0x1000000u;
constexpr unsigned kMaxArenas = 320;
constexpr unsigned kMaxExact = 24;

struct ExactEntry {
    unsigned size;
    KtURawArena* arena;
};
struct Reservation {
    void* base;
    size_t size;
};

// The manager's state, in one object. `run` is what Initialise sets up; it
// starts from its defaults and Terminate, having released what it holds,
// resets it (ResetRun). The other groups survive Terminate.
struct State {
    struct Run {
        bool set_up = false;
        // Set up and not forced to the heap: the one test the small-block hot
        // paths make before they index the small table.
        bool small_direct = false;
        // Size-class tables. small[i] serves blocks of 4 * i bytes.
        KtURawArena* small[kSmallArenas + 1] = {};
        uint64_t arena_bytes = 0, malloc_bytes = 0, region_bytes = 0, external_bytes = 0;
        KtURawArena* medium[5][64] = {};
        unsigned medium_largest[5] = {};
        unsigned max_medium = kMaxSmall; // 16256 while the medium tables exist
        unsigned medium_created = 0;
        ExactEntry exact[kMaxExact] = {};
        unsigned exact_count = 0;
        unsigned arenas_used = 0; // of arena_store
        KtUMemory::ExternalMemoryCB* callbacks = nullptr;
        unsigned callback_count = 0, callback_cap = 0;
    } run;

    // Deallocations until the next look at the clock for retained memory to
    // purge; runs on across Terminate.
    unsigned tick_countdown = ktu::mem::kTickInterval;

    // Switches: the program's choices, which survive Terminate. The *_set
    // flags record that the program chose, which overrides the environment;
    // force_malloc_region is read from the environment at each set-up.
    struct Choices {
        bool force_malloc = false;
        bool force_malloc_region = false;
        bool use_medium = true;
        bool scrub_set = false, check_set = false, force_set = false, medium_set = false;
        KtUMemory::NewHandler new_handler = nullptr;
    } choices;

    // Facts about the address space, measured at each set-up and kept after.
    struct Platform {
        unsigned page_size = 4096;
        unsigned region_size = unsigned(ktu::sys::kRegionSize);
        unsigned region_threshold = 128 * unsigned(ktu::sys::kRegionSize);
        uintptr_t largest_free_base = 0, largest_free_size = 0;
    } platform;

    // Address space held until released explicitly (Terminate undoes the
    // restriction).
    void* spare_region = nullptr;
    Reservation* reservations = nullptr;
    size_t reservation_count = 0, reservation_cap = 0;
};

KtUComponent s_component;
constinit State g;

// Arena objects live in static storage: the manager must not need a heap.
alignas(KtURawArena) unsigned char s_arena_store[kMaxArenas][sizeof(KtURawArena)];

void ResetRun() {
    g.run = State::Run{};
}

[[nodiscard]] KtURawArena* NewArena(unsigned size, unsigned alignment, unsigned region_size) {
    if (g.run.arenas_used == kMaxArenas) ktu::sys::FatalUnhandled();
    return new (s_arena_store[g.run.arenas_used++]) KtURawArena(size, alignment, region_size);
}

void PostV(KtUSysError::Severity severity, const char* format, va_list args) {
    KtUWChar text[512];
    ktu::sys::FormatToWideV(text, 512, format, args);
    KtUSysError::PostWideString(severity, &s_component, text);
}

void Post(KtUSysError::Severity severity, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void Post(KtUSysError::Severity severity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(severity, format, args);
    va_end(args);
}

unsigned long Hex(const void* p) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

[[noreturn]] __attribute__((noinline)) void BadSize(unsigned size) {
    ktu::mem::LogLine("KtUMemory: Bad size %d\n", int(size));
    ktu::sys::FatalUnhandled();
}

// A block asked for or given back before Initialise (or after the last
// Terminate): the tables do not exist. Said loudly, as a host's set-up fault.
__attribute__((noinline)) void* NotInitialised(const char* operation, unsigned size) {
    Post(KtUSysError::ePRECONDITION,
         "KtUMemory::%s of %u bytes before KtUMemory::Initialise(): initialise the memory "
         "manager (or a component that uses it) first",
         operation, size);
    return nullptr;
}

inline void CheckSize(unsigned size) {
    if (__builtin_expect(size >= kBadSize, 0)) BadSize(size);
}

bool EnvOn(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return false;
    char buf[512];
    std::snprintf(buf, sizeof(buf), "%s", v);
    return std::strcmp(buf, "0") != 0;
}

inline unsigned SmallIndex(unsigned size, KtUMemory::Alignment alignment) {
    return alignment >= 8 ? ((size + 7) >> 3) << 1 : (size + 3) >> 2;
}

inline KtURawArena* MediumArena(unsigned n) {
    if (n <= 1024) return g.run.medium[0][(n - 513) >> 3];
    if (n <= 2048) return g.run.medium[1][(n - 1025) >> 4];
    if (n <= 4096) return g.run.medium[2][(n - 2049) >> 5];
    if (n <= 8192) return g.run.medium[3][(n - 4097) >> 6];
    return g.run.medium[4][(n - 8193) >> 7];
}

inline bool IsMedium(unsigned n) {
    return n > kMaxSmall && n <= g.run.max_medium;
}

inline bool IsDirect(unsigned n) {
    return !g.choices.force_malloc_region &&
           (n >= g.platform.region_threshold || n % g.platform.region_size == 0);
}

KtURawArena* ExactArena(unsigned n) {
    for (unsigned i = 0; i < g.run.exact_count; ++i)
        if (g.run.exact[i].size == n) return g.run.exact[i].arena;
    return nullptr;
}

// Before the new handler is asked: memory the arenas keep mapped for reuse
// may be all that stands in the way. True when some was given back.
inline bool PurgeRetained() {
    return ktu::mem::PurgeAll() != 0;
}

// An arena's index in the store: the slot of its per-thread cache lists.
inline unsigned ArenaSlot(const KtURawArena* arena) {
    static_assert(kMaxArenas == ktu::mem::kCacheSlots);
    return unsigned(arena - reinterpret_cast<const KtURawArena*>(s_arena_store));
}

// Allocates from an arena under the lock (refilling the thread's cache),
// retrying through the new handler.
[[nodiscard]] __attribute__((noinline)) void* ArenaAllocSlow(KtURawArena* arena, unsigned counted,
                                                             unsigned size, int try_only) {
    if (ktu::mem::InjectedFailure()) return nullptr;
    for (;;) {
        {
            FastLockGuard guard(g_lock);
            if (void* p = ktu::mem::CacheAllocSlow(arena, ArenaSlot(arena))) {
                g.run.arena_bytes += counted;
                return p;
            }
        }
        if (PurgeRetained()) continue;
        KtUMemory::NewHandler handler = g.choices.new_handler;
        if (!handler || !handler(size, try_only)) return nullptr;
    }
}

__attribute__((noinline)) void TickNow() {
    g.tick_countdown = ktu::mem::kTickInterval;
    ktu::mem::Tick();
}

__attribute__((noinline)) void ArenaDeallocSlow(KtURawArena* arena, void* block, unsigned counted) {
    FastLockGuard guard(g_lock);
    ktu::mem::CacheDeallocSlow(arena, ArenaSlot(arena), block);
    g.run.arena_bytes -= counted;
    if (--g.tick_countdown == 0) TickNow();
}

// The allocation hot path: while the process has one thread no lock is
// taken, and the arena's common case is inline; with more threads, the
// calling thread's cache list. Everything else is out of line.
[[nodiscard]] inline void* ArenaAlloc(KtURawArena* arena, unsigned counted, unsigned size,
                                      int try_only) {
    if (__builtin_expect(ktu::sys::IsSingleThreaded(), 1)) {
        if (void* p = KtUArenaFastPath::TryAlloc(arena)) {
            g.run.arena_bytes += counted;
            return p;
        }
    } else if (void* p = ktu::mem::CachePop(ArenaSlot(arena), counted)) {
        return p;
    }
    return ArenaAllocSlow(arena, counted, size, try_only);
}

inline void ArenaDealloc(KtURawArena* arena, void* block, unsigned counted) {
    if (__builtin_expect(ktu::sys::IsSingleThreaded(), 1)) {
        if (KtUArenaFastPath::TryDealloc(arena, block)) {
            g.run.arena_bytes -= counted;
            if (__builtin_expect(--g.tick_countdown == 0, 0)) TickNow();
            return;
        }
    } else if (ktu::mem::CachePush(ArenaSlot(arena), block, counted)) {
        return;
    }
    ArenaDeallocSlow(arena, block, counted);
}

// Fills table[0..] with the arenas for requests start, start+step, ..., end
// (entry i serves requests up to start + i * step). Consecutive sizes whose
// single-page region of size r holds the same number of blocks share one arena
// sized for the largest of them; a group whose smallest requests would waste
// more than 1/16 of the region first gets finer arenas over regions of 2r.
// Returns the number of entries filled; the caller fills the rest.
unsigned BuildMedium(KtURawArena** table, unsigned start, unsigned end, unsigned step, unsigned r,
                     unsigned prev) {
    auto wasteful = [r](unsigned smallest, unsigned count) {
        return (uint64_t(r) - uint64_t(smallest) * count) * 16 > r;
    };
    unsigned filled = 0;
    unsigned first = start;
    unsigned count = (r - 16) / start;
    for (unsigned s = start + step; s <= end; s += step) {
        unsigned n = (r - 16) / s;
        if (n == count) continue;
        unsigned last = s - step;
        unsigned entries = (last - first) / step + 1;
        unsigned finer = 0;
        if (wasteful(prev + 1, count))
            finer = BuildMedium(table + filled, first, last, step, 2 * r, prev);
        KtURawArena* arena = NewArena(last, 8, r);
        ++g.run.medium_created;
        for (unsigned i = filled + finer; i < filled + entries; ++i)
            table[i] = arena;
        filled += entries;
        prev = last;
        first = s;
        count = n;
    }
    if (end == prev || !wasteful(prev + 1, count)) return filled;
    return filled + BuildMedium(table + filled, first, end, step, 2 * r, prev);
}

// The medium tables (when medium arenas are on) and the exact table; their
// arenas follow the small ones in the arena store.
void BuildSizedTables() {
    g.run.max_medium = kMaxSmall;
    g.run.medium_created = 0;
    std::memset(g.run.medium, 0, sizeof(g.run.medium));
    if (g.choices.use_medium) {
        unsigned prev = kMaxSmall;
        for (unsigned t = 0; t < 5; ++t) {
            unsigned step = 8u << t;
            unsigned start = (kMaxSmall << t) + step, end = 1024u << t;
            BuildMedium(g.run.medium[t], start, end, step, g.platform.region_size, prev);
            g.run.medium_largest[t] = g.run.medium[t][62]->GetAlignedSize();
            prev = g.run.medium_largest[t];
        }
        for (unsigned t = 0; t < 4; ++t)
            g.run.medium[t][63] = g.run.medium[t + 1][0];
        g.run.max_medium = g.run.medium_largest[4];
        ktu::mem::LogLine("Created %d medium block allocators\n", int(g.run.medium_created));
    }
    // Exact sizes: 2^k - 8 below the page size, 2^k - 24 below the region size.
    g.run.exact_count = 0;
    unsigned p = 1;
    while (p < g.run.max_medium)
        p <<= 1;
    for (p <<= 1; p < g.platform.region_size && g.run.exact_count < kMaxExact; p <<= 1) {
        unsigned size = p < g.platform.page_size ? p - 8 : p - 24;
        g.run.exact[g.run.exact_count++] = {size, NewArena(size, 8, 0)};
    }
}

void BuildTables() {
    for (unsigned i = 1; i <= kSmallArenas; ++i)
        g.run.small[i] = NewArena(i * 4, (i * 4) % 8 == 0 ? 8 : 4, 0);
    BuildSizedTables();
}

// Gives back every arena's spare region (to the retained-region cache).
void ReleaseSpares() {
    FastLockGuard guard(g_lock);
    for (unsigned i = 0; i < g.run.arenas_used; ++i)
        reinterpret_cast<KtURawArena*>(s_arena_store[i])->ReleaseSpare();
}

// Releases and destroys the arenas from index first of the store on.
void DestroyArenas(unsigned first) {
    for (unsigned i = first; i < g.run.arenas_used; ++i) {
        KtURawArena* arena = reinterpret_cast<KtURawArena*>(s_arena_store[i]);
        arena->Release();
        arena->~KtURawArena();
    }
    g.run.arenas_used = first;
}

void FindLargestFreeArea(const ktu::sys::VmArea& area, void*) {
    if (area.free && area.size > g.platform.largest_free_size) {
        g.platform.largest_free_size = area.size;
        g.platform.largest_free_base = area.base;
    }
}

[[nodiscard]] bool RecordReservation(void* base, size_t size) {
    if (g.reservation_count == g.reservation_cap) {
        size_t cap = g.reservation_cap ? g.reservation_cap * 2 : 256;
        void* grown = std::realloc(g.reservations, cap * sizeof(Reservation));
        if (!grown) return false;
        g.reservations = static_cast<Reservation*>(grown);
        g.reservation_cap = cap;
    }
    g.reservations[g.reservation_count++] = {base, size};
    return true;
}

} // namespace

namespace ktu::mem {

void PostError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PostV(KtUSysError::eERROR, format, args);
    va_end(args);
}

void LogLine(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    KtUSysError::LogUTF8String(text);
}

bool CheckBytes(const void* block, unsigned from, unsigned to, unsigned char expected) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (unsigned i = from; i < to; ++i) {
        if (bytes[i] != expected) {
            PostError("Memory block at %lx has value %x at offset %d, expected %x",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(block)),
                      unsigned(bytes[i]), int(i), unsigned(expected));
            return false;
        }
    }
    return true;
}

} // namespace ktu::mem

//===----------------------------------------------------------------------===//
// Lifecycle
//===----------------------------------------------------------------------===//

namespace {

void SetUp() {
    ResetRun();
    if (!g.choices.scrub_set)
        ktu::mem::SetSwitch(ktu::mem::kScrubSwitch, EnvOn("QB4_SCRUB_MEMORY"));
    if (!g.choices.check_set)
        ktu::mem::SetSwitch(ktu::mem::kCheckSwitch, EnvOn("QB4_CHECK_MEMORY"));
    if (!g.choices.force_set) g.choices.force_malloc = EnvOn("QB4_FORCE_MALLOC");
    g.choices.force_malloc_region = EnvOn("QB4_FORCE_MALLOC_REGION");
    // The environment can always turn medium arenas off; otherwise a choice
    // the program made before Initialise stands.
    if (EnvOn("QB5_DISABLE_MEDIUM_BLOCK_ALLOCATORS"))
        g.choices.use_medium = false;
    else if (!g.choices.medium_set)
        g.choices.use_medium = true;

    g.platform.page_size = unsigned(ktu::sys::PageSize());
    g.platform.region_size = unsigned(ktu::sys::kRegionSize);
    g.platform.largest_free_base = g.platform.largest_free_size = 0;
    ktu::sys::VmWalk(FindLargestFreeArea, nullptr);
    ktu::mem::LogLine("KtUMemory: Largest free region of address space %llu bytes at %llX\n",
                      static_cast<unsigned long long>(g.platform.largest_free_size),
                      static_cast<unsigned long long>(g.platform.largest_free_base));
    g.platform.region_threshold = 128 * g.platform.region_size;

    BuildTables();
    g.run.set_up = true;
    g.run.small_direct = !g.choices.force_malloc;
}

// Blocks still allocated keep everything, KtUSysError included, in place: a
// later Initialise finds the manager set up and goes on with it.
bool TearDown() {
    if (!g.run.set_up) return false;
    // Other threads are gone or idle: their cached blocks go back first.
    g.run.arena_bytes += ktu::mem::CacheFlushAll();
    bool outstanding = false;
    if (g.run.arena_bytes) {
        Post(KtUSysError::eWARNING,
             "%llu arena bytes still allocated at KtUMemory::Terminate. Not terminating.",
             static_cast<unsigned long long>(g.run.arena_bytes));
        outstanding = true;
    }
    if (g.run.malloc_bytes) {
        Post(KtUSysError::eWARNING,
             "%llu malloc bytes still allocated at KtUMemory::Terminate. Not terminating.",
             static_cast<unsigned long long>(g.run.malloc_bytes));
        outstanding = true;
    }
    if (g.run.region_bytes) {
        Post(KtUSysError::eWARNING,
             "%llu region bytes still allocated at KtUMemory::Terminate. Not terminating.",
             static_cast<unsigned long long>(g.run.region_bytes));
        outstanding = true;
    }
    if (outstanding) {
        KtUMemory::ReleaseRetainedMemory();
        return false;
    }
    std::free(g.run.callbacks);
    KtUMemory::ResetMaxRegionSize();
    DestroyArenas(0);
    KtUMemory::ReleaseRetainedMemory();
    ResetRun();
    return true;
}

bool StillSetUp() {
    return g.run.set_up;
}

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUMemory",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUSysError>,
    .set_up = SetUp,
    .tear_down = TearDown,
    .still_set_up = StillSetUp,
};

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUMemory, kComponent)

//===----------------------------------------------------------------------===//
// Sized blocks
//===----------------------------------------------------------------------===//

static void* AllocOther(unsigned int size, int try_only);
static void DeallocOther(void* block, unsigned int size);

void* KtUMemory::Alloc(unsigned int size, Alignment alignment) {
    return AllocEx(size, alignment, 0);
}

void* KtUMemory::TryAlloc(unsigned int size, Alignment alignment) {
    return AllocEx(size, alignment, 1);
}

void* KtUMemory::AllocEx(unsigned int size, Alignment alignment, int try_only) {
    if (__builtin_expect(size - 1u < kMaxSmall && g.run.small_direct, 1)) {
        unsigned i = SmallIndex(size, alignment);
        return ArenaAlloc(g.run.small[i], i * 4, size, try_only);
    }
    return AllocOther(size, try_only);
}

// AllocEx beyond the small arenas.
__attribute__((noinline)) static void* AllocOther(unsigned int size, int try_only) {
    if (size == 0) return nullptr;
    if (ktu::mem::InjectedFailure()) return nullptr;
    if (__builtin_expect(!g.run.set_up, 0)) return NotInitialised("Alloc", size);
    if (g.choices.force_malloc) return KtUMemory::MallocEx(size, try_only);
    if (!try_only) CheckSize(size);
    if (IsMedium(size)) {
        KtURawArena* arena = MediumArena(size);
        return ArenaAlloc(arena, arena->GetAlignedSize(), size, try_only);
    }
    if (IsDirect(size)) {
        for (;;) {
            if (void* p = ktu::sys::VmReserveCommitted(size)) {
                FastLockGuard guard(g_lock);
                g.run.region_bytes += size;
                return p;
            }
            ktu::mem::LogLine(
                "virtual_alloc_alloc: Failed to allocate size %d, allocation type %x, protect %x\n",
                int(size), 0x3000u, 4u);
            if (PurgeRetained()) continue;
            KtUMemory::NewHandler handler = g.choices.new_handler;
            if (!handler || !handler(size, 1)) break;
        }
        // Fall back to the heap; the byte before the block says how far the
        // heap block starts before it, and keeps it off a region boundary.
        unsigned char* heap = static_cast<unsigned char*>(KtUMemory::MallocEx(size + 16, try_only));
        if (!heap) return nullptr;
        unsigned offset =
            (reinterpret_cast<uintptr_t>(heap + 8) & (g.platform.region_size - 1)) ? 8 : 16;
        heap[offset - 1] = static_cast<unsigned char>(offset);
        return heap + offset;
    }
    if (KtURawArena* arena = ExactArena(size)) return ArenaAlloc(arena, size, size, try_only);
    return KtUMemory::MallocEx(size, try_only);
}

void KtUMemory::Dealloc(void* block, unsigned int size, Alignment alignment) {
    if (__builtin_expect(size - 1u < kMaxSmall && g.run.small_direct, 1) && block) {
        unsigned i = SmallIndex(size, alignment);
        ArenaDealloc(g.run.small[i], block, i * 4);
        return;
    }
    DeallocOther(block, size);
}

// Dealloc beyond the small arenas.
__attribute__((noinline)) static void DeallocOther(void* block, unsigned int size) {
    if (!block || size == 0) // nothing of size 0 was handed out
        return;
    if (__builtin_expect(!g.run.set_up, 0)) {
        NotInitialised("Dealloc", size);
        return;
    }
    CheckSize(size);
    if (g.choices.force_malloc) {
        KtUMemory::Free(block);
        return;
    }
    if (IsMedium(size)) {
        KtURawArena* arena = MediumArena(size);
        ArenaDealloc(arena, block, arena->GetAlignedSize());
        return;
    }
    if (IsDirect(size)) {
        if ((reinterpret_cast<uintptr_t>(block) & (g.platform.region_size - 1)) == 0) {
            ktu::sys::VmRelease(block, size);
            FastLockGuard guard(g_lock);
            g.run.region_bytes -= size;
            return;
        }
        unsigned char* p = static_cast<unsigned char*>(block);
        unsigned offset = p[-1];
        if (offset != 8 && offset != 16) {
            Post(KtUSysError::eERROR,
                 "Dealloc: Large Block %lx not region aligned and has invalid offset %d",
                 Hex(block), int(offset));
            return;
        }
        KtUMemory::Free(p - offset);
        return;
    }
    if (KtURawArena* arena = ExactArena(size)) {
        ArenaDealloc(arena, block, size);
        return;
    }
    KtUMemory::Free(block);
}

void* KtUMemory::Resize(void* block, unsigned int old_size, unsigned int new_size,
                        Alignment alignment) {
    if (old_size == new_size) return block;
    if (new_size == 0) {
        if (block) Dealloc(block, old_size, alignment);
        return nullptr;
    }
    if (!block) return AllocEx(new_size, alignment, 0);
    CheckSize(old_size);
    CheckSize(new_size);
    if (g.choices.force_malloc) return ReallocEx(block, new_size, 0);
    if (old_size <= kMaxSmall && new_size <= kMaxSmall &&
        SmallIndex(old_size, alignment) == SmallIndex(new_size, alignment))
        return block;
    if (IsMedium(old_size) && IsMedium(new_size) && MediumArena(old_size) == MediumArena(new_size))
        return block;
    if (old_size > kMediumBound && new_size > kMediumBound && !IsDirect(old_size) &&
        !IsDirect(new_size) && !ExactArena(old_size) && !ExactArena(new_size))
        return Realloc(block, new_size);
    void* moved = AllocEx(new_size, alignment, 0);
    if (!moved) return nullptr;
    std::memcpy(moved, block, old_size < new_size ? old_size : new_size);
    Dealloc(block, old_size, alignment);
    return moved;
}

void* KtUMemory::Expand(void* block, unsigned int* size, unsigned int min_size,
                        Alignment alignment) {
    CheckSize(*size);
    CheckSize(min_size);
    unsigned best = GetBestBlockSize(min_size);
    void* p = Resize(block, *size, best, alignment);
    if (p) *size = best;
    return p;
}

void* KtUMemory::Compact(void* block, unsigned int size, Alignment) {
    CheckSize(size);
    return block;
}

static unsigned NextPowerOfTwo(unsigned n) {
    if (n > 0x80000000u) return n;
    unsigned p = 1;
    while (p < n)
        p <<= 1;
    return p;
}

unsigned int KtUMemory::GetBestBlockSize(unsigned int n) {
    if (n <= 4) return 4;
    if (n <= kMaxSmall) return NextPowerOfTwo(n);
    if (IsMedium(n)) {
        for (unsigned largest : g.run.medium_largest)
            if (largest >= n) return largest;
    }
    if (n < g.platform.region_size) {
        for (unsigned i = 0; i < g.run.exact_count; ++i)
            if (g.run.exact[i].size >= n) return g.run.exact[i].size;
        return g.platform.region_size;
    }
    return NextPowerOfTwo(n);
}

unsigned int KtUMemory::GetPageBlockSize() {
    return g.platform.page_size - 24;
}

unsigned int KtUMemory::GetRegionBlockSize() {
    return g.platform.region_size;
}

//===----------------------------------------------------------------------===//
// Heap blocks
//===----------------------------------------------------------------------===//

// Linux has no malloc "new mode": instead MallocEx and ReallocEx call the new
// handler themselves when the C heap fails, under the lock as the runtime
// hook would, and retry while it returns non-zero.

void* KtUMemory::Malloc(unsigned int size) {
    return MallocEx(size, 0);
}

void* KtUMemory::TryMalloc(unsigned int size) {
    return MallocEx(size, 1);
}

void* KtUMemory::MallocEx(unsigned int size, int try_only) {
    if (!try_only) CheckSize(size);
    if (ktu::mem::InjectedFailure()) return nullptr;
    FastLockGuard guard(g_lock);
    for (;;) {
        if (void* p = std::malloc(size)) {
            g.run.malloc_bytes += malloc_usable_size(p);
            return p;
        }
        if (PurgeRetained()) continue;
        NewHandler handler = g.choices.new_handler;
        if (!handler || !handler(size, try_only)) return nullptr;
    }
}

void KtUMemory::Free(void* block) {
    if (!block) return;
    FastLockGuard guard(g_lock);
    g.run.malloc_bytes -= malloc_usable_size(block);
    std::free(block);
}

void* KtUMemory::Realloc(void* block, unsigned int size) {
    return ReallocEx(block, size, 0);
}

void* KtUMemory::TryRealloc(void* block, unsigned int size) {
    return ReallocEx(block, size, 1);
}

void* KtUMemory::ReallocEx(void* block, unsigned int size, int try_only) {
    if (!try_only) CheckSize(size);
    if (!block) return MallocEx(size, try_only);
    if (size == 0) {
        Free(block);
        return nullptr;
    }
    if (ktu::mem::InjectedFailure()) return nullptr;
    FastLockGuard guard(g_lock);
    size_t old_usable = malloc_usable_size(block);
    for (;;) {
        if (void* p = std::realloc(block, size)) {
            g.run.malloc_bytes += malloc_usable_size(p);
            g.run.malloc_bytes -= old_usable;
            return p;
        }
        if (PurgeRetained()) continue;
        NewHandler handler = g.choices.new_handler;
        if (!handler || !handler(size, try_only)) return nullptr;
    }
}

//===----------------------------------------------------------------------===//
// Regions
//===----------------------------------------------------------------------===//

void* KtUMemory::AllocRegion(unsigned int size, Lifetime lifetime) {
    return AllocRegionEx(size, lifetime, 0);
}

void* KtUMemory::TryAllocRegion(unsigned int size, Lifetime lifetime) {
    return AllocRegionEx(size, lifetime, 1);
}

void* KtUMemory::AllocRegionEx(unsigned int size, Lifetime lifetime, int try_only) {
    if (!try_only) CheckSize(size);
    if (ktu::mem::InjectedFailure()) return nullptr;
    if (g.choices.force_malloc_region) {
        char* heap = static_cast<char*>(MallocEx(size + g.platform.region_size, try_only));
        if (!heap) return nullptr;
        uintptr_t aligned = (reinterpret_cast<uintptr_t>(heap) + g.platform.region_size) &
                            ~uintptr_t(g.platform.region_size - 1);
        reinterpret_cast<void**>(aligned)[-1] = heap;
        return reinterpret_cast<void*>(aligned);
    }
    for (;;) {
        if (void* p = ktu::sys::VmReserveCommitted(size, lifetime == eLIFETIME_LONG)) {
            FastLockGuard guard(g_lock);
            g.run.region_bytes += size;
            return p;
        }
        ktu::mem::LogLine(
            "virtual_alloc_alloc: Failed to allocate size %d, allocation type %x, protect %x\n",
            int(size), lifetime == eLIFETIME_LONG ? 0x103000u : 0x3000u, 4u);
        if (PurgeRetained()) continue;
        NewHandler handler = g.choices.new_handler;
        if (!handler || !handler(size, try_only)) return nullptr;
    }
}

void KtUMemory::DeallocRegion(void* block, unsigned int size, Lifetime) {
    CheckSize(size);
    if (!block) return;
    if (g.choices.force_malloc_region) {
        Free(reinterpret_cast<void**>(block)[-1]);
        return;
    }
    ktu::sys::VmRelease(block, size);
    FastLockGuard guard(g_lock);
    g.run.region_bytes -= size;
}

//===----------------------------------------------------------------------===//
// Switches
//===----------------------------------------------------------------------===//

void KtUMemory::SetForceMalloc(int on) {
    g.choices.force_malloc = on != 0;
    g.choices.force_set = true;
    g.run.small_direct = g.run.set_up && !g.choices.force_malloc;
}

int KtUMemory::IsForceMalloc() {
    return g.choices.force_malloc;
}

// Before scrub or check is turned on: blocks freed without patterns should
// not be handed out under them, so cached blocks go back to their arenas and
// the arenas' spare regions are released (a later region is set up afresh).
static void PrepareForPatterns() {
    if (!g.run.set_up) return;
    g.run.arena_bytes += ktu::mem::CacheFlushAll();
    ReleaseSpares();
}

void KtUMemory::SetScrubMemory(int on) {
    if (on) PrepareForPatterns();
    ktu::mem::SetSwitch(ktu::mem::kScrubSwitch, on != 0);
    g.choices.scrub_set = true;
}

int KtUMemory::IsScrubMemory() {
    return ktu::mem::Scrubbing();
}

void KtUMemory::SetCheckMemory(int on) {
    if (on) PrepareForPatterns();
    ktu::mem::SetSwitch(ktu::mem::kCheckSwitch, on != 0);
    g.choices.check_set = true;
}

int KtUMemory::IsCheckMemory() {
    return ktu::mem::Checking();
}

void KtUMemory::SetUseMediumBlockAllocator(int on) {
    const bool want = on != 0;
    g.choices.medium_set = true;
    if (want == g.choices.use_medium) return;
    if (!g.run.set_up) {
        g.choices.use_medium = want;
        return;
    }
    // The size tables are rebuilt for the new routing; a block still held in a
    // medium or exact arena would then be released to the wrong place.
    g.run.arena_bytes += ktu::mem::CacheFlushAll();
    for (unsigned i = kSmallArenas; i < g.run.arenas_used; ++i) {
        auto* arena = reinterpret_cast<KtURawArena*>(s_arena_store[i]);
        if (arena->GetBlocksAllocated()) {
            Post(KtUSysError::eWARNING,
                 "SetUseMediumBlockAllocator: %d blocks of %d bytes are still allocated; the "
                 "medium block allocators stay %s",
                 int(arena->GetBlocksAllocated()), int(arena->GetAlignedSize()),
                 g.choices.use_medium ? "on" : "off");
            return;
        }
    }
    FastLockGuard guard(g_lock);
    DestroyArenas(kSmallArenas);
    g.choices.use_medium = want;
    BuildSizedTables();
}

int KtUMemory::IsUseMediumBlockAllocator() {
    return g.choices.use_medium;
}

unsigned int KtUMemory::GetMaxSmallBlockSize() {
    return kMaxSmall;
}

unsigned int KtUMemory::GetMaxMediumBlockSize() {
    return g.run.max_medium;
}

unsigned int KtUMemory::GetPageSize() {
    return g.platform.page_size;
}

unsigned int KtUMemory::GetRegionSize() {
    return g.platform.region_size;
}

KtUMemory::NewHandler KtUMemory::GetNewHandler() {
    return g.choices.new_handler;
}

KtUMemory::NewHandler KtUMemory::SetNewHandler(NewHandler handler) {
    NewHandler previous = g.choices.new_handler;
    g.choices.new_handler = handler;
    return previous;
}

//===----------------------------------------------------------------------===//
// Accounting
//===----------------------------------------------------------------------===//

KtUNat64 KtUMemory::GetMemoryAllocated() {
    KtUNat64 total;
    unsigned count;
    {
        FastLockGuard guard(g_lock);
        total = g.run.arena_bytes + ktu::mem::CacheArenaDelta() + g.run.malloc_bytes +
                g.run.region_bytes + g.run.external_bytes;
        count = g.run.callback_count;
    }
    for (unsigned i = 0; i < count; ++i)
        total += g.run.callbacks[i]();
    return total;
}

KtUNat64 KtUMemory::GetDirectMemoryAllocated() {
    FastLockGuard guard(g_lock);
    return g.run.arena_bytes + ktu::mem::CacheArenaDelta() + g.run.malloc_bytes +
           g.run.region_bytes;
}

KtUNat64 KtUMemory::GetArenaMemoryAllocated() {
    FastLockGuard guard(g_lock);
    return g.run.arena_bytes + ktu::mem::CacheArenaDelta();
}

KtUNat64 KtUMemory::GetMallocMemoryAllocated() {
    FastLockGuard guard(g_lock);
    return g.run.malloc_bytes;
}

KtUNat64 KtUMemory::GetRegionMemoryAllocated() {
    FastLockGuard guard(g_lock);
    return g.run.region_bytes;
}

KtUNat64 KtUMemory::GetRetainedMemory() {
    return ktu::mem::RetainedBytes();
}

void KtUMemory::ReleaseRetainedMemory() {
    ktu::mem::CacheFlushCurrent();
    ReleaseSpares();
    ktu::mem::PurgeAll();
}

KtUNat64 KtUMemory::GetExternalMemoryAllocated() {
    FastLockGuard guard(g_lock);
    return g.run.external_bytes;
}

void KtUMemory::ReportExternalAlloc(unsigned int size) {
    FastLockGuard guard(g_lock);
    g.run.external_bytes += size;
}

void KtUMemory::ReportExternalDealloc(unsigned int size) {
    FastLockGuard guard(g_lock);
    g.run.external_bytes -= size;
}

void KtUMemory::RegisterExternalMemoryAllocatedCB(ExternalMemoryCB cb) {
    FastLockGuard guard(g_lock);
    if (g.run.callback_count == g.run.callback_cap) {
        unsigned cap = g.run.callback_cap ? g.run.callback_cap * 2 : 8;
        void* grown = std::realloc(g.run.callbacks, cap * sizeof(ExternalMemoryCB));
        if (!grown) return;
        g.run.callbacks = static_cast<ExternalMemoryCB*>(grown);
        g.run.callback_cap = cap;
    }
    g.run.callbacks[g.run.callback_count++] = cb;
}

void KtUMemory::UnregisterExternalMemoryAllocatedCB(ExternalMemoryCB cb) {
    FastLockGuard guard(g_lock);
    for (unsigned i = 0; i < g.run.callback_count; ++i) {
        if (g.run.callbacks[i] == cb) {
            std::memmove(g.run.callbacks + i, g.run.callbacks + i + 1,
                         (g.run.callback_count - i - 1) * sizeof(ExternalMemoryCB));
            --g.run.callback_count;
            return;
        }
    }
}

//===----------------------------------------------------------------------===//
// Histogram
//===----------------------------------------------------------------------===//

static KtURawArena* HistogramArena(unsigned size) {
    if (size == 0) return nullptr;
    if (size <= kMaxSmall) return g.run.small[(size + 3) / 4];
    if (IsMedium(size)) return MediumArena(size);
    return ExactArena(size);
}

unsigned int KtUMemory::GetHistogramFirstSize() {
    return 4;
}

unsigned int KtUMemory::GetHistogramNextSize(unsigned int size) {
    if (size < kMaxSmall) return size + 4;
    if (size < g.run.max_medium) return MediumArena(size + 1)->GetAlignedSize();
    unsigned best = GetBestBlockSize(size + 1);
    return best < g.platform.region_size ? best : 0;
}

unsigned int KtUMemory::GetHistogramNumBlocks(unsigned int size) {
    FastLockGuard guard(g_lock);
    KtURawArena* arena = HistogramArena(size);
    // Blocks in threads' caches are free as far as hosts can tell.
    return arena ? arena->GetBlocksAllocated() - ktu::mem::CachedBlocks(ArenaSlot(arena)) : 0;
}

unsigned int KtUMemory::GetHistogramRegionSize(unsigned int size) {
    KtURawArena* arena = HistogramArena(size);
    return arena ? arena->GetRegionSize() : 0;
}

KtUNat64 KtUMemory::GetHistogramCommittedMemory(unsigned int size) {
    FastLockGuard guard(g_lock);
    KtURawArena* arena = HistogramArena(size);
    return arena ? arena->GetCommittedMemory() : 0;
}

KtUNat64 KtUMemory::GetHistogramReservedMemory(unsigned int size) {
    FastLockGuard guard(g_lock);
    KtURawArena* arena = HistogramArena(size);
    return arena ? arena->GetReservedMemory() : 0;
}

unsigned int KtUMemory::GetHistogramMaxBlockSize() {
    return 0;
}

//===----------------------------------------------------------------------===//
// Address space
//===----------------------------------------------------------------------===//

int KtUMemory::ReserveSpareMallocRegion() {
    if (g.spare_region) return 1;
    g.spare_region = ktu::sys::VmReserve(kSpareSize);
    if (g.spare_region)
        Post(KtUSysError::eINFO, "ReserveSpareMallocRegion: Reserved region of %d MB for malloc",
             int(kSpareSize >> 20));
    return g.spare_region != nullptr;
}

int KtUMemory::HaveReservedSpareMallocRegion() {
    return g.spare_region != nullptr;
}

int KtUMemory::ReleaseSpareMallocRegion() {
    if (!g.spare_region) return 0;
    ktu::sys::VmRelease(g.spare_region, kSpareSize);
    g.spare_region = nullptr;
    return 1;
}

namespace {

// The walk must not change the address space while it reads it, so free
// areas are collected first (the largest ones when there are too many).
constexpr unsigned kMaxWalkAreas = 1024;
ktu::sys::VmArea s_walk_areas[kMaxWalkAreas];
unsigned s_walk_count;

void CollectFreeArea(const ktu::sys::VmArea& area, void*) {
    if (area.free && s_walk_count < kMaxWalkAreas) s_walk_areas[s_walk_count++] = area;
}

// Cut-out budget: a 64-bit address space would need millions of one-region
// reservations; after this many the rest of each free area is reserved whole.
constexpr size_t kMaxCutOuts = 4096;
constexpr uintptr_t kStackGuard = 1u << 20;

} // namespace

void KtUMemory::RestrictMaxRegionSize(unsigned int limit) {
    const uintptr_t r = g.platform.region_size;
    const uintptr_t lim = limit / r * r;
    if (lim == 0) return;
    s_walk_count = 0;
    if (!ktu::sys::VmWalk(CollectFreeArea, nullptr)) return;
    size_t cut_outs = 0;
    for (unsigned i = 0; i < s_walk_count; ++i) {
        const ktu::sys::VmArea& area = s_walk_areas[i];
        uintptr_t end = area.base + area.size;
        uintptr_t cursor = (area.base + r - 1) & ~(r - 1);
        while (cursor < end && end - cursor > lim) {
            uintptr_t at = cursor + lim;
            uintptr_t size = cut_outs < kMaxCutOuts ? r : end - at;
            if (at + size > end) size = end - at;
            void* p = ktu::sys::VmReserveAt(reinterpret_cast<void*>(at), size);
            if (!p && size > r + kStackGuard) {
                // The kernel keeps a guard gap below the stack: stop short of it.
                size -= kStackGuard;
                p = ktu::sys::VmReserveAt(reinterpret_cast<void*>(at), size);
            }
            ++cut_outs;
            if (!RecordReservation(p, size)) {
                if (p) ktu::sys::VmRelease(p, size);
                return;
            }
            cursor = at + size;
        }
    }
}

int KtUMemory::ResetMaxRegionSize() {
    if (g.reservation_count == 0) return 0;
    for (size_t i = 0; i < g.reservation_count; ++i)
        if (g.reservations[i].base)
            ktu::sys::VmRelease(g.reservations[i].base, g.reservations[i].size);
    std::free(g.reservations);
    g.reservations = nullptr;
    g.reservation_count = g.reservation_cap = 0;
    return 1;
}

KtUNat64 KtUMemory::GetLargestFreeRegionSize() {
    return g.platform.largest_free_size;
}

void* KtUMemory::GetLargestFreeRegionBase() {
    return reinterpret_cast<void*>(g.platform.largest_free_base);
}

//===----------------------------------------------------------------------===//
// Validation
//===----------------------------------------------------------------------===//

void KtUMemory::CheckMemory() {
    {
        FastLockGuard guard(g_lock);
        for (unsigned i = 1; i <= kMaxSmall / 4; ++i)
            if (g.run.small[i]) g.run.small[i]->CheckArena();
        for (auto& table : g.run.medium)
            for (unsigned e = 0; e < 63; ++e)
                if (table[e] && (e == 0 || table[e] != table[e - 1])) table[e]->CheckArena();
        for (unsigned i = 0; i < g.run.exact_count; ++i)
            g.run.exact[i].arena->CheckArena();
    }
    // glibc has one heap as far as callers can see and no non-aborting heap
    // walk; check that its statistics are self-consistent.
    struct mallinfo2 info = mallinfo2();
    const int heaps = 1;
    if (info.fordblks > info.arena || info.keepcost > info.fordblks)
        Post(KtUSysError::eERROR, "Failed to validate heap %x (%d of %d)", 0u, 1, heaps);
}

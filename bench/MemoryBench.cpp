//===- MemoryBench.cpp - KtUMemory beside the C heap ----------------------===//
//
// Three workloads, each for KtUMemory (AllocEx/Dealloc) and for the C heap
// (malloc/free), so that one run shows them side by side:
//   Pair16    allocate and free one 16-byte block, repeatedly;
//   Batch     1,000,000 blocks of random sizes 8..512 (fixed seed), allocated
//             and then freed in random order;
//   Resident  resident bytes per block after allocating 10,000,000 16-byte
//             blocks (RSS delta from /proc/self/statm).
//   Pair24/Objects24  24-byte objects, also for KtUFastArena: one at a time,
//             and a fast arena's own pattern, 100,000 objects built and then
//             all released (DeallocAll for the arena, one by one otherwise).
//   Ring/N    N threads (1, 2, 4; started anew for each run, so the process is
//             multi-threaded even for one) each doing 2,000,000 alloc/free
//             pairs of random sizes 8..255 on a ring of 64 live blocks;
//   ProducerConsumer  2,000,000 blocks of random sizes 8..255 allocated on
//             one thread and freed on another, handed over through a ring.
// The C-heap benchmarks are named Malloc* so that they can be rerun alone
// under LD_PRELOAD of another allocator.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUFastArena.h>
#include <ktutil/KtUMemory.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct KtUHeap {
    static void* Alloc(unsigned size) { return KtUMemory::AllocEx(size, KtUMemory::eALIGN1, 0); }
    static void Free(void* p, unsigned size) { KtUMemory::Dealloc(p, size, KtUMemory::eALIGN1); }
};

struct CHeap {
    static void* Alloc(unsigned size) { return std::malloc(size); }
    static void Free(void* p, unsigned) { std::free(p); }
};

// A fast arena for 24-byte objects, shared by its benchmarks.
struct FastArena24 {
    static KtUFastArena& Arena() {
        static KtUFastArena arena(24, 8);
        return arena;
    }
    static void* Alloc(unsigned) { return Arena().Alloc(); }
    static void Free(void* p, unsigned) { Arena().Dealloc(p); }
    static void FreeAll() { Arena().DeallocAll(); }
};

template <class Heap> void Pair24(benchmark::State& state) {
    for (auto _ : state) {
        void* p = Heap::Alloc(24);
        benchmark::DoNotOptimize(p);
        Heap::Free(p, 24);
    }
}

template <class Heap> void Objects24(benchmark::State& state) {
    std::vector<void*> objects(100000);
    for (auto _ : state) {
        for (void*& p : objects) {
            p = Heap::Alloc(24);
            static_cast<char*>(p)[0] = 1;
        }
        if constexpr (requires { Heap::FreeAll(); })
            Heap::FreeAll();
        else
            for (size_t i = objects.size(); i-- > 0;)
                Heap::Free(objects[i], 24);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(objects.size()));
}

template <class Heap> void Pair16(benchmark::State& state) {
    for (auto _ : state) {
        void* p = Heap::Alloc(16);
        benchmark::DoNotOptimize(p);
        Heap::Free(p, 16);
    }
}

struct BatchPlan {
    std::vector<unsigned> sizes;
    std::vector<unsigned> order;
    BatchPlan() {
        const unsigned n = 1000000;
        std::mt19937 rng(12345);
        std::uniform_int_distribution<unsigned> size(8, 512);
        sizes.resize(n);
        for (unsigned& s : sizes)
            s = size(rng);
        order.resize(n);
        for (unsigned i = 0; i < n; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
    }
};

const BatchPlan& Plan() {
    static BatchPlan plan;
    return plan;
}

template <class Heap> void Batch(benchmark::State& state) {
    const BatchPlan& plan = Plan();
    std::vector<void*> blocks(plan.sizes.size());
    for (auto _ : state) {
        for (size_t i = 0; i < blocks.size(); ++i) {
            blocks[i] = Heap::Alloc(plan.sizes[i]);
            static_cast<char*>(blocks[i])[0] = 1;
        }
        for (unsigned i : plan.order)
            Heap::Free(blocks[i], plan.sizes[i]);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(blocks.size()));
}

size_t ResidentBytes() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%lu %lu", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * size_t(sysconf(_SC_PAGESIZE));
}

template <class Heap> void Resident16(benchmark::State& state) {
    const size_t n = 10000000;
    std::vector<void*> blocks(n, nullptr); // touched before the baseline
    double per_block = 0;
    for (auto _ : state) {
        size_t before = ResidentBytes();
        for (size_t i = 0; i < n; ++i) {
            blocks[i] = Heap::Alloc(16);
            static_cast<char*>(blocks[i])[0] = 1;
        }
        size_t after = ResidentBytes();
        per_block = double(after - before) / double(n);
        state.PauseTiming();
        for (size_t i = 0; i < n; ++i)
            Heap::Free(blocks[i], 16);
        state.ResumeTiming();
    }
    state.counters["bytes_per_block"] = per_block;
}

template <class Heap> void RingThread(unsigned seed) {
    constexpr int kPairs = 2000000;
    void* ring[64] = {};
    unsigned sizes[64] = {};
    std::minstd_rand rng(seed);
    for (int i = 0; i < kPairs; ++i) {
        unsigned k = unsigned(i) & 63;
        if (ring[k]) Heap::Free(ring[k], sizes[k]);
        sizes[k] = 8 + unsigned(rng() % 248);
        ring[k] = Heap::Alloc(sizes[k]);
        static_cast<char*>(ring[k])[0] = 1;
    }
    for (unsigned k = 0; k < 64; ++k)
        Heap::Free(ring[k], sizes[k]);
}

template <class Heap> void Ring(benchmark::State& state) {
    const int n = int(state.range(0));
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (int t = 0; t < n; ++t)
            threads.emplace_back(RingThread<Heap>, unsigned(t + 1));
        for (std::thread& t : threads)
            t.join();
    }
}

template <class Heap> void ProducerConsumer(benchmark::State& state) {
    constexpr unsigned kBlocks = 2000000, kSlots = 1024;
    struct Slot {
        void* p;
        unsigned size;
    };
    std::vector<Slot> ring(kSlots);
    for (auto _ : state) {
        std::atomic<unsigned> head{0}, tail{0}; // written by producer, consumer
        std::thread consumer([&] {
            for (unsigned i = 0; i < kBlocks; ++i) {
                while (head.load(std::memory_order_acquire) == i)
                    ;
                Slot slot = ring[i % kSlots];
                tail.store(i + 1, std::memory_order_release);
                Heap::Free(slot.p, slot.size);
            }
        });
        std::minstd_rand rng(7);
        for (unsigned i = 0; i < kBlocks; ++i) {
            unsigned size = 8 + unsigned(rng() % 248);
            void* p = Heap::Alloc(size);
            static_cast<char*>(p)[0] = 1;
            while (i - tail.load(std::memory_order_acquire) >= kSlots)
                ;
            ring[i % kSlots] = {p, size};
            head.store(i + 1, std::memory_order_release);
        }
        consumer.join();
    }
}

void KtURing(benchmark::State& s) {
    Ring<KtUHeap>(s);
}
void MallocRing(benchmark::State& s) {
    Ring<CHeap>(s);
}
void KtUProducerConsumer(benchmark::State& s) {
    ProducerConsumer<KtUHeap>(s);
}
void MallocProducerConsumer(benchmark::State& s) {
    ProducerConsumer<CHeap>(s);
}

void KtUPair16(benchmark::State& s) {
    Pair16<KtUHeap>(s);
}
void MallocPair16(benchmark::State& s) {
    Pair16<CHeap>(s);
}
void KtUBatch(benchmark::State& s) {
    Batch<KtUHeap>(s);
}
void MallocBatch(benchmark::State& s) {
    Batch<CHeap>(s);
}
void KtUResident16(benchmark::State& s) {
    Resident16<KtUHeap>(s);
}
void MallocResident16(benchmark::State& s) {
    Resident16<CHeap>(s);
}

// Resident first, before the other workloads leave freed heap memory behind
// (scripts/bench-memory also runs each of them in a process of its own).
void FastArenaPair24(benchmark::State& s) {
    Pair24<FastArena24>(s);
}
void KtUPair24(benchmark::State& s) {
    Pair24<KtUHeap>(s);
}
void MallocPair24(benchmark::State& s) {
    Pair24<CHeap>(s);
}
void FastArenaObjects24(benchmark::State& s) {
    Objects24<FastArena24>(s);
}
void KtUObjects24(benchmark::State& s) {
    Objects24<KtUHeap>(s);
}
void MallocObjects24(benchmark::State& s) {
    Objects24<CHeap>(s);
}

BENCHMARK(FastArenaPair24);
BENCHMARK(KtUPair24);
BENCHMARK(MallocPair24);
BENCHMARK(FastArenaObjects24)->Unit(benchmark::kMicrosecond);
BENCHMARK(KtUObjects24)->Unit(benchmark::kMicrosecond);
BENCHMARK(MallocObjects24)->Unit(benchmark::kMicrosecond);
BENCHMARK(KtUResident16)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(MallocResident16)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(KtUPair16);
BENCHMARK(MallocPair16);
BENCHMARK(KtURing)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(MallocRing)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(KtUProducerConsumer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(MallocProducerConsumer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(KtUBatch)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(MallocBatch)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    KtUMemory::Initialise();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

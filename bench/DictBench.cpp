//===- DictBench.cpp - Dictionaries beside std::unordered_map and absl ----===//
//
// For text keys (KtUStrVoidPtrDict, owning copies) and pointer keys
// (KtUVoidPtrDict): insert 1,000,000 keys, then 10,000,000 lookups that hit
// and 10,000,000 that miss, in random order with a fixed seed. The peers are
// std::unordered_map and absl::flat_hash_map with std::string / void* keys.
//
// Pointer keys are the addresses of objects of mixed sizes allocated one
// after another (the misses are objects allocated between them), entered in
// allocation order. The "PtrEven" rows use evenly spaced addresses instead,
// the best case for std::unordered_map's identity hash. The "PtrShuffled"
// rows take addresses 32 bytes apart in one big allocation and enter them in
// shuffled order (the misses are the addresses after them), as a host does
// with the elements of an array it indexes out of order.
// Names are <Phase><Keys>/<Implementation>; scripts/bench-containers prints
// ratios.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUDict.h>
#include <ktutil/KtUStrVoidPtrDict.h>
#include <ktutil/KtUVoidPtrDict.h>

#include <absl/container/flat_hash_map.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kKeys = 1000000;
constexpr int kLookups = 10000000;

struct Data {
    std::vector<std::string> keys, misses;
    std::vector<void*> pointers, missing_pointers; // live objects
    std::vector<void*> even, missing_even;         // addresses only
    std::vector<void*> shuffled, missing_shuffled; // in one block, shuffled
    char* block;                                   // 2 * kKeys * 32 bytes, never touched
    std::vector<int> order;                        // lookup order, kLookups indices into the keys
    Data() {
        std::mt19937 rng(11);
        for (int i = 0; i < kKeys; ++i) {
            keys.push_back("part/" + std::to_string(rng()) + "/" + std::to_string(i));
            misses.push_back("gone/" + std::to_string(rng()) + "/" + std::to_string(i));
            pointers.push_back(std::malloc(16 + rng() % 112));
            missing_pointers.push_back(std::malloc(16 + rng() % 112));
            even.push_back(reinterpret_cast<void*>(uintptr_t(0x10000000) + uintptr_t(i) * 48));
            missing_even.push_back(
                reinterpret_cast<void*>(uintptr_t(0x90000000) + uintptr_t(i) * 48));
        }
        block = static_cast<char*>(std::malloc(size_t(2) * kKeys * 32));
        for (int i = 0; i < kKeys; ++i) {
            shuffled.push_back(block + size_t(i) * 32);
            missing_shuffled.push_back(block + (size_t(kKeys) + size_t(i)) * 32);
        }
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        std::shuffle(missing_shuffled.begin(), missing_shuffled.end(), rng);
        for (int i = 0; i < kLookups; ++i)
            order.push_back(static_cast<int>(rng() % kKeys));
    }
};

const Data& D() {
    static Data data;
    return data;
}

// Adapters: one interface over the three dictionaries for each key kind.
struct KtUStr {
    KtUStrVoidPtrDict d;
    void Put(const std::string& k, void* v) { d.Enter(k.c_str(), v); }
    bool Has(const std::string& k) const { return d.Find(k.c_str(), nullptr); }
};
template <class Map> struct StdStr {
    Map d;
    void Put(const std::string& k, void* v) { d.emplace(k, v); }
    bool Has(const std::string& k) const { return d.find(k) != d.end(); }
};
struct KtUPtr {
    KtUVoidPtrDict d;
    void Put(void* k, void* v) { d.Enter(k, v); }
    bool Has(void* k) const { return d.Find(k, nullptr); }
};
template <class Map> struct StdPtr {
    Map d;
    void Put(void* k, void* v) { d.emplace(k, v); }
    bool Has(void* k) const { return d.find(k) != d.end(); }
};

template <class Dict, class Keys> void Fill(Dict& dict, const Keys& keys) {
    for (size_t i = 0; i < keys.size(); ++i)
        dict.Put(keys[i], reinterpret_cast<void*>(i + 1));
}

enum KeySet { kText, kObjects, kEven, kShuffled };

template <KeySet Set> const auto& Present(const Data& d) {
    if constexpr (Set == kText)
        return d.keys;
    else if constexpr (Set == kObjects)
        return d.pointers;
    else if constexpr (Set == kEven)
        return d.even;
    else
        return d.shuffled;
}
template <KeySet Set> const auto& Absent(const Data& d) {
    if constexpr (Set == kText)
        return d.misses;
    else if constexpr (Set == kObjects)
        return d.missing_pointers;
    else if constexpr (Set == kEven)
        return d.missing_even;
    else
        return d.missing_shuffled;
}

template <class Dict, KeySet Set> void Insert(benchmark::State& state) {
    const Data& data = D();
    for (auto _ : state) {
        Dict dict;
        Fill(dict, Present<Set>(data));
        benchmark::DoNotOptimize(&dict);
        state.PauseTiming(); // destruction is not part of inserting
        { Dict gone(std::move(dict)); }
        state.ResumeTiming();
    }
}

template <class Dict, KeySet Set, bool Hit> void Lookup(benchmark::State& state) {
    const Data& data = D();
    static Dict* dict = nullptr; // built once per implementation and key set
    if (!dict) {
        dict = new Dict;
        Fill(*dict, Present<Set>(data));
    }
    const auto& probes = Hit ? Present<Set>(data) : Absent<Set>(data);
    for (auto _ : state) {
        size_t found = 0;
        for (int i : data.order)
            found += dict->Has(probes[i]);
        if (found != (Hit ? data.order.size() : 0)) state.SkipWithError("wrong lookup result");
        benchmark::DoNotOptimize(found);
    }
}

struct Init {
    Init() { KtUDict::Initialise(); }
} s_init;

using UStr = StdStr<std::unordered_map<std::string, void*>>;
using AStr = StdStr<absl::flat_hash_map<std::string, void*>>;
using UPtr = StdPtr<std::unordered_map<void*, void*>>;
using APtr = StdPtr<absl::flat_hash_map<void*, void*>>;

// One iteration per run: scripts/bench-containers runs the program five
// times and reports each benchmark's median.
#define KTU_DICT_BENCH(phase, keys, impl, ...)                                                     \
    BENCHMARK(__VA_ARGS__)                                                                         \
        ->Name(#phase #keys "/" #impl)                                                             \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Iterations(1)

#define KTU_DICT_BENCH_KEYS(keys, set, ktu, unordered, flat)                                       \
    KTU_DICT_BENCH(Insert, keys, KtU, Insert<ktu, set>);                                           \
    KTU_DICT_BENCH(Insert, keys, unordered_map, Insert<unordered, set>);                           \
    KTU_DICT_BENCH(Insert, keys, flat_hash_map, Insert<flat, set>);                                \
    KTU_DICT_BENCH(Hit, keys, KtU, Lookup<ktu, set, true>);                                        \
    KTU_DICT_BENCH(Hit, keys, unordered_map, Lookup<unordered, set, true>);                        \
    KTU_DICT_BENCH(Hit, keys, flat_hash_map, Lookup<flat, set, true>);                             \
    KTU_DICT_BENCH(Miss, keys, KtU, Lookup<ktu, set, false>);                                      \
    KTU_DICT_BENCH(Miss, keys, unordered_map, Lookup<unordered, set, false>);                      \
    KTU_DICT_BENCH(Miss, keys, flat_hash_map, Lookup<flat, set, false>)

KTU_DICT_BENCH_KEYS(Str, kText, KtUStr, UStr, AStr);
KTU_DICT_BENCH_KEYS(Ptr, kObjects, KtUPtr, UPtr, APtr);
KTU_DICT_BENCH_KEYS(PtrEven, kEven, KtUPtr, UPtr, APtr);
KTU_DICT_BENCH_KEYS(PtrShuffled, kShuffled, KtUPtr, UPtr, APtr);

} // namespace

BENCHMARK_MAIN();

//===- DictBench.cpp - Dictionaries beside std::unordered_map and absl ----===//
//
// For text keys (KtUStrVoidPtrDict, owning copies) and pointer keys
// (KtUVoidPtrDict): insert 1,000,000 keys, then 10,000,000 lookups that hit
// and 10,000,000 that miss, in random order with a fixed seed. The peers are
// std::unordered_map and absl::flat_hash_map with std::string / void* keys.
// Names are <Phase><Keys>/<Implementation>; scripts/bench-dict prints ratios.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUDict.h>
#include <ktutil/KtUStrVoidPtrDict.h>
#include <ktutil/KtUVoidPtrDict.h>

#include <absl/container/flat_hash_map.h>
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kKeys = 1000000;
constexpr int kLookups = 10000000;

struct Data {
    std::vector<std::string> keys, misses;
    std::vector<void*> pointers, missing_pointers;
    std::vector<int> order; // lookup order, kLookups indices into the keys
    Data() {
        std::mt19937 rng(11);
        for (int i = 0; i < kKeys; ++i) {
            keys.push_back("part/" + std::to_string(rng()) + "/" + std::to_string(i));
            misses.push_back("gone/" + std::to_string(rng()) + "/" + std::to_string(i));
            pointers.push_back(reinterpret_cast<void*>(uintptr_t(0x10000000) + uintptr_t(i) * 48));
            missing_pointers.push_back(
                reinterpret_cast<void*>(uintptr_t(0x90000000) + uintptr_t(i) * 48));
        }
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

template <class Dict, bool Text> void Insert(benchmark::State& state) {
    const Data& data = D();
    for (auto _ : state) {
        Dict dict;
        if constexpr (Text)
            Fill(dict, data.keys);
        else
            Fill(dict, data.pointers);
        benchmark::DoNotOptimize(&dict);
        state.PauseTiming(); // destruction is not part of inserting
        { Dict gone(std::move(dict)); }
        state.ResumeTiming();
    }
}

template <class Dict, bool Text, bool Hit> void Lookup(benchmark::State& state) {
    const Data& data = D();
    static Dict* dict = nullptr; // built once per implementation
    if (!dict) {
        dict = new Dict;
        if constexpr (Text)
            Fill(*dict, data.keys);
        else
            Fill(*dict, data.pointers);
    }
    for (auto _ : state) {
        size_t found = 0;
        for (int i : data.order) {
            if constexpr (Text)
                found += dict->Has(Hit ? data.keys[i] : data.misses[i]);
            else
                found += dict->Has(Hit ? data.pointers[i] : data.missing_pointers[i]);
        }
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

#define KTU_DICT_BENCH(phase, keys, impl, ...)                                                     \
    BENCHMARK(__VA_ARGS__)                                                                         \
        ->Name(#phase #keys "/" #impl)                                                             \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Iterations(3)

KTU_DICT_BENCH(Insert, Str, KtU, Insert<KtUStr, true>);
KTU_DICT_BENCH(Insert, Str, unordered_map, Insert<UStr, true>);
KTU_DICT_BENCH(Insert, Str, flat_hash_map, Insert<AStr, true>);
KTU_DICT_BENCH(Hit, Str, KtU, Lookup<KtUStr, true, true>);
KTU_DICT_BENCH(Hit, Str, unordered_map, Lookup<UStr, true, true>);
KTU_DICT_BENCH(Hit, Str, flat_hash_map, Lookup<AStr, true, true>);
KTU_DICT_BENCH(Miss, Str, KtU, Lookup<KtUStr, true, false>);
KTU_DICT_BENCH(Miss, Str, unordered_map, Lookup<UStr, true, false>);
KTU_DICT_BENCH(Miss, Str, flat_hash_map, Lookup<AStr, true, false>);
KTU_DICT_BENCH(Insert, Ptr, KtU, Insert<KtUPtr, false>);
KTU_DICT_BENCH(Insert, Ptr, unordered_map, Insert<UPtr, false>);
KTU_DICT_BENCH(Insert, Ptr, flat_hash_map, Insert<APtr, false>);
KTU_DICT_BENCH(Hit, Ptr, KtU, Lookup<KtUPtr, false, true>);
KTU_DICT_BENCH(Hit, Ptr, unordered_map, Lookup<UPtr, false, true>);
KTU_DICT_BENCH(Hit, Ptr, flat_hash_map, Lookup<APtr, false, true>);
KTU_DICT_BENCH(Miss, Ptr, KtU, Lookup<KtUPtr, false, false>);
KTU_DICT_BENCH(Miss, Ptr, unordered_map, Lookup<UPtr, false, false>);
KTU_DICT_BENCH(Miss, Ptr, flat_hash_map, Lookup<APtr, false, false>);

} // namespace

BENCHMARK_MAIN();

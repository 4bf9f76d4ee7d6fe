//===- OptionBench.cpp - KtUOption reads beside a std::map of flags -------===//
//
// A host-sized option tree: 400 Boolean options under 40 sets of 10, three
// levels deep ("area3.group7.flag5"), defined through KtUOption. Each
// iteration reads one of them by dotted path; the paths cycle through all
// 400 so that the walk is not always the cheapest. Peers: the same 400 keys
// in a std::map<std::string,bool>, looked up with a ready std::string and
// with the const char* path a host holds (which builds a string per lookup).
// The two-thread rows run the same reads on two threads at once, KtUOption
// under its lock and the map under a std::mutex.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUOption.h>

#include <benchmark/benchmark.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (int area = 0; area < 4; ++area)
        for (int group = 0; group < 10; ++group)
            for (int flag = 0; flag < 10; ++flag)
                paths.push_back("area" + std::to_string(area) + ".group" + std::to_string(group) +
                                ".flag" + std::to_string(flag));
    return paths;
}

// Options defined once for the whole program.
struct Tree {
    Tree() : paths(Paths()) {
        KtUOption::Initialise();
        for (size_t i = 0; i < paths.size(); ++i) {
            KtUOption::DefineBoolean(paths[i].c_str(), i % 3 == 0, KtUOptionSet::ePROFILE_STANDARD,
                                     0, nullptr, nullptr);
            map[paths[i]] = i % 3 == 0;
        }
    }
    std::vector<std::string> paths;
    std::map<std::string, bool> map;
    std::mutex mapLock;
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

void KtUOptionGetBoolean(benchmark::State& state) {
    Tree& tree = TheTree();
    size_t i = 0, n = tree.paths.size();
    int hits = 0;
    for (auto _ : state) {
        hits += KtUOption::GetBoolean(tree.paths[i].c_str());
        if (++i == n) i = 0;
    }
    benchmark::DoNotOptimize(hits);
}

void MapFindString(benchmark::State& state) {
    Tree& tree = TheTree();
    size_t i = 0, n = tree.paths.size();
    int hits = 0;
    for (auto _ : state) {
        hits += tree.map.find(tree.paths[i])->second;
        if (++i == n) i = 0;
    }
    benchmark::DoNotOptimize(hits);
}

void MapFindCString(benchmark::State& state) {
    Tree& tree = TheTree();
    size_t i = 0, n = tree.paths.size();
    int hits = 0;
    for (auto _ : state) {
        const char* path = tree.paths[i].c_str();
        hits += tree.map.find(path)->second;
        if (++i == n) i = 0;
    }
    benchmark::DoNotOptimize(hits);
}

void MapFindLocked(benchmark::State& state) {
    Tree& tree = TheTree();
    size_t i = static_cast<size_t>(state.thread_index()) * 17, n = tree.paths.size();
    int hits = 0;
    for (auto _ : state) {
        const char* path = tree.paths[i % n].c_str();
        {
            std::lock_guard<std::mutex> hold(tree.mapLock);
            hits += tree.map.find(path)->second;
        }
        if (++i == n) i = 0;
    }
    benchmark::DoNotOptimize(hits);
}

void KtUOptionGetBooleanShared(benchmark::State& state) {
    Tree& tree = TheTree();
    size_t i = static_cast<size_t>(state.thread_index()) * 17, n = tree.paths.size();
    int hits = 0;
    for (auto _ : state) {
        hits += KtUOption::GetBoolean(tree.paths[i % n].c_str());
        if (++i == n) i = 0;
    }
    benchmark::DoNotOptimize(hits);
}

BENCHMARK(KtUOptionGetBoolean);
BENCHMARK(MapFindString);
BENCHMARK(MapFindCString);
BENCHMARK(KtUOptionGetBooleanShared)->Threads(2)->UseRealTime();
BENCHMARK(MapFindLocked)->Threads(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

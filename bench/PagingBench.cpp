//===- PagingBench.cpp - Page-out pass and private-memory polls -----------===//
//
// PageOutPass: one KtUPage::PageOut over 10,000 registered page-outs, of
// which every hundredth holds a 64-byte block and frees it when asked; the
// criterion is met when the hundredth block is freed, so the pass reaches the
// last page-out. Each iteration gives the 100 blocks back first (timed too:
// 100 small allocations, a small share of the total).
// PrivateMemory/<MiB>: one read of the process's private memory, uncached
// and from the short-lived copy, with <MiB> of touched memory in the process
// (the kernel's cost grows with what is mapped).
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUPage.h>
#include <ktutil/KtUPageOut.h>
#include <ktutil/KtUPageOutProgress.h>

#include "platform/membudget.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kPageOuts = 10000;
constexpr int kFreeing = kPageOuts / 100;

class Holder : public KtUPageOut {
public:
    int PageOut(KtUPage::Context, KtUPage::Action, int, int,
                KtUPageOutProgress* progress) override {
        if (!block) return 0;
        KtUMemory::Dealloc(block, 64, KtUMemory::eALIGN8);
        block = nullptr;
        progress->ShouldStop(0);
        return 1;
    }
    void* block = nullptr;
};

class Countdown : public KtUPageOutProgress {
public:
    int Test(int) override { return --left <= 0; }
    int left = 0;
};

void PageOutPass(benchmark::State& state) {
    KtUPage::Initialise();
    std::vector<std::unique_ptr<Holder>> holders;
    for (int i = 0; i < kPageOuts; ++i) {
        holders.push_back(std::make_unique<Holder>());
        KtUPage::AddPageOut(holders.back().get());
    }
    Countdown goal;
    for (auto _ : state) {
        for (int i = 99; i < kPageOuts; i += 100)
            holders[i]->block = KtUMemory::Alloc(64, KtUMemory::eALIGN8);
        goal.left = kFreeing;
        if (KtUPage::PageOut(KtUPage::eCONTEXT_DEFAULT, KtUPage::eACTION_DEFAULT, &goal) !=
            KtUPage::eSUCCESS)
            state.SkipWithError("page-out failed");
    }
    state.SetItemsProcessed(state.iterations() * kPageOuts);
    for (auto& h : holders)
        KtUPage::RemovePageOut(h.get());
    KtUPage::Terminate();
}
BENCHMARK(PageOutPass)->Unit(benchmark::kMicrosecond);

// Touched anonymous memory of the given size for the duration of a benchmark.
struct Resident {
    explicit Resident(size_t mib) : size(mib << 20) {
        if (size) {
            data.reset(new char[size]);
            std::memset(data.get(), 1, size);
        }
    }
    size_t size;
    std::unique_ptr<char[]> data;
};

void PrivateMemoryUncached(benchmark::State& state) {
    Resident r(size_t(state.range(0)));
    uint64_t bytes = 0;
    int error = 0;
    for (auto _ : state) {
        ktu::sys::ReadPrivateMemory(&bytes, &error);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(PrivateMemoryUncached)->Arg(0)->Arg(256)->Arg(2048)->Unit(benchmark::kMicrosecond);

void PrivateMemoryCached(benchmark::State& state) {
    Resident r(size_t(state.range(0)));
    uint64_t bytes = 0;
    int error = 0;
    for (auto _ : state) {
        ktu::sys::ReadPrivateMemoryCached(20'000'000, &bytes, &error);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(PrivateMemoryCached)->Arg(0)->Arg(256)->Arg(2048)->Unit(benchmark::kMicrosecond);

// The poll a host makes per allocation burst.
void ShouldConserveMemory(benchmark::State& state) {
    KtUPage::Initialise();
    for (auto _ : state)
        benchmark::DoNotOptimize(KtUPage::ShouldConserveMemory(KtUPage::eCONSERVE_ABOVE_ZONE));
    KtUPage::Terminate();
}
BENCHMARK(ShouldConserveMemory)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

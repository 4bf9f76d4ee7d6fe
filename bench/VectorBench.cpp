//===- VectorBench.cpp - KtUInt32Vector beside std::vector ----------------===//
//
// PushBack of 10,000,000 ints into an empty KtUInt32Vector and push_back into
// an empty std::vector<int>, in one run so that they can be compared. Each
// iteration builds and destroys the whole vector, so growth is included.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUInt32Vector.h>
#include <ktutil/KtUVector.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kCount = 10000000;

void KtUPushBack(benchmark::State& state) {
    for (auto _ : state) {
        KtUInt32Vector v;
        for (int i = 0; i < kCount; ++i)
            v.PushBack(i);
        benchmark::DoNotOptimize(v.Begin());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void StdPushBack(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<int> v;
        for (int i = 0; i < kCount; ++i)
            v.push_back(i);
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

} // namespace

BENCHMARK(KtUPushBack)->Unit(benchmark::kMillisecond);
BENCHMARK(StdPushBack)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    KtUVector::Initialise();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KtUVector::Terminate();
    return 0;
}

//===- GuardBench.cpp - KtUExceptionHandler::Try beside a virtual call ----===//
//
// The cost of the fault guard when nothing faults: Try around an empty body
// (two virtual calls, the guard's set-up and tear-down) beside one plain
// virtual call of an empty function, on one thread and on two at once.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUExceptionHandler.h>

#include <benchmark/benchmark.h>

namespace {

class EmptyGuard : public KtUExceptionHandler {
public:
    void Body() override {}
    void Failure() override {}
};

class Plain {
public:
    virtual ~Plain() = default;
    // Not inlined: a call is what is measured, even where the compiler
    // guesses the target.
    [[gnu::noinline]] virtual void Body() { benchmark::ClobberMemory(); }
};

void TryEmpty(benchmark::State& state) {
    EmptyGuard guard;
    KtUExceptionHandler* handler = &guard;
    benchmark::DoNotOptimize(handler);
    handler->Try(); // the thread's first run sets up its alternate stack
    for (auto _ : state) {
        benchmark::DoNotOptimize(handler);
        benchmark::DoNotOptimize(handler->Try());
    }
}

void VirtualCall(benchmark::State& state) {
    Plain plain;
    Plain* object = &plain;
    benchmark::DoNotOptimize(object);
    for (auto _ : state) {
        benchmark::DoNotOptimize(object);
        object->Body();
    }
}

BENCHMARK(TryEmpty)->Threads(1)->Threads(2);
BENCHMARK(VirtualCall)->Threads(1)->Threads(2);

} // namespace

int main(int argc, char** argv) {
    KtUExceptionHandler::Initialise();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KtUExceptionHandler::Terminate();
    return 0;
}

//===- FormatBench.cpp - The printf engine beside glibc's snprintf --------===//
//
// A typical log line (short strings and integers) and a line with a double,
// formatted by ktu::text::Format (narrow and UTF-16) and by glibc's snprintf.
// The id changes every iteration so that nothing is folded away.
//
//===----------------------------------------------------------------------===//
#include "text/text_format.h"

#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void LogLineSnprintf(benchmark::State& state) {
    char buf[256];
    int id = 0;
    for (auto _ : state) {
        int n = std::snprintf(buf, sizeof buf, "%s: %s id(%d), data(%x), \"%s\"\n", "KtUMemory",
                              "Alloc", id++, 0x1234beef, "out of memory");
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

void LogLineNarrow(benchmark::State& state) {
    char buf[256];
    int id = 0;
    for (auto _ : state) {
        int n = ktu::text::Format(buf, sizeof buf, "%s: %s id(%d), data(%x), \"%s\"\n", "KtUMemory",
                                  "Alloc", id++, 0x1234beef, "out of memory");
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

// The same line through the string buffer, as the library formats.
void LogLineStringBuffer(benchmark::State& state) {
    KtUString::Initialise();
    KtUStringBuffer buf;
    int id = 0;
    for (auto _ : state) {
        buf.Format("%s: %s id(%d), data(%x), \"%s\"\n", "KtUMemory", "Alloc", id++, 0x1234beef,
                   "out of memory");
        benchmark::DoNotOptimize(buf.GetString());
    }
}

void LogLineWideStringBuffer(benchmark::State& state) {
    KtUString::Initialise();
    KtUWideStringBuffer buf;
    int id = 0;
    for (auto _ : state) {
        buf.Format(u"%s: %s id(%d), data(%x), \"%s\"\n", u"KtUMemory", u"Alloc", id++, 0x1234beef,
                   u"out of memory");
        benchmark::DoNotOptimize(buf.GetString());
    }
}

void LogLineWide(benchmark::State& state) {
    KtUWChar buf[256];
    int id = 0;
    for (auto _ : state) {
        int n = ktu::text::Format(buf, 256, u"%s: %s id(%d), data(%x), \"%s\"\n", u"KtUMemory",
                                  u"Alloc", id++, 0x1234beef, u"out of memory");
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

// Narrow strings into a wide format, as the library's error messages do.
void LogLineWideFromNarrow(benchmark::State& state) {
    KtUWChar buf[256];
    int id = 0;
    for (auto _ : state) {
        int n = ktu::text::Format(buf, 256, u"%S: %S id(%d), data(%x), \"%S\"\n", "KtUMemory",
                                  "Alloc", id++, 0x1234beef, "out of memory");
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

void FloatLineSnprintf(benchmark::State& state) {
    char buf[256];
    double v = 0.5;
    for (auto _ : state) {
        int n = std::snprintf(buf, sizeof buf, "value %g after %d steps (%.3f%%)", v, 12, v * 3);
        v += 0.25;
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

void FloatLineNarrow(benchmark::State& state) {
    char buf[256];
    double v = 0.5;
    for (auto _ : state) {
        int n =
            ktu::text::Format(buf, sizeof buf, "value %g after %d steps (%.3f%%)", v, 12, v * 3);
        v += 0.25;
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf);
    }
}

BENCHMARK(LogLineSnprintf);
BENCHMARK(LogLineNarrow);
BENCHMARK(LogLineStringBuffer);
BENCHMARK(LogLineWideStringBuffer);
BENCHMARK(LogLineWide);
BENCHMARK(LogLineWideFromNarrow);
BENCHMARK(FloatLineSnprintf);
BENCHMARK(FloatLineNarrow);

} // namespace

BENCHMARK_MAIN();

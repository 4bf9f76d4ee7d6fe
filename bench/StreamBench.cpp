//===- StreamBench.cpp - Typed streams beside cereal and memcpy -----------===//
//
// Binary release streams into and out of a KtUStreamBuffer: one Int32 at a
// time (1,000,000 per run) against cereal's binary archive on a memory
// stream buffer and a plain memcpy per value, and a 10,000,000-double array
// against one memcpy. Every run writes into fresh memory, as a host saving a
// model does.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include <benchmark/benchmark.h>
#include <cereal/archives/binary.hpp>

#include <cstdlib>
#include <cstring>
#include <streambuf>
#include <vector>

namespace {

constexpr int kValues = 1000000;
constexpr long kDoubles = 10000000;

/// A stream buffer over a fixed memory area, for cereal.
class MemoryBuf : public std::streambuf {
public:
    MemoryBuf(char* data, size_t size) {
        setp(data, data + size);
        setg(data, data, data + size);
    }
};

struct Init {
    Init() { KtUStream::Initialise(); }
} g_init;

void WriteInt32KtU(benchmark::State& state) {
    for (auto _ : state) {
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.Begin(0, 0);
        for (int i = 0; i < kValues; ++i)
            out.WriteInt32(i);
        out.End();
        benchmark::DoNotOptimize(buffer.GetBuffer());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void WriteInt32Cereal(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<char> area(kValues * 4);
        MemoryBuf buf(area.data(), area.size());
        std::ostream os(&buf);
        {
            cereal::BinaryOutputArchive archive(os);
            for (int i = 0; i < kValues; ++i)
                archive(i);
        }
        benchmark::DoNotOptimize(area.data());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void WriteInt32Memcpy(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<char> area(kValues * 4);
        char* p = area.data();
        for (int i = 0; i < kValues; ++i) {
            std::memcpy(p, &i, 4);
            p += 4;
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(area.data());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

std::vector<char>& Int32Stream() {
    static std::vector<char> bytes = [] {
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.Begin(0, 0);
        for (int i = 0; i < kValues; ++i)
            out.WriteInt32(i);
        out.End();
        return std::vector<char>(reinterpret_cast<char*>(buffer.GetAlignedBuffer()),
                                 reinterpret_cast<char*>(buffer.GetAlignedBuffer()) +
                                     buffer.GetAlignedUsed());
    }();
    return bytes;
}

void ReadInt32KtU(benchmark::State& state) {
    std::vector<char>& bytes = Int32Stream();
    for (auto _ : state) {
        KtUStreamBuffer buffer;
        buffer.SetBuffer(reinterpret_cast<unsigned char*>(bytes.data()),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eCOPY_IF_UNALIGNED);
        KtUReadStream in(&buffer);
        in.Begin(0, 0);
        int sum = 0;
        for (int i = 0; i < kValues; ++i)
            sum += in.ReadInt32();
        in.End(0);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void ReadInt32Cereal(benchmark::State& state) {
    std::vector<char>& bytes = Int32Stream();
    for (auto _ : state) {
        MemoryBuf buf(bytes.data(), bytes.size());
        std::istream is(&buf);
        cereal::BinaryInputArchive archive(is);
        int sum = 0;
        for (int i = 0; i < kValues; ++i) {
            int v;
            archive(v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

const std::vector<double>& Doubles() {
    static std::vector<double> values = [] {
        std::vector<double> v(kDoubles);
        for (long i = 0; i < kDoubles; ++i)
            v[static_cast<size_t>(i)] = static_cast<double>(i) * 0.5;
        return v;
    }();
    return values;
}

void WriteDoubleArrayKtU(benchmark::State& state) {
    const std::vector<double>& values = Doubles();
    for (auto _ : state) {
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.Begin(0, 0);
        out.WriteDoubleArray(values.data(), kDoubles);
        out.End();
        benchmark::DoNotOptimize(buffer.GetBuffer());
    }
    state.SetBytesProcessed(state.iterations() * kDoubles * 8);
}

void WriteDoubleArrayMemcpy(benchmark::State& state) {
    const std::vector<double>& values = Doubles();
    for (auto _ : state) {
        void* area = KtUMemory::Malloc(static_cast<unsigned>(kDoubles * 8));
        std::memcpy(area, values.data(), kDoubles * 8);
        benchmark::DoNotOptimize(area);
        KtUMemory::Free(area);
    }
    state.SetBytesProcessed(state.iterations() * kDoubles * 8);
}

void ReadDoubleArrayKtU(benchmark::State& state) {
    static std::vector<char> bytes = [] {
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.Begin(0, 0);
        out.WriteDoubleArray(Doubles().data(), kDoubles);
        out.End();
        return std::vector<char>(reinterpret_cast<char*>(buffer.GetAlignedBuffer()),
                                 reinterpret_cast<char*>(buffer.GetAlignedBuffer()) +
                                     buffer.GetAlignedUsed());
    }();
    std::vector<double> back(kDoubles);
    for (auto _ : state) {
        KtUStreamBuffer buffer;
        buffer.SetBuffer(reinterpret_cast<unsigned char*>(bytes.data()),
                         static_cast<int>(bytes.size()), KtUStreamBuffer::eIN_PLACE);
        KtUReadStream in(&buffer);
        in.Begin(0, 0);
        in.ReadDoubleArray(back.data(), kDoubles);
        in.End(0);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * kDoubles * 8);
}

void ReadDoubleArrayMemcpy(benchmark::State& state) {
    const std::vector<double>& values = Doubles();
    std::vector<double> back(kDoubles);
    for (auto _ : state) {
        std::memcpy(back.data(), values.data(), kDoubles * 8);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * kDoubles * 8);
}

} // namespace

BENCHMARK(WriteInt32KtU)->Name("WriteInt32/KtU")->Unit(benchmark::kMillisecond);
BENCHMARK(WriteInt32Cereal)->Name("WriteInt32/cereal")->Unit(benchmark::kMillisecond);
BENCHMARK(WriteInt32Memcpy)->Name("WriteInt32/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadInt32KtU)->Name("ReadInt32/KtU")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadInt32Cereal)->Name("ReadInt32/cereal")->Unit(benchmark::kMillisecond);
BENCHMARK(WriteDoubleArrayKtU)->Name("WriteDoubleArray/KtU")->Unit(benchmark::kMillisecond);
BENCHMARK(WriteDoubleArrayMemcpy)->Name("WriteDoubleArray/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadDoubleArrayKtU)->Name("ReadDoubleArray/KtU")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadDoubleArrayMemcpy)->Name("ReadDoubleArray/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

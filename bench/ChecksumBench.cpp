//===- ChecksumBench.cpp - Adler-32 and Blowfish against zlib and OpenSSL -===//
//
// Adler-32 of 1 MiB and 64 KiB of random bytes by KtUChecksum (through the
// dispatched kernel), by the portable kernel alone and by zlib's adler32.
// Blowfish ECB over 1 MiB: KtUBlowfishFilter::Encrypt2 block by block, the
// filter's record path (16 records of 64 KiB into a KtUStreamBuffer, with
// their checksums), and OpenSSL's BF_ecb_encrypt (bytes) and BF_encrypt
// (words). Every implementation's result is checked against ktutil's once
// before timing. Benchmark names are <Operation>/<Implementation>;
// scripts/bench-checksum runs them interleaved and repeated and turns the
// medians into ratios.
//
//===----------------------------------------------------------------------===//
// OpenSSL's Blowfish calls are the peer; they are deprecated in OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUStreamBuffer.h>

#include "stream/adler32.h"

#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr size_t kMiB = 1u << 20;
constexpr size_t kSmall = 64u << 10;
constexpr int kRecord = 65536;

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "ChecksumBench: %s\n", what);
        std::exit(1);
    }
}

const char kKey[] = "a benchmark key of some length";

struct Data {
    std::vector<unsigned char> bytes;
    KtUBlowfishFilter filter{kKey};
    BF_KEY reference;
};

unsigned KtUAdler(const unsigned char* bytes, size_t n) {
    KtUChecksum sum;
    sum.AddNat8Array(bytes, static_cast<unsigned>(n));
    return sum.End();
}

// ECB over n bytes with Encrypt2: each block is two little-endian words.
void KtUEcb(const KtUBlowfishFilter& filter, const unsigned char* in, unsigned char* out,
            size_t n) {
    for (size_t i = 0; i < n; i += 8) {
        unsigned block[2];
        std::memcpy(block, in + i, 8);
        filter.Encrypt2(block, block);
        std::memcpy(out + i, block, 8);
    }
}

// OpenSSL's byte interface reads big-endian words: swap each word in and out.
void OpenSslEcb(const BF_KEY& key, const unsigned char* in, unsigned char* out, size_t n) {
    for (size_t i = 0; i < n; i += 8)
        BF_ecb_encrypt(in + i, out + i, &key, BF_ENCRYPT);
}

void OpenSslWords(const BF_KEY& key, const unsigned char* in, unsigned char* out, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
        BF_LONG block[2];
        std::memcpy(block, in + i, 8);
        BF_encrypt(block, &key);
        std::memcpy(out + i, block, 8);
    }
}

// 16 records of 64 KiB through the filter into the buffer; the buffer is
// rewound, the filter begun, by the caller.
void FilterRecords(KtUBlowfishFilter& filter, KtUStreamBuffer& buffer, const unsigned char* in) {
    buffer.WriteBegin(nullptr);
    for (size_t done = 0; done < kMiB; done += kRecord) {
        unsigned char* region;
        int size;
        filter.WriteLock(&region, &size);
        std::memcpy(region, in + done, kRecord);
        if (!filter.WriteProcess(kRecord)) Require(false, "record write failed");
    }
}

Data& Input() {
    static Data* d = nullptr;
    if (d) return *d;
    KtUBlowfishFilter::Initialise();
    d = new Data;
    std::mt19937_64 rng(42);
    d->bytes.resize(kMiB);
    for (auto& b : d->bytes)
        b = static_cast<unsigned char>(rng());
    BF_set_key(&d->reference, int(sizeof kKey - 1), reinterpret_cast<const unsigned char*>(kKey));

    for (size_t n : {kMiB, kSmall}) {
        unsigned k = KtUAdler(d->bytes.data(), n);
        Require(k == adler32(1, d->bytes.data(), uInt(n)), "zlib's adler32 differs");
        ktu::stream::Adler32State s;
        ktu::stream::Adler32Scalar(s, d->bytes.data(), n);
        Require(k == ktu::stream::Adler32Value(s), "the scalar kernel differs");
    }
    std::vector<unsigned char> ours(kMiB), theirs(kMiB), swapped(kMiB);
    KtUEcb(d->filter, d->bytes.data(), ours.data(), kMiB);
    OpenSslWords(d->reference, d->bytes.data(), theirs.data(), kMiB);
    Require(ours == theirs, "BF_encrypt differs");
    for (size_t i = 0; i < kMiB; i += 4)
        for (size_t j = 0; j < 4; ++j)
            swapped[i + j] = d->bytes[i + 3 - j];
    OpenSslEcb(d->reference, swapped.data(), theirs.data(), kMiB);
    for (size_t i = 0; i < kMiB; i += 4)
        for (size_t j = 0; j < 4; ++j)
            Require(theirs[i + j] == ours[i + 3 - j], "BF_ecb_encrypt differs");

    // The record path enciphers the same blocks behind each header.
    KtUStreamBuffer buffer;
    KtUBlowfishFilter filter = d->filter;
    filter.SetSink(&buffer);
    Require(filter.WriteBegin(nullptr), "filter WriteBegin");
    FilterRecords(filter, buffer, d->bytes.data());
    Require(buffer.GetAlignedUsed() == int(kMiB + 8 * (kMiB / kRecord)), "record sizes");
    for (size_t r = 0; r < kMiB / kRecord; ++r)
        Require(std::memcmp(buffer.GetAlignedBuffer() + r * (kRecord + 8) + 8,
                            ours.data() + r * kRecord, kRecord) == 0,
                "records differ from Encrypt2");
    filter.WriteEnd();
    return *d;
}

void Bytes(benchmark::State& state, size_t n) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t(n));
}

template <size_t n> void AdlerKtU(benchmark::State& state) {
    const Data& d = Input();
    for (auto _ : state)
        benchmark::DoNotOptimize(KtUAdler(d.bytes.data(), n));
    Bytes(state, n);
}

template <size_t n> void AdlerKtUScalar(benchmark::State& state) {
    const Data& d = Input();
    for (auto _ : state) {
        ktu::stream::Adler32State s;
        ktu::stream::Adler32Scalar(s, d.bytes.data(), n);
        benchmark::DoNotOptimize(ktu::stream::Adler32Value(s));
    }
    Bytes(state, n);
}

template <size_t n> void AdlerZlib(benchmark::State& state) {
    const Data& d = Input();
    for (auto _ : state)
        benchmark::DoNotOptimize(adler32(1, d.bytes.data(), uInt(n)));
    Bytes(state, n);
}

void EcbKtUEncrypt2(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kMiB);
    for (auto _ : state) {
        KtUEcb(d.filter, d.bytes.data(), out.data(), kMiB);
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state, kMiB);
}

void EcbKtUFilter(benchmark::State& state) {
    const Data& d = Input();
    KtUStreamBuffer buffer;
    KtUBlowfishFilter filter = d.filter;
    filter.SetSink(&buffer);
    Require(filter.WriteBegin(nullptr), "filter WriteBegin");
    FilterRecords(filter, buffer, d.bytes.data()); // the buffer has grown to size
    for (auto _ : state) {
        FilterRecords(filter, buffer, d.bytes.data());
        benchmark::DoNotOptimize(buffer.GetBuffer());
    }
    filter.WriteEnd();
    Bytes(state, kMiB);
}

void EcbOpenSslEcb(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kMiB);
    for (auto _ : state) {
        OpenSslEcb(d.reference, d.bytes.data(), out.data(), kMiB);
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state, kMiB);
}

void EcbOpenSslEncrypt(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kMiB);
    for (auto _ : state) {
        OpenSslWords(d.reference, d.bytes.data(), out.data(), kMiB);
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state, kMiB);
}

#define KTU_CHECKSUM_BENCH(fn, name)                                                               \
    BENCHMARK(fn)->Name(name)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(0.5)

KTU_CHECKSUM_BENCH(AdlerKtU<kMiB>, "Adler32_1MiB/KtU");
KTU_CHECKSUM_BENCH(AdlerKtUScalar<kMiB>, "Adler32_1MiB/KtUScalar");
KTU_CHECKSUM_BENCH(AdlerZlib<kMiB>, "Adler32_1MiB/zlib");
KTU_CHECKSUM_BENCH(AdlerKtU<kSmall>, "Adler32_64KiB/KtU");
KTU_CHECKSUM_BENCH(AdlerKtUScalar<kSmall>, "Adler32_64KiB/KtUScalar");
KTU_CHECKSUM_BENCH(AdlerZlib<kSmall>, "Adler32_64KiB/zlib");
KTU_CHECKSUM_BENCH(EcbKtUEncrypt2, "BlowfishEcb_1MiB/KtUEncrypt2");
KTU_CHECKSUM_BENCH(EcbKtUFilter, "BlowfishEcb_1MiB/KtUFilter");
KTU_CHECKSUM_BENCH(EcbOpenSslEcb, "BlowfishEcb_1MiB/BF_ecb_encrypt");
KTU_CHECKSUM_BENCH(EcbOpenSslEncrypt, "BlowfishEcb_1MiB/BF_encrypt");

} // namespace

BENCHMARK_MAIN();

//===- EncodeBench.cpp - Base64 and hex against OpenSSL -------------------===//
//
// 64 MiB less one byte of random data (a multiple of 3, so that neither side
// pads and EVP_EncodeBlock's text equals KtUEncode's character for character)
// encoded and decoded by KtUEncode, by OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock, and, for hex, by OPENSSL_buf2hexstr_ex and
// OPENSSL_hexstr2buf_ex without separators. The KtUScalar rows run the
// portable kernels directly, so the gain of the AVX2 ones shows. Every
// implementation's output is checked against KtUEncode's once before timing.
// Benchmark names are <Operation>/<Implementation>; scripts/bench-encode
// turns them into ratios.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUStringBuffer.h>

#include "text/text_codec.h"

#include <benchmark/benchmark.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kBytes = (64u << 20) - 1;
static_assert(kBytes % 3 == 0);

struct Data {
    std::vector<unsigned char> bytes;
    std::string base64, hex;
};

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "EncodeBench: %s\n", what);
        std::exit(1);
    }
}

const Data& Input() {
    static Data d;
    if (!d.bytes.empty()) return d;
    KtUEncode::Initialise();
    std::mt19937_64 rng(42);
    d.bytes.resize(kBytes);
    for (auto& b : d.bytes)
        b = static_cast<unsigned char>(rng());
    KtUStringBuffer text;
    KtUEncode::EncodeBase64(d.bytes.data(), int(kBytes), &text);
    d.base64.assign(text.GetString(), text.GetLength());
    KtUEncode::EncodeHex(d.bytes.data(), int(kBytes), &text);
    d.hex.assign(text.GetString(), text.GetLength());

    // The peers produce and accept exactly the same texts.
    std::vector<unsigned char> out(d.base64.size() + 1);
    int n = EVP_EncodeBlock(out.data(), d.bytes.data(), int(kBytes));
    Require(n == int(d.base64.size()) && std::memcmp(out.data(), d.base64.data(), n) == 0,
            "EVP_EncodeBlock differs");
    n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(d.base64.data()),
                        int(d.base64.size()));
    Require(n == int(kBytes) && std::memcmp(out.data(), d.bytes.data(), kBytes) == 0,
            "EVP_DecodeBlock differs");
    std::vector<char> hex(d.hex.size() + 1);
    size_t len = 0;
    Require(OPENSSL_buf2hexstr_ex(hex.data(), hex.size(), &len, d.bytes.data(), kBytes, '\0') &&
                std::strcmp(hex.data(), d.hex.c_str()) == 0,
            "OPENSSL_buf2hexstr_ex differs");
    Require(OPENSSL_hexstr2buf_ex(out.data(), out.size(), &len, d.hex.c_str(), '\0') &&
                len == kBytes && std::memcmp(out.data(), d.bytes.data(), kBytes) == 0,
            "OPENSSL_hexstr2buf_ex differs");
    return d;
}

void Bytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * int64_t(kBytes));
}

void Base64EncodeKtU(benchmark::State& state) {
    const Data& d = Input();
    KtUStringBuffer out;
    KtUEncode::EncodeBase64(d.bytes.data(), int(kBytes), &out); // output pages ready, as the peers'
    for (auto _ : state) {
        KtUEncode::EncodeBase64(d.bytes.data(), int(kBytes), &out);
        benchmark::DoNotOptimize(out.GetString());
    }
    Bytes(state);
}

void Base64EncodeKtUScalar(benchmark::State& state) {
    const Data& d = Input();
    std::string out(d.base64.size(), '\0');
    for (auto _ : state) {
        ktu::text::kScalarKernels.base64_encode(d.bytes.data(), kBytes, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

void Base64EncodeEVP(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(d.base64.size() + 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), d.bytes.data(), int(kBytes)));
    Bytes(state);
}

void Base64DecodeKtU(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            KtUEncode::DecodeBase64(d.base64.c_str(), out.data(), int(kBytes)));
    Bytes(state);
}

void Base64DecodeKtUScalar(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ktu::text::kScalarKernels.base64_decode(d.base64.data(), d.base64.size(), out.data()));
    Bytes(state);
}

void Base64DecodeEVP(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    auto text = reinterpret_cast<const unsigned char*>(d.base64.data());
    for (auto _ : state)
        benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), text, int(d.base64.size())));
    Bytes(state);
}

void HexEncodeKtU(benchmark::State& state) {
    const Data& d = Input();
    KtUStringBuffer out;
    KtUEncode::EncodeHex(d.bytes.data(), int(kBytes), &out); // output pages ready, as the peers'
    for (auto _ : state) {
        KtUEncode::EncodeHex(d.bytes.data(), int(kBytes), &out);
        benchmark::DoNotOptimize(out.GetString());
    }
    Bytes(state);
}

void HexEncodeKtUScalar(benchmark::State& state) {
    const Data& d = Input();
    std::string out(d.hex.size(), '\0');
    for (auto _ : state) {
        ktu::text::kScalarKernels.hex_encode(d.bytes.data(), kBytes, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    Bytes(state);
}

void HexEncodeOpenSSL(benchmark::State& state) {
    const Data& d = Input();
    std::vector<char> out(d.hex.size() + 1);
    size_t len;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            OPENSSL_buf2hexstr_ex(out.data(), out.size(), &len, d.bytes.data(), kBytes, '\0'));
    Bytes(state);
}

void HexDecodeKtU(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(KtUEncode::DecodeHex(d.hex.c_str(), out.data(), int(kBytes)));
    Bytes(state);
}

void HexDecodeKtUScalar(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ktu::text::kScalarKernels.hex_decode(d.hex.data(), d.hex.size(), out.data()));
    Bytes(state);
}

void HexDecodeOpenSSL(benchmark::State& state) {
    const Data& d = Input();
    std::vector<unsigned char> out(kBytes);
    size_t len;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            OPENSSL_hexstr2buf_ex(out.data(), out.size(), &len, d.hex.c_str(), '\0'));
    Bytes(state);
}

#define KTU_ENCODE_BENCH(fn, name)                                                                 \
    BENCHMARK(fn)->Name(name)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)

KTU_ENCODE_BENCH(Base64EncodeKtU, "Base64Encode/KtU");
KTU_ENCODE_BENCH(Base64EncodeKtUScalar, "Base64Encode/KtUScalar");
KTU_ENCODE_BENCH(Base64EncodeEVP, "Base64Encode/EVP");
KTU_ENCODE_BENCH(Base64DecodeKtU, "Base64Decode/KtU");
KTU_ENCODE_BENCH(Base64DecodeKtUScalar, "Base64Decode/KtUScalar");
KTU_ENCODE_BENCH(Base64DecodeEVP, "Base64Decode/EVP");
KTU_ENCODE_BENCH(HexEncodeKtU, "HexEncode/KtU");
KTU_ENCODE_BENCH(HexEncodeKtUScalar, "HexEncode/KtUScalar");
KTU_ENCODE_BENCH(HexEncodeOpenSSL, "HexEncode/OpenSSL");
KTU_ENCODE_BENCH(HexDecodeKtU, "HexDecode/KtU");
KTU_ENCODE_BENCH(HexDecodeKtUScalar, "HexDecode/KtUScalar");
KTU_ENCODE_BENCH(HexDecodeOpenSSL, "HexDecode/OpenSSL");

} // namespace

BENCHMARK_MAIN();

//===- ConversionBench.cpp - UTF-8 <-> UTF-16 against ICU and iconv -------===//
//
// Five inputs, converted in both directions by the string classes, ICU and
// glibc's iconv in one run: ASCII, a random mix of Latin-1, Greek and CJK
// words, and three real texts (French with accents, Greek, Japanese; from
// bench/data, repeated to the input size). Benchmark names are
// <Direction>/<Input>/<Implementation>; scripts/bench-text runs them
// interleaved and repeated and turns the medians into ratios.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

constexpr size_t kBytes = 16u << 20;

enum Kind { kAscii, kMixed, kFrench, kGreek, kJapanese, kKinds };

// ASCII, or words drawn from Latin-1, Greek and CJK with ASCII spaces and
// punctuation between them.
std::string Generated(bool mixed) {
    std::string s;
    std::mt19937 rng(42);
    s.reserve(kBytes + 64);
    auto put = [&](unsigned c) {
        if (c < 0x80) {
            s.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            s.push_back(static_cast<char>(0xC0 | (c >> 6)));
            s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            s.push_back(static_cast<char>(0xE0 | (c >> 12)));
            s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    };
    while (s.size() < kBytes) {
        unsigned script = mixed ? rng() % 4 : 0;
        int len = 3 + static_cast<int>(rng() % 8);
        for (int i = 0; i < len; ++i) {
            switch (script) {
            case 0:
                put('a' + rng() % 26);
                break;
            case 1:
                put(0xC0 + rng() % 0x3F);
                break; // Latin-1 letters
            case 2:
                put(0x3B1 + rng() % 25);
                break; // Greek
            default:
                put(0x4E00 + rng() % 0x5000); // CJK
            }
        }
        put(rng() % 8 ? ' ' : '.');
    }
    return s;
}

// A text file of bench/data, repeated whole to about kBytes.
std::string Real(const char* name) {
    std::string path = std::string(KTU_BENCH_DATA_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty()) {
        std::fprintf(stderr, "ConversionBench: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    std::string s;
    s.reserve(kBytes + text.size());
    while (s.size() < kBytes)
        s += text;
    return s;
}

const std::string& Input(int kind) {
    static std::string inputs[kKinds];
    std::string& s = inputs[kind];
    if (s.empty()) {
        switch (kind) {
        case kAscii:
            s = Generated(false);
            break;
        case kMixed:
            s = Generated(true);
            break;
        case kFrench:
            s = Real("french.txt");
            break;
        case kGreek:
            s = Real("greek.txt");
            break;
        default:
            s = Real("japanese.txt");
        }
    }
    return s;
}

const std::u16string& Wide(int kind) {
    static std::u16string wides[kKinds];
    std::u16string& w = wides[kind];
    if (w.empty()) {
        KtUWideStringBuffer buffer;
        const std::string& s = Input(kind);
        buffer.SetFromUTF8String(s.c_str(), static_cast<int>(s.size()));
        w.assign(buffer.GetString(), static_cast<size_t>(buffer.GetLength()));
    }
    return w;
}

void SetBytes(benchmark::State& state, int kind) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(Input(kind).size()));
}

void ToWideKtU(benchmark::State& state, int kind) {
    const std::string& s = Input(kind);
    KtUWideStringBuffer out;
    // As for the peers, the output memory is in place before timing starts.
    out.SetFromUTF8String(s.c_str(), static_cast<int>(s.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(out.SetFromUTF8String(s.c_str(), static_cast<int>(s.size())));
    SetBytes(state, kind);
}

void ToWideICU(benchmark::State& state, int kind) {
    const std::string& s = Input(kind);
    std::u16string out(s.size() + 1, u'\0');
    for (auto _ : state) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len = 0;
        u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &len,
                      s.data(), static_cast<int32_t>(s.size()), &err);
        benchmark::DoNotOptimize(len);
    }
    SetBytes(state, kind);
}

void ToWideIconv(benchmark::State& state, int kind) {
    const std::string& s = Input(kind);
    std::u16string out(s.size() + 1, u'\0');
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    for (auto _ : state) {
        char* in = const_cast<char*>(s.data());
        size_t in_left = s.size(), out_left = out.size() * 2;
        char* dst = reinterpret_cast<char*>(out.data());
        iconv(cd, &in, &in_left, &dst, &out_left);
        benchmark::DoNotOptimize(dst);
    }
    iconv_close(cd);
    SetBytes(state, kind);
}

void ToUtf8KtU(benchmark::State& state, int kind) {
    KtUWideStringBuffer wide;
    wide.SetString(Wide(kind).c_str(), static_cast<int>(Wide(kind).size()));
    KtUStringBuffer out;
    wide.ExtractUTF8String(&out);
    for (auto _ : state) {
        wide.ExtractUTF8String(&out);
        benchmark::DoNotOptimize(out.GetString());
    }
    SetBytes(state, kind);
}

void ToUtf8ICU(benchmark::State& state, int kind) {
    const std::u16string& w = Wide(kind);
    std::string out(Input(kind).size() + 16, '\0');
    for (auto _ : state) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len = 0;
        u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len,
                    reinterpret_cast<const UChar*>(w.data()), static_cast<int32_t>(w.size()), &err);
        benchmark::DoNotOptimize(len);
    }
    SetBytes(state, kind);
}

void ToUtf8Iconv(benchmark::State& state, int kind) {
    const std::u16string& w = Wide(kind);
    std::string out(Input(kind).size() + 16, '\0');
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    for (auto _ : state) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(w.data()));
        size_t in_left = w.size() * 2, out_left = out.size();
        char* dst = out.data();
        iconv(cd, &in, &in_left, &dst, &out_left);
        benchmark::DoNotOptimize(dst);
    }
    iconv_close(cd);
    SetBytes(state, kind);
}

struct Init {
    Init() { KtUString::Initialise(); }
} s_init;

} // namespace

#define KTU_CONVERSION_BENCH(fn, dir, impl)                                                        \
    BENCHMARK_CAPTURE(fn, ascii, kAscii)->Name(dir "/Ascii/" impl);                                \
    BENCHMARK_CAPTURE(fn, mixed, kMixed)->Name(dir "/Mixed/" impl);                                \
    BENCHMARK_CAPTURE(fn, french, kFrench)->Name(dir "/French/" impl);                             \
    BENCHMARK_CAPTURE(fn, greek, kGreek)->Name(dir "/Greek/" impl);                                \
    BENCHMARK_CAPTURE(fn, japanese, kJapanese)->Name(dir "/Japanese/" impl)

KTU_CONVERSION_BENCH(ToWideKtU, "ToUtf16", "KtU");
KTU_CONVERSION_BENCH(ToWideICU, "ToUtf16", "ICU");
KTU_CONVERSION_BENCH(ToWideIconv, "ToUtf16", "iconv");
KTU_CONVERSION_BENCH(ToUtf8KtU, "ToUtf8", "KtU");
KTU_CONVERSION_BENCH(ToUtf8ICU, "ToUtf8", "ICU");
KTU_CONVERSION_BENCH(ToUtf8Iconv, "ToUtf8", "iconv");

BENCHMARK_MAIN();

//===- ConversionBench.cpp - UTF-8 <-> UTF-16 against ICU and iconv -------===//
//
// 64 MiB of ASCII and of mixed Latin/Greek/CJK text, converted in both
// directions by the string classes, ICU and glibc's iconv in one run.
// Benchmark names are <Direction>/<Input>/<Implementation>; scripts/bench-text
// turns them into ratios.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ustring.h>

#include <random>
#include <string>

namespace {

constexpr size_t kBytes = 64u << 20;

// UTF-8 text of about kBytes: ASCII only, or words drawn from Latin-1,
// Greek and CJK with ASCII spaces and punctuation between them.
const std::string& Input(bool mixed) {
    static std::string ascii, mix;
    std::string& s = mixed ? mix : ascii;
    if (!s.empty()) return s;
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

const std::u16string& Wide(bool mixed) {
    static std::u16string ascii, mix;
    std::u16string& w = mixed ? mix : ascii;
    if (w.empty()) {
        KtUWideStringBuffer buffer;
        const std::string& s = Input(mixed);
        buffer.SetFromUTF8String(s.c_str(), static_cast<int>(s.size()));
        w.assign(buffer.GetString(), static_cast<size_t>(buffer.GetLength()));
    }
    return w;
}

void SetBytes(benchmark::State& state, bool mixed) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(Input(mixed).size()));
}

void ToWideKtU(benchmark::State& state, bool mixed) {
    const std::string& s = Input(mixed);
    KtUWideStringBuffer out;
    // As for the peers, the output memory is in place before timing starts.
    out.SetFromUTF8String(s.c_str(), static_cast<int>(s.size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(out.SetFromUTF8String(s.c_str(), static_cast<int>(s.size())));
    SetBytes(state, mixed);
}

void ToWideICU(benchmark::State& state, bool mixed) {
    const std::string& s = Input(mixed);
    std::u16string out(s.size() + 1, u'\0');
    for (auto _ : state) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len = 0;
        u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &len,
                      s.data(), static_cast<int32_t>(s.size()), &err);
        benchmark::DoNotOptimize(len);
    }
    SetBytes(state, mixed);
}

void ToWideIconv(benchmark::State& state, bool mixed) {
    const std::string& s = Input(mixed);
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
    SetBytes(state, mixed);
}

void ToUtf8KtU(benchmark::State& state, bool mixed) {
    KtUWideStringBuffer wide;
    wide.SetString(Wide(mixed).c_str(), static_cast<int>(Wide(mixed).size()));
    KtUStringBuffer out;
    wide.ExtractUTF8String(&out);
    for (auto _ : state) {
        wide.ExtractUTF8String(&out);
        benchmark::DoNotOptimize(out.GetString());
    }
    SetBytes(state, mixed);
}

void ToUtf8ICU(benchmark::State& state, bool mixed) {
    const std::u16string& w = Wide(mixed);
    std::string out(Input(mixed).size() + 16, '\0');
    for (auto _ : state) {
        UErrorCode err = U_ZERO_ERROR;
        int32_t len = 0;
        u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len,
                    reinterpret_cast<const UChar*>(w.data()), static_cast<int32_t>(w.size()), &err);
        benchmark::DoNotOptimize(len);
    }
    SetBytes(state, mixed);
}

void ToUtf8Iconv(benchmark::State& state, bool mixed) {
    const std::u16string& w = Wide(mixed);
    std::string out(Input(mixed).size() + 16, '\0');
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    for (auto _ : state) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(w.data()));
        size_t in_left = w.size() * 2, out_left = out.size();
        char* dst = out.data();
        iconv(cd, &in, &in_left, &dst, &out_left);
        benchmark::DoNotOptimize(dst);
    }
    iconv_close(cd);
    SetBytes(state, mixed);
}

struct Init {
    Init() { KtUString::Initialise(); }
} s_init;

} // namespace

#define KTU_CONVERSION_BENCH(fn, dir, impl)                                                        \
    BENCHMARK_CAPTURE(fn, ascii, false)->Name(dir "/Ascii/" impl)->Unit(benchmark::kMillisecond);  \
    BENCHMARK_CAPTURE(fn, mixed, true)->Name(dir "/Mixed/" impl)->Unit(benchmark::kMillisecond)

KTU_CONVERSION_BENCH(ToWideKtU, "ToUtf16", "KtU");
KTU_CONVERSION_BENCH(ToWideICU, "ToUtf16", "ICU");
KTU_CONVERSION_BENCH(ToWideIconv, "ToUtf16", "iconv");
KTU_CONVERSION_BENCH(ToUtf8KtU, "ToUtf8", "KtU");
KTU_CONVERSION_BENCH(ToUtf8ICU, "ToUtf8", "ICU");
KTU_CONVERSION_BENCH(ToUtf8Iconv, "ToUtf8", "iconv");

BENCHMARK_MAIN();

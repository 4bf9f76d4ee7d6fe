//===- format_fuzzer.cpp - Fuzzes the printf engine with well-typed arguments ===//
//
// The input drives a small grammar that builds a narrow and a wide format side
// by side: literal text, well-formed conversions (each given an argument of
// exactly the type the engine reads), malformed conversions that consume
// nothing, %n (its pointer aims at read-only memory) and a trailing '%'.
// Every call writes into exactly sized heap buffers, so an overrun is an ASan
// report. The harness also checks:
//   - the length is the same at every capacity, and a cut result is a prefix;
//   - the narrow result equals glibc's vsnprintf when glibc knows the format;
//   - the wide result is the widened narrow one when the text is comparable.
//
//===----------------------------------------------------------------------===//
#include "text/text_format.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxArgs = 4; // each argument type list is a template instance
const char kReadOnly[16] = "read-only";

enum Kind : unsigned char { kInt, kLong, kDouble, kLongDouble, kNarrow, kWide };
struct Arg {
    Kind kind;
    long long i = 0;
    double d = 0;
    long double ld = 0;
    const void* p = nullptr;
};

struct Job {
    std::string narrowFormat;
    std::u16string wideFormat;
    std::vector<Arg> narrowArgs, wideArgs;
    std::vector<std::unique_ptr<char[]>> keep8;
    std::vector<std::unique_ptr<KtUWChar[]>> keep16;
    bool glibc = true;      // glibc's vsnprintf understands the narrow format
    bool comparable = true; // wide output = narrow output widened byte-wise
    size_t cut = 0;         // picks a truncating capacity
    std::string narrowOut;
    std::u16string wideOut;
    int narrowLen = 0, wideLen = 0;
};

// Runs one format at a null, an exact and a cut capacity.
template <class C>
int Exercise(const C* format, va_list ap, size_t cut, std::basic_string<C>& out) {
    va_list c;
    va_copy(c, ap);
    int n = ktu::text::FormatV(static_cast<C*>(nullptr), 0, format, c);
    va_end(c);
    size_t cap = n >= 0 ? static_cast<size_t>(n) + 1 : 512;
    std::vector<C> full(cap);
    va_copy(c, ap);
    if (ktu::text::FormatV(full.data(), cap, format, c) != n) abort();
    va_end(c);
    if (n < 0) return n;
    if (full[n] != 0) abort();
    out.assign(full.data(), static_cast<size_t>(n));
    size_t k = cut % (static_cast<size_t>(n) + 1) + 1;
    std::vector<C> part(k);
    va_copy(c, ap);
    if (ktu::text::FormatV(part.data(), k, format, c) != n) abort();
    va_end(c);
    if (part[k - 1] != 0 || out.compare(0, k - 1, part.data(), k - 1) != 0) abort();
    return n;
}

int RunNarrow(Job* job, ...) {
    va_list ap;
    va_start(ap, job);
    job->narrowLen = Exercise(job->narrowFormat.c_str(), ap, job->cut, job->narrowOut);
    if (job->glibc) {
        va_list c;
        va_copy(c, ap);
        int n = vsnprintf(nullptr, 0, job->narrowFormat.c_str(), c);
        va_end(c);
        if (n != job->narrowLen) abort();
        std::vector<char> ref(static_cast<size_t>(n) + 1);
        va_copy(c, ap);
        vsnprintf(ref.data(), ref.size(), job->narrowFormat.c_str(), c);
        va_end(c);
        if (job->narrowOut.compare(0, std::string::npos, ref.data(), n) != 0) abort();
    }
    va_end(ap);
    return 0;
}

int RunWide(Job* job, ...) {
    va_list ap;
    va_start(ap, job);
    job->wideLen = Exercise(job->wideFormat.c_str(), ap, job->cut, job->wideOut);
    va_end(ap);
    return 0;
}

using Terminal = int (*)(Job*, ...);

// Calls t with the arguments' values as their own types.
template <size_t Depth, class... A>
int Call(Terminal t, Job* job, const Arg* args, size_t n, A... a) {
    if constexpr (Depth == kMaxArgs) {
        return t(job, a...);
    } else {
        if (n == 0) return t(job, a...);
        switch (args->kind) {
        case kInt:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a..., static_cast<int>(args->i));
        case kLong:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a..., args->i);
        case kDouble:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a..., args->d);
        case kLongDouble:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a..., args->ld);
        case kNarrow:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a...,
                                   static_cast<const char*>(args->p));
        default:
            return Call<Depth + 1>(t, job, args + 1, n - 1, a...,
                                   static_cast<const KtUWChar*>(args->p));
        }
    }
}

// A string argument of either width. With a precision no longer than the
// text, it has no terminator when the engine must stop by the precision.
template <class T>
const T* Text(std::vector<std::unique_ptr<T[]>>& keep, const std::basic_string<T>& s, int prec,
              bool unterminated) {
    size_t n = s.size();
    if (unterminated && prec >= 0 && n >= static_cast<size_t>(prec)) {
        n = static_cast<size_t>(prec);
    } else {
        unterminated = false;
    }
    keep.emplace_back(new T[n + (unterminated ? 0 : 1)]);
    std::copy(s.begin(), s.begin() + static_cast<ptrdiff_t>(n), keep.back().get());
    if (!unterminated) keep.back()[n] = 0;
    return keep.back().get();
}

void AddLiteral(Job& job, FuzzedDataProvider& in) {
    for (unsigned char b : in.ConsumeBytes<unsigned char>(in.ConsumeIntegralInRange(1, 8))) {
        if (b == 0) continue;
        job.narrowFormat += static_cast<char>(b);
        job.wideFormat += static_cast<KtUWChar>(b);
        if (b == '%') { // doubled, so that it stays literal
            job.narrowFormat += '%';
            job.wideFormat += u'%';
        }
    }
    if (in.ConsumeBool()) { // a wide unit whose low byte looks like format syntax
        auto u = static_cast<KtUWChar>(in.ConsumeIntegralInRange(1, 0xFF) << 8 | '%');
        job.wideFormat += u;
        job.narrowFormat += 'x';
        job.comparable = false;
    }
}

void AddMalformed(Job& job, FuzzedDataProvider& in) {
    static const char* const kBad[] = {"%y",   "%I32d", "%I6",  "%-5.2y", "%*y", "%I64s", "%hhf",
                                       "%lp",  "%1$d",  "%.*k", "%Lc",    "%'d", "%h%",   "%I",
                                       "%lls", "%zf",   "%jc",  "%+ #0q", "%.",  "%5.3l"};
    // The '|' keeps text that follows from completing an unfinished one.
    std::string bad = kBad[in.ConsumeIntegralInRange<size_t>(0, std::size(kBad) - 1)];
    bad += '|';
    job.narrowFormat += bad;
    job.wideFormat.append(bad.begin(), bad.end());
    job.glibc = false;
}

// One well-formed conversion and its arguments (on both sides).
void AddConversion(Job& job, FuzzedDataProvider& in) {
    static const char kConvs[] = "diuxXofFeEgGaAsScCpn%";
    static const char* const kIntLens[] = {"", "hh", "h", "l", "ll", "z", "j", "t", "L", "I64"};
    static const char* const kFloatLens[] = {"", "l", "L"};
    static const char* const kTextLens[] = {"", "h", "l"};
    char conv = kConvs[in.ConsumeIntegralInRange<size_t>(0, sizeof kConvs - 2)];
    std::string conversion = "%";
    for (char flag : {'-', '+', ' ', '#', '0'})
        if (in.ConsumeBool()) conversion += flag;
    std::vector<Arg> stars;
    int width = in.ConsumeIntegralInRange(-1, 40); // -1 none
    if (width >= 0 && in.ConsumeBool()) {
        conversion += '*';
        stars.push_back({kInt, in.ConsumeIntegralInRange(-40, 40)});
    } else if (width >= 0) {
        conversion += std::to_string(width);
    }
    int prec = in.ConsumeIntegralInRange(-1, 40);
    if (prec >= 0 && in.ConsumeBool()) {
        conversion += ".*";
        long long p = in.ConsumeIntegralInRange(-5, 40);
        stars.push_back({kInt, p});
        prec = p < 0 ? -1 : static_cast<int>(p);
    } else if (prec >= 0) {
        conversion += '.' + std::to_string(prec);
    }
    std::string len;
    if (strchr("diuxXon", conv)) {
        len = kIntLens[in.ConsumeIntegralInRange<size_t>(0, std::size(kIntLens) - 1)];
    } else if (strchr("fFeEgGaA", conv)) {
        len = kFloatLens[in.ConsumeIntegralInRange<size_t>(0, std::size(kFloatLens) - 1)];
    } else if (strchr("sScC", conv)) {
        len = kTextLens[in.ConsumeIntegralInRange<size_t>(0, std::size(kTextLens) - 1)];
    }
    if (job.narrowArgs.size() + stars.size() + (conv == '%' ? 0 : 1) > kMaxArgs) return;
    conversion += len + conv;
    job.narrowFormat += conversion;
    job.wideFormat.append(conversion.begin(), conversion.end());
    for (const Arg& a : stars) {
        job.narrowArgs.push_back(a);
        job.wideArgs.push_back(a);
    }
    if (len == "I64" || (len == "L" && strchr("diuxXon", conv)) || conv == 'p' || conv == 'n' ||
        conv == 'S' || conv == 'C' || (conv == '%' && conversion != "%%") ||
        ((conv == 's' || conv == 'c') && !len.empty()))
        job.glibc = false;

    Arg a{kInt};
    if (strchr("diuxXo", conv)) {
        bool wide = !len.empty() && len != "hh" && len != "h";
        a = {wide ? kLong : kInt, in.ConsumeIntegral<long long>()};
    } else if (strchr("fFeEgGaA", conv)) {
        double d;
        uint64_t bits = in.ConsumeIntegral<uint64_t>();
        memcpy(&d, &bits, sizeof d); // every double: NaNs, infinities, denormals
        a = {len == "L" ? kLongDouble : kDouble, 0, d, static_cast<long double>(d) * 3};
    } else if (conv == 'c' || conv == 'C') {
        a = {kInt,
             in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 0x7F) : in.ConsumeIntegral<int>()};
        if (a.i < 0 || a.i >= 0x80) job.comparable = false;
    } else if (conv == 'p' || conv == 'n') {
        a = {kNarrow};
        a.p = conv == 'n' ? kReadOnly
                          : reinterpret_cast<const void*>(in.ConsumeIntegral<uintptr_t>());
    } else if (conv == 's' || conv == 'S') {
        // The same text for both sides when ASCII, else unrelated bytes and units.
        bool ascii = in.ConsumeBool();
        std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 12));
        std::u16string units;
        for (char& b : bytes) {
            if (ascii) b = static_cast<char>(b & 0x7F);
            if (!b) b = ascii ? 'a' : '\xC3';
            auto u = ascii ? static_cast<KtUWChar>(b) : in.ConsumeIntegral<uint16_t>();
            units += u ? u : u'\xD83D';
        }
        if (!ascii) job.comparable = false;
        bool null = in.ConsumeIntegralInRange(0, 15) == 0;
        bool unterminated = in.ConsumeBool();
        // Which width each side's argument has (h: narrow, l: UTF-16).
        bool narrowSideWide = len == "l" || (len.empty() && conv == 'S');
        bool wideSideWide = len == "l" || (len.empty() && conv == 's');
        for (int side = 0; side < 2; ++side) {
            bool argWide = side == 0 ? narrowSideWide : wideSideWide;
            bool formatWide = side == 1;
            Arg t{argWide ? kWide : kNarrow};
            if (!null) {
                // UTF-8 input is always terminated: its precision counts UTF-16 units.
                t.p = argWide
                          ? static_cast<const void*>(Text(job.keep16, units, prec, unterminated))
                          : Text(job.keep8, bytes, prec, unterminated && formatWide == argWide);
            }
            (side == 0 ? job.narrowArgs : job.wideArgs).push_back(t);
        }
        return;
    } else {
        return; // %%
    }
    job.narrowArgs.push_back(a);
    job.wideArgs.push_back(a);
}

} // namespace

// ASan's printf interceptor takes %.Ns arguments to be terminated and would
// report the unterminated ones given to glibc; the engine itself is checked.
extern "C" const char* __asan_default_options() {
    return "check_printf=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Job job;
    job.cut = in.ConsumeIntegral<uint16_t>();
    for (int pieces = 0; pieces < 24 && in.remaining_bytes() > 0; ++pieces) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0:
        case 1:
        case 2:
            AddLiteral(job, in);
            break;
        case 3:
            AddMalformed(job, in);
            break;
        default:
            AddConversion(job, in);
        }
    }
    if (in.ConsumeBool()) { // a trailing lone '%'
        job.narrowFormat += '%';
        job.wideFormat += u'%';
        job.glibc = false;
    }
    Call<0>(RunNarrow, &job, job.narrowArgs.data(), job.narrowArgs.size());
    Call<0>(RunWide, &job, job.wideArgs.data(), job.wideArgs.size());
    if (job.comparable) {
        if (job.narrowLen != job.wideLen) abort();
        std::u16string widened;
        for (unsigned char b : job.narrowOut)
            widened += b;
        if (job.narrowLen >= 0 && job.wideOut != widened) abort();
    }
    return 0;
}

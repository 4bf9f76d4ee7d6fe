//===- text_buffer.cpp - Buffer growth and conversions between widths -----===//
#include "text/text_buffer.h"

#include "text/text_convert.h"
#include "text/text_format.h"

#include <ktutil/KtUSysError.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include <climits>
#include <cstring>

namespace ktu::text {

bool ReserveBytes(void*& text, int& alloc_units, int unit_size, int n) {
    // The manager's bad-size check sees n + 1 units as an unsigned size, so a
    // negative request below -1 ends the process as a bad size rather than
    // writing outside the block; sizes past 4 GiB are clamped for the same check.
    unsigned long long want =
        static_cast<unsigned long long>(static_cast<unsigned int>(n) + 1u) * unit_size;
    unsigned int bytes = want > UINT_MAX ? UINT_MAX : static_cast<unsigned int>(want);
    unsigned int best = KtUMemory::GetBestBlockSize(bytes);
    unsigned int old_bytes = static_cast<unsigned int>(alloc_units) * unit_size;
    void* grown = KtUMemory::Resize(text, old_bytes, best, KtUMemory::eALIGN1);
    if (!grown) {
        if (text) KtUMemory::Dealloc(text, old_bytes, KtUMemory::eALIGN1);
        text = nullptr;
        alloc_units = 0;
        return false;
    }
    text = grown;
    alloc_units = static_cast<int>(best / unit_size);
    return true;
}

// Replaces the buffer's content with a marker text.
template <class C> static int Fail(BufferRef<C> out, const char* marker) {
    int n = static_cast<int>(std::strlen(marker));
    if (!Reserve(out, n)) return 0;
    for (int i = 0; i < n; ++i)
        out.text[i] = static_cast<C>(marker[i]);
    out.text[n] = 0;
    out.length = n;
    return 0;
}

int Utf8ToWide(const char* text, int len, KtUWideStringBuffer* out) {
    BufferRef<KtUWChar> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return 1;
    }
    size_t n = len < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(len));
    if (!Reserve(b, static_cast<int>(n))) return 0;
    bool ok = false;
    b.length = static_cast<int>(Utf8ToUtf16(text, n, b.text, &ok));
    b.text[b.length] = 0;
    return ok;
}

void WideToUtf8(const KtUWChar* text, int len, KtUStringBuffer* out) {
    BufferRef<char> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return;
    }
    size_t n = len < 0 ? static_cast<size_t>(Length(text)) : static_cast<size_t>(len);
    size_t bytes = Utf8LengthOf(text, n);
    if (!Reserve(b, static_cast<int>(bytes))) return;
    b.length = static_cast<int>(Utf16ToUtf8(text, n, b.text));
    b.text[b.length] = 0;
}

int AsciiToWide(const char* text, KtUWideStringBuffer* out) {
    BufferRef<KtUWChar> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return 1;
    }
    size_t n = std::strlen(text);
    if (n >= static_cast<size_t>(INT_MAX / 2)) return Fail(b, "ASCIITOWCS CONVERSION FAILED!");
    if (AsciiPrefix(text, n) != n) return Fail(b, "ASCIITOWCS INTERNAL FAILURE!");
    if (!Reserve(b, static_cast<int>(n))) return 0;
    for (size_t i = 0; i < n; ++i)
        b.text[i] = static_cast<KtUWChar>(text[i]);
    b.text[n] = 0;
    b.length = static_cast<int>(n);
    return 1;
}

int WideToAscii(const KtUWChar* text, KtUStringBuffer* out) {
    BufferRef<char> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return 1;
    }
    size_t n = static_cast<size_t>(Length(text));
    if (AsciiPrefix(text, n) != n) return Fail(b, "NOT AN ASCII STRING");
    if (!Reserve(b, static_cast<int>(n))) return 0;
    for (size_t i = 0; i < n; ++i)
        b.text[i] = static_cast<char>(text[i]);
    b.text[n] = 0;
    b.length = static_cast<int>(n);
    return 1;
}

int MultiToWide(const char* text, KtUWideStringBuffer* out) {
    BufferRef<KtUWChar> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return 1;
    }
    size_t n = std::strlen(text);
    long need = MultiToUtf16(text, n, nullptr, 0);
    if (need < 0) return Fail(b, "MBSTOWCS CONVERSION FAILED!");
    if (!Reserve(b, static_cast<int>(need))) return 0;
    long got = MultiToUtf16(text, n, b.text, static_cast<size_t>(need));
    if (got != need) return Fail(b, "MBSTOWCS INTERNAL FAILURE!");
    b.text[got] = 0;
    b.length = static_cast<int>(got);
    return 1;
}

int WideToMulti(const KtUWChar* text, KtUStringBuffer* out) {
    BufferRef<char> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return 1;
    }
    size_t n = static_cast<size_t>(Length(text));
    long need = Utf16ToMulti(text, n, nullptr, 0);
    if (need < 0) return Fail(b, "WCSTOMBS CONVERSION FAILED!");
    if (!Reserve(b, static_cast<int>(need))) return 0;
    long got = Utf16ToMulti(text, n, b.text, static_cast<size_t>(need));
    if (got != need) return Fail(b, "WCSTOMBS INTERNAL FAILURE!");
    b.text[got] = 0;
    b.length = static_cast<int>(got);
    return 1;
}

int IsValidUtf8(const char* text) {
    if (!text) return 1;
    size_t n = std::strlen(text);
    size_t ascii = AsciiPrefix(text, n);
    if (ascii == n) return 1;
    // Decode the rest in pieces into a scratch area; only validity matters.
    KtUWChar scratch[256];
    const char* p = text + ascii;
    size_t left = n - ascii;
    while (left > 0) {
        size_t chunk = left < 250 ? left : 250;
        // Do not split a sequence: extend the chunk over continuation bytes.
        while (chunk < left && (static_cast<unsigned char>(p[chunk]) & 0xC0) == 0x80 && chunk < 256)
            ++chunk;
        bool ok = false;
        Utf8ToUtf16(p, chunk, scratch, &ok);
        if (!ok) return 0;
        p += chunk;
        left -= chunk;
    }
    return 1;
}

template <class C>
static void FormatIntoT(BufferRef<C> b, const C* format, va_list args, const char* who) {
    if (!format) {
        Release(b);
        return;
    }
    if (!b.text || b.alloc <= 100)
        if (!Reserve(b, 100)) return;
    // The wide limit is the same number of bytes: 100 MiB.
    const int limit = 0x6400000 / static_cast<int>(sizeof(C));
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        errno = 0;
        int needed = FormatV(b.text, static_cast<size_t>(b.alloc), format, copy);
        const int error = errno;
        va_end(copy);
        if (needed >= 0 && needed < b.alloc) break;
        if (needed < 0 && error == EILSEQ) {
            if constexpr (sizeof(C) == 1) {
                KtUSysError::LogUTF8String(who);
                KtUSysError::LogUTF8String(" returned EILSEQ for format \"");
                KtUSysError::LogUTF8String(format);
                KtUSysError::LogUTF8String("\"\n");
            }
            break;
        }
        // Growing one best block size at a time, as long as the allocation is
        // within the limit, would reach an allocation of `reach` units; grow
        // straight to the size needed when that is within reach, else refuse
        // as the step-wise growth would once past the limit.
        // Any other failure (a text past INT_MAX units) can never fit.
        int reach = b.alloc;
        while (needed >= 0 && reach <= needed && reach <= limit)
            reach = BestUnits<C>(reach + 1);
        if (needed < 0 || reach <= needed) {
            KtUWChar message[256];
            char16_t wide_who[96];
            size_t i = 0;
            for (; who[i] && i + 1 < sizeof wide_who / sizeof wide_who[0]; ++i)
                wide_who[i] = static_cast<char16_t>(who[i]);
            wide_who[i] = 0;
            Format(message, sizeof message / sizeof message[0],
                   u"%s requires too much memory, errno=%d\n", wide_who, error);
            KtUSysError::PostWideString(KtUSysError::eERROR, StringComponent(), message);
            break;
        }
        if (!Reserve(b, needed)) return;
    }
    b.length = Length(b.text);
}

void FormatInto(BufferRef<char> b, const char* format, va_list args, const char* who) {
    FormatIntoT(b, format, args, who);
}

void FormatInto(BufferRef<KtUWChar> b, const KtUWChar* format, va_list args, const char* who) {
    FormatIntoT(b, format, args, who);
}

template <class C> static void FormatVariadic(BufferRef<C> b, const C* format, ...) {
    va_list args;
    va_start(args, format);
    FormatInto(b, format, args, "FormatLocalizedFloat");
    va_end(args);
}

// Prints value with precision n in fixed notation into b.
template <class C> static void PrintFixed(BufferRef<C> b, double value, int n) {
    C format[16];
    if constexpr (sizeof(C) == 1)
        Format(format, 16, "%%.%df", n);
    else
        Format(format, 16, u"%%.%df", n);
    FormatVariadic(b, format, value);
}

template <class C>
static void FormatFloatLocalizedT(BufferRef<C> b, double value, int decimals, int extend) {
    int n = decimals;
    bool grew = false;
    double magnitude = std::fabs(value);
    if (extend && magnitude > 1e-14 && !std::isnan(value)) {
        while (std::pow(0.1, n) >= magnitude && n < 20 - decimals) {
            ++n;
            grew = true;
        }
        if (grew) n += decimals;
    }
    PrintFixed(b, value, n);
    if (grew && b.text)
        for (int i = 0; i < decimals && b.length > 0 && b.text[b.length - 1] == '0'; ++i)
            b.text[--b.length] = 0;
}

void FormatFloatLocalized(BufferRef<char> b, double value, int decimals, int extend) {
    FormatFloatLocalizedT(b, value, decimals, extend);
}

void FormatFloatLocalized(BufferRef<KtUWChar> b, double value, int decimals, int extend) {
    FormatFloatLocalizedT(b, value, decimals, extend);
}

} // namespace ktu::text

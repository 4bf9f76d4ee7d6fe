//===- KtUEncode.cpp - Bytes as hexadecimal, hex-escaped or Base64 text ---===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>

#include "foundation/component.h"
#include "text/text_buffer.h"
#include "text/text_codec.h"

#include <climits>
#include <cstdint>
#include <cstring>

using namespace ktu::text;

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUEncode",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString>,
};
KTU_COMPONENT_LIFECYCLE(KtUEncode, kComponent)

namespace {

// Room for exactly n characters in out, its old text dropped; null when n
// cannot be held (out is then null too).
char* PrepareOutput(KtUStringBuffer* out, std::size_t n) {
    BufferRef<char> b = BufferAccess::Of(*out);
    if (n >= INT_MAX) {
        Release(b);
        return nullptr;
    }
    return ReserveFresh(b, static_cast<int>(n)) ? b.text : nullptr;
}

void Finish(KtUStringBuffer* out, std::size_t n) {
    out->EndEditBuffer(static_cast<int>(n));
}

// Whether bytes lie in out's block, which encoding would release or overwrite.
bool Overlaps(const unsigned char* bytes, std::size_t n, const KtUStringBuffer* out) {
    auto b = reinterpret_cast<std::uintptr_t>(bytes);
    auto t = reinterpret_cast<std::uintptr_t>(out->GetString());
    return n && t && b < t + static_cast<std::size_t>(out->GetAllocationSize()) && t < b + n;
}

// 0-9, A-Z and a-z travel unescaped.
bool IsPlain(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::size_t CountOf(const unsigned char* bytes, int count) {
    return bytes && count > 0 ? static_cast<std::size_t>(count) : 0;
}

// Checks the decoded size n against the caller's capacity.
int Result(std::size_t n, const unsigned char* out, int capacity) {
    if (n > INT_MAX) return -1;
    if (out && static_cast<std::size_t>(capacity < 0 ? 0 : capacity) < n) return -1;
    return static_cast<int>(n);
}

} // namespace

void KtUEncode::EncodeHex(const unsigned char* bytes, int count, KtUStringBuffer* out) {
    if (Overlaps(bytes, CountOf(bytes, count), out)) {
        KtUStringBuffer copy;
        EncodeHex(bytes, count, &copy);
        out->Swap(copy);
        return;
    }
    std::size_t n = CountOf(bytes, count);
    char* text = PrepareOutput(out, 2 * n);
    if (!text) return;
    if (n) Kernels().hex_encode(bytes, n, text);
    Finish(out, 2 * n);
}

int KtUEncode::DecodeHex(const char* text, unsigned char* out, int capacity) {
    if (!text) return -1;
    std::size_t len = std::strlen(text);
    if (len % 2) return -1;
    int n = Result(len / 2, out, capacity);
    if (n < 0) return -1;
    bool ok = out ? Kernels().hex_decode(text, len, out) : IsHexText(text, len);
    return ok ? n : -1;
}

void KtUEncode::EncodeHexEscaped(const unsigned char* bytes, int count, KtUStringBuffer* out) {
    if (Overlaps(bytes, CountOf(bytes, count), out)) {
        KtUStringBuffer copy;
        EncodeHexEscaped(bytes, count, &copy);
        out->Swap(copy);
        return;
    }
    std::size_t n = CountOf(bytes, count), len = n;
    for (std::size_t i = 0; i < n; ++i)
        if (!IsPlain(bytes[i])) len += 2;
    char* text = PrepareOutput(out, len);
    if (!text) return;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = bytes[i];
        if (IsPlain(c)) {
            *text++ = static_cast<char>(c);
        } else {
            text[0] = '/';
            text[1] = kHexDigits[c >> 4];
            text[2] = kHexDigits[c & 15];
            text += 3;
        }
    }
    Finish(out, len);
}

int KtUEncode::DecodeHexEscaped(const char* text, unsigned char* out, int capacity) {
    if (!text) return -1;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t n = 0, room = out && capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
    while (*s) {
        int value;
        if (IsPlain(*s)) {
            value = *s++;
        } else if (*s == '/') {
            int hi = HexDigitValue(s[1]); // s[1] may be the terminator, never past it
            int lo = hi < 0 ? -1 : HexDigitValue(s[2]);
            if (lo < 0) return -1;
            value = hi << 4 | lo;
            s += 3;
        } else {
            return -1;
        }
        if (out) {
            if (n == room) return -1;
            out[n] = static_cast<unsigned char>(value);
        }
        if (++n > INT_MAX) return -1;
    }
    return static_cast<int>(n);
}

void KtUEncode::EncodeBase64(const unsigned char* bytes, int count, KtUStringBuffer* out) {
    if (Overlaps(bytes, CountOf(bytes, count), out)) {
        KtUStringBuffer copy;
        EncodeBase64(bytes, count, &copy);
        out->Swap(copy);
        return;
    }
    std::size_t n = CountOf(bytes, count), len = Base64EncodedLength(n);
    char* text = PrepareOutput(out, len);
    if (!text) return;
    if (n) Kernels().base64_encode(bytes, n, text);
    Finish(out, len);
}

int KtUEncode::DecodeBase64(const char* text, unsigned char* out, int capacity) {
    if (!text) return -1;
    std::size_t len = std::strlen(text);
    if (len % 4 == 1) return -1;
    int n = Result(Base64DecodedLength(len), out, capacity);
    if (n < 0) return -1;
    bool ok = out ? Kernels().base64_decode(text, len, out) : IsBase64Text(text, len);
    return ok ? n : -1;
}

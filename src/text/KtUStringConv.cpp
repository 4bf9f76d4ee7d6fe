//===- KtUStringConv.cpp - 7-bit ASCII escapes and STEP string decoding ---===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUStringConv.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "text/text_buffer.h"
#include "text/text_codec.h"
#include "text/text_iso8859.h"

#include <climits>

using namespace ktu::text;

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUStringConv",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString>,
};
KTU_COMPONENT_LIFECYCLE(KtUStringConv, kComponent)

namespace {

bool IsPlain7Bit(unsigned c) {
    return c >= 32 && c <= 126 && c != '/';
}

// The value of count hexadecimal digits at s, or -1; stops at a terminator.
long ReadHex(const unsigned char* s, int count) {
    long value = 0;
    for (int i = 0; i < count; ++i) {
        int d = HexDigitValue(s[i]);
        if (d < 0) return -1;
        value = value << 4 | d;
    }
    return value;
}

bool Starts(const unsigned char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (*s != static_cast<unsigned char>(*prefix)) return false;
    return true;
}

// Decodes a STEP string into out (which starts empty); false when malformed.
bool DecodeStep(const unsigned char* s, KtUWideStringBuffer* out) {
    int part = 1;
    while (*s) {
        if (*s != '\\') {
            out->Append(Iso8859ToUtf16(part, *s++));
        } else if (s[1] == '\\') {
            out->Append(u'\\');
            s += 2;
        } else if (Starts(s, "\\S\\")) {
            unsigned char c = s[3];
            if (c < 0x20 || c > 0x7E) return false;
            out->Append(Iso8859ToUtf16(part, static_cast<unsigned char>(c + 0x80)));
            s += 4;
        } else if (Starts(s, "\\P")) {
            if (s[2] < 'A' || s[2] > 'P' || s[3] != '\\') return false;
            part = s[2] - 'A' + 1;
            s += 4;
        } else if (Starts(s, "\\X\\")) {
            long value = ReadHex(s + 3, 2);
            if (value <= 0) return false; // a NUL would end the text early
            out->Append(static_cast<KtUWChar>(value));
            s += 5;
        } else if (Starts(s, "\\X2\\") || Starts(s, "\\X4\\")) {
            int digits = s[2] == '2' ? 4 : 8;
            for (s += 4; *s != '\\'; s += digits) {
                long value = ReadHex(s, digits);
                if (value <= 0) return false;
                if (digits == 4) {
                    out->Append(static_cast<KtUWChar>(value));
                } else if (value >= 0x10000 && value <= 0x10FFFF) {
                    value -= 0x10000;
                    out->Append(static_cast<KtUWChar>(0xD800 + (value >> 10)));
                    out->Append(static_cast<KtUWChar>(0xDC00 + (value & 0x3FF)));
                } else if (value < 0xD800 || (value > 0xDFFF && value < 0x10000)) {
                    out->Append(static_cast<KtUWChar>(value));
                } else {
                    return false; // a lone surrogate or beyond U+10FFFF
                }
            }
            if (!Starts(s, "\\X0\\")) return false;
            s += 4;
        } else {
            return false; // an unknown directive, or a backslash at the end
        }
    }
    return !out->IsNull(); // an allocation failure makes the buffer null
}

} // namespace

void KtUStringConv::EncodeWideTo7BitAscii(const KtUWChar* text, KtUStringBuffer* out) {
    BufferRef<char> b = BufferAccess::Of(*out);
    if (!text) {
        Release(b);
        return;
    }
    long long len = 0;
    for (const KtUWChar* p = text; *p; ++p)
        len += IsPlain7Bit(*p) ? 1 : *p == u'/' ? 2 : 5;
    if (len >= INT_MAX) {
        Release(b);
        return;
    }
    if (!ReserveFresh(b, static_cast<int>(len))) return;
    char* o = b.text;
    for (const KtUWChar* p = text; *p; ++p) {
        unsigned c = *p;
        if (IsPlain7Bit(c)) {
            *o++ = static_cast<char>(c);
        } else if (c == '/') {
            *o++ = '/';
            *o++ = '/';
        } else {
            o[0] = '/';
            for (int i = 0; i < 4; ++i)
                o[1 + i] = kHexDigits[c >> (12 - 4 * i) & 15];
            o += 5;
        }
    }
    out->EndEditBuffer(static_cast<int>(len));
}

bool KtUStringConv::DecodeWideFrom7BitAscii(const char* text, KtUWideStringBuffer* out) {
    if (!text) {
        out->SetString(static_cast<const KtUWChar*>(nullptr));
        return true;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    // The decoded text is never longer than the escaped one.
    int len = KtUString::GetLength(text);
    BufferRef<KtUWChar> b = BufferAccess::Of(*out);
    if (!ReserveFresh(b, len)) return false;
    KtUWChar* o = b.text;
    bool ok = true;
    while (*s) {
        if (IsPlain7Bit(*s)) {
            *o++ = *s++;
        } else if (s[0] == '/' && s[1] == '/') {
            *o++ = u'/';
            s += 2;
        } else {
            long value = s[0] == '/' ? ReadHex(s + 1, 4) : -1;
            if (value <= 0) { // "/0000" cannot come from a terminated text
                ok = false;
                break;
            }
            *o++ = static_cast<KtUWChar>(value);
            s += 5;
        }
    }
    out->EndEditBuffer(static_cast<int>(o - b.text));
    return ok;
}

bool KtUStringConv::STEPToWide(const char* text, KtUWideStringBuffer* out) {
    if (!text) return false;
    KtUWideStringBuffer decoded;
    decoded.SetEmptyString();
    if (!DecodeStep(reinterpret_cast<const unsigned char*>(text), &decoded)) return false;
    if (out->IsNull()) out->SetEmptyString();
    out->Append(decoded);
    return true;
}

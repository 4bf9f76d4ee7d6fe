//===- fuzz_data.h - Shared checks of the value text fuzzers --------------===//
//
// Inputs are taken as UTF-16 units (pairs of bytes, low byte first) in a heap
// block of exactly their size plus the terminator. Whatever a text reader
// accepts must write back to a text that reads to the same value: the
// written text is a fixed point of write and read, in both text forms and
// through a binary stream.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_FUZZ_DATA_H
#define KTUTIL_FUZZ_DATA_H

#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUStreamBuffer.h>
#include <ktutil/KtUStreamFormat.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include "fuzz_text.h"

#include <string>

namespace fuzz {

inline std::unique_ptr<KtUWChar[]> WideTerminated(const uint8_t* data, size_t size) {
    size_t n = size / 2;
    std::unique_ptr<KtUWChar[]> text(new KtUWChar[n + 1]);
    for (size_t i = 0; i < n; ++i)
        text[i] = static_cast<KtUWChar>(data[2 * i] | data[2 * i + 1] << 8);
    text[n] = 0;
    return text;
}

inline std::u16string Written(const KtUData& value, bool ex) {
    KtUWideStringBuffer b;
    if (ex)
        value.WriteEx(&b);
    else
        value.Write(&b);
    return b.GetString() ? std::u16string(b.GetString()) : std::u16string();
}

// Names travel through streams as their two strings.
inline void WriteName(KtUWriteStream* out, const KtUName* name) {
    out->WriteString(name ? name->GetName().GetString() : nullptr);
    out->WriteWideString(name ? name->GetUserName().GetString() : nullptr);
}

inline KtUName* ReadName(KtUReadStream* in) {
    KtUStringBuffer internal;
    KtUWideStringBuffer user;
    in->ReadString(&internal);
    in->ReadWideString(&user);
    return in->IsError() || internal.IsNull() ? nullptr
                                              : new KtUName(internal.GetString(), user.GetString());
}

inline void SetUp() {
    KtUData::Initialise();
    KtUStream::Initialise();
    KtUName::SetReadWriteCallbacks(WriteName, ReadName);
    // Components release their state on the way out, so that the leak
    // checker sees only what an input leaked.
    std::atexit([] {
        KtUStream::Terminate();
        KtUData::Terminate();
    });
}

// Times whose year no longer fits an int are written with zero fields (and
// logged), so they do not read back; both bounds keep well inside.
inline bool HasCalendarYear(const KtUData& value) {
    constexpr KtUInt64 kSafe = 67000000000000000; // about 2.1e9 years
    return !value.IsTime() || (value.GetTime() < kSafe && value.GetTime() > -kSafe);
}

// The checks every accepted value must pass.
inline void CheckAccepted(const KtUData& value) {
    for (bool ex : {false, true}) {
        if (!HasCalendarYear(value)) break;
        std::u16string first = Written(value, ex);
        KtUData again;
        Check(ex ? again.ReadEx(first.c_str()) : again.Read(first.c_str()), "written text reads");
        Check(Written(again, ex) == first, "written text is a fixed point");
    }
    KtUWideStringBuffer dump;
    value.Dump(&dump);
    KtUData copy = value;
    Check(copy.CalcHashCode() == value.CalcHashCode(), "copies hash alike");

    // Streams carry wide text as UTF-8 without the non-characters U+FFFE and
    // U+FFFF; their reader refuses them (docs/data.md).
    if (Written(value, false).find_first_of(u"\uFFFE\uFFFF") != std::u16string::npos) return;
    // A format version that carries every kind as itself.
    static KtUStreamFormat format("fuzzdata", 0);
    format.SetVersion(209);
    KtUStreamBuffer buffer;
    KtUWriteStream out(&buffer);
    out.SetFormat(&format);
    Check(out.Begin(1, 0) != 0, "stream begins");
    out << value;
    Check(out.End() != 0, "stream ends");
    KtUStreamBuffer source;
    source.SetBuffer(const_cast<unsigned char*>(buffer.GetAlignedBuffer()),
                     static_cast<int>(buffer.GetAlignedUsed()), KtUStreamBuffer::eCOPY);
    KtUReadStream in(&source);
    in.AddAvailableFormat(&format);
    Check(in.Begin(1, 0) != 0, "stream reads");
    KtUData back;
    in >> back;
    Check(!in.IsError() && in.End(1), "stream reads to its end");
    Check(Written(back, false) == Written(value, false), "stream keeps the value");
}

} // namespace fuzz

#endif // KTUTIL_FUZZ_DATA_H

//===- ascii7_fuzzer.cpp - Fuzzes KtUStringConv's 7-bit escape form -------===//
//
// Checks on every input: decoding never reads or writes out of bounds; a
// decoded text re-encodes to a text that decodes to the same units, and the
// re-encoded text is all printable ASCII; the input taken as UTF-16 units
// survives encode and decode.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUStringConv.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "fuzz_text.h"

#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUStringConv::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::Terminated(data, size);
    KtUWideStringBuffer wide;
    if (KtUStringConv::DecodeWideFrom7BitAscii(text.get(), &wide)) {
        KtUStringBuffer again;
        KtUStringConv::EncodeWideTo7BitAscii(wide.GetString(), &again);
        for (int i = 0; i < again.GetLength(); ++i)
            fuzz::Check(again[i] >= 32 && again[i] <= 126, "encoding is printable ASCII");
        KtUWideStringBuffer back;
        fuzz::Check(KtUStringConv::DecodeWideFrom7BitAscii(again.GetString(), &back) &&
                        back == wide,
                    "re-encoded text decodes to the same units");
    }
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t u = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (u) units += u;
    }
    KtUStringBuffer encoded;
    KtUStringConv::EncodeWideTo7BitAscii(units.c_str(), &encoded);
    KtUWideStringBuffer back;
    fuzz::Check(KtUStringConv::DecodeWideFrom7BitAscii(encoded.GetString(), &back) &&
                    units == back.GetString(),
                "units round-trip");
    return 0;
}

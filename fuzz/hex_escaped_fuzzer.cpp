//===- hex_escaped_fuzzer.cpp - Fuzzes KtUEncode::DecodeHexEscaped --------===//
//
// Checks on every input: decoding never reads or writes out of bounds; the
// counting call agrees with the decoding one; one byte less capacity fails; a
// decoded text re-encodes to a text that decodes to the same bytes; the input
// taken as bytes survives encode and decode.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUStringBuffer.h>

#include "fuzz_text.h"

#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUEncode::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::Terminated(data, size);
    int n = KtUEncode::DecodeHexEscaped(text.get(), nullptr, 0);
    std::unique_ptr<unsigned char[]> out(new unsigned char[n > 0 ? n : 1]);
    int m = KtUEncode::DecodeHexEscaped(text.get(), out.get(), n > 0 ? n : 0);
    fuzz::Check(m == n, "count and decode agree");
    if (n > 0)
        fuzz::Check(KtUEncode::DecodeHexEscaped(text.get(), out.get(), n - 1) == -1, "capacity");
    if (n >= 0) {
        KtUStringBuffer again;
        KtUEncode::EncodeHexEscaped(out.get(), n, &again);
        fuzz::Check(again.GetLength() <= static_cast<int>(std::strlen(text.get())) + 2 * n,
                    "re-encoded length");
        std::vector<unsigned char> back(n + 1);
        fuzz::Check(KtUEncode::DecodeHexEscaped(again.GetString(), back.data(), n) == n &&
                        std::memcmp(back.data(), out.get(), n) == 0,
                    "re-encoded text decodes to the same bytes");
    }
    KtUStringBuffer encoded;
    KtUEncode::EncodeHexEscaped(data, static_cast<int>(size), &encoded);
    std::vector<unsigned char> back(size + 1);
    fuzz::Check(KtUEncode::DecodeHexEscaped(encoded.GetString(), back.data(),
                                            static_cast<int>(size)) == static_cast<int>(size) &&
                    std::memcmp(back.data(), data, size) == 0,
                "bytes round-trip");
    return 0;
}

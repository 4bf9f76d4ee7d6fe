//===- hex_fuzzer.cpp - Fuzzes KtUEncode::DecodeHex and the hex kernels ---===//
//
// Checks on every input: decoding never reads or writes out of bounds; the
// counting call agrees with the decoding one; one byte less capacity fails; a
// decoded text re-encodes to itself in upper case; the scalar and AVX2
// kernels agree; the input taken as bytes survives encode and decode.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUStringBuffer.h>

#include "fuzz_text.h"
#include "text/text_codec.h"

#include <cctype>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUEncode::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::Terminated(data, size);
    size_t len = std::strlen(text.get());
    int n = KtUEncode::DecodeHex(text.get(), nullptr, 0);
    std::unique_ptr<unsigned char[]> out(new unsigned char[n > 0 ? n : 1]);
    int m = KtUEncode::DecodeHex(text.get(), out.get(), n > 0 ? n : 0);
    fuzz::Check(m == n, "count and decode agree");
    if (n > 0) fuzz::Check(KtUEncode::DecodeHex(text.get(), out.get(), n - 1) == -1, "capacity");
    if (n >= 0) {
        KtUStringBuffer again;
        KtUEncode::EncodeHex(out.get(), n, &again);
        std::string upper(text.get(), len);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        fuzz::Check(upper == again.GetString(), "re-encodes to the upper-case text");
    }
    if (len % 2 == 0 && ktu::text::CpuHasAvx2()) {
        std::vector<uint8_t> s(len / 2 + 1), v(len / 2 + 1);
        bool ok_s = ktu::text::kScalarKernels.hex_decode(text.get(), len, s.data());
        bool ok_v = ktu::text::kAvx2Kernels.hex_decode(text.get(), len, v.data());
        fuzz::Check(ok_s == ok_v && ok_s == (n >= 0), "kernels agree on validity");
        if (ok_s) fuzz::Check(s == v, "kernels agree on bytes");
    }
    KtUStringBuffer encoded;
    KtUEncode::EncodeHex(data, static_cast<int>(size), &encoded);
    std::vector<unsigned char> back(size + 1);
    fuzz::Check(KtUEncode::DecodeHex(encoded.GetString(), back.data(), static_cast<int>(size)) ==
                        static_cast<int>(size) &&
                    std::memcmp(back.data(), data, size) == 0,
                "bytes round-trip");
    return 0;
}

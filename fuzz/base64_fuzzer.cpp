//===- base64_fuzzer.cpp - Fuzzes KtUEncode::DecodeBase64 and its kernels -===//
//
// Checks on every input: decoding never reads or writes out of bounds; the
// counting call agrees with the decoding one; one byte less capacity fails; a
// decoded text re-encodes to itself except for the unused low bits of its
// last character; the scalar and AVX2 kernels agree; the input taken as bytes
// survives encode and decode.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUEncode.h>
#include <ktutil/KtUStringBuffer.h>

#include "fuzz_text.h"
#include "text/text_codec.h"

#include <vector>

namespace {

int Value(char c) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    return static_cast<int>(std::strchr(alphabet, c) - alphabet);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUEncode::Initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::Terminated(data, size);
    size_t len = std::strlen(text.get());
    int n = KtUEncode::DecodeBase64(text.get(), nullptr, 0);
    std::unique_ptr<unsigned char[]> out(new unsigned char[n > 0 ? n : 1]);
    int m = KtUEncode::DecodeBase64(text.get(), out.get(), n > 0 ? n : 0);
    fuzz::Check(m == n, "count and decode agree");
    if (n > 0) fuzz::Check(KtUEncode::DecodeBase64(text.get(), out.get(), n - 1) == -1, "capacity");
    if (n >= 0) {
        KtUStringBuffer again;
        KtUEncode::EncodeBase64(out.get(), n, &again);
        fuzz::Check(static_cast<size_t>(again.GetLength()) == len, "re-encoded length");
        if (len) {
            fuzz::Check(std::memcmp(again.GetString(), text.get(), len - 1) == 0,
                        "re-encodes to the same text");
            int unused = len % 4 == 2 ? 4 : len % 4 == 3 ? 2 : 0;
            fuzz::Check(Value(again[static_cast<int>(len) - 1]) >> unused ==
                            Value(text[len - 1]) >> unused,
                        "last character differs only in unused bits");
        }
    }
    if (len % 4 != 1 && ktu::text::CpuHasAvx2()) {
        size_t out_len = ktu::text::Base64DecodedLength(len);
        std::vector<uint8_t> s(out_len), v(out_len);
        bool ok_s = ktu::text::kScalarKernels.base64_decode(text.get(), len, s.data());
        bool ok_v = ktu::text::kAvx2Kernels.base64_decode(text.get(), len, v.data());
        fuzz::Check(ok_s == ok_v && ok_s == (n >= 0), "kernels agree on validity");
        if (ok_s) fuzz::Check(s == v, "kernels agree on bytes");
    }
    KtUStringBuffer encoded;
    KtUEncode::EncodeBase64(data, static_cast<int>(size), &encoded);
    if (ktu::text::CpuHasAvx2()) {
        std::string s(encoded.GetLength(), '?');
        ktu::text::kScalarKernels.base64_encode(data, size, s.data());
        fuzz::Check(s == encoded.GetString(), "kernels agree on encoding");
    }
    std::vector<unsigned char> back(size + 1);
    fuzz::Check(KtUEncode::DecodeBase64(encoded.GetString(), back.data(), static_cast<int>(size)) ==
                        static_cast<int>(size) &&
                    std::memcmp(back.data(), data, size) == 0,
                "bytes round-trip");
    return 0;
}

//===- text_codec.h - Hex and Base64 kernels, scalar and AVX2 -------------===//
//
// The byte loops behind KtUEncode. Each kernel works on raw arrays whose sizes
// the caller has already checked: encoders write exactly the encoded length,
// decoders exactly the decoded length, and no kernel touches a byte outside
// its arrays. Decoders return false when the text holds a character outside
// the alphabet (what they wrote up to then is unspecified).
//
// The AVX2 kernels do the bulk sixteen or thirty-two bytes at a time and hand
// the tail to the scalar ones. The Dispatch* functions pick AVX2 when the
// processor has it; tests call both kinds directly and compare.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_CODEC_H
#define KTUTIL_TEXT_CODEC_H

#include "platform/export.h"

#include <cstddef>
#include <cstdint>

namespace ktu::text {

/// Characters for n bytes of Base64 without padding.
constexpr std::size_t Base64EncodedLength(std::size_t n) {
    return n / 3 * 4 + (n % 3 ? n % 3 + 1 : 0);
}
/// Bytes that n characters of Base64 decode to; n % 4 must not be 1.
constexpr std::size_t Base64DecodedLength(std::size_t n) {
    return n / 4 * 3 + (n % 4 ? n % 4 - 1 : 0);
}

struct CodecKernels {
    void (*hex_encode)(const std::uint8_t* in, std::size_t n, char* out);
    bool (*hex_decode)(const char* in, std::size_t n, std::uint8_t* out); // n even
    void (*base64_encode)(const std::uint8_t* in, std::size_t n, char* out);
    bool (*base64_decode)(const char* in, std::size_t n, std::uint8_t* out);
};

/// Portable kernels.
extern KTU_INTERNAL_API const CodecKernels kScalarKernels;
/// AVX2 kernels; only to be called when CpuHasAvx2().
extern KTU_INTERNAL_API const CodecKernels kAvx2Kernels;
KTU_INTERNAL_API bool CpuHasAvx2();
/// The kernels for this processor (chosen once).
KTU_INTERNAL_API const CodecKernels& Kernels();

/// Whether the text is all Base64 characters (no '=').
KTU_INTERNAL_API bool IsBase64Text(const char* in, std::size_t n);
/// Whether the text is all hexadecimal digits (either case).
bool IsHexText(const char* in, std::size_t n);
/// Value of a hexadecimal digit of either case, or -1.
KTU_INTERNAL_API int HexDigitValue(unsigned char c);

extern const char kHexDigits[17];

} // namespace ktu::text

#endif // KTUTIL_TEXT_CODEC_H

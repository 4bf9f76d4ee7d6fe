//===- KtUEncode.h - Bytes as hexadecimal, hex-escaped or Base64 text -----===//
//
// KtUEncode turns bytes into printable text and back, in three forms:
//
//   hex          "%02X" per byte, no separators            01FF -> "01FF"
//   hex-escaped  0-9, A-Z, a-z as themselves, any other
//                byte as "/" and two digits                a.b  -> "a/2Eb"
//   Base64       RFC 4648 alphabet, no padding, no breaks  ab   -> "YWI"
//
//   KtUStringBuffer text;
//   KtUEncode::EncodeBase64(bytes, count, &text);
//   int n = KtUEncode::DecodeBase64(text.GetString(), nullptr, 0);  // size only
//   std::vector<unsigned char> back(n);
//   KtUEncode::DecodeBase64(text.GetString(), back.data(), n);      // n again
//
// Encoders replace the buffer's text (a negative count or null bytes encode
// as nothing; the bytes may lie in that buffer). Decoders read a NUL-terminated text and return the
// number of bytes decoded, or -1 for a null or malformed text or too small a capacity; with a null
// out they only validate and count. Hex and Base64 decoders check the capacity before writing
// anything; the hex-escaped decoder may have written up to capacity bytes when it fails. Hex digits
// are accepted in either case. Base64 accepts any final character of the alphabet, whatever its
// unused low bits hold.
//
// Hex and Base64 run on AVX2 when the processor has it.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUENCODE_H
#define KTUTIL_KTUENCODE_H

#include <ktutil/KtUDefs.h>

class KtUStringBuffer;

/// Hexadecimal, hex-escaped and unpadded Base64 codecs (static members only).
/// Thread safety: every function touches only its arguments, so any number
/// of threads may call them at once on distinct buffers.
class KTU_API KtUEncode {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    static void EncodeHex(const unsigned char* bytes, int count, KtUStringBuffer* out);
    static int DecodeHex(const char* text, unsigned char* out, int capacity);
    static void EncodeHexEscaped(const unsigned char* bytes, int count, KtUStringBuffer* out);
    static int DecodeHexEscaped(const char* text, unsigned char* out, int capacity);
    static void EncodeBase64(const unsigned char* bytes, int count, KtUStringBuffer* out);
    static int DecodeBase64(const char* text, unsigned char* out, int capacity);

    KtUEncode() = delete;
};

#endif // KTUTIL_KTUENCODE_H

//===- text_convert.h - UTF-8, UTF-16, ASCII and locale conversions -------===//
//
// The conversion kernels behind the string classes. UTF-8 here follows the
// library's own rules: one to three byte forms only, each decoding to one
// UTF-16 unit (surrogates travel as two three-byte forms), overlong forms,
// four- to six-byte forms and U+FFFE/U+FFFF rejected. UTF-16 to UTF-8 encodes
// each unit on its own and cannot fail.
//
// The kernels write into caller-provided memory; sizing rules are given per
// function. With SSSE3 (checked at run time) whole blocks of ASCII, of one-
// and two-byte forms and of three-byte forms are converted 16 bytes at a
// time (text_convert_simd.cpp); everything else goes one character at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_CONVERT_H
#define KTUTIL_TEXT_CONVERT_H

#include <ktutil/KtUDefs.h>

#include <cstddef>

namespace ktu::text {

/// Decodes len bytes of UTF-8 into out, which has room for len units. Stops
/// at the first invalid sequence. Returns the units written; *ok tells
/// whether the whole input was valid.
size_t Utf8ToUtf16(const char* src, size_t len, KtUWChar* out, bool* ok);

/// Bytes that Utf16ToUtf8 writes for len units.
size_t Utf8LengthOf(const KtUWChar* src, size_t len);

/// Encodes len units into out, which has room for Utf8LengthOf(src, len)
/// bytes. Returns the bytes written.
size_t Utf16ToUtf8(const KtUWChar* src, size_t len, char* out);

/// Length of the leading run of 7-bit ASCII bytes / units.
size_t AsciiPrefix(const char* src, size_t len);
size_t AsciiPrefix(const KtUWChar* src, size_t len);

/// The character set of "Multi" text: the current locale's, except that the
/// "C" and "POSIX" locales mean UTF-8.
const char* MultiCharset();

/// Converts text in the C locale's character set ("multi") to UTF-16 and
/// back with iconv, rejecting characters that do not convert. Return the
/// number of units/bytes written (without terminator) or -1 on failure; with
/// out null they only measure.
long MultiToUtf16(const char* src, size_t len, KtUWChar* out, size_t cap);
long Utf16ToMulti(const KtUWChar* src, size_t len, char* out, size_t cap);

} // namespace ktu::text

#endif // KTUTIL_TEXT_CONVERT_H

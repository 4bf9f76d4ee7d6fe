//===- text_format.h - The printf engine for narrow and UTF-16 text -------===//
//
// One formatter serves both text widths: narrow (UTF-8, char) and wide
// (UTF-16, KtUWChar). The C library's wide printf works on 32-bit wchar_t and
// is never used. The engine follows C's printf with the conventions of
// ktutil's own messages:
//
//   %d %i %u %x %X %o  integers; %x/%X/%o/%u take 32-bit values unless a length
//                      prefix says otherwise. Length prefixes: I64 (64-bit) and
//                      C's hh h l ll z j t L (l, ll, z, j, t, L and I64 are all
//                      64-bit on Linux).
//   %f %F %e %E %g %G %a %A  doubles (L: long double), exactly as glibc prints.
//   %s                 a string of the format's own width; %S one of the other
//                      width (UTF-16 -> UTF-8 or UTF-8 -> UTF-16). %hs is always
//                      narrow, %ls always UTF-16. A null string prints "(null)"
//                      (nothing when the precision is below 6).
//   %c                 a character of the format's width; %C (and %hc / %lc) as
//                      for strings: %C in a narrow format is one UTF-16 unit.
//   %p                 the pointer as 16 upper-case hexadecimal digits, zero
//                      padded (width and '-' apply).
//   %%                 a percent sign.
//   flags - + space # 0, width and precision as in C, both also as '*'.
//
// %n is not supported: it is printed as written and writes nothing (its
// argument, a pointer, is skipped so that later arguments stay in place).
// A malformed or unknown conversion ("%y", "%I32d", a trailing "%") is printed
// as written and consumes no argument.
//
// Cross-width strings: UTF-16 surrogate pairs become 4-byte UTF-8 sequences,
// unpaired surrogates the 3-byte form of their value (as the library's own
// UTF-16 to UTF-8 conversion writes them), so nothing is lost. UTF-8 input
// accepts those 3-byte surrogate forms too; any other invalid byte sequence is
// an encoding failure. A precision limits the units written and the units read:
// no character is split.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_FORMAT_H
#define KTUTIL_TEXT_FORMAT_H

#include "platform/export.h"

#include <ktutil/KtUDefs.h>

#include <cstdarg>
#include <cstddef>

namespace ktu::text {

/// Formats into out (at most cap units including the terminator; always
/// NUL-terminated when cap > 0; out may be null when cap is 0). Returns the
/// full length the result needs without the terminator, like vsnprintf, or -1
/// with errno set: EILSEQ for an encoding failure (the output then holds what
/// was formatted before it), EOVERFLOW when the length exceeds INT_MAX, ENOMEM
/// when a huge floating-point conversion cannot get its scratch memory. A null
/// format gives an empty result.
KTU_INTERNAL_API int FormatV(char* out, size_t cap, const char* format, va_list args);
KTU_INTERNAL_API int FormatV(KtUWChar* out, size_t cap, const KtUWChar* format, va_list args);
KTU_INTERNAL_API int Format(char* out, size_t cap, const char* format, ...);
KTU_INTERNAL_API int Format(KtUWChar* out, size_t cap, const KtUWChar* format, ...);

} // namespace ktu::text

#endif // KTUTIL_TEXT_FORMAT_H

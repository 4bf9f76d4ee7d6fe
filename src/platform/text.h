//===- text.h - Small UTF-16 helpers of the platform layer ----------------===//
//
// The foundation classes sit below the string classes and still need a few
// UTF-16 operations: length, copy, conversion of paths to UTF-8 and formatting
// ASCII messages into wide buffers. Nothing here allocates except U16Dup.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_TEXT_H
#define KTUTIL_SYS_TEXT_H

#include <ktutil/KtUDefs.h>

#include <cstdarg>
#include <cstddef>
#include <locale.h>

namespace ktu::sys {

/// The process's default locale (from the environment), created once.
locale_t DefaultLocale();

size_t U16Len(const KtUWChar* s);
/// A malloc'd copy (free with std::free); null for null.
KtUWChar* U16Dup(const KtUWChar* s);
/// UTF-16 to UTF-8 into out (at most cap-1 bytes, NUL-terminated, never
/// splitting a sequence). Unpaired surrogates become U+FFFD. Returns length.
size_t U16ToUtf8(const KtUWChar* s, char* out, size_t cap);
/// UTF-8 to UTF-16 into out (at most cap-1 units, NUL-terminated); invalid
/// bytes become U+FFFD. Returns length in units.
size_t Utf8ToU16(const char* s, KtUWChar* out, size_t cap);
/// vsnprintf into a narrow scratch area, then widened byte by byte into out
/// (at most cap-1 units, NUL-terminated). For ASCII messages. Returns length.
size_t FormatToWide(KtUWChar* out, size_t cap, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
size_t FormatToWideV(KtUWChar* out, size_t cap, const char* format, va_list args);

} // namespace ktu::sys

#endif // KTUTIL_SYS_TEXT_H

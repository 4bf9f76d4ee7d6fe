//===- text_buffer.h - Conversions between the string buffer classes ------===//
//
// BufferAccess opens the three fields of KtUStringBuffer and
// KtUWideStringBuffer to the shared algorithms of text_ops.h. The conversion
// functions below are the single implementation behind every class's
// conversion methods; each writes its result (or a failure marker text) into
// a buffer and returns 1 on success, 0 on failure.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_BUFFER_H
#define KTUTIL_TEXT_BUFFER_H

#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "text/text_ops.h"

#include <cstdarg>

class KtUComponent;

namespace ktu::text {

struct BufferAccess {
    static BufferRef<char> Of(KtUStringBuffer& b) { return {b.m_text, b.m_length, b.m_alloc}; }
    static BufferRef<KtUWChar> Of(KtUWideStringBuffer& b) {
        return {b.m_text, b.m_length, b.m_alloc};
    }
};

/// UTF-8 (at most len bytes; -1: to the terminator) into out; on failure out
/// holds the text converted before the bad byte.
int Utf8ToWide(const char* text, int len, KtUWideStringBuffer* out);
/// Each unit on its own; cannot fail.
void WideToUtf8(const KtUWChar* text, int len, KtUStringBuffer* out);
int AsciiToWide(const char* text, KtUWideStringBuffer* out);
int WideToAscii(const KtUWChar* text, KtUStringBuffer* out);
int MultiToWide(const char* text, KtUWideStringBuffer* out);
int WideToMulti(const KtUWChar* text, KtUStringBuffer* out);
/// Whether text is valid UTF-8 by the library's rules.
int IsValidUtf8(const char* text);

/// Formats into a buffer, growing it along best block sizes; who names the
/// caller in the failure messages ("KtUStringBuffer::FormatV: vsnprintf").
void FormatInto(BufferRef<char> b, const char* format, va_list args, const char* who);
void FormatInto(BufferRef<KtUWChar> b, const KtUWChar* format, va_list args, const char* who);
/// Fixed notation in the current locale, optionally extended so that small
/// values keep their significant digits.
void FormatFloatLocalized(BufferRef<char> b, double value, int decimals, int extend);
void FormatFloatLocalized(BufferRef<KtUWChar> b, double value, int decimals, int extend);

/// The "KtUString" component, which string failures are posted from.
KtUComponent* StringComponent();

} // namespace ktu::text

#endif // KTUTIL_TEXT_BUFFER_H

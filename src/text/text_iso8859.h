//===- text_iso8859.h - ISO 8859 single-byte character sets to UTF-16 -----===//
//
// The sixteen character sets that a STEP string can switch between with its
// "\P" directive, addressed by ISO 8859 number 1 to 16. ISO 8859-12 was never
// published; it decodes as 8859-1. Bytes below 0xA0 are the same in every
// part (ASCII and the C0/C1 controls); positions a part leaves unassigned
// decode as U+FFFD.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_TEXT_ISO8859_H
#define KTUTIL_TEXT_ISO8859_H

#include <ktutil/KtUDefs.h>

namespace ktu::text {

/// The character of byte b in ISO 8859-n (n from 1 to 16).
KtUWChar Iso8859ToUtf16(int n, unsigned char b);

} // namespace ktu::text

#endif // KTUTIL_TEXT_ISO8859_H

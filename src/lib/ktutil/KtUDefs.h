//===- KtUDefs.h - Basic types and the export macro -----------------------===//
//
// Every ktutil header includes this one. It fixes the few types that the class
// interface shares across platforms:
//
//   KtUWChar    one UTF-16 code unit; wide text in ktutil is always UTF-16
//               (literals are u"..."), never the platform's 32-bit wchar_t.
//   KtUInt64    signed 64-bit integer.
//   KtUNat64    unsigned 64-bit integer.
//
// KTU_API marks a class or function as part of the exported interface; the
// library is built with hidden visibility, so nothing else leaves libktutil.so.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUDEFS_H
#define KTUTIL_KTUDEFS_H

#include <cstddef>
#include <cstdint>

#define KTU_API __attribute__((visibility("default")))

/// One UTF-16 code unit.
using KtUWChar = char16_t;
/// Signed 64-bit integer.
using KtUInt64 = std::int64_t;
/// Unsigned 64-bit integer.
using KtUNat64 = std::uint64_t;

#endif // KTUTIL_KTUDEFS_H

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
// KTU_PRINTF(f, a) lets the compiler check the arguments of a narrow
// printf-style function whose format is parameter f and whose arguments start
// at a (0 for a va_list; a member function's `this` is parameter 1). The
// library's engine also knows `%I64d` and, in narrow formats, `%S` for a UTF-16
// text, which the checker does not: prefer `%lld`, or wrap such a call in
// KTU_BEGIN_UNCHECKED_FORMAT ... KTU_END_UNCHECKED_FORMAT:
//
//   KTU_BEGIN_UNCHECKED_FORMAT
//   KtUError::Log("%I64d rows of %S\n", rows, u"table");
//   KTU_END_UNCHECKED_FORMAT
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUDEFS_H
#define KTUTIL_KTUDEFS_H

#include <cstddef>
#include <cstdint>

#define KTU_API __attribute__((visibility("default")))

// KTU_HAS_ASAN / KTU_HAS_TSAN: 1 when this translation unit is compiled with
// AddressSanitizer / ThreadSanitizer, from the compiler's own feature tests,
// so a host and the library agree whenever they are built the same way.
#if defined(__SANITIZE_ADDRESS__)
#define KTU_HAS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KTU_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define KTU_HAS_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KTU_HAS_TSAN 1
#endif
#endif
#ifndef KTU_HAS_ASAN
#define KTU_HAS_ASAN 0
#endif
#ifndef KTU_HAS_TSAN
#define KTU_HAS_TSAN 0
#endif

#define KTU_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#define KTU_BEGIN_UNCHECKED_FORMAT                                                                 \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wformat\"")                  \
        _Pragma("GCC diagnostic ignored \"-Wformat-extra-args\"")
#define KTU_END_UNCHECKED_FORMAT _Pragma("GCC diagnostic pop")

/// One UTF-16 code unit.
using KtUWChar = char16_t;
/// Signed 64-bit integer.
using KtUInt64 = std::int64_t;
/// Unsigned 64-bit integer.
using KtUNat64 = std::uint64_t;

#endif // KTUTIL_KTUDEFS_H

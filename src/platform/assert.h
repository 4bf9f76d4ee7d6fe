//===- assert.h - Invariants of the library's own code --------------------===//
//
// KTU_ASSERT(condition) states an invariant that the code around it relies
// on. Debug and sanitizer builds check it and, when it does not hold, write
// the file, line and condition to standard error and abort; other builds do
// not evaluate the condition at all, so it may sit on hot paths.
//
// It is for the library's own mistakes, not for a caller's bad arguments,
// which are posted as errors like any other failure.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_ASSERT_H
#define KTUTIL_PLATFORM_ASSERT_H

#include <ktutil/KtUDefs.h>

#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) || KTU_HAS_ASAN || KTU_HAS_TSAN
#define KTU_ASSERTS_ON 1
#endif

namespace ktu::sys {

[[noreturn, gnu::cold, gnu::noinline]] inline void AssertFailed(const char* file, int line,
                                                                const char* condition) {
    std::fprintf(stderr, "%s:%d: ktutil invariant failed: %s\n", file, line, condition);
    std::abort();
}

} // namespace ktu::sys

#if defined(KTU_ASSERTS_ON)
#define KTU_ASSERT(condition)                                                                      \
    (__builtin_expect(static_cast<bool>(condition), 1)                                             \
         ? static_cast<void>(0)                                                                    \
         : ::ktu::sys::AssertFailed(__FILE__, __LINE__, #condition))
#else
// Not evaluated, but still compiled, so that it cannot fall out of date.
#define KTU_ASSERT(condition) static_cast<void>(sizeof(static_cast<bool>(condition)))
#endif

#endif // KTUTIL_PLATFORM_ASSERT_H

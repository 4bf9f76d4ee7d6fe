//===- export.h - Internal functions the library's own tests may call ------===//
//
// KTU_INTERNAL_API marks an internal function that the tests, fuzzers or
// benchmarks call through libktutil.so. It is exported only in developer
// builds (KTU_EXPORT_INTERNALS, on when tests, fuzzers or benchmarks are
// built); a host never sees it.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_EXPORT_H
#define KTUTIL_PLATFORM_EXPORT_H

#if defined(KTU_EXPORT_INTERNALS)
#define KTU_INTERNAL_API __attribute__((visibility("default")))
#else
#define KTU_INTERNAL_API
#endif

#endif // KTUTIL_PLATFORM_EXPORT_H

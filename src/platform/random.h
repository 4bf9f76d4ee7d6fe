//===- random.h - Random bytes from the system ----------------------------===//
#ifndef KTUTIL_PLATFORM_RANDOM_H
#define KTUTIL_PLATFORM_RANDOM_H

#include <cstddef>

namespace ktu::sys {

/// Fills out with size unpredictable bytes from the system's random source,
/// without blocking. Threads asking at the same moment get different bytes.
/// False when the source is not ready or not available (out is then
/// unspecified). Thread-safe.
bool SystemRandom(void* out, size_t size);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_RANDOM_H

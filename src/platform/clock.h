//===- clock.h - Clocks and sleeping --------------------------------------===//
//
// Two clocks: a monotonic one for intervals and ages (it never jumps when the
// wall clock is set) and the wall clock, read as a UTC time of day for log
// prefixes. All functions are thread-safe and allocate nothing.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_CLOCK_H
#define KTUTIL_PLATFORM_CLOCK_H

#include <cstdint>

namespace ktu::sys {

/// Milliseconds on the monotonic clock from an unspecified start. Cheap to
/// read; its resolution may be coarse (a few milliseconds), which is enough
/// for ages and decay periods.
uint64_t MonotonicMs();
/// MonotonicMs() truncated to 32 bits: wraps after about 49 days.
uint32_t TickCountMs();

/// The wall clock's current time of day in UTC.
struct TimeOfDay {
    int hour;   ///< 0-23
    int minute; ///< 0-59
    int second; ///< 0-60 (60 for a leap second)
};
TimeOfDay UtcTimeOfDay();

/// Suspends the calling thread for at least ms milliseconds; an interruption
/// (a signal handled by the process) does not cut the wait short.
void SleepMs(unsigned int ms);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_CLOCK_H

//===- clock.cpp - Clocks and sleeping on Linux ---------------------------===//
#include "platform/clock.h"

#include <ctime>

namespace ktu::sys {

uint64_t MonotonicMs() {
    // The coarse clock is read from the vDSO without a system call.
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint32_t TickCountMs() {
    return static_cast<uint32_t>(MonotonicMs());
}

TimeOfDay UtcTimeOfDay() {
    time_t now = std::time(nullptr);
    tm utc;
    gmtime_r(&now, &utc);
    return TimeOfDay{utc.tm_hour, utc.tm_min, utc.tm_sec};
}

void SleepMs(unsigned int ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

} // namespace ktu::sys

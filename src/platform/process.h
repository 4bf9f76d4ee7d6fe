//===- sys_proc.h - Process facts of the platform layer -------------------===//
#ifndef KTUTIL_SYS_PROC_H
#define KTUTIL_SYS_PROC_H

#include <cstddef>
#include <cstdint>

namespace ktu::sys {

uint32_t ProcessId();
/// Milliseconds of CLOCK_MONOTONIC_COARSE, truncated to 32 bits.
uint32_t TickCountMs();
/// True when a tracer (debugger) is attached (TracerPid in /proc/self/status).
bool DebuggerAttached();
/// Private resident plus swapped bytes of this process (/proc/self/smaps_rollup).
uint64_t PrivateMemoryBytes();
/// Resident set size in bytes (/proc/self/statm).
uint64_t ResidentMemoryBytes();
/// Physical memory of the machine in bytes.
uint64_t PhysicalMemoryBytes();
/// Full path of the running executable (/proc/self/exe); empty on failure.
/// Copies at most cap-1 bytes into out, always NUL-terminated; returns length.
size_t ExecutablePath(char* out, size_t cap);
/// One-line description of the system: distribution, kernel and architecture.
/// Same contract as ExecutablePath.
size_t OSDescription(char* out, size_t cap);

} // namespace ktu::sys

#endif // KTUTIL_SYS_PROC_H

//===- fatal.h - The library's fatal path ---------------------------------===//
//
// What an unhandled error does, for callers inside the library that must end
// the process the same way (the memory manager's bad-size check, failed
// aligned reservations): request a debugger break, then write a dump and exit
// with code 1 when a dump path is set, else abort().
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_FATAL_H
#define KTUTIL_SYS_FATAL_H

namespace ktu::sys {

[[noreturn]] void FatalUnhandled();

} // namespace ktu::sys

#endif // KTUTIL_SYS_FATAL_H

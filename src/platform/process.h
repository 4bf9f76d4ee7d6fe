//===- process.h - The running process and the programs it starts ---------===//
//
// Facts about the running process and the machine (ids, memory use, paths,
// names), its environment and current directory, starting other programs,
// writing to standard error and ending the process at once. Unless a
// function says otherwise it is thread-safe, and text is UTF-8.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_PROCESS_H
#define KTUTIL_PLATFORM_PROCESS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ktu::sys {

uint32_t ProcessId();
/// True when a debugger is attached to the process.
bool DebuggerAttached();
/// Stops in the attached debugger, as a breakpoint would. Without one the
/// process would end: callers check DebuggerAttached() first.
void BreakIntoDebugger();
/// Ends the process at once with exit code `code`: no exit handlers, no
/// static destructors, no flushing of buffered streams. Async-signal-safe.
[[noreturn]] void ExitNow(int code);

/// Private resident plus swapped bytes of this process.
uint64_t PrivateMemoryBytes();
/// Resident set size in bytes.
uint64_t ResidentMemoryBytes();
/// Physical memory of the machine in bytes.
uint64_t PhysicalMemoryBytes();

/// Full path of the running executable; empty on failure.
/// Copies at most cap-1 bytes into out, always NUL-terminated; returns length.
size_t ExecutablePath(char* out, size_t cap);
/// One-line description of the system: distribution, kernel and architecture.
/// Same contract as ExecutablePath.
size_t OSDescription(char* out, size_t cap);
/// Path of the loaded module (shared library) whose handle is `module`, as
/// the loader knows it. False when module is not a loaded module's handle;
/// true with an empty path for the executable itself.
bool ModulePath(void* module, std::string* out);
/// The machine's host name; empty when unknown.
std::string HostName();
/// Login name of the user the process runs as (from the user database, else
/// the USER environment variable); empty when unknown.
std::string UserName();

/// Sets (value non-null) or removes (value null) an environment variable of
/// the process. Not safe while another thread reads the environment.
bool SetEnvironmentVariable(const char* name, const char* value);
/// The process's current directory; empty when it cannot be determined.
std::string CurrentDirectory();
/// Makes path the current directory; false when it cannot.
bool SetCurrentDirectory(const char* path);

/// Starts a program. args[0] is the name the program sees as its own; the
/// program is `program` itself when it contains a '/', else the first
/// executable regular file of that name in the directories of the PATH
/// environment variable (/bin and /usr/bin when PATH is unset). The new
/// program inherits no file opened by the library.
/// Without wait, returns whether the program started; nothing is left for
/// the caller to collect. With wait, blocks until it ends and returns whether
/// it started and exited normally with code 0 (or started and the host
/// collects ended child processes itself, so that no exit code is left).
bool RunProgram(const std::string& program, const std::vector<std::string>& args, bool wait);

/// Writes text to the standard error stream, unbuffered. Async-signal-safe.
void WriteStandardError(const char* text, size_t size);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_PROCESS_H

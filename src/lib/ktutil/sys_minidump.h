//===- sys_minidump.h - Minidump writer and reader ------------------------===//
//
// ktutil writes and reads crash dumps in the minidump format itself: an
// "MDMP" header, a stream directory, the 56-byte system-information stream
// (type 7) whose CSD-version string carries a one-line OS description, an
// exception stream (type 6) with the signal, a thread-list stream (type 3)
// with the crashing thread's context and stack, a memory-list stream (type 5)
// with the extra ranges, and the caller's user streams (0x10000 onwards for
// the process log).
//
// The writer is async-signal-safe: it allocates nothing and uses only
// write/lseek/open on a file descriptor, so the crash handler can call it.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_MINIDUMP_H
#define KTUTIL_SYS_MINIDUMP_H

#include <cstddef>
#include <cstdint>

namespace ktu::sys::minidump {

constexpr uint32_t kThreadListStream = 3;
constexpr uint32_t kMemoryListStream = 5;
constexpr uint32_t kExceptionStream = 6;
constexpr uint32_t kSystemInfoStream = 7;
constexpr uint32_t kFirstUserStream = 0x10000;

struct UserStream {
    uint32_t type;
    const void* data;
    uint32_t size;
};

struct MemoryRange {
    const void* base;
    uint32_t size;
};

/// What is known about the fault (or the explicit request) being dumped.
struct CrashInfo {
    int signal = 0; ///< 0 for a dump written on request
    int code = 0;   ///< si_code
    const void* fault_address = nullptr;
    const void* ucontext = nullptr; ///< ucontext_t* of the fault, or null
    uint32_t thread_id = 0;
};

/// Prepares the OS description for later dumps (uname and /etc/os-release).
/// Call outside signal context; Write uses the cached text.
void PrepareSystemDescription();

/// Writes a minidump to fd. Async-signal-safe. Returns false on I/O failure.
bool Write(int fd, const CrashInfo& info, const UserStream* streams, size_t stream_count,
           const MemoryRange* extra, size_t extra_count, uint32_t dump_type);

/// A read-only mapped dump file.
class Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    /// Maps the file and checks header and directory. False when not a dump.
    bool Open(const char* path);
    /// Finds a stream by type; false when absent or out of the file's bounds.
    bool FindStream(uint32_t type, const void** data, uint32_t* size) const;
    /// Describes the system-information stream as text (OS description,
    /// processor architecture and count) into out; false when the stream is
    /// missing or not 56 bytes.
    bool DescribeSystem(char* out, size_t cap) const;

private:
    const unsigned char* m_base = nullptr;
    size_t m_size = 0;
};

} // namespace ktu::sys::minidump

#endif // KTUTIL_SYS_MINIDUMP_H

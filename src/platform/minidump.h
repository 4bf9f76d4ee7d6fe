//===- minidump.h - Minidump writer and reader ----------------------------===//
//
// ktutil writes and reads crash dumps in the minidump format itself: an
// "MDMP" header, a stream directory, the 56-byte system-information stream
// (type 7) whose CSD-version string carries a one-line OS description, an
// exception stream (type 6) with the signal, a thread-list stream (type 3)
// with the crashing thread's context and stack, a memory-list stream (type 5)
// with the extra ranges, and the caller's user streams (0x10000 onwards for
// the process log). docs/crash-dumps.md describes the layout.
//
// The writer is async-signal-safe: it allocates nothing, takes no lock and
// only makes system calls on the file descriptor, so the crash handler can
// call it on an alternate signal stack with a damaged heap.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYS_MINIDUMP_H
#define KTUTIL_SYS_MINIDUMP_H

#include "platform/export.h"

#include <cstddef>
#include <cstdint>

namespace ktu::sys::minidump {

constexpr uint32_t kThreadListStream = 3;
constexpr uint32_t kMemoryListStream = 5;
constexpr uint32_t kExceptionStream = 6;
constexpr uint32_t kSystemInfoStream = 7;
constexpr uint32_t kFirstUserStream = 0x10000;

// --- Records of the file, as stored (little-endian, 4-byte packed) -----------

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "minidump records are little-endian");

#pragma pack(push, 4)

/// Where a piece of the file lies: its byte count and offset ("rva").
struct Location {
    uint32_t size;
    uint32_t rva;
};

struct Header {
    uint32_t signature; ///< "MDMP"
    uint32_t version;   ///< low 16 bits: the format version
    uint32_t stream_count;
    uint32_t directory_rva;
    uint32_t checksum;
    uint32_t time_stamp; ///< seconds since 1970
    uint64_t flags;      ///< the dump type
};

struct DirectoryEntry {
    uint32_t type;
    Location location;
};

/// A captured memory range and where its bytes lie in the file.
struct MemoryDescriptor {
    uint64_t start;
    Location memory;
};

struct SystemInfo {
    uint16_t architecture;
    uint16_t level;
    uint16_t revision;
    uint8_t processors;
    uint8_t product_type;
    uint32_t major_version;
    uint32_t minor_version;
    uint32_t build_number;
    uint32_t platform_id;
    uint32_t csd_version_rva; ///< u32 byte count, then UTF-16 units and a NUL unit
    uint16_t suite_mask;
    uint16_t reserved;
    uint32_t cpu[6]; ///< x86: vendor id (3 words), version, features, extended features
};

struct ExceptionRecord {
    uint32_t code;  ///< the signal
    uint32_t flags; ///< si_code
    uint64_t record;
    uint64_t address; ///< the fault address
    uint32_t parameter_count;
    uint32_t unused;
    uint64_t parameters[15];
};

struct ExceptionStream {
    uint32_t thread_id;
    uint32_t unused;
    ExceptionRecord exception;
    Location context;
};

struct Thread {
    uint32_t thread_id;
    uint32_t suspend_count;
    uint32_t priority_class;
    uint32_t priority;
    uint64_t environment_block;
    MemoryDescriptor stack;
    Location context;
};

/// The thread-list stream of a dump that holds the crashing thread only.
struct ThreadList {
    uint32_t count;
    Thread thread;
};

#pragma pack(pop)

static_assert(sizeof(Location) == 8 && sizeof(DirectoryEntry) == 12);
static_assert(sizeof(Header) == 32 && offsetof(Header, flags) == 24);
static_assert(sizeof(MemoryDescriptor) == 16);
static_assert(sizeof(SystemInfo) == 56 && offsetof(SystemInfo, processors) == 6 &&
              offsetof(SystemInfo, csd_version_rva) == 24 && offsetof(SystemInfo, cpu) == 32);
static_assert(sizeof(ExceptionRecord) == 152 && offsetof(ExceptionRecord, address) == 16);
static_assert(sizeof(ExceptionStream) == 168 && offsetof(ExceptionStream, exception) == 8 &&
              offsetof(ExceptionStream, context) == 160);
static_assert(sizeof(Thread) == 48 && offsetof(Thread, stack) == 24 &&
              offsetof(Thread, context) == 40);
static_assert(sizeof(ThreadList) == 52 && offsetof(ThreadList, thread) == 4);

/// Size of the system-information stream; readers reject any other size.
constexpr uint32_t kSystemInfoSize = sizeof(SystemInfo);
/// At most this many bytes of the crashing thread's stack are captured.
constexpr uint32_t kStackCaptureLimit = 256 * 1024;

/// Size of the thread context record. x86-64: the 23 general registers of
/// mcontext_t in glibc's REG_* order (184 bytes), then the 512-byte FXSAVE
/// area (zeros when absent). AArch64: fault_address, x0-x30, sp, pc, pstate
/// of mcontext_t, 8 bytes each.
#if defined(__x86_64__)
constexpr uint32_t kContextSize = 23 * 8 + 512;
#elif defined(__aarch64__)
constexpr uint32_t kContextSize = 35 * 8;
#else
constexpr uint32_t kContextSize = 0;
#endif

struct UserStream {
    uint32_t type; ///< Must not collide with the standard types above.
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
    const void* ucontext = nullptr; ///< ucontext_t* of the fault; null: the caller's own
    uint32_t thread_id = 0;         ///< 0: the calling thread
};

/// Prepares the OS description and processor facts for later dumps (uname,
/// /etc/os-release, online processor count). Call once outside signal
/// context; later calls do nothing. Write falls back to computing them itself
/// (with the affinity mask's processor count) when this was never called.
KTU_INTERNAL_API void PrepareSystemDescription();

/// Writes a minidump to fd, replacing its content. fd must be a regular file
/// opened for writing without O_APPEND. Async-signal-safe. Memory that cannot
/// be read is left out rather than touched: extra ranges whose first byte is
/// unreadable are skipped, and a range, stack or user stream that becomes
/// unreadable part-way is cut there. Returns false on I/O failure, on a file
/// that would pass 4 GiB, or when another Write is in progress.
KTU_INTERNAL_API bool Write(int fd, const CrashInfo& info, const UserStream* streams,
                            size_t stream_count, const MemoryRange* extra, size_t extra_count,
                            uint32_t dump_type);

/// A read-only mapped dump file. Open rejects anything whose header,
/// directory or stream bounds do not fit the file, so later lookups only
/// return data inside the mapping.
class KTU_INTERNAL_API Reader {
public:
    Reader() = default;
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    /// Maps the file and checks header, directory and every stream's bounds.
    /// False when not a well-formed dump.
    bool Open(const char* path);
    void Close();
    /// Finds the first stream of a type; false when absent.
    bool FindStream(uint32_t type, const void** data, uint32_t* size) const;
    /// Resolves a location (rva, size) inside the file; false when it does
    /// not fit. Used to follow the RVAs inside streams.
    bool Locate(uint32_t rva, uint32_t size, const void** data) const;
    /// Describes the system-information stream as UTF-8 text into out, e.g.
    /// "OS: Debian GNU/Linux 12 (bookworm); Linux 6.1.0-18-amd64 x86_64\n"
    /// "Processor: AMD64 GenuineIntel, 2 processors\n"; the text is cut to
    /// fit cap (always NUL-terminated when cap > 0). False when the stream is
    /// missing or not 56 bytes.
    bool DescribeSystem(char* out, size_t cap) const;

private:
    const unsigned char* m_base = nullptr;
    size_t m_size = 0;
};

} // namespace ktu::sys::minidump

#endif // KTUTIL_SYS_MINIDUMP_H

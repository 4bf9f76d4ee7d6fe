//===- minidump.cpp - Minidump writer and reader --------------------------===//
#include "platform/minidump.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace ktu::sys::minidump {
namespace {

constexpr uint32_t kSignature = 0x504d444d; // "MDMP"
constexpr uint32_t kVersion = 0xA793;
constexpr uint32_t kHeaderSize = sizeof(Header);
constexpr uint32_t kDirEntrySize = sizeof(DirectoryEntry);
constexpr uint32_t kMemoryDescSize = sizeof(MemoryDescriptor);
constexpr uint32_t kPlatformLinux = 0x8201;
constexpr uint8_t kProductWorkstation = 1;
constexpr size_t kDescCap = 256; // UTF-8 bytes of the OS description, NUL included
// A stack pointer this far below a readable mapping is taken to have
// overflowed into the guard area; the mapping above it is captured instead.
constexpr uintptr_t kGuardGap = 64 * 1024;
#if defined(__x86_64__)
constexpr uint16_t kArch = 9; // AMD64
constexpr uintptr_t kRedZone = 128;
#elif defined(__aarch64__)
constexpr uint16_t kArch = 12; // ARM64
constexpr uintptr_t kRedZone = 0;
#else
constexpr uint16_t kArch = 0xFFFF; // unknown
constexpr uintptr_t kRedZone = 0;
#endif

template <typename T> T Load(const unsigned char* p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

// The numbers and text that go into the system-information stream.
struct SystemFacts {
    char text[kDescCap];
    uint32_t version[3]; // major, minor, build from the kernel release
    uint16_t level;
    uint16_t revision;
    uint8_t cpus;
    uint32_t cpu_info[6];
};

SystemFacts g_prepared;
std::atomic<int> g_prepared_state{0}; // 0 none, 1 being prepared, 2 ready
std::atomic_flag g_writing = ATOMIC_FLAG_INIT;

// Static storage of Write, which must not allocate and may run on a small
// alternate signal stack. g_writing keeps a second writer out.
SystemFacts g_fallback;
char g_file_buf[4096];
uint16_t g_csd[2 + kDescCap + 1];
unsigned char g_context[kContextSize > 0 ? kContextSize : 1];
ucontext_t g_self_context;

// --- Async-signal-safe text helpers -----------------------------------------

void Append(char* dst, size_t cap, size_t* len, const char* s) {
    while (*s && *len + 1 < cap)
        dst[(*len)++] = *s++;
    dst[*len] = '\0';
}

// Reads up to cap-1 bytes of a small file into buf, NUL-terminated.
size_t ReadSmallFile(const char* path, char* buf, size_t cap) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        buf[0] = '\0';
        return 0;
    }
    size_t len = 0;
    while (len + 1 < cap) {
        ssize_t n = read(fd, buf + len, cap - 1 - len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        len += static_cast<size_t>(n);
    }
    close(fd);
    buf[len] = '\0';
    return len;
}

// Copies the value of KEY=VALUE from os-release text, unquoting it.
bool OsReleaseValue(const char* text, const char* key, char* out, size_t cap) {
    size_t key_len = strlen(key);
    for (const char* line = text; *line;) {
        const char* next = line;
        while (*next && *next != '\n')
            ++next;
        if (strncmp(line, key, key_len) == 0 && line[key_len] == '=') {
            const char* v = line + key_len + 1;
            char quote = (*v == '"' || *v == '\'') ? *v++ : '\0';
            size_t len = 0;
            for (; v < next && *v != quote && len + 1 < cap; ++v) {
                if (*v == '\\' && quote == '"' && v + 1 < next) ++v;
                out[len++] = *v;
            }
            out[len] = '\0';
            return len > 0;
        }
        line = *next ? next + 1 : next;
    }
    return false;
}

// "6.1.0-18-amd64" -> {6, 1, 0}.
void ParseRelease(const char* release, uint32_t out[3]) {
    out[0] = out[1] = out[2] = 0;
    const char* p = release;
    for (int i = 0; i < 3; ++i) {
        while (*p >= '0' && *p <= '9')
            out[i] = out[i] * 10 + static_cast<uint32_t>(*p++ - '0');
        if (*p != '.') break;
        ++p;
    }
}

void CpuFacts(SystemFacts* f) {
    f->level = f->revision = 0;
    memset(f->cpu_info, 0, sizeof f->cpu_info);
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return;
    f->cpu_info[0] = b; // vendor id, e.g. "Genu" "ineI" "ntel"
    f->cpu_info[1] = d;
    f->cpu_info[2] = c;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        f->cpu_info[3] = a; // version information
        f->cpu_info[4] = d; // feature information
        unsigned family = (a >> 8) & 0xF, model = (a >> 4) & 0xF;
        if (family == 0xF) family += (a >> 20) & 0xFF;
        if (family == 6 || family >= 0xF) model |= ((a >> 16) & 0xF) << 4;
        f->level = static_cast<uint16_t>(family);
        f->revision = static_cast<uint16_t>((model << 8) | (a & 0xF));
    }
    if (__get_cpuid(0x80000001, &a, &b, &c, &d)) f->cpu_info[5] = c;
#endif
}

// Fills everything but the processor count. file_buf holds /etc/os-release.
void DescribeInto(SystemFacts* f, char* file_buf, size_t file_cap) {
    struct utsname u;
    if (uname(&u) != 0) memset(&u, 0, sizeof u);
    char pretty[128];
    if (ReadSmallFile("/etc/os-release", file_buf, file_cap) == 0)
        ReadSmallFile("/usr/lib/os-release", file_buf, file_cap);
    if (!OsReleaseValue(file_buf, "PRETTY_NAME", pretty, sizeof pretty) &&
        !OsReleaseValue(file_buf, "NAME", pretty, sizeof pretty))
        strcpy(pretty, "Linux");
    size_t len = 0;
    f->text[0] = '\0';
    Append(f->text, kDescCap, &len, pretty);
    Append(f->text, kDescCap, &len, "; Linux ");
    Append(f->text, kDescCap, &len, u.release);
    Append(f->text, kDescCap, &len, " ");
    Append(f->text, kDescCap, &len, u.machine);
    ParseRelease(u.release, f->version);
    CpuFacts(f);
}

uint8_t ClampCpus(long n) {
    return static_cast<uint8_t>(n < 1 ? 1 : n > 255 ? 255 : n);
}

// UTF-8 to UTF-16; malformed bytes become U+FFFD. Returns the unit count.
size_t Utf8ToUtf16(const char* s, uint16_t* out, size_t cap) {
    size_t n = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p && n + 2 <= cap) {
        uint32_t cp = *p++;
        int extra = cp >= 0xF0 ? 3 : cp >= 0xE0 ? 2 : cp >= 0xC0 ? 1 : 0;
        if (cp >= 0x80 && extra == 0) {
            cp = 0xFFFD;
        } else if (extra) {
            cp &= 0x3F >> extra;
            for (int i = 0; i < extra; ++i) {
                if ((*p & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    break;
                }
                cp = (cp << 6) | (*p++ & 0x3F);
            }
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[n++] = static_cast<uint16_t>(0xD800 | (cp >> 10));
            out[n++] = static_cast<uint16_t>(0xDC00 | (cp & 0x3FF));
        } else {
            out[n++] = static_cast<uint16_t>(cp);
        }
    }
    return n;
}

// --- Writing ----------------------------------------------------------------

// Raw system call: sanitizer interceptors would otherwise inspect the source
// buffer, which for stack and extra ranges is deliberately arbitrary memory.
ssize_t RawPwrite(int fd, const void* p, size_t n, uint64_t off) {
    return syscall(SYS_pwrite64, fd, p, n, static_cast<off_t>(off));
}

// A forward-only writer at explicit offsets; the first failure sticks.
struct Out {
    int fd;
    uint64_t off;
    bool ok;

    void Align(uint64_t a) { off = (off + a - 1) & ~(a - 1); }

    // Writes n bytes at off. Returns the bytes copied: fewer than n only when
    // the source became unreadable (the kernel reports EFAULT instead of
    // faulting), in which case the rest is left out.
    uint32_t Copy(uint64_t at, const void* p, uint32_t n) {
        uint32_t done = 0;
        while (ok && done < n) {
            ssize_t w = RawPwrite(fd, static_cast<const char*>(p) + done, n - done, at + done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EFAULT) break;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += static_cast<uint32_t>(w);
        }
        if (at + done > UINT32_MAX) ok = false;
        return done;
    }
    uint32_t Put(const void* p, uint32_t n) {
        uint32_t rva = static_cast<uint32_t>(off);
        off += Copy(off, p, n);
        return rva;
    }
};

const SystemFacts& Facts() {
    if (g_prepared_state.load(std::memory_order_acquire) == 2) return g_prepared;
    DescribeInto(&g_fallback, g_file_buf, sizeof g_file_buf);
    cpu_set_t set;
    long n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    g_fallback.cpus = ClampCpus(n);
    return g_fallback;
}

// Writes the system-information stream and its CSD string; returns its rva.
uint32_t PutSystemInfo(Out* out) {
    const SystemFacts& f = Facts();
    size_t units = Utf8ToUtf16(f.text, g_csd + 2, kDescCap);
    g_csd[2 + units] = 0;
    uint32_t bytes = static_cast<uint32_t>(units * 2);
    memcpy(g_csd, &bytes, 4);

    SystemInfo si{};
    out->Align(8);
    uint32_t rva = static_cast<uint32_t>(out->off);
    si.architecture = kArch;
    si.level = f.level;
    si.revision = f.revision;
    si.processors = f.cpus;
    si.product_type = kProductWorkstation;
    si.major_version = f.version[0];
    si.minor_version = f.version[1];
    si.build_number = f.version[2];
    si.platform_id = kPlatformLinux;
    si.csd_version_rva = rva + kSystemInfoSize;
    memcpy(si.cpu, f.cpu_info, sizeof si.cpu);
    out->Put(&si, sizeof si);
    out->Put(g_csd, 4 + bytes + 2);
    return rva;
}

// Copies the register context into g_context and returns the stack pointer.
uintptr_t CaptureContext(const void* ucontext) {
    const auto* uc = static_cast<const ucontext_t*>(ucontext);
    if (!uc) {
        memset(&g_self_context, 0, sizeof g_self_context);
        getcontext(&g_self_context);
        uc = &g_self_context;
    }
    memset(g_context, 0, sizeof g_context);
#if defined(__x86_64__)
    memcpy(g_context, uc->uc_mcontext.gregs, 23 * 8);
    return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    const auto& m = uc->uc_mcontext;
    memcpy(g_context, &m.fault_address, 8);
    memcpy(g_context + 8, m.regs, 31 * 8);
    memcpy(g_context + 256, &m.sp, 8);
    memcpy(g_context + 264, &m.pc, 8);
    memcpy(g_context + 272, &m.pstate, 8);
    return static_cast<uintptr_t>(m.sp);
#else
    return reinterpret_cast<uintptr_t>(&uc);
#endif
}

// The FP state lives outside mcontext_t on x86-64; null when absent.
const void* FpState(const void* ucontext) {
#if defined(__x86_64__)
    const auto* uc = ucontext ? static_cast<const ucontext_t*>(ucontext) : &g_self_context;
    return uc->uc_mcontext.fpregs;
#else
    (void)ucontext;
    return nullptr;
#endif
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Finds the stack range to capture for sp from /proc/self/maps: from just
// below sp (the red zone) to the end of its mapping, or, when sp lies in an
// unreadable guard page or gap (a stack overflow), the readable mapping just
// above it. Capped to kStackCaptureLimit.
bool FindStackRange(uintptr_t sp, uintptr_t* begin, uintptr_t* end) {
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    uintptr_t start = 0, stop = 0, above = 0, above_end = 0;
    int field = 0;
    char perm = 0;
    bool found = false;
    for (;;) {
        ssize_t n = read(fd, g_file_buf, sizeof g_file_buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n && !found; ++i) {
            char c = g_file_buf[i];
            if (c == '\n') {
                if (perm == 'r' && start <= sp && sp < stop) {
                    *begin = sp - kRedZone >= start && sp >= kRedZone ? sp - kRedZone : start;
                    *end = stop;
                    found = true;
                } else if (perm == 'r' && start > sp && start - sp <= kGuardGap && !above) {
                    above = start;
                    above_end = stop;
                }
                start = stop = 0;
                field = 0;
                perm = 0;
            } else if (field == 0 || field == 1) {
                int d = HexDigit(c);
                if (d >= 0)
                    (field == 0 ? start : stop) = (field == 0 ? start : stop) * 16 + d;
                else
                    ++field; // '-' after the start, ' ' after the end
            } else if (field == 2) {
                perm = c;
                field = 3;
            }
        }
        if (found) break;
    }
    close(fd);
    if (!found && above) {
        *begin = above;
        *end = above_end;
        found = true;
    }
    if (found && *end - *begin > kStackCaptureLimit) *end = *begin + kStackCaptureLimit;
    return found;
}

void PutDirEntry(Out* out, uint32_t index, uint32_t type, uint32_t size, uint32_t rva) {
    DirectoryEntry e{type, {size, rva}};
    out->Copy(kHeaderSize + uint64_t{index} * kDirEntrySize, &e, kDirEntrySize);
}

bool WriteDump(int fd, const CrashInfo& info, const UserStream* streams, size_t stream_count,
               const MemoryRange* extra, size_t extra_count, uint32_t dump_type) {
    if (ftruncate(fd, 0) != 0) return false;
    const uint64_t dir_count = 4 + uint64_t{stream_count};
    if (dir_count * kDirEntrySize + kHeaderSize > UINT32_MAX) return false;
    Out out{fd, kHeaderSize + dir_count * kDirEntrySize, true};
    uint32_t tid = info.thread_id ? info.thread_id : static_cast<uint32_t>(syscall(SYS_gettid));

    uint32_t sysinfo_rva = PutSystemInfo(&out);
    PutDirEntry(&out, 0, kSystemInfoStream, kSystemInfoSize, sysinfo_rva);

    // Context: the registers, then on x86-64 the FXSAVE area (zeros if absent
    // or unreadable; the file's holes read as zeros).
    uintptr_t sp = CaptureContext(info.ucontext);
    out.Align(16);
    uint32_t context_rva = static_cast<uint32_t>(out.off);
#if defined(__x86_64__)
    out.Copy(out.off, g_context, 23 * 8);
    if (const void* fp = FpState(info.ucontext)) out.Copy(out.off + 23 * 8, fp, 512);
    out.off += kContextSize;
#else
    out.Put(g_context, kContextSize);
#endif

    // Stack memory, straight from the thread's stack.
    uintptr_t stack_begin = 0, stack_end = 0;
    uint32_t stack_size = 0;
    out.Align(16);
    uint32_t stack_rva = static_cast<uint32_t>(out.off);
    if (FindStackRange(sp, &stack_begin, &stack_end)) {
        stack_size = out.Copy(out.off, reinterpret_cast<const void*>(stack_begin),
                              static_cast<uint32_t>(stack_end - stack_begin));
        out.off += stack_size;
    }

    ExceptionStream exc{};
    exc.thread_id = tid;
    exc.exception.code = static_cast<uint32_t>(info.signal);
    exc.exception.flags = static_cast<uint32_t>(info.code);
    exc.exception.address = reinterpret_cast<uintptr_t>(info.fault_address);
    exc.context = {kContextSize, context_rva};
    out.Align(8);
    PutDirEntry(&out, 1, kExceptionStream, sizeof exc, out.Put(&exc, sizeof exc));

    ThreadList tl{};
    tl.count = 1;
    tl.thread.thread_id = tid;
    tl.thread.stack = {stack_begin, {stack_size, stack_rva}};
    tl.thread.context = {kContextSize, context_rva};
    PutDirEntry(&out, 2, kThreadListStream, sizeof tl, out.Put(&tl, sizeof tl));

    // Memory list: room for every descriptor first, then the ranges; the
    // count and size only cover the ranges that could be read.
    out.Align(8);
    const uint64_t list_rva = out.off;
    out.off += 4 + uint64_t{extra_count} * kMemoryDescSize;
    uint32_t listed = 0;
    for (size_t i = 0; i < extra_count && out.ok; ++i) {
        if (!extra[i].base || extra[i].size == 0) continue;
        out.Align(8);
        uint32_t copied = out.Copy(out.off, extra[i].base, extra[i].size);
        if (copied == 0) continue;
        MemoryDescriptor d{reinterpret_cast<uintptr_t>(extra[i].base),
                           {copied, static_cast<uint32_t>(out.off)}};
        out.Copy(list_rva + 4 + uint64_t{listed} * kMemoryDescSize, &d, kMemoryDescSize);
        out.off += copied;
        ++listed;
    }
    out.Copy(list_rva, &listed, 4);
    PutDirEntry(&out, 3, kMemoryListStream, 4 + listed * kMemoryDescSize,
                static_cast<uint32_t>(list_rva));

    for (size_t i = 0; i < stream_count && out.ok; ++i) {
        out.Align(4);
        uint32_t rva = static_cast<uint32_t>(out.off);
        uint32_t size = streams[i].size ? out.Copy(out.off, streams[i].data, streams[i].size) : 0;
        out.off += size;
        PutDirEntry(&out, static_cast<uint32_t>(4 + i), streams[i].type, size, rva);
    }

    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    Header hdr{};
    hdr.signature = kSignature;
    hdr.version = kVersion;
    hdr.stream_count = static_cast<uint32_t>(dir_count);
    hdr.directory_rva = kHeaderSize;
    hdr.time_stamp = static_cast<uint32_t>(now.tv_sec);
    hdr.flags = dump_type;
    out.Copy(0, &hdr, kHeaderSize);
    return out.ok;
}

} // namespace

void PrepareSystemDescription() {
    int expected = 0;
    if (!g_prepared_state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) return;
    char buf[4096];
    DescribeInto(&g_prepared, buf, sizeof buf);
    g_prepared.cpus = ClampCpus(sysconf(_SC_NPROCESSORS_ONLN));
    g_prepared_state.store(2, std::memory_order_release);
}

bool Write(int fd, const CrashInfo& info, const UserStream* streams, size_t stream_count,
           const MemoryRange* extra, size_t extra_count, uint32_t dump_type) {
    if (g_writing.test_and_set(std::memory_order_acquire)) return false;
    int saved_errno = errno;
    bool ok = WriteDump(fd, info, streams, stream_count, extra, extra_count, dump_type);
    errno = saved_errno;
    g_writing.clear(std::memory_order_release);
    return ok;
}

// --- Reading ----------------------------------------------------------------

Reader::~Reader() {
    Close();
}

void Reader::Close() {
    if (m_base) munmap(const_cast<unsigned char*>(m_base), m_size);
    m_base = nullptr;
    m_size = 0;
}

bool Reader::Open(const char* path) {
    Close();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    void* map = MAP_FAILED;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kHeaderSize)
        map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (map == MAP_FAILED) return false;
    m_base = static_cast<const unsigned char*>(map);
    m_size = static_cast<size_t>(st.st_size);

    const auto hdr = Load<Header>(m_base);
    const uint32_t dir = hdr.directory_rva;
    bool ok = hdr.signature == kSignature && (hdr.version & 0xFFFF) == kVersion &&
              Locate(dir, 0, nullptr) && (m_size - dir) / kDirEntrySize >= hdr.stream_count;
    for (uint32_t i = 0; ok && i < hdr.stream_count; ++i) {
        const auto e = Load<DirectoryEntry>(m_base + dir + uint64_t{i} * kDirEntrySize);
        ok = Locate(e.location.rva, e.location.size, nullptr);
    }
    if (!ok) Close();
    return ok;
}

bool Reader::Locate(uint32_t rva, uint32_t size, const void** data) const {
    if (!m_base || uint64_t{rva} + size > m_size) return false;
    if (data) *data = m_base + rva;
    return true;
}

bool Reader::FindStream(uint32_t type, const void** data, uint32_t* size) const {
    if (!m_base) return false;
    const auto hdr = Load<Header>(m_base);
    const unsigned char* dir = m_base + hdr.directory_rva;
    for (uint32_t i = 0; i < hdr.stream_count; ++i) {
        const auto e = Load<DirectoryEntry>(dir + uint64_t{i} * kDirEntrySize);
        if (e.type != type) continue;
        if (!Locate(e.location.rva, e.location.size, data)) return false;
        *size = e.location.size;
        return true;
    }
    return false;
}

namespace {

// Appends the UTF-8 form of a UTF-16 code point.
void AppendUtf8(char* out, size_t cap, size_t* len, uint32_t cp) {
    char b[4];
    size_t n;
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | (cp >> 6));
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | (cp >> 12));
        b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        b[0] = static_cast<char>(0xF0 | (cp >> 18));
        b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    if (*len + n < cap) {
        memcpy(out + *len, b, n);
        *len += n;
        out[*len] = '\0';
    }
}

const char* ArchName(uint16_t arch) {
    switch (arch) {
    case 0:
        return "x86";
    case 5:
        return "ARM";
    case 9:
        return "AMD64";
    case 12:
        return "ARM64";
    default:
        return "unknown";
    }
}

} // namespace

bool Reader::DescribeSystem(char* out, size_t cap) const {
    const void* data;
    uint32_t size;
    if (!FindStream(kSystemInfoStream, &data, &size) || size != kSystemInfoSize) return false;
    if (cap == 0) return true;
    const auto si = Load<SystemInfo>(static_cast<const unsigned char*>(data));
    size_t len = 0;
    out[0] = '\0';
    Append(out, cap, &len, "OS: ");
    // The CSD string: u32 byte length, then UTF-16LE units.
    uint32_t csd_rva = si.csd_version_rva;
    const void* csd;
    const void* units = nullptr;
    uint32_t count = 0;
    if (csd_rva && csd_rva <= UINT32_MAX - 4 && Locate(csd_rva, 4, &csd)) {
        uint32_t bytes = Load<uint32_t>(static_cast<const unsigned char*>(csd));
        if (Locate(csd_rva + 4, bytes, &units)) count = bytes / 2;
    }
    if (!units) Append(out, cap, &len, "(no description)");
    const auto* u = static_cast<const unsigned char*>(units);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t cp = Load<uint16_t>(u + 2 * i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < count) {
            uint32_t lo = Load<uint16_t>(u + 2 * (i + 1));
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;
        AppendUtf8(out, cap, &len, cp);
    }
    uint16_t arch = si.architecture;
    unsigned char id[12]; // x86 vendor id, if printable
    memcpy(id, si.cpu, sizeof id);
    char line[96];
    char vendor[13] = {};
    for (int i = 0; i < 12 && (arch == 9 || arch == 0); ++i)
        vendor[i] = id[i] >= 0x20 && id[i] < 0x7F ? static_cast<char>(id[i]) : '\0';
    snprintf(line, sizeof line, "\nProcessor: %s%s%s, %u processor%s\n", ArchName(arch),
             vendor[0] ? " " : "", vendor, unsigned{si.processors}, si.processors == 1 ? "" : "s");
    Append(out, cap, &len, line);
    return true;
}

} // namespace ktu::sys::minidump

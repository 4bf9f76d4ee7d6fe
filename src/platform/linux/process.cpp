//===- sys_proc.cpp - Process facts from /proc and sysconf ----------------===//
#include "platform/process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace ktu::sys {

uint32_t ProcessId() {
    return static_cast<uint32_t>(getpid());
}

uint32_t TickCountMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

// Reads a small /proc file into buf with plain read(2), so it is usable from
// signal handlers. Returns the number of bytes read.
static size_t ReadSmallFile(const char* path, char* buf, size_t cap) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    size_t n = 0;
    while (n + 1 < cap) {
        ssize_t r = read(fd, buf + n, cap - 1 - n);
        if (r <= 0) break;
        n += static_cast<size_t>(r);
    }
    close(fd);
    buf[n] = '\0';
    return n;
}

// Returns the decimal number that follows `key` at the start of a line.
static uint64_t FieldValue(const char* text, const char* key) {
    size_t key_len = std::strlen(key);
    for (const char* line = text; line && *line;) {
        if (std::strncmp(line, key, key_len) == 0)
            return std::strtoull(line + key_len, nullptr, 10);
        line = std::strchr(line, '\n');
        if (line) ++line;
    }
    return 0;
}

bool DebuggerAttached() {
    char buf[4096];
    if (ReadSmallFile("/proc/self/status", buf, sizeof buf) == 0) return false;
    return FieldValue(buf, "TracerPid:") != 0;
}

uint64_t PrivateMemoryBytes() {
    char buf[4096];
    if (ReadSmallFile("/proc/self/smaps_rollup", buf, sizeof buf) == 0) return 0;
    uint64_t kib = FieldValue(buf, "Private_Clean:") + FieldValue(buf, "Private_Dirty:") +
                   FieldValue(buf, "Swap:");
    return kib * 1024;
}

uint64_t ResidentMemoryBytes() {
    char buf[256];
    if (ReadSmallFile("/proc/self/statm", buf, sizeof buf) == 0) return 0;
    char* end = nullptr;
    std::strtoull(buf, &end, 10); // total size
    uint64_t pages = std::strtoull(end, nullptr, 10);
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

uint64_t PhysicalMemoryBytes() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) : 0;
}

size_t ExecutablePath(char* out, size_t cap) {
    if (cap == 0) return 0;
    ssize_t n = readlink("/proc/self/exe", out, cap - 1);
    if (n < 0) n = 0;
    out[n] = '\0';
    return static_cast<size_t>(n);
}

size_t OSDescription(char* out, size_t cap) {
    if (cap == 0) return 0;
    char release[4096];
    char pretty[256] = "Linux";
    if (ReadSmallFile("/etc/os-release", release, sizeof release) > 0) {
        const char* p = std::strstr(release, "PRETTY_NAME=");
        if (p && (p == release || p[-1] == '\n')) {
            p += std::strlen("PRETTY_NAME=");
            if (*p == '"') ++p;
            size_t n = std::strcspn(p, "\"\n");
            if (n >= sizeof pretty) n = sizeof pretty - 1;
            std::memcpy(pretty, p, n);
            pretty[n] = '\0';
        }
    }
    utsname u;
    if (uname(&u) != 0) std::memset(&u, 0, sizeof u);
    int n = std::snprintf(out, cap, "%s; %s %s %s", pretty, u.sysname, u.release, u.machine);
    return n < 0 ? 0 : (static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1);
}

} // namespace ktu::sys

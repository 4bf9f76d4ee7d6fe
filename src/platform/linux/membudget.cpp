//===- membudget.cpp - Memory budget on Linux: sysconf, cgroups, /proc ----===//
#include "platform/membudget.h"

#include "platform/vm.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace ktu::sys {

namespace {

// Reads a small file with plain read(2): no allocation, no stdio locks.
// Returns false (with errno in *error) when it cannot be opened or read.
bool ReadText(const char* path, char* buf, size_t cap, int* error) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return false;
    }
    size_t n = 0;
    while (n + 1 < cap) {
        ssize_t r = read(fd, buf + n, cap - 1 - n);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            if (error) *error = errno;
            close(fd);
            return false;
        }
        if (r == 0) break;
        n += static_cast<size_t>(r);
    }
    close(fd);
    buf[n] = '\0';
    return true;
}

// The number after `key` at the start of a line; false when no line has it.
bool LineValue(const char* text, const char* key, uint64_t* value) {
    size_t key_len = std::strlen(key);
    for (const char* line = text; line && *line;) {
        if (std::strncmp(line, key, key_len) == 0) {
            *value = std::strtoull(line + key_len, nullptr, 10);
            return true;
        }
        line = std::strchr(line, '\n');
        if (line) ++line;
    }
    return false;
}

uint64_t NowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

// Reads one limit file of `dir`; kNoMemoryLimit when absent.
uint64_t LimitFile(const std::string& dir, const char* name) {
    char buf[64];
    if (!ReadText((dir + "/" + name).c_str(), buf, sizeof buf, nullptr)) return kNoMemoryLimit;
    return ParseCgroupMemoryLimit(buf);
}

// The smallest value of file `name` in dir and each ancestor up to root;
// *where gets the cgroup path whose file gave it.
uint64_t SmallestUpwards(const std::string& root, std::string path, const char* name,
                         std::string* where) {
    uint64_t best = kNoMemoryLimit;
    for (;;) {
        uint64_t v = LimitFile(root + path, name);
        if (v < best) {
            best = v;
            *where = path.empty() ? "/" : path;
        }
        if (path.empty() || path == "/") break;
        size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash);
    }
    return best;
}

} // namespace

std::string CgroupV2Path(const char* text) {
    for (const char* line = text; line && *line;) {
        const char* end = std::strchr(line, '\n');
        size_t len = end ? size_t(end - line) : std::strlen(line);
        if (len >= 3 && std::strncmp(line, "0::", 3) == 0) return std::string(line + 3, len - 3);
        line = end ? end + 1 : nullptr;
    }
    return std::string();
}

std::string CgroupV1Path(const char* text, const char* controller) {
    size_t clen = std::strlen(controller);
    for (const char* line = text; line && *line;) {
        const char* end = std::strchr(line, '\n');
        size_t len = end ? size_t(end - line) : std::strlen(line);
        std::string l(line, len);
        size_t c1 = l.find(':');
        size_t c2 = c1 == std::string::npos ? c1 : l.find(':', c1 + 1);
        if (c2 != std::string::npos) {
            std::string list = l.substr(c1 + 1, c2 - c1 - 1);
            for (size_t start = 0; start <= list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                if (comma - start == clen && list.compare(start, clen, controller) == 0)
                    return l.substr(c2 + 1);
                start = comma + 1;
            }
        }
        line = end ? end + 1 : nullptr;
    }
    return std::string();
}

uint64_t ParseCgroupMemoryLimit(const char* text) {
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text < '0' || *text > '9') return kNoMemoryLimit; // "max", empty or junk
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || (*end != '\0' && *end != '\n' && *end != ' ')) return kNoMemoryLimit;
    // cgroup v1 says "unlimited" with LONG_MAX rounded down to a page.
    if (v >= (uint64_t(1) << 62)) return kNoMemoryLimit;
    return v;
}

bool ParseSmapsPrivateBytes(const char* text, uint64_t* bytes) {
    uint64_t clean = 0, dirty = 0, swap = 0;
    bool any = LineValue(text, "Private_Clean:", &clean);
    any = LineValue(text, "Private_Dirty:", &dirty) || any;
    any = LineValue(text, "Swap:", &swap) || any;
    *bytes = (clean + dirty + swap) * 1024;
    return any;
}

PhysicalMemoryFacts ReadPhysicalMemoryFacts(const char* proc_cgroup, const char* root) {
    PhysicalMemoryFacts f;
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    f.machine = pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : 0;
    f.usable = f.machine;
    std::string base = root ? root : "/sys/fs/cgroup";
    char text[4096];
    if (ReadText(proc_cgroup ? proc_cgroup : "/proc/self/cgroup", text, sizeof text, nullptr)) {
        std::string v2 = CgroupV2Path(text);
        std::string v1 = CgroupV1Path(text, "memory");
        std::string where_max, where_high;
        // A v2 hierarchy has its files at the root; a hybrid one mounts it at unified/.
        if (!v1.empty()) {
            f.cgroup_v1_limit =
                SmallestUpwards(base + "/memory", v1, "memory.limit_in_bytes", &where_max);
            if (f.cgroup_v1_limit < f.usable) {
                f.usable = f.cgroup_v1_limit;
                f.source = MemorySource::kCgroupV1Limit;
                f.cgroup = where_max;
            }
        } else if (!v2.empty()) {
            f.cgroup_max = SmallestUpwards(base, v2, "memory.max", &where_max);
            f.cgroup_high = SmallestUpwards(base, v2, "memory.high", &where_high);
            if (f.cgroup_max < f.usable) {
                f.usable = f.cgroup_max;
                f.source = MemorySource::kCgroupMax;
                f.cgroup = where_max;
            }
            if (f.cgroup_high < f.usable) {
                f.usable = f.cgroup_high;
                f.source = MemorySource::kCgroupHigh;
                f.cgroup = where_high;
            }
        }
    }
    return f;
}

bool ReadPrivateMemory(uint64_t* bytes, int* error) {
    char buf[2048];
    *bytes = 0;
    if (!ReadText("/proc/self/smaps_rollup", buf, sizeof buf, error)) return false;
    if (!ParseSmapsPrivateBytes(buf, bytes)) {
        if (error) *error = EINVAL;
        return false;
    }
    return true;
}

namespace {
std::mutex g_cache_lock;
uint64_t g_cache_bytes = 0;
uint64_t g_cache_time = 0;
uint64_t g_cache_cost = 0; // how long the last read took
bool g_cache_valid = false;
// A copy lives at least this many times as long as reading it took, so that
// polling costs at most 1/kCostShare of the time.
constexpr uint64_t kCostShare = 20;
} // namespace

bool ReadPrivateMemoryCached(uint64_t max_age_ns, uint64_t* bytes, int* error) {
    uint64_t now = NowNs();
    {
        std::lock_guard<std::mutex> guard(g_cache_lock);
        uint64_t age =
            max_age_ns > g_cache_cost * kCostShare ? max_age_ns : g_cache_cost * kCostShare;
        if (g_cache_valid && now - g_cache_time <= age) {
            *bytes = g_cache_bytes;
            return true;
        }
    }
    if (!ReadPrivateMemory(bytes, error)) return false;
    uint64_t done = NowNs();
    std::lock_guard<std::mutex> guard(g_cache_lock);
    g_cache_bytes = *bytes;
    g_cache_time = now;
    g_cache_cost = done - now;
    g_cache_valid = true;
    return true;
}

void InvalidatePrivateMemoryCache() {
    std::lock_guard<std::mutex> guard(g_cache_lock);
    g_cache_valid = false;
}

uint64_t AddressSpaceBytes() {
    return VmHighestAddress() - VmLowestAddress();
}

bool ReadAddressSpaceUsage(AddressSpaceUsage* usage) {
    *usage = AddressSpaceUsage();
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const uint64_t lo = VmLowestAddress(), hi = VmHighestAddress();
    uint64_t cursor = lo;
    auto gap = [&](uint64_t to) {
        if (to > cursor) {
            usage->free += to - cursor;
            if (to - cursor > usage->max_free) usage->max_free = to - cursor;
        }
    };
    char buf[8192];
    size_t have = 0;
    bool eof = false;
    while (!eof || have > 0) {
        if (!eof && have < sizeof buf - 1) {
            ssize_t n = read(fd, buf + have, sizeof buf - 1 - have);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                eof = true;
            else
                have += size_t(n);
        }
        buf[have] = '\0';
        char* nl = static_cast<char*>(std::memchr(buf, '\n', have));
        if (!nl) {
            if (!eof) {
                if (have < sizeof buf - 1) continue;
                // A line longer than the buffer: keep its start only.
                nl = buf + have - 1;
            } else if (have == 0) {
                break;
            } else {
                nl = buf + have;
            }
        }
        *nl = '\0';
        // "start-end perms offset dev inode path"
        char* p = buf;
        uint64_t start = std::strtoull(p, &p, 16);
        uint64_t end = std::strtoull(*p == '-' ? p + 1 : p, &p, 16);
        while (*p == ' ')
            ++p;
        char perms[5] = {};
        std::memcpy(perms, p, 4);
        for (int i = 0; i < 3 && *p; ++i) { // perms, offset, dev
            while (*p && *p != ' ')
                ++p;
            while (*p == ' ')
                ++p;
        }
        uint64_t inode = std::strtoull(p, &p, 10);
        while (*p == ' ')
            ++p;
        const char* path = p;
        if (start < lo) start = lo;
        if (end > hi) end = hi;
        if (end > start) {
            gap(start);
            uint64_t size = end - start;
            bool none = perms[0] != 'r' && perms[1] != 'w' && perms[2] != 'x';
            bool shared = perms[3] == 's';
            bool file = inode != 0;
            if (none)
                usage->reserved += size;
            else if (file && (perms[2] == 'x' || std::strstr(path, ".so") != nullptr))
                usage->image += size;
            else if (file || shared)
                usage->mapped += size;
            else
                usage->private_bytes += size;
            if (end > cursor) cursor = end;
        }
        size_t used = size_t(nl - buf) + (nl < buf + have ? 1 : 0);
        std::memmove(buf, buf + used, have - used);
        have -= used;
    }
    close(fd);
    gap(hi);
    return true;
}

} // namespace ktu::sys

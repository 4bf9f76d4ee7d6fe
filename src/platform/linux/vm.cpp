//===- vm.cpp - Virtual memory of the platform layer ----------------------===//
#include "platform/vm.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace ktu::sys {

size_t PageSize() {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// Maps size bytes with the given protection and trims the mapping so that it
// starts on a multiple of alignment. Linux places mappings top-down already,
// so top_down needs no hint.
static void* MapAligned(size_t size, size_t alignment, int prot) {
    size = (size + PageSize() - 1) & ~(PageSize() - 1);
    size_t over = size + alignment - PageSize();
    void* raw = mmap(nullptr, over, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    uintptr_t base = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = (base + alignment - 1) & ~(uintptr_t(alignment) - 1);
    if (aligned > base) munmap(raw, aligned - base);
    uintptr_t end = base + over;
    if (end > aligned + size)
        munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    return reinterpret_cast<void*>(aligned);
}

void* VmReserve(size_t size, bool /*top_down*/) {
    return MapAligned(size, kRegionSize, PROT_NONE);
}

void* VmReserveCommitted(size_t size, bool /*top_down*/) {
    return MapAligned(size, kRegionSize, PROT_READ | PROT_WRITE);
}

void* VmReserveAt(void* addr, size_t size) {
    void* p = mmap(addr, size, PROT_NONE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    if (p != addr) { // kernels before 4.17 treat the flag as a hint
        munmap(p, size);
        return nullptr;
    }
    return p;
}

void* VmReserveAligned(size_t size, size_t alignment) {
    if (alignment < kRegionSize) alignment = kRegionSize;
    return MapAligned(size, alignment, PROT_NONE);
}

bool VmCommit(void* addr, size_t size) {
    return mprotect(addr, size, PROT_READ | PROT_WRITE) == 0;
}

void VmPopulate(void* addr, size_t size) {
#if defined(MADV_POPULATE_WRITE)
    madvise(addr, size, MADV_POPULATE_WRITE); // best effort: EINVAL before Linux 5.14
#else
    (void)addr;
    (void)size;
#endif
}

void VmAdviseHugePages(void* addr, size_t size) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    uintptr_t begin = (reinterpret_cast<uintptr_t>(addr) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(addr) + size) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)addr;
    (void)size;
#endif
}

bool VmDecommit(void* addr, size_t size) {
    if (madvise(addr, size, MADV_DONTNEED) != 0) return false;
    return mprotect(addr, size, PROT_NONE) == 0;
}

void VmRelease(void* addr, size_t size) {
    munmap(addr, size);
}

void* VmAllocate(size_t size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

uintptr_t VmLowestAddress() {
    return kRegionSize;
}

uintptr_t VmHighestAddress() {
    // The kernel maps nothing in the top page of the user address space.
#if defined(__x86_64__)
    return (uintptr_t(1) << 47) - PageSize();
#else
    return (uintptr_t(1) << 48) - PageSize();
#endif
}

static uintptr_t ParseHex(const char*& p, const char* end) {
    uintptr_t v = 0;
    for (; p < end; ++p) {
        char c = *p;
        unsigned d;
        if (c >= '0' && c <= '9')
            d = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = unsigned(c - 'a' + 10);
        else
            break;
        v = (v << 4) | d;
    }
    return v;
}

bool VmWalk(void (*fn)(const VmArea& area, void* data), void* data) {
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const uintptr_t lo = VmLowestAddress(), hi = VmHighestAddress();
    uintptr_t cursor = lo;
    char buf[4096];
    size_t have = 0;
    bool eof = false;
    while (!eof || have > 0) {
        if (!eof && have < sizeof(buf)) {
            ssize_t n = read(fd, buf + have, sizeof(buf) - have);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                eof = true;
            else
                have += size_t(n);
        }
        // Process every complete line in the buffer.
        size_t start = 0;
        for (;;) {
            size_t nl = start;
            while (nl < have && buf[nl] != '\n')
                ++nl;
            if (nl == have && !(eof && nl > start)) break;
            const char* p = buf + start;
            const char* e = buf + nl;
            uintptr_t b = ParseHex(p, e);
            if (p < e && *p == '-') ++p;
            uintptr_t t = ParseHex(p, e);
            if (t > hi) t = hi;
            if (b > cursor && cursor < hi) {
                uintptr_t gap_end = b < hi ? b : hi;
                fn(VmArea{cursor, gap_end - cursor, true}, data);
                cursor = gap_end;
            }
            if (t > cursor) {
                uintptr_t from = b > cursor ? b : cursor;
                fn(VmArea{from, t - from, false}, data);
                cursor = t;
            }
            start = nl < have ? nl + 1 : nl;
            if (start >= have) break;
        }
        // Keep a partial line for the next read; a line longer than the buffer
        // cannot occur for the fields we read, but drop it rather than loop.
        if (start == 0 && have == sizeof(buf)) start = have;
        for (size_t i = start; i < have; ++i)
            buf[i - start] = buf[i];
        have -= start;
        if (eof && have == 0) break;
    }
    close(fd);
    if (cursor < hi) fn(VmArea{cursor, hi - cursor, true}, data);
    return true;
}

} // namespace ktu::sys

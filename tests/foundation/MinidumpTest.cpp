//===- MinidumpTest.cpp - Minidump writer and reader tests ----------------===//
#include "platform/minidump.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

namespace md = ktu::sys::minidump;

namespace {

uint32_t U32(const void* p, size_t off = 0) {
    uint32_t v;
    memcpy(&v, static_cast<const char*>(p) + off, 4);
    return v;
}
uint64_t U64(const void* p, size_t off = 0) {
    uint64_t v;
    memcpy(&v, static_cast<const char*>(p) + off, 8);
    return v;
}

std::string TempPath(const char* name) {
    const char* dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/ktu_md_" + std::to_string(getpid()) + "_" +
           name;
}

std::string ReadFile(const std::string& path) {
    std::string s;
    int fd = open(path.c_str(), O_RDONLY);
    char buf[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;)
        s.append(buf, static_cast<size_t>(n));
    if (fd >= 0) close(fd);
    return s;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// The thread's stack bytes as recorded in the thread list.
std::string StackBytes(const md::Reader& r, uint64_t* start) {
    const void* tl;
    uint32_t size;
    if (!r.FindStream(md::kThreadListStream, &tl, &size) || size < 52 || U32(tl) != 1) return {};
    const void* mem;
    uint32_t len = U32(tl, 4 + 32);
    if (!r.Locate(U32(tl, 4 + 36), len, &mem)) return {};
    *start = U64(tl, 4 + 24);
    return std::string(static_cast<const char*>(mem), len);
}

const char kMarker[] = "ktu-stack-marker-5f3a";

// Runs in a forked child: a SIGSEGV handler on an alternate stack writes the dump.
int g_dump_fd = -1;
const char kLog[] = "log head text\n";

void OnSegv(int sig, siginfo_t* si, void* uc) {
    md::CrashInfo info;
    info.signal = sig;
    info.code = si->si_code;
    info.fault_address = si->si_addr;
    info.ucontext = uc;
    md::UserStream log{md::kFirstUserStream, kLog, sizeof kLog};
    _exit(md::Write(g_dump_fd, info, &log, 1, nullptr, 0, 0) ? 0 : 3);
}

[[gnu::noinline]] void CrashWithMarker() {
    char marker[sizeof kMarker];
    memcpy(marker, kMarker, sizeof kMarker);
    asm volatile("" : : "r"(marker) : "memory"); // keep it whole, on the stack
    volatile uintptr_t bad = 0x18;
    *reinterpret_cast<volatile int*>(bad) = marker[0];
}

} // namespace

// Declared first so that the child normally uses the writer's own fallback
// description (PrepareSystemDescription not yet called in this process).
TEST(Minidump, DumpFromSignalHandlerOnAltStack) {
    std::string path = TempPath("segv.dmp");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        g_dump_fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        static char alt[64 * 1024];
        stack_t ss{};
        ss.ss_sp = alt;
        ss.ss_size = sizeof alt;
        struct sigaction sa {};
        sa.sa_sigaction = OnSegv;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        if (g_dump_fd < 0 || sigaltstack(&ss, nullptr) != 0 || sigaction(SIGSEGV, &sa, nullptr))
            _exit(2);
        CrashWithMarker();
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    md::Reader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    const void* exc;
    uint32_t size;
    ASSERT_TRUE(r.FindStream(md::kExceptionStream, &exc, &size));
    ASSERT_EQ(size, 168u);
    EXPECT_EQ(U32(exc, 0), static_cast<uint32_t>(pid)); // single-threaded child: tid == pid
    EXPECT_EQ(U32(exc, 8), static_cast<uint32_t>(SIGSEGV));
    EXPECT_EQ(U32(exc, 12), static_cast<uint32_t>(SEGV_MAPERR));
    EXPECT_EQ(U64(exc, 24), 0x18u);

    // The crashed frame's stack (not the alternate stack) was captured.
    uint64_t start = 0;
    std::string stack = StackBytes(r, &start);
    ASSERT_FALSE(stack.empty());
    EXPECT_LE(stack.size(), md::kStackCaptureLimit);
    EXPECT_NE(stack.find(kMarker), std::string::npos);
    const void* ctx;
    ASSERT_TRUE(r.Locate(U32(exc, 164), U32(exc, 160), &ctx));
    ASSERT_EQ(U32(exc, 160), md::kContextSize);
#if defined(__x86_64__)
    uint64_t sp = U64(ctx, REG_RSP * 8);
#elif defined(__aarch64__)
    uint64_t sp = U64(ctx, 256);
#endif
    EXPECT_GE(sp, start);
    EXPECT_LT(sp, start + stack.size());

    const void* log;
    ASSERT_TRUE(r.FindStream(md::kFirstUserStream, &log, &size));
    EXPECT_EQ(std::string(static_cast<const char*>(log), size), std::string(kLog, sizeof kLog));

    // The fallback description must read like the prepared one.
    char fallback[512], prepared[512];
    ASSERT_TRUE(r.DescribeSystem(fallback, sizeof fallback));
    md::PrepareSystemDescription();
    int fd = open(path.c_str(), O_RDWR | O_TRUNC);
    ASSERT_TRUE(md::Write(fd, md::CrashInfo{}, nullptr, 0, nullptr, 0, 0));
    close(fd);
    ASSERT_TRUE(r.Open(path.c_str()));
    ASSERT_TRUE(r.DescribeSystem(prepared, sizeof prepared));
    auto first_line = [](const char* t) { return std::string(t, strcspn(t, "\n")); };
    EXPECT_EQ(first_line(fallback), first_line(prepared));
    unlink(path.c_str());
}

TEST(Minidump, RoundTripOnRequest) {
    md::PrepareSystemDescription();
    long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    memset(pages, 'p', page);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);

    const char a[] = "first log part";
    std::string b(100000, 'b');
    const uint32_t words[] = {1, 2, 3, 0xdeadbeef};
    md::UserStream streams[] = {{md::kFirstUserStream, a, sizeof a},
                                {md::kFirstUserStream + 1, b.data(), uint32_t(b.size())},
                                {md::kFirstUserStream + 2, nullptr, 0},
                                {0x12345, words, sizeof words}};
    md::MemoryRange extra[] = {{words, sizeof words},
                               {pages + page, 16},     // unreadable: skipped
                               {pages + page - 8, 16}, // cut where it turns unreadable
                               {b.data() + 7, 3000}};
    char marker[sizeof kMarker];
    memcpy(marker, kMarker, sizeof kMarker);
    asm volatile("" : : "r"(marker) : "memory");

    std::string path = TempPath("req.dmp");
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(md::Write(fd, md::CrashInfo{}, streams, 4, extra, 4, 0x21));
    close(fd);
    munmap(pages, 2 * page);
    asm volatile("" : : "r"(marker) : "memory");

    md::Reader r;
    ASSERT_TRUE(r.Open(path.c_str()));
    std::string file = ReadFile(path);
    EXPECT_EQ(U64(file.data(), 24), 0x21u); // dump type in the header flags

    // Directory: the four standard streams, then the user streams in order.
    const char* dir = file.data() + U32(file.data(), 12);
    ASSERT_EQ(U32(file.data(), 8), 8u);
    const uint32_t types[] = {7, 6, 3, 5, 0x10000, 0x10001, 0x10002, 0x12345};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(U32(dir, 12 * i), types[i]) << i;
    for (const auto& s : streams) {
        const void* data;
        uint32_t size;
        ASSERT_TRUE(r.FindStream(s.type, &data, &size));
        ASSERT_EQ(size, s.size);
        EXPECT_TRUE(size == 0 || memcmp(data, s.data, size) == 0) << s.type;
    }

    const void* si;
    uint32_t size;
    ASSERT_TRUE(r.FindStream(md::kSystemInfoStream, &si, &size));
    EXPECT_EQ(size, md::kSystemInfoSize);
    struct utsname u;
    uname(&u);
    char text[512];
    ASSERT_TRUE(r.DescribeSystem(text, sizeof text));
    std::string desc = text;
    EXPECT_EQ(desc.rfind("OS: ", 0), 0u) << desc;
    EXPECT_NE(desc.find(std::string("; Linux ") + u.release + " " + u.machine + "\n"),
              std::string::npos)
        << desc;
    EXPECT_NE(desc.find("\nProcessor: "), std::string::npos) << desc;

    // Memory list: three readable ranges, the partial one cut to 8 bytes.
    const void* ml;
    ASSERT_TRUE(r.FindStream(md::kMemoryListStream, &ml, &size));
    ASSERT_EQ(U32(ml), 3u);
    ASSERT_EQ(size, 4u + 3 * 16);
    const std::string expect[] = {std::string(reinterpret_cast<const char*>(words), sizeof words),
                                  std::string(8, 'p'), b.substr(7, 3000)};
    for (int i = 0; i < 3; ++i) {
        const void* mem;
        ASSERT_TRUE(r.Locate(U32(ml, 4 + 16 * i + 12), U32(ml, 4 + 16 * i + 8), &mem));
        EXPECT_EQ(std::string(static_cast<const char*>(mem), U32(ml, 4 + 16 * i + 8)), expect[i]);
    }
    EXPECT_EQ(U64(ml, 4 + 16 * 1), reinterpret_cast<uintptr_t>(pages + page - 8));

    uint64_t start = 0;
    std::string stack = StackBytes(r, &start);
    EXPECT_NE(stack.find(kMarker), std::string::npos);
    const void* exc;
    ASSERT_TRUE(r.FindStream(md::kExceptionStream, &exc, &size));
    EXPECT_EQ(U32(exc, 0), static_cast<uint32_t>(syscall(SYS_gettid)));
    EXPECT_EQ(U32(exc, 8), 0u);
    unlink(path.c_str());
}

TEST(Minidump, ReaderRejectsDamagedFiles) {
    std::string path = TempPath("bad.dmp");
    const char log[] = "x";
    md::UserStream s{md::kFirstUserStream, log, sizeof log};
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_TRUE(md::Write(fd, md::CrashInfo{}, &s, 1, nullptr, 0, 0));
    close(fd);
    const std::string good = ReadFile(path);
    const uint32_t dir = U32(good.data(), 12);
    auto patched = [&](size_t off, uint32_t v) {
        std::string b = good;
        memcpy(&b[off], &v, 4);
        return b;
    };
    md::Reader r;
    char text[256];
    // The last directory entry is the user stream, the last thing in the file.
    const std::string bad[] = {patched(0, 0x504d444e),                // signature
                               patched(4, 0xA794),                    // version
                               patched(8, 0x10000000),                // directory runs past the end
                               patched(12, uint32_t(good.size())),    // directory starts at the end
                               patched(dir + 12 * 4 + 8, 0xFFFFFFF0), // stream rva past the end
                               patched(dir + 12 * 4 + 4, 0xFFFFFFFF), // stream size past the end
                               good.substr(0, good.size() - 1),       // last stream truncated
                               good.substr(0, 31),                    // shorter than the header
                               std::string()};
    for (size_t i = 0; i < std::size(bad); ++i) {
        WriteFile(path, bad[i]);
        EXPECT_FALSE(r.Open(path.c_str())) << i;
        EXPECT_FALSE(r.DescribeSystem(text, sizeof text)) << i;
    }

    // Well-formed files without a usable system-information stream.
    WriteFile(path, patched(dir + 4, 48)); // 48 bytes instead of 56
    ASSERT_TRUE(r.Open(path.c_str()));
    EXPECT_FALSE(r.DescribeSystem(text, sizeof text));
    WriteFile(path, patched(dir, 0x77)); // no type-7 stream
    ASSERT_TRUE(r.Open(path.c_str()));
    EXPECT_FALSE(r.DescribeSystem(text, sizeof text));
    WriteFile(path, patched(U32(good.data(), dir + 8) + 24, 0x7FFFFFFF)); // CSD rva out of file
    ASSERT_TRUE(r.Open(path.c_str()));
    ASSERT_TRUE(r.DescribeSystem(text, sizeof text));
    EXPECT_EQ(std::string(text).rfind("OS: (no description)\n", 0), 0u) << text;
    unlink(path.c_str());
}

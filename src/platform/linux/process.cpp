//===- process.cpp - The process on Linux: /proc, sysconf, fork and exec --===//
#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ktu::sys {

uint32_t ProcessId() {
    return static_cast<uint32_t>(getpid());
}

void BreakIntoDebugger() {
    raise(SIGTRAP);
}

void ExitNow(int code) {
    _exit(code);
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

bool ModulePath(void* module, std::string* out) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map) return false;
    // The executable's own entry has an empty name.
    *out = map->l_name ? map->l_name : "";
    return true;
}

std::string HostName() {
    char name[256];
    if (gethostname(name, sizeof name) != 0) return std::string();
    name[sizeof name - 1] = '\0';
    return name;
}

std::string UserName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw, *found = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return found->pw_name;
    const char* env = std::getenv("USER");
    return env ? env : "";
}

bool SetEnvironmentVariable(const char* name, const char* value) {
    if (!value) return unsetenv(name) == 0;
    return setenv(name, value, 1) == 0;
}

std::string CurrentDirectory() {
    std::vector<char> buf(PATH_MAX);
    while (!getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return std::string();
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

bool SetCurrentDirectory(const char* path) {
    return chdir(path) == 0;
}

// A program name without "/" is looked up in $PATH here, before fork: the
// child may only make async-signal-safe calls.
static std::string ResolveProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* env = std::getenv("PATH");
    std::string path = env && *env ? env : "/bin:/usr/bin";
    size_t i = 0;
    while (i <= path.size()) {
        size_t next = path.find(':', i);
        if (next == std::string::npos) next = path.size();
        std::string dir = next > i ? path.substr(i, next - i) : ".";
        std::string candidate = dir + "/" + program;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        i = next + 1;
    }
    return program;
}

static pid_t WaitFor(pid_t pid, int* status) {
    pid_t r;
    do
        r = waitpid(pid, status, 0);
    while (r < 0 && errno == EINTR);
    return r;
}

bool RunProgram(const std::string& program, const std::vector<std::string>& args, bool wait) {
    std::string resolved = ResolveProgram(program);
    std::vector<std::string> words = args;
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // The child reports a failed exec through a close-on-exec pipe; a
    // successful exec closes it, so the parent reads end-of-file.
    int pipefd[2];
    if (pipe2(pipefd, O_CLOEXEC) != 0) return false;
    pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        if (!wait) {
            // Not waiting: exec from a grandchild, which init adopts and reaps.
            pid_t grandchild = fork();
            if (grandchild != 0) {
                if (grandchild < 0) {
                    int e = errno;
                    [[maybe_unused]] ssize_t n = write(pipefd[1], &e, sizeof e);
                }
                _exit(0);
            }
        }
        execv(resolved.c_str(), argv.data());
        int e = errno;
        [[maybe_unused]] ssize_t n = write(pipefd[1], &e, sizeof e);
        _exit(127);
    }
    close(pipefd[1]);
    if (pid < 0) {
        close(pipefd[0]);
        return false;
    }
    int error = 0;
    ssize_t n;
    do
        n = read(pipefd[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    close(pipefd[0]);
    int status = 0;
    pid_t reaped = WaitFor(pid, &status);
    bool started = n == 0;
    if (!wait || !started) return started;
    // A host that ignores SIGCHLD gets no status: the program did run.
    if (reaped < 0) return errno == ECHILD;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteStandardError(const char* text, size_t size) {
    while (size > 0) {
        ssize_t w = write(STDERR_FILENO, text, size);
        if (w <= 0) break;
        text += w;
        size -= static_cast<size_t>(w);
    }
}

} // namespace ktu::sys

//===- KtUSysFile.cpp - Files, paths, temporary-file names, process facts -===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUSysFileHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "system/file_handles.h"
#include "foundation/component.h"
#include "platform/process.h"
#include "platform/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <pwd.h>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using U16 = std::u16string;

KtUComponent s_component;

constexpr KtUWChar kAutoDeleteKey[] = u"*AUTODELETE*";
constexpr KtUWChar kAutoDeleteDirName[] = u"Veltracore_AutoDelete";
constexpr int kTempNameAttempts = 100;
constexpr unsigned int kWritePiece = 4096;

// Guards the override temporary directory and the search paths. Kept on the C
// heap so that they never show up as memory-manager allocations.
std::mutex s_lock;
U16 s_override_temp_dir;
std::vector<U16> s_search_paths;

bool IsSep(KtUWChar c) {
    return c == u'/' || c == u'\\';
}

U16 Str(const KtUWChar* s) {
    return s ? U16(s) : U16();
}

std::string Utf8(const U16& s) {
    std::string out(s.size() * 3 + 1, '\0');
    out.resize(ktu::sys::U16ToUtf8(s.c_str(), out.data(), out.size()));
    return out;
}

U16 FromUtf8(const char* s) {
    if (!s) return U16();
    U16 out(std::strlen(s) + 1, u'\0');
    out.resize(ktu::sys::Utf8ToU16(s, out.data(), out.size()));
    return out;
}

int Put(KtUWideStringBuffer* out, const U16& s) {
    out->SetString(s.c_str(), static_cast<int>(s.size()));
    return 1;
}

int Fail(KtUWideStringBuffer* out) {
    if (out) out->SetEmptyString();
    return 0;
}

// Both separators become "/", runs collapse, a trailing one goes (not the root's).
U16 Normalise(const U16& path) {
    U16 r;
    r.reserve(path.size());
    for (KtUWChar c : path) {
        if (IsSep(c)) {
            if (r.empty() || r.back() != u'/') r.push_back(u'/');
        } else {
            r.push_back(c);
        }
    }
    if (r.size() > 1 && r.back() == u'/') r.pop_back();
    return r;
}

// Splits a normalised path at its last separator. False when there is no last
// component ("" or "/").
bool SplitLast(const U16& norm, U16* dir, U16* name) {
    size_t slash = norm.rfind(u'/');
    if (slash == U16::npos) {
        *dir = U16();
        *name = norm;
    } else {
        *dir = slash == 0 ? U16(u"/") : norm.substr(0, slash);
        *name = norm.substr(slash + 1);
    }
    return !name->empty();
}

// Position of the extension's dot in a normalised path, or npos.
size_t ExtensionDot(const U16& norm) {
    size_t start = norm.rfind(u'/');
    start = start == U16::npos ? 0 : start + 1;
    size_t dot = norm.rfind(u'.');
    if (dot == U16::npos || dot < start) return U16::npos;
    for (size_t i = start; i < dot; ++i)
        if (norm[i] != u'.') return dot;
    return U16::npos;
}

// A UTF-8 path for the kernel; false for null or empty input.
bool FsPath(const KtUWChar* path, std::string* out) {
    if (!path || !*path) return false;
    *out = Utf8(Normalise(path));
    return true;
}

U16 CurrentDir() {
    std::vector<char> buf(PATH_MAX);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) return U16();
        buf.resize(buf.size() * 2);
    }
    return FromUtf8(buf.data());
}

std::vector<U16> Components(const U16& norm) {
    std::vector<U16> parts;
    size_t i = 0;
    while (i < norm.size()) {
        size_t next = norm.find(u'/', i);
        if (next == U16::npos) next = norm.size();
        if (next > i) parts.push_back(norm.substr(i, next - i));
        i = next + 1;
    }
    return parts;
}

// Absolute, normalised, without "." and ".." ("/.." stays "/"). Empty when the
// current directory is needed and unknown.
U16 Absolute(const KtUWChar* base, const U16& path) {
    U16 p = Normalise(path);
    if (p.empty() || p[0] != u'/') {
        U16 b = base && *base ? Normalise(base) : CurrentDir();
        if (b.empty()) return U16();
        if (b[0] != u'/') {
            U16 cwd = CurrentDir();
            if (cwd.empty()) return U16();
            b = cwd + u"/" + b;
        }
        p = b + u"/" + p;
    }
    std::vector<U16> kept;
    for (const U16& part : Components(p)) {
        if (part == u".") continue;
        if (part == u"..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    U16 r;
    for (const U16& part : kept)
        r += u"/" + part;
    return r.empty() ? U16(u"/") : r;
}

bool IsDir(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Removes path and, when it is a directory, everything below it. Symbolic
// links are unlinked, never followed.
bool RemoveTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    }
    ::closedir(dir);
    bool ok = true;
    for (const std::string& name : names)
        ok = RemoveTree(path + "/" + name) && ok;
    return ok && (::rmdir(path.c_str()) == 0 || errno == ENOENT);
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyRegularFile(const std::string& src, const std::string& dst, bool fail_if_exists) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st, dst_st;
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && ::stat(dst.c_str(), &dst_st) == 0) {
        // Truncating the source through a second name would destroy it.
        ok = !fail_if_exists && !S_ISDIR(dst_st.st_mode) &&
             !(dst_st.st_dev == st.st_dev && dst_st.st_ino == st.st_ino);
    }
    int out = -1;
    if (ok) {
        int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (fail_if_exists ? O_EXCL : 0);
        out = ::open(dst.c_str(), flags, st.st_mode & 07777);
        ok = out >= 0;
    }
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, static_cast<size_t>(n));
    }
    if (ok) {
        ::fchmod(out, st.st_mode & 07777);
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out, times);
    }
    if (out >= 0 && ::close(out) != 0) ok = false;
    ::close(in);
    if (!ok && out >= 0) ::unlink(dst.c_str());
    return ok;
}

// The process-wide temporary directory: the override when it exists, else
// $TMPDIR, else /tmp. False when the chosen directory is missing.
bool TempDir(U16* out) {
    U16 over;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        over = s_override_temp_dir;
    }
    if (!over.empty() && IsDir(Utf8(Normalise(over)))) {
        *out = Normalise(over);
        return true;
    }
    const char* env = std::getenv("TMPDIR");
    *out = env && *env ? Normalise(FromUtf8(env)) : U16(u"/tmp");
    return IsDir(Utf8(*out));
}

bool IsAutoDeleteKey(const KtUWChar* dir) {
    return dir && Str(dir) == kAutoDeleteKey;
}

// The directory every temporary-file operation works in: dir itself, or the
// temporary directory for null and empty, or its auto-delete sub-directory
// (created on demand) for the key. It must exist.
bool ResolveTempDir(const KtUWChar* dir, U16* out) {
    bool auto_delete = IsAutoDeleteKey(dir);
    if (dir && *dir && !auto_delete) {
        *out = Normalise(dir);
    } else if (!TempDir(out)) {
        return false;
    }
    if (auto_delete) {
        *out += u"/";
        *out += kAutoDeleteDirName;
        ::mkdir(Utf8(*out).c_str(), 0700);
    }
    return IsDir(Utf8(*out));
}

// Two 16-bit numbers for a temporary name. getrandom keeps threads that ask at
// the same moment apart (one seed shared through srand/rand would not); when
// it fails, a per-thread rand_r state seeded from the clock and thread id.
void TwoRandomNumbers(unsigned int* a, unsigned int* b) {
    std::uint16_t v[2];
    if (::getrandom(v, sizeof v, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof v)) {
        thread_local unsigned int state = ktu::sys::TickCountMs() ^ (::gettid() * 2654435761u);
        v[0] = static_cast<std::uint16_t>(::rand_r(&state));
        v[1] = static_cast<std::uint16_t>(::rand_r(&state));
    }
    *a = v[0];
    *b = v[1];
}

// One candidate "<dir>/<prefix>_<pid>_<%4x><%4x>[.<ext>]".
U16 TempCandidate(const U16& dir, const KtUWChar* prefix, const KtUWChar* ext) {
    unsigned int a, b;
    TwoRandomNumbers(&a, &b);
    KtUWideStringBuffer name;
    int pid = static_cast<int>(ktu::sys::ProcessId());
    if (ext && *ext)
        name.Format(u"%s_%d_%4x%4x.%s", prefix, pid, a, b, ext);
    else
        name.Format(u"%s_%d_%4x%4x", prefix, pid, a, b);
    return dir + u"/" + U16(name.GetString(), name.GetLength());
}

// A name in dir that does not exist now (kTempNameAttempts tries).
bool FreeTempName(const U16& dir, const KtUWChar* prefix, const KtUWChar* ext, U16* out) {
    for (int i = 0; i < kTempNameAttempts; ++i) {
        *out = TempCandidate(dir, prefix, ext);
        if (!Exists(Utf8(*out))) return true;
    }
    return false;
}

FILE* OpenLogged(const char* who, const char* path, const char* mode) {
    FILE* file = nullptr;
    int error = EINVAL;
    if (path && *path && mode && *mode) {
        // "e": close-on-exec, so that started programs do not inherit the file.
        const char* comma = std::strchr(mode, ',');
        size_t flags = comma ? static_cast<size_t>(comma - mode) : std::strlen(mode);
        std::string m(mode, flags);
        if (m.find('e') == std::string::npos) m.push_back('e');
        if (comma) m.append(comma);
        file = ::fopen(path, m.c_str());
        error = errno;
    }
    if (!file)
        KtUError::Log("KtUSysFile::%s failed to open file '%s' error #%d\n", who,
                      path ? path : "(null)", error);
    return file;
}

void LogPE(const char* message, const std::string& path) {
    KtUError::Log("KtUSysFile::GetPEImageType() : %s%s\n", message, path.c_str());
}

unsigned int Le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Splits a command line: blanks separate, double quotes group, \" is a quote.
std::vector<std::string> SplitArguments(const std::string& line) {
    std::vector<std::string> args;
    std::string cur;
    bool in_arg = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            cur.push_back('"');
            in_arg = true;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
            in_arg = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_arg) args.push_back(cur);
            cur.clear();
            in_arg = false;
        } else {
            cur.push_back(c);
            in_arg = true;
        }
    }
    if (in_arg) args.push_back(cur);
    return args;
}

// A program name without "/" is looked up in $PATH here, before fork: the
// child may only make async-signal-safe calls.
std::string ResolveProgram(const std::string& program) {
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
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        i = next + 1;
    }
    return program;
}

pid_t WaitFor(pid_t pid, int* status) {
    pid_t r;
    do
        r = ::waitpid(pid, status, 0);
    while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

static bool TearDown() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_search_paths.clear();
    return true;
}

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUSysFile",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError>,
    .tear_down = TearDown,
};
KTU_COMPONENT_LIFECYCLE(KtUSysFile, kComponent)

// --- Opening and writing ---------------------------------------------------

FILE* KtUSysFile::fopenA(const char* path, const char* mode) {
    return OpenLogged("fopenA", path, mode);
}

FILE* KtUSysFile::fopenW(const KtUWChar* path, const KtUWChar* mode) {
    std::string p = path ? Utf8(path) : std::string();
    std::string m = mode ? Utf8(mode) : std::string();
    return OpenLogged("fopenW", path ? p.c_str() : nullptr, mode ? m.c_str() : nullptr);
}

unsigned int KtUSysFile::fwrite(const unsigned char* data, unsigned int size, FILE* file) {
    if (!data || !file) return 0;
    unsigned int written = 0;
    while (written < size) {
        unsigned int piece = size - written < kWritePiece ? size - written : kWritePiece;
        size_t result = ::fwrite(data + written, 1, piece, file);
        if (result != piece) {
            KtUError::Log("KtUSysFile::fwrite(%d) returned %d after writing %d of %d bytes\n",
                          static_cast<int>(piece), static_cast<int>(result),
                          static_cast<int>(written), static_cast<int>(size));
            return written;
        }
        written += piece;
    }
    return written;
}

FILE* KtUSysFile::fopenTempFileW(const KtUWChar* path, unsigned int flags) {
    std::string p;
    if (!FsPath(path, &p)) return nullptr;
    int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    if (flags & eTEMP_DELETE_ON_CLOSE) ::unlink(p.c_str());
    if (flags & eTEMP_SHORT_LIVED) ::posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);
    if (flags & eTEMP_SEQUENTIAL) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (flags & eTEMP_RANDOM_ACCESS) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    FILE* file = ::fdopen(fd, "rb+");
    if (!file) ::close(fd);
    return file;
}

// --- Paths -----------------------------------------------------------------

int KtUSysFile::PushPathW(const KtUWChar* dir, const KtUWChar* name, KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 d = Normalise(Str(dir));
    U16 n = Normalise(Str(name));
    if (!n.empty() && n[0] == u'/') n.erase(0, 1);
    if (d.empty()) return Put(out, n);
    if (n.empty()) return Put(out, d);
    return Put(out, d == u"/" ? d + n : d + u"/" + n);
}

int KtUSysFile::PopPathW(const KtUWChar* path, KtUWideStringBuffer* dir,
                         KtUWideStringBuffer* name) {
    U16 d, n;
    int ok = SplitLast(Normalise(Str(path)), &d, &n);
    if (dir) Put(dir, d);
    if (name) Put(name, n);
    return ok;
}

int KtUSysFile::AddFileExtensionW(const KtUWChar* path, const KtUWChar* ext,
                                  KtUWideStringBuffer* out) {
    if (!path || !out) return Fail(out);
    U16 p = Normalise(path);
    U16 e = Str(ext);
    size_t skip = e.find_first_not_of(u'.');
    if (skip != U16::npos) p += u"." + e.substr(skip);
    return Put(out, p);
}

int KtUSysFile::RemoveFileExtensionW(const KtUWChar* path, KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 p = Normalise(Str(path));
    size_t dot = ExtensionDot(p);
    if (dot == U16::npos) {
        Put(out, p);
        return 0;
    }
    return Put(out, p.substr(0, dot));
}

int KtUSysFile::GetFileExtensionW(const KtUWChar* path, KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 p = Normalise(Str(path));
    size_t dot = ExtensionDot(p);
    if (dot == U16::npos || dot + 1 == p.size()) return Fail(out);
    return Put(out, p.substr(dot + 1));
}

int KtUSysFile::HasFileExtensionW(const KtUWChar* path, const KtUWChar* ext) {
    if (!path) return 0;
    U16 p = Normalise(path);
    size_t dot = ExtensionDot(p);
    U16 have = dot == U16::npos ? U16() : p.substr(dot + 1);
    U16 want = Str(ext);
    size_t skip = want.find_first_not_of(u'.');
    want = skip == U16::npos ? U16() : want.substr(skip);
    if (have.size() != want.size()) return 0;
    auto fold = [](KtUWChar c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    for (size_t i = 0; i < have.size(); ++i)
        if (fold(have[i]) != fold(want[i])) return 0;
    return 1;
}

int KtUSysFile::RemovePathnameW(const KtUWChar* path, KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 d, n;
    int ok = SplitLast(Normalise(Str(path)), &d, &n);
    Put(out, n);
    return ok;
}

int KtUSysFile::SplitFilenameW(const KtUWChar* path, KtUWideStringBuffer* dir,
                               KtUWideStringBuffer* name) {
    U16 d, n;
    int ok = SplitLast(Normalise(Str(path)), &d, &n);
    if (!d.empty() && d.back() != u'/') d.push_back(u'/');
    if (dir) Put(dir, d);
    if (name) Put(name, n);
    return ok;
}

int KtUSysFile::IsAbsoluteW(const KtUWChar* path) {
    return path && IsSep(path[0]);
}

int KtUSysFile::MakeAbsoluteW(const KtUWChar* base, const KtUWChar* path,
                              KtUWideStringBuffer* out) {
    if (!path || !out) return Fail(out);
    U16 abs = Absolute(base, path);
    return abs.empty() ? Fail(out) : Put(out, abs);
}

int KtUSysFile::MakeRelativeW(const KtUWChar* base, const KtUWChar* path,
                              KtUWideStringBuffer* out) {
    if (!path || !out) return Fail(out);
    U16 b = Absolute(nullptr, Str(base));
    U16 p = Absolute(nullptr, path);
    if (b.empty() || p.empty()) return Fail(out);
    std::vector<U16> bc = Components(b), pc = Components(p);
    size_t common = 0;
    while (common < bc.size() && common < pc.size() && bc[common] == pc[common])
        ++common;
    U16 r;
    for (size_t i = common; i < bc.size(); ++i)
        r += r.empty() ? u".." : u"/..";
    for (size_t i = common; i < pc.size(); ++i) {
        if (!r.empty()) r += u"/";
        r += pc[i];
    }
    return Put(out, r.empty() ? U16(u".") : r);
}

int KtUSysFile::PushSearchPathW(const KtUWChar* dir) {
    if (!dir || !*dir) return 0;
    U16 d = Normalise(dir);
    std::lock_guard<std::mutex> guard(s_lock);
    for (const U16& have : s_search_paths)
        if (have == d) return 1;
    s_search_paths.push_back(d);
    return 1;
}

int KtUSysFile::SearchPathW(const KtUWChar* name, KtUWideStringBuffer* out) {
    if (!name || !*name || !out) return Fail(out);
    U16 n = Normalise(name);
    if (n[0] == u'/') return Exists(Utf8(n)) ? Put(out, n) : Fail(out);
    std::vector<U16> dirs;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        dirs = s_search_paths;
    }
    dirs.push_back(CurrentDir());
    for (const U16& dir : dirs) {
        if (dir.empty()) continue;
        U16 candidate = dir == u"/" ? dir + n : dir + u"/" + n;
        if (Exists(Utf8(candidate))) return Put(out, candidate);
    }
    return Fail(out);
}

int KtUSysFile::MakeValidFilenameW(const KtUWChar* name, KtUWideStringBuffer* out) {
    if (!name || !out) return Fail(out);
    static const KtUWChar kBad[] = u"\\/:*?\"<>|";
    U16 n(name);
    int replaced = 0;
    for (KtUWChar& c : n) {
        for (const KtUWChar* b = kBad; *b; ++b) {
            if (c == *b) {
                c = u'_';
                replaced = 1;
                break;
            }
        }
    }
    Put(out, n);
    return replaced;
}

// --- File system -----------------------------------------------------------

int KtUSysFile::CreateDirW(const KtUWChar* path) {
    std::string p;
    if (!FsPath(path, &p)) return 0;
    // Each prefix ending before a separator, then the whole path.
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        std::string prefix = p.substr(0, i);
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return 0;
    }
    return IsDir(p);
}

int KtUSysFile::CopyFileW(const KtUWChar* src, const KtUWChar* dst, int fail_if_exists) {
    std::string s, d;
    if (!FsPath(src, &s) || !FsPath(dst, &d)) return 0;
    return CopyRegularFile(s, d, fail_if_exists != 0);
}

int KtUSysFile::ExistsW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && Exists(p);
}

int KtUSysFile::DeleteW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && !IsDir(p) && ::unlink(p.c_str()) == 0;
}

int KtUSysFile::CanReadW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ::access(p.c_str(), R_OK) == 0;
}

int KtUSysFile::CanWriteW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ::access(p.c_str(), W_OK) == 0;
}

int KtUSysFile::IsNewerW(const KtUWChar* a, const KtUWChar* b) {
    std::string pa, pb;
    struct stat sa, sb;
    if (!FsPath(a, &pa) || ::stat(pa.c_str(), &sa) != 0) return 0;
    if (!FsPath(b, &pb) || ::stat(pb.c_str(), &sb) != 0) return 1;
    if (sa.st_mtim.tv_sec != sb.st_mtim.tv_sec) return sa.st_mtim.tv_sec > sb.st_mtim.tv_sec;
    return sa.st_mtim.tv_nsec > sb.st_mtim.tv_nsec;
}

int KtUSysFile::Stat(const KtUWChar* path, KtUInt64* time, KtUNat64* size) {
    std::string p;
    struct stat st;
    if (!FsPath(path, &p) || ::stat(p.c_str(), &st) != 0) return 0;
    if (time) *time = static_cast<KtUInt64>(st.st_mtim.tv_sec);
    if (size) *size = S_ISDIR(st.st_mode) ? 0 : static_cast<KtUNat64>(st.st_size);
    return 1;
}

int KtUSysFile::RenameW(const KtUWChar* from, const KtUWChar* to) {
    std::string f, t;
    if (!FsPath(from, &f) || !FsPath(to, &t)) return 0;
    if (::rename(f.c_str(), t.c_str()) == 0) return 1;
    if (errno != EXDEV) return 0;
    return CopyRegularFile(f, t, false) && ::unlink(f.c_str()) == 0;
}

int KtUSysFile::RemoveW(const KtUWChar* path, int recursive) {
    std::string p;
    struct stat st;
    if (!FsPath(path, &p) || ::lstat(p.c_str(), &st) != 0) return 0;
    if (recursive) return RemoveTree(p);
    return (S_ISDIR(st.st_mode) ? ::rmdir(p.c_str()) : ::unlink(p.c_str())) == 0;
}

int KtUSysFile::FlushFileBuffer(const KtUWChar* path) {
    std::string p;
    if (!FsPath(path, &p)) return 0;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    int ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

int KtUSysFile::GetChecksum(const KtUWChar* path, int* checksum) {
    std::string p;
    if (!checksum || !FsPath(path, &p)) return 0;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    // Adler-32, as the stream checksums; 5552 bytes is the longest run whose
    // sums cannot overflow 32 bits before the modulo.
    constexpr std::uint32_t kMod = 65521;
    std::uint32_t a = 1, b = 0;
    unsigned char buf[5552];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            a += buf[i];
            b += a;
        }
        a %= kMod;
        b %= kMod;
    }
    ::close(fd);
    if (ok) *checksum = static_cast<int>((b << 16) | a);
    return ok;
}

KtUSysFile::PEImageType KtUSysFile::GetPEImageType(const KtUWChar* path) {
    std::string p;
    if (!FsPath(path, &p) || !Exists(p)) {
        LogPE("", path ? p + " doesn't exist." : std::string("(null) doesn't exist."));
        return ePE_FAILURE;
    }
    FILE* file = ::fopen(p.c_str(), "rbe");
    if (!file) {
        LogPE("Can't open ", p);
        return ePE_FAILURE;
    }
    PEImageType type = ePE_FAILURE;
    unsigned char dos[64];
    unsigned char sig[4];
    // The COFF file header (20 bytes) and the 224-byte optional header are read
    // as one; its first two bytes past the file header are the magic.
    unsigned char nt[20 + 224];
    if (std::fread(dos, 1, sizeof dos, file) != sizeof dos) {
        LogPE("Can't read DOS header from ", p);
    } else if (Le16(dos) != 0x5A4D) { // "MZ"
        LogPE("Not a DOS file: ", p);
    } else if (::fseeko(file, static_cast<off_t>(Le32(dos + 0x3C)), SEEK_SET) != 0 ||
               std::fread(sig, 1, sizeof sig, file) != sizeof sig) {
        LogPE("Can't read PE signature from ", p);
    } else if (std::memcmp(sig, "PE\0\0", 4) != 0) {
        LogPE("Not a PE file: ", p);
    } else if (std::fread(nt, 1, sizeof nt, file) != sizeof nt) {
        LogPE("Can't read optional header from ", p);
    } else {
        switch (Le16(nt + 20)) {
        case 0x10B:
            type = ePE_32BIT;
            break;
        case 0x20B:
            type = ePE_64BIT;
            break;
        case 0x107:
            type = ePE_ROM;
            break;
        default:
            LogPE("Unknown PE image type found in ", p);
            type = ePE_UNKNOWN;
            break;
        }
    }
    std::fclose(file);
    return type;
}

// --- Directory listing -----------------------------------------------------

KtUSysDirHandle* KtUSysFile::OpenDirW(const KtUWChar* dir, const KtUWChar* pattern) {
    std::string d;
    if (!FsPath(dir, &d)) return nullptr;
    std::string pat = pattern ? Utf8(pattern) : std::string();
    auto* handle = new KtUSysDirHandle(d.c_str(), pat.c_str());
    if (handle && !handle->IsOpen()) {
        delete handle;
        return nullptr;
    }
    return handle;
}

void KtUSysFile::CloseDir(KtUSysDirHandle* dir) {
    delete dir;
}

KtUSysFileHandle* KtUSysFile::OpenFileW(const KtUWChar* path) {
    U16 d, n;
    U16 norm = Normalise(Str(path));
    if (norm.empty()) return nullptr;
    if (!SplitLast(norm, &d, &n)) n = norm; // the root names itself
    return ktu::sys::MakeFileHandle(Utf8(norm).c_str(), Utf8(n).c_str());
}

void KtUSysFile::CloseFile(KtUSysFileHandle* file) {
    if (file) file->Unref();
}

// --- Process ---------------------------------------------------------------

int KtUSysFile::SetCurrentDirectoryW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ::chdir(p.c_str()) == 0;
}

int KtUSysFile::GetCurrentDirectoryW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 cwd = CurrentDir();
    return cwd.empty() ? Fail(out) : Put(out, cwd);
}

int KtUSysFile::GetExecutablePathW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    std::vector<char> buf(PATH_MAX + 1);
    if (ktu::sys::ExecutablePath(buf.data(), buf.size()) == 0) return Fail(out);
    return Put(out, FromUtf8(buf.data()));
}

int KtUSysFile::GetExecutableDirW(KtUWideStringBuffer* out) {
    if (!GetExecutablePathW(out)) return 0;
    return PopPathW(out->GetString(), out, nullptr);
}

int KtUSysFile::GetModuleFileNameW(KtUModuleHandle module, KtUWideStringBuffer* out) {
    if (!out) return 0;
    if (!module) return GetExecutablePathW(out);
    link_map* map = nullptr;
    if (::dlinfo(reinterpret_cast<void*>(module), RTLD_DI_LINKMAP, &map) != 0 || !map)
        return Fail(out);
    // The executable's own entry has an empty name.
    if (!map->l_name || !*map->l_name) return GetExecutablePathW(out);
    return Put(out, Normalise(FromUtf8(map->l_name)));
}

int KtUSysFile::GetUserNameW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw, *found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return Put(out, FromUtf8(found->pw_name));
    const char* env = std::getenv("USER");
    return env && *env ? Put(out, FromUtf8(env)) : Fail(out);
}

int KtUSysFile::GetEnvironmentVariableW(const KtUWChar* name, KtUWideStringBuffer* out) {
    if (!name || !*name || !out) return Fail(out);
    const char* value = std::getenv(Utf8(name).c_str());
    return value ? Put(out, FromUtf8(value)) : Fail(out);
}

int KtUSysFile::SetEnvironmentVariableW(const KtUWChar* name, const KtUWChar* value) {
    if (!name || !*name) return 0;
    std::string n = Utf8(name);
    if (n.find('=') != std::string::npos) return 0;
    if (!value) return ::unsetenv(n.c_str()) == 0;
    return ::setenv(n.c_str(), Utf8(value).c_str(), 1) == 0;
}

int KtUSysFile::RunExecutable(const KtUWChar* path, const KtUWChar* args, int wait) {
    if (!path || !*path) return 0;
    std::string given = Utf8(path);
    std::string program = ResolveProgram(given);
    std::vector<std::string> words = SplitArguments(args ? Utf8(args) : std::string());
    std::vector<char*> argv;
    argv.push_back(given.data());
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // The child reports a failed exec through a close-on-exec pipe; a
    // successful exec closes it, so the parent reads end-of-file.
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return 0;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipefd[0]);
        if (!wait) {
            // Not waiting: exec from a grandchild, which init adopts and reaps.
            pid_t grandchild = ::fork();
            if (grandchild != 0) {
                if (grandchild < 0) {
                    int e = errno;
                    [[maybe_unused]] ssize_t n = ::write(pipefd[1], &e, sizeof e);
                }
                ::_exit(0);
            }
        }
        ::execv(program.c_str(), argv.data());
        int e = errno;
        [[maybe_unused]] ssize_t n = ::write(pipefd[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(pipefd[1]);
    if (pid < 0) {
        ::close(pipefd[0]);
        return 0;
    }
    int error = 0;
    ssize_t n;
    do
        n = ::read(pipefd[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    ::close(pipefd[0]);
    int status = 0;
    pid_t reaped = WaitFor(pid, &status);
    bool started = n == 0;
    if (!wait || !started) return started;
    // A host that ignores SIGCHLD gets no status: the program did run.
    if (reaped < 0) return errno == ECHILD;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int KtUSysFile::GetHostNameW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    char name[256];
    if (::gethostname(name, sizeof name) != 0) return Fail(out);
    name[sizeof name - 1] = '\0';
    return Put(out, FromUtf8(name));
}

int KtUSysFile::GetOSDescription(KtUWideStringBuffer* out) {
    if (!out) return 0;
    char text[512];
    if (ktu::sys::OSDescription(text, sizeof text) == 0) return Fail(out);
    return Put(out, FromUtf8(text));
}

bool KtUSysFile::IsWow64Process() {
    return false;
}

// --- Temporary files -------------------------------------------------------

int KtUSysFile::GetTempDir(KtUWideStringBuffer* out) {
    if (!out) return 0;
    U16 dir;
    return TempDir(&dir) ? Put(out, dir) : Fail(out);
}

int KtUSysFile::SetOverrideTempDir(const KtUWChar* path, int create) {
    U16 dir = Normalise(Str(path));
    {
        std::lock_guard<std::mutex> guard(s_lock);
        s_override_temp_dir = dir;
    }
    if (dir.empty()) return 1;
    if (create && !IsDir(Utf8(dir))) CreateDirW(dir.c_str());
    return IsDir(Utf8(dir));
}

const KtUWChar* KtUSysFile::GetOverrideTempDir() {
    std::lock_guard<std::mutex> guard(s_lock);
    return s_override_temp_dir.c_str();
}

const KtUWChar* KtUSysFile::GetAutoDeleteDirKey() {
    return kAutoDeleteKey;
}

int KtUSysFile::MakeTempFileNameW(const KtUWChar* dir, const KtUWChar* prefix, const KtUWChar* ext,
                                  KtUWideStringBuffer* out) {
    U16 d, path;
    if (!prefix || !out || !ResolveTempDir(dir, &d)) return Fail(out);
    return FreeTempName(d, prefix, ext, &path) ? Put(out, path) : Fail(out);
}

int KtUSysFile::MakeTempFileW(const KtUWChar* dir, const KtUWChar* prefix, const KtUWChar* ext,
                              KtUNat64 size, KtUWideStringBuffer* out) {
    U16 d, path;
    if (!prefix || !out || !ResolveTempDir(dir, &d)) return Fail(out);
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        if (!FreeTempName(d, prefix, ext, &path)) break;
        std::string p = Utf8(path);
        // Exclusive creation: a name another thread or process took since the
        // check fails here and is drawn again.
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        bool ok = size == 0 || ::ftruncate(fd, static_cast<off_t>(size)) == 0;
        if (::close(fd) != 0) ok = false;
        if (!ok) {
            ::unlink(p.c_str());
            break;
        }
        return Put(out, path);
    }
    return Fail(out);
}

int KtUSysFile::CleanAutoDeleteDir() {
    U16 dir;
    if (!TempDir(&dir)) return 0;
    return RemoveTree(Utf8(dir + u"/" + kAutoDeleteDirName));
}

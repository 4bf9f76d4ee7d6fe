//===- KtUSysFile.cpp - Opening files, the file system, the process -------===//
//
// The entry points that hand a request to the platform layer. The path
// arithmetic is in paths.cpp, the temporary directory and names in
// temp_names.cpp, the checksum in file_checksum.cpp and the executable-image
// probe in exe_image.cpp.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUSysFileHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/file.h"
#include "platform/process.h"
#include "system/file_handles.h"
#include "system/file_paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace ktu::system;

namespace {

KtUComponent s_component;

constexpr unsigned int kWritePiece = 4096;

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
        file = std::fopen(path, m.c_str());
        error = errno;
    }
    if (!file)
        KtUError::Log("KtUSysFile::%s failed to open file '%s' error #%d\n", who,
                      path ? path : "(null)", error);
    return file;
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

} // namespace

static bool TearDown() {
    ClearSearchPaths();
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
    unsigned int hints = (flags & eTEMP_SHORT_LIVED ? ktu::sys::kShortLived : 0u) |
                         (flags & eTEMP_SEQUENTIAL ? ktu::sys::kSequential : 0u) |
                         (flags & eTEMP_RANDOM_ACCESS ? ktu::sys::kRandomAccess : 0u);
    return ktu::sys::OpenScratchFile(p.c_str(), (flags & eTEMP_DELETE_ON_CLOSE) != 0, hints);
}

// --- File system -----------------------------------------------------------

int KtUSysFile::CreateDirW(const KtUWChar* path) {
    std::string p;
    if (!FsPath(path, &p)) return 0;
    // Each prefix ending before a separator, then the whole path.
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i < p.size() && p[i] != '/') continue;
        std::string prefix = p.substr(0, i);
        if (!ktu::sys::MakeDirectory(prefix.c_str(), false)) return 0;
    }
    return ktu::sys::IsDirectory(p.c_str());
}

int KtUSysFile::CopyFileW(const KtUWChar* src, const KtUWChar* dst, int fail_if_exists) {
    std::string s, d;
    if (!FsPath(src, &s) || !FsPath(dst, &d)) return 0;
    return ktu::sys::CopyFile(s.c_str(), d.c_str(), fail_if_exists != 0);
}

int KtUSysFile::ExistsW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ktu::sys::PathExists(p.c_str());
}

int KtUSysFile::DeleteW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && !ktu::sys::IsDirectory(p.c_str()) && ktu::sys::RemoveFile(p.c_str());
}

int KtUSysFile::CanReadW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ktu::sys::IsReadable(p.c_str());
}

int KtUSysFile::CanWriteW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ktu::sys::IsWritable(p.c_str());
}

int KtUSysFile::IsNewerW(const KtUWChar* a, const KtUWChar* b) {
    std::string pa, pb;
    ktu::sys::FileInfo sa, sb;
    if (!FsPath(a, &pa) || !ktu::sys::StatPath(pa.c_str(), &sa)) return 0;
    if (!FsPath(b, &pb) || !ktu::sys::StatPath(pb.c_str(), &sb)) return 1;
    if (sa.modified_sec != sb.modified_sec) return sa.modified_sec > sb.modified_sec;
    return sa.modified_ns > sb.modified_ns;
}

int KtUSysFile::Stat(const KtUWChar* path, KtUInt64* time, KtUNat64* size) {
    std::string p;
    ktu::sys::FileInfo st;
    if (!FsPath(path, &p) || !ktu::sys::StatPath(p.c_str(), &st)) return 0;
    if (time) *time = static_cast<KtUInt64>(st.modified_sec);
    if (size) *size = st.directory ? 0 : static_cast<KtUNat64>(st.size);
    return 1;
}

int KtUSysFile::RenameW(const KtUWChar* from, const KtUWChar* to) {
    std::string f, t;
    if (!FsPath(from, &f) || !FsPath(to, &t)) return 0;
    return ktu::sys::Rename(f.c_str(), t.c_str());
}

int KtUSysFile::RemoveW(const KtUWChar* path, int recursive) {
    std::string p;
    ktu::sys::FileInfo st;
    if (!FsPath(path, &p) || !ktu::sys::StatLink(p.c_str(), &st)) return 0;
    if (recursive) return ktu::sys::RemoveTree(p.c_str());
    return ktu::sys::RemoveEntry(p.c_str());
}

int KtUSysFile::FlushFileBuffer(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ktu::sys::FlushToDisk(p.c_str());
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
    return ktu::system::MakeFileHandle(Utf8(norm).c_str(), Utf8(n).c_str());
}

void KtUSysFile::CloseFile(KtUSysFileHandle* file) {
    if (file) file->Unref();
}

// --- Process ---------------------------------------------------------------

int KtUSysFile::SetCurrentDirectoryW(const KtUWChar* path) {
    std::string p;
    return FsPath(path, &p) && ktu::sys::SetCurrentDirectory(p.c_str());
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
    std::string path;
    if (!ktu::sys::ModulePath(reinterpret_cast<void*>(module), &path)) return Fail(out);
    // The executable's own entry has an empty name.
    if (path.empty()) return GetExecutablePathW(out);
    return Put(out, Normalise(FromUtf8(path.c_str())));
}

int KtUSysFile::GetUserNameW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    std::string name = ktu::sys::UserName();
    return name.empty() ? Fail(out) : Put(out, FromUtf8(name.c_str()));
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
    return ktu::sys::SetEnvironmentVariable(n.c_str(), value ? Utf8(value).c_str() : nullptr);
}

int KtUSysFile::RunExecutable(const KtUWChar* path, const KtUWChar* args, int wait) {
    if (!path || !*path) return 0;
    std::string given = Utf8(path);
    std::vector<std::string> argv = SplitArguments(args ? Utf8(args) : std::string());
    argv.insert(argv.begin(), given);
    return ktu::sys::RunProgram(given, argv, wait != 0);
}

int KtUSysFile::GetHostNameW(KtUWideStringBuffer* out) {
    if (!out) return 0;
    std::string name = ktu::sys::HostName();
    return name.empty() ? Fail(out) : Put(out, FromUtf8(name.c_str()));
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

//===- temp_names.cpp - The temporary directory and temporary-file names --===//
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/lock.h"
#include "platform/process.h"
#include "platform/random.h"
#include "system/file_paths.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

using namespace ktu::system;

namespace {

constexpr KtUWChar kAutoDeleteKey[] = u"*AUTODELETE*";
constexpr KtUWChar kAutoDeleteDirName[] = u"Veltracore_AutoDelete";
constexpr int kTempNameAttempts = 100;

// Guards the override temporary directory. Kept on the C heap so that it
// never shows up as a memory-manager allocation.
std::mutex s_lock;
U16 s_override_temp_dir;

bool IsDir(const U16& path) {
    return ktu::sys::IsDirectory(Utf8(path).c_str());
}

// The process-wide temporary directory: the override when it exists, else
// $TMPDIR, else /tmp. False when the chosen directory is missing.
bool TempDir(U16* out) {
    U16 over;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        over = s_override_temp_dir;
    }
    if (!over.empty() && IsDir(Normalise(over))) {
        *out = Normalise(over);
        return true;
    }
    const char* env = std::getenv("TMPDIR");
    *out = env && *env ? Normalise(FromUtf8(env)) : U16(u"/tmp");
    return IsDir(*out);
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
        ktu::sys::MakeDirectory(Utf8(*out).c_str(), true);
    }
    return IsDir(*out);
}

// Two 16-bit numbers for a temporary name. The system's random source keeps
// threads that ask at the same moment apart (one seed shared through
// srand/rand would not); when it fails, a per-thread rand_r state seeded from
// the clock and thread id.
void TwoRandomNumbers(unsigned int* a, unsigned int* b) {
    std::uint16_t v[2];
    if (!ktu::sys::SystemRandom(v, sizeof v)) {
        thread_local unsigned int state =
            ktu::sys::TickCountMs() ^ (ktu::sys::CurrentThreadId() * 2654435761u);
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
        if (!ktu::sys::PathExists(Utf8(*out).c_str())) return true;
    }
    return false;
}

} // namespace

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
    if (create && !IsDir(dir)) CreateDirW(dir.c_str());
    return IsDir(dir);
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
        // Exclusive creation: a name another thread or process took since the
        // check fails here and is drawn again.
        ktu::sys::CreateResult made = ktu::sys::CreateNewFile(Utf8(path).c_str(), size);
        if (made == ktu::sys::CreateResult::kExists) continue;
        if (made == ktu::sys::CreateResult::kFailed) break;
        return Put(out, path);
    }
    return Fail(out);
}

int KtUSysFile::CleanAutoDeleteDir() {
    U16 dir;
    if (!TempDir(&dir)) return 0;
    return ktu::sys::RemoveTree(Utf8(dir + u"/" + kAutoDeleteDirName).c_str());
}

//===- paths.cpp - Path arithmetic and the search paths of KtUSysFile -----===//
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "system/file_paths.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace ktu::system {

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

// A UTF-8 path for the kernel; false for null or empty input.
bool FsPath(const KtUWChar* path, std::string* out) {
    if (!path || !*path) return false;
    *out = Utf8(Normalise(path));
    return true;
}

U16 CurrentDir() {
    return FromUtf8(ktu::sys::CurrentDirectory().c_str());
}

} // namespace ktu::system

using namespace ktu::system;

namespace {

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

// The search paths, kept on the C heap so that they never show up as
// memory-manager allocations.
std::mutex s_lock;
std::vector<U16> s_search_paths;

} // namespace

void ktu::system::ClearSearchPaths() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_search_paths.clear();
}

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
    if (n[0] == u'/') return ktu::sys::PathExists(Utf8(n).c_str()) ? Put(out, n) : Fail(out);
    std::vector<U16> dirs;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        dirs = s_search_paths;
    }
    dirs.push_back(CurrentDir());
    for (const U16& dir : dirs) {
        if (dir.empty()) continue;
        U16 candidate = dir == u"/" ? dir + n : dir + u"/" + n;
        if (ktu::sys::PathExists(Utf8(candidate).c_str())) return Put(out, candidate);
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

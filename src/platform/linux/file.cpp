//===- file.cpp - The file system on Linux --------------------------------===//
#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ktu::sys {

static FileInfo Describe(const struct stat& st) {
    return FileInfo{S_ISDIR(st.st_mode), S_ISREG(st.st_mode), static_cast<uint64_t>(st.st_size),
                    static_cast<int64_t>(st.st_mtim.tv_sec),
                    static_cast<int32_t>(st.st_mtim.tv_nsec)};
}

bool StatPath(const char* path, FileInfo* out) {
    struct stat st;
    if (stat(path, &st) != 0) return false;
    *out = Describe(st);
    return true;
}

bool StatLink(const char* path, FileInfo* out) {
    struct stat st;
    if (lstat(path, &st) != 0) return false;
    *out = Describe(st);
    return true;
}

bool PathExists(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

bool PathMissing(const char* path) {
    struct stat st;
    return stat(path, &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool IsDirectory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsReadable(const char* path) {
    return access(path, R_OK) == 0;
}

bool IsWritable(const char* path) {
    return access(path, W_OK) == 0;
}

bool MakeDirectory(const char* path, bool owner_only) {
    return mkdir(path, owner_only ? 0700 : 0777) == 0 || errno == EEXIST;
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

bool RemoveEntry(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return false;
    return (S_ISDIR(st.st_mode) ? rmdir(path) : unlink(path)) == 0;
}

static bool RemoveTreeAt(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0 || errno == ENOENT;
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    }
    closedir(dir);
    bool ok = true;
    for (const std::string& name : names)
        ok = RemoveTreeAt(path + "/" + name) && ok;
    return ok && (rmdir(path.c_str()) == 0 || errno == ENOENT);
}

bool RemoveTree(const char* path) {
    return RemoveTreeAt(path);
}

static bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyFile(const char* src, const char* dst, bool fail_if_exists) {
    int in = open(src, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st, dst_st;
    bool ok = fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && stat(dst, &dst_st) == 0) {
        // Truncating the source through a second name would destroy it.
        ok = !fail_if_exists && !S_ISDIR(dst_st.st_mode) &&
             !(dst_st.st_dev == st.st_dev && dst_st.st_ino == st.st_ino);
    }
    int out = -1;
    if (ok) {
        int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (fail_if_exists ? O_EXCL : 0);
        out = open(dst, flags, st.st_mode & 07777);
        ok = out >= 0;
    }
    char buf[65536];
    while (ok) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, static_cast<size_t>(n));
    }
    if (ok) {
        fchmod(out, st.st_mode & 07777);
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
    }
    if (out >= 0 && close(out) != 0) ok = false;
    close(in);
    if (!ok && out >= 0) unlink(dst);
    return ok;
}

bool Rename(const char* from, const char* to) {
    if (rename(from, to) == 0) return true;
    if (errno != EXDEV) return false;
    return CopyFile(from, to, false) && unlink(from) == 0;
}

bool FlushToDisk(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

FileHandle OpenForReading(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kNoFile : fd;
}

FileHandle CreateForWriting(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? kNoFile : fd;
}

CreateResult CreateNewFile(const char* path, uint64_t size) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
    bool ok = size == 0 || ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) return CreateResult::kCreated;
    unlink(path);
    return CreateResult::kFailed;
}

long ReadFile(FileHandle file, void* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(file, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

long WriteFile(FileHandle file, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(file, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long>(done);
}

bool SyncFile(FileHandle file) {
    return fsync(file) == 0 || errno == EINVAL; // pipes and the like cannot be synced
}

void AdviseSequential(FileHandle file) {
    posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool CloseFile(FileHandle file) {
    return close(file) == 0;
}

std::FILE* OpenScratchFile(const char* path, bool delete_on_close, unsigned int hints) {
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    if (delete_on_close) unlink(path);
    // NOREUSE is the nearest hint to "short-lived"; the page cache keeps such
    // data in memory until write-back anyway.
    if (hints & kShortLived) posix_fadvise(fd, 0, 0, POSIX_FADV_NOREUSE);
    if (hints & kSequential) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (hints & kRandomAccess) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    std::FILE* file = fdopen(fd, "rb+");
    if (!file) close(fd);
    return file;
}

struct DirectoryListing {
    DIR* dir;
};

DirectoryListing* OpenDirectory(const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return nullptr;
    auto* listing = new (std::nothrow) DirectoryListing{dir};
    if (!listing) closedir(dir);
    return listing;
}

const char* NextEntry(DirectoryListing* listing) {
    while (dirent* entry = readdir(listing->dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") && std::strcmp(name, "..")) return name;
    }
    return nullptr;
}

void CloseDirectory(DirectoryListing* listing) {
    if (!listing) return;
    closedir(listing->dir);
    delete listing;
}

bool NameMatches(const char* pattern, const char* name) {
    return fnmatch(pattern, name, 0) == 0;
}

} // namespace ktu::sys

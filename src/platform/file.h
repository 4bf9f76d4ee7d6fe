//===- file.h - The file system -------------------------------------------===//
//
// Files and directories named by UTF-8 paths with "/" as separator: facts
// about an entry, creating, copying, renaming and removing, reading and
// writing through open-file handles, and listing a directory. Functions
// report failure as false / kNoFile / null and never throw; all are
// thread-safe (the file system itself is shared, so a result can be stale by
// the time the caller looks at it). Files opened here are never inherited by
// programs the process starts.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_FILE_H
#define KTUTIL_PLATFORM_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace ktu::sys {

// --- Entries ---------------------------------------------------------------

struct FileInfo {
    bool directory;
    bool regular;         ///< an ordinary file (not a directory, device, link...)
    uint64_t size;        ///< bytes
    int64_t modified_sec; ///< last modification, seconds since 1970-01-01 UTC
    int32_t modified_ns;  ///< and nanoseconds within that second
};

/// Facts about the entry path names, following symbolic links. False when it
/// does not exist or cannot be examined.
bool StatPath(const char* path, FileInfo* out);
/// The same about a symbolic link itself rather than its target (for other
/// entries the same as StatPath).
bool StatLink(const char* path, FileInfo* out);
/// An entry exists at path (a dangling symbolic link counts).
bool PathExists(const char* path);
/// The status of path cannot be read because nothing is there (no such
/// entry, or a component is not a directory). Other failures, such as a
/// folder that may not be searched, say nothing about absence: false.
bool PathMissing(const char* path);
/// path names a directory (after following symbolic links).
bool IsDirectory(const char* path);
/// The process may read / write the entry.
bool IsReadable(const char* path);
bool IsWritable(const char* path);

// --- Changing the file system ----------------------------------------------

/// Creates the directory path (not its parents): readable and writable by
/// everyone, or by the owner only. True when made or when an entry of that
/// name already exists.
bool MakeDirectory(const char* path, bool owner_only);
/// Removes a file or symbolic link (never a directory).
bool RemoveFile(const char* path);
/// Removes a file, a symbolic link or an empty directory.
bool RemoveEntry(const char* path);
/// Removes path and, when it is a directory, everything below it. Symbolic
/// links are removed, never followed. True also when path does not exist.
bool RemoveTree(const char* path);
/// Copies a regular file's bytes, permissions and modification time to dst.
/// Fails when src is not a regular file, when dst is a directory or the same
/// file under another name, or (fail_if_exists) when dst exists. A failed
/// copy removes what it wrote.
bool CopyFile(const char* src, const char* dst, bool fail_if_exists);
/// Renames from to to, replacing a file there. Across file systems, where a
/// rename is impossible, a regular file is copied and the original removed.
bool Rename(const char* from, const char* to);
/// Writes the file's modified data through to the storage device.
bool FlushToDisk(const char* path);

// --- Open files --------------------------------------------------------------

/// An open file: a small non-negative number. kNoFile stands for none.
using FileHandle = int;
constexpr FileHandle kNoFile = -1;

/// Opens an existing file for reading.
FileHandle OpenForReading(const char* path);
/// Creates path, or truncates it to nothing, and opens it for writing;
/// permissions rw-r--r--. Async-signal-safe.
FileHandle CreateForWriting(const char* path);
enum class CreateResult { kCreated, kExists, kFailed };
/// Creates a new file at path readable and writable by the owner only, size
/// bytes long (zero-filled), and closes it. kExists when something already
/// has that name: the check and the creation are one step, so of several
/// threads or processes creating the same name exactly one gets kCreated.
CreateResult CreateNewFile(const char* path, uint64_t size);
/// Reads up to size bytes; returns the count, 0 at the end of the file, -1 on
/// error. Interruptions by signals are retried.
long ReadFile(FileHandle file, void* buffer, size_t size);
/// Writes size bytes (retrying short writes and interruptions); returns the
/// count written, which is below size only on an error.
long WriteFile(FileHandle file, const void* data, size_t size);
/// Writes the file's modified data through to the storage device.
bool SyncFile(FileHandle file);
/// Hints that the file will be read or written front to back.
void AdviseSequential(FileHandle file);
/// Closes a handle; false when a write-back error surfaced. Async-signal-safe.
bool CloseFile(FileHandle file);

/// How a scratch file will be used; the system may tune its caching.
enum ScratchHint : unsigned int {
    kShortLived = 1,   ///< gone soon: better kept in memory than written out
    kSequential = 2,   ///< read front to back: read ahead generously
    kRandomAccess = 4, ///< read anywhere: do not read ahead (wins over kSequential)
};
/// Opens path for reading and writing as a binary stream, creating it
/// (rw for everyone, less the process's mask) when missing and keeping its
/// content otherwise. delete_on_close: the name is removed at once, so the
/// file disappears when the stream is closed or the process ends. Null on
/// failure.
std::FILE* OpenScratchFile(const char* path, bool delete_on_close, unsigned int hints);

// --- Directory listings ------------------------------------------------------

/// An open listing of one directory.
struct DirectoryListing;
/// Null when path is not a directory that can be read.
DirectoryListing* OpenDirectory(const char* path);
/// The next entry's name (never "." or ".."), in no particular order; null
/// after the last. Valid until the next call on the same listing. A listing
/// may be used by one thread at a time.
const char* NextEntry(DirectoryListing* listing);
void CloseDirectory(DirectoryListing* listing);
/// Whether name matches a shell wildcard pattern: "*" any run of characters,
/// "?" one character, "[...]" one of a set, "\" quotes the next character.
bool NameMatches(const char* pattern, const char* name);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_FILE_H

//===- KtUSysFile.h - Files, paths, temporary-file names, process facts ---===//
//
// KtUSysFile is the library's one door to the file system: every path is wide
// (UTF-16) text and is converted to UTF-8 for the kernel.
//
//   KtUSysFile::Initialise();
//   KtUWideStringBuffer path;
//   KtUSysFile::PushPathW(u"models", u"part.step", &path);     // "models/part.step"
//   FILE* f = KtUSysFile::fopenW(path.GetString(), u"rb");      // logs on failure
//
//   KtUWideStringBuffer tmp;
//   KtUSysFile::MakeTempFileW(KtUSysFile::GetAutoDeleteDirKey(), u"page", u"tmp",
//                             1 << 20, &tmp);                    // a new 1 MiB file
//   ...
//   KtUSysFile::CleanAutoDeleteDir();                            // gone, with the rest
//
// Paths. "/" and "\" are both separators on input; every path ktutil builds
// uses "/", runs of separators collapse into one and a trailing separator is
// dropped (the root "/" keeps its one). A path is absolute when it begins with
// a separator. "." and ".." are kept as written, except by MakeAbsoluteW and
// MakeRelativeW, which resolve them. The extension is the text after the last
// "." of the last component when at least one character other than "." comes
// before that dot (".profile" and ".." have none; "a.tar.gz" has "gz").
// docs/files.md lists every rule.
//
// Results are int (non-zero for success) unless stated; null or empty paths,
// null outputs and missing files give 0, never a crash. An output buffer may
// be the buffer whose text is passed as input.
//
// Thread safety: every function may be called from any thread. The override
// temporary directory and the search paths are guarded by one lock; the
// pointer GetOverrideTempDir returns stays valid until the next
// SetOverrideTempDir. SetCurrentDirectoryW and SetEnvironmentVariableW change
// process-wide state that other threads see at once, as the C library does.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSFILE_H
#define KTUTIL_KTUSYSFILE_H

#include <ktutil/KtUDefs.h>

#include <cstdio>

class KtUSysDirHandle;
class KtUSysFileHandle;
class KtUWideStringBuffer;

/// A loaded module: a handle from dlopen, or null for the executable itself.
typedef struct KtUModuleOpaque* KtUModuleHandle;

/// File-system operations, path arithmetic, temporary files and process
/// queries on UTF-16 paths (static only).
///
/// Thread safety: all functions may be called from any thread (see above).
class KTU_API KtUSysFile {
public:
    /// Result of GetPEImageType.
    enum PEImageType : int {
        ePE_FAILURE = 0,
        ePE_32BIT = 1,
        ePE_64BIT = 2,
        ePE_ROM = 3,
        ePE_UNKNOWN = 4,
    };
    /// Flags of fopenTempFileW.
    enum TempFileFlags : unsigned int {
        eTEMP_DELETE_ON_CLOSE = 1, ///< Unlinked right after creation.
        eTEMP_SHORT_LIVED = 2,     ///< posix_fadvise(POSIX_FADV_NOREUSE).
        eTEMP_SEQUENTIAL = 4,      ///< posix_fadvise(POSIX_FADV_SEQUENTIAL).
        eTEMP_RANDOM_ACCESS = 8,   ///< posix_fadvise(POSIX_FADV_RANDOM); wins over 4.
    };

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    // Opening and writing.
    /// fopen with close-on-exec; logs "KtUSysFile::fopenA failed to open file
    /// '<path>' error #<errno>" on failure and returns null.
    static FILE* fopenA(const char* path, const char* mode);
    /// As fopenA on a UTF-16 path and mode (the mode's text up to a "," is used).
    static FILE* fopenW(const KtUWChar* path, const KtUWChar* mode);
    /// Writes in pieces of at most 4096 bytes; returns the bytes written,
    /// logging the piece that came back short.
    static unsigned int fwrite(const unsigned char* data, unsigned int size, FILE* file);
    /// Opens (creating when missing) for binary reading and writing ("rb+");
    /// flags are TempFileFlags. Null on failure.
    static FILE* fopenTempFileW(const KtUWChar* path, unsigned int flags);

    // Paths (pure text; the file system is not consulted unless stated).
    /// dir + "/" + name, with one separator between them; an empty side gives the other.
    static int PushPathW(const KtUWChar* dir, const KtUWChar* name, KtUWideStringBuffer* out);
    /// Splits off the last component: "a/b" gives "a" and "b", "/a" gives "/"
    /// and "a", "a" gives "" and "a". 0 when there is no component ("", "/").
    /// Either output may be null.
    static int PopPathW(const KtUWChar* path, KtUWideStringBuffer* dir, KtUWideStringBuffer* name);
    /// path + "." + ext (leading dots of ext are dropped; an empty ext adds nothing).
    static int AddFileExtensionW(const KtUWChar* path, const KtUWChar* ext,
                                 KtUWideStringBuffer* out);
    /// The path without its extension and dot; 0 (path copied) when it has none.
    static int RemoveFileExtensionW(const KtUWChar* path, KtUWideStringBuffer* out);
    /// The extension without its dot; 0 (out emptied) when it is missing or empty.
    static int GetFileExtensionW(const KtUWChar* path, KtUWideStringBuffer* out);
    /// Whether the extension equals ext (ASCII case folded, ext with or without
    /// its dot; an empty ext asks for no extension).
    static int HasFileExtensionW(const KtUWChar* path, const KtUWChar* ext);
    /// The last component; 0 when there is none.
    static int RemovePathnameW(const KtUWChar* path, KtUWideStringBuffer* out);
    /// Directory part with its trailing "/" and the last component, so that
    /// dir + name is the path: "a/b" gives "a/" and "b". Either output may be null.
    static int SplitFilenameW(const KtUWChar* path, KtUWideStringBuffer* dir,
                              KtUWideStringBuffer* name);
    static int IsAbsoluteW(const KtUWChar* path);
    /// path resolved against base (base null or empty: the current directory;
    /// a relative base is first resolved against it), "." and ".." removed.
    static int MakeAbsoluteW(const KtUWChar* base, const KtUWChar* path, KtUWideStringBuffer* out);
    /// path relative to the directory base (both made absolute first): "." for
    /// base itself, "../x" style otherwise.
    static int MakeRelativeW(const KtUWChar* base, const KtUWChar* path, KtUWideStringBuffer* out);
    /// Adds a directory to the process-wide search list (once; in push order).
    static int PushSearchPathW(const KtUWChar* dir);
    /// Finds an existing file: an absolute name as it is, else in each pushed
    /// directory in order, then in the current directory.
    static int SearchPathW(const KtUWChar* name, KtUWideStringBuffer* out);
    /// Copies name with each of \ / : * ? " < > | replaced by "_"; non-zero when
    /// anything was replaced.
    static int MakeValidFilenameW(const KtUWChar* name, KtUWideStringBuffer* out);

    // File system.
    /// Creates the directory and any missing parents; non-zero when it exists.
    static int CreateDirW(const KtUWChar* path);
    /// Copies a regular file's bytes, permission bits and modification time.
    /// With fail_if_exists an existing dst fails; a dst that is src fails.
    static int CopyFileW(const KtUWChar* src, const KtUWChar* dst, int fail_if_exists);
    static int ExistsW(const KtUWChar* path);
    /// Deletes a file (not a directory).
    static int DeleteW(const KtUWChar* path);
    /// access(2) on an existing path; 0 for a missing one.
    static int CanReadW(const KtUWChar* path);
    static int CanWriteW(const KtUWChar* path);
    /// Non-zero when a exists and b is missing or modified earlier than a.
    static int IsNewerW(const KtUWChar* a, const KtUWChar* b);
    /// Modification time (seconds since 1970 UTC) and size; either pointer may be null.
    static int Stat(const KtUWChar* path, KtUInt64* time, KtUNat64* size);
    /// rename(2): an existing file at to is replaced; a file moved across
    /// file systems is copied and then deleted.
    static int RenameW(const KtUWChar* from, const KtUWChar* to);
    /// Removes a file or an empty directory; with recursive non-zero, a
    /// directory with everything in it (symbolic links are removed, not
    /// followed). 0 when the path is missing or something could not be removed.
    static int RemoveW(const KtUWChar* path, int recursive);
    /// fsync of the file's data and metadata.
    static int FlushFileBuffer(const KtUWChar* path);
    /// Adler-32 of the file's bytes (1 for an empty file) into *checksum.
    static int GetChecksum(const KtUWChar* path, int* checksum);
    /// Reads a Windows PE image's optional-header magic; see PEImageType.
    static PEImageType GetPEImageType(const KtUWChar* path);

    // Directory listing (see KtUSysDirHandle and KtUSysFileHandle).
    /// A listing of dir's entries whose names match pattern ("*" and "?"
    /// wildcards; null or empty matches all), "." and ".." skipped. Null when
    /// the directory cannot be opened. Release with CloseDir.
    static KtUSysDirHandle* OpenDirW(const KtUWChar* dir, const KtUWChar* pattern);
    static void CloseDir(KtUSysDirHandle* dir);
    /// The entry for an existing path, holding one reference (null when
    /// missing). Release with CloseFile.
    static KtUSysFileHandle* OpenFileW(const KtUWChar* path);
    /// Drops one reference.
    static void CloseFile(KtUSysFileHandle* file);

    // Process.
    static int SetCurrentDirectoryW(const KtUWChar* path);
    static int GetCurrentDirectoryW(KtUWideStringBuffer* out);
    /// The running executable (/proc/self/exe).
    static int GetExecutablePathW(KtUWideStringBuffer* out);
    /// Its directory, without a trailing separator.
    static int GetExecutableDirW(KtUWideStringBuffer* out);
    /// The file of a module loaded with dlopen; null gives the executable.
    static int GetModuleFileNameW(KtUModuleHandle module, KtUWideStringBuffer* out);
    /// The effective user's login name.
    static int GetUserNameW(KtUWideStringBuffer* out);
    /// 0 (out emptied) when the variable is not set.
    static int GetEnvironmentVariableW(const KtUWChar* name, KtUWideStringBuffer* out);
    /// A null value removes the variable.
    static int SetEnvironmentVariableW(const KtUWChar* name, const KtUWChar* value);
    /// Starts path with args (a command line: blanks separate arguments,
    /// double quotes group, \" is a quote). With wait non-zero, waits and
    /// succeeds only on exit status 0; otherwise succeeds once the program
    /// runs and leaves no zombie behind.
    static int RunExecutable(const KtUWChar* path, const KtUWChar* args, int wait);
    static int GetHostNameW(KtUWideStringBuffer* out);
    /// "<distribution>; <kernel name> <release> <architecture>".
    static int GetOSDescription(KtUWideStringBuffer* out);
    /// Always false: there is no 32-bit emulation layer to report.
    static bool IsWow64Process();

    // Temporary files.
    /// The override directory when it exists, else $TMPDIR, else /tmp, without
    /// a trailing separator; 0 (out emptied) when that directory is missing.
    static int GetTempDir(KtUWideStringBuffer* out);
    /// Sets the override temporary directory (null or empty clears it); with
    /// create non-zero a missing directory is created. Non-zero when the
    /// override is clear or names an existing directory.
    static int SetOverrideTempDir(const KtUWChar* path, int create);
    /// The override temporary directory; empty (never null) by default.
    static const KtUWChar* GetOverrideTempDir();
    /// "*AUTODELETE*": as a directory argument it means the auto-delete directory.
    static const KtUWChar* GetAutoDeleteDirKey();
    /// A path "<dir>/<prefix>_<pid>_<%4x><%4x>.<ext>" that does not exist yet
    /// (100 attempts). dir null or empty: the temporary directory.
    static int MakeTempFileNameW(const KtUWChar* dir, const KtUWChar* prefix, const KtUWChar* ext,
                                 KtUWideStringBuffer* out);
    /// As MakeTempFileNameW, then creates the file exclusively with the given size.
    static int MakeTempFileW(const KtUWChar* dir, const KtUWChar* prefix, const KtUWChar* ext,
                             KtUNat64 size, KtUWideStringBuffer* out);
    /// Removes the auto-delete directory and everything in it.
    static int CleanAutoDeleteDir();

private:
    KtUSysFile() = delete;
};

#endif // KTUTIL_KTUSYSFILE_H

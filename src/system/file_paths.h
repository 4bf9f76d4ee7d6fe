//===- file_paths.h - Path text shared by the KtUSysFile sources ----------===//
//
// KtUSysFile takes UTF-16 paths with "/" or "\" as separators and hands the
// file system UTF-8 with "/". These helpers hold the normal form (separators
// unified, runs collapsed, no trailing separator but the root's) and the
// conversions, for the sources that implement KtUSysFile by job.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_SYSTEM_FILE_PATHS_H
#define KTUTIL_SYSTEM_FILE_PATHS_H

#include <ktutil/KtUDefs.h>

#include <string>

class KtUWideStringBuffer;

namespace ktu::system {

using U16 = std::u16string;

inline bool IsSep(KtUWChar c) {
    return c == u'/' || c == u'\\';
}

/// s as a string; empty for null.
inline U16 Str(const KtUWChar* s) {
    return s ? U16(s) : U16();
}

std::string Utf8(const U16& s);
/// Empty for null.
U16 FromUtf8(const char* s);

/// Stores s in out and returns 1.
int Put(KtUWideStringBuffer* out, const U16& s);
/// Empties out (when there is one) and returns 0.
int Fail(KtUWideStringBuffer* out);

/// The normal form of path.
U16 Normalise(const U16& path);
/// Splits a normalised path at its last separator. False when there is no
/// last component ("" or "/").
bool SplitLast(const U16& norm, U16* dir, U16* name);
/// A UTF-8 path for the file system; false for null or empty input.
bool FsPath(const KtUWChar* path, std::string* out);
/// The current directory in normal form; empty when unknown.
U16 CurrentDir();

/// Empties the search-path list (KtUSysFile's last Terminate).
void ClearSearchPaths();

} // namespace ktu::system

#endif // KTUTIL_SYSTEM_FILE_PATHS_H

//===- lib_search.h - ktutil's own search for plug-ins and their needs ----===//
//
// The system loader reads LD_LIBRARY_PATH once at start-up and knows nothing
// of a plug-in's folder, so plug-in loading searches for itself: a
// library's own folder, then the library directory, then the entries of
// LD_LIBRARY_PATH as it is now. Libraries found there are loaded by full
// path; anything else is left to the system loader. docs/plugins.md.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PROCESS_LIB_SEARCH_H
#define KTUTIL_PROCESS_LIB_SEARCH_H

#include "platform/export.h"

#include <string>
#include <vector>

namespace ktu::process {

/// The search-path separator of LD_LIBRARY_PATH.
constexpr char kPathSeparator = ':';

/// The value of a search path with dir put in front of old (null or empty
/// when unset): dir, a ":" unless dir ends with one, and old. With no old
/// value, dir alone without a trailing ":" (an empty entry would mean the
/// current directory).
KTU_INTERNAL_API std::string PrependDirectory(const std::string& dir, const char* old);
/// The non-empty entries of a search path, in order.
KTU_INTERNAL_API std::vector<std::string> SplitSearchPath(const std::string& value);
/// The folder part of a path ("a/b/c.so" gives "a/b", "/c.so" gives "/"),
/// empty for a bare name. "\" counts as a separator too.
KTU_INTERNAL_API std::string DirectoryOf(const std::string& path);

/// The library directory set by KtUSysDllDirectoryModifier, in UTF-8.
std::string LibraryDirectory();
/// The search directories for the needs of a library in own_dir (may be
/// empty): own_dir, the library directory, LD_LIBRARY_PATH's entries; each
/// once.
KTU_INTERNAL_API std::vector<std::string> SearchDirectories(const std::string& own_dir);
/// The first dir/name that is a regular file, or empty.
KTU_INTERNAL_API std::string FindInDirectories(const std::string& name,
                                               const std::vector<std::string>& dirs);

/// Loads the library at path after the libraries it needs (and, in turn,
/// theirs) that are not loaded yet and are found by the search above from
/// the needing library's folder, each by its full path, deepest first. The
/// loader then finds them loaded by their names. Null on failure with the
/// loader's message in *error.
KTU_INTERNAL_API void* LoadWithDependencies(const std::string& path, std::string* error);

} // namespace ktu::process

#endif // KTUTIL_PROCESS_LIB_SEARCH_H

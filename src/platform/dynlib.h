//===- dynlib.h - Loading shared libraries and reading what they need -----===//
//
// The dynamic loader behind plug-in loading: open a library (its symbols kept
// to itself), find an exported symbol, close it, ask whether a library of a
// given name is loaded already, and read the names of the libraries a file
// needs (its DT_NEEDED entries) without loading it. Thread-safe as the
// loader is.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_DYNLIB_H
#define KTUTIL_PLATFORM_DYNLIB_H

#include "platform/export.h"

#include <string>
#include <vector>

namespace ktu::sys {

/// Loads the library at path (UTF-8; a name without "/" goes through the
/// loader's own search), resolving every symbol now. Null on failure, with
/// the loader's message in *error when error is not null.
KTU_INTERNAL_API void* OpenLibrary(const char* path, std::string* error);
/// The address of an exported symbol, or null.
KTU_INTERNAL_API void* FindLibrarySymbol(void* library, const char* name);
/// Drops one reference to a library from OpenLibrary; false on failure.
KTU_INTERNAL_API bool CloseLibrary(void* library);
/// True when a library that answers to name (its file name or soname) is
/// loaded in the process. Loads nothing.
KTU_INTERNAL_API bool IsLibraryLoaded(const char* name);
/// The DT_NEEDED names of the ELF shared object at path, in file order.
/// False when the file cannot be read or is not an ELF object of this
/// machine's word size.
KTU_INTERNAL_API bool ReadNeededLibraries(const char* path, std::vector<std::string>* names);
/// True when path names a regular file (or a link to one).
KTU_INTERNAL_API bool IsRegularFile(const char* path);

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_DYNLIB_H

//===- KtUSysDynamicLib.h - Plug-in libraries, loaded with their folder ---===//
//
// KtUSysDynamicLib loads plug-in libraries so that the libraries they need
// are found beside them, and so that a plug-in cannot silently replace the
// process's crash handling:
//
//   KtUSysDynamicLib::Initialise();
//   KtUSysDynamicLibHandle lib = KtUSysDynamicLib::OpenW(u"/opt/host/plugins/shapes.so");
//   if (lib) {
//       using Entry = int (*)();
//       auto entry = reinterpret_cast<Entry>(KtUSysDynamicLib::FindFunction(lib, "ShapesEntry"));
//       if (entry) entry();
//       KtUSysDynamicLib::Close(lib);
//   }
//
// OpenW logs "KtUSysDynamicLib, Loaded DLL from <path>" or "... Failed to
// load DLL from <path>". A library that needs another one sitting in its own
// folder loads without LD_LIBRARY_PATH or an RPATH: that one is loaded first,
// by its full path. When the library's initialisation changed the handling
// of a crash signal, the previous handling is put back and the attempt is
// logged. docs/plugins.md describes the search and the checks.
//
// Thread safety: may be called from any thread, but OpenW changes
// LD_LIBRARY_PATH for its duration (see KtUSysPathModifier).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSDYNAMICLIB_H
#define KTUTIL_KTUSYSDYNAMICLIB_H

#include <ktutil/KtUDefs.h>

class KtUWideStringBuffer;

/// A loaded library.
typedef struct KtUSysDynamicLibOpaque* KtUSysDynamicLibHandle;

/// Loading plug-in libraries (static only).
class KTU_API KtUSysDynamicLib {
public:
    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    /// The file extension of a library: ".so".
    static void GetDynamicLibExtensionW(KtUWideStringBuffer* out);
    /// Loads the library at path (a bare file name is searched for), with
    /// the libraries it needs from its own folder. Null on failure.
    static KtUSysDynamicLibHandle OpenW(const KtUWChar* path);
    /// The address of the library's exported function name, or null.
    static void* FindFunction(KtUSysDynamicLibHandle lib, const char* name);
    /// Drops the library; non-zero on success.
    static int Close(KtUSysDynamicLibHandle lib);
};

#endif // KTUTIL_KTUSYSDYNAMICLIB_H

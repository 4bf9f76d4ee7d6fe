//===- KtUSysDllDirectoryModifier.h - The library directory for a scope ---===//
//
// KtUSysDllDirectoryModifier sets the library directory, the one directory
// that ktutil's own library search looks in right after a plug-in's own
// folder, for the life of the object, and puts the previous one back:
//
//   {
//       KtUSysDllDirectoryModifier dir(u"/opt/host/lib");
//       KtUSysDynamicLibHandle lib = KtUSysDynamicLib::OpenW(u"/opt/host/plugins/shapes.so");
//   }                                      // the previous library directory
//
// The directory is ktutil's own setting (the system loader has none like
// it); there is none at first. A null or empty directory means none.
// docs/plugins.md has the whole search.
//
// Thread safety: the directory belongs to the process and is read and
// written under a lock; use the modifiers in properly nested scopes.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSDLLDIRECTORYMODIFIER_H
#define KTUTIL_KTUSYSDLLDIRECTORYMODIFIER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>

class KtUWideStringBuffer;

/// Sets the library directory of ktutil's library search for a scope.
class KTU_API KtUSysDllDirectoryModifier {
public:
    /// The longest directory kept, in UTF-16 units; longer ones are cut.
    static constexpr int kMaxDirectory = 260;

    /// Saves the current library directory and sets dir.
    explicit KtUSysDllDirectoryModifier(const KtUWChar* dir);
    KtUSysDllDirectoryModifier(const KtUSysDllDirectoryModifier&) = delete;
    KtUSysDllDirectoryModifier& operator=(const KtUSysDllDirectoryModifier&) = delete;
    /// Puts the saved directory back.
    ~KtUSysDllDirectoryModifier();

    /// The current library directory (empty when there is none).
    static void GetDirectoryW(KtUWideStringBuffer* out);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUWChar m_saved[kMaxDirectory + 1];
};

#endif // KTUTIL_KTUSYSDLLDIRECTORYMODIFIER_H

//===- KtUSysPathModifier.h - The library search path changed for a scope -===//
//
// KtUSysPathModifier changes the library search path, the environment
// variable LD_LIBRARY_PATH, for the life of the object and puts the previous
// value back when it ends:
//
//   {
//       KtUSysPathModifier path(u"/opt/host/plugins", KtUSysPathModifier::ePREPEND);
//       KtUSysDynamicLibHandle lib = KtUSysDynamicLib::OpenW(u"libshapes.so");
//   }                                      // LD_LIBRARY_PATH as it was
//
// The system loader reads LD_LIBRARY_PATH once, when the process starts;
// the variable as it is at the time of a call is honoured by ktutil's own
// library search (KtUSysDynamicLib), and by programs the process starts.
// Directories are separated by ":". docs/plugins.md has the whole search.
//
// Thread safety: the environment belongs to the whole process. Change it
// while no other thread reads it (getenv and everything that calls it).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSPATHMODIFIER_H
#define KTUTIL_KTUSYSPATHMODIFIER_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUWideStringBuffer.h>

/// Changes LD_LIBRARY_PATH for a scope and restores it afterwards.
class KTU_API KtUSysPathModifier {
public:
    /// How the given text changes the variable.
    enum ModifyMode : int {
        ePREPEND = 0, ///< the directory, ":" and the old value; an empty directory changes nothing
        eREPLACE = 1  ///< the given text replaces the value (any mode but 0 does this)
    };

    /// Saves LD_LIBRARY_PATH and changes it as mode says. A null text is
    /// taken as empty.
    KtUSysPathModifier(const KtUWChar* text, ModifyMode mode);
    /// Copies the saved value: both objects put it back when they end.
    KtUSysPathModifier(const KtUSysPathModifier& other);
    KtUSysPathModifier& operator=(const KtUSysPathModifier& other);
    /// Puts the saved value back (removes the variable when it was not set).
    ~KtUSysPathModifier();

    /// The name of the variable: "LD_LIBRARY_PATH".
    static const KtUWChar* GetVariableName();
    /// The directory separator in its value: ':'.
    static KtUWChar GetSeparator();

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUWideStringBuffer m_saved;
    int m_was_set = 0;
};

#endif // KTUTIL_KTUSYSPATHMODIFIER_H

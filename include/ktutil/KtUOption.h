//===- KtUOption.h - The process-wide option trees ------------------------===//
//
// Components define their options while they initialise and undefine them
// while they terminate; everybody reads and changes them by dotted path:
//
//   KtUOption::Initialise();
//   int validate = KtUOption::DefineGetBoolean("general.xml.validate", 1,
//                                              KtUOptionSet::ePROFILE_STANDARD, 0,
//                                              nullptr, nullptr);
//   KtUOption::SetBoolean("general.xml.validate", 0);
//   if (KtUOption::GetBoolean("general.xml.validate")) { /* ... */ }
//   KtUOption::Undefine("general.xml.validate");
//   KtUOption::Terminate();
//
// There are three trees: the current values, the defaults (every defined
// option with its default value and the default flag) and, once the host
// calls SetSavedValues, the saved values that new definitions adopt when
// they are of the same kind. Reading and writing follow KtUOptionSet's
// rules and messages on the current tree.
//
// Thread safety: every member takes the re-entrant option lock for its
// whole run, except the Get*Root/Set/Option accessors (the caller holds a
// KtUOptionLock) and HasDefaults. The computed-options switch is a plain
// flag.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTION_H
#define KTUTIL_KTUOPTION_H

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUDefs.h>
#include <ktutil/KtUOptionSet.h>

class KtUComponent;
class KtUExOptionSet;
class KtUName;
class KtUOptionLock;
class KtUOptionValidator;
class KtUStringBuffer;
class KtUWideStringBuffer;

/// The process-wide options; also the component "KtUOption".
class KTU_API KtUOption {
public:
    using Profile = KtUOptionSet::Profile;

    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    // Definitions (see KtUExOptionSet); a saved value of the same kind is
    // adopted. Failures post "Option malformed or already defined: <path>".
    static void DefineData(const char* path, const KtUData& value, Profile profile, unsigned flags,
                           const char* className, KtUOptionValidator* validator);
    static void DefineInt32(const char* path, int value, Profile profile, unsigned flags,
                            const char* className, KtUOptionValidator* validator);
    static void DefineFloat(const char* path, double value, Profile profile, unsigned flags,
                            const char* className, KtUOptionValidator* validator);
    static void DefineLinearFloat(const char* path, double value, Profile profile, unsigned flags,
                                  const char* className, KtUOptionValidator* validator);
    static void DefineAngularFloat(const char* path, double value, Profile profile, unsigned flags,
                                   const char* className, KtUOptionValidator* validator);
    static void DefineBoolean(const char* path, int value, Profile profile, unsigned flags,
                              const char* className, KtUOptionValidator* validator);
    static void DefineWideString(const char* path, const KtUWChar* value, Profile profile,
                                 unsigned flags, const char* className,
                                 KtUOptionValidator* validator);
    static void DefineTime(const char* path, KtUInt64 value, Profile profile, unsigned flags,
                           const char* className, KtUOptionValidator* validator);
    static void DefineName(const char* path, KtUName* value, Profile profile, unsigned flags,
                           const char* className, KtUOptionValidator* validator);
    /// Define, then return the current value (which may be a saved one).
    static int DefineGetInt32(const char* path, int value, Profile profile, unsigned flags,
                              const char* className, KtUOptionValidator* validator);
    static double DefineGetFloat(const char* path, double value, Profile profile, unsigned flags,
                                 const char* className, KtUOptionValidator* validator);
    static int DefineGetBoolean(const char* path, int value, Profile profile, unsigned flags,
                                const char* className, KtUOptionValidator* validator);
    /// Hangs set (one reference) at path; the defaults tree gets a copy.
    static void DefineSet(const char* path, KtUOptionSet* set, Profile profile, unsigned flags,
                          const char* className);
    /// Creates the sets of path in both trees and ORs flags into the
    /// current one's own flags.
    static void DefineSetFlags(const char* path, unsigned flags);
    static void Undefine(const char* path);
    /// Replaces the set at path in both trees, keeping the entry's flags.
    static void RedefineSet(const char* path, KtUOptionSet* set);

    // The current tree by path, as the KtUOptionSet members of the same names.
    static int GetData(const char* path, KtUData* out);
    static int GetInt32(const char* path);
    static double GetFloat(const char* path);
    static double GetLinearFloat(const char* path);
    static double GetAngularFloat(const char* path);
    static int GetBoolean(const char* path);
    static int GetWideString(const char* path, KtUWideStringBuffer* out);
    static KtUInt64 GetTime(const char* path);
    static KtUAutoRefPtr<KtUName> GetName(const char* path);
    static int TryGetData(const char* path, KtUData* out);
    static int TryGetInt32(const char* path, int* out);
    static int TryGetFloat(const char* path, double* out);
    static int TryGetLinearFloat(const char* path, double* out);
    static int TryGetAngularFloat(const char* path, double* out);
    static int TryGetBoolean(const char* path, int* out);
    static int TryGetWideString(const char* path, KtUWideStringBuffer* out);
    static int TryGetTime(const char* path, KtUInt64* out);
    static int TryGetName(const char* path, KtUAutoRefPtr<KtUName>* out);
    static int SetData(const char* path, const KtUData& value);
    static int SetInt32(const char* path, int value);
    static int SetFloat(const char* path, double value);
    static int SetLinearFloat(const char* path, double value);
    static int SetAngularFloat(const char* path, double value);
    static int SetBoolean(const char* path, int value);
    static int SetWideString(const char* path, const KtUWChar* value);
    static int SetTime(const char* path, KtUInt64 value);
    static int SetName(const char* path, KtUName* value);

    /// Sets the help id of the record-kept set at path; 0 when there is none.
    static int SetHelpIdForSet(const char* path, const char* helpId);

    // Direct access for holders of a KtUOptionLock (these take no lock).
    static KtUOptionSet* GetRoot(const KtUOptionLock& lock);
    static KtUOptionSet* GetSet(const char* path, const KtUOptionLock& lock);
    static KtUOptionSet* GetOption(const char* path, const KtUOptionLock& lock, int* index);
    static KtUOptionSet* GetDefaultsRoot(const KtUOptionLock& lock);
    static KtUOptionSet* GetDefaultsSet(const char* path, const KtUOptionLock& lock);
    static KtUOptionSet* GetDefaultsOption(const char* path, const KtUOptionLock& lock, int* index);

    /// Brings back the default value, default flag and mark of the entry.
    static void ResetToDefaults(const char* path);
    /// Non-zero when the defaults tree has an entry at path (no lock taken).
    static int HasDefaults(const char* path);
    /// Keeps saved (one reference) and merges it into both trees.
    static void SetSavedValues(KtUOptionSet* saved);
    static void ReapplyNameOverrides();

    /// Splits path at its last ".": the text after it into last, before it
    /// into head. Either buffer may be null.
    static void RemovePathHead(const char* path, KtUStringBuffer* last, KtUStringBuffer* head);

    static void DisableComputedOptions(bool disable);
    static bool AreComputedOptionsDisabled();

private:
    friend class KtUOptionLock;
    static void Lock();
    static void Unlock();
};

#endif // KTUTIL_KTUOPTION_H

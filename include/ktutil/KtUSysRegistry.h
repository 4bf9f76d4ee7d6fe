//===- KtUSysRegistry.h - Typed settings below the product's roots --------===//
//
// KtUSysRegistry reads and writes the product's settings in the registry: a
// per-user root in the current-user hive and an install root in the
// local-machine hive, both "Software\<company>\<product>\<version>". A
// section is a key path below the roots ("Views\Recent"); values are typed.
//
//   KtUSysRegistry::Initialise();
//   int size = KtUSysRegistry::GetInt32(u"View", u"Size", 10, KtUSysRegistry::eREAD_WRITE);
//   KtUSysRegistry::SetInt32(u"View", u"Size", size + 1, KtUSysRegistry::eREAD_WRITE);
//   KtUWideStringBuffer title;
//   KtUSysRegistry::GetWideString(u"View", u"Title", u"Untitled", &title, KtUSysRegistry::eUSER);
//   KtUSysRegistry::Terminate();
//
// Reads look in the user root (mode eUSER), then in the install root, then
// (eINHERIT) in the roots of earlier installations, copying a value found
// there forward into the user root. A type mismatch counts as missing.
// Writes happen only when the stored value differs. Every getter logs one
// line ("RegGetI32 \"View\" \"Size\" -> 11"). Narrow overloads take UTF-8.
//
// The open-key operations (OpenKey, QueryValue, EnumKey...) work on any key
// of a hive through KtURegKey handles; KtURegistry has more of them.
//
// On Linux the hives are SQLite files ($KTU_USER_HIVE, $KTU_MACHINE_HIVE;
// docs/registry.md). Host-supplied configuration (company, product and
// version keys, inherited roots) comes through SetConfigLookup before the
// first Initialise.
//
// Thread safety: the registry calls may run on any thread; SetRoot and
// AddInheritRoot are meant for start-up and are not synchronised.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSYSREGISTRY_H
#define KTUTIL_KTUSYSREGISTRY_H

#include <ktutil/KtUDefs.h>

#include <cstdint>

class KtUStringBuffer;
class KtUWideStringBuffer;
class KtUSysRegistrySectionHandle;

/// An open registry key: a hive's top or a key opened below it.
struct KtURegKeyData;
using KtURegKey = KtURegKeyData*;
/// The tops of the two hives; always open, CloseKey ignores them.
inline KtURegKey const KTU_HKEY_CURRENT_USER = reinterpret_cast<KtURegKey>(std::uintptr_t{1});
inline KtURegKey const KTU_HKEY_LOCAL_MACHINE = reinterpret_cast<KtURegKey>(std::uintptr_t{2});

/// A key's last change: 100-nanosecond intervals since 1601-01-01 UTC, in two halves.
struct KtURegFileTime {
    unsigned int low;
    unsigned int high;
};

/// The settings service over the user, install and inherited roots.
class KTU_API KtUSysRegistry {
public:
    /// Mode bits: which roots a call uses.
    using Mode = unsigned int;
    /// Read the user root first; write there.
    static constexpr Mode eUSER = 0x1;
    /// Consult the inherited roots when a value is in neither root.
    static constexpr Mode eINHERIT = 0x2;
    /// Write to the install root too, when the process has install rights.
    static constexpr Mode eINSTALL = 0x4;
    /// Getters write the default back when missing; OpenSection creates keys.
    static constexpr Mode eCREATE = 0x8;
    static constexpr Mode eREAD_WRITE = eUSER | eINHERIT | eCREATE;
    /// The two modes that name a hive in CreateSection, ZapKey and CopyKey.
    static constexpr Mode eUSER_HIVE = eUSER | eCREATE;
    static constexpr Mode eMACHINE_HIVE = eINSTALL;

    /// Value types, with the registry's numbers.
    enum ValueType : unsigned int {
        eREG_NONE = 0,
        eREG_SZ = 1,
        eREG_BINARY = 3,
        eREG_DWORD = 4,
        eREG_QWORD = 11,
    };
    /// Access bits of OpenKey.
    enum Access : unsigned int {
        eKEY_QUERY_VALUE = 0x1,
        eKEY_SET_VALUE = 0x2,
        eKEY_CREATE_SUB_KEY = 0x4,
        eKEY_ENUMERATE_SUB_KEYS = 0x8,
        eKEY_READ = 0x20019,
        eKEY_WRITE = 0x20006,
        eKEY_ALL_ACCESS = 0xF003F,
    };
    /// OpenSection: what to list.
    enum What : unsigned int {
        eSUBKEYS = 0x1,
        eVALUES = 0x2,
        eFIRST_PLACE_ONLY = 0x4,
    };

    /// Looks up a configuration value by name for Initialise; 1 when found.
    using ConfigLookup = int (*)(const char* name, KtUWideStringBuffer* value);
    /// Installs the host's configuration (null for none). Initialise asks it
    /// for "session.registry.company_key", "session.registry.product_key",
    /// "session.registry.version_key" and "session.registry.inherit_root_%d"
    /// (50 down to 0).
    static void SetConfigLookup(ConfigLookup lookup);

    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    /// The process may write the local-machine hive (decided once).
    static bool HasInstallRights();

    // Roots.
    static void SetRoot(const KtUWChar* user, const KtUWChar* install);
    static const char* GetUserRoot();
    static const char* GetInstallRoot();
    static const KtUWChar* GetUserRootWide();
    static const KtUWChar* GetInstallRootWide();
    static void AddInheritRoot(const KtUWChar* root);
    static void AddInheritRoot(const KtUWChar* user_root, const KtUWChar* install_root);
    static void GetBaseKey(KtUWideStringBuffer* out);
    static void GetCompanyKey(KtUWideStringBuffer* out);
    static void GetProductKey(KtUWideStringBuffer* out);
    static void GetVersionKey(KtUWideStringBuffer* out);

    // Typed reads: the stored value, else def.
    static KtUInt64 GetTime(const KtUWChar* section, const KtUWChar* name, KtUInt64 def, Mode mode);
    static int GetInt32(const KtUWChar* section, const KtUWChar* name, int def, Mode mode);
    static KtUInt64 GetInt64(const KtUWChar* section, const KtUWChar* name, KtUInt64 def,
                             Mode mode);
    static bool GetBoolean(const KtUWChar* section, const KtUWChar* name, bool def, Mode mode);
    static double GetFloat(const KtUWChar* section, const KtUWChar* name, double def, Mode mode);
    static void GetString(const KtUWChar* section, const KtUWChar* name, const char* def,
                          KtUStringBuffer* out, Mode mode);
    static void GetWideString(const KtUWChar* section, const KtUWChar* name, const KtUWChar* def,
                              KtUWideStringBuffer* out, Mode mode);
    static KtUInt64 GetTime(const char* section, const char* name, KtUInt64 def, Mode mode);
    static int GetInt32(const char* section, const char* name, int def, Mode mode);
    static KtUInt64 GetInt64(const char* section, const char* name, KtUInt64 def, Mode mode);
    static bool GetBoolean(const char* section, const char* name, bool def, Mode mode);
    static double GetFloat(const char* section, const char* name, double def, Mode mode);
    static void GetString(const char* section, const char* name, const char* def,
                          KtUStringBuffer* out, Mode mode);
    static void GetWideString(const char* section, const char* name, const KtUWChar* def,
                              KtUWideStringBuffer* out, Mode mode);

    // Typed writes: 1 when the stored value is now the given one.
    static int SetTime(const KtUWChar* section, const KtUWChar* name, KtUInt64 value, Mode mode);
    static int SetInt32(const KtUWChar* section, const KtUWChar* name, int value, Mode mode);
    static int SetInt64(const KtUWChar* section, const KtUWChar* name, KtUInt64 value, Mode mode);
    static int SetBoolean(const KtUWChar* section, const KtUWChar* name, bool value, Mode mode);
    static int SetFloat(const KtUWChar* section, const KtUWChar* name, double value, Mode mode);
    static int SetString(const KtUWChar* section, const KtUWChar* name, const char* value,
                         Mode mode);
    static int SetWideString(const KtUWChar* section, const KtUWChar* name, const KtUWChar* value,
                             Mode mode);
    static int SetTime(const char* section, const char* name, KtUInt64 value, Mode mode);
    static int SetInt32(const char* section, const char* name, int value, Mode mode);
    static int SetInt64(const char* section, const char* name, KtUInt64 value, Mode mode);
    static int SetBoolean(const char* section, const char* name, bool value, Mode mode);
    static int SetFloat(const char* section, const char* name, double value, Mode mode);
    static int SetString(const char* section, const char* name, const char* value, Mode mode);
    static int SetWideString(const char* section, const char* name, const KtUWChar* value,
                             Mode mode);

    // Sections.
    /// The names below section across the roots (what: eSUBKEYS, eVALUES,
    /// eFIRST_PLACE_ONLY); release with CloseSection.
    static KtUSysRegistrySectionHandle* OpenSection(const KtUWChar* section, Mode mode,
                                                    unsigned int what);
    static KtUSysRegistrySectionHandle* OpenSection(const char* section, Mode mode,
                                                    unsigned int what);
    static void CloseSection(KtUSysRegistrySectionHandle* handle);
    /// Creates section below the user root (mode eUSER_HIVE) or the install
    /// root (eMACHINE_HIVE); other modes fail.
    static int CreateSection(const KtUWChar* section, Mode mode);
    static int CreateSection(const char* section, Mode mode);
    static void MakeSubSection(KtUWideStringBuffer* out, const KtUWChar* section,
                               const KtUWChar* sub);
    static void MakeSubSection(KtUStringBuffer* out, const char* section, const char* sub);

    // Whole keys, by paths from the hive's top (mode eUSER_HIVE or eMACHINE_HIVE).
    static int ZapKey(Mode mode, const KtUWChar* key);
    static int ZapKey(Mode mode, const char* key);
    static int CopyKey(Mode from, const KtUWChar* from_key, Mode to, const KtUWChar* to_key,
                       int recursive);
    static int CopyKey(Mode from, const char* from_key, Mode to, const char* to_key, int recursive);

    // Open keys; each returns nonzero on success.
    static int OpenKey(KtURegKey key, const KtUWChar* subkey, unsigned int options,
                       unsigned int access, KtURegKey* out);
    /// Opens subkey for writing, creating it (and the keys above) as needed.
    static int CreateKey(KtURegKey key, const KtUWChar* subkey, KtURegKey* out);
    static int CloseKey(KtURegKey key);
    /// Type and bytes of a value; data null asks only for the size. Fails
    /// when *size is too small (and stores the size needed).
    static int QueryValue(KtURegKey key, const KtUWChar* name, unsigned int* type, void* data,
                          unsigned int* size);
    /// A REG_DWORD, sign-extended.
    static int QueryValueTime(KtURegKey key, const KtUWChar* name, KtUInt64* value);
    static int QueryValueInt32(KtURegKey key, const KtUWChar* name, int* value);
    /// A REG_DWORD; 1 for any nonzero value.
    static int QueryValueBoolean(KtURegKey key, const KtUWChar* name, int* value);
    /// A REG_SZ of at most 64 characters holding exactly one number.
    static int QueryValueFloat(KtURegKey key, const KtUWChar* name, double* value);
    static int QueryValueString(KtURegKey key, const KtUWChar* name, KtUStringBuffer* value);
    static int QueryValueWideString(KtURegKey key, const KtUWChar* name,
                                    KtUWideStringBuffer* value);
    static int EnumKey(KtURegKey key, unsigned int index, KtUWideStringBuffer* name,
                       KtURegFileTime* written);
    static int EnumValue(KtURegKey key, unsigned int index, KtUWideStringBuffer* name);
    static int SetValueString(KtURegKey key, const KtUWChar* name, const char* value);
    static int SetValueWideString(KtURegKey key, const KtUWChar* name, const KtUWChar* value);

private:
    KtUSysRegistry() = delete;
};

#endif // KTUTIL_KTUSYSREGISTRY_H

//===- KtURegistry.h - Operations on any key and subkey path --------------===//
//
// KtURegistry works on a subkey path below any open key, opening it for the
// call and closing it again:
//
//   KtURegistry::WriteLtInt32(KTU_HKEY_CURRENT_USER, u"Software\\Acme", u"Runs", 3);
//   int runs = 0;
//   if (KtURegistry::ReadLtInt32(KTU_HKEY_CURRENT_USER, u"Software\\Acme", u"Runs", &runs)) ...
//   KtUWideStringBuffer name;
//   for (int i = 0; KtURegistry::EnumKey(KTU_HKEY_CURRENT_USER, u"Software", i, &name,
//                                        nullptr, nullptr) == KtURegistry::eSUCCESS; ++i)
//       Use(name.GetString());
//
// Reads succeed only when the stored type is the expected one. The
// enumerations return the registry's result codes (eSUCCESS, eNO_MORE_ITEMS,
// -1 when the subkey cannot be opened); the rest return bool.
//
// Thread safety: any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUREGISTRY_H
#define KTUTIL_KTUREGISTRY_H

#include <ktutil/KtUSysRegistry.h>

/// Static registry operations on a subkey path below an open key.
class KTU_API KtURegistry {
public:
    /// Result codes of the enumerations, with the registry's numbers.
    enum Result : int {
        eSUCCESS = 0,
        eFILE_NOT_FOUND = 2,
        eACCESS_DENIED = 5,
        eMORE_DATA = 234,
        eNO_MORE_ITEMS = 259,
        eNO_KEY = -1,
    };

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

    static bool DeleteValue(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name);
    /// Deletes subkey; without recursive only when it has no subkeys.
    static bool DeleteKey(KtURegKey key, const KtUWChar* subkey, bool recursive);
    /// The index-th value name and its type.
    static int EnumValue(KtURegKey key, const KtUWChar* subkey, int index,
                         KtUWideStringBuffer* name, unsigned long* type);
    /// The index-th subkey name; class_name (optional) is always empty here.
    static int EnumKey(KtURegKey key, const KtUWChar* subkey, int index, KtUWideStringBuffer* name,
                       KtUWideStringBuffer* class_name, KtURegFileTime* written);
    /// Values / subkeys directly below subkey, by enumerating them (0 when it cannot be opened).
    static int CountValues(KtURegKey key, const KtUWChar* subkey);
    static int CountKeys(KtURegKey key, const KtUWChar* subkey);
    static bool QueryValueType(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                               unsigned long* type);
    /// Numbers of subkeys and values, longest subkey name, value name (units)
    /// and value (bytes), and the last change; any out pointer may be null.
    static bool QueryKey(KtURegKey key, const KtUWChar* subkey, int* subkeys, int* longest_subkey,
                         int* values, int* longest_value_name, int* longest_value,
                         KtURegFileTime* written);
    static bool ReadLtInt32(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                            int* value);
    static bool WriteLtInt32(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                             int value);
    static bool ReadLtInt64(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                            KtUInt64* value);
    static bool WriteLtInt64(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                             KtUInt64 value);
    /// A REG_SZ; extra_access is added to the access the subkey is opened with.
    static bool ReadWideString(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                               KtUWideStringBuffer* value, unsigned long extra_access);
    static bool WriteWideString(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                                const KtUWChar* value);
    static bool ReadBoolean(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                            bool* value);
    static bool WriteBoolean(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                             bool value);

private:
    KtURegistry() = delete;
};

#endif // KTUTIL_KTUREGISTRY_H

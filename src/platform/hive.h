//===- hive.h - The two settings hives -------------------------------------===//
//
// Settings live in two hives, each a tree of keys holding typed values: the
// current user's hive and the local machine's. A hive is one database file
// that several processes may share; every change below is one transaction,
// so a reader or a crash sees it whole or not at all.
//
// Keys are named by paths below the hive's top, with "\" between the names
// (empty names are skipped, so "a\\b\" is "a\b"). Key and value names
// compare without regard to case: both sides are folded the same way
// (HiveFoldName) and the folded forms are compared unit by unit; each key and
// value keeps the spelling it was created with. Value bytes are kept exactly
// as given, with the caller's type number.
//
// Functions return a HiveStatus and never throw; all are thread-safe.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_PLATFORM_HIVE_H
#define KTUTIL_PLATFORM_HIVE_H

#include <ktutil/KtUDefs.h>

#include <cstddef>
#include <cstdint>

namespace ktu::sys {

enum class Hive : int { kUser = 0, kMachine = 1 };

enum class HiveStatus : int {
    kOk = 0,
    kNotFound, ///< the key or value does not exist
    kMoreData, ///< the caller's buffer is too small; the size needed was stored
    kNotEmpty, ///< a non-recursive key deletion met subkeys
    kReadOnly, ///< the hive may not be written by this process
    kTooLong,  ///< a path or name is longer than a hive allows
    kFailed,   ///< the hive could not be opened, read or written
};

/// Longest key path (all names and separators) and value name, in units.
constexpr size_t kHiveMaxPath = 4095;
constexpr size_t kHiveMaxName = 4095;

/// The file that holds hive: $KTU_USER_HIVE, else
/// $XDG_CONFIG_HOME/ktutil/user.hive (default ~/.config); $KTU_MACHINE_HIVE,
/// else /var/lib/ktutil/machine.hive. Looked up on every call, so a change of
/// the variables takes effect at the next operation. Writes at most cap-1
/// bytes and a NUL; returns false when the path does not fit.
bool HivePath(Hive hive, char* out, size_t cap);

/// The process may change hive: its file, or when there is none yet the
/// nearest existing folder above it, has a write permission bit that applies
/// to the process (for the superuser, any write bit). A file without write
/// bits is thus read-only for everyone.
bool HiveWritable(Hive hive);

/// Folds a name for comparison, in place: each UTF-16 unit to its simple
/// lower-case form in Unicode (the C.UTF-8 character tables, whatever the
/// process locale), surrogates unchanged.
void HiveFoldName(KtUWChar* name, size_t length);

bool HiveKeyExists(Hive hive, const KtUWChar* key);
/// Creates key and every missing key above it.
HiveStatus HiveCreateKey(Hive hive, const KtUWChar* key);

/// Reads a value's type and bytes. With data null only *size is set (the
/// byte count); with *size too small, kMoreData and *size the byte count.
HiveStatus HiveQueryValue(Hive hive, const KtUWChar* key, const KtUWChar* name, uint32_t* type,
                          void* data, uint32_t* size);
/// Stores a value, replacing one of the same name (whose spelling it keeps).
/// With create_key the key and those above it are made as needed, in the
/// same transaction.
HiveStatus HiveSetValue(Hive hive, const KtUWChar* key, const KtUWChar* name, uint32_t type,
                        const void* data, uint32_t size, bool create_key);
HiveStatus HiveDeleteValue(Hive hive, const KtUWChar* key, const KtUWChar* name);
/// Deletes key with its values; recursive also deletes every key below it,
/// otherwise a key with subkeys is kept (kNotEmpty). The top cannot be deleted.
HiveStatus HiveDeleteKey(Hive hive, const KtUWChar* key, bool recursive);

/// The index-th subkey or value name of key, in the order of the folded
/// names. name receives at most *cap units and a NUL; with too small a
/// buffer, kMoreData and *cap the units needed (without the NUL). Past the
/// end, kNotFound. written (optional) receives the key's last change, in
/// 100-nanosecond units since 1601-01-01 UTC.
HiveStatus HiveEnumKey(Hive hive, const KtUWChar* key, uint32_t index, KtUWChar* name,
                       uint32_t* cap, uint64_t* written);
HiveStatus HiveEnumValue(Hive hive, const KtUWChar* key, uint32_t index, KtUWChar* name,
                         uint32_t* cap, uint32_t* type);

/// Calls fn for every subkey (subkeys true) or value name of key, in the
/// order of the folded names.
HiveStatus HiveListNames(Hive hive, const KtUWChar* key, bool subkeys,
                         void (*fn)(void* context, const KtUWChar* name), void* context);

struct HiveKeyInfo {
    uint32_t subkeys;
    uint32_t values;
    uint32_t longest_subkey;     ///< units
    uint32_t longest_value_name; ///< units
    uint32_t longest_data;       ///< bytes
    uint64_t written;            ///< 100 ns units since 1601-01-01 UTC
};
HiveStatus HiveQueryKey(Hive hive, const KtUWChar* key, HiveKeyInfo* out);

/// Copies the values of from_key (and, when recursive, the keys below it,
/// depth first) into to_key, creating it; existing values of the same names
/// are replaced. The copy is written in one transaction.
HiveStatus HiveCopyKey(Hive from, const KtUWChar* from_key, Hive to, const KtUWChar* to_key,
                       bool recursive);

/// Closes the open hive files of the process (they reopen when next used).
void HiveCloseAll();

} // namespace ktu::sys

#endif // KTUTIL_PLATFORM_HIVE_H

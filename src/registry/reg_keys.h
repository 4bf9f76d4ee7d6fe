//===- reg_keys.h - Open registry keys and the paths behind them ----------===//
//
// A KtURegKey names a hive and a key path from the hive's top. The two
// predefined handles are the tops; the others are KtURegKeyData objects
// made by KtUSysRegistry::OpenKey / CreateKey.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_OPTIONS_REG_KEYS_H
#define KTUTIL_OPTIONS_REG_KEYS_H

#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "platform/hive.h"

struct KtURegKeyData {
    ktu::sys::Hive hive;
    unsigned int access;
    KtUWideStringBuffer path;

    KTU_DECLARE_ALLOCATION_OPERATORS
};

namespace ktu::reg {

/// The access bits that change a key.
constexpr unsigned int kWriteAccess =
    KtUSysRegistry::eKEY_SET_VALUE | KtUSysRegistry::eKEY_CREATE_SUB_KEY | 0x10000u /*DELETE*/;

/// The hive and path of key + "\" + subkey (subkey may be null or empty).
/// False for a null or unknown handle.
bool Join(KtURegKey key, const KtUWChar* subkey, ktu::sys::Hive* hive, KtUWideStringBuffer* path);
/// The access a handle was opened with (everything for the tops).
unsigned int AccessOf(KtURegKey key);
/// The process may change hive: the user hive always, the local-machine
/// hive with install rights.
bool MayWrite(ktu::sys::Hive hive);

} // namespace ktu::reg

#endif // KTUTIL_OPTIONS_REG_KEYS_H

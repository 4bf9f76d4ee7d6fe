//===- KtURegistry.cpp - Operations on any key and subkey path ------------===//
#include <ktutil/KtUError.h>
#include <ktutil/KtURegistry.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/hive.h"
#include "registry/reg_keys.h"

#include <cstring>

using ktu::sys::Hive;
using ktu::sys::HiveStatus;

namespace {

KtUComponent s_component;

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtURegistry",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError, KtUString>,
};

// The key that subkey names below key, as the hive sees it: for reading it
// must exist; for writing the process must be allowed to change the hive.
struct Target {
    Hive hive = Hive::kUser;
    KtUWideStringBuffer path;
    bool ok = false;

    Target(KtURegKey key, const KtUWChar* subkey, bool write) {
        ok = ktu::reg::Join(key, subkey, &hive, &path);
        if (ok && write) ok = ktu::reg::MayWrite(hive);
        if (ok && !write) ok = ktu::sys::HiveKeyExists(hive, path.GetString());
    }
    const KtUWChar* Path() const { return path.IsNull() ? u"" : path.GetString(); }
};

bool ReadTyped(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name, uint32_t expected,
               void* data, uint32_t size) {
    Target t(key, subkey, false);
    if (!t.ok) return false;
    uint32_t type = 0, n = size;
    return ktu::sys::HiveQueryValue(t.hive, t.Path(), name, &type, data, &n) == HiveStatus::kOk &&
           type == expected && n == size;
}

bool WriteTyped(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name, uint32_t type,
                const void* data, uint32_t size) {
    Target t(key, subkey, true);
    return t.ok && ktu::sys::HiveSetValue(t.hive, t.Path(), name, type, data, size, true) ==
                       HiveStatus::kOk;
}

int ResultOf(HiveStatus status) {
    switch (status) {
    case HiveStatus::kOk:
        return KtURegistry::eSUCCESS;
    case HiveStatus::kNotFound:
        return KtURegistry::eNO_MORE_ITEMS;
    case HiveStatus::kMoreData:
        return KtURegistry::eMORE_DATA;
    case HiveStatus::kReadOnly:
        return KtURegistry::eACCESS_DENIED;
    default:
        return KtURegistry::eFILE_NOT_FOUND;
    }
}

// Calls enumerate with a name buffer that grows while the hive reports
// more data, up to 4096 bytes.
template <class Enum> int EnumerateName(KtUWideStringBuffer* name, Enum&& enumerate) {
    uint32_t units = 256;
    for (;;) {
        name->Reserve(static_cast<int>(units));
        if (!name->BeginEditBuffer()) return KtURegistry::eFILE_NOT_FOUND;
        uint32_t cap = units + 1;
        HiveStatus status = enumerate(name->BeginEditBuffer(), &cap);
        if (status == HiveStatus::kOk) {
            name->EndEditBuffer(static_cast<int>(cap));
            return KtURegistry::eSUCCESS;
        }
        name->EndEditBuffer(0);
        if (status != HiveStatus::kMoreData || (cap + 1) * sizeof(KtUWChar) > 4096)
            return ResultOf(status);
        units = cap + 1;
    }
}

int CountNames(KtURegKey key, const KtUWChar* subkey, bool subkeys) {
    Target t(key, subkey, false);
    if (!t.ok) return 0;
    int count = 0;
    ktu::sys::HiveListNames(
        t.hive, t.Path(), subkeys, [](void* c, const KtUWChar*) { ++*static_cast<int*>(c); },
        &count);
    return count;
}

} // namespace

KTU_COMPONENT_LIFECYCLE(KtURegistry, kComponent)

bool KtURegistry::DeleteValue(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name) {
    Target t(key, subkey, true);
    return t.ok && ktu::sys::HiveDeleteValue(t.hive, t.Path(), name) == HiveStatus::kOk;
}

bool KtURegistry::DeleteKey(KtURegKey key, const KtUWChar* subkey, bool recursive) {
    Target t(key, subkey, true);
    return t.ok && ktu::sys::HiveDeleteKey(t.hive, t.Path(), recursive) == HiveStatus::kOk;
}

int KtURegistry::EnumValue(KtURegKey key, const KtUWChar* subkey, int index,
                           KtUWideStringBuffer* name, unsigned long* type) {
    Target t(key, subkey, false);
    if (!t.ok) return eNO_KEY;
    if (index < 0 || !name) return eNO_MORE_ITEMS;
    uint32_t found_type = 0;
    int result = EnumerateName(name, [&](KtUWChar* out, uint32_t* cap) {
        return ktu::sys::HiveEnumValue(t.hive, t.Path(), static_cast<uint32_t>(index), out, cap,
                                       &found_type);
    });
    if (result == eSUCCESS && type) *type = found_type;
    return result;
}

int KtURegistry::EnumKey(KtURegKey key, const KtUWChar* subkey, int index,
                         KtUWideStringBuffer* name, KtUWideStringBuffer* class_name,
                         KtURegFileTime* written) {
    Target t(key, subkey, false);
    if (!t.ok) return eNO_KEY;
    if (index < 0 || !name) return eNO_MORE_ITEMS;
    uint64_t when = 0;
    int result = EnumerateName(name, [&](KtUWChar* out, uint32_t* cap) {
        return ktu::sys::HiveEnumKey(t.hive, t.Path(), static_cast<uint32_t>(index), out, cap,
                                     &when);
    });
    if (result == eSUCCESS) {
        if (class_name) class_name->SetEmptyString();
        if (written) *written = KtURegFileTime{uint32_t(when), uint32_t(when >> 32)};
    }
    return result;
}

int KtURegistry::CountValues(KtURegKey key, const KtUWChar* subkey) {
    return CountNames(key, subkey, false);
}

int KtURegistry::CountKeys(KtURegKey key, const KtUWChar* subkey) {
    return CountNames(key, subkey, true);
}

bool KtURegistry::QueryValueType(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                                 unsigned long* type) {
    Target t(key, subkey, false);
    uint32_t found = 0, size = 0;
    if (!t.ok ||
        ktu::sys::HiveQueryValue(t.hive, t.Path(), name, &found, nullptr, &size) != HiveStatus::kOk)
        return false;
    if (type) *type = found;
    return true;
}

bool KtURegistry::QueryKey(KtURegKey key, const KtUWChar* subkey, int* subkeys, int* longest_subkey,
                           int* values, int* longest_value_name, int* longest_value,
                           KtURegFileTime* written) {
    Target t(key, subkey, false);
    ktu::sys::HiveKeyInfo info;
    if (!t.ok || ktu::sys::HiveQueryKey(t.hive, t.Path(), &info) != HiveStatus::kOk) return false;
    if (subkeys) *subkeys = static_cast<int>(info.subkeys);
    if (longest_subkey) *longest_subkey = static_cast<int>(info.longest_subkey);
    if (values) *values = static_cast<int>(info.values);
    if (longest_value_name) *longest_value_name = static_cast<int>(info.longest_value_name);
    if (longest_value) *longest_value = static_cast<int>(info.longest_data);
    if (written) *written = KtURegFileTime{uint32_t(info.written), uint32_t(info.written >> 32)};
    return true;
}

bool KtURegistry::ReadLtInt32(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                              int* value) {
    int v = 0;
    if (!ReadTyped(key, subkey, name, KtUSysRegistry::eREG_DWORD, &v, 4)) return false;
    *value = v;
    return true;
}

bool KtURegistry::WriteLtInt32(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                               int value) {
    return WriteTyped(key, subkey, name, KtUSysRegistry::eREG_DWORD, &value, 4);
}

bool KtURegistry::ReadLtInt64(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                              KtUInt64* value) {
    KtUInt64 v = 0;
    if (!ReadTyped(key, subkey, name, KtUSysRegistry::eREG_QWORD, &v, 8)) return false;
    *value = v;
    return true;
}

bool KtURegistry::WriteLtInt64(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                               KtUInt64 value) {
    return WriteTyped(key, subkey, name, KtUSysRegistry::eREG_QWORD, &value, 8);
}

bool KtURegistry::ReadWideString(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                                 KtUWideStringBuffer* value, unsigned long extra_access) {
    KtURegKey open = nullptr;
    if (!KtUSysRegistry::OpenKey(
            key, subkey, 0,
            KtUSysRegistry::eKEY_QUERY_VALUE | static_cast<unsigned int>(extra_access), &open))
        return false;
    int ok = KtUSysRegistry::QueryValueWideString(open, name, value);
    KtUSysRegistry::CloseKey(open);
    return ok != 0;
}

bool KtURegistry::WriteWideString(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                                  const KtUWChar* value) {
    const KtUWChar* units = value ? value : u"";
    uint32_t bytes = static_cast<uint32_t>((KtUWideString::GetLength(units) + 1) * 2);
    return WriteTyped(key, subkey, name, KtUSysRegistry::eREG_SZ, units, bytes);
}

bool KtURegistry::ReadBoolean(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                              bool* value) {
    int v = 0;
    if (!ReadLtInt32(key, subkey, name, &v)) return false;
    *value = v != 0;
    return true;
}

bool KtURegistry::WriteBoolean(KtURegKey key, const KtUWChar* subkey, const KtUWChar* name,
                               bool value) {
    return WriteLtInt32(key, subkey, name, value ? 1 : 0);
}

//===- KtUSysRegistry.cpp - Typed settings below the product's roots ------===//
#include <ktutil/KtUDict.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUSysRegistrySectionHandle.h>
#include <ktutil/KtUVector.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/hive.h"
#include "registry/reg_keys.h"

#include <cstdio>
#include <cstring>
#include <vector>

using ktu::sys::Hive;
using ktu::sys::HiveStatus;

namespace {

// Roots and joined paths must stay shorter than this many characters.
constexpr int kMaxPath = 512;
// Strings are read into 4000 characters, of which 3999 are kept.
constexpr int kStringUnits = 4000;
// The comparison read of a setter, and the largest value copied forward.
constexpr uint32_t kCompareBytes = 2048;
constexpr uint32_t kCopyBytes = 2000;
// REG_SZ holding a number: at most 64 characters.
constexpr int kMaxFloatUnits = 64;

struct InheritRoot {
    KtUWideString user;
    KtUWideString install;
};

struct State {
    KtUWideStringBuffer user_root;
    KtUWideStringBuffer install_root;
    KtUStringBuffer user_root_utf8;
    KtUStringBuffer install_root_utf8;
    std::vector<InheritRoot> inherit;
    KtUWideStringBuffer company;
    KtUWideStringBuffer product;
    KtUWideStringBuffer version;
    bool install_rights = false;

    KTU_DECLARE_ALLOCATION_OPERATORS
};

State* g_state = nullptr;
KtUSysRegistry::ConfigLookup g_lookup = nullptr;

void ConfigValue(const char* name, const KtUWChar* def, KtUWideStringBuffer* out) {
    if (g_lookup && g_lookup(name, out)) return;
    out->SetString(def);
}

void SetUp() {
    g_state = new State;
    if (!g_state) return;
    g_state->install_rights = ktu::sys::HiveWritable(Hive::kMachine);
    ConfigValue("session.registry.company_key", u"Marlowen Veltracore", &g_state->company);
    ConfigValue("session.registry.product_key", u"Marlowen Veltracore", &g_state->product);
    ConfigValue("session.registry.version_key", u"6.0", &g_state->version);
    KtUWideStringBuffer base, user, install;
    KtUSysRegistry::GetBaseKey(&base);
    user.SetString(u"Software\\");
    user.Append(base);
    install.SetString(u"SOFTWARE\\");
    install.Append(base);
    KtUSysRegistry::SetRoot(user.GetString(), install.GetString());
    for (int n = 50; n >= 0 && g_lookup; --n) {
        char name[64];
        std::snprintf(name, sizeof name, "session.registry.inherit_root_%d", n);
        KtUWideStringBuffer value;
        if (g_lookup(name, &value) && !value.IsEmpty())
            KtUSysRegistry::AddInheritRoot(value.GetString());
    }
}

bool TearDown() {
    delete g_state;
    g_state = nullptr;
    ktu::sys::HiveCloseAll();
    return true;
}

KtUComponent s_component;

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUSysRegistry",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUError, KtUString, KtUDict, KtUVector>,
    .set_up = SetUp,
    .tear_down = TearDown,
};

// --- Paths -------------------------------------------------------------------

// root + "\" + section, refused when it reaches kMaxPath characters.
bool JoinSection(const KtUWChar* root, const KtUWChar* section, KtUWideStringBuffer* out) {
    out->SetString(root ? root : u"");
    if (section && *section) {
        out->Append(u'\\');
        out->Append(section);
    }
    return out->GetLength() < kMaxPath;
}

bool ToWide(const char* text, KtUWideStringBuffer* out) {
    if (!text) {
        out->SetEmptyString();
        return true;
    }
    return out->SetFromUTF8String(text) != 0;
}

// --- Lookup --------------------------------------------------------------------

// The type a getter expects, and one more it also accepts.
struct Expect {
    uint32_t type;
    uint32_t also;
    bool Accepts(uint32_t t) const { return t == type || (also != 0 && t == also); }
};

struct Found {
    uint32_t type = 0;
    uint32_t size = 0; ///< the whole value's bytes; at most cap of them were read
};

// A value longer than the caller's buffer is found all the same, its first
// cap bytes read: a long string in the user root must not send the lookup
// on to the inherited roots, whose copy would overwrite it.
bool Query(Hive hive, const KtUWideStringBuffer& key, const KtUWChar* name, Expect expect,
           void* data, uint32_t cap, Found* found) {
    uint32_t type = 0, size = cap;
    HiveStatus status = ktu::sys::HiveQueryValue(hive, key.GetString(), name, &type, data, &size);
    if (status == HiveStatus::kMoreData && expect.Accepts(type)) {
        std::vector<unsigned char> whole(size);
        status = ktu::sys::HiveQueryValue(hive, key.GetString(), name, &type, whole.data(), &size);
        if (status == HiveStatus::kOk) std::memcpy(data, whole.data(), size < cap ? size : cap);
    }
    if (status != HiveStatus::kOk || !expect.Accepts(type)) return false;
    found->type = type;
    found->size = size;
    return true;
}

bool MayWriteHive(Hive hive) {
    return hive == Hive::kUser || (g_state && g_state->install_rights);
}

// Copies name from hive/key to the destination, with its own type.
bool CopyValue(Hive hive, const KtUWideStringBuffer& key, const KtUWChar* name, Hive to,
               const KtUWideStringBuffer& to_key) {
    if (!MayWriteHive(to)) return false;
    unsigned char data[kCopyBytes];
    uint32_t type = 0, size = sizeof data;
    if (ktu::sys::HiveQueryValue(hive, key.GetString(), name, &type, data, &size) !=
        HiveStatus::kOk)
        return false;
    return ktu::sys::HiveSetValue(to, to_key.GetString(), name, type, data, size, true) ==
           HiveStatus::kOk;
}

// Reads a value through the roots in lookup order (see docs/registry.md).
bool Lookup(const KtUWChar* section, const KtUWChar* name, Expect expect, void* data, uint32_t cap,
            KtUSysRegistry::Mode mode, Found* found) {
    if (!g_state) return false;
    KtUWideStringBuffer user, install;
    if (!JoinSection(g_state->user_root.GetString(), section, &user)) return false;
    if ((mode & KtUSysRegistry::eUSER) && Query(Hive::kUser, user, name, expect, data, cap, found))
        return true;
    if (!JoinSection(g_state->install_root.GetString(), section, &install)) return false;
    if (Query(Hive::kMachine, install, name, expect, data, cap, found)) return true;
    if (!(mode & KtUSysRegistry::eINHERIT)) return false;
    // Copies go under the user root, in the user hive or else the machine
    // hive (where key names ignore case, so it is the install root).
    Hive to = (mode & KtUSysRegistry::eUSER) ? Hive::kUser : Hive::kMachine;
    for (const InheritRoot& root : g_state->inherit) {
        KtUWideStringBuffer from;
        bool copied = false;
        if ((mode & KtUSysRegistry::eUSER) && JoinSection(root.user.GetString(), section, &from))
            copied = CopyValue(Hive::kUser, from, name, to, user);
        if (!copied && JoinSection(root.install.GetString(), section, &from))
            copied = CopyValue(Hive::kMachine, from, name, to, user);
        if (copied) return Query(to, user, name, expect, data, cap, found);
    }
    return false;
}

// Writes a value under the roots that mode names; true when any write succeeded.
bool Write(const KtUWChar* section, const KtUWChar* name, uint32_t type, const void* data,
           uint32_t size, KtUSysRegistry::Mode mode) {
    if (!g_state) return false;
    bool any = false;
    KtUWideStringBuffer key;
    if ((mode & KtUSysRegistry::eUSER) &&
        JoinSection(g_state->user_root.GetString(), section, &key))
        any |= ktu::sys::HiveSetValue(Hive::kUser, key.GetString(), name, type, data, size, true) ==
               HiveStatus::kOk;
    if ((mode & KtUSysRegistry::eINSTALL) && g_state->install_rights &&
        JoinSection(g_state->install_root.GetString(), section, &key))
        any |= ktu::sys::HiveSetValue(Hive::kMachine, key.GetString(), name, type, data, size,
                                      true) == HiveStatus::kOk;
    return any;
}

// A setter: writes unless the value found has the same type and bytes.
int Set(const KtUWChar* section, const KtUWChar* name, uint32_t type, const void* data,
        uint32_t size, KtUSysRegistry::Mode mode) {
    unsigned char current[kCompareBytes];
    Found found;
    if (Lookup(section, name, Expect{type, 0}, current, sizeof current, mode, &found) &&
        found.size == size && size <= sizeof current &&
        (size == 0 || std::memcmp(current, data, size) == 0))
        return 1;
    return Write(section, name, type, data, size, mode) ? 1 : 0;
}

// REG_SZ bytes: the UTF-16 text and its terminating NUL.
uint32_t TextBytes(const KtUWChar* text) {
    return static_cast<uint32_t>((KtUWideString::GetLength(text) + 1) * sizeof(KtUWChar));
}

// The text of REG_SZ bytes, without trailing NULs, at most limit characters.
void TextOf(const KtUWChar* units, uint32_t bytes, KtUWideStringBuffer* out,
            int limit = kStringUnits - 1) {
    int n = static_cast<int>(bytes / sizeof(KtUWChar));
    if (n > limit) n = limit;
    while (n > 0 && units[n - 1] == 0)
        --n;
    int end = 0;
    while (end < n && units[end] != 0)
        ++end;
    out->SetString(units, end);
}

// A 4- or 8-byte integer value, sign-extending a REG_DWORD.
bool ReadInteger(const KtUWChar* section, const KtUWChar* name, Expect expect,
                 KtUSysRegistry::Mode mode, KtUInt64* value) {
    unsigned char data[8];
    Found found;
    if (!Lookup(section, name, expect, data, sizeof data, mode, &found)) return false;
    if (found.type == KtUSysRegistry::eREG_DWORD && found.size == 4) {
        int32_t v;
        std::memcpy(&v, data, 4);
        *value = v;
        return true;
    }
    if (found.type == KtUSysRegistry::eREG_QWORD && found.size == 8) {
        std::memcpy(value, data, 8);
        return true;
    }
    return false;
}

bool ReadText(const KtUWChar* section, const KtUWChar* name, KtUSysRegistry::Mode mode,
              KtUWideStringBuffer* out) {
    KtUWChar units[kStringUnits];
    Found found;
    if (!Lookup(section, name, Expect{KtUSysRegistry::eREG_SZ, 0}, units, sizeof units, mode,
                &found))
        return false;
    TextOf(units, found.size < sizeof units ? found.size : uint32_t(sizeof units), out);
    return true;
}

bool ParseFloat(const KtUWideStringBuffer& text, double* value) {
    if (text.GetLength() > kMaxFloatUnits) return false;
    return KtUWideString::ReadCFloat(text.GetString(), value) != 0;
}

void FloatText(double value, KtUWideStringBuffer* out) {
    out->FormatCFloat(value, 19, 17);
}

// The getters' log line: tag "section" "name" -> value / = default.
void LogLine(const char* tag, const KtUWChar* section, const KtUWChar* name, bool found,
             const KtUWChar* value) {
    KtUError::Log(u"%S \"%s\" \"%s\"%S%s\n", tag, section ? section : u"", name ? name : u"",
                  found ? " -> " : " = ", value);
}

void LogInteger(const char* tag, const KtUWChar* section, const KtUWChar* name, bool found,
                KtUInt64 value) {
    KtUWideStringBuffer text;
    text.Format(u"%I64d", value);
    LogLine(tag, section, name, found, text.GetString());
}

struct Narrow {
    KtUWideStringBuffer section;
    KtUWideStringBuffer name;
    bool ok;
    Narrow(const char* s, const char* n) { ok = ToWide(s, &section) && ToWide(n, &name); }
};

Hive HiveOfMode(KtUSysRegistry::Mode mode, bool* ok) {
    *ok = mode == KtUSysRegistry::eUSER_HIVE || mode == KtUSysRegistry::eMACHINE_HIVE;
    return mode == KtUSysRegistry::eMACHINE_HIVE ? Hive::kMachine : Hive::kUser;
}

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUSysRegistry, kComponent)

// --- Life and roots ------------------------------------------------------------

void KtUSysRegistry::SetConfigLookup(ConfigLookup lookup) {
    g_lookup = lookup;
}

bool KtUSysRegistry::HasInstallRights() {
    return g_state && g_state->install_rights;
}

void KtUSysRegistry::SetRoot(const KtUWChar* user, const KtUWChar* install) {
    if (!g_state) return;
    g_state->user_root.SetString(user ? user : u"");
    g_state->install_root.SetString(install ? install : u"");
    // Roots longer than the path buffer are cut to fit it.
    if (g_state->user_root.GetLength() >= kMaxPath)
        g_state->user_root.SetString(g_state->user_root.GetString(), kMaxPath - 1);
    if (g_state->install_root.GetLength() >= kMaxPath)
        g_state->install_root.SetString(g_state->install_root.GetString(), kMaxPath - 1);
    g_state->user_root.ExtractUTF8String(&g_state->user_root_utf8);
    g_state->install_root.ExtractUTF8String(&g_state->install_root_utf8);
}

const char* KtUSysRegistry::GetUserRoot() {
    return g_state ? g_state->user_root_utf8.GetString() : nullptr;
}
const char* KtUSysRegistry::GetInstallRoot() {
    return g_state ? g_state->install_root_utf8.GetString() : nullptr;
}
const KtUWChar* KtUSysRegistry::GetUserRootWide() {
    return g_state ? g_state->user_root.GetString() : nullptr;
}
const KtUWChar* KtUSysRegistry::GetInstallRootWide() {
    return g_state ? g_state->install_root.GetString() : nullptr;
}

void KtUSysRegistry::AddInheritRoot(const KtUWChar* root) {
    AddInheritRoot(root, root);
}

void KtUSysRegistry::AddInheritRoot(const KtUWChar* user_root, const KtUWChar* install_root) {
    if (!g_state) return;
    g_state->inherit.push_back(InheritRoot{KtUWideString(user_root ? user_root : u""),
                                           KtUWideString(install_root ? install_root : u"")});
}

void KtUSysRegistry::GetBaseKey(KtUWideStringBuffer* out) {
    if (!g_state) return out->SetEmptyString();
    out->SetString(g_state->company);
    out->Append(u'\\');
    out->Append(g_state->product);
    out->Append(u'\\');
    out->Append(g_state->version);
}

void KtUSysRegistry::GetCompanyKey(KtUWideStringBuffer* out) {
    if (g_state) out->SetString(g_state->company);
}
void KtUSysRegistry::GetProductKey(KtUWideStringBuffer* out) {
    if (g_state) out->SetString(g_state->product);
}
void KtUSysRegistry::GetVersionKey(KtUWideStringBuffer* out) {
    if (g_state) out->SetString(g_state->version);
}

// --- Typed reads ---------------------------------------------------------------

KtUInt64 KtUSysRegistry::GetTime(const KtUWChar* section, const KtUWChar* name, KtUInt64 def,
                                 Mode mode) {
    KtUInt64 value = 0;
    bool found = ReadInteger(section, name, Expect{eREG_QWORD, eREG_DWORD}, mode, &value);
    if (!found) {
        if (mode & eCREATE) Write(section, name, eREG_QWORD, &def, 8, mode);
        value = def;
    }
    LogInteger("RegGetT", section, name, found, value);
    return value;
}

int KtUSysRegistry::GetInt32(const KtUWChar* section, const KtUWChar* name, int def, Mode mode) {
    KtUInt64 value = 0;
    bool found = ReadInteger(section, name, Expect{eREG_DWORD, 0}, mode, &value);
    if (!found) {
        if (mode & eCREATE) Write(section, name, eREG_DWORD, &def, 4, mode);
        value = def;
    }
    LogInteger("RegGetI32", section, name, found, value);
    return static_cast<int>(value);
}

KtUInt64 KtUSysRegistry::GetInt64(const KtUWChar* section, const KtUWChar* name, KtUInt64 def,
                                  Mode mode) {
    KtUInt64 value = 0;
    bool found = ReadInteger(section, name, Expect{eREG_QWORD, 0}, mode, &value);
    if (!found) {
        if (mode & eCREATE) Write(section, name, eREG_QWORD, &def, 8, mode);
        value = def;
    }
    LogInteger("RegGetI64", section, name, found, value);
    return value;
}

bool KtUSysRegistry::GetBoolean(const KtUWChar* section, const KtUWChar* name, bool def,
                                Mode mode) {
    KtUInt64 value = 0;
    bool found = ReadInteger(section, name, Expect{eREG_DWORD, 0}, mode, &value);
    if (!found) {
        int stored = def ? 1 : 0;
        if (mode & eCREATE) Write(section, name, eREG_DWORD, &stored, 4, mode);
        value = stored;
    }
    LogInteger("RegGetI32", section, name, found, value);
    return value != 0;
}

double KtUSysRegistry::GetFloat(const KtUWChar* section, const KtUWChar* name, double def,
                                Mode mode) {
    KtUWideStringBuffer text;
    double value = 0;
    bool found = ReadText(section, name, mode, &text) && ParseFloat(text, &value);
    if (!found) {
        value = def;
        FloatText(def, &text);
        if (mode & eCREATE)
            Write(section, name, eREG_SZ, text.GetString(), TextBytes(text.GetString()), mode);
    }
    KtUWideStringBuffer shown;
    shown.Format(u"%g", value);
    LogLine("RegGetF", section, name, found, shown.GetString());
    return value;
}

void KtUSysRegistry::GetString(const KtUWChar* section, const KtUWChar* name, const char* def,
                               KtUStringBuffer* out, Mode mode) {
    KtUWideStringBuffer text;
    bool found = ReadText(section, name, mode, &text);
    if (found) {
        text.ExtractUTF8String(out);
        LogLine("RegGetA", section, name, true, text.GetString() ? text.GetString() : u"");
        return;
    }
    if (def) {
        out->SetString(def);
    } else {
        out->SetEmptyString();
    }
    KtUWideStringBuffer wide_def;
    if (def) ToWide(def, &wide_def);
    if ((mode & eCREATE) && def)
        Write(section, name, eREG_SZ, wide_def.IsNull() ? u"" : wide_def.GetString(),
              TextBytes(wide_def.GetString()), mode);
    LogLine("RegGetA", section, name, false,
            def ? (wide_def.IsNull() ? u"" : wide_def.GetString()) : u"(null)");
}

void KtUSysRegistry::GetWideString(const KtUWChar* section, const KtUWChar* name,
                                   const KtUWChar* def, KtUWideStringBuffer* out, Mode mode) {
    KtUWideStringBuffer text;
    bool found = ReadText(section, name, mode, &text);
    if (found) {
        out->SetString(text);
    } else {
        if (def) {
            out->SetString(def);
        } else {
            out->SetEmptyString();
        }
        if ((mode & eCREATE) && def) Write(section, name, eREG_SZ, def, TextBytes(def), mode);
    }
    const KtUWChar* shown = found ? text.GetString() : def;
    LogLine("RegGetW", section, name, found, shown && *shown ? shown : u"(empty)");
}

KtUInt64 KtUSysRegistry::GetTime(const char* section, const char* name, KtUInt64 def, Mode mode) {
    Narrow n(section, name);
    return n.ok ? GetTime(n.section.GetString(), n.name.GetString(), def, mode) : def;
}
int KtUSysRegistry::GetInt32(const char* section, const char* name, int def, Mode mode) {
    Narrow n(section, name);
    return n.ok ? GetInt32(n.section.GetString(), n.name.GetString(), def, mode) : def;
}
KtUInt64 KtUSysRegistry::GetInt64(const char* section, const char* name, KtUInt64 def, Mode mode) {
    Narrow n(section, name);
    return n.ok ? GetInt64(n.section.GetString(), n.name.GetString(), def, mode) : def;
}
bool KtUSysRegistry::GetBoolean(const char* section, const char* name, bool def, Mode mode) {
    Narrow n(section, name);
    return n.ok ? GetBoolean(n.section.GetString(), n.name.GetString(), def, mode) : def;
}
double KtUSysRegistry::GetFloat(const char* section, const char* name, double def, Mode mode) {
    Narrow n(section, name);
    return n.ok ? GetFloat(n.section.GetString(), n.name.GetString(), def, mode) : def;
}
void KtUSysRegistry::GetString(const char* section, const char* name, const char* def,
                               KtUStringBuffer* out, Mode mode) {
    Narrow n(section, name);
    if (n.ok) return GetString(n.section.GetString(), n.name.GetString(), def, out, mode);
    out->SetString(def ? def : "");
}
void KtUSysRegistry::GetWideString(const char* section, const char* name, const KtUWChar* def,
                                   KtUWideStringBuffer* out, Mode mode) {
    Narrow n(section, name);
    if (n.ok) return GetWideString(n.section.GetString(), n.name.GetString(), def, out, mode);
    out->SetString(def ? def : u"");
}

// --- Typed writes ----------------------------------------------------------------

int KtUSysRegistry::SetTime(const KtUWChar* section, const KtUWChar* name, KtUInt64 value,
                            Mode mode) {
    return Set(section, name, eREG_QWORD, &value, 8, mode);
}
int KtUSysRegistry::SetInt32(const KtUWChar* section, const KtUWChar* name, int value, Mode mode) {
    return Set(section, name, eREG_DWORD, &value, 4, mode);
}
int KtUSysRegistry::SetInt64(const KtUWChar* section, const KtUWChar* name, KtUInt64 value,
                             Mode mode) {
    return Set(section, name, eREG_QWORD, &value, 8, mode);
}
int KtUSysRegistry::SetBoolean(const KtUWChar* section, const KtUWChar* name, bool value,
                               Mode mode) {
    int stored = value ? 1 : 0;
    return Set(section, name, eREG_DWORD, &stored, 4, mode);
}
int KtUSysRegistry::SetFloat(const KtUWChar* section, const KtUWChar* name, double value,
                             Mode mode) {
    KtUWideStringBuffer text;
    FloatText(value, &text);
    return Set(section, name, eREG_SZ, text.GetString(), TextBytes(text.GetString()), mode);
}
int KtUSysRegistry::SetString(const KtUWChar* section, const KtUWChar* name, const char* value,
                              Mode mode) {
    KtUWideStringBuffer text;
    if (!ToWide(value, &text)) return 0;
    const KtUWChar* units = text.IsNull() ? u"" : text.GetString();
    return Set(section, name, eREG_SZ, units, TextBytes(units), mode);
}
int KtUSysRegistry::SetWideString(const KtUWChar* section, const KtUWChar* name,
                                  const KtUWChar* value, Mode mode) {
    const KtUWChar* units = value ? value : u"";
    return Set(section, name, eREG_SZ, units, TextBytes(units), mode);
}

int KtUSysRegistry::SetTime(const char* section, const char* name, KtUInt64 value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetTime(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetInt32(const char* section, const char* name, int value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetInt32(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetInt64(const char* section, const char* name, KtUInt64 value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetInt64(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetBoolean(const char* section, const char* name, bool value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetBoolean(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetFloat(const char* section, const char* name, double value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetFloat(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetString(const char* section, const char* name, const char* value, Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetString(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}
int KtUSysRegistry::SetWideString(const char* section, const char* name, const KtUWChar* value,
                                  Mode mode) {
    Narrow n(section, name);
    return n.ok ? SetWideString(n.section.GetString(), n.name.GetString(), value, mode) : 0;
}

// --- Sections --------------------------------------------------------------------

namespace ktu::reg {

struct SectionAccess {
    static bool Add(KtUSysRegistrySectionHandle* h, const KtUWChar* name) { return h->Add(name); }
    static void Start(KtUSysRegistrySectionHandle* h) { h->Start(); }
};

} // namespace ktu::reg

namespace {

void AddName(void* context, const KtUWChar* name) {
    auto* added = static_cast<std::pair<KtUSysRegistrySectionHandle*, bool>*>(context);
    // The unnamed default value is not listed.
    if (name && *name && ktu::reg::SectionAccess::Add(added->first, name)) added->second = true;
}

} // namespace

KtUSysRegistrySectionHandle* KtUSysRegistry::OpenSection(const KtUWChar* section, Mode mode,
                                                         unsigned int what) {
    if (!g_state) return nullptr;
    auto* handle = new KtUSysRegistrySectionHandle;
    if (!handle) return nullptr;
    struct Place {
        Hive hive;
        const KtUWChar* root;
    };
    std::vector<Place> places;
    if (mode & eUSER) places.push_back(Place{Hive::kUser, g_state->user_root.GetString()});
    places.push_back(Place{Hive::kMachine, g_state->install_root.GetString()});
    if (mode & eINHERIT) {
        for (const InheritRoot& root : g_state->inherit) {
            if (mode & eUSER) places.push_back(Place{Hive::kUser, root.user.GetString()});
            places.push_back(Place{Hive::kMachine, root.install.GetString()});
        }
    }
    for (const Place& place : places) {
        KtUWideStringBuffer key;
        if (!JoinSection(place.root, section, &key)) continue;
        if ((mode & eCREATE) && MayWriteHive(place.hive))
            (void)ktu::sys::HiveCreateKey(place.hive, key.GetString());
        std::pair<KtUSysRegistrySectionHandle*, bool> added{handle, false};
        if (what & eSUBKEYS)
            ktu::sys::HiveListNames(place.hive, key.GetString(), true, AddName, &added);
        if (what & eVALUES)
            ktu::sys::HiveListNames(place.hive, key.GetString(), false, AddName, &added);
        if ((what & eFIRST_PLACE_ONLY) && added.second) break;
    }
    ktu::reg::SectionAccess::Start(handle);
    return handle;
}

KtUSysRegistrySectionHandle* KtUSysRegistry::OpenSection(const char* section, Mode mode,
                                                         unsigned int what) {
    KtUWideStringBuffer wide;
    if (!ToWide(section, &wide)) return nullptr;
    return OpenSection(wide.GetString(), mode, what);
}

void KtUSysRegistry::CloseSection(KtUSysRegistrySectionHandle* handle) {
    delete handle;
}

int KtUSysRegistry::CreateSection(const KtUWChar* section, Mode mode) {
    bool ok = false;
    Hive hive = HiveOfMode(mode, &ok);
    if (!ok || !g_state || !MayWriteHive(hive)) return 0;
    KtUWideStringBuffer key;
    const KtUWChar* root =
        hive == Hive::kUser ? g_state->user_root.GetString() : g_state->install_root.GetString();
    if (!JoinSection(root, section, &key)) return 0;
    return ktu::sys::HiveCreateKey(hive, key.GetString()) == HiveStatus::kOk ? 1 : 0;
}

int KtUSysRegistry::CreateSection(const char* section, Mode mode) {
    KtUWideStringBuffer wide;
    return ToWide(section, &wide) ? CreateSection(wide.GetString(), mode) : 0;
}

void KtUSysRegistry::MakeSubSection(KtUWideStringBuffer* out, const KtUWChar* section,
                                    const KtUWChar* sub) {
    out->SetString(section ? section : u"");
    out->Append(u'\\');
    out->Append(sub ? sub : u"");
}

void KtUSysRegistry::MakeSubSection(KtUStringBuffer* out, const char* section, const char* sub) {
    out->SetString(section ? section : "");
    out->Append('\\');
    out->Append(sub ? sub : "");
}

// --- Whole keys ------------------------------------------------------------------

int KtUSysRegistry::ZapKey(Mode mode, const KtUWChar* key) {
    bool ok = false;
    Hive hive = HiveOfMode(mode, &ok);
    if (!ok || !MayWriteHive(hive) || !key || KtUWideString::GetLength(key) >= kMaxPath) return 0;
    return ktu::sys::HiveDeleteKey(hive, key, true) == HiveStatus::kOk ? 1 : 0;
}

int KtUSysRegistry::ZapKey(Mode mode, const char* key) {
    KtUWideStringBuffer wide;
    return key && ToWide(key, &wide) ? ZapKey(mode, wide.GetString()) : 0;
}

int KtUSysRegistry::CopyKey(Mode from, const KtUWChar* from_key, Mode to, const KtUWChar* to_key,
                            int recursive) {
    bool from_ok = false, to_ok = false;
    Hive source = HiveOfMode(from, &from_ok);
    Hive target = HiveOfMode(to, &to_ok);
    if (!from_ok || !to_ok || !MayWriteHive(target) || !from_key || !to_key) return 0;
    return ktu::sys::HiveCopyKey(source, from_key, target, to_key, recursive != 0) ==
                   HiveStatus::kOk
               ? 1
               : 0;
}

int KtUSysRegistry::CopyKey(Mode from, const char* from_key, Mode to, const char* to_key,
                            int recursive) {
    KtUWideStringBuffer a, b;
    if (!from_key || !to_key || !ToWide(from_key, &a) || !ToWide(to_key, &b)) return 0;
    return CopyKey(from, a.GetString(), to, b.GetString(), recursive);
}

// --- Open keys ---------------------------------------------------------------------

namespace ktu::reg {

bool MayWrite(Hive hive) {
    return MayWriteHive(hive);
}

unsigned int AccessOf(KtURegKey key) {
    if (key == KTU_HKEY_CURRENT_USER || key == KTU_HKEY_LOCAL_MACHINE) return ~0u;
    return key ? key->access : 0;
}

bool Join(KtURegKey key, const KtUWChar* subkey, Hive* hive, KtUWideStringBuffer* path) {
    if (key == KTU_HKEY_CURRENT_USER || key == KTU_HKEY_LOCAL_MACHINE) {
        *hive = key == KTU_HKEY_CURRENT_USER ? Hive::kUser : Hive::kMachine;
        path->SetString(subkey ? subkey : u"");
        return true;
    }
    if (!key) return false;
    *hive = key->hive;
    path->SetString(key->path);
    if (subkey && *subkey) {
        if (!path->IsEmpty()) path->Append(u'\\');
        path->Append(subkey);
    }
    return true;
}

} // namespace ktu::reg

int KtUSysRegistry::OpenKey(KtURegKey key, const KtUWChar* subkey, unsigned int,
                            unsigned int access, KtURegKey* out) {
    if (!out) return 0;
    *out = nullptr;
    Hive hive;
    KtUWideStringBuffer path;
    if (!ktu::reg::Join(key, subkey, &hive, &path)) return 0;
    if ((access & ktu::reg::kWriteAccess) && !MayWriteHive(hive)) return 0;
    if (!ktu::sys::HiveKeyExists(hive, path.GetString())) return 0;
    auto* data = new KtURegKeyData{hive, access, KtUWideStringBuffer(path)};
    if (!data) return 0;
    *out = data;
    return 1;
}

int KtUSysRegistry::CreateKey(KtURegKey key, const KtUWChar* subkey, KtURegKey* out) {
    if (!out) return 0;
    *out = nullptr;
    Hive hive;
    KtUWideStringBuffer path;
    if (!ktu::reg::Join(key, subkey, &hive, &path) || !MayWriteHive(hive)) return 0;
    if (ktu::sys::HiveCreateKey(hive, path.GetString()) != HiveStatus::kOk) return 0;
    auto* data = new KtURegKeyData{hive, eKEY_ALL_ACCESS, KtUWideStringBuffer(path)};
    if (!data) return 0;
    *out = data;
    return 1;
}

int KtUSysRegistry::CloseKey(KtURegKey key) {
    if (!key) return 0;
    if (key != KTU_HKEY_CURRENT_USER && key != KTU_HKEY_LOCAL_MACHINE) delete key;
    return 1;
}

int KtUSysRegistry::QueryValue(KtURegKey key, const KtUWChar* name, unsigned int* type, void* data,
                               unsigned int* size) {
    Hive hive;
    KtUWideStringBuffer path;
    if (!ktu::reg::Join(key, nullptr, &hive, &path)) return 0;
    uint32_t t = 0, n = size ? *size : 0;
    HiveStatus status = ktu::sys::HiveQueryValue(hive, path.GetString(), name, &t, data, &n);
    if (status != HiveStatus::kOk && status != HiveStatus::kMoreData) return 0;
    if (type) *type = t;
    if (size) *size = n;
    return status == HiveStatus::kOk ? 1 : 0;
}

int KtUSysRegistry::QueryValueTime(KtURegKey key, const KtUWChar* name, KtUInt64* value) {
    int v = 0;
    if (!QueryValueInt32(key, name, &v)) return 0;
    *value = v;
    return 1;
}

int KtUSysRegistry::QueryValueInt32(KtURegKey key, const KtUWChar* name, int* value) {
    unsigned int type = 0, size = 4;
    int v = 0;
    if (!QueryValue(key, name, &type, &v, &size) || type != eREG_DWORD || size != 4) return 0;
    *value = v;
    return 1;
}

int KtUSysRegistry::QueryValueBoolean(KtURegKey key, const KtUWChar* name, int* value) {
    int v = 0;
    if (!QueryValueInt32(key, name, &v)) return 0;
    *value = v != 0 ? 1 : 0;
    return 1;
}

int KtUSysRegistry::QueryValueFloat(KtURegKey key, const KtUWChar* name, double* value) {
    KtUWChar units[kMaxFloatUnits + 1];
    unsigned int type = 0, size = sizeof units;
    if (!QueryValue(key, name, &type, units, &size) || type != eREG_SZ) return 0;
    KtUWideStringBuffer text;
    TextOf(units, size, &text);
    return ParseFloat(text, value) ? 1 : 0;
}

int KtUSysRegistry::QueryValueWideString(KtURegKey key, const KtUWChar* name,
                                         KtUWideStringBuffer* value) {
    unsigned int type = 0, size = 0;
    if (!QueryValue(key, name, &type, nullptr, &size) || type != eREG_SZ) return 0;
    std::vector<KtUWChar> units(size / sizeof(KtUWChar) + 1);
    size = static_cast<unsigned int>(units.size() * sizeof(KtUWChar));
    if (!QueryValue(key, name, &type, units.data(), &size) || type != eREG_SZ) return 0;
    TextOf(units.data(), size, value, static_cast<int>(units.size()));
    return 1;
}

int KtUSysRegistry::QueryValueString(KtURegKey key, const KtUWChar* name, KtUStringBuffer* value) {
    KtUWideStringBuffer text;
    if (!QueryValueWideString(key, name, &text)) return 0;
    text.ExtractUTF8String(value);
    return 1;
}

namespace {

// Grows name while the hive reports more data (up to 4096 bytes of name).
template <class Enum> HiveStatus EnumName(KtUWideStringBuffer* name, Enum&& call) {
    uint32_t units = 256;
    for (;;) {
        name->Reserve(static_cast<int>(units));
        uint32_t cap = units + 1;
        if (!name->BeginEditBuffer()) return HiveStatus::kFailed;
        HiveStatus status = call(name->BeginEditBuffer(), &cap);
        if (status == HiveStatus::kOk) {
            name->EndEditBuffer(static_cast<int>(cap));
            return status;
        }
        name->EndEditBuffer(0);
        if (status != HiveStatus::kMoreData || cap + 1 > 2048) return status;
        units = cap + 1;
    }
}

} // namespace

int KtUSysRegistry::EnumKey(KtURegKey key, unsigned int index, KtUWideStringBuffer* name,
                            KtURegFileTime* written) {
    Hive hive;
    KtUWideStringBuffer path;
    if (!name || !ktu::reg::Join(key, nullptr, &hive, &path)) return 0;
    uint64_t when = 0;
    HiveStatus status = EnumName(name, [&](KtUWChar* out, uint32_t* cap) {
        return ktu::sys::HiveEnumKey(hive, path.GetString(), index, out, cap, &when);
    });
    if (status != HiveStatus::kOk) return 0;
    if (written) *written = KtURegFileTime{uint32_t(when), uint32_t(when >> 32)};
    return 1;
}

int KtUSysRegistry::EnumValue(KtURegKey key, unsigned int index, KtUWideStringBuffer* name) {
    Hive hive;
    KtUWideStringBuffer path;
    if (!name || !ktu::reg::Join(key, nullptr, &hive, &path)) return 0;
    return EnumName(name,
                    [&](KtUWChar* out, uint32_t* cap) {
                        return ktu::sys::HiveEnumValue(hive, path.GetString(), index, out, cap,
                                                       nullptr);
                    }) == HiveStatus::kOk
               ? 1
               : 0;
}

int KtUSysRegistry::SetValueWideString(KtURegKey key, const KtUWChar* name, const KtUWChar* value) {
    Hive hive;
    KtUWideStringBuffer path;
    if (!ktu::reg::Join(key, nullptr, &hive, &path) || !MayWriteHive(hive) ||
        !(ktu::reg::AccessOf(key) & eKEY_SET_VALUE))
        return 0;
    const KtUWChar* units = value ? value : u"";
    return ktu::sys::HiveSetValue(hive, path.GetString(), name, eREG_SZ, units, TextBytes(units),
                                  false) == HiveStatus::kOk
               ? 1
               : 0;
}

int KtUSysRegistry::SetValueString(KtURegKey key, const KtUWChar* name, const char* value) {
    KtUWideStringBuffer text;
    if (!ToWide(value, &text)) return 0;
    return SetValueWideString(key, name, text.IsNull() ? u"" : text.GetString());
}

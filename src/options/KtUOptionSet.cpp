//===- KtUOptionSet.cpp - Lookup, typed access and change ids of option sets ===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtURefPtrVector.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <cstring>

KtUOptionSet::KtUOptionSet() = default;
KtUOptionSet::~KtUOptionSet() = default;

void KtUOptionSet::DoCustomOption() {
    if (HasCustomOption()) IDoCustomOption();
}

int KtUOptionSet::IInvokeHelp() {
    return 0;
}

const char* KtUOptionSet::IGetHelpId() {
    return nullptr;
}

int KtUOptionSet::IArrayInsert(int) {
    return 0;
}

int KtUOptionSet::IArrayRemove(int) {
    return 0;
}

KtUData::Type KtUOptionSet::GetType(int index) {
    KtUData value;
    return IGetValue(index, &value) ? KtUData::eNone : value.GetType();
}

int KtUOptionSet::GetDataValue(int index, KtUData* value) {
    KtUData scratch;
    KtUData* out = value ? value : &scratch;
    return IGetValue(index, out) ? (out->Clear(), 0) : 1;
}

int KtUOptionSet::GetDataValue(const char* path, KtUData* value) {
    int index;
    KtUOptionSet* set = FindSubOption(path, &index);
    return index >= 0 && set->GetDataValue(index, value);
}

KtUOptionSet* KtUOptionSet::GetSubOptions(const char* path) {
    if (!path || !*path) return this;
    int index;
    KtUOptionSet* set = FindSubOption(path, &index);
    return index >= 0 ? set->GetSubOptions(index) : nullptr;
}

// ---------------------------------------------------------------------------
// Lookup
// ---------------------------------------------------------------------------

const char* KtUOptionSet::NameAt(int index) {
    // A record-kept set's names are read straight from its records: lookups
    // are mostly this loop, and a virtual call per entry was a good part of it.
    const char* name =
        m_records ? m_records->Begin()[index]->GetName().GetString() : IGetName(index);
    return name ? name : "";
}

int KtUOptionSet::NumEntries() {
    return m_records ? m_records->Size() : IGetNumOptions();
}

int KtUOptionSet::FindOption(const char* name) {
    return name ? FindOption(name, static_cast<int>(std::strlen(name))) : -1;
}

int KtUOptionSet::FindOption(const char* name, int length) {
    int count = NumEntries();
    for (int i = 0; i < count; ++i) {
        const char* entry = NameAt(i);
        int at = 0;
        while (at < length && entry[at] == name[at]) // stops at entry's end too
            ++at;
        if (at == length && entry[at] == 0) return i;
    }
    return -1;
}

int KtUOptionSet::FindComponent(const char* path, const char** end) {
    int count = NumEntries();
    for (int i = 0; i < count; ++i) {
        const char* entry = NameAt(i);
        const char* at = path;
        while (*entry && *entry == *at && *at != '.')
            ++entry, ++at;
        if (*entry == 0 && (*at == '.' || *at == 0)) {
            *end = at;
            return i;
        }
    }
    return -1;
}

KtUOptionSet* KtUOptionSet::FindSubOption(const char* path, int* index) {
    // Walks down iteratively, one component at a time, without measuring or
    // copying the components. The sets on the way are held by their parents'
    // records, so no reference is needed while nothing is edited.
    *index = -1;
    if (!path) return this;
    KtUOptionSet* set = this;
    for (const char* rest = path;;) {
        if (*rest == '.') return set; // an empty component
        const char* end;
        int at = set->FindComponent(rest, &end);
        if (at < 0) return set;
        if (*end == 0) {
            *index = at;
            return set;
        }
        KtUOptionSet* sub = set->IGetValue(at, nullptr);
        if (!sub) return set; // a value where a set was needed
        set = sub;
        rest = end + 1;
    }
}

void KtUOptionSet::GetPath(KtUStringBuffer* out) {
    if (!m_parent) return;
    int before = out->GetLength();
    m_parent->GetPath(out);
    if (out->GetLength() != before) out->Append('.');
    out->Append(m_myName);
}

void KtUOptionSet::GetPath(int index, KtUStringBuffer* out) {
    int before = out->GetLength();
    GetPath(out);
    if (out->GetLength() != before) out->Append('.');
    const char* name = IGetName(index);
    out->Append(name ? name : "");
}

// ---------------------------------------------------------------------------
// Typed access
// ---------------------------------------------------------------------------

const KtUData* KtUOptionSet::FindValue(const char* path, KtUData::Type kind, KtUData* scratch) {
    int index;
    KtUOptionSet* set = FindSubOption(path, &index);
    if (index < 0) return nullptr;
    const KtUData* value = scratch;
    if (set->m_records) { // the record's own value, not a copy
        const KtUOptionData* record = set->m_records->Begin()[index];
        if (record->GetSubOptions()) return nullptr;
        value = &record->GetData();
    } else if (set->IGetValue(index, scratch)) {
        return nullptr;
    }
    return kind == KtUData::eNone || value->GetType() == kind ? value : nullptr;
}

int KtUOptionSet::TryGetData(const char* path, KtUData* out) {
    KtUData scratch;
    const KtUData* value = FindValue(path, KtUData::eNone, &scratch);
    if (!value) return 0;
    *out = *value;
    return 1;
}

// Each typed TryGet finds a value of exactly its kind and hands the slot
// out; a Get posts its failure under the options component.
#define KTU_OPTION_TRY_GET(Kind, Type, Read)                                                       \
    int KtUOptionSet::TryGet##Kind(const char* path, Type* out) {                                  \
        KtUData scratch;                                                                           \
        const KtUData* value = FindValue(path, KtUData::e##Kind, &scratch);                        \
        if (!value) return 0;                                                                      \
        *out = Read;                                                                               \
        return 1;                                                                                  \
    }
KTU_OPTION_TRY_GET(Int32, int, value->GetInt32())
KTU_OPTION_TRY_GET(Float, double, value->GetFloat())
KTU_OPTION_TRY_GET(LinearFloat, double, value->GetLinearFloat())
KTU_OPTION_TRY_GET(AngularFloat, double, value->GetAngularFloat())
KTU_OPTION_TRY_GET(Boolean, int, value->GetBoolean())
KTU_OPTION_TRY_GET(Time, KtUInt64, value->GetTime())
KTU_OPTION_TRY_GET(Name, KtUAutoRefPtr<KtUName>, value->GetName())
#undef KTU_OPTION_TRY_GET

int KtUOptionSet::TryGetWideString(const char* path, KtUWideStringBuffer* out) {
    KtUData scratch;
    const KtUData* value = FindValue(path, KtUData::eWideString, &scratch);
    if (!value) return 0;
    out->SetString(value->GetWideString());
    return 1;
}

namespace {
void PostCantGet(const char* kind, const char* path) {
    KtUError::Post(KtUSysError::eERROR, KtUOption::GetComponent(), "Can't get %s option %s", kind,
                   path ? path : "");
}
} // namespace

int KtUOptionSet::GetData(const char* path, KtUData* out) {
    if (TryGetData(path, out)) return 1;
    PostCantGet("Data", path);
    return 0;
}

#define KTU_OPTION_GET(Kind, Type, Failed)                                                         \
    Type KtUOptionSet::Get##Kind(const char* path) {                                               \
        Type value{};                                                                              \
        if (TryGet##Kind(path, &value)) return value;                                              \
        PostCantGet(#Kind, path);                                                                  \
        return Failed;                                                                             \
    }
KTU_OPTION_GET(Int32, int, 0)
KTU_OPTION_GET(Float, double, 0.0)
KTU_OPTION_GET(LinearFloat, double, 0.0)
KTU_OPTION_GET(AngularFloat, double, 0.0)
KTU_OPTION_GET(Boolean, int, 0)
KTU_OPTION_GET(Time, KtUInt64, 0)
KTU_OPTION_GET(Name, KtUAutoRefPtr<KtUName>, KtUAutoRefPtr<KtUName>())
#undef KTU_OPTION_GET

int KtUOptionSet::GetWideString(const char* path, KtUWideStringBuffer* out) {
    if (TryGetWideString(path, out)) return 1;
    PostCantGet("WideString", path);
    out->SetEmptyString();
    return 0;
}

int KtUOptionSet::SetKind(const char* path, const KtUData& value) {
    int index;
    KtUOptionSet* set = FindSubOption(path, &index);
    return index >= 0 && set->SetValue(index, value, nullptr);
}

int KtUOptionSet::SetData(const char* path, const KtUData& value) {
    return SetKind(path, value);
}
int KtUOptionSet::SetInt32(const char* path, int value) {
    return SetKind(path, KtUData::FromInt32(value));
}
int KtUOptionSet::SetFloat(const char* path, double value) {
    return SetKind(path, KtUData::FromFloat(value));
}
int KtUOptionSet::SetLinearFloat(const char* path, double value) {
    return SetKind(path, KtUData::FromLinearFloat(value));
}
int KtUOptionSet::SetAngularFloat(const char* path, double value) {
    return SetKind(path, KtUData::FromAngularFloat(value));
}
int KtUOptionSet::SetBoolean(const char* path, int value) {
    return SetKind(path, KtUData::FromBoolean(value));
}
int KtUOptionSet::SetWideString(const char* path, const KtUWChar* value) {
    return SetKind(path, KtUData::FromWideString(value));
}
int KtUOptionSet::SetTime(const char* path, KtUInt64 value) {
    return SetKind(path, KtUData::FromTime(value));
}
int KtUOptionSet::SetName(const char* path, KtUName* value) {
    return SetKind(path, KtUData::FromName(value));
}

// ---------------------------------------------------------------------------
// Changes
// ---------------------------------------------------------------------------

int KtUOptionSet::SetValue(int index, const KtUData& value, KtUWideStringBuffer* message) {
    KtUData current;
    if (IGetValue(index, &current) || current.GetType() != value.GetType()) {
        if (message) message->SetEmptyString();
        return 0;
    }
    if (current == value) return 1;
    if (!ISetValue(index, value, message)) return 0;
    ISetUserFlags(index, IGetUserFlags(index) & ~eUSER_DEFAULT);
    OnChange();
    return 1;
}

int KtUOptionSet::SetValue(const char* path, const KtUData& value, KtUWideStringBuffer* message) {
    int index;
    KtUOptionSet* set = FindSubOption(path, &index);
    if (index < 0) {
        if (message) message->SetEmptyString();
        return 0;
    }
    return set->SetValue(index, value, message);
}

void KtUOptionSet::OnChange() {
    ++m_changeId;
    if (m_parent) m_parent->OnChildChange(this);
}

void KtUOptionSet::OnChildChange(KtUOptionSet* child) {
    for (KtUOptionSet* set = this; set; child = set, set = set->m_parent) {
        if (child->IGetMyFlags() & eMY_ARRAY) {
            // An edited array is no longer the default array.
            int count = set->IGetNumOptions();
            for (int i = 0; i < count; ++i) {
                if (set->IGetValue(i, nullptr) == child) {
                    set->ISetUserFlags(i, set->IGetUserFlags(i) & ~eUSER_DEFAULT);
                    break;
                }
            }
        }
        ++set->m_changeId;
    }
}

// ---------------------------------------------------------------------------
// Display names
// ---------------------------------------------------------------------------

void KtUOptionSet::MakeInternalNameForResourceLookup(int index, KtUStringBuffer* out) {
    out->SetEmptyString();
    if (IGetFlags(index) & eFLAG_USER_NAME_BY_NAME) {
        out->Append("ktuopt:");
        const char* name = IGetName(index);
        out->Append(name ? name : "");
    } else {
        out->Append("ktuopt.");
        GetPath(index, out);
    }
}

const KtUWChar* KtUOptionSet::GetUserName(int index) {
    KtUStringBuffer key;
    MakeInternalNameForResourceLookup(index, &key);
    return KtUResource::FindString(key.GetString(), static_cast<const KtUWChar*>(nullptr));
}

int KtUOptionSet::EnumerateNameValues(int index, KtURefPtrVector<KtUName>* out) {
    KtUData value;
    if (IGetValue(index, &value) || !value.IsName() || !value.GetName()) return 0;
    KtUName* name = value.GetName();
    KtUStringBuffer base;
    int number;
    if (!KtUName::DecodeEnumName(name->GetName(), &number, &base)) {
        out->PushBack(name);
        return 1;
    }
    int added = 0;
    KtUStringBuffer internal;
    for (int n = 0;; ++n) {
        internal.SetEmptyString();
        KtUName::MakeEnumName(base.GetString(), n, &internal);
        const KtUWChar* user =
            KtUResource::FindString(internal.GetString(), static_cast<const KtUWChar*>(nullptr));
        if (!user) break;
        KtUAutoRefPtr<KtUName> made(new KtUName(internal.GetString(), user));
        if (!made) break;
        out->PushBack(made.Get());
        ++added;
    }
    return added;
}

void KtUOptionSet::ReapplyNameOverrides() {
    int count = IGetNumOptions();
    for (int i = 0; i < count; ++i) {
        KtUData value;
        if (KtUOptionSet* sub = IGetValue(i, &value))
            sub->ReapplyNameOverrides();
        else if (value.IsName() && value.GetName())
            value.GetName()->ReapplyOverride(); // the entry's own (shared) name object
    }
}

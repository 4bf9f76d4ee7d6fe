//===- KtUExOptionSet.cpp - Option set kept as records in memory ----------===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionValidator.h>
#include <ktutil/KtUStringBuffer.h>

#include <cstring>

KtUExOptionSet::~KtUExOptionSet() {
    for (int i = 0; i < m_options.Size(); ++i)
        Detach(m_options[i]);
    // m_options deletes the records, releasing nested sets and validators.
}

bool KtUExOptionSet::CheckIndex(int index, bool end_ok, const char* what) {
    int limit = m_options.Size() + (end_ok ? 1 : 0);
    if (index >= 0 && index < limit) return true;
    KtUError::Post(KtUSysError::ePRECONDITION, KtUOption::GetComponent(),
                   "KtUExOptionSet::%s: index %d out of range (%d entries)", what, index,
                   m_options.Size());
    return false;
}

KtUOptionData* KtUExOptionSet::GetOptionData(int index) {
    return CheckIndex(index, false, "GetOptionData") ? m_options.Begin()[index] : nullptr;
}

// Applies the rules of a record joining this set: arrays hold no defaults,
// and a nested set learns its parent and name.
void KtUExOptionSet::Adopt(KtUOptionData* record) {
    KtUOptionSet* sub = record->GetSubOptions();
    if (m_myFlags & eMY_ARRAY) {
        record->SetUserFlags(record->GetUserFlags() & ~eUSER_DEFAULT);
        if (sub) sub->SetDefaultOnAll(0);
    }
    if (sub) {
        sub->SetParent(this);
        sub->SetMyName(record->GetName().GetString());
    }
}

// A record leaving a set first lets go of its nested set's back link.
void KtUExOptionSet::Detach(KtUOptionData* record) {
    if (KtUOptionSet* sub = record->GetSubOptions()) {
        sub->SetParent(nullptr);
        sub->SetMyName(nullptr);
    }
}

void KtUExOptionSet::AddOptionOwn(KtUOptionData* record) {
    InsertOptionOwn(m_options.Size(), record);
}

void KtUExOptionSet::InsertOptionOwn(int index, KtUOptionData* record) {
    if (!record) return;
    if (!CheckIndex(index, true, "InsertOption")) {
        delete record;
        return;
    }
    int before = m_options.Size();
    m_options.InsertOwn(m_options.Begin() + index, record);
    if (m_options.Size() == before) { // out of memory: the record is not kept
        delete record;
        return;
    }
    Adopt(record);
    OnChange();
}

void KtUExOptionSet::ReplaceOptionOwn(int index, KtUOptionData* record) {
    if (!record) return;
    if (!CheckIndex(index, false, "ReplaceOption")) {
        delete record;
        return;
    }
    Detach(m_options[index]);
    m_options.ReplaceOwn(m_options.Begin() + index, record);
    Adopt(record);
    OnChange();
}

void KtUExOptionSet::AddOptionCopy(const KtUOptionData& record) {
    AddOptionOwn(new KtUOptionData(record));
}

void KtUExOptionSet::InsertOptionCopy(int index, const KtUOptionData& record) {
    InsertOptionOwn(index, new KtUOptionData(record));
}

void KtUExOptionSet::ReplaceOptionCopy(int index, const KtUOptionData& record) {
    ReplaceOptionOwn(index, new KtUOptionData(record));
}

void KtUExOptionSet::RemoveOption(int index) {
    if (!CheckIndex(index, false, "RemoveOption")) return;
    Detach(m_options[index]);
    m_options.Erase(m_options.Begin() + index);
    OnChange();
}

void KtUExOptionSet::EndEdit() {
    for (int i = 0; i < m_options.Size(); ++i)
        Adopt(m_options[i]);
    OnChange();
}

// ---------------------------------------------------------------------------
// The "I" operations
// ---------------------------------------------------------------------------

const char* KtUExOptionSet::IGetName(int index) {
    const char* name = m_options[index]->GetName().GetString();
    return name ? name : "";
}

const char* KtUExOptionSet::IGetClassName(int index) {
    const char* name = m_options[index]->GetClassName().GetString();
    return name ? name : "";
}

unsigned KtUExOptionSet::IGetFlags(int index) {
    return m_options[index]->GetFlags();
}

unsigned KtUExOptionSet::IGetUserFlags(int index) {
    return m_options[index]->GetUserFlags();
}

void KtUExOptionSet::ISetUserFlags(int index, unsigned flags) {
    m_options[index]->SetUserFlags(flags);
}

KtUOptionSet::Profile KtUExOptionSet::IGetProfile(int index) {
    return m_options[index]->GetProfile();
}

int KtUExOptionSet::IIsDisabled(int index, KtUData* value) {
    KtUOptionValidator* validator = m_options[index]->GetValidator();
    return validator ? validator->IsDisabled(this, index, value) : 0;
}

int KtUExOptionSet::IGetRange(int index, KtUData* min, KtUData* max) {
    KtUOptionValidator* validator = m_options[index]->GetValidator();
    return validator ? validator->GetRange(this, index, min, max) : 0;
}

KtUOptionSet* KtUExOptionSet::IGetValue(int index, KtUData* value) {
    KtUOptionData* record = m_options[index];
    if (value) *value = record->GetData();
    return record->GetSubOptions();
}

int KtUExOptionSet::ISetValue(int index, const KtUData& value, KtUWideStringBuffer* message) {
    KtUOptionData* record = m_options[index];
    KtUOptionValidator* validator = record->GetValidator();
    if (validator && !validator->IsValidValue(this, index, value, message)) return 0;
    record->SetData(value);
    return 1;
}

const char* KtUExOptionSet::IGetHelpId() {
    return m_helpId.IsEmpty() ? nullptr : m_helpId.GetString();
}

int KtUExOptionSet::IArrayInsert(int index) {
    int count = m_options.Size();
    if (index < 0 || index > count || count == 0) return 0;
    KtUOptionData* copy = CopyOption(index == count ? count - 1 : index);
    if (!copy) return 0;
    int before = m_options.Size();
    InsertOptionOwn(index, copy);
    return m_options.Size() != before;
}

int KtUExOptionSet::IArrayRemove(int index) {
    if (index < 0 || index >= m_options.Size()) return 0;
    RemoveOption(index);
    return 1;
}

// ---------------------------------------------------------------------------
// Definitions
// ---------------------------------------------------------------------------

KtUExOptionSet* KtUExOptionSet::CreatePath(const char* path, const char** last) {
    if (!path || !*path) return nullptr;
    // Walk the sets that exist already; a value in the way means the path
    // is taken.
    KtUOptionSet* set = this;
    const char* rest = path;
    const char* dot;
    while ((dot = std::strchr(rest, '.')) != nullptr) {
        if (dot == rest) return nullptr; // empty component
        int at = set->FindOption(rest, static_cast<int>(dot - rest));
        if (at < 0) break;
        set = set->GetSubOptions(at);
        if (!set) return nullptr;
        rest = dot + 1;
    }
    auto* holder = dynamic_cast<KtUExOptionSet*>(set);
    if (!holder) return nullptr; // storage that can't take new entries
    // Create the missing sets, each inheriting bit 0x1 under 0x100.
    while ((dot = std::strchr(rest, '.')) != nullptr) {
        if (dot == rest) return nullptr; // the sets made so far stay
        auto* child = new KtUExOptionSet;
        auto* record = child ? new KtUOptionData : nullptr;
        if (!record) {
            delete child;
            return nullptr;
        }
        if (holder->m_myFlags & eMY_INHERIT) child->m_myFlags = holder->m_myFlags & eMY_INHERITED;
        KtUStringBuffer name;
        name.Append(rest, static_cast<int>(dot - rest));
        record->SetName(name.GetString());
        record->SetSubOptions(child);
        int before = holder->m_options.Size();
        holder->AddOptionOwn(record);
        if (holder->m_options.Size() == before) return nullptr;
        holder = child;
        rest = dot + 1;
    }
    if (!*rest || holder->FindOption(rest) >= 0) return nullptr;
    *last = rest;
    return holder;
}

namespace {
void PostDefineFailure(const char* what, const char* path) {
    KtUError::Post(KtUSysError::eERROR, KtUOption::GetComponent(),
                   "KtUExOptionSet::%s: Option malformed or already defined: %s", what,
                   path ? path : "");
}
} // namespace

void KtUExOptionSet::DefineData(const char* path, const KtUData& value, Profile profile,
                                unsigned flags, const char* className,
                                KtUOptionValidator* validator) {
    KtUAutoRefPtr<KtUOptionValidator> hold(validator); // a refused validator is freed
    const char* last;
    KtUExOptionSet* set = CreatePath(path, &last);
    auto* record = set ? new KtUOptionData(last, value) : nullptr;
    if (!record) {
        PostDefineFailure("Define", path);
        return;
    }
    record->SetUserFlags(eUSER_DEFAULT);
    record->SetFlags(flags);
    record->SetProfile(profile);
    record->SetClassName(className);
    record->SetValidator(validator);
    set->AddOptionOwn(record);
}

#define KTU_EX_DEFINE(Kind, Type)                                                                  \
    void KtUExOptionSet::Define##Kind(const char* path, Type value, Profile profile,               \
                                      unsigned flags, const char* className,                       \
                                      KtUOptionValidator* validator) {                             \
        DefineData(path, KtUData::From##Kind(value), profile, flags, className, validator);        \
    }
KTU_EX_DEFINE(Int32, int)
KTU_EX_DEFINE(Float, double)
KTU_EX_DEFINE(LinearFloat, double)
KTU_EX_DEFINE(AngularFloat, double)
KTU_EX_DEFINE(Boolean, int)
KTU_EX_DEFINE(WideString, const KtUWChar*)
KTU_EX_DEFINE(Time, KtUInt64)
KTU_EX_DEFINE(Name, KtUName*)
#undef KTU_EX_DEFINE

void KtUExOptionSet::DefineSet(const char* path, KtUOptionSet* set, Profile profile, unsigned flags,
                               const char* className) {
    KtUAutoRefPtr<KtUOptionSet> hold(set);
    const char* last;
    KtUExOptionSet* holder = set ? CreatePath(path, &last) : nullptr;
    auto* record = holder ? new KtUOptionData : nullptr;
    if (!record) {
        PostDefineFailure("DefineSet", path);
        return;
    }
    set->SetDefaultOnAll(1);
    record->SetName(last);
    record->SetSubOptions(set);
    record->SetUserFlags(eUSER_DEFAULT);
    record->SetFlags(flags);
    record->SetProfile(profile);
    record->SetClassName(className);
    holder->AddOptionOwn(record);
}

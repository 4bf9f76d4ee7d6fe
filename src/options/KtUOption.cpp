//===- KtUOption.cpp - The process-wide option trees under one lock -------===//
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionLock.h>
#include <ktutil/KtUOptionValidator.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysLock.h>
#include <ktutil/KtUSysRegistry.h>

#include "foundation/component.h"

#include <atomic>
#include <cstring>

namespace {

struct OptionState {
    KtUSysLock lock; // recursive: validators and hosts call back in
    KtUExOptionSet* current = nullptr;
    KtUExOptionSet* defaults = nullptr;
    KtUOptionSet* saved = nullptr;
    std::atomic<bool> computedDisabled{false};
};
OptionState g;

KtUComponent s_component;

void SetUp() {
    g.lock.Create();
    g.current = new KtUExOptionSet;
    g.defaults = new KtUExOptionSet;
    if (g.current) g.current->Ref();
    if (g.defaults) g.defaults->Ref();
    g.saved = nullptr;
}

bool TearDown() {
    for (KtUOptionSet** set : {reinterpret_cast<KtUOptionSet**>(&g.current),
                               reinterpret_cast<KtUOptionSet**>(&g.defaults), &g.saved}) {
        if (*set) (*set)->Unref();
        *set = nullptr;
    }
    g.lock.Destroy();
    return true;
}

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUOption",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUMemory, KtUResource, KtUSysRegistry, KtUData>,
    .set_up = SetUp,
    .tear_down = TearDown,
};

// Holds the option lock for one operation; false (after a loud report)
// when the component is not initialised.
class Held {
public:
    explicit Held(const char* what) : m_ok(g.current && g.defaults) {
        if (m_ok) {
            g.lock.Lock();
        } else {
            KtUError::Post(KtUSysError::ePRECONDITION, &s_component,
                           "KtUOption::%s: KtUOption is not initialised", what);
        }
    }
    ~Held() {
        if (m_ok) g.lock.Unlock();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    explicit operator bool() const { return m_ok; }

private:
    bool m_ok;
};

void PostPath(KtUSysError::Severity severity, const char* text, const char* path) {
    KtUError::Post(severity, &s_component, "%s%s", text, path ? path : "");
}

// The defaults copy of a set being hung at path: every entry marked as
// default, then the saved values at path merged into the set (value, default
// flag and mark) and the saved defaults into the copy (mark only).
KtUExOptionSet* PrepareDefaults(const char* path, KtUOptionSet* set) {
    set->SetDefaultOnAll(1);
    KtUExOptionSet* copy = set->Copy(0);
    if (!copy || !g.saved) return copy;
    KtUOptionSet* saved = g.saved->GetSubOptions(path);
    if (!saved || saved == g.saved) return copy;
    set->SetValues(saved, KtUOptionSet::eMERGE_DEFAULT_KEEP_EQUAL | KtUOptionSet::eMERGE_MARK_COPY);
    KtUAutoRefPtr<KtUExOptionSet> savedDefaults(saved->Copy(KtUOptionSet::eCOPY_DEFAULT_ONLY));
    if (savedDefaults) copy->SetValues(savedDefaults.Get(), KtUOptionSet::eMERGE_MARK_COPY);
    return copy;
}

KtUOptionData* NewSetRecord(const char* name, KtUOptionSet* set, KtUOptionSet::Profile profile,
                            unsigned flags, const char* className) {
    auto* record = new KtUOptionData;
    if (!record) return nullptr;
    record->SetName(name);
    record->SetSubOptions(set);
    record->SetUserFlags(KtUOptionSet::eUSER_DEFAULT);
    record->SetFlags(flags);
    record->SetProfile(profile);
    record->SetClassName(className);
    return record;
}

// The record-kept set holding the entry at path in root, and its index.
KtUExOptionSet* FindInEx(KtUOptionSet* root, const char* path, int* index) {
    KtUOptionSet* set = root->FindSubOption(path, index);
    return *index >= 0 ? dynamic_cast<KtUExOptionSet*>(set) : nullptr;
}

// Makes entry index of set hold sub, detaching the set it held.
void HangSet(KtUExOptionSet* set, int index, KtUOptionSet* sub) {
    KtUOptionData* record = set->GetOptionData(index);
    if (KtUOptionSet* old = record->GetSubOptions()) {
        old->SetParent(nullptr);
        old->SetMyName(nullptr);
    }
    record->SetSubOptions(sub);
    set->EndEdit();
}

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUOption, kComponent)

KtUComponent* KtUOption::GetComponent() {
    return &s_component;
}

void KtUOption::Lock() {
    if (g.current)
        g.lock.Lock();
    else
        KtUError::Post(KtUSysError::ePRECONDITION, &s_component,
                       "KtUOptionLock: KtUOption is not initialised");
}

void KtUOption::Unlock() {
    if (g.current) g.lock.Unlock();
}

KtUOptionLock::KtUOptionLock() {
    KtUOption::Lock();
}

KtUOptionLock::~KtUOptionLock() {
    KtUOption::Unlock();
}

// ---------------------------------------------------------------------------
// Definitions
// ---------------------------------------------------------------------------

void KtUOption::DefineData(const char* path, const KtUData& value, Profile profile, unsigned flags,
                           const char* className, KtUOptionValidator* validator) {
    KtUAutoRefPtr<KtUOptionValidator> hold(validator); // freed if the definition fails
    Held held("DefineData");
    if (!held) return;
    const char* last;
    KtUExOptionSet* current = g.current->CreatePath(path, &last);
    KtUExOptionSet* defaults = current ? g.defaults->CreatePath(path, &last) : nullptr;
    auto* record = defaults ? new KtUOptionData(last, value) : nullptr;
    if (!record) {
        PostPath(KtUSysError::eERROR, "Option malformed or already defined: ", path);
        return;
    }
    record->SetUserFlags(KtUOptionSet::eUSER_DEFAULT);
    if (g.saved) {
        int index;
        KtUOptionSet* set = g.saved->FindSubOption(path, &index);
        KtUData saved;
        if (index >= 0 && !set->GetValue(index, &saved) && saved.GetType() == value.GetType() &&
            saved != value) {
            record->SetData(saved);
            record->SetUserFlags(set->GetUserFlags(index));
        }
    }
    record->SetProfile(profile);
    record->SetFlags(flags);
    record->SetClassName(className);
    record->SetValidator(validator);
    current->AddOptionOwn(record);

    auto* copy = new KtUOptionData(*record);
    if (!copy) return;
    if (!(copy->GetUserFlags() & KtUOptionSet::eUSER_DEFAULT)) {
        copy->SetUserFlags(KtUOptionSet::eUSER_DEFAULT);
        copy->SetData(value);
    }
    defaults->AddOptionOwn(copy);
}

#define KTU_OPTION_DEFINE(Kind, Type)                                                              \
    void KtUOption::Define##Kind(const char* path, Type value, Profile profile, unsigned flags,    \
                                 const char* className, KtUOptionValidator* validator) {           \
        DefineData(path, KtUData::From##Kind(value), profile, flags, className, validator);        \
    }
KTU_OPTION_DEFINE(Int32, int)
KTU_OPTION_DEFINE(Float, double)
KTU_OPTION_DEFINE(LinearFloat, double)
KTU_OPTION_DEFINE(AngularFloat, double)
KTU_OPTION_DEFINE(Boolean, int)
KTU_OPTION_DEFINE(WideString, const KtUWChar*)
KTU_OPTION_DEFINE(Time, KtUInt64)
KTU_OPTION_DEFINE(Name, KtUName*)
#undef KTU_OPTION_DEFINE

// Define, then read back under the same hold; the given value when the
// definition failed and nothing can be read.
#define KTU_OPTION_DEFINE_GET(Kind, Type)                                                          \
    Type KtUOption::DefineGet##Kind(const char* path, Type value, Profile profile, unsigned flags, \
                                    const char* className, KtUOptionValidator* validator) {        \
        Held held("DefineGet" #Kind);                                                              \
        if (!held) return value;                                                                   \
        Define##Kind(path, value, profile, flags, className, validator);                           \
        Type current = value;                                                                      \
        g.current->TryGet##Kind(path, &current);                                                   \
        return current;                                                                            \
    }
KTU_OPTION_DEFINE_GET(Int32, int)
KTU_OPTION_DEFINE_GET(Float, double)
KTU_OPTION_DEFINE_GET(Boolean, int)
#undef KTU_OPTION_DEFINE_GET

void KtUOption::DefineSet(const char* path, KtUOptionSet* set, Profile profile, unsigned flags,
                          const char* className) {
    KtUAutoRefPtr<KtUOptionSet> hold(set);
    Held held("DefineSet");
    if (!held) return;
    const char* last = nullptr;
    KtUExOptionSet* current = set ? g.current->CreatePath(path, &last) : nullptr;
    KtUExOptionSet* defaults = current ? g.defaults->CreatePath(path, &last) : nullptr;
    if (!defaults) {
        PostPath(KtUSysError::eERROR, "Option malformed or already defined: ", path);
        return;
    }
    KtUAutoRefPtr<KtUExOptionSet> copy(PrepareDefaults(path, set));
    if (copy) defaults->AddOptionOwn(NewSetRecord(last, copy.Get(), profile, flags, className));
    current->AddOptionOwn(NewSetRecord(last, set, profile, flags, className));
}

void KtUOption::DefineSetFlags(const char* path, unsigned flags) {
    Held held("DefineSetFlags");
    if (!held) return;
    // Creating "<path>.X" makes every set of path without defining X.
    KtUStringBuffer probe;
    probe.Append(path ? path : "");
    probe.Append(".X");
    const char* last;
    KtUExOptionSet* current = g.current->CreatePath(probe.GetString(), &last);
    KtUExOptionSet* defaults = current ? g.defaults->CreatePath(probe.GetString(), &last) : nullptr;
    if (!defaults) {
        PostPath(KtUSysError::eERROR, "Path to set malformed: ", path);
        return;
    }
    current->SetMyFlags(current->GetMyFlags() | flags);
}

void KtUOption::Undefine(const char* path) {
    Held held("Undefine");
    if (!held) return;
    int index;
    KtUOptionSet* set = g.current->FindSubOption(path, &index);
    if (index < 0) {
        PostPath(KtUSysError::eERROR, "Option malformed or not defined: ", path);
        return;
    }
    auto* ex = dynamic_cast<KtUExOptionSet*>(set);
    if (!ex) {
        PostPath(KtUSysError::eERROR, "Can't undefine option unless in KtUExOptionSet: ", path);
        return;
    }
    ex->RemoveOption(index);
    if (KtUExOptionSet* defaults = FindInEx(g.defaults, path, &index))
        defaults->RemoveOption(index);
}

void KtUOption::RedefineSet(const char* path, KtUOptionSet* set) {
    KtUAutoRefPtr<KtUOptionSet> hold(set);
    Held held("RedefineSet");
    if (!held) return;
    int index;
    KtUOptionSet* found = g.current->FindSubOption(path, &index);
    if (index < 0 || !set) {
        PostPath(KtUSysError::eERROR, "Option malformed or not defined: ", path);
        return;
    }
    auto* ex = dynamic_cast<KtUExOptionSet*>(found);
    if (!ex) {
        PostPath(KtUSysError::eERROR, "Can't redefine option unless in KtUExOptionSet: ", path);
        return;
    }
    KtUAutoRefPtr<KtUExOptionSet> copy(PrepareDefaults(path, set));
    HangSet(ex, index, set);
    int defaultsIndex;
    if (KtUExOptionSet* defaults = FindInEx(g.defaults, path, &defaultsIndex))
        HangSet(defaults, defaultsIndex, copy.Get());
}

// ---------------------------------------------------------------------------
// The current tree by path
// ---------------------------------------------------------------------------

// Each reader and writer runs the set member of the same name on the
// current root, holding the lock.
#define KTU_OPTION_FORWARD(Result, Name, Failed, Params, Args)                                     \
    Result KtUOption::Name Params {                                                                \
        Held held(#Name);                                                                          \
        if (!held) return Failed;                                                                  \
        return g.current->Name Args;                                                               \
    }
KTU_OPTION_FORWARD(int, GetData, 0, (const char* path, KtUData* out), (path, out))
KTU_OPTION_FORWARD(int, GetInt32, 0, (const char* path), (path))
KTU_OPTION_FORWARD(double, GetFloat, 0.0, (const char* path), (path))
KTU_OPTION_FORWARD(double, GetLinearFloat, 0.0, (const char* path), (path))
KTU_OPTION_FORWARD(double, GetAngularFloat, 0.0, (const char* path), (path))
KTU_OPTION_FORWARD(int, GetBoolean, 0, (const char* path), (path))
KTU_OPTION_FORWARD(int, GetWideString, 0, (const char* path, KtUWideStringBuffer* out), (path, out))
KTU_OPTION_FORWARD(KtUInt64, GetTime, 0, (const char* path), (path))
KTU_OPTION_FORWARD(KtUAutoRefPtr<KtUName>, GetName, KtUAutoRefPtr<KtUName>(), (const char* path),
                   (path))
KTU_OPTION_FORWARD(int, TryGetData, 0, (const char* path, KtUData* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetInt32, 0, (const char* path, int* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetFloat, 0, (const char* path, double* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetLinearFloat, 0, (const char* path, double* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetAngularFloat, 0, (const char* path, double* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetBoolean, 0, (const char* path, int* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetWideString, 0, (const char* path, KtUWideStringBuffer* out),
                   (path, out))
KTU_OPTION_FORWARD(int, TryGetTime, 0, (const char* path, KtUInt64* out), (path, out))
KTU_OPTION_FORWARD(int, TryGetName, 0, (const char* path, KtUAutoRefPtr<KtUName>* out), (path, out))
KTU_OPTION_FORWARD(int, SetData, 0, (const char* path, const KtUData& value), (path, value))
KTU_OPTION_FORWARD(int, SetInt32, 0, (const char* path, int value), (path, value))
KTU_OPTION_FORWARD(int, SetFloat, 0, (const char* path, double value), (path, value))
KTU_OPTION_FORWARD(int, SetLinearFloat, 0, (const char* path, double value), (path, value))
KTU_OPTION_FORWARD(int, SetAngularFloat, 0, (const char* path, double value), (path, value))
KTU_OPTION_FORWARD(int, SetBoolean, 0, (const char* path, int value), (path, value))
KTU_OPTION_FORWARD(int, SetWideString, 0, (const char* path, const KtUWChar* value), (path, value))
KTU_OPTION_FORWARD(int, SetTime, 0, (const char* path, KtUInt64 value), (path, value))
KTU_OPTION_FORWARD(int, SetName, 0, (const char* path, KtUName* value), (path, value))
#undef KTU_OPTION_FORWARD

int KtUOption::SetHelpIdForSet(const char* path, const char* helpId) {
    Held held("SetHelpIdForSet");
    if (!held) return 0;
    auto* set = dynamic_cast<KtUExOptionSet*>(g.current->GetSubOptions(path));
    if (!set) return 0;
    set->SetHelpId(helpId);
    return 1;
}

// ---------------------------------------------------------------------------
// Direct access (the caller holds a KtUOptionLock)
// ---------------------------------------------------------------------------

KtUOptionSet* KtUOption::GetRoot(const KtUOptionLock&) {
    return g.current;
}

KtUOptionSet* KtUOption::GetSet(const char* path, const KtUOptionLock&) {
    return g.current ? g.current->GetSubOptions(path) : nullptr;
}

KtUOptionSet* KtUOption::GetOption(const char* path, const KtUOptionLock&, int* index) {
    *index = -1;
    return g.current ? g.current->FindSubOption(path, index) : nullptr;
}

KtUOptionSet* KtUOption::GetDefaultsRoot(const KtUOptionLock&) {
    return g.defaults;
}

KtUOptionSet* KtUOption::GetDefaultsSet(const char* path, const KtUOptionLock&) {
    return g.defaults ? g.defaults->GetSubOptions(path) : nullptr;
}

KtUOptionSet* KtUOption::GetDefaultsOption(const char* path, const KtUOptionLock&, int* index) {
    *index = -1;
    return g.defaults ? g.defaults->FindSubOption(path, index) : nullptr;
}

// ---------------------------------------------------------------------------
// Defaults and saved values
// ---------------------------------------------------------------------------

void KtUOption::ResetToDefaults(const char* path) {
    Held held("ResetToDefaults");
    if (!held) return;
    int index, defaultsIndex;
    KtUOptionSet* set = g.current->FindSubOption(path, &index);
    KtUOptionSet* defaults = g.defaults->FindSubOption(path, &defaultsIndex);
    if (index < 0 || defaultsIndex < 0) {
        KtUError::Log("KtUOption::ResetToDefaults(%s) - no default set, should have been guarded "
                      "with KtUOption::HasDefaults\n",
                      path ? path : "");
        return;
    }
    KtUOptionSet::MergeStatus status =
        set->SetValue(index, defaults, defaultsIndex,
                      KtUOptionSet::eMERGE_DEFAULT_COPY | KtUOptionSet::eMERGE_MARK_COPY);
    if (status)
        KtUError::Log("KtUOption::ResetToDefaults(%s) failed with status %d\n", path,
                      static_cast<int>(status));
}

int KtUOption::HasDefaults(const char* path) {
    // Takes the lock too (it is cheap and re-entrant), so that a concurrent
    // definition can't be seen half made.
    Held held("HasDefaults");
    if (!held) return 0;
    int index;
    g.defaults->FindSubOption(path, &index);
    return index >= 0;
}

void KtUOption::SetSavedValues(KtUOptionSet* saved) {
    KtUAutoRefPtr<KtUOptionSet> hold(saved);
    Held held("SetSavedValues");
    if (!held) return;
    if (saved) saved->Ref();
    if (g.saved) g.saved->Unref();
    g.saved = saved;
    if (!saved) return;
    unsigned flags = KtUOptionSet::eMERGE_DEFAULT_KEEP_EQUAL | KtUOptionSet::eMERGE_MARK_COPY;
    if (KtUOptionSet::MergeStatus status = g.current->SetValues(saved, flags))
        KtUError::Post(KtUSysError::eWARNING, &s_component, "Failed to set saved values, error %u",
                       status);
    KtUAutoRefPtr<KtUExOptionSet> savedDefaults(saved->Copy(KtUOptionSet::eCOPY_DEFAULT_ONLY));
    if (!savedDefaults) return;
    if (KtUOptionSet::MergeStatus status =
            g.defaults->SetValues(savedDefaults.Get(), KtUOptionSet::eMERGE_MARK_COPY))
        KtUError::Post(KtUSysError::eWARNING, &s_component,
                       "Failed to set saved default values, error %u", status);
}

void KtUOption::ReapplyNameOverrides() {
    Held held("ReapplyNameOverrides");
    if (!held) return;
    if (g.saved) g.saved->ReapplyNameOverrides();
    g.current->ReapplyNameOverrides();
    g.defaults->ReapplyNameOverrides();
}

void KtUOption::RemovePathHead(const char* path, KtUStringBuffer* last, KtUStringBuffer* head) {
    if (last) last->SetEmptyString();
    if (head) head->SetEmptyString();
    if (!path) return;
    const char* dot = std::strrchr(path, '.');
    if (!dot) {
        if (last) last->Append(path);
        return;
    }
    if (last) last->Append(dot + 1);
    if (head) head->Append(path, static_cast<int>(dot - path));
}

void KtUOption::DisableComputedOptions(bool disable) {
    g.computedDisabled.store(disable, std::memory_order_relaxed);
}

bool KtUOption::AreComputedOptionsDisabled() {
    return g.computedDisabled.load(std::memory_order_relaxed);
}

//===- KtUName.cpp - Reference-counted internal/user name pair -------------===//
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameDict.h>
#include <ktutil/KtUReadStream.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUStream.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWriteStream.h>

#include "foundation/component.h"

#include <climits>
#include <cstring>

namespace {

KtUName::WriteCallback s_writer = nullptr;
KtUName::ReadCallback s_reader = nullptr;

KtUComponent s_component;

bool TearDown() {
    s_writer = nullptr;
    s_reader = nullptr;
    return true;
}

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUName",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString, KtUResource>,
    .tear_down = TearDown,
};

constexpr const char* kStandardNames[KtUName::eNumStandardNames] = {
    "KtOaSceneBaseUserName",
    "KtOaSceneBaseClassUserName",
    "KtOaSceneBaseClassName",
    "KtOaNode",
    "KtOaMaterial",
    "KtOaTransform",
    "KtOaURLAttribute",
    "KtOaXRefAttribute",
    "KtOaTextAttributeText",
    "KtOaPartitionFilename",
    "KtOaUnit",
    "KtOaURLCategoryHyperlink",
    "KtOaURLCategoryTag",
    "KtOaURLCategoryUserDefined",
    "KtOaNodeHidden",
    "KtOaNodeRequired",
    "KtOaPartitionSourceFilename",
    "KtOaNodeLayer",
    "KtOaNodeMaterial",
    "KtOaNodeSourceFile",
    "KtOaNodeIcon",
    "KtOaXRefAttributePath",
    "KtOaNodeGuid",
};

/// The override's user name for internal, or null. One hash lookup in the
/// localised strings; nothing is allocated.
const KtUWChar* FindOverride(const char* internal) {
    if (!internal) return nullptr;
    return KtUResource::FindString(internal, static_cast<const KtUWChar*>(nullptr));
}

/// Marks a stream that has not failed yet as failed with a parse error.
void FailNoCallback(KtUStream* stream) {
    if (stream && !stream->IsError()) stream->SetError(KtUStream::ePARSE_ERROR);
}

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUName, kComponent)

KtUComponent* KtUName::GetComponent() {
    return &s_component;
}

// ---- Construction ------------------------------------------------------------

KtUName::KtUName(const char* internal, const KtUWChar* user) : m_internal(internal) {
    AssignUserName(user);
}

KtUName::KtUName(const KtUWChar* user, const char* internal) : m_internal(internal) {
    AssignUserName(user);
}

KtUName::KtUName(int value, const char* base, const KtUWChar* user) {
    KtUStringBuffer internal;
    MakeEnumName(base, value, &internal);
    m_internal.SetString(internal);
    AssignUserName(user);
}

void KtUName::AssignUserName(const KtUWChar* user) {
    const KtUWChar* override = FindOverride(m_internal.GetString());
    m_user.SetString(override ? override : user);
    if (m_user.IsNull() && !m_internal.IsNull()) {
        KtUWideStringBuffer derived;
        derived.SetFromUTF8String(m_internal.GetString());
        if (derived.IsNull())
            m_user.SetEmptyString();
        else
            m_user.SetString(derived);
    }
}

void KtUName::SetName(const char* internal) {
    m_internal.SetString(internal);
    AssignUserName(m_user.GetString());
}

void KtUName::SetUserName(const KtUWChar* user) {
    if (!FindOverride(m_internal.GetString())) m_user.SetString(user);
}

void KtUName::ReapplyOverride() {
    if (const KtUWChar* override = FindOverride(m_internal.GetString())) m_user.SetString(override);
}

void KtUName::Unref() {
    if (m_refs < 2)
        delete this;
    else
        --m_refs;
}

bool KtUName::operator==(const KtUName& other) const {
    return this == &other || (m_internal == other.m_internal && m_user == other.m_user);
}

unsigned KtUName::CalcHashCode() const {
    KtUChecksum sum;
    AddToChecksum(&sum);
    return sum.End();
}

void KtUName::AddToChecksum(KtUChecksum* sum) const {
    sum->AddWideString(m_user);
    sum->AddString(m_internal);
}

// ---- Enumeration names -------------------------------------------------------

void KtUName::MakeEnumName(const char* base, int value, KtUStringBuffer* out) {
    out->Format("%s:%d", base ? base : "", value);
}

KtUName* KtUName::MakeEnumName(const char* base, int value) {
    return new KtUName(value, base, nullptr);
}

int KtUName::DecodeEnumName(const char* name, int* value, KtUStringBuffer* base) {
    if (!name) return 0;
    int length = static_cast<int>(std::strlen(name));
    if (length < 2) return 0;
    // Back from the end over digits to the colon; the colon may not be the
    // first character, so the base is never empty.
    int colon = length - 1;
    for (;; --colon) {
        if (colon == 0) return 0;
        char c = name[colon];
        if (c == ':') break;
        if (c < '0' || c > '9') return 0;
    }
    if (colon == length - 1) return 0;
    long long number = 0;
    for (const char* p = name + colon + 1; *p; ++p)
        if (number <= INT_MAX) number = number * 10 + (*p - '0');
    if (value) *value = number > INT_MAX ? INT_MAX : static_cast<int>(number);
    if (base) base->SetString(name, colon);
    return 1;
}

int KtUName::DecodeEnumName(const KtUString& name, int* value, KtUStringBuffer* base) {
    return DecodeEnumName(name.GetString(), value, base);
}

int KtUName::GetInt() const {
    int value = 0;
    return DecodeEnumName(m_internal, &value, nullptr) ? value : 0;
}

void KtUName::ExtractBaseName(KtUStringBuffer* out) const {
    if (!DecodeEnumName(m_internal, nullptr, out)) out->SetString(m_internal);
}

// ---- Standard names ----------------------------------------------------------

const char* KtUName::StandardInternalName(StandardNameEnum which) {
    if (which < 0 || which >= eNumStandardNames) return nullptr;
    return kStandardNames[which];
}

void KtUName::StandardUserName(StandardNameEnum which, KtUWideStringBuffer* out) {
    const char* internal = StandardInternalName(which);
    if (!internal || !KtUResource::FindString(internal, out)) out->SetEmptyString();
}

KtUName* KtUName::StandardName(StandardNameEnum which, KtUNameDict* dict) {
    const char* internal = StandardInternalName(which);
    if (!internal) return nullptr;
    return KtUNameDict::Find(static_cast<const KtUWChar*>(nullptr), internal, dict);
}

// ---- Overrides ---------------------------------------------------------------

void KtUName::AddOverride(const char* internal, const KtUWChar* user) {
    KtUResource::AddString(internal, user);
}

int KtUName::GetOverride(const char* internal, KtUWideStringBuffer* out) {
    const KtUWChar* override = FindOverride(internal);
    if (!override) return 0;
    out->SetString(override);
    if (out->IsNull()) out->SetEmptyString();
    return 1;
}

const KtUWChar* KtUName::GetOverride(const char* internal, const KtUWChar* fallback) {
    const KtUWChar* override = FindOverride(internal);
    return override ? override : fallback;
}

// ---- Streams -----------------------------------------------------------------

void KtUName::SetReadWriteCallbacks(WriteCallback writer, ReadCallback reader) {
    s_writer = writer;
    s_reader = reader;
}

void KtUName::Write(KtUWriteStream* stream) const {
    Write(stream, this);
}

void KtUName::Write(KtUWriteStream* stream, const KtUName* name) {
    if (!stream) return;
    if (!s_writer) {
        FailNoCallback(stream);
        return;
    }
    s_writer(stream, name);
}

KtUName* KtUName::Read(KtUReadStream* stream) {
    if (!stream) return nullptr;
    if (!s_reader) {
        FailNoCallback(stream);
        return nullptr;
    }
    return s_reader(stream);
}

KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUName& name) {
    name.Write(&stream);
    return stream;
}

// The object form of a name: its internal name, then its user name.

int KtUName::WriteStub(KtUWriteStream* stream, int, const void* object) {
    const auto* name = static_cast<const KtUName*>(object);
    stream->WriteString(name->m_internal);
    stream->WriteWideString(name->m_user);
    return !stream->IsError();
}

int KtUName::ReadStub(KtUReadStream* stream, int, void* object) {
    auto* name = static_cast<KtUName*>(object);
    KtUString internal;
    KtUWideString user;
    if (!stream->ReadString(&internal) || !stream->ReadWideString(&user)) return 0;
    name->m_internal.Swap(internal);
    name->AssignUserName(user.GetString());
    return 1;
}

void* KtUName::CreateStub(KtUReadStream*, int) {
    auto* name = new KtUName;
    name->Ref();
    return name;
}

int KtUName::DisposeStub(KtUReadStream*, int, void* object) {
    if (object) static_cast<KtUName*>(object)->Unref();
    return 1;
}

//===- KtUData.cpp - Typed value: storage, comparison, checksum, registry -===//
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUComponent.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"

static KtUComponent s_component;

static constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUData",
    .info = KTU_COMPONENT_INFO,
    .needs = ktu::detail::Needs<KtUString, KtUName>,
};
KTU_COMPONENT_LIFECYCLE(KtUData, kComponent)

KtUComponent* KtUData::GetComponent() {
    return &s_component;
}

namespace {

constexpr unsigned kPointBytes = 3 * sizeof(double);

double* NewPoint(double x, double y, double z) {
    auto* point = static_cast<double*>(KtUMemory::Alloc(kPointBytes, KtUMemory::eALIGN8));
    if (point) {
        point[0] = x;
        point[1] = y;
        point[2] = z;
    }
    return point;
}

} // namespace

KtUData::KtUData(const KtUWChar* value) : m_type(eWideString) {
    m_value.ws = value ? KtUWideString::AllocAndCopy(value) : nullptr;
}

KtUData::KtUData(const char* value) : m_type(eString) {
    m_value.s = value ? KtUString::AllocAndCopy(value) : nullptr;
}

KtUData::KtUData(KtUName* name) : m_type(eName) {
    m_value.name = name;
    if (name) name->Ref();
}

KtUData::KtUData(double x, double y, double z) {
    m_value.point = NewPoint(x, y, z);
    if (m_value.point) m_type = ePoint3D;
}

KtUData::KtUData(double value, Type kind) {
    switch (kind) {
    case eFloat:
    case eLinearFloat:
    case eAreaFloat:
    case eVolumeFloat:
        m_type = kind;
        break;
    default:
        m_type = eAngularFloat;
        break;
    }
    m_value.f = value;
}

KtUData& KtUData::operator=(KtUData&& other) noexcept {
    if (this != &other) {
        Clear();
        m_type = other.m_type;
        m_value = other.m_value;
        other.m_type = eNone;
    }
    return *this;
}

void KtUData::Clear() {
    switch (m_type) {
    case eWideString:
        if (m_value.ws) KtUWideString::Dealloc(m_value.ws);
        break;
    case eString:
        if (m_value.s) KtUString::Dealloc(m_value.s);
        break;
    case eName:
        if (m_value.name) m_value.name->Unref();
        break;
    case ePoint3D:
        if (m_value.point) KtUMemory::Dealloc(m_value.point, kPointBytes, KtUMemory::eALIGN8);
        break;
    default:
        break;
    }
    m_type = eNone;
    m_value.point = nullptr;
}

void KtUData::CopyFrom(const KtUData& other) {
    if (this == &other) return;
    // Duplicate before clearing: other may hold what this value owns.
    Slot copy = other.m_value;
    Type type = other.m_type;
    switch (type) {
    case eWideString:
        if (copy.ws) copy.ws = KtUWideString::AllocAndCopy(copy.ws);
        break;
    case eString:
        if (copy.s) copy.s = KtUString::AllocAndCopy(copy.s);
        break;
    case eName:
        if (copy.name) copy.name->Ref();
        break;
    case ePoint3D:
        if (copy.point) {
            copy.point = NewPoint(copy.point[0], copy.point[1], copy.point[2]);
            if (!copy.point) type = eNone;
        }
        break;
    default:
        break;
    }
    Clear();
    m_type = type;
    m_value = copy;
}

void KtUData::SetAnyFloat(double value, Type kind) {
    Clear();
    m_type = kind;
    m_value.f = value;
}

void KtUData::SetInt32(int value) {
    Clear();
    m_type = eInt32;
    m_value.i = value;
}

void KtUData::SetBoolean(int value) {
    Clear();
    m_type = eBoolean;
    m_value.i = value;
}

void KtUData::SetTime(KtUInt64 value) {
    Clear();
    m_type = eTime;
    m_value.t = value;
}

void KtUData::SetString(const char* text) {
    if (m_type == eString && m_value.s == text) return;
    char* copy = text ? KtUString::AllocAndCopy(text) : nullptr;
    Clear();
    m_type = eString;
    m_value.s = copy;
}

void KtUData::SetString(const KtUString& text) {
    SetString(text.GetString());
}

void KtUData::SetString(const KtUStringBuffer& text) {
    SetString(text.GetString());
}

void KtUData::SetWideString(const KtUWChar* text) {
    if (m_type == eWideString && m_value.ws == text) return;
    KtUWChar* copy = text ? KtUWideString::AllocAndCopy(text) : nullptr;
    Clear();
    m_type = eWideString;
    m_value.ws = copy;
}

void KtUData::SetWideString(const KtUWideString& text) {
    SetWideString(text.GetString());
}

void KtUData::SetWideString(const KtUWideStringBuffer& text) {
    SetWideString(text.GetString());
}

void KtUData::SetName(KtUName* name) {
    if (m_type == eName && m_value.name == name) return;
    if (name) name->Ref();
    Clear();
    m_type = eName;
    m_value.name = name;
}

void KtUData::SetPoint3D(double x, double y, double z) {
    if (m_type == ePoint3D && m_value.point) {
        m_value.point[0] = x;
        m_value.point[1] = y;
        m_value.point[2] = z;
        return;
    }
    double* point = NewPoint(x, y, z);
    Clear();
    if (point) {
        m_type = ePoint3D;
        m_value.point = point;
    }
}

bool KtUData::operator==(const KtUData& other) const {
    if (m_type != other.m_type) return false;
    switch (m_type) {
    case eNone:
        return true;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        return m_value.f == other.m_value.f;
    case eInt32:
    case eBoolean:
        return m_value.i == other.m_value.i;
    case eWideString:
        return KtUWideString::Equal(m_value.ws, other.m_value.ws) != 0;
    case eString:
        return KtUString::Equal(m_value.s, other.m_value.s) != 0;
    case eTime:
        return m_value.t == other.m_value.t;
    case eName:
        return m_value.name == other.m_value.name ||
               (m_value.name && other.m_value.name && *m_value.name == *other.m_value.name);
    case ePoint3D: {
        const double* a = m_value.point;
        const double* b = other.m_value.point;
        if (!a || !b) return a == b;
        return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
    }
    }
    return false;
}

bool KtUData::StorageTypeEquals(const KtUData& other) const {
    return m_type == other.m_type || (IsAnyFloat() && other.IsAnyFloat());
}

bool KtUData::StorageValueEquals(const KtUData& other) const {
    if (IsAnyFloat() && other.IsAnyFloat()) return m_value.f == other.m_value.f;
    return *this == other;
}

void KtUData::AddToChecksum(KtUChecksum* sum) const {
    sum->AddInt32(m_type);
    switch (m_type) {
    case eNone:
        break;
    case eFloat:
    case eLinearFloat:
    case eAngularFloat:
    case eAreaFloat:
    case eVolumeFloat:
        sum->AddDouble(m_value.f);
        break;
    case eInt32:
    case eBoolean:
        sum->AddInt32(m_value.i);
        break;
    case eWideString:
        sum->AddWideString(m_value.ws);
        break;
    case eTime:
        sum->AddInt64(m_value.t);
        break;
    case eName:
        if (m_value.name) m_value.name->AddToChecksum(sum);
        break;
    case eString:
        sum->AddString(m_value.s);
        break;
    case ePoint3D:
        if (m_value.point) sum->AddDoubleArray(m_value.point, 3);
        break;
    }
}

unsigned KtUData::CalcHashCode() const {
    KtUChecksum sum;
    AddToChecksum(&sum);
    return sum.End();
}

// --- Registry ---------------------------------------------------------------------------

namespace {

template <class Char>
int WriteRegistryText(const KtUData& value, const Char* section, const Char* key,
                      KtUSysRegistry::Mode mode) {
    KtUWideStringBuffer text;
    value.Write(&text);
    return KtUSysRegistry::SetWideString(section, key, text.GetString(), mode);
}

template <class Char>
void ReadRegistryText(KtUData* value, const Char* section, const Char* key, const KtUData& fallback,
                      KtUSysRegistry::Mode mode) {
    KtUWideStringBuffer text;
    KtUSysRegistry::GetWideString(section, key, nullptr, &text, mode);
    if (!text.IsEmpty())
        value->Read(text);
    else
        value->CopyFrom(fallback);
}

} // namespace

int KtUData::WriteRegistry(const char* section, const char* key, KtUSysRegistry::Mode mode) const {
    return WriteRegistryText(*this, section, key, mode);
}

int KtUData::WriteRegistry(const KtUWChar* section, const KtUWChar* key,
                           KtUSysRegistry::Mode mode) const {
    return WriteRegistryText(*this, section, key, mode);
}

void KtUData::ReadRegistry(const char* section, const char* key, KtUSysRegistry::Mode mode) {
    ReadRegistryText(this, section, key, KtUData(), mode);
}

void KtUData::ReadRegistry(const KtUWChar* section, const KtUWChar* key,
                           KtUSysRegistry::Mode mode) {
    ReadRegistryText(this, section, key, KtUData(), mode);
}

void KtUData::ReadRegistry(const char* section, const char* key, const KtUData& fallback,
                           KtUSysRegistry::Mode mode) {
    ReadRegistryText(this, section, key, fallback, mode);
}

void KtUData::ReadRegistry(const KtUWChar* section, const KtUWChar* key, const KtUData& fallback,
                           KtUSysRegistry::Mode mode) {
    ReadRegistryText(this, section, key, fallback, mode);
}

KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUData& value) {
    value.Write(&stream);
    return stream;
}

KtUReadStream& operator>>(KtUReadStream& stream, KtUData& value) {
    value.Read(&stream);
    return stream;
}

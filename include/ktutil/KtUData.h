//===- KtUData.h - Typed value: quantities, integers, text, time, names ---===//
//
// KtUData holds one value of a small set of kinds: floats with a physical
// dimension (plain, length, angle, area, volume), 32-bit integers, Booleans,
// narrow and wide text, times (seconds since 1970 UTC), names and 3D points.
// Options keep their values in it and it travels through typed streams, the
// registry and plain text.
//
//   KtUData::Initialise();
//   KtUData length = KtUData::FromLinearFloat(2.5);
//   KtUWideStringBuffer text;
//   length.Write(&text);                  // "6 2.5000000000000000000"
//   KtUData back;
//   back.Read(text);                      // LinearFloat 2.5 again
//
//   KtUData flag;
//   flag.FromString(u"12", KtUData::eInt32, true);   // Int32 12
//   out << length;                        // KtUWriteStream& out
//
// The value owns its strings and point, and one reference on its name;
// copies duplicate them. The kind numbers (Type) are stored in files, the
// registry and text, and never change. Text forms are written and read in
// the "C" numeric locale whatever the process locale; docs/data.md gives
// every form.
//
// Plain getters (GetFloat, GetString, ...) return the slot without checking
// the kind; the GetSafe forms return 0 or null on a mismatch.
//
// Thread safety: a value is a plain object; one thread at a time. Values
// holding the same name must stay on one thread (name counts are not atomic).
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUDATA_H
#define KTUTIL_KTUDATA_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysRegistry.h>

class KtUChecksum;
class KtUComponent;
class KtUName;
class KtUReadStream;
class KtUString;
class KtUStringBuffer;
class KtUWideString;
class KtUWideStringBuffer;
class KtUWriteStream;

/// A typed value; also the component "KtUData".
class KTU_API KtUData {
public:
    /// The kinds, numbered as they are stored.
    enum Type : int {
        eNone = 0,
        eFloat = 1,
        eInt32 = 2,
        eBoolean = 3,
        eWideString = 4,
        eTime = 5,
        eLinearFloat = 6,
        eAngularFloat = 7,
        eName = 8,
        eString = 9,
        eAreaFloat = 10,
        eVolumeFloat = 11,
        ePoint3D = 12,
    };
    /// Tags at or above this are not kinds; reading them fails.
    static constexpr int kNumTypes = 13;

    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    KtUData() { m_value.point = nullptr; }
    KtUData(double value) : m_type(eFloat) { m_value.f = value; }
    KtUData(int value) : m_type(eInt32) { m_value.i = value; }
    KtUData(bool value) : m_type(eBoolean) { m_value.i = value ? 1 : 0; }
    KtUData(const KtUWChar* value);
    KtUData(const char* value);
    KtUData(KtUInt64 time) : m_type(eTime) { m_value.t = time; }
    /// Takes one reference on name.
    KtUData(KtUName* name);
    KtUData(double x, double y, double z);
    /// A float of the given kind: Float, LinearFloat, AreaFloat or
    /// VolumeFloat by tag; AngularFloat for any other tag.
    KtUData(double value, Type kind);
    KtUData(const KtUData& other) : KtUData() { CopyFrom(other); }
    KtUData(KtUData&& other) noexcept : m_type(other.m_type), m_value(other.m_value) {
        other.m_type = eNone;
    }
    ~KtUData() { Clear(); }
    KtUData& operator=(const KtUData& other) {
        CopyFrom(other);
        return *this;
    }
    KtUData& operator=(KtUData&& other) noexcept;

    static KtUData FromNone() { return KtUData(); }
    static KtUData FromFloat(double value) { return KtUData(value, eFloat); }
    static KtUData FromInt32(int value) { return KtUData(value); }
    static KtUData FromBoolean(int value) { return KtUData(value != 0); }
    static KtUData FromWideString(const KtUWChar* value) { return KtUData(value); }
    static KtUData FromTime(KtUInt64 time) { return KtUData(time); }
    static KtUData FromLinearFloat(double value) { return KtUData(value, eLinearFloat); }
    static KtUData FromAreaFloat(double value) { return KtUData(value, eAreaFloat); }
    static KtUData FromVolumeFloat(double value) { return KtUData(value, eVolumeFloat); }
    static KtUData FromAngularFloat(double value) { return KtUData(value, eAngularFloat); }
    static KtUData FromName(KtUName* name) { return KtUData(name); }
    static KtUData FromString(const char* value) { return KtUData(value); }
    static KtUData FromPoint3D(double x, double y, double z) { return KtUData(x, y, z); }

    /// Frees what the value owns and makes it None.
    void Clear();
    /// Becomes a copy of other (strings and point duplicated, name shared).
    void CopyFrom(const KtUData& other);

    // Kind tests.
    Type GetDataType() const { return m_type; }
    Type GetType() const { return m_type; }
    bool IsNone() const { return m_type == eNone; }
    bool GetIsNone() const { return IsNone(); }
    bool IsFloat() const { return m_type == eFloat; }
    bool IsLinearFloat() const { return m_type == eLinearFloat; }
    bool IsAreaFloat() const { return m_type == eAreaFloat; }
    bool IsVolumeFloat() const { return m_type == eVolumeFloat; }
    bool IsAngularFloat() const { return m_type == eAngularFloat; }
    bool IsAnyFloat() const { return IsAnyFloatType(m_type); }
    bool IsInt32() const { return m_type == eInt32; }
    bool GetIsInt32() const { return IsInt32(); }
    bool IsBoolean() const { return m_type == eBoolean; }
    bool GetIsBoolean() const { return IsBoolean(); }
    bool IsString() const { return m_type == eString; }
    bool IsWideString() const { return m_type == eWideString; }
    bool IsTime() const { return m_type == eTime; }
    bool IsName() const { return m_type == eName; }
    bool IsPoint3D() const { return m_type == ePoint3D; }
    bool GetIsPoint3D() const { return IsPoint3D(); }
    /// Length, area and volume: the kinds a change of model units rescales.
    bool IsScalableLinear() const {
        return m_type == eLinearFloat || m_type == eAreaFloat || m_type == eVolumeFloat;
    }
    static bool IsAnyFloatType(Type type) {
        return type == eFloat || type == eLinearFloat || type == eAngularFloat ||
               type == eAreaFloat || type == eVolumeFloat;
    }

    // Plain getters: the slot, whatever the kind.
    double GetAnyFloat() const { return m_value.f; }
    double GetFloat() const { return m_value.f; }
    double GetLinearFloat() const { return m_value.f; }
    double GetAreaFloat() const { return m_value.f; }
    double GetVolumeFloat() const { return m_value.f; }
    double GetAngularFloat() const { return m_value.f; }
    int GetInt32() const { return m_value.i; }
    int GetBoolean() const { return m_value.i; }
    const char* GetString() const { return m_value.s; }
    const KtUWChar* GetWideString() const { return m_value.ws; }
    KtUInt64 GetTime() const { return m_value.t; }
    KtUName* GetName() const { return m_value.name; }
    /// x, y, z.
    const double* GetPoint3D() const { return m_value.point; }

    // Safe getters: 0, 0.0 or null unless the kind matches (any float kind
    // for the float forms).
    double GetSafeAnyFloat() const { return IsAnyFloat() ? m_value.f : 0.0; }
    double GetSafeFloat() const { return GetSafeAnyFloat(); }
    double GetSafeLinearFloat() const { return GetSafeAnyFloat(); }
    double GetSafeAreaFloat() const { return GetSafeAnyFloat(); }
    double GetSafeVolumeFloat() const { return GetSafeAnyFloat(); }
    double GetSafeAngularFloat() const { return GetSafeAnyFloat(); }
    int GetSafeInt32() const { return IsInt32() ? m_value.i : 0; }
    int GetSafeBoolean() const { return IsBoolean() ? m_value.i : 0; }
    const char* GetSafeString() const { return IsString() ? m_value.s : nullptr; }
    const KtUWChar* GetSafeWideString() const { return IsWideString() ? m_value.ws : nullptr; }
    KtUInt64 GetSafeTime() const { return IsTime() ? m_value.t : 0; }
    KtUName* GetSafeName() const { return IsName() ? m_value.name : nullptr; }

    // Edit accessors: the slot itself. Strings stored through them must come
    // from KtUString::AllocAndCopy / KtUWideString::AllocAndCopy, a point
    // from KtUMemory (3 doubles), and a name must carry the value's reference.
    double& EditAnyFloat() { return m_value.f; }
    int& EditInt32() { return m_value.i; }
    int& EditBoolean() { return m_value.i; }
    char*& EditString() { return m_value.s; }
    KtUWChar*& EditWideString() { return m_value.ws; }
    KtUInt64& EditTime() { return m_value.t; }
    KtUName*& EditName() { return m_value.name; }
    double*& EditPoint3D() { return m_value.point; }

    // Setters.
    void SetNone() { Clear(); }
    void SetFloat(double value) { SetAnyFloat(value, eFloat); }
    void SetLinearFloat(double value) { SetAnyFloat(value, eLinearFloat); }
    void SetAreaFloat(double value) { SetAnyFloat(value, eAreaFloat); }
    void SetVolumeFloat(double value) { SetAnyFloat(value, eVolumeFloat); }
    void SetAngularFloat(double value) { SetAnyFloat(value, eAngularFloat); }
    void SetInt32(int value);
    /// Stores the integer unchanged (not reduced to 0 or 1).
    void SetBoolean(int value);
    void SetTime(KtUInt64 value);
    /// A null text is stored as an absent String.
    void SetString(const char* text);
    void SetString(const KtUString& text);
    void SetString(const KtUStringBuffer& text);
    /// A null text is stored as an absent WideString.
    void SetWideString(const KtUWChar* text);
    void SetWideString(const KtUWideString& text);
    void SetWideString(const KtUWideStringBuffer& text);
    /// Takes a reference on name (which may be null).
    void SetName(KtUName* name);
    void SetPoint3D(double x, double y, double z);

    // Comparison.
    /// Same kind and equal values (doubles exactly; names by value).
    bool operator==(const KtUData& other) const;
    bool operator!=(const KtUData& other) const { return !(*this == other); }
    /// Same kind, or both float kinds.
    bool StorageTypeEquals(const KtUData& other) const;
    /// Equal, or both float kinds with equal doubles (LinearFloat 2 and Float 2).
    bool StorageValueEquals(const KtUData& other) const;

    // Hashing.
    void AddToChecksum(KtUChecksum* sum) const;
    /// Adler-32 of what AddToChecksum adds.
    unsigned CalcHashCode() const;

    // Text forms. Write: kind character ('0' + kind), then the value (after
    // a space except for None and text kinds). WriteEx: kind character,
    // ':' and the value ("0" alone for None). Read and ReadEx accept what
    // they write and return false (value None) on anything else.
    void Write(KtUWideStringBuffer* out) const;
    void WriteEx(KtUWideStringBuffer* out) const;
    bool Read(const KtUWChar* text);
    bool Read(const KtUWideString& text);
    bool Read(const KtUWideStringBuffer& text);
    bool ReadEx(const KtUWChar* text);
    bool ReadEx(const KtUWideString& text);
    bool ReadEx(const KtUWideStringBuffer& text);
    /// Parses text as the given kind; with whole, all of it must be a
    /// number for the numeric kinds. Non-zero on success (else None).
    int FromString(const KtUWChar* text, Type kind, bool whole);
    /// A diagnostic form ("<<none>>", "True", "Name=a , UserName=b", ...).
    void Dump(KtUWideStringBuffer* out) const;

    // Stream form; older format versions get the kinds they knew.
    void Write(KtUWriteStream* stream) const;
    void Read(KtUReadStream* stream);

    // Registry form: the Write text as a wide string value.
    int WriteRegistry(const char* section, const char* key, KtUSysRegistry::Mode mode) const;
    int WriteRegistry(const KtUWChar* section, const KtUWChar* key,
                      KtUSysRegistry::Mode mode) const;
    /// The stored value, else None.
    void ReadRegistry(const char* section, const char* key, KtUSysRegistry::Mode mode);
    void ReadRegistry(const KtUWChar* section, const KtUWChar* key, KtUSysRegistry::Mode mode);
    /// The stored value, else a copy of fallback.
    void ReadRegistry(const char* section, const char* key, const KtUData& fallback,
                      KtUSysRegistry::Mode mode);
    void ReadRegistry(const KtUWChar* section, const KtUWChar* key, const KtUData& fallback,
                      KtUSysRegistry::Mode mode);

    /// The element name of the XML form.
    static const char* elementName() { return "data"; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    void SetAnyFloat(double value, Type kind);
    /// Parses the value part of a text form as kind; false leaves None.
    bool ParseValue(const KtUWChar* text, int kind);
    void WriteValue(KtUWideStringBuffer* out) const;

    Type m_type = eNone;
    union Slot {
        double f;
        int i;
        KtUInt64 t;
        char* s;
        KtUWChar* ws;
        KtUName* name;
        double* point;
    } m_value;
};

KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUData& value);
KTU_API KtUReadStream& operator>>(KtUReadStream& stream, KtUData& value);

#endif // KTUTIL_KTUDATA_H

//===- KtUName.h - Reference-counted internal/user name pair --------------===//
//
// A KtUName pairs an internal name (7-bit ASCII identifier, "KtOaNode") with
// a user name (localised display text). Names label attributes, categories
// and enumeration values; they compare and hash by value and are usually
// interned in a KtUNameDict so that equal names share one object.
//
//   KtUName::Initialise();
//   KtUAutoRefPtr<KtUName> n(new KtUName("KtOaNode", u"Node"));
//   KtUName::AddOverride("KtOaNode", u"Knoten");   // localised display text
//   KtUAutoRefPtr<KtUName> m(new KtUName("KtOaNode", u"Node"));
//   // m->GetUserName() is "Knoten": an override always wins.
//
//   int value;
//   KtUStringBuffer base;
//   KtUName::DecodeEnumName("Colour:3", &value, &base);  // 1, value 3, base "Colour"
//
// The user name of a name whose internal name has an entry in the localised
// strings (KtUResource) is that entry, whatever user name was given; a name
// given no user name shows its internal name.
//
// Streams carry names through two process-wide callbacks that the host
// installs (SetReadWriteCallbacks); without them Write and Read fail the
// stream with KtUStream::ePARSE_ERROR (16) and Read returns null.
//
// Thread safety: none. A name and the dictionaries holding it belong to one
// thread at a time; overrides and callbacks are set up during start-up.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUNAME_H
#define KTUTIL_KTUNAME_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUWideString.h>

class KtUChecksum;
class KtUComponent;
class KtUNameDict;
class KtUReadStream;
class KtUStringBuffer;
class KtUWideStringBuffer;
class KtUWriteStream;

/// A reference-counted pair of internal (ASCII) and user (UTF-16) names;
/// also the component "KtUName".
class KTU_API KtUName {
public:
    /// The fixed internal names of the model's standard attributes.
    enum StandardNameEnum : int {
        eSceneBaseUserName = 0,
        eSceneBaseClassUserName,
        eSceneBaseClassName,
        eNode,
        eMaterial,
        eTransform,
        eURLAttribute,
        eXRefAttribute,
        eTextAttributeText,
        ePartitionFilename,
        eUnit,
        eURLCategoryHyperlink,
        eURLCategoryTag,
        eURLCategoryUserDefined,
        eNodeHidden,
        eNodeRequired,
        ePartitionSourceFilename,
        eNodeLayer,
        eNodeMaterial,
        eNodeSourceFile,
        eNodeIcon,
        eXRefAttributePath,
        eNodeGuid,
        eNumStandardNames
    };

    /// Writes one name to a stream (the host's name table writer).
    using WriteCallback = void (*)(KtUWriteStream* stream, const KtUName* name);
    /// Reads one name from a stream; returns a name the caller takes over
    /// (reference count 0 or more), or null on failure.
    using ReadCallback = KtUName* (*)(KtUReadStream* stream);

    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    /// Copies both names; the override for internal, if any, replaces user,
    /// and a missing user name is the internal name widened from UTF-8.
    /// The reference count starts at 0.
    KtUName(const char* internal, const KtUWChar* user);
    KtUName(const KtUWChar* user, const char* internal);
    /// Internal name "base:value".
    KtUName(int value, const char* base, const KtUWChar* user);
    KtUName(const KtUName& other) = delete;
    KtUName& operator=(const KtUName& other) = delete;

    const KtUString& GetName() const { return m_internal; }
    const KtUWideString& GetUserName() const { return m_user; }
    /// Replaces the internal name and applies its override; a name left
    /// without a user name shows the internal name.
    void SetName(const char* internal);
    /// Ignored while an override exists for the internal name.
    void SetUserName(const KtUWChar* user);
    /// Takes the override's user name again, if one exists now.
    void ReapplyOverride();

    void Ref() { ++m_refs; }
    /// Destroys the name when the count is below 2, else subtracts one.
    void Unref();
    /// Subtracts one while the count is positive; never destroys.
    void UnrefNoDelete() {
        if (m_refs > 0) --m_refs;
    }
    int GetRefCount() const { return m_refs; }

    /// Same object, or equal internal names and equal user names (an
    /// absent string equals only an absent string).
    bool operator==(const KtUName& other) const;
    bool operator!=(const KtUName& other) const { return !(*this == other); }

    /// Adler-32 over the user name's UTF-16 units (little-endian) then the
    /// internal name's bytes; an absent string counts as one zero byte.
    unsigned CalcHashCode() const;
    /// Adds the bytes CalcHashCode sums to a caller's checksum.
    void AddToChecksum(KtUChecksum* sum) const;

    // Enumeration names: "base:value".
    static void MakeEnumName(const char* base, int value, KtUStringBuffer* out);
    /// A new, un-interned name (reference count 0).
    static KtUName* MakeEnumName(const char* base, int value);
    /// 1 with value (and base, when given) set for a name "base:digits"
    /// with a non-empty base; else 0.
    static int DecodeEnumName(const char* name, int* value, KtUStringBuffer* base);
    static int DecodeEnumName(const KtUString& name, int* value, KtUStringBuffer* base);
    /// The decoded enumeration value, or 0.
    int GetInt() const;
    /// The base of an enumeration name, else the whole internal name.
    void ExtractBaseName(KtUStringBuffer* out) const;

    // Standard names.
    /// The internal name, or null outside the table.
    static const char* StandardInternalName(StandardNameEnum which);
    /// The localised text for it; out is emptied when there is none.
    static void StandardUserName(StandardNameEnum which, KtUWideStringBuffer* out);
    /// The name interned in dict (borrowed), or null outside the table.
    static KtUName* StandardName(StandardNameEnum which, KtUNameDict* dict);

    // Overrides: the localised strings, keyed by internal name.
    static void AddOverride(const char* internal, const KtUWChar* user);
    /// Non-zero, with out filled, when an override exists.
    static int GetOverride(const char* internal, KtUWideStringBuffer* out);
    /// The override's user name, else fallback.
    static const KtUWChar* GetOverride(const char* internal, const KtUWChar* fallback);

    // Streams, through the host's callbacks.
    static void SetReadWriteCallbacks(WriteCallback writer, ReadCallback reader);
    void Write(KtUWriteStream* stream) const;
    static void Write(KtUWriteStream* stream, const KtUName* name);
    /// The name read, or null (stream failed) without a reader callback.
    static KtUName* Read(KtUReadStream* stream);

    // Object-format methods, for streams that carry names as plain objects
    // (KtUStreamFormatEntry's method types).
    /// Writes the internal name, then the user name; non-zero on success.
    static int WriteStub(KtUWriteStream* stream, int entry, const void* object);
    /// Reads what WriteStub wrote; the override, if any, replaces the user name.
    static int ReadStub(KtUReadStream* stream, int entry, void* object);
    /// A new empty name with reference count 1.
    static void* CreateStub(KtUReadStream* stream, int entry);
    /// Unref of the object; returns 1 (a format ignores the result).
    static int DisposeStub(KtUReadStream* stream, int entry, void* object);

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    friend class KtUNameDict;
    KtUName() = default;
    ~KtUName() = default;
    /// Takes the override for the internal name, or user; then falls back
    /// to the internal name.
    void AssignUserName(const KtUWChar* user);

    int m_refs = 0;
    KtUWideString m_user;
    KtUString m_internal;
};

KTU_API KtUWriteStream& operator<<(KtUWriteStream& stream, const KtUName& name);

#endif // KTUTIL_KTUNAME_H

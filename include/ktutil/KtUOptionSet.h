//===- KtUOptionSet.h - A node of the option tree, reached by dotted paths -===//
//
// An option set is an ordered list of named entries; each entry is a typed
// value (a KtUData) or a nested option set. Entries are reached by dotted
// paths such as "general.xml.validate", compared byte for byte.
//
//   KtUAutoRefPtr<KtUExOptionSet> root(new KtUExOptionSet);
//   root->DefineBoolean("general.xml.validate", 1, KtUOptionSet::ePROFILE_STANDARD, 0,
//                       nullptr, nullptr);
//   int validate = root->GetBoolean("general.xml.validate");   // 1
//   root->SetBoolean("general.xml.validate", 0);
//   unsigned seen = root->GetChangeId();   // grows on every change below
//
// KtUOptionSet reads every entry through the protected "I" operations, so
// other storage can present itself as a set: KtUExOptionSet keeps records in
// memory, KtUSwigOptionSet is the base for sets of a scripting binding. On
// top of them this class implements lookup, typed access, change ids,
// merging (SetValues, Unite), copying, comparison, profiles and arrays.
//
// Sets are reference counted (a new set has no reference; the last Unref
// destroys it). A record holds one reference on its nested set; the parent
// pointer back is not a reference. docs/options.md describes the rules.
//
// Thread safety: none; the process-wide tree is guarded by KtUOptionLock.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONSET_H
#define KTUTIL_KTUOPTIONSET_H

#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUString.h>

class KtUExOptionSet;
class KtUName;
class KtUOptionData;
class KtUStringBuffer;
class KtUWideStringBuffer;
template <typename T> class KtURefPtrVector;
template <typename T> class KtUOwnPtrVector;

/// Abstract, reference-counted node of the option tree.
class KTU_API KtUOptionSet {
public:
    /// Who an option is shown to; an option counts for every profile not
    /// lower than its own. Hosts may use values in between.
    enum Profile : int {
        ePROFILE_BASIC = 0,
        ePROFILE_STANDARD = 1,
        ePROFILE_ADVANCED = 2,
        ePROFILE_EXPERT = 3,
        ePROFILE_ALL = 0x7fffffff,
    };

    /// The set's own flags (GetMyFlags).
    enum MyFlags : unsigned {
        eMY_INHERITED = 0x1,      ///< passed on to created sets under eMY_INHERIT
        eMY_ARRAY = 0x2,          ///< entries are interchangeable elements
        eMY_CUSTOM_OPTION = 0x4,  ///< the set has a custom option
        eMY_NOT_PERSISTENT = 0x8, ///< never written to registry, XML or streams
        eMY_NO_GARBAGE_COLLECT = 0x40,
        eMY_INHERIT = 0x100, ///< created sets below take eMY_INHERITED
    };

    /// Entry flags the library tests (GetFlags); other bits are the host's.
    enum EntryFlags : unsigned {
        eFLAG_SET_IS_OPTION = 0x2,     ///< a nested set shown as one option
        eFLAG_USER_NAME_BY_NAME = 0x4, ///< display name keyed by the name alone
    };

    /// Per-value flags (GetUserFlags); other bits are the host's.
    enum UserFlags : unsigned {
        eUSER_MARK = 0x10,    ///< host marker that merges copy and filter on
        eUSER_DEFAULT = 0x20, ///< the value is the default
    };

    /// Merge flags of SetValues, Unite and SetValue(index, src, srcIndex, flags).
    enum MergeFlags : unsigned {
        eMERGE_DEFAULT_KEEP_EQUAL = 0x1, ///< take the source's default flag; keep ours if equal
        eMERGE_DEFAULT_COPY = 0x2,       ///< the destination's default flag becomes the source's
        eMERGE_MARK_COPY = 0x4,          ///< eUSER_MARK becomes the source's
        eMERGE_SKIP_MARKED = 0x8,        ///< leave destinations carrying eUSER_MARK
        eMERGE_ONLY_MARKED = 0x10,       ///< take only sources carrying eUSER_MARK
    };

    /// Bits of a merge result; 0 is complete success.
    using MergeStatus = unsigned;
    enum MergeStatusBits : unsigned {
        eMS_VALUE_NOT_SET = 0x1,      ///< kinds differ or a validator refused
        eMS_CANNOT_ADD = 0x2,         ///< destination can't take new entries
        eMS_CANNOT_REPLACE = 0x4,     ///< destination can't replace entries
        eMS_NOT_GROWN = 0x8,          ///< an array could not grow to the source's length
        eMS_NOT_SHRUNK = 0x10,        ///< an array could not shrink to the source's length
        eMS_STRUCTURE_DIFFERS = 0x20, ///< set against value, or array against set
    };

    /// Filter bits of Copy; every bit given must pass.
    enum CopyFilter : unsigned {
        eCOPY_DEFAULT_ONLY = 0x1,
        eCOPY_NON_DEFAULT_ONLY = 0x2,
        eCOPY_MARKED_ONLY = 0x4,
        eCOPY_UNMARKED_ONLY = 0x8,
        eCOPY_UNFLAGGED_SETS_ONLY = 0x10,
        eCOPY_NO_UNFLAGGED_SETS = 0x20,
        eCOPY_FLAGGED_SETS_ONLY = 0x40,
        eCOPY_NO_FLAGGED_SETS = 0x80,
        eCOPY_NO_SETS = 0x100,
        eCOPY_NO_VALUES = 0x200,
    };

    KtUOptionSet(const KtUOptionSet&) = delete;
    KtUOptionSet& operator=(const KtUOptionSet&) = delete;

    virtual int HasOptionsForProfile(Profile profile);
    virtual int HasSubOptionsForProfile(Profile profile);
    /// The localised display name of entry index, or null.
    virtual const KtUWChar* GetUserName(int index);
    /// Appends the names a Name entry may take; returns how many.
    virtual int EnumerateNameValues(int index, KtURefPtrVector<KtUName>* out);
    virtual ~KtUOptionSet();

    // Reference counting.
    void Ref() { ++m_refs; }
    /// Destroys the set when the count falls from 1 to 0.
    void Unref() {
        if (--m_refs == 0) delete this;
    }
    /// Subtracts one while the count is positive; never destroys.
    void UnrefNoDelete() {
        if (m_refs > 0) --m_refs;
    }
    int GetRefCount() const { return m_refs; }

    // Structure.
    KtUOptionSet* GetParent() const { return m_parent; }
    void SetParent(KtUOptionSet* parent) { m_parent = parent; }
    const KtUString& GetMyName() const { return m_myName; }
    void SetMyName(const char* name) { m_myName = name; }
    /// 1 for a new set; grows on every change of this set or below it.
    unsigned GetChangeId() const { return m_changeId; }
    unsigned GetMyFlags() { return IGetMyFlags(); }
    int HasCustomOption() { return (IGetMyFlags() & eMY_CUSTOM_OPTION) != 0; }
    void DoCustomOption();
    int InvokeHelp() { return IInvokeHelp(); }
    const char* GetHelpId() { return IGetHelpId(); }

    // Per entry.
    int GetNumOptions() { return IGetNumOptions(); }
    const char* GetName(int index) { return IGetName(index); }
    const char* GetClassName(int index) { return IGetClassName(index); }
    unsigned GetFlags(int index) { return IGetFlags(index); }
    unsigned GetUserFlags(int index) { return IGetUserFlags(index); }
    void SetUserFlags(int index, unsigned flags) { ISetUserFlags(index, flags); }
    Profile GetProfile(int index) { return IGetProfile(index); }
    int IsDisabled(int index, KtUData* value) { return IIsDisabled(index, value); }
    int GetRange(int index, KtUData* min, KtUData* max) { return IGetRange(index, min, max); }
    /// The nested set of a set entry (value then None), else null and the value.
    KtUOptionSet* GetValue(int index, KtUData* value) { return IGetValue(index, value); }
    /// The value's kind; eNone for a set entry.
    KtUData::Type GetType(int index);
    /// 1 and the value for a value entry; 0 for a set.
    int GetDataValue(int index, KtUData* value);
    /// As above by path; 0 when the path is not found.
    int GetDataValue(const char* path, KtUData* value);
    KtUOptionSet* GetSubOptions(int index) { return IGetValue(index, nullptr); }
    /// This set for a null or empty path, the nested set at path, or null.
    KtUOptionSet* GetSubOptions(const char* path);

    // Lookup.
    /// Index of the first entry named exactly name, or -1.
    int FindOption(const char* name);
    /// As FindOption, for a name given by its first length bytes.
    int FindOption(const char* name, int length);
    /// The deepest existing set on path, and in *index the entry of the last
    /// component in it (-1 when absent).
    KtUOptionSet* FindSubOption(const char* path, int* index);
    /// Appends this set's path ("" for a root).
    void GetPath(KtUStringBuffer* out);
    /// Appends the path of entry index.
    void GetPath(int index, KtUStringBuffer* out);

    // Typed access by path: TryGet leaves out alone unless the entry is a
    // value of exactly that kind; Get posts "Can't get <Kind> option <path>".
    int TryGetData(const char* path, KtUData* out);
    int TryGetInt32(const char* path, int* out);
    int TryGetFloat(const char* path, double* out);
    int TryGetLinearFloat(const char* path, double* out);
    int TryGetAngularFloat(const char* path, double* out);
    int TryGetBoolean(const char* path, int* out);
    int TryGetWideString(const char* path, KtUWideStringBuffer* out);
    int TryGetTime(const char* path, KtUInt64* out);
    int TryGetName(const char* path, KtUAutoRefPtr<KtUName>* out);
    int GetData(const char* path, KtUData* out);
    int GetInt32(const char* path);
    double GetFloat(const char* path);
    double GetLinearFloat(const char* path);
    double GetAngularFloat(const char* path);
    int GetBoolean(const char* path);
    int GetWideString(const char* path, KtUWideStringBuffer* out);
    KtUInt64 GetTime(const char* path);
    KtUAutoRefPtr<KtUName> GetName(const char* path);
    // Typed changes by path: 0 when the path is not found or SetValue refuses.
    int SetData(const char* path, const KtUData& value);
    int SetInt32(const char* path, int value);
    int SetFloat(const char* path, double value);
    int SetLinearFloat(const char* path, double value);
    int SetAngularFloat(const char* path, double value);
    int SetBoolean(const char* path, int value);
    int SetWideString(const char* path, const KtUWChar* value);
    int SetTime(const char* path, KtUInt64 value);
    int SetName(const char* path, KtUName* value);

    /// Changes a value entry to value of the same kind. An equal value
    /// returns 1 and changes nothing; a change clears the default flag and
    /// bumps the change ids up to the root. message is cleared when the kinds
    /// differ; a refusing validator may fill it.
    int SetValue(int index, const KtUData& value, KtUWideStringBuffer* message);
    int SetValue(const char* path, const KtUData& value, KtUWideStringBuffer* message);

    // Merging another tree into this one (docs/options.md).
    /// Entries of src with a namesake here are merged into it; others skipped.
    MergeStatus SetValues(KtUOptionSet* src, unsigned flags);
    /// As SetValues, and entries without a namesake are inserted here.
    MergeStatus Unite(KtUOptionSet* src, unsigned flags);
    /// Merges entry srcIndex of src into entry index of this set.
    MergeStatus SetValue(int index, KtUOptionSet* src, int srcIndex, unsigned flags);

    /// A new record copying entry index (nested sets deeply, no validator).
    KtUOptionData* CopyOption(int index);
    /// A new set (no reference counted) with the entries passing filter.
    KtUExOptionSet* Copy(unsigned filter);
    /// Same shape and equal values, position by position; names not compared.
    int IsEqualValues(KtUOptionSet* other);
    /// Sets or clears the default flag everywhere below; not in arrays.
    void SetDefaultOnAll(int on);
    /// Gives every Name value the user name of its override, if it has one.
    void ReapplyNameOverrides();

    /// Array sets only: insert a copy of an element at index, or remove one.
    int ArrayInsert(int index);
    int ArrayRemove(int index);

    KTU_DECLARE_ALLOCATION_OPERATORS

protected:
    KtUOptionSet();

    /// Bumps this set's change id and those of its ancestors.
    void OnChange();

    virtual unsigned IGetMyFlags() = 0;
    virtual int IGetNumOptions() = 0;
    virtual const char* IGetName(int index) = 0;
    virtual const char* IGetClassName(int index) = 0;
    virtual unsigned IGetFlags(int index) = 0;
    virtual unsigned IGetUserFlags(int index) = 0;
    virtual void ISetUserFlags(int index, unsigned flags) = 0;
    virtual Profile IGetProfile(int index) = 0;
    virtual int IIsDisabled(int index, KtUData* value) = 0;
    virtual int IGetRange(int index, KtUData* min, KtUData* max) = 0;
    virtual KtUOptionSet* IGetValue(int index, KtUData* value) = 0;
    virtual int ISetValue(int index, const KtUData& value, KtUWideStringBuffer* message) = 0;
    virtual void IDoCustomOption() = 0;
    virtual int IInvokeHelp();
    virtual const char* IGetHelpId();
    virtual int IArrayInsert(int index);
    virtual int IArrayRemove(int index);

private:
    friend class KtUExOptionSet;
    const char* NameAt(int index);
    int NumEntries();
    /// The entry named by the component at path (up to "." or the end),
    /// with *end set to where the component ends; -1 when there is none.
    int FindComponent(const char* path, const char** end);
    void OnChildChange(KtUOptionSet* child);
    void MakeInternalNameForResourceLookup(int index, KtUStringBuffer* out);
    /// The value at path when it is of kind (any kind for eNone): a record's
    /// own value, or the value read into scratch; null when there is none.
    const KtUData* FindValue(const char* path, KtUData::Type kind, KtUData* scratch);
    int SetKind(const char* path, const KtUData& value);
    MergeStatus Merge(KtUOptionSet* src, unsigned flags, bool unite);
    MergeStatus MergeEntry(int index, KtUOptionSet* src, int srcIndex, unsigned flags, bool unite);
    MergeStatus MergeValues(int index, KtUOptionSet* src, int srcIndex, unsigned flags);
    bool ReplaceByCopy(int index, KtUOptionSet* src, int srcIndex);

    int m_refs = 0;
    KtUOptionSet* m_parent = nullptr;
    KtUString m_myName;
    unsigned m_changeId = 1;
    /// The records of a KtUExOptionSet, which lookups read directly; null
    /// for every other kind of set.
    KtUOwnPtrVector<KtUOptionData>* m_records = nullptr;
};

#endif // KTUTIL_KTUOPTIONSET_H

//===- KtUOptionData.h - One entry of an option set: a value or a set -----===//
//
// A record holds an option's name within its set, its class name (free text
// for the host), definition flags, user flags (0x20: the value is the
// default), profile, an optional validator, and either a value or a nested
// option set:
//
//   KtUOptionData record("validate", KtUData(true));
//   record.SetUserFlags(KtUOptionSet::eUSER_DEFAULT);
//   record.SetValidator(new KtUOptAlwaysDisabled);   // the record holds it
//
// A record is a set (GetSubOptions() non-null, data None) or a value:
// SetSubOptions empties the data and SetData drops the nested set. Copies
// share the validator and the nested set, each holding one reference.
//
// Thread safety: a plain object; one thread at a time.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUOPTIONDATA_H
#define KTUTIL_KTUOPTIONDATA_H

#include <ktutil/KtUData.h>
#include <ktutil/KtUDefs.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtUString.h>

class KtUOptionValidator;

/// A named option: a typed value or a nested option set, with its flags.
class KTU_API KtUOptionData {
public:
    KtUOptionData() = default;
    /// A value record with no flags, profile 0 and no validator.
    KtUOptionData(const char* name, const KtUData& data);
    KtUOptionData(const KtUOptionData& other);
    /// Takes the new references before releasing the old ones.
    KtUOptionData& operator=(const KtUOptionData& other);
    ~KtUOptionData();

    /// Equal name, class name, flags, user flags, profile and data, and the
    /// same nested set object; the validator is not compared.
    int operator==(const KtUOptionData& other) const;
    int operator!=(const KtUOptionData& other) const { return !(*this == other); }

    void SetName(const char* name) { m_name = name; }
    const KtUString& GetName() const { return m_name; }
    void SetClassName(const char* name) { m_className = name; }
    const KtUString& GetClassName() const { return m_className; }
    void SetFlags(unsigned flags) { m_flags = flags; }
    unsigned GetFlags() const { return m_flags; }
    void SetUserFlags(unsigned flags) { m_userFlags = flags; }
    unsigned GetUserFlags() const { return m_userFlags; }
    void SetProfile(KtUOptionSet::Profile profile) { m_profile = profile; }
    KtUOptionSet::Profile GetProfile() const { return m_profile; }
    /// References validator, then releases the previous one.
    void SetValidator(KtUOptionValidator* validator);
    KtUOptionValidator* GetValidator() const { return m_validator; }
    /// References set, releases the previous one, then empties the data.
    void SetSubOptions(KtUOptionSet* set);
    KtUOptionSet* GetSubOptions() { return m_subOptions; }
    const KtUOptionSet* GetSubOptions() const { return m_subOptions; }
    /// Releases the nested set, then copies value.
    void SetData(const KtUData& value);
    const KtUData& GetData() const { return m_data; }

    KTU_DECLARE_ALLOCATION_OPERATORS

private:
    KtUString m_name;
    KtUString m_className;
    unsigned m_flags = 0;
    unsigned m_userFlags = 0;
    KtUOptionSet::Profile m_profile = KtUOptionSet::ePROFILE_BASIC;
    KtUOptionValidator* m_validator = nullptr;
    KtUOptionSet* m_subOptions = nullptr;
    KtUData m_data;
};

#endif // KTUTIL_KTUOPTIONDATA_H

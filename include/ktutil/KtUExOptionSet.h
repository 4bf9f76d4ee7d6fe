//===- KtUExOptionSet.h - Option set kept as records in memory ------------===//
//
// The option set that hosts build and define options in. Its entries are
// KtUOptionData records in order; nested sets are created along a path as
// needed:
//
//   KtUAutoRefPtr<KtUExOptionSet> root(new KtUExOptionSet);
//   root->DefineInt32("view.grid.spacing", 10, KtUOptionSet::ePROFILE_STANDARD, 0,
//                     nullptr, new KtUOptInt32RangeValidator(1, 100));
//   root->SetInt32("view.grid.spacing", 20);         // validator asked
//   root->DefineInt32("view.grid.spacing", 5, KtUOptionSet::ePROFILE_STANDARD, 0,
//                     nullptr, nullptr);              // posts: already defined
//
// A defined value starts with the default flag. Every structural edit
// (add, insert, replace, remove, EndEdit) bumps the change ids up to the
// root. In an array set (eMY_ARRAY) no record carries the default flag.
// Subclasses may refine the other "I" operations; the entries, their names
// and values are always the records.
//
// Thread safety: as KtUOptionSet.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUEXOPTIONSET_H
#define KTUTIL_KTUEXOPTIONSET_H

#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtUOwnPtrVector.h>

class KtUOptionValidator;

/// An option set holding its entries as records.
class KTU_API KtUExOptionSet : public KtUOptionSet {
public:
    KtUExOptionSet() { m_records = &m_options; }
    ~KtUExOptionSet() override;

    void SetMyFlags(unsigned flags) { m_myFlags = flags; }
    void SetHelpId(const char* id) { m_helpId = id; }
    using KtUOptionSet::SetMyName;

    // Records: the Own forms take ownership, the Copy forms own a copy that
    // shares the validator and nested set. Out-of-range indices post a
    // precondition error and change nothing.
    void AddOptionOwn(KtUOptionData* record);
    void InsertOptionOwn(int index, KtUOptionData* record);
    void ReplaceOptionOwn(int index, KtUOptionData* record);
    void AddOptionCopy(const KtUOptionData& record);
    void InsertOptionCopy(int index, const KtUOptionData& record);
    void ReplaceOptionCopy(int index, const KtUOptionData& record);
    void RemoveOption(int index);
    /// The record of entry index (not range-checked beyond a precondition).
    KtUOptionData* GetOptionData(int index);

    /// The records, for direct editing; call EndEdit afterwards.
    KtUOwnPtrVector<KtUOptionData>& BeginEdit() { return m_options; }
    /// Re-attaches nested sets, applies the array rule and reports a change.
    void EndEdit();

    // Definitions: create the sets along path and append a record named by
    // its last component, with the default flag. A path that is malformed
    // or already defined posts an error and defines nothing.
    void DefineData(const char* path, const KtUData& value, Profile profile, unsigned flags,
                    const char* className, KtUOptionValidator* validator);
    void DefineInt32(const char* path, int value, Profile profile, unsigned flags,
                     const char* className, KtUOptionValidator* validator);
    void DefineFloat(const char* path, double value, Profile profile, unsigned flags,
                     const char* className, KtUOptionValidator* validator);
    void DefineLinearFloat(const char* path, double value, Profile profile, unsigned flags,
                           const char* className, KtUOptionValidator* validator);
    void DefineAngularFloat(const char* path, double value, Profile profile, unsigned flags,
                            const char* className, KtUOptionValidator* validator);
    void DefineBoolean(const char* path, int value, Profile profile, unsigned flags,
                       const char* className, KtUOptionValidator* validator);
    void DefineWideString(const char* path, const KtUWChar* value, Profile profile, unsigned flags,
                          const char* className, KtUOptionValidator* validator);
    void DefineTime(const char* path, KtUInt64 value, Profile profile, unsigned flags,
                    const char* className, KtUOptionValidator* validator);
    void DefineName(const char* path, KtUName* value, Profile profile, unsigned flags,
                    const char* className, KtUOptionValidator* validator);
    /// Marks every entry of set as default and appends a record holding it.
    void DefineSet(const char* path, KtUOptionSet* set, Profile profile, unsigned flags,
                   const char* className);

    /// Creates the sets along path up to its last component, which must
    /// not exist yet. Returns the set to hold it and, in *last, where the
    /// last component starts; null when the path is malformed, already
    /// defined, or passes through storage that can't take new sets.
    KtUExOptionSet* CreatePath(const char* path, const char** last);

protected:
    unsigned IGetMyFlags() override { return m_myFlags; }
    // Final: entries, names and values are the records' (lookups read them
    // directly).
    int IGetNumOptions() final { return m_options.Size(); }
    const char* IGetName(int index) final;
    const char* IGetClassName(int index) override;
    unsigned IGetFlags(int index) override;
    unsigned IGetUserFlags(int index) override;
    void ISetUserFlags(int index, unsigned flags) override;
    Profile IGetProfile(int index) override;
    int IIsDisabled(int index, KtUData* value) override;
    int IGetRange(int index, KtUData* min, KtUData* max) override;
    KtUOptionSet* IGetValue(int index, KtUData* value) final;
    int ISetValue(int index, const KtUData& value, KtUWideStringBuffer* message) override;
    void IDoCustomOption() override {}
    const char* IGetHelpId() override;
    int IArrayInsert(int index) override;
    int IArrayRemove(int index) override;

private:
    bool CheckIndex(int index, bool end_ok, const char* what);
    void Adopt(KtUOptionData* record);
    static void Detach(KtUOptionData* record);

    unsigned m_myFlags = 0;
    KtUString m_helpId;
    KtUOwnPtrVector<KtUOptionData> m_options;
};

#endif // KTUTIL_KTUEXOPTIONSET_H

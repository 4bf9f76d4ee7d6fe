//===- KtUSwigOptionSet.h - Base for option sets of a scripting binding ---===//
//
// A binding derives from this class and overrides any of the "I"
// operations, which are public here and answer neutrally (0, null or
// nothing) until overridden. Names are produced into buffers:
//
//   class ScriptSet : public KtUSwigOptionSet {
//   public:
//       int IGetNumOptions() override { return 1; }
//       void IGetNameEx(int, KtUStringBuffer* out) override { out->SetString("answer"); }
//       KtUOptionSet* IGetValue(int, KtUData* v) override {
//           if (v) v->SetInt32(42);
//           return nullptr;
//       }
//   };
//
// Instances come from the C heap, as bindings expect, not from KtUMemory.
//
// Thread safety: as KtUOptionSet.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUSWIGOPTIONSET_H
#define KTUTIL_KTUSWIGOPTIONSET_H

#include <ktutil/KtUOptionSet.h>
#include <ktutil/KtUStringBuffer.h>

#include <cstddef>

/// Option set whose operations a scripting binding implements.
class KTU_API KtUSwigOptionSet : public KtUOptionSet {
public:
    KtUSwigOptionSet() = default;
    ~KtUSwigOptionSet() override;

    int HasOptionsForProfile(Profile profile) override;
    int HasSubOptionsForProfile(Profile profile) override;
    const KtUWChar* GetUserName(int index) override;
    int EnumerateNameValues(int index, KtURefPtrVector<KtUName>* out) override;

    unsigned IGetMyFlags() override { return 0; }
    int IGetNumOptions() override { return 0; }
    /// IGetNameEx into a buffer of this set; valid until the next call.
    const char* IGetName(int index) override;
    /// IGetClassNameEx into a buffer of this set; valid until the next call.
    const char* IGetClassName(int index) override;
    unsigned IGetFlags(int) override { return 0; }
    unsigned IGetUserFlags(int) override { return 0; }
    void ISetUserFlags(int, unsigned) override {}
    Profile IGetProfile(int) override { return ePROFILE_BASIC; }
    int IIsDisabled(int, KtUData*) override { return 0; }
    int IGetRange(int, KtUData*, KtUData*) override { return 0; }
    KtUOptionSet* IGetValue(int, KtUData*) override { return nullptr; }
    int ISetValue(int, const KtUData&, KtUWideStringBuffer*) override { return 0; }
    void IDoCustomOption() override {}
    int IInvokeHelp() override { return 0; }
    const char* IGetHelpId() override { return nullptr; }
    int IArrayInsert(int) override { return 0; }
    int IArrayRemove(int) override { return 0; }
    virtual void IGetNameEx(int index, KtUStringBuffer* out);
    virtual void IGetClassNameEx(int index, KtUStringBuffer* out);

    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

private:
    KtUStringBuffer m_name;
    KtUStringBuffer m_className;
};

#endif // KTUTIL_KTUSWIGOPTIONSET_H

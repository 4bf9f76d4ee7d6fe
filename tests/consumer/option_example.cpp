// The option headers alone, with the examples of their own header comments:
// sets defined along paths, validators, walks and the process-wide trees.
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUData.h>
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUOptAlwaysDisabled.h>
#include <ktutil/KtUOptInt32RangeValidator.h>
#include <ktutil/KtUOptValueEnabler.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionLock.h>
#include <ktutil/KtUOptionSetIterator.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSwigOptionSet.h>
#include <ktutil/KtUSysError.h>

#include <cstring>

namespace {

int s_posts = 0;
int CountPost(KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
    ++s_posts;
    return 1;
}

class ScriptSet : public KtUSwigOptionSet {
public:
    int IGetNumOptions() override { return 1; }
    void IGetNameEx(int, KtUStringBuffer* out) override { out->SetString("answer"); }
    KtUOptionSet* IGetValue(int, KtUData* v) override {
        if (v) v->SetInt32(42);
        return nullptr;
    }
};

} // namespace

int OptionExamples() {
    int errors = 0;
    KtUOption::Initialise();
    KtUSysError::SetHandler(CountPost, KtUSysError::eERROR, KtUOption::GetComponent(), -1);
    {
        // KtUOptionSet.h
        KtUAutoRefPtr<KtUExOptionSet> root(new KtUExOptionSet);
        root->DefineBoolean("general.xml.validate", 1, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                            nullptr);
        int validate = root->GetBoolean("general.xml.validate"); // 1
        unsigned before = root->GetChangeId();
        root->SetBoolean("general.xml.validate", 0);
        errors += validate != 1 || root->GetChangeId() == before;

        // KtUExOptionSet.h
        root->DefineInt32("view.grid.spacing", 10, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                          new KtUOptInt32RangeValidator(1, 100));
        root->SetInt32("view.grid.spacing", 20);
        root->DefineInt32("view.grid.spacing", 5, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                          nullptr); // posts: already defined
        errors += root->GetInt32("view.grid.spacing") != 20 || s_posts != 1;

        // KtUOptionData.h
        KtUOptionData record("validate", KtUData(true));
        record.SetUserFlags(KtUOptionSet::eUSER_DEFAULT);
        record.SetValidator(new KtUOptAlwaysDisabled);
        errors += record.GetValidator()->GetRefCount() != 1;

        // KtUOptionSetIterator.h / KtUOptionWrapper.h
        KtUAutoRefPtr<KtUOptionSet> top(root.Get());
        int values = 0;
        for (KtUOptionSetIterator it(top); it != KtUOptionSetIterator::Invalid(); ++it) {
            KtUData value;
            values += it->GetValue(&value);
        }
        errors += values != 2;

        // KtUSwigOptionSet.h
        KtUAutoRefPtr<KtUOptionSet> script(new ScriptSet);
        errors += script->GetInt32("answer") != 42;
    }
    {
        // KtUOption.h, KtUOptValueEnabler.h, KtUOptionLock.h
        int validate = KtUOption::DefineGetBoolean(
            "general.xml.validate", 1, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr, nullptr);
        KtUOption::SetBoolean("general.xml.validate", 0);
        errors += validate != 1 || KtUOption::GetBoolean("general.xml.validate") != 0;
        KtUOption::DefineBoolean("view.grid.show", 0, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                                 nullptr);
        KtUOption::DefineInt32("view.grid.spacing", 10, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                               new KtUOptValueEnabler("view.grid.show", KtUData(true), 0));
        {
            KtUOptionLock lock;
            KtUOptionSet* view = KtUOption::GetSet("view.grid", lock);
            errors += !view || view->IsDisabled(view->FindOption("spacing"), nullptr) != 1;
        }
        KtUOption::Undefine("view.grid.spacing");
        KtUOption::Undefine("view.grid.show");
        KtUOption::Undefine("general.xml.validate");
    }
    KtUSysError::RemoveHandler(KtUSysError::eERROR, KtUOption::GetComponent(), -1);
    KtUOption::Terminate();
    return errors;
}

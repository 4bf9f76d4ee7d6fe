//===- option_tree_fuzzer.cpp - Fuzzes edits, merges and walks of option sets ===//
//
// The input is a program of edits on one option tree, over paths built from a
// four-name alphabet so that definitions collide, nest and meet values where
// sets were expected. After every step the tree must hold together: each
// nested set knows its holder and name, arrays hold no default flag, a
// successful definition is found again at its path, and the reverse walk is
// the forward walk backwards.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionSetIterator.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>

#include "fuzz_text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

int s_posts = 0;
int CountPost(KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
    ++s_posts;
    return 1;
}

// A path of up to four components over a small alphabet, sometimes with an
// empty component.
std::string MakePath(FuzzedDataProvider& in) {
    static const char* const kNames[] = {"a", "b", "cc", ""};
    std::string path;
    int parts = in.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < parts; ++i) {
        if (i) path += '.';
        path += kNames[in.ConsumeIntegralInRange(0, 3)];
    }
    return path;
}

// The structural invariants of a record-kept tree.
void CheckTree(KtUOptionSet* set) {
    auto* ex = dynamic_cast<KtUExOptionSet*>(set);
    bool array = (set->GetMyFlags() & KtUOptionSet::eMY_ARRAY) != 0;
    for (int i = 0; i < set->GetNumOptions(); ++i) {
        if (array)
            fuzz::Check(!(set->GetUserFlags(i) & KtUOptionSet::eUSER_DEFAULT),
                        "array elements carry no default flag");
        KtUOptionSet* sub = set->GetSubOptions(i);
        if (!sub) continue;
        fuzz::Check(sub->GetParent() == set, "a nested set knows its holder");
        if (ex)
            fuzz::Check(sub->GetMyName() == ex->GetOptionData(i)->GetName(),
                        "a nested set carries its record's name");
        fuzz::Check(sub->GetRefCount() >= 1, "a held set is referenced");
        CheckTree(sub);
    }
}

void CheckWalks(KtUExOptionSet* root) {
    KtUAutoRefPtr<KtUOptionSet> top(root);
    std::vector<KtUOptionWrapper> forward, backward;
    for (KtUOptionSetIterator it(top); it != KtUOptionSetIterator::Invalid(); ++it)
        forward.push_back(*it);
    for (KtUOptionSetReverseIterator it(top); it != KtUOptionSetReverseIterator::Invalid(); ++it)
        backward.push_back(*it);
    fuzz::Check(forward.size() == backward.size(), "both walks see every value");
    for (size_t i = 0; i < forward.size(); ++i) {
        fuzz::Check(forward[i] == backward[backward.size() - 1 - i], "reverse is backwards");
        fuzz::Check(!forward[i].GetSet()->GetSubOptions(forward[i].GetIndex()), "walks see values");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KtUOption::Initialise();
    KtUSysError::SetHandler(CountPost, KtUSysError::eANY, KtUOption::GetComponent(), -1);
    std::atexit([] {
        KtUSysError::RemoveHandler(KtUSysError::eANY, KtUOption::GetComponent(), -1);
        KtUOption::Terminate();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    KtUAutoRefPtr<KtUExOptionSet> root(new KtUExOptionSet);
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
        std::string path = MakePath(in);
        int index;
        KtUOptionSet* set = root->FindSubOption(path.c_str(), &index);
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0: { // define a value
            int value = in.ConsumeIntegral<int>();
            int posts = s_posts;
            root->DefineInt32(path.c_str(), value, KtUOptionSet::ePROFILE_STANDARD, 0, nullptr,
                              nullptr);
            if (s_posts == posts) {
                KtUOptionSet* found = root->FindSubOption(path.c_str(), &index);
                fuzz::Check(index >= 0, "a definition is found again");
                KtUStringBuffer back;
                found->GetPath(index, &back);
                fuzz::Check(path == back.GetString(), "the path of a definition is its path");
                int read = ~value;
                fuzz::Check(root->TryGetInt32(path.c_str(), &read) && read == value,
                            "a definition reads back");
            }
            break;
        }
        case 1: { // define a set, sometimes an array of copies
            auto* sub = new KtUExOptionSet;
            if (in.ConsumeBool()) {
                sub->SetMyFlags(KtUOptionSet::eMY_ARRAY);
                for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n)
                    sub->AddOptionOwn(new KtUOptionData("", KtUData(n)));
            }
            root->DefineSet(path.c_str(), sub, KtUOptionSet::ePROFILE_BASIC,
                            in.ConsumeIntegralInRange(0u, 7u), nullptr);
            break;
        }
        case 2: // change a value
            root->SetInt32(path.c_str(), in.ConsumeIntegral<int>());
            break;
        case 3: // remove an entry
            if (index >= 0)
                if (auto* ex = dynamic_cast<KtUExOptionSet*>(set)) ex->RemoveOption(index);
            break;
        case 4: { // merge a copy of part of the tree into another part
            KtUOptionSet* from = root->GetSubOptions(MakePath(in).c_str());
            KtUOptionSet* into = root->GetSubOptions(path.c_str());
            if (!from || !into) break;
            KtUAutoRefPtr<KtUExOptionSet> copy(from->Copy(in.ConsumeIntegralInRange(0u, 0x3ffu)));
            unsigned flags = in.ConsumeIntegralInRange(0u, 0x1fu);
            if (in.ConsumeBool())
                into->Unite(copy.Get(), flags);
            else
                into->SetValues(copy.Get(), flags);
            break;
        }
        case 5: { // array edits
            KtUOptionSet* array = root->GetSubOptions(path.c_str());
            if (!array) break;
            int at = in.ConsumeIntegralInRange(-1, 4);
            int count = array->GetNumOptions();
            int ok = in.ConsumeBool() ? array->ArrayInsert(at) : array->ArrayRemove(at);
            if (ok) fuzz::Check(array->GetNumOptions() != count, "an array edit changes the count");
            break;
        }
        case 6: { // a whole copy compares equal
            KtUAutoRefPtr<KtUExOptionSet> copy(root->Copy(0));
            fuzz::Check(copy->IsEqualValues(root.Get()), "a copy has equal values");
            CheckTree(copy.Get());
            break;
        }
        case 7: // defaults everywhere, or nowhere
            root->SetDefaultOnAll(in.ConsumeBool());
            break;
        }
        CheckTree(root.Get());
    }
    CheckWalks(root.Get());
    return 0;
}

//===- OptionSetTest.cpp - Paths, changes, merges, copies and walks of sets ===//
#include "OptionTestUtil.h"

#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUOptAlwaysDisabled.h>
#include <ktutil/KtUOptInt32RangeValidator.h>
#include <ktutil/KtUOptValueEnabler.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionSetIterator.h>
#include <ktutil/KtURefPtrVector.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSwigOptionSet.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <string>
#include <vector>

namespace {

using ktutest::Err;
using ktutest::g_posts;
using ktutest::LastPost;
using S = KtUOptionSet;

constexpr auto kStd = S::ePROFILE_STANDARD;

// A set that counts its destruction, to see references released.
class CountedSet : public KtUExOptionSet {
public:
    explicit CountedSet(int* deaths) : m_deaths(deaths) {}
    ~CountedSet() override { ++*m_deaths; }

private:
    int* m_deaths;
};

class OptionSetTest : public ktutest::OptionFixture {
protected:
    void SetUp() override {
        OptionFixture::SetUp();
        root = new KtUExOptionSet;
    }
    // Defines an Int32 option with the default flag.
    void DefInt(const char* path, int value, KtUOptionValidator* validator = nullptr) {
        root->DefineInt32(path, value, kStd, 0, nullptr, validator);
    }
    KtUOptionSet* Sub(const char* path) { return root->GetSubOptions(path); }
    int Index(const char* path) {
        int index;
        root->FindSubOption(path, &index);
        return index;
    }
    unsigned UserFlags(const char* path) {
        int index;
        return root->FindSubOption(path, &index)->GetUserFlags(index);
    }
    // Names of the entries of set in order, as "a,b,c".
    static std::string Names(KtUOptionSet* set) {
        std::string out;
        for (int i = 0; i < set->GetNumOptions(); ++i)
            out += (i ? "," : "") + std::string(set->GetName(i));
        return out;
    }

    KtUAutoRefPtr<KtUExOptionSet> root;
};

TEST_F(OptionSetTest, PathLookupStopsAtTheDeepestExistingSet) {
    DefInt("view.grid.spacing", 10);
    DefInt("size", 3);
    KtUOptionSet* grid = Sub("view.grid");
    ASSERT_NE(grid, nullptr);
    int index = 7;
    EXPECT_EQ(root->FindSubOption("view.grid.spacing", &index), grid);
    EXPECT_EQ(index, 0);
    // A value in the middle of a path: this set, -1.
    EXPECT_EQ(root->FindSubOption("size.x", &index), root.Get());
    EXPECT_EQ(index, -1);
    // A set without the last component: that set, -1.
    EXPECT_EQ(root->FindSubOption("view.grid.colour", &index), grid);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(root->FindSubOption("view.missing.x", &index), Sub("view"));
    EXPECT_EQ(index, -1);
    // Leading dot, case, prefixes and the empty path find nothing.
    for (const char* bad : {".view", "View", "vie", "view.", "view.grid.spacing.more", ""}) {
        root->FindSubOption(bad, &index);
        EXPECT_EQ(index, -1) << bad;
    }
    EXPECT_EQ(root->GetSubOptions(""), root.Get());
    EXPECT_EQ(root->GetSubOptions("size"), nullptr);

    KtUStringBuffer path;
    grid->GetPath(0, &path);
    EXPECT_STREQ(path.GetString(), "view.grid.spacing");
    path.SetEmptyString();
    root->GetPath(&path);
    EXPECT_STREQ(path.GetString(), "");
}

TEST_F(OptionSetTest, MalformedOrTakenPathsDefineNothing) {
    DefInt("a.b", 1);
    struct Case {
        const char* path;
        int sets_after; // entries of the root afterwards
    } cases[] = {{"a.b", 1}, {"a.b.c", 1}, {".x", 1}, {"x.", 2}, {"y..z", 3}, {"", 3}};
    for (const Case& c : cases) {
        g_posts.clear();
        DefInt(c.path, 2);
        EXPECT_EQ(LastPost(), Err(std::string("KtUExOptionSet::Define: Option malformed or already "
                                              "defined: ") +
                                  c.path))
            << c.path;
        EXPECT_EQ(root->GetNumOptions(), c.sets_after) << c.path;
    }
    // The sets made before the bad component stay, empty.
    ASSERT_NE(Sub("y"), nullptr);
    EXPECT_EQ(Sub("y")->GetNumOptions(), 0);
    EXPECT_EQ(root->GetInt32("a.b"), 1);
}

TEST_F(OptionSetTest, CreatedSetsInheritBitOneUnderBit0x100) {
    root->SetMyFlags(S::eMY_INHERIT | S::eMY_INHERITED | S::eMY_NOT_PERSISTENT);
    DefInt("p.q.r", 1);
    EXPECT_EQ(Sub("p")->GetMyFlags(), unsigned(S::eMY_INHERITED));
    EXPECT_EQ(Sub("p.q")->GetMyFlags(), 0u); // p lacks 0x100
    root->SetMyFlags(S::eMY_INHERITED);
    DefInt("s.t", 1);
    EXPECT_EQ(Sub("s")->GetMyFlags(), 0u);
}

TEST_F(OptionSetTest, SetValueChangesOnlyOnRealChanges) {
    DefInt("a.b.c", 5);
    KtUOptionSet* a = Sub("a");
    KtUOptionSet* b = Sub("a.b");
    unsigned ids[] = {root->GetChangeId(), a->GetChangeId(), b->GetChangeId()};

    EXPECT_EQ(root->SetInt32("a.b.c", 5), 1); // equal: nothing happens
    EXPECT_EQ(UserFlags("a.b.c"), unsigned(S::eUSER_DEFAULT));
    EXPECT_EQ(root->GetChangeId(), ids[0]);

    EXPECT_EQ(root->SetInt32("a.b.c", 6), 1);
    EXPECT_EQ(UserFlags("a.b.c"), 0u);
    EXPECT_EQ(root->GetChangeId(), ids[0] + 1);
    EXPECT_EQ(a->GetChangeId(), ids[1] + 1);
    EXPECT_EQ(b->GetChangeId(), ids[2] + 1);

    // Another kind: refused, message cleared, nothing changed.
    KtUWideStringBuffer message;
    message.SetString(u"stale");
    EXPECT_EQ(root->SetValue("a.b.c", KtUData::FromFloat(6.0), &message), 0);
    EXPECT_EQ(message.GetLength(), 0);
    EXPECT_EQ(root->SetValue("a.b", KtUData(1), nullptr), 0); // a set
    EXPECT_EQ(root->SetInt32("a.b.missing", 1), 0);
    EXPECT_EQ(root->GetChangeId(), ids[0] + 1);
    EXPECT_TRUE(g_posts.empty());
}

TEST_F(OptionSetTest, ValidatorsGuardChangesAndAnswerState) {
    DefInt("n", 5, new KtUOptInt32RangeValidator(0, 9));
    unsigned id = root->GetChangeId();
    EXPECT_EQ(root->SetInt32("n", 10), 0);
    EXPECT_EQ(root->GetInt32("n"), 5);
    EXPECT_EQ(root->GetChangeId(), id);
    EXPECT_EQ(UserFlags("n"), unsigned(S::eUSER_DEFAULT));
    EXPECT_EQ(root->SetInt32("n", 9), 1);
    KtUData min, max;
    EXPECT_EQ(root->GetRange(0, &min, &max), 1);
    EXPECT_EQ(max.GetInt32(), 9);
    EXPECT_EQ(root->IsDisabled(0, nullptr), 0);

    // An enabler reading a sibling of the set asked about.
    DefInt("mode", 1);
    root->DefineBoolean("flag", 1, kStd, 0, nullptr, new KtUOptValueEnabler("mode", KtUData(2), 1));
    int flag = root->FindOption("flag");
    EXPECT_EQ(root->IsDisabled(flag, nullptr), 1);
    root->SetInt32("mode", 2);
    EXPECT_EQ(root->IsDisabled(flag, nullptr), 0);
    // A path that can't be read posts GetData's error and disables.
    root->DefineBoolean("other", 1, kStd, 0, nullptr,
                        new KtUOptValueEnabler("gone", KtUData(2), 1));
    EXPECT_EQ(root->IsDisabled(root->FindOption("other"), nullptr), 1);
    EXPECT_EQ(LastPost(), Err("Can't get Data option gone"));
}

TEST_F(OptionSetTest, TypedAccessNeedsTheExactKind) {
    DefInt("i", 7);
    root->DefineLinearFloat("len", 2.5, kStd, 0, nullptr, nullptr);
    root->DefineWideString("text", u"hi", kStd, 0, nullptr, nullptr);
    root->DefineTime("when", 1234567890123LL, kStd, 0, nullptr, nullptr);
    KtUAutoRefPtr<KtUName> name(new KtUName("Colour:2", u"Green"));
    root->DefineName("colour", name.Get(), kStd, 0, nullptr, nullptr);

    double d = -1;
    EXPECT_EQ(root->TryGetFloat("len", &d), 0); // LinearFloat is not Float
    EXPECT_EQ(d, -1);
    EXPECT_EQ(root->TryGetLinearFloat("len", &d), 1);
    EXPECT_EQ(d, 2.5);
    KtUWideStringBuffer text;
    EXPECT_EQ(root->GetWideString("text", &text), 1);
    EXPECT_TRUE(text == u"hi");
    EXPECT_EQ(root->GetTime("when"), 1234567890123LL);
    EXPECT_EQ(root->GetName("colour").Get(), name.Get());

    EXPECT_TRUE(g_posts.empty());
    EXPECT_EQ(root->GetBoolean("i"), 0);
    EXPECT_EQ(LastPost(), Err("Can't get Boolean option i"));
    EXPECT_EQ(root->GetInt32("nowhere"), 0);
    EXPECT_EQ(LastPost(), Err("Can't get Int32 option nowhere"));
    EXPECT_EQ(root->GetName("i").Get(), nullptr);
    EXPECT_EQ(LastPost(), Err("Can't get Name option i"));
    DefInt("set.x", 1);
    KtUData data(3);
    EXPECT_EQ(root->GetData("set", &data), 0);
    EXPECT_EQ(LastPost(), Err("Can't get Data option set"));
    EXPECT_EQ(data.GetInt32(), 3);
    EXPECT_EQ(root->GetType(root->FindOption("set")), KtUData::eNone);
    EXPECT_EQ(root->GetType(root->FindOption("len")), KtUData::eLinearFloat);
}

TEST_F(OptionSetTest, ArraysInsertRemoveAndNeverHoldDefaults) {
    KtUAutoRefPtr<KtUExOptionSet> list(new KtUExOptionSet);
    list->SetMyFlags(S::eMY_ARRAY);
    root->DefineSet("list", list.Get(), kStd, 0, nullptr);
    EXPECT_EQ(UserFlags("list"), unsigned(S::eUSER_DEFAULT));
    list->AddOptionOwn(new KtUOptionData("", KtUData(1)));
    list->AddOptionCopy(*list->GetOptionData(0));
    KtUOptionData* first = list->GetOptionData(0);
    first->SetUserFlags(S::eUSER_DEFAULT);
    list->EndEdit(); // the array rule again
    EXPECT_EQ(first->GetUserFlags(), 0u);
    // Editing the array clears the default flag of the entry holding it.
    EXPECT_EQ(UserFlags("list"), 0u);

    root->SetUserFlags(0, S::eUSER_DEFAULT);
    list->SetInt32("1", 0); // no entry named "1": nothing
    EXPECT_EQ(list->SetValue(1, KtUData(5), nullptr), 1);
    EXPECT_EQ(UserFlags("list"), 0u);

    EXPECT_EQ(list->ArrayInsert(2), 1); // at the end: a copy of the last
    EXPECT_EQ(list->GetNumOptions(), 3);
    EXPECT_EQ(list->GetOptionData(2)->GetData().GetInt32(), 5);
    EXPECT_EQ(list->ArrayInsert(0), 1); // a copy of element 0
    EXPECT_EQ(list->GetOptionData(0)->GetData().GetInt32(), 1);
    EXPECT_EQ(list->ArrayInsert(5), 0);
    EXPECT_EQ(list->ArrayRemove(4), 0);
    EXPECT_EQ(list->ArrayRemove(0), 1);
    EXPECT_EQ(list->GetNumOptions(), 3);
    // An ordinary set is no array.
    DefInt("plain.x", 1);
    EXPECT_EQ(Sub("plain")->ArrayInsert(0), 0);
    EXPECT_EQ(Sub("plain")->GetNumOptions(), 1);
}

// Two sets for the merge cases: dst holds a, b, c; src what the test adds.
class MergeTest : public OptionSetTest {
protected:
    void SetUp() override {
        OptionSetTest::SetUp();
        src = new KtUExOptionSet;
        for (const char* name : {"a", "b", "c"})
            root->DefineInt32(name, 0, kStd, 0, nullptr, nullptr);
    }
    void Src(const char* path, int value, unsigned userFlags) {
        src->DefineInt32(path, value, kStd, 0, nullptr, nullptr);
        int index;
        src->FindSubOption(path, &index)->SetUserFlags(index, userFlags);
    }
    KtUAutoRefPtr<KtUExOptionSet> src;
};

TEST_F(MergeTest, SetValuesSkipsWhatUniteInserts) {
    Src("b", 2, 0);
    Src("x", 9, 0);
    Src("c", 3, 0);
    Src("y", 8, 0);
    unsigned id = root->GetChangeId();
    EXPECT_EQ(root->SetValues(src.Get(), 0), 0u);
    EXPECT_EQ(Names(root.Get()), "a,b,c");
    EXPECT_EQ(root->GetInt32("b"), 2);
    EXPECT_EQ(root->GetChangeId(), id + 2);
    // x goes after b (the last match before it), y after c.
    EXPECT_EQ(root->Unite(src.Get(), 0), 0u);
    EXPECT_EQ(Names(root.Get()), "a,b,x,c,y");
    EXPECT_EQ(root->GetInt32("x"), 9);

    // Kinds that differ are reported and the merge goes on.
    KtUAutoRefPtr<KtUExOptionSet> other(new KtUExOptionSet);
    other->DefineFloat("a", 1.0, kStd, 0, nullptr, nullptr);
    other->DefineInt32("c", 4, kStd, 0, nullptr, nullptr);
    EXPECT_EQ(root->SetValues(other.Get(), 0), unsigned(S::eMS_VALUE_NOT_SET));
    EXPECT_EQ(root->GetInt32("c"), 4);
}

TEST_F(MergeTest, UserFlagRules) {
    // 0x1: the source's default flag is taken; ours survives only if equal.
    Src("a", 0, S::eUSER_DEFAULT | S::eUSER_MARK);
    Src("b", 0, 0);
    Src("c", 7, 0);
    root->SetUserFlags(0, 0);
    EXPECT_EQ(root->SetValues(src.Get(), S::eMERGE_DEFAULT_KEEP_EQUAL), 0u);
    EXPECT_EQ(UserFlags("a"), unsigned(S::eUSER_DEFAULT)); // mark not copied without 0x4
    EXPECT_EQ(UserFlags("b"), unsigned(S::eUSER_DEFAULT)); // equal values
    EXPECT_EQ(UserFlags("c"), 0u);                         // changed value
    EXPECT_EQ(root->GetInt32("c"), 7);

    // 0x2|0x4: default flag and mark become the source's.
    EXPECT_EQ(root->SetValues(src.Get(), S::eMERGE_DEFAULT_COPY | S::eMERGE_MARK_COPY), 0u);
    EXPECT_EQ(UserFlags("a"), unsigned(S::eUSER_DEFAULT | S::eUSER_MARK));
    EXPECT_EQ(UserFlags("b"), 0u);

    // 0x8 leaves marked destinations; 0x10 takes only marked sources.
    Src("d", 1, S::eUSER_MARK);
    root->DefineInt32("d", 0, kStd, 0, nullptr, nullptr);
    src->SetInt32("a", 5);
    src->SetInt32("b", 6);
    EXPECT_EQ(root->SetValues(src.Get(), S::eMERGE_SKIP_MARKED), 0u);
    EXPECT_EQ(root->GetInt32("a"), 0); // marked here: left alone
    EXPECT_EQ(root->GetInt32("b"), 6);
    src->SetInt32("b", 11);
    src->SetInt32("d", 2);
    EXPECT_EQ(root->SetValues(src.Get(), S::eMERGE_ONLY_MARKED), 0u);
    EXPECT_EQ(root->GetInt32("b"), 6); // not marked in the source
    EXPECT_EQ(root->GetInt32("d"), 2);
}

TEST_F(MergeTest, StructureMismatchesAndArrays) {
    src->DefineInt32("a.inner", 1, kStd, 0, nullptr, nullptr); // a set where we hold a value
    EXPECT_EQ(root->SetValues(src.Get(), 0), unsigned(S::eMS_STRUCTURE_DIFFERS));
    EXPECT_EQ(Sub("a"), nullptr);
    EXPECT_EQ(root->Unite(src.Get(), 0), 0u); // replaced by a copy
    ASSERT_NE(Sub("a"), nullptr);
    EXPECT_NE(Sub("a"), src->GetSubOptions("a"));
    EXPECT_EQ(root->GetInt32("a.inner"), 1);
    EXPECT_EQ(Sub("a")->GetParent(), root.Get());

    // A 3-element array merged into a 5-element one: shrink, then merge by position.
    auto makeArray = [](std::vector<int> values) {
        auto* array = new KtUExOptionSet;
        array->SetMyFlags(S::eMY_ARRAY);
        for (int v : values)
            array->AddOptionOwn(new KtUOptionData("e", KtUData(v)));
        return array;
    };
    root->DefineSet("arr", makeArray({1, 2, 3, 4, 5}), kStd, 0, nullptr);
    src->DefineSet("arr", makeArray({7, 8, 9}), kStd, 0, nullptr);
    KtUOptionSet* arr = Sub("arr");
    EXPECT_EQ(root->SetValues(src.Get(), 0), 0u);
    ASSERT_EQ(Sub("arr"), arr); // merged in place, not replaced
    ASSERT_EQ(arr->GetNumOptions(), 3);
    for (int i = 0; i < 3; ++i) {
        KtUData v;
        arr->GetDataValue(i, &v);
        EXPECT_EQ(v.GetInt32(), 7 + i);
    }
    // Growing copies the last element, then merges.
    KtUAutoRefPtr<KtUExOptionSet> longer(new KtUExOptionSet);
    longer->DefineSet("arr", makeArray({1, 2, 3, 4}), kStd, 0, nullptr);
    EXPECT_EQ(root->SetValues(longer.Get(), 0), 0u);
    EXPECT_EQ(arr->GetNumOptions(), 4);
    EXPECT_TRUE(arr->IsEqualValues(longer->GetSubOptions("arr")));
    // An array against an ordinary set differs in structure.
    KtUAutoRefPtr<KtUExOptionSet> plain(new KtUExOptionSet);
    plain->DefineInt32("arr.e", 1, kStd, 0, nullptr, nullptr);
    EXPECT_EQ(root->SetValues(plain.Get(), 0), unsigned(S::eMS_STRUCTURE_DIFFERS));
}

TEST_F(OptionSetTest, CopyFiltersOneLevelAndCopiesNestedSetsWhole) {
    DefInt("d", 1);
    DefInt("n", 2);
    root->SetInt32("n", 3); // no longer default
    DefInt("plain.x", 1);
    DefInt("plain.y", 1);
    Sub("plain")->SetInt32("y", 5);
    root->DefineSet("flagged", new KtUExOptionSet, kStd, S::eFLAG_SET_IS_OPTION, nullptr);
    root->SetUserFlags(root->FindOption("d"), S::eUSER_DEFAULT | S::eUSER_MARK);
    root->GetOptionData(root->FindOption("d"))
        ->SetValidator(new KtUOptAlwaysDisabled); // not copied

    auto names = [&](unsigned filter) {
        KtUAutoRefPtr<KtUExOptionSet> copy(root->Copy(filter));
        return Names(copy.Get());
    };
    EXPECT_EQ(names(0), "d,n,plain,flagged");
    // Sets made by path creation carry no default flag; defined sets do.
    EXPECT_EQ(names(S::eCOPY_DEFAULT_ONLY), "d,flagged");
    EXPECT_EQ(names(S::eCOPY_NON_DEFAULT_ONLY), "n,plain");
    EXPECT_EQ(names(S::eCOPY_MARKED_ONLY), "d");
    EXPECT_EQ(names(S::eCOPY_UNMARKED_ONLY), "n,plain,flagged");
    EXPECT_EQ(names(S::eCOPY_UNFLAGGED_SETS_ONLY), "plain");
    EXPECT_EQ(names(S::eCOPY_NO_UNFLAGGED_SETS), "d,n,flagged");
    EXPECT_EQ(names(S::eCOPY_FLAGGED_SETS_ONLY), "flagged");
    EXPECT_EQ(names(S::eCOPY_NO_FLAGGED_SETS), "d,n,plain");
    EXPECT_EQ(names(S::eCOPY_NO_SETS), "d,n");
    EXPECT_EQ(names(S::eCOPY_NO_VALUES), "plain,flagged");

    KtUAutoRefPtr<KtUExOptionSet> copy(root->Copy(S::eCOPY_NON_DEFAULT_ONLY));
    EXPECT_EQ(copy->GetSubOptions("plain")->GetNumOptions(), 2); // x is default, still there
    copy = root->Copy(0);
    EXPECT_EQ(copy->GetOptionData(0)->GetValidator(), nullptr);
    EXPECT_EQ(copy->GetUserFlags(0), unsigned(S::eUSER_DEFAULT | S::eUSER_MARK));
    EXPECT_EQ(copy->GetSubOptions("plain")->GetParent(), copy.Get());

    KtUAutoRefPtr<KtUExOptionSet> all(root->Copy(0));
    EXPECT_TRUE(all->IsEqualValues(root.Get()));
    all->SetInt32("plain.x", 9);
    EXPECT_FALSE(all->IsEqualValues(root.Get()));
    EXPECT_EQ(root->GetInt32("plain.x"), 1);
}

TEST_F(OptionSetTest, DefaultsOnAllSkipArraysAndProfilesCount) {
    DefInt("a.x", 1);
    root->DefineInt32("b.y", 1, S::ePROFILE_EXPERT, 0, nullptr, nullptr);
    KtUAutoRefPtr<KtUExOptionSet> list(new KtUExOptionSet);
    list->SetMyFlags(S::eMY_ARRAY);
    list->AddOptionOwn(new KtUOptionData("", KtUData(1)));
    root->DefineSet("list", list.Get(), S::ePROFILE_EXPERT, 0, nullptr);
    root->SetDefaultOnAll(0);
    EXPECT_EQ(UserFlags("a.x"), 0u);
    root->SetDefaultOnAll(1);
    EXPECT_EQ(UserFlags("a.x"), unsigned(S::eUSER_DEFAULT));
    EXPECT_EQ(list->GetUserFlags(0), 0u);

    // The root holds sets only; "b" counts from the expert profile on.
    EXPECT_EQ(root->HasOptionsForProfile(S::ePROFILE_ALL), 0);
    EXPECT_EQ(root->HasSubOptionsForProfile(S::ePROFILE_BASIC), 1);
    EXPECT_EQ(Sub("b")->HasOptionsForProfile(S::ePROFILE_ADVANCED), 0);
    EXPECT_EQ(Sub("b")->HasOptionsForProfile(S::ePROFILE_EXPERT), 1);
    EXPECT_EQ(list->HasOptionsForProfile(S::ePROFILE_BASIC), 1); // arrays always
    EXPECT_EQ(list->HasSubOptionsForProfile(S::ePROFILE_ALL), 0);
    // A flagged set is an option of its parent, not a sub-set.
    root->DefineSet("shown", new KtUExOptionSet, S::ePROFILE_BASIC, S::eFLAG_SET_IS_OPTION,
                    nullptr);
    EXPECT_EQ(root->HasOptionsForProfile(S::ePROFILE_BASIC), 1);
    KtUAutoRefPtr<KtUExOptionSet> custom(new KtUExOptionSet);
    EXPECT_EQ(custom->HasOptionsForProfile(S::ePROFILE_ALL), 0);
    custom->SetMyFlags(S::eMY_CUSTOM_OPTION);
    EXPECT_EQ(custom->HasOptionsForProfile(S::ePROFILE_BASIC), 1);
}

TEST_F(OptionSetTest, IteratorsWalkValuesDepthFirstBothWays) {
    DefInt("a", 1);
    DefInt("s.empty.deeper.none", 0);
    static_cast<KtUExOptionSet*>(Sub("s.empty.deeper"))->RemoveOption(0); // empty set
    DefInt("s.b", 2);
    DefInt("s.t.c", 3);
    DefInt("d", 4);
    KtUAutoRefPtr<KtUOptionSet> top(root.Get());
    std::string forward, backward;
    for (KtUOptionSetIterator it(top); it != KtUOptionSetIterator::Invalid(); ++it)
        forward += it->GetName();
    for (KtUOptionSetConstReverseIterator it(top);
         it != KtUOptionSetConstReverseIterator::Invalid(); it++)
        backward += (*it).GetName();
    EXPECT_EQ(forward, "abcd");
    EXPECT_EQ(backward, "dcba");

    // Stepping back from the middle retraces; copies are independent.
    KtUOptionSetIterator it(top);
    ++it;
    ++it;
    KtUOptionSetIterator copy = it;
    EXPECT_STREQ((--it)->GetName(), "b");
    EXPECT_STREQ(copy->GetName(), "c");
    EXPECT_EQ(copy->GetSet(), Sub("s.t"));
    EXPECT_EQ(copy.GetDepth(), 3);
    EXPECT_TRUE(it != copy);
    ++it;
    EXPECT_TRUE(it == copy);
    --it, --it;
    EXPECT_STREQ(it->GetName(), "a");
    --it; // off the front
    EXPECT_TRUE(it == KtUOptionSetIterator::Invalid());

    // An empty tree starts at the end; an iterator keeps its sets alive.
    KtUAutoRefPtr<KtUOptionSet> empty(new KtUExOptionSet);
    EXPECT_TRUE(KtUOptionSetIterator(empty) == KtUOptionSetIterator::Invalid());
    int deaths = 0;
    KtUOptionSetIterator survivor;
    {
        KtUAutoRefPtr<KtUExOptionSet> temp(new CountedSet(&deaths));
        temp->DefineInt32("x.y", 1, kStd, 0, nullptr, nullptr);
        survivor = KtUOptionSetIterator(temp);
    }
    EXPECT_EQ(deaths, 0);
    EXPECT_STREQ(survivor->GetName(), "y");
    survivor = KtUOptionSetIterator::Invalid();
    EXPECT_EQ(deaths, 1);
}

TEST_F(OptionSetTest, DisplayNamesAndEnumerationsComeFromTheStringTable) {
    DefInt("view.grid.spacing", 1);
    root->DefineInt32("view.shared", 1, kStd, S::eFLAG_USER_NAME_BY_NAME, nullptr, nullptr);
    root->DefineInt32("other.shared", 1, kStd, S::eFLAG_USER_NAME_BY_NAME, nullptr, nullptr);
    KtUResource::AddString("ktuopt.view.grid.spacing", u"Grid spacing");
    KtUResource::AddString("ktuopt:shared", u"Shared");
    KtUOptionSet* view = Sub("view");
    EXPECT_TRUE(KtUWideString(Sub("view.grid")->GetUserName(0)) == u"Grid spacing");
    const KtUWChar* a = view->GetUserName(view->FindOption("shared"));
    const KtUWChar* b = Sub("other")->GetUserName(0);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(KtUWideString(a) == b);
    EXPECT_TRUE(KtUWideString(a) == u"Shared");
    EXPECT_EQ(root->GetUserName(root->FindOption("view")), nullptr);

    KtUResource::AddEnumString("TestShade", 0, u"Light");
    KtUResource::AddEnumString("TestShade", 1, u"Dark");
    KtUAutoRefPtr<KtUName> dark(KtUName::MakeEnumName("TestShade", 1));
    root->DefineName("shade", dark.Get(), kStd, 0, nullptr, nullptr);
    KtUAutoRefPtr<KtUName> plain(new KtUName("Plain", u"Plain"));
    root->DefineName("plain", plain.Get(), kStd, 0, nullptr, nullptr);
    KtURefPtrVector<KtUName> names;
    EXPECT_EQ(root->EnumerateNameValues(root->FindOption("shade"), &names), 2);
    ASSERT_EQ(names.Size(), 2);
    EXPECT_STREQ(names[1]->GetName().GetString(), "TestShade:1");
    EXPECT_TRUE(names[1]->GetUserName() == u"Dark");
    EXPECT_EQ(root->EnumerateNameValues(root->FindOption("plain"), &names), 1);
    EXPECT_EQ(static_cast<KtUName*>(names[2]), plain.Get());
    EXPECT_EQ(root->EnumerateNameValues(root->FindOption("view"), &names), 0);

    KtUName::AddOverride("Plain", u"Overridden");
    root->ReapplyNameOverrides();
    EXPECT_TRUE(root->GetName("plain")->GetUserName() == u"Overridden");
}

TEST_F(OptionSetTest, RecordsShareReferencesAndCompareByIdentity) {
    int deaths = 0;
    auto* set = new CountedSet(&deaths);
    KtUOptionData a;
    a.SetName("n");
    a.SetSubOptions(set);
    a.SetValidator(new KtUOptAlwaysDisabled);
    {
        KtUOptionData b(a);
        EXPECT_EQ(set->GetRefCount(), 2);
        EXPECT_EQ(a.GetValidator()->GetRefCount(), 2);
        EXPECT_TRUE(a == b);
        b.SetValidator(nullptr); // the validator is not compared
        EXPECT_TRUE(a == b);
        b.SetUserFlags(S::eUSER_MARK);
        EXPECT_TRUE(a != b);
        KtUOptionData& alias = b;
        b = alias; // self-assignment keeps the references
        EXPECT_EQ(set->GetRefCount(), 2);
    }
    EXPECT_EQ(set->GetRefCount(), 1);
    // Equal but distinct nested sets make records unequal.
    KtUOptionData c;
    c.SetName("n");
    c.SetValidator(a.GetValidator());
    KtUAutoRefPtr<KtUExOptionSet> twin(set->Copy(0));
    c.SetSubOptions(twin.Get());
    EXPECT_TRUE(a != c);
    // SetData releases the set: it held the last reference.
    a.SetData(KtUData(4));
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(a.GetSubOptions(), nullptr);
    EXPECT_EQ(a.GetData().GetInt32(), 4);
    a.SetSubOptions(twin.Get());
    EXPECT_TRUE(a.GetData().IsNone());
}

// A binding's set: two fixed values, names produced into buffers.
class ScriptSet : public KtUSwigOptionSet {
public:
    int IGetNumOptions() override { return 2; }
    void IGetNameEx(int index, KtUStringBuffer* out) override {
        out->SetString(index ? "beta" : "alpha");
    }
    KtUOptionSet* IGetValue(int index, KtUData* value) override {
        if (value) value->SetInt32(index + 10);
        return nullptr;
    }
};

TEST_F(OptionSetTest, BindingSetsWorkWithTheSharedAlgorithms) {
    KtUAutoRefPtr<KtUOptionSet> script(new ScriptSet);
    root->DefineSet("script", script.Get(), kStd, 0, nullptr);
    EXPECT_EQ(root->GetInt32("script.beta"), 11);
    EXPECT_EQ(root->SetInt32("script.alpha", 3), 0); // ISetValue refuses
    // It takes no definitions and no new entries in a merge.
    DefInt("script.gamma", 1);
    EXPECT_EQ(LastPost(),
              Err("KtUExOptionSet::Define: Option malformed or already defined: script.gamma"));
    KtUAutoRefPtr<KtUExOptionSet> extra(new KtUExOptionSet);
    extra->DefineInt32("gamma", 1, kStd, 0, nullptr, nullptr);
    EXPECT_EQ(script->Unite(extra.Get(), 0), unsigned(S::eMS_CANNOT_ADD));
    KtUAutoRefPtr<KtUExOptionSet> copy(script->Copy(0));
    EXPECT_EQ(Names(copy.Get()), "alpha,beta");
}

} // namespace

//===- OptionTest.cpp - The process-wide trees: defaults, saved values, lock ===//
#include "OptionTestUtil.h"
#include "common/TestLog.h"

#include <ktutil/KtUExOptionSet.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUOptAlwaysDisabled.h>
#include <ktutil/KtUOptValueEnabler.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUOptionData.h>
#include <ktutil/KtUOptionLock.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSwigOptionSet.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using ktutest::Err;
using ktutest::g_posts;
using ktutest::LastPost;
using ktutest::LogText;
using S = KtUOptionSet;

constexpr auto kStd = S::ePROFILE_STANDARD;

class OptionTest : public ktutest::OptionFixture {
protected:
    // User flags of path in the current (or defaults) tree; ~0u when absent.
    static unsigned Flags(const char* path, bool defaults = false) {
        KtUOptionLock lock;
        int index;
        KtUOptionSet* set = defaults ? KtUOption::GetDefaultsOption(path, lock, &index)
                                     : KtUOption::GetOption(path, lock, &index);
        return index < 0 ? ~0u : set->GetUserFlags(index);
    }
    static int DefaultInt(const char* path) {
        KtUOptionLock lock;
        return KtUOption::GetDefaultsRoot(lock)->GetInt32(path);
    }
    // A saved-values tree holding path = value with the given user flags.
    static KtUOptionSet* Saved(KtUExOptionSet* saved, const char* path, const KtUData& value,
                               unsigned userFlags) {
        saved->DefineData(path, value, kStd, 0, nullptr, nullptr);
        int index;
        saved->FindSubOption(path, &index)->SetUserFlags(index, userFlags);
        return saved;
    }
};

TEST_F(OptionTest, DefineReadChangeUndefine) {
    EXPECT_EQ(KtUOption::DefineGetBoolean("general.xml.validate", 1, kStd, 0, nullptr, nullptr), 1);
    EXPECT_EQ(KtUOption::GetBoolean("general.xml.validate"), 1);
    EXPECT_EQ(KtUOption::SetBoolean("general.xml.validate", 0), 1);
    EXPECT_EQ(KtUOption::GetBoolean("general.xml.validate"), 0);
    EXPECT_EQ(Flags("general.xml.validate"), 0u);
    EXPECT_EQ(Flags("general.xml.validate", true), unsigned(S::eUSER_DEFAULT));
    EXPECT_EQ(KtUOption::HasDefaults("general.xml.validate"), 1);

    // A second definition posts and changes neither tree.
    KtUOption::DefineInt32("general.xml.validate", 5, kStd, 0, nullptr, nullptr);
    EXPECT_EQ(LastPost(), Err("Option malformed or already defined: general.xml.validate"));
    EXPECT_EQ(KtUOption::GetBoolean("general.xml.validate"), 0);
    {
        KtUOptionLock lock;
        EXPECT_EQ(KtUOption::GetSet("general.xml", lock)->GetNumOptions(), 1);
        EXPECT_EQ(KtUOption::GetDefaultsSet("general.xml", lock)->GetNumOptions(), 1);
    }
    KtUOption::Undefine("general.xml.validate");
    EXPECT_EQ(KtUOption::HasDefaults("general.xml.validate"), 0);
    int out = 7;
    EXPECT_EQ(KtUOption::TryGetBoolean("general.xml.validate", &out), 0);
    EXPECT_EQ(out, 7);
    KtUOption::Undefine("general.xml.validate");
    EXPECT_EQ(LastPost(), Err("Option malformed or not defined: general.xml.validate"));
}

TEST_F(OptionTest, SavedValuesAreAdoptedAndDefaultsComeBack) {
    KtUAutoRefPtr<KtUExOptionSet> saved(new KtUExOptionSet);
    Saved(saved.Get(), "t.count", KtUData(5), S::eUSER_MARK);
    Saved(saved.Get(), "t.ratio", KtUData::FromFloat(0.5), 0); // another kind than the option's
    Saved(saved.Get(), "t.same", KtUData(3), 0);               // equal to the default
    KtUOption::SetSavedValues(saved.Get());

    EXPECT_EQ(KtUOption::DefineGetInt32("t.count", 3, kStd, 0, nullptr, nullptr), 5);
    EXPECT_EQ(Flags("t.count"), unsigned(S::eUSER_MARK)); // the saved entry's flags
    EXPECT_EQ(DefaultInt("t.count"), 3);
    EXPECT_EQ(Flags("t.count", true), unsigned(S::eUSER_DEFAULT));
    EXPECT_EQ(KtUOption::DefineGetInt32("t.ratio", 2, kStd, 0, nullptr, nullptr), 2);
    EXPECT_EQ(KtUOption::DefineGetInt32("t.same", 3, kStd, 0, nullptr, nullptr), 3);
    EXPECT_EQ(Flags("t.same"), unsigned(S::eUSER_DEFAULT));

    KtUOption::ResetToDefaults("t.count");
    EXPECT_EQ(KtUOption::GetInt32("t.count"), 3);
    EXPECT_EQ(Flags("t.count"), unsigned(S::eUSER_DEFAULT)); // mark from the defaults too
    KtUOption::ResetToDefaults("t.none");
    EXPECT_NE(LogText().find("KtUOption::ResetToDefaults(t.none) - no default set, should have "
                             "been guarded with KtUOption::HasDefaults\n"),
              std::string::npos);

    // Options defined earlier receive later saved values; a kind clash warns.
    KtUOption::DefineInt32("u.n", 1, kStd, 0, nullptr, nullptr);
    KtUAutoRefPtr<KtUExOptionSet> later(new KtUExOptionSet);
    Saved(later.Get(), "u.n", KtUData(8), 0);
    Saved(later.Get(), "t.count", KtUData(true), 0);
    g_posts.clear();
    KtUOption::SetSavedValues(later.Get());
    EXPECT_EQ(KtUOption::GetInt32("u.n"), 8);
    EXPECT_EQ(Flags("u.n"), 0u);
    EXPECT_EQ(LastPost(),
              std::to_string(int(KtUSysError::eWARNING)) + ":Failed to set saved values, error 1");
}

// A component that defines its option while it initialises and undefines it
// while it terminates, nested inside the fixture's own initialisation.
TEST_F(OptionTest, NestedComponentsDefineAndUndefineWithSavedValues) {
    KtUAutoRefPtr<KtUExOptionSet> saved(new KtUExOptionSet);
    Saved(saved.Get(), "model.cache.mode", KtUData(2), 0);
    KtUOption::SetSavedValues(saved.Get());
    auto start = [] {
        KtUOption::Initialise();
        return KtUOption::DefineGetInt32("model.cache.mode", 0, kStd, 8, nullptr, nullptr);
    };
    auto stop = [] {
        KtUOption::Undefine("model.cache.mode");
        KtUOption::Terminate();
    };
    EXPECT_EQ(start(), 2);
    KtUOption::SetInt32("model.cache.mode", 3);
    stop();
    EXPECT_EQ(KtUOption::IsInitialised(), 1); // the fixture's hold remains
    EXPECT_EQ(KtUOption::HasDefaults("model.cache.mode"), 0);
    // Defined again, it adopts the saved value, not the one set in between.
    EXPECT_EQ(start(), 2);
    EXPECT_EQ(Flags("model.cache.mode"), 0u);
    KtUOption::ResetToDefaults("model.cache.mode");
    EXPECT_EQ(KtUOption::GetInt32("model.cache.mode"), 0);
    stop();
    EXPECT_TRUE(g_posts.empty()) << LastPost();
}

TEST_F(OptionTest, SetsAreDefinedWithTheirSavedContents) {
    KtUAutoRefPtr<KtUExOptionSet> saved(new KtUExOptionSet);
    Saved(saved.Get(), "grid.size", KtUData(40), 0);
    Saved(saved.Get(), "grid.unit", KtUData(2), S::eUSER_DEFAULT | S::eUSER_MARK);
    KtUOption::SetSavedValues(saved.Get());

    auto* grid = new KtUExOptionSet;
    grid->DefineInt32("size", 10, kStd, 0, nullptr, nullptr);
    grid->DefineInt32("unit", 1, kStd, 0, nullptr, nullptr);
    KtUOption::DefineSet("grid", grid, kStd, 0, "host");
    EXPECT_EQ(KtUOption::GetInt32("grid.size"), 40);
    EXPECT_EQ(Flags("grid.size"), 0u);
    EXPECT_EQ(Flags("grid.unit"), unsigned(S::eUSER_DEFAULT | S::eUSER_MARK));
    EXPECT_EQ(DefaultInt("grid.size"), 10); // defaults copy keeps the set's values
    EXPECT_EQ(Flags("grid.unit", true), unsigned(S::eUSER_DEFAULT | S::eUSER_MARK));
    {
        KtUOptionLock lock;
        EXPECT_EQ(KtUOption::GetSet("grid", lock), grid);
        EXPECT_NE(KtUOption::GetDefaultsSet("grid", lock), grid);
    }

    // Redefining swaps both sets and keeps the entry.
    auto* replacement = new KtUExOptionSet;
    replacement->DefineInt32("size", 12, kStd, 0, nullptr, nullptr);
    KtUAutoRefPtr<KtUExOptionSet> oldGrid(grid);
    KtUOption::RedefineSet("grid", replacement);
    EXPECT_EQ(oldGrid->GetParent(), nullptr);
    EXPECT_EQ(KtUOption::GetInt32("grid.size"), 40);
    EXPECT_EQ(DefaultInt("grid.size"), 12);
    {
        KtUOptionLock lock;
        int index;
        KtUOptionSet* root = KtUOption::GetOption("grid", lock, &index);
        EXPECT_STREQ(root->GetClassName(index), "host");
        EXPECT_EQ(KtUOption::GetSet("grid", lock)->GetParent(), root);
    }
    KtUOption::RedefineSet("nothing", new KtUExOptionSet);
    EXPECT_EQ(LastPost(), Err("Option malformed or not defined: nothing"));
}

TEST_F(OptionTest, SetFlagsAndForeignSets) {
    KtUOption::DefineSetFlags("a.b", S::eMY_NOT_PERSISTENT);
    {
        KtUOptionLock lock;
        EXPECT_EQ(KtUOption::GetSet("a.b", lock)->GetMyFlags(), unsigned(S::eMY_NOT_PERSISTENT));
        EXPECT_EQ(KtUOption::GetSet("a", lock)->GetMyFlags(), 0u);
        EXPECT_NE(KtUOption::GetDefaultsSet("a.b", lock), nullptr);
        EXPECT_EQ(KtUOption::GetDefaultsSet("a.b", lock)->GetMyFlags(), 0u);
    }
    KtUOption::DefineSetFlags("a..b", 1);
    EXPECT_EQ(LastPost(), Err("Path to set malformed: a..b"));
    EXPECT_EQ(KtUOption::SetHelpIdForSet("a.b", "help.topic"), 1);
    EXPECT_EQ(KtUOption::SetHelpIdForSet("a.zz", "x"), 0);
    {
        KtUOptionLock lock;
        EXPECT_STREQ(KtUOption::GetSet("a.b", lock)->GetHelpId(), "help.topic");
    }

    // A binding's set can't lose entries through Undefine.
    struct Host : KtUSwigOptionSet {
        int IGetNumOptions() override { return 1; }
        void IGetNameEx(int, KtUStringBuffer* out) override { out->SetString("v"); }
        KtUOptionSet* IGetValue(int, KtUData* value) override {
            if (value) value->SetInt32(1);
            return nullptr;
        }
    };
    KtUOption::DefineSet("host", new Host, kStd, 0, nullptr);
    KtUOption::Undefine("host.v");
    EXPECT_EQ(LastPost(), Err("Can't undefine option unless in KtUExOptionSet: host.v"));
    EXPECT_EQ(KtUOption::GetInt32("host.v"), 1);
}

TEST_F(OptionTest, RemovePathHeadSplitsAtTheLastDot) {
    KtUStringBuffer last, head;
    KtUOption::RemovePathHead("one.two.three", &last, &head);
    EXPECT_STREQ(last.GetString(), "three");
    EXPECT_STREQ(head.GetString(), "one.two");
    KtUOption::RemovePathHead("single", &last, &head);
    EXPECT_STREQ(last.GetString(), "single");
    EXPECT_STREQ(head.GetString(), "");
    KtUOption::RemovePathHead(nullptr, &last, nullptr);
    EXPECT_STREQ(last.GetString(), "");
}

// A validator that reads the process-wide options while the lock is held.
TEST_F(OptionTest, ValueEnablerTakesTheLockAgain) {
    KtUOption::DefineBoolean("view.grid.show", 0, kStd, 0, nullptr, nullptr);
    KtUOption::DefineInt32("view.grid.spacing", 10, kStd, 0, nullptr,
                           new KtUOptValueEnabler("view.grid.show", KtUData(true), 0));
    auto disabled = [] {
        KtUOptionLock lock;
        int index;
        KtUOptionSet* set = KtUOption::GetOption("view.grid.spacing", lock, &index);
        return set->IsDisabled(index, nullptr);
    };
    EXPECT_EQ(disabled(), 1);
    KtUOption::SetBoolean("view.grid.show", 1);
    EXPECT_EQ(disabled(), 0);
    // From another thread while this one holds the lock, the question waits.
    std::atomic<int> answer{-1};
    std::thread other;
    {
        KtUOptionLock lock;
        other = std::thread([&] { answer = disabled(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(answer.load(), -1);
        KtUOption::SetBoolean("view.grid.show", 0);
    }
    other.join();
    EXPECT_EQ(answer.load(), 1);
}

// Readers see a pair of options that a writer changes together under one
// lock, never half of a change; a definer adds and removes options meanwhile.
TEST_F(OptionTest, ConcurrentReadersSeeWholeChanges) {
    KtUOption::DefineInt32("pair.a", 0, kStd, 0, nullptr, nullptr);
    KtUOption::DefineInt32("pair.b", 0, kStd, 0, nullptr, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, reads{0};
    std::vector<std::thread> threads;
    for (int r = 0; r < 3; ++r) {
        threads.emplace_back([&] {
            while (!stop) {
                KtUOptionLock lock;
                int a = KtUOption::GetInt32("pair.a");
                int b = KtUOption::GetInt32("pair.b");
                if (a != b) ++torn;
                ++reads;
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
            std::string path = "extra.o" + std::to_string(i % 7);
            KtUOption::DefineInt32(path.c_str(), i, kStd, 0, nullptr, nullptr);
            KtUOption::Undefine(path.c_str());
        }
    });
    for (int i = 1; i <= 2000; ++i) {
        KtUOptionLock lock;
        KtUOption::SetInt32("pair.a", i);
        KtUOption::SetInt32("pair.b", i);
    }
    threads.back().join();
    threads.pop_back();
    stop = true;
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(KtUOption::GetInt32("pair.b"), 2000);
    EXPECT_TRUE(g_posts.empty()) << LastPost();
}

} // namespace

namespace {

// Used before Initialise: a loud report and the empty answer, no crash.
TEST(OptionMisuseTest, MembersReportWhenNotInitialised) {
    ASSERT_EQ(KtUOption::IsInitialised(), 0);
    KtUMemory::Initialise(); // for the validator handed to the definition
    KtUSysError::SetHandler(ktutest::CapturePost, KtUSysError::eANY, KtUOption::GetComponent(), -1);
    g_posts.clear();
    EXPECT_EQ(KtUOption::GetInt32("a.b"), 0);
    KtUOption::DefineInt32("a.b", 1, kStd, 0, nullptr, new KtUOptAlwaysDisabled);
    {
        KtUOptionLock lock;
        EXPECT_EQ(KtUOption::GetRoot(lock), nullptr);
    }
    KtUSysError::RemoveHandler(KtUSysError::eANY, KtUOption::GetComponent(), -1);
    KtUMemory::Terminate();
    ASSERT_EQ(g_posts.size(), 3u);
    EXPECT_EQ(g_posts[0], std::to_string(int(KtUSysError::ePRECONDITION)) +
                              ":KtUOption::GetInt32: KtUOption is not initialised");
    EXPECT_EQ(g_posts[2], std::to_string(int(KtUSysError::ePRECONDITION)) +
                              ":KtUOptionLock: KtUOption is not initialised");
}

} // namespace

//===- DictTest.cpp - Hash dictionaries and their converters --------------===//
#include <ktutil/KtUDict.h>
#include <ktutil/KtUStrVoidPtrDict.h>
#include <ktutil/KtUStrVoidPtrDictIt.h>
#include <ktutil/KtUTempStrVoidPtrDict.h>
#include <ktutil/KtUVoidPtrDict.h>
#include <ktutil/KtUVoidPtrDictIt.h>
#include <ktutil/KtUWideStrVoidPtrDict.h>
#include <ktutil/KtUWideStrVoidPtrDictIt.h>
#include <ktutil/KtUWideStringBuffer.h>
#include <ktutil/KtUWideTempStrVoidPtrDict.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

void* V(int v) {
    return KtUDict::ConvertInt32ToVoidPtr(v);
}

class DictTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUDict::Initialise();
        start = Allocated();
    }
    static KtUNat64 Allocated() {
        return KtUMemory::GetArenaMemoryAllocated() + KtUMemory::GetMallocMemoryAllocated() +
               KtUMemory::GetRegionMemoryAllocated();
    }
    void TearDown() override {
        EXPECT_EQ(start, Allocated()) << "a dictionary leaked keys, nodes or its table";
        KtUDict::Terminate();
    }
    KtUNat64 start = 0;
};

TEST_F(DictTest, OwningDictionaryKeepsOneCopyPerKey) {
    KtUStrVoidPtrDict d;
    EXPECT_TRUE(d.IsEmpty());
    char key[] = "bolt";
    EXPECT_EQ(1, d.Enter(key, V(1)));
    key[0] = 'c'; // the dictionary's copy is unaffected
    void* v = nullptr;
    EXPECT_EQ(1, d.Find("bolt", &v));
    EXPECT_EQ(V(1), v);
    EXPECT_EQ(0, d.Find("colt", &v));
    auto bytes = KtUMemory::GetArenaMemoryAllocated();
    EXPECT_EQ(0, d.Enter("bolt", V(2))); // replaces, keeps one copy
    EXPECT_EQ(bytes, KtUMemory::GetArenaMemoryAllocated());
    EXPECT_EQ(V(2), *d.Find("bolt"));
    d.Enter("nut") = V(3);
    EXPECT_EQ(2, d.Size());
    EXPECT_EQ(nullptr, d.FindAndRemove("absent"));
    EXPECT_EQ(2, d.Size());
    EXPECT_EQ(V(3), d.FindAndRemove("nut"));
    EXPECT_EQ(1, d.Remove("bolt"));
    EXPECT_EQ(0, d.Remove("bolt"));
    // Null keys are keys of their own.
    EXPECT_EQ(1, d.Enter(nullptr, V(9)));
    EXPECT_EQ(0, d.Find("", &v));
    EXPECT_EQ(1, d.Find(nullptr, &v));
    EXPECT_EQ(V(9), v);
    // The remaining key and table go with the dictionary (TearDown checks).
}

TEST_F(DictTest, TempDictionaryNeverCopiesOrFreesKeys) {
    std::string key = "borrowed";
    KtUTempStrVoidPtrDict d;
    d.Enter(key.c_str(), V(1));
    KtUStrVoidPtrDictIt it = d.Begin();
    EXPECT_EQ(key.c_str(), it.GetKey()); // the caller's own pointer
    KtUTempStrVoidPtrDict copy(d);
    EXPECT_EQ(key.c_str(), copy.Begin().GetKey());
    d.RemoveAll();
    EXPECT_TRUE(d.IsEmpty());
    EXPECT_EQ(1, copy.Size());
}

TEST_F(DictTest, ManyInsertsAndRemovalsIterateEachElementOnce) {
    KtUVoidPtrDict d;
    std::map<uintptr_t, int> model;
    std::mt19937 rng(3);
    for (int i = 0; i < 20000; ++i) {
        auto key = static_cast<uintptr_t>(rng() % 5000) * 16;
        if (rng() % 3 == 0) {
            EXPECT_EQ(int(model.erase(key)), d.Remove(reinterpret_cast<void*>(key)));
        } else {
            EXPECT_EQ(model.count(key) ? 0 : 1, d.Enter(reinterpret_cast<void*>(key), V(i)));
            model[key] = i;
        }
    }
    ASSERT_EQ(int(model.size()), d.Size());
    std::map<uintptr_t, int> seen;
    for (KtUVoidPtrDictIt it = d.Begin(); it.IsValid(); it.Next())
        seen[reinterpret_cast<uintptr_t>(it.GetKey())] += 1;
    ASSERT_EQ(model.size(), seen.size());
    for (auto& [key, count] : seen)
        ASSERT_EQ(1, count) << key;
    // The same operations give the same order.
    KtUVoidPtrDict a, b;
    for (int i = 0; i < 1000; ++i) {
        a.Enter(reinterpret_cast<void*>(uintptr_t(i * 24)), nullptr);
        b.Enter(reinterpret_cast<void*>(uintptr_t(i * 24)), nullptr);
    }
    KtUVoidPtrDictIt ia = a.Begin(), ib = b.Begin();
    for (; ia.IsValid(); ia.Next(), ib.Next())
        ASSERT_EQ(ia.GetKey(), ib.GetKey());
    EXPECT_FALSE(ib.IsValid());
}

// Past a megabyte the table's arrays are memory regions of their own: they
// must be found, copied and given back like the small ones.
TEST_F(DictTest, LargeTablesGrowCopyAndFreeTheirRegions) {
    KtUStrVoidPtrDict d;
    const int n = 100000;
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(1, d.Enter(("part/" + std::to_string(i)).c_str(), V(i)));
    EXPECT_GT(KtUMemory::GetRegionMemoryAllocated(), 0u);
    KtUStrVoidPtrDict copy(d);
    d.RemoveAll();
    void* v = nullptr;
    for (int i = 0; i < n; i += 7) {
        ASSERT_EQ(1, copy.Find(("part/" + std::to_string(i)).c_str(), &v));
        ASSERT_EQ(V(i), v);
    }
    EXPECT_EQ(0, copy.Find("part/-1", &v));
}

// Hosts keep the reference from Enter while they build the value, and the
// build may enter more keys: value slots must not move when the table grows
// or is rebuilt, whatever the key kind.
template <class Dict, class K> void ExpectSlotsStayPut(const std::vector<K>& keys) {
    SCOPED_TRACE(typeid(Dict).name());
    Dict d;
    void*& held = d.Enter(keys[0]);
    d.Enter(keys[1], V(1));
    void** found = d.Find(keys[1]);
    ASSERT_NE(nullptr, found);
    for (size_t i = 2; i < keys.size(); ++i) // several doublings
        d.Enter(keys[i], V(int(i)));
    held = V(-1);
    *found = V(-2);
    void* v = nullptr;
    EXPECT_EQ(1, d.Find(keys[0], &v));
    EXPECT_EQ(V(-1), v);
    EXPECT_EQ(found, d.Find(keys[1]));
    EXPECT_EQ(V(-2), *found);
    // Removals leave deleted marks; re-entering rebuilds without doubling.
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 2; i < keys.size(); i += 2)
            ASSERT_EQ(1, d.Remove(keys[i]));
        for (size_t i = 2; i < keys.size(); i += 2)
            ASSERT_EQ(1, d.Enter(keys[i], V(int(i))));
    }
    held = V(-3);
    EXPECT_EQ(V(-3), *d.Find(keys[0]));
    EXPECT_EQ(found, d.Find(keys[1]));
    for (size_t i = 2; i < keys.size(); i += 97)
        EXPECT_EQ(V(int(i)), *d.Find(keys[i]));
}

TEST_F(DictTest, ValueSlotsStayPutWhileTheTableGrows) {
    const int n = 3000;
    std::vector<std::string> texts;
    std::vector<std::u16string> wides;
    for (int i = 0; i < n; ++i) {
        texts.push_back("key/" + std::to_string(i));
        wides.push_back(u"key/" + std::u16string(texts.back().begin() + 4, texts.back().end()));
    }
    std::vector<void*> pointers;
    std::vector<const char*> narrow;
    std::vector<const KtUWChar*> wide;
    for (int i = 0; i < n; ++i) {
        pointers.push_back(reinterpret_cast<void*>(uintptr_t(i + 1) * 32));
        narrow.push_back(texts[i].c_str());
        wide.push_back(wides[i].c_str());
    }
    ExpectSlotsStayPut<KtUVoidPtrDict>(pointers);
    ExpectSlotsStayPut<KtUStrVoidPtrDict>(narrow);
    ExpectSlotsStayPut<KtUTempStrVoidPtrDict>(narrow);
    ExpectSlotsStayPut<KtUWideStrVoidPtrDict>(wide);
    ExpectSlotsStayPut<KtUWideTempStrVoidPtrDict>(wide);
}

// The caching pattern: the value is built after its slot is taken, and the
// build fills the same dictionary.
TEST_F(DictTest, ValueBuiltIntoItsSlotWhileTheBuildEntersKeys) {
    KtUStrVoidPtrDict d;
    auto build = [&d] {
        for (int i = 0; i < 2000; ++i)
            d.Enter(("part/" + std::to_string(i)).c_str(), V(i));
        return V(77);
    };
    void*& slot = d.Enter("assembly");
    if (!slot) slot = build();
    void* v = nullptr;
    EXPECT_EQ(1, d.Find("assembly", &v));
    EXPECT_EQ(V(77), v);
    EXPECT_EQ(2001, d.Size());
}

// Owned key copies are counted by the memory manager's size class: texts of
// 300 units fill a class nothing else here uses.
unsigned BlocksOfClass(unsigned bytes) {
    unsigned s = KtUMemory::GetHistogramFirstSize();
    while (s && s < bytes)
        s = KtUMemory::GetHistogramNextSize(s);
    return KtUMemory::GetHistogramNumBlocks(s);
}

template <class Dict, class C> void ExpectEachKeyFreedOnce() {
    SCOPED_TRACE(typeid(Dict).name());
    const unsigned bytes = 301 * sizeof(C);
    auto key = [](int i) {
        std::basic_string<C> k(300, C('k'));
        k[0] = C('a' + i);
        return k;
    };
    unsigned base = BlocksOfClass(bytes);
    {
        Dict d;
        for (int i = 0; i < 4; ++i)
            d.Enter(key(i).c_str(), V(i));
        EXPECT_EQ(base + 4, BlocksOfClass(bytes));
        EXPECT_EQ(0, d.Enter(key(0).c_str(), V(9))); // replaced: still one copy
        EXPECT_EQ(base + 4, BlocksOfClass(bytes));
        EXPECT_EQ(1, d.Remove(key(1).c_str()));
        EXPECT_EQ(base + 3, BlocksOfClass(bytes));
        EXPECT_EQ(V(2), d.FindAndRemove(key(2).c_str()));
        EXPECT_EQ(base + 2, BlocksOfClass(bytes));
        d.RemoveAll();
        EXPECT_EQ(base, BlocksOfClass(bytes));
        d.Enter(key(5).c_str(), V(5));
        d.Enter(key(6).c_str(), V(6));
        Dict copy(d); // its own copies
        EXPECT_EQ(base + 4, BlocksOfClass(bytes));
    }
    EXPECT_EQ(base, BlocksOfClass(bytes)); // destruction, once each
}

// Borrowed keys allocated by the caller on the memory manager: a temporary
// dictionary must neither copy nor free them.
template <class Dict, class C> void ExpectKeysNeverFreed() {
    SCOPED_TRACE(typeid(Dict).name());
    const unsigned bytes = 301 * sizeof(C);
    unsigned base = BlocksOfClass(bytes);
    std::vector<C*> keys;
    for (int i = 0; i < 4; ++i) {
        C* k = static_cast<C*>(KtUMemory::Alloc(bytes, KtUMemory::eALIGN1));
        std::fill(k, k + 300, C('a' + i));
        k[300] = 0;
        keys.push_back(k);
    }
    {
        Dict d;
        for (C* k : keys)
            d.Enter(k, nullptr);
        d.Enter(keys[0], V(1));
        d.Remove(keys[1]);
        d.FindAndRemove(keys[2]);
        Dict copy(d);
        d.RemoveAll();
        EXPECT_EQ(base + 4, BlocksOfClass(bytes));
    }
    EXPECT_EQ(base + 4, BlocksOfClass(bytes));
    for (C* k : keys)
        KtUMemory::Dealloc(k, bytes, KtUMemory::eALIGN1);
}

TEST_F(DictTest, OwnedKeysFreedExactlyOnceBorrowedKeysNever) {
    ExpectEachKeyFreedOnce<KtUStrVoidPtrDict, char>();
    ExpectEachKeyFreedOnce<KtUWideStrVoidPtrDict, KtUWChar>();
    ExpectKeysNeverFreed<KtUTempStrVoidPtrDict, char>();
    ExpectKeysNeverFreed<KtUWideTempStrVoidPtrDict, KtUWChar>();
}

TEST_F(DictTest, CopiesAreDeepAndEditValueWritesThrough) {
    KtUWideStrVoidPtrDict d;
    d.Enter(u"a", V(1));
    d.Enter(u"b", V(2));
    KtUWideStrVoidPtrDict copy;
    copy = d;
    for (KtUWideStrVoidPtrDictIt it = copy.Begin(); it.IsValid(); it.Next())
        it.EditValue() = V(KtUDict::ConvertVoidPtrToInt32(it.GetValue()) * 10);
    void* v;
    copy.Find(u"b", &v);
    EXPECT_EQ(V(20), v);
    d.Find(u"b", &v);
    EXPECT_EQ(V(2), v);
    EXPECT_NE(static_cast<const void*>(d.Begin().GetKey()),
              static_cast<const void*>(copy.Begin().GetKey()));
    copy.Swap(d);
    d.Find(u"a", &v);
    EXPECT_EQ(V(10), v);
}

TEST_F(DictTest, MakeUniqueName) {
    KtUWideTempStrVoidPtrDict d;
    for (const KtUWChar* k : {u"Box", u"Box (2)", u"(5)", u"Nut (x)", u"Cap", u"Cap (left)"})
        d.Enter(k, nullptr);
    KtUWideStringBuffer out;
    auto unique = [&](const KtUWChar* name, const KtUWChar* qualifier) {
        int changed = d.MakeUniqueName(&out, name, qualifier);
        return std::to_string(changed) + ":" +
               std::string(out.GetString(), out.GetString() + out.GetLength());
    };
    EXPECT_EQ("0:Free", unique(u"Free", nullptr));
    EXPECT_EQ("1:Box (1)", unique(u"Box", nullptr));
    EXPECT_EQ("1:Box (3)", unique(u"Box (2)", nullptr));
    EXPECT_EQ("1:(6)", unique(u"(5)", nullptr));
    EXPECT_EQ("1:Nut (x) (1)", unique(u"Nut (x)", nullptr)); // not digits: no counter
    EXPECT_EQ("1:Box (left)", unique(u"Box", u"left"));
    EXPECT_EQ("1:Cap (left) (1)", unique(u"Cap", u"left"));
    EXPECT_EQ("1:Box (right) (2)", unique(u"Box (2)", u"right"));
    EXPECT_EQ(6, d.Size()); // unchanged
}

TEST(DictConvertTest, ThirtyTwoBitResults) {
    void* all = KtUDict::ConvertNat32ToVoidPtr(0xFFFFFFFFu);
    EXPECT_EQ(-1, KtUDict::ConvertVoidPtrToInt64(all));
    EXPECT_EQ(0xFFFFFFFFull, KtUDict::ConvertVoidPtrToNat64(all));
    EXPECT_EQ(-7, KtUDict::ConvertVoidPtrToInt32(KtUDict::ConvertInt32ToVoidPtr(-7)));
    EXPECT_EQ(0x9ABCDEF0u, KtUDict::ConvertVoidPtrToNat32(
                               KtUDict::ConvertNat64ToVoidPtr(0x123456789ABCDEF0ull)));
    EXPECT_EQ(-2, KtUDict::ConvertVoidPtrToInt64(KtUDict::ConvertInt64ToVoidPtr(-2)));
}

} // namespace

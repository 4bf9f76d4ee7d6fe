//===- VectorTest.cpp - Plain vectors: growth, editing, order -------------===//
#include "ContainerTestUtil.h"

#include <ktutil/KtUConstWCharPtrVector.h>
#include <ktutil/KtUFloatVector.h>
#include <ktutil/KtUInt32Vector.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUNat64Vector.h>

#include <cstdint>
#include <string>
#include <vector>

using ktutest::ContainerTest;

namespace {

std::vector<int> Items(const KtUInt32Vector& v) {
    return std::vector<int>(v.Begin(), v.End());
}

KtUInt32Vector Make(std::initializer_list<int> items) {
    return KtUInt32Vector(items.begin(), items.end());
}

} // namespace

TEST_F(ContainerTest, GrowsOnlyWhenFullAlongSizeClasses) {
    KtUInt32Vector v;
    KtUNat64Vector w;
    int grows = 0;
    for (int i = 0; i < 5000; ++i) {
        int cap = v.Capacity();
        bool full = v.Size() == cap;
        v.PushBack(i);
        w.PushBack(static_cast<KtUNat64>(i) << 33);
        if (full) {
            ++grows;
            EXPECT_EQ(KtUMemory::GetBestBlockSize((cap + 1) * 4) / 4, unsigned(v.Capacity()));
        } else {
            EXPECT_EQ(cap, v.Capacity());
        }
        ASSERT_EQ(0u, reinterpret_cast<std::uintptr_t>(w.Begin()) % 8);
    }
    EXPECT_LT(grows, 20);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(i, v[i]);
    EXPECT_EQ(static_cast<KtUNat64>(4999) << 33, w.Back());
}

// The first element count from which the memory manager resizes a block of
// that many ints in place to the next best block size.
static int InPlaceCount() {
    for (int n = 129; n < 4000; ++n) {
        unsigned int bytes = n * 4, best = KtUMemory::GetBestBlockSize(bytes + 4);
        void* p = KtUMemory::Alloc(bytes, KtUMemory::eALIGN1);
        void* q = KtUMemory::Resize(p, bytes, best, KtUMemory::eALIGN1);
        KtUMemory::Dealloc(q, best, KtUMemory::eALIGN1);
        if (p == q) return n;
    }
    return -1;
}

TEST_F(ContainerTest, ReserveIsExactAndGrowthStaysInPlaceWithinASizeClass) {
    int n = InPlaceCount();
    ASSERT_GT(n, 0);
    KtUInt32Vector v;
    v.Reserve(n);
    EXPECT_EQ(n, v.Capacity());
    v.Reserve(10);
    EXPECT_EQ(n, v.Capacity());
    for (int i = 0; i < n; ++i)
        v.PushBack(i);
    int* before = v.Begin();
    v.PushBack(n);
    EXPECT_EQ(int(KtUMemory::GetBestBlockSize(n * 4 + 4) / 4), v.Capacity());
    EXPECT_EQ(before, v.Begin());
    EXPECT_EQ(n, v.Back());
    EXPECT_EQ(n - 1, v[n - 1]);
}

TEST_F(ContainerTest, CompareAndEquality) {
    EXPECT_EQ(-1, Make({1, 2}).Compare(Make({1, 2, 0})));
    EXPECT_EQ(1, Make({1, 2, 0}).Compare(Make({1, 2})));
    EXPECT_EQ(1, Make({2}).Compare(Make({1, 9})));
    EXPECT_EQ(0, Make({}).Compare(Make({})));
    EXPECT_EQ(-1, Make({-5}).Compare(Make({3}))); // signed
    EXPECT_EQ(0, Make({7, -1}).Compare(Make({7, -1})));
    KtUNat64 big[] = {~0ull}, small[] = {1};
    EXPECT_EQ(1, KtUNat64Vector(big, big + 1).Compare(KtUNat64Vector(small, small + 1)));

    KtUInt32Vector a = Make({1, 2}), b(a);
    b[0] = 5;
    EXPECT_EQ(1, a[0]);
    b = a;
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(Make({1, 2}) != Make({1, 2, 0}));
    EXPECT_TRUE(Make({1, 2}) != Make({1, 3}));
    float f[] = {0.0f, 1.5f};
    KtUFloatVector fv(f, f + 2);
    EXPECT_EQ(0, fv.Find(-0.0f));
    EXPECT_EQ(1, fv.Find(1.5f));
    EXPECT_EQ(-1, fv.Find(2.0f));
}

TEST_F(ContainerTest, SetSizeZeroFillsOverOldContents) {
    KtUInt32Vector v = Make({9, 9, 9, 9, 9});
    v.SetSize(3);
    EXPECT_EQ((std::vector<int>{9, 9, 9}), Items(v));
    v.SetSize(5);
    EXPECT_EQ((std::vector<int>{9, 9, 9, 0, 0}), Items(v));
    v.SetSize(300);
    EXPECT_EQ(300, v.Size());
    EXPECT_EQ(0, v[299]);
    v.Clear();
    EXPECT_TRUE(v.Empty());
    EXPECT_GE(v.Capacity(), 300);
}

TEST_F(ContainerTest, InsertAndErase) {
    KtUInt32Vector v = Make({1, 2, 3});
    int* at = v.Insert(v.Begin() + 1, 7);
    EXPECT_EQ(v.Begin() + 1, at);
    v.Insert(v.End(), 8);
    v.Insert(v.Begin(), 0);
    EXPECT_EQ((std::vector<int>{0, 1, 7, 2, 3, 8}), Items(v));

    int more[] = {40, 41, 42};
    v.Insert(v.Begin() + 2, more, more + 3);
    EXPECT_EQ((std::vector<int>{0, 1, 40, 41, 42, 7, 2, 3, 8}), Items(v));
    // A range from the vector itself, while it must grow.
    while (v.Size() < v.Capacity())
        v.PushBack(5);
    int size = v.Size();
    v.Insert(v.Begin(), v.Begin() + 2, v.Begin() + 5);
    EXPECT_EQ(size + 3, v.Size());
    EXPECT_EQ((std::vector<int>{40, 41, 42, 0, 1, 40}), std::vector<int>(v.Begin(), v.Begin() + 6));

    v.SetSize(6);
    EXPECT_EQ(v.Begin() + 1, v.Erase(v.Begin() + 1, v.Begin() + 4));
    EXPECT_EQ((std::vector<int>{40, 1, 40}), Items(v));
    v.Erase(v.Begin());
    v.Erase(v.End() - 1);
    EXPECT_EQ((std::vector<int>{1}), Items(v));
    EXPECT_EQ(-1, v.Find(40));
}

TEST_F(ContainerTest, BadArgumentsArePostedAndChangeNothing) {
    KtUInt32Vector v = Make({1, 2, 3});
    int* begin = v.Begin();
    EXPECT_EQ(0, v.ItemAt(-1));
    EXPECT_EQ(0, v.ItemAt(3));
    EXPECT_EQ(3, v.ItemAt(2));
    EXPECT_EQ(nullptr, v.Insert(v.End() + 1, 4));
    EXPECT_EQ(nullptr, v.Insert(v.Begin() - 1, 4));
    int other[] = {7, 8};
    v.Insert(v.End() + 2, other, other + 2);
    v.Insert(v.End(), other + 2, other);
    EXPECT_EQ(nullptr, v.Erase(v.End()));
    EXPECT_EQ(nullptr, v.Erase(v.Begin() + 2, v.Begin() + 1));
    EXPECT_EQ(nullptr, v.Erase(v.Begin(), v.End() + 1));
    v.SetSize(-1);
    v.Reserve(-1);
    EXPECT_EQ(11, Posts());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Items(v));
    EXPECT_EQ(begin, v.Begin());

    KtUInt32Vector empty;
    EXPECT_EQ(0, empty.Front());
    EXPECT_EQ(0, empty.Back());
    empty.PopBack();
    EXPECT_EQ(14, Posts());
    EXPECT_EQ(0, empty.Size());
}

TEST_F(ContainerTest, WideTextCopiesAreOwnedAndFreed) {
    KtUNat64 start = KtUMemory::GetArenaMemoryAllocated();
    {
        std::u16string text = u"transient";
        KtUConstWCharPtrVector names;
        names.PushBack(u"borrowed");
        names.PushBackCopy(text.c_str());
        names.PushBackCopy(nullptr);
        text[0] = u'X';
        EXPECT_EQ(std::u16string(u"transient"), names[1]);
        EXPECT_EQ(nullptr, names[2]);
        EXPECT_EQ(1, names.GetNumCopies());

        KtUConstWCharPtrVector* copy = new KtUConstWCharPtrVector(names);
        EXPECT_NE(names[1], (*copy)[1]); // its own copy
        EXPECT_EQ(names[0], (*copy)[0]); // borrowed pointers stay shared
        names.Clear();
        EXPECT_EQ(0, names.GetNumCopies());
        EXPECT_EQ(std::u16string(u"transient"), (*copy)[1]);
        names = *copy;
        delete copy;
        EXPECT_EQ(std::u16string(u"transient"), names[1]);
        for (int i = 0; i < 100; ++i)
            names.PushBackCopy(u"more text");
    }
    EXPECT_EQ(start, KtUMemory::GetArenaMemoryAllocated());
}

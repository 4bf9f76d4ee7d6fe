//===- PtrVectorTest.cpp - Ownership of the pointer vectors ---------------===//
#include "ContainerTestUtil.h"

#include <ktutil/KtUOwnPtrVector.h>
#include <ktutil/KtUPtrVector.h>
#include <ktutil/KtURefPtrVector.h>

#include <type_traits>

using ktutest::ContainerTest;

namespace {

// Counts its constructions and destructions.
struct Item {
    static inline int s_alive = 0;
    static inline int s_made = 0;
    explicit Item(int v) : value(v) { ++s_alive, ++s_made; }
    Item(const Item& o) : value(o.value) { ++s_alive, ++s_made; }
    ~Item() { --s_alive; }
    bool operator==(const Item& o) const { return value == o.value; }
    int value;
};

// Intrusive count: starts at 0, Unref deletes on 1 -> 0.
struct Shared {
    static inline int s_deleted = 0;
    void Ref() { ++count; }
    void Unref() {
        if (--count == 0) {
            ++s_deleted;
            delete this;
        }
    }
    int count = 0;
};

class PtrVectorTest : public ContainerTest {
protected:
    void SetUp() override {
        ContainerTest::SetUp();
        Item::s_alive = Item::s_made = Shared::s_deleted = 0;
    }
};

int Value(const KtUPtrVector<Item>& v, int i) {
    return v[i]->value;
}

} // namespace

TEST_F(PtrVectorTest, OwningVectorDeletesWhatItRemoves) {
    {
        KtUOwnPtrVector<Item> v;
        for (int i = 0; i < 6; ++i)
            v.PushBackOwn(new Item(i));
        Item proto(9);
        v.PushBackCopy(&proto);
        v.PushBackCopy(nullptr);
        EXPECT_EQ(8, Item::s_alive); // 6 + proto + its copy
        EXPECT_NE(&proto, v[6]);

        v.PopBack();                           // the null
        v.PopBack();                           // the copy of proto
        v.Erase(v.Begin() + 1, v.Begin() + 3); // items 1, 2
        v.Erase(v.Begin());                    // item 0
        EXPECT_EQ(4, Item::s_alive);
        EXPECT_EQ(3, Value(v, 0));

        Item* kept = v.Remove(v.Begin());
        Item* last = v.PopBackOwn();
        EXPECT_EQ(4, Item::s_alive);
        v.ReplaceOwn(v.Begin(), kept); // deletes item 4
        EXPECT_EQ(3, Item::s_alive);
        v.ReplaceCopy(v.Begin(), last); // deletes kept
        delete last;
        EXPECT_EQ(2, Item::s_alive);

        v.SetSize(3);
        EXPECT_EQ(nullptr, v[2]);
        v.SetSize(0);
        EXPECT_EQ(1, Item::s_alive); // proto
        v.PushBackOwn(new Item(1));
    }
    EXPECT_EQ(0, Item::s_alive);
}

TEST_F(PtrVectorTest, ClearAndTakeOwnLeavesElementsAlive) {
    Item* items[3];
    {
        KtUOwnPtrVector<Item> v;
        for (Item*& p : items)
            v.PushBackOwn(p = new Item(7));
        const KtUPtrVector<Item>& view = v;
        EXPECT_EQ(items[2], view[2]);
        EXPECT_EQ(items[1], view.AsVoidPtrVector()[1]);
        v.ClearAndTakeOwn();
        EXPECT_TRUE(v.Empty());
    }
    EXPECT_EQ(3, Item::s_alive);
    for (Item* p : items)
        delete p;
}

TEST_F(PtrVectorTest, OwningCopiesAreDeepAndCompareByValue) {
    KtUOwnPtrVector<Item> a;
    a.PushBackOwn(new Item(1));
    a.PushBackOwn(nullptr);
    a.PushBackOwn(new Item(2));
    {
        KtUOwnPtrVector<Item> b(a);
        EXPECT_EQ(4, Item::s_alive);
        EXPECT_NE(a[0], b[0]);
        EXPECT_EQ(nullptr, b[1]);
        EXPECT_TRUE(a.EqualByValue(b));
        EXPECT_FALSE(a == b); // different objects
        b[2]->value = 5;
        EXPECT_FALSE(a.EqualByValue(b));
        b = a;
        EXPECT_EQ(4, Item::s_alive);
        EXPECT_TRUE(a.EqualByValue(b));
        b.CopyFrom(b.Begin(), b.Begin() + 1); // from its own elements
        EXPECT_EQ(1, b.Size());
        EXPECT_EQ(1, b[0]->value);
    }
    EXPECT_EQ(2, Item::s_alive);

    Item two(2), other(3);
    EXPECT_EQ(2, a.FindByValue(&two));
    EXPECT_EQ(1, a.FindByValue(nullptr));
    EXPECT_EQ(-1, a.FindByValue(&other));
    EXPECT_EQ(-1, a.Find(&two));
    EXPECT_EQ(a.Begin() + 2, a.FindPtr(a[2]));
    EXPECT_EQ(a.Begin() + 2, a.FindPtrByValue(&two));
    EXPECT_EQ(nullptr, a.FindPtr(&two));
}

TEST_F(PtrVectorTest, OwningVectorIgnoresBadPositions) {
    KtUOwnPtrVector<Item> v;
    v.PushBackOwn(new Item(1));
    Item* spare = new Item(2);
    EXPECT_EQ(nullptr, v.InsertOwn(v.End() + 1, spare));
    v.ReplaceOwn(v.End(), spare);
    EXPECT_EQ(nullptr, v.Remove(v.End()));
    EXPECT_EQ(nullptr, v.Erase(v.Begin() + 1, v.Begin()));
    EXPECT_EQ(4, Posts());
    EXPECT_EQ(1, v.Size());
    delete v.PopBackOwn();
    EXPECT_EQ(nullptr, v.PopBackOwn());
    EXPECT_EQ(5, Posts());
    EXPECT_EQ(1, Item::s_alive); // spare, still the caller's
    delete spare;
}

TEST_F(PtrVectorTest, RefVectorHoldsOneReferencePerElement) {
    Shared* a = new Shared;
    Shared* b = new Shared;
    Shared* c = new Shared;
    {
        KtURefPtrVector<Shared> v;
        v.PushBack(a);
        v.PushBack(b);
        v.Insert(v.Begin(), a);
        v.PushBack(nullptr);
        EXPECT_EQ(2, a->count);
        EXPECT_EQ(1, b->count);
        {
            KtURefPtrVector<Shared> copy(v);
            EXPECT_EQ(4, a->count);
            KtURefPtrVector<Shared> other;
            other.PushBack(c);
            other.Copy(v.GetVector()); // releases c
            EXPECT_EQ(1, Shared::s_deleted);
            EXPECT_EQ(3, b->count);
        }
        EXPECT_EQ(2, a->count);
        v.Replace(v.Begin() + 2, a); // b is released and destroyed
        EXPECT_EQ(2, Shared::s_deleted);
        EXPECT_EQ(3, a->count);
        v.Replace(v.Begin(), a); // same object: count unchanged
        EXPECT_EQ(3, a->count);
        v.Erase(v.Begin(), v.Begin() + 2);
        EXPECT_EQ(1, a->count);
        v.Erase(v.End()); // bad: nothing released
        EXPECT_EQ(1, Posts());
        EXPECT_EQ(1, a->count);
        v.SetSize(1);
        EXPECT_EQ(1, a->count);
    }
    EXPECT_EQ(3, Shared::s_deleted);
}

TEST_F(PtrVectorTest, OwningVectorPlainOperationsTakeOwnership) {
    // Storing one element in two places of an owning vector must not compile.
    static_assert(!std::is_copy_assignable_v<KtUOwnPtrVector<Item>::Element>);
    {
        KtUOwnPtrVector<Item> v;
        v.PushBack(new Item(1));
        Item** at = v.Insert(v.Begin(), new Item(0)); // may move the storage
        EXPECT_EQ(v.Begin(), at);
        Item* more[] = {new Item(2), new Item(3)};
        v.Insert(v.End(), more, more + 2);
        EXPECT_EQ(4, v.Size());
        v.Insert(v.Begin(), v.Begin() + 1, v.Begin() + 2); // would own item 1 twice
        Item* spare = new Item(4);
        EXPECT_EQ(nullptr, v.Insert(v.End() + 1, spare));
        EXPECT_EQ(2, Posts());
        EXPECT_EQ(4, v.Size());
        EXPECT_EQ(5, Item::s_alive);

        v[1] = spare; // deletes item 1
        EXPECT_EQ(4, Item::s_alive);
        EXPECT_EQ(4, v[1]->value);
        v[1] = static_cast<Item*>(v[1]); // itself: kept
        EXPECT_EQ(4, (*v[1]).value);
        v[3] = nullptr; // deletes item 3
        EXPECT_EQ(3, Item::s_alive);

        KtUOwnPtrVector<Item> w;
        w.PushBack(new Item(9));
        w.SetFrom(v); // deletes item 9, copies the rest
        EXPECT_EQ(6, Item::s_alive);
        EXPECT_TRUE(w.EqualByValue(v));
        EXPECT_NE(v[0], w[0]);
        Item* first = w[0];
        w.SetFrom(w);
        EXPECT_EQ(first, w[0]);
    }
    EXPECT_EQ(0, Item::s_alive);
}

TEST_F(PtrVectorTest, RefVectorPlainOperationsKeepCounts) {
    Shared* a = new Shared;
    Shared* b = new Shared;
    {
        KtURefPtrVector<Shared> v;
        v.PushBack(a);
        Shared* both[] = {a, b};
        v.Insert(v.Begin(), both, both + 2);             // a b a
        v.Insert(v.End(), v.Begin() + 1, v.Begin() + 3); // a b a b a
        v.Insert(v.End() + 1, both, both + 2);           // bad: no count changes
        EXPECT_EQ(1, Posts());
        EXPECT_EQ(5, v.Size());
        EXPECT_EQ(3, a->count);
        EXPECT_EQ(2, b->count);

        v[0] = b;    // b b a b a
        v[2] = v[1]; // b b b b a
        EXPECT_EQ(1, a->count);
        EXPECT_EQ(4, b->count);
        v[4] = v[4]; // the only reference the vector holds on a: kept
        EXPECT_EQ(1, a->count);
        EXPECT_EQ(0, Shared::s_deleted);
        v[3] = nullptr;
        EXPECT_EQ(3, b->count);
        EXPECT_EQ(a, v[4]);

        KtURefPtrVector<Shared> w;
        w.PushBack(a);
        w.SetFrom(v);
        EXPECT_EQ(2, a->count);
        EXPECT_EQ(6, b->count);
        v.Clear();
        w[4] = nullptr; // the last reference on a
        EXPECT_EQ(1, Shared::s_deleted);
        EXPECT_EQ(3, b->count);
    }
    EXPECT_EQ(2, Shared::s_deleted);
}

//===- WeakReferenceTest.cpp - Weak references and KtUAutoRefPtr ----------===//
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUBaseWeakReference.h>
#include <ktutil/KtUMemory.h>

#include <gtest/gtest.h>

namespace {

struct Model : KtUWeakReferenceTarget {
    int value = 7;
};

class WeakReferenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUWeakReferenceTarget::Initialise();
        start = KtUMemory::GetArenaMemoryAllocated();
    }
    void TearDown() override {
        EXPECT_EQ(start, KtUMemory::GetArenaMemoryAllocated()) << "a handle leaked";
        KtUWeakReferenceTarget::Terminate();
    }
    KtUNat64 start = 0;
};

TEST_F(WeakReferenceTest, ReferenceOutlivesItsTarget) {
    auto* model = new Model;
    KtUWeakReference<Model> ref(model);
    KtUWeakReference<Model> other = ref;
    EXPECT_EQ(2, model->GetNumWeakReferences());
    EXPECT_EQ(7, ref->value);
    EXPECT_TRUE(ref == other);
    delete model;
    EXPECT_TRUE(ref.IsNull());
    EXPECT_TRUE(ref.IsTargetDeleted());
    EXPECT_EQ(nullptr, ref.Get());
    EXPECT_TRUE(ref == other); // still the same handle
    // Releasing both references frees the orphaned handle (TearDown checks).
}

TEST_F(WeakReferenceTest, LastReferenceDetachesTheHandle) {
    Model model;
    {
        KtUWeakReference<Model> ref(&model);
        EXPECT_TRUE(model.HasWeakReferenceHandle());
        KtUWeakReference<Model>& same = ref;
        ref = same; // self-assignment keeps the handle
        EXPECT_EQ(1, model.GetNumWeakReferences());
        EXPECT_EQ(&model, ref.Get());
    }
    EXPECT_FALSE(model.HasWeakReferenceHandle());
    EXPECT_EQ(0, model.GetNumWeakReferences());
}

TEST_F(WeakReferenceTest, AssignmentMovesBetweenTargets) {
    Model a, b;
    KtUWeakReference<Model> ref(&a);
    KtUWeakReference<Model> null_ref;
    EXPECT_TRUE(null_ref.IsNull());
    EXPECT_FALSE(null_ref.IsTargetDeleted());
    ref = &b;
    EXPECT_FALSE(a.HasWeakReferenceHandle());
    EXPECT_EQ(1, b.GetNumWeakReferences());
    ref = static_cast<Model*>(nullptr);
    EXPECT_TRUE(ref.IsNull());
    EXPECT_FALSE(b.HasWeakReferenceHandle());
    // A copy of a target is a new object without the original's handle.
    KtUWeakReference<Model> on_a(&a);
    Model copy(a);
    EXPECT_FALSE(copy.HasWeakReferenceHandle());
    EXPECT_TRUE(a.HasWeakReferenceHandle());
}

struct Counted {
    int count = 0;
    static inline int destroyed = 0;
    void Ref() { ++count; }
    void Unref() {
        if (--count == 0) delete this;
    }
    ~Counted() { ++destroyed; }
};

TEST(AutoRefPtrTest, HoldsOneReferenceEach) {
    Counted::destroyed = 0;
    auto* object = new Counted;
    {
        KtUAutoRefPtr<Counted> a(object);
        EXPECT_EQ(1, object->count);
        KtUAutoRefPtr<Counted> b = a;
        EXPECT_EQ(2, object->count);
        b = object; // the same object: the count stays
        EXPECT_EQ(2, object->count);
        KtUAutoRefPtr<Counted> c(std::move(b));
        EXPECT_EQ(2, object->count);
        EXPECT_FALSE(b);
        a = nullptr;
        EXPECT_EQ(1, object->count);
        EXPECT_EQ(0, Counted::destroyed);
    }
    EXPECT_EQ(1, Counted::destroyed);
    KtUAutoRefPtr<Counted> d(new Counted);
    Counted* raw = d.Detach();
    EXPECT_EQ(1, raw->count);
    raw->Unref();
    EXPECT_EQ(2, Counted::destroyed);
}

} // namespace

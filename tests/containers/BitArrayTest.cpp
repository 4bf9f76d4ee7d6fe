//===- BitArrayTest.cpp - Bits, ranges at word boundaries, sizes ----------===//
#include "ContainerTestUtil.h"

#include <vector>

using ktutest::ContainerTest;

namespace {

const int kEdges[] = {0, 1, 31, 32, 33, 63, 64, 65, 95, 96, 100};

// Every bit and the word tail against the expected bits.
void ExpectBits(const KtUBitArray& bits, const std::vector<bool>& want) {
    ASSERT_EQ(int(want.size()), bits.GetSize());
    int set = 0;
    for (int i = 0; i < bits.GetSize(); ++i) {
        ASSERT_EQ(want[i], bits[i]) << "bit " << i;
        set += want[i];
    }
    EXPECT_EQ(set, bits.GetNumSet());
}

} // namespace

TEST_F(ContainerTest, RangesAcrossWordBoundaries) {
    for (int first : kEdges) {
        for (int end : kEdges) {
            if (end < first) continue;
            SCOPED_TRACE(testing::Message() << "[" << first << ", " << end << ")");
            KtUBitArray bits(100);
            bits.SetRange(first, end);
            std::vector<bool> want(100, false);
            for (int i = first; i < end; ++i)
                want[i] = true;
            ExpectBits(bits, want);
            EXPECT_TRUE(bits.IsSet(first, end));
            EXPECT_EQ(first == end, bits.IsClear(first, end));
            if (first > 0) {
                EXPECT_FALSE(bits.IsSet(first - 1, end));
            }
            if (end < 100) {
                EXPECT_FALSE(bits.IsSet(first, end + 1));
            }
            EXPECT_TRUE(bits.IsClear(0, first));
            EXPECT_TRUE(bits.IsClear(end, 100));

            bits.SetAll();
            bits.ClearRange(first, end);
            want.flip();
            ExpectBits(bits, want);
            EXPECT_TRUE(bits.IsSet(first, end, false));
            EXPECT_TRUE(bits.IsSet(0, first, true));
            EXPECT_TRUE(bits.IsSet(end, 100, true));
        }
    }
}

TEST_F(ContainerTest, SingleBitsAndIsSetOfOne) {
    KtUBitArray bits(70);
    bits.SetBit(3);
    bits.SetBit(64, true);
    bits.SetBit(69);
    bits.SetBit(69, false);
    EXPECT_TRUE(bits.IsSet(3, 4));
    EXPECT_FALSE(bits.IsSet(3, 5) || bits.IsSet(2, 4));
    EXPECT_EQ(1u << 3, bits.GetBits()[0]);
    EXPECT_EQ(1u, bits.GetBits()[2]);
    bits.ClearBit(3);
    EXPECT_TRUE(bits.IsClear(0, 64));
}

TEST_F(ContainerTest, SizesWordsAndTheTailBeyondTheSize) {
    KtUBitArray bits(33);
    EXPECT_EQ(2, bits.GetWordSize());
    bits.SetAll();
    EXPECT_EQ(33, bits.GetNumSet());
    EXPECT_EQ(1u, bits.GetBits()[1]);
    EXPECT_TRUE(bits.IsAllSet());

    bits.SetSize(40); // new bits clear
    EXPECT_EQ(33, bits.GetNumSet());
    EXPECT_TRUE(bits.IsClear(33, 40));
    bits.SetSize(5); // shrink: the rest of the word is dropped
    EXPECT_EQ(1, bits.GetWordSize());
    EXPECT_EQ(0x1Fu, bits.GetBits()[0]);
    bits.SetSize(64);
    EXPECT_EQ(5, bits.GetNumSet());
    EXPECT_TRUE(bits.IsClear(5, 64));
    bits.SetSize(0);
    EXPECT_TRUE(bits.IsEmpty());
    EXPECT_TRUE(bits.IsAllSet() && bits.IsAllClear());

    unsigned int words[] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    KtUBitArray from(words, 36);
    EXPECT_EQ(0xFu, from.GetBits()[1]);
    EXPECT_EQ(36, from.GetNumSet());
}

TEST_F(ContainerTest, BitArrayEqualityNeedsTheSameSize) {
    KtUBitArray a(32), b(33);
    EXPECT_FALSE(a == b); // all clear, different sizes
    b.SetSize(32);
    EXPECT_TRUE(a == b);
    b.SetBit(31);
    KtUBitArray c(b);
    c.ClearBit(31);
    EXPECT_TRUE(a == c);
    EXPECT_TRUE(b.GetBit(31));
}

TEST_F(ContainerTest, BitArrayBadArgumentsArePostedAndChangeNothing) {
    KtUBitArray bits(40);
    bits.SetBit(40);
    bits.SetBit(-1);
    bits.ClearBit(40);
    EXPECT_FALSE(bits.GetBit(40));
    bits.SetRange(30, 41);
    bits.SetRange(10, 5);
    EXPECT_FALSE(bits.IsClear(-1, 3));
    bits.SetSize(-3);
    EXPECT_EQ(8, Posts());
    EXPECT_EQ(40, bits.GetSize());
    EXPECT_EQ(0, bits.GetNumSet());
}

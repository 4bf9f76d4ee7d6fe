//===- SinkTest.cpp - Block sinks and memory sinks -------------------------===//
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUStreamBlockSink.h>
#include <ktutil/KtUStreamBuffer.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class SinkTest : public ::testing::Test {
protected:
    void SetUp() override { KtUStreamSink::Initialise(); }
    void TearDown() override { KtUStreamSink::Terminate(); }
};

/// Records the blocks it is given; reads back what was recorded.
class RecordingSink : public KtUStreamBlockSink {
public:
    RecordingSink(int block, int strict) : KtUStreamBlockSink(block, strict) {}
    std::vector<std::vector<unsigned char>> blocks;
    size_t next_read = 0;
    bool fail_writes = false;

protected:
    int WriteBlock(const unsigned char* data, int size) override {
        if (fail_writes) return 0;
        blocks.emplace_back(data, data + size);
        return 1;
    }
    int ReadBlock(unsigned char* data, int* size) override {
        *size = 0;
        if (next_read < blocks.size()) {
            *size = static_cast<int>(blocks[next_read].size());
            std::memcpy(data, blocks[next_read++].data(), static_cast<size_t>(*size));
        }
        return 1;
    }
};

void Put(KtUStreamSink& sink, const char* text) {
    unsigned char* region;
    int room;
    int n = static_cast<int>(std::strlen(text));
    while (n > 0) {
        ASSERT_TRUE(sink.WriteLock(&region, &room));
        ASSERT_GT(room, 0);
        int step = n < room ? n : room;
        std::memcpy(region, text, static_cast<size_t>(step));
        ASSERT_TRUE(sink.WriteProcess(step));
        text += step;
        n -= step;
    }
}

TEST_F(SinkTest, BlockSinkPassesWholeBlocksAndPadsWhenStrict) {
    for (int strict = 0; strict < 2; ++strict) {
        RecordingSink sink(8, strict);
        ASSERT_TRUE(sink.WriteBegin(nullptr));
        Put(sink, "0123456789ab");
        ASSERT_TRUE(sink.WriteEnd());
        ASSERT_EQ(sink.blocks.size(), 2u);
        EXPECT_EQ(std::string(sink.blocks[0].begin(), sink.blocks[0].end()), "01234567");
        EXPECT_EQ(sink.blocks[1].size(), strict ? 8u : 4u);
        if (strict) {
            EXPECT_EQ(sink.blocks[1][4] | sink.blocks[1][7], 0);
        }

        // Reading returns the same bytes, then (null, 0).
        ASSERT_TRUE(sink.ReadBegin(nullptr));
        std::string back;
        const unsigned char* data;
        int size;
        while (sink.ReadLock(&data, &size) && size > 0) {
            back.append(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
            EXPECT_FALSE(sink.ReadProcess(size + 1));
            ASSERT_TRUE(sink.ReadProcess(size));
        }
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(back.substr(0, 12), "0123456789ab");
        EXPECT_TRUE(sink.ReadEnd());
    }
}

TEST_F(SinkTest, FailedBlockWriteLeavesNoRoom) {
    RecordingSink sink(8, 0);
    ASSERT_TRUE(sink.WriteBegin(nullptr));
    sink.fail_writes = true;
    unsigned char* region;
    int room;
    ASSERT_TRUE(sink.WriteLock(&region, &room));
    EXPECT_FALSE(sink.WriteProcess(room));
    ASSERT_TRUE(sink.WriteLock(&region, &room));
    EXPECT_EQ(room, 0);
    EXPECT_FALSE(sink.WriteProcess(1));
    EXPECT_FALSE(sink.WriteEnd());
}

TEST_F(SinkTest, StreamBufferGrowsOwnedAreasOnlyAndKeepsAlignment) {
    KtUStreamBuffer owned;
    ASSERT_TRUE(owned.WriteBegin(nullptr));
    std::string text(200000, 'x');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    Put(owned, text.c_str());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(owned.GetAlignedBuffer()) % 8, 0u);
    ASSERT_TRUE(owned.WriteEnd());
    ASSERT_EQ(owned.GetAlignedUsed(), 200000);
    EXPECT_EQ(std::memcmp(owned.GetAlignedBuffer(), text.data(), text.size()), 0);

    // A lent area is not grown: the lock fails once it is full.
    alignas(8) unsigned char area[16];
    KtUStreamBuffer lent;
    ASSERT_TRUE(lent.SetBuffer(area, 16, KtUStreamBuffer::eCOPY_IF_UNALIGNED));
    EXPECT_FALSE(lent.IsManagedBuffer());
    ASSERT_TRUE(lent.WriteBegin(nullptr));
    Put(lent, "0123456789abcdef");
    unsigned char* region;
    int room;
    EXPECT_FALSE(lent.WriteLock(&region, &room));
}

TEST_F(SinkTest, StreamBufferCopiesUnalignedAreasAndFreesUnusedOnes) {
    alignas(8) unsigned char raw[17] = "?abcdefghijklmno";
    KtUStreamBuffer copy;
    ASSERT_TRUE(copy.SetBuffer(raw + 1, 15, KtUStreamBuffer::eCOPY_IF_UNALIGNED));
    EXPECT_TRUE(copy.IsManagedBuffer());
    ASSERT_TRUE(copy.ReadBegin(nullptr));
    const unsigned char* data;
    int size;
    ASSERT_TRUE(copy.ReadLock(&data, &size));
    ASSERT_EQ(size, 15);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 8, 0u);
    EXPECT_EQ(std::memcmp(data, "abcdefghijklmno", 15), 0);

    KtUStreamBuffer in_place;
    ASSERT_TRUE(in_place.SetBuffer(raw + 1, 15, KtUStreamBuffer::eIN_PLACE));
    ASSERT_TRUE(in_place.ReadBegin(nullptr));
    ASSERT_TRUE(in_place.ReadLock(&data, &size));
    EXPECT_EQ(data, raw + 8);
    EXPECT_EQ(size, 8);

    KtUNat64 before = KtUMemory::GetMallocMemoryAllocated();
    KtUStreamBuffer unused;
    ASSERT_TRUE(unused.WriteBegin(nullptr));
    EXPECT_GT(KtUMemory::GetMallocMemoryAllocated(), before);
    ASSERT_TRUE(unused.WriteEnd());
    EXPECT_EQ(unused.GetBuffer(), nullptr);
    EXPECT_EQ(KtUMemory::GetMallocMemoryAllocated(), before);
}

} // namespace

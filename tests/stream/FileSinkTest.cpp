//===- FileSinkTest.cpp - File sinks, block buffers and the block store ---===//
#include "StreamTestUtil.h"

#include <ktutil/KtUStreamBlockBuffer.h>
#include <ktutil/KtUStreamBlockStore.h>
#include <ktutil/KtUStreamFile.h>
#include <ktutil/KtUSysStreamWideFile.h>
#include <ktutil/KtUWideString.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using ktu::test::StreamTest;

class FileSinkTest : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        char pattern[] = "/tmp/ktu-stream-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::system(("rm -rf " + m_dir).c_str());
        StreamTest::TearDown();
    }
    std::u16string Path(const char* name) const {
        std::string p = m_dir + "/" + name;
        return std::u16string(p.begin(), p.end());
    }
    std::string Contents(const char* name) const {
        std::ifstream f(m_dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    std::string m_dir;
};

// Writes 100,000 values (more than a block of either sink) and reads them back.
template <class Sink> void RoundTrip(Sink& sink, int ascii) {
    KtUWriteStream out(&sink);
    out.SetAscii(ascii);
    ASSERT_TRUE(out.Begin(1, 0));
    for (int i = 0; i < 100000; ++i)
        out.WriteInt32(i * 7);
    out.WriteString("end");
    ASSERT_TRUE(out.End());
    KtUReadStream in(&sink);
    in.SetAscii(ascii);
    ASSERT_TRUE(in.Begin(1, 0));
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(in.ReadInt32(), i * 7);
    KtUString end;
    in.ReadString(&end);
    EXPECT_STREQ(end.GetString(), "end");
    EXPECT_TRUE(in.End(1));
}

TEST_F(FileSinkTest, FileSinksRoundTripInBothEncodings) {
    for (int ascii = 0; ascii < 2; ++ascii) {
        KtUStreamFile file(Path("file.ktu").c_str());
        RoundTrip(file, ascii);
        EXPECT_EQ(Contents("file.ktu").substr(0, 22),
                  ascii ? "#KtUStream-V1.1 ascii " : "#KtUStream-V1.1 binary");
        KtUSysStreamWideFile wide(Path("wide.ktu").c_str());
        RoundTrip(wide, ascii);
        EXPECT_EQ(Contents("wide.ktu"), Contents("file.ktu"));
    }
}

TEST_F(FileSinkTest, MissingAndEmptyFiles) {
    KtUStreamFile missing(Path("no/such/file").c_str());
    KtUReadStream in(&missing);
    EXPECT_FALSE(in.Begin(1, 0));
    EXPECT_EQ(in.GetError(), KtUStream::eREAD_BEGIN_FAILED);
    KtUSysStreamWideFile unnamed(nullptr);
    KtUWriteStream out(&unnamed);
    EXPECT_FALSE(out.Begin(1, 0));
    EXPECT_EQ(out.GetError(), KtUStream::eWRITE_BEGIN_FAILED);

    std::fclose(std::fopen((m_dir + "/empty").c_str(), "w"));
    KtUStreamFile empty(Path("empty").c_str());
    ASSERT_TRUE(empty.ReadBegin(nullptr));
    const unsigned char* data = reinterpret_cast<const unsigned char*>(1);
    int size = 1;
    ASSERT_TRUE(empty.ReadLock(&data, &size));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(empty.ReadEnd());
}

TEST_F(StreamTest, BlockBufferAndStoreKeepExactBlocks) {
    for (int bytes : {0, 5, KtUStreamBlock::kDataSize * 2, KtUStreamBlock::kDataSize * 2 + 9}) {
        SCOPED_TRACE(bytes);
        KtUStreamBlockBuffer blocks;
        ASSERT_TRUE(blocks.WriteBegin(nullptr));
        std::string data(static_cast<size_t>(bytes), 0);
        for (int i = 0; i < bytes; ++i)
            data[static_cast<size_t>(i)] = static_cast<char>(i * 31);
        for (int done = 0; done < bytes;) {
            unsigned char* region;
            int room;
            ASSERT_TRUE(blocks.WriteLock(&region, &room));
            int n = bytes - done < room ? bytes - done : room;
            memcpy(region, data.data() + done, static_cast<size_t>(n));
            ASSERT_TRUE(blocks.WriteProcess(n));
            done += n;
        }
        ASSERT_TRUE(blocks.WriteEnd());
        EXPECT_EQ(blocks.GetBufferUsed(), bytes);
        if (bytes == KtUStreamBlock::kDataSize * 2) {
            EXPECT_EQ(blocks.GetTailUsed(), KtUStreamBlock::kDataSize);
        }

        KtUStreamBlockStore store;
        store.ClaimBuffer(&blocks);
        EXPECT_EQ(store.GetNumBlocks(), bytes / KtUStreamBlock::kDataSize);
        EXPECT_EQ(store.GetTailSize(), bytes % KtUStreamBlock::kDataSize);
        EXPECT_EQ(store.IsEmpty(), bytes == 0);

        // Through a stream and back, then read in place.
        KtUStreamBuffer buffer;
        KtUWriteStream out(&buffer);
        out.SetDebug(1);
        ASSERT_TRUE(out.Begin(1, 0));
        store.WriteContents(&out);
        ASSERT_TRUE(out.End());
        ktu::test::Reader r(std::string(reinterpret_cast<char*>(buffer.GetAlignedBuffer()),
                                        static_cast<size_t>(buffer.GetAlignedUsed())));
        ASSERT_TRUE(r.in.Begin(1, 0));
        KtUStreamBlockStore copy(store);
        copy.ReadContents(&r.in);
        EXPECT_TRUE(r.in.End(1));

        KtUStreamBlockBuffer view;
        copy.BeginReadBuffer(&view);
        ASSERT_TRUE(view.ReadBegin(nullptr));
        std::string back;
        const unsigned char* region;
        int size;
        while (view.ReadLock(&region, &size) && size > 0) {
            back.append(reinterpret_cast<const char*>(region), static_cast<size_t>(size));
            ASSERT_TRUE(view.ReadProcess(size));
        }
        copy.EndReadBuffer(&view);
        EXPECT_EQ(back, data);
    }
}

TEST_F(StreamTest, BlockStoreRejectsAFullOrNegativeTail) {
    for (int tail : {KtUStreamBlock::kDataSize, -1}) {
        std::string bytes = ktu::test::Write({}, [&](KtUWriteStream& out) {
            out.WriteInt32(0);
            out.WriteInt32(tail);
        });
        ktu::test::Reader r(bytes);
        ASSERT_TRUE(r.in.Begin(1, 0));
        KtUStreamBlockStore store;
        store.ReadContents(&r.in);
        EXPECT_EQ(r.in.GetError(), KtUStream::ePARSE_ERROR);
        EXPECT_TRUE(store.IsEmpty());
        r.in.End(0);
    }
}

} // namespace

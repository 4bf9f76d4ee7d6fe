//===- ChecksumTest.cpp - Adler-32 checksum, its kernels and its sink -----===//
#include <ktutil/KtUChecksum.h>
#include <ktutil/KtUChecksumSink.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideString.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "stream/adler32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>
#include <vector>

using namespace ktu::stream;

namespace {

class ChecksumTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUString::Initialise();
        KtUChecksum::Initialise();
        KtUStreamSink::Initialise();
    }
    void TearDown() override {
        KtUStreamSink::Terminate();
        KtUChecksum::Terminate();
        KtUString::Terminate();
    }
};

unsigned Zlib(const std::vector<unsigned char>& bytes, size_t n) {
    return static_cast<unsigned>(adler32(1, bytes.data(), static_cast<uInt>(n)));
}

template <class Rng> std::vector<unsigned char> RandomBytes(Rng& rng, size_t n) {
    std::vector<unsigned char> bytes(n);
    // Runs of 0xFF now and then push the unreduced sums to their largest.
    bool high = rng() % 2;
    for (auto& b : bytes)
        b = high ? 0xFF : static_cast<unsigned char>(rng());
    return bytes;
}

TEST_F(ChecksumTest, KnownValuesAndNullStrings) {
    KtUChecksum sum;
    EXPECT_EQ(sum.End(), 1u);
    sum.AddString("abc");
    EXPECT_EQ(sum.End(), 0x024d0127u);

    KtUChecksum zero;
    zero.AddNat8(0);
    const unsigned expected = zero.End();
    auto check = [&](auto add) {
        KtUChecksum c;
        add(c);
        EXPECT_EQ(c.End(), expected);
    };
    check([](KtUChecksum& c) { c.AddString(static_cast<const char*>(nullptr)); });
    check([](KtUChecksum& c) { c.AddString(KtUString()); });
    check([](KtUChecksum& c) { c.AddString(KtUStringBuffer()); });
    check([](KtUChecksum& c) { c.AddWideString(static_cast<const KtUWChar*>(nullptr)); });
    check([](KtUChecksum& c) { c.AddWideString(KtUWideString()); });
    check([](KtUChecksum& c) { c.AddWideString(KtUWideStringBuffer()); });
    // All-ones values of each width, across several reductions.
    std::vector<unsigned char> ones(3 * kAdlerDeferral + 8, 0xFF);
    for (size_t width : {1, 2, 4, 8}) {
        KtUChecksum c;
        size_t n = 0;
        for (; n + width <= ones.size(); n += width)
            width == 1   ? c.AddNat8(0xFF)
            : width == 2 ? c.AddNat16(0xFFFF)
            : width == 4 ? c.AddNat32(~0u)
                         : c.AddNat64(~0ull);
        EXPECT_EQ(c.End(), Zlib(ones, n));
    }
    // An empty string adds nothing, unlike a null one.
    KtUChecksum empty;
    empty.AddString("");
    empty.AddWideString(u"");
    EXPECT_EQ(empty.End(), 1u);
}

// Every kernel must leave the state that adding one byte at a time leaves,
// reductions included, from any countdown and at any alignment.
TEST_F(ChecksumTest, KernelsMatchBytewiseStateAndZlib) {
    std::vector<std::pair<const char*, Adler32Kernel>> kernels = {{"scalar", Adler32Scalar}};
    if (CpuHasSsse3()) kernels.push_back({"ssse3", Adler32Ssse3});
    if (CpuHasAvx2()) kernels.push_back({"avx2", Adler32Avx2});
    kernels.push_back({"dispatched", Adler32Dispatched()});

    std::mt19937 rng(7);
    const size_t sizes[] = {0,  1,   15,   16,   17,   31,    32,    33,    63,     64,
                            65, 127, 5551, 5552, 5553, 11104, 11105, 20000, 100003, 1 << 20};
    for (size_t size : sizes) {
        for (size_t offset = 0; offset < 4; ++offset) {
            std::vector<unsigned char> bytes = RandomBytes(rng, size + offset + 5600);
            const unsigned char* data = bytes.data() + offset;
            // A prefix of random length puts the countdown anywhere.
            size_t prefix = rng() % 5600;
            Adler32State expected;
            for (size_t i = 0; i < prefix + size; ++i) {
                expected.a += data[i];
                expected.b += expected.a;
                if (--expected.countdown == 0) {
                    expected.a %= kAdlerModulus;
                    expected.b %= kAdlerModulus;
                    expected.countdown = kAdlerDeferral;
                }
            }
            for (auto& [name, kernel] : kernels) {
                Adler32State s;
                kernel(s, data, prefix);
                kernel(s, data + prefix, size);
                SCOPED_TRACE(testing::Message() << name << " size " << size << " offset " << offset
                                                << " prefix " << prefix);
                EXPECT_EQ(s.a, expected.a);
                EXPECT_EQ(s.b, expected.b);
                EXPECT_EQ(s.countdown, expected.countdown);
                EXPECT_EQ(Adler32Value(s), adler32(1, data, static_cast<uInt>(prefix + size)));
            }
        }
    }
}

// Typed values add their little-endian bytes; End may come between them.
TEST_F(ChecksumTest, MixedValuesMatchZlibOfTheirBytes) {
    using Add = void (*)(KtUChecksum&, KtUNat64);
    const std::pair<int, Add> scalars[] = {
        {1, [](KtUChecksum& c, KtUNat64 v) { c.AddNat8(static_cast<unsigned char>(v)); }},
        {2, [](KtUChecksum& c, KtUNat64 v) { c.AddInt16(static_cast<short>(v)); }},
        {4, [](KtUChecksum& c, KtUNat64 v) { c.AddInt32(static_cast<int>(v)); }},
        {4, [](KtUChecksum& c, KtUNat64 v) { c.AddSingle(std::bit_cast<float>(unsigned(v))); }},
        {8, [](KtUChecksum& c, KtUNat64 v) { c.AddDouble(std::bit_cast<double>(v)); }},
        {8, [](KtUChecksum& c, KtUNat64 v) { c.AddTime(static_cast<KtUInt64>(v)); }},
    };
    std::mt19937_64 rng(11);
    for (int round = 0; round < 40; ++round) {
        KtUChecksum sum;
        std::vector<unsigned char> bytes;
        auto little = [&](KtUNat64 v, int n) {
            for (int i = 0; i < n; ++i)
                bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
        };
        for (int step = 0; step < 300; ++step) {
            // Bits 30 and 62 clear keep singles and doubles finite, so their
            // bits pass through unchanged.
            KtUNat64 v = rng() & 0xBFFFFFFFBFFFFFFFull;
            unsigned count = rng() % 3000;
            unsigned kind = rng() % 10;
            if (kind < 6) {
                scalars[kind].second(sum, v);
                little(v, scalars[kind].first);
            } else if (kind == 6) {
                std::vector<KtUNat64> a(count / 8);
                for (auto& x : a)
                    x = rng(), little(x, 8);
                sum.AddNat64Array(a.data(), static_cast<unsigned>(a.size()));
            } else if (kind == 7) {
                std::u16string text(count / 2, u'\0');
                for (auto& c : text)
                    c = static_cast<KtUWChar>(1 + rng() % 0xFFFF), little(c, 2);
                sum.AddWideString(KtUWideStringBuffer(text.c_str()));
            } else if (kind == 8) {
                std::vector<unsigned char> text = RandomBytes(rng, count);
                std::replace(text.begin(), text.end(), 0, 1);
                text.push_back(0);
                sum.AddString(KtUString(reinterpret_cast<const char*>(text.data())));
                bytes.insert(bytes.end(), text.begin(), text.end() - 1);
            } else {
                EXPECT_EQ(sum.End(), Zlib(bytes, bytes.size()));
            }
        }
        EXPECT_EQ(sum.End(), Zlib(bytes, bytes.size()));
    }
}

TEST_F(ChecksumTest, SinkChecksumsEverythingWrittenAndCannotBeRead) {
    std::mt19937 rng(3);
    std::vector<unsigned char> bytes = RandomBytes(rng, 50000);
    KtUChecksumSink sink;
    EXPECT_EQ(sink.GetChecksum(), 0u);
    for (int pass = 0; pass < 2; ++pass) { // the second pass starts afresh
        size_t total = pass ? 12345 : bytes.size();
        ASSERT_TRUE(sink.WriteBegin(nullptr));
        for (size_t done = 0; done < total;) {
            unsigned char* region;
            int room;
            ASSERT_TRUE(sink.WriteLock(&region, &room));
            size_t n = std::min<size_t>({total - done, size_t(room), 1 + rng() % 5000});
            std::memcpy(region, bytes.data() + done, n);
            ASSERT_TRUE(sink.WriteProcess(static_cast<int>(n)));
            done += n;
            if (rng() % 4 == 0) {
                ASSERT_TRUE(sink.WriteFlush());
            }
        }
        ASSERT_TRUE(sink.WriteEnd());
        EXPECT_EQ(sink.GetChecksum(), Zlib(bytes, total));
    }
    EXPECT_FALSE(sink.ReadBegin(nullptr));
    EXPECT_FALSE(sink.ReadEnd());
}

} // namespace

//===- BlowfishTest.cpp - Blowfish cipher and its record filter -----------===//
// OpenSSL's Blowfish calls are the reference; they are deprecated in OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <ktutil/KtUBlowfishFilter.h>
#include <ktutil/KtUStreamBuffer.h>

#include <gtest/gtest.h>
#include <openssl/blowfish.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class BlowfishTest : public ::testing::Test {
protected:
    void SetUp() override { KtUBlowfishFilter::Initialise(); }
    void TearDown() override { KtUBlowfishFilter::Terminate(); }
};

// The published 8-byte-key vectors: key, plaintext, ciphertext, as big-endian
// bytes (so the left word is the first four).
const char* const kVectors[][3] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST_F(BlowfishTest, PublishedVectorsAndOpenSsl) {
    for (const auto& v : kVectors) {
        SCOPED_TRACE(v[0]);
        unsigned long long key = std::stoull(v[0], nullptr, 16),
                           plain = std::stoull(v[1], nullptr, 16),
                           cipher = std::stoull(v[2], nullptr, 16);
        char key_bytes[8];
        for (int i = 0; i < 8; ++i)
            key_bytes[i] = static_cast<char>(key >> (56 - 8 * i));
        KtUBlowfishFilter filter(8, key_bytes);
        unsigned block[2] = {unsigned(plain >> 32), unsigned(plain)};
        filter.Encrypt2(block, block);
        EXPECT_EQ(block[0], unsigned(cipher >> 32));
        EXPECT_EQ(block[1], unsigned(cipher));
        filter.Decrypt2(block, block);
        EXPECT_EQ((unsigned long long)block[0] << 32 | block[1], plain);

        // The reference agrees with the vectors too, so it can vouch below.
        BF_KEY reference;
        BF_set_key(&reference, 8, reinterpret_cast<unsigned char*>(key_bytes));
        BF_LONG words[2] = {static_cast<BF_LONG>(plain >> 32), static_cast<BF_LONG>(plain)};
        BF_encrypt(words, &reference);
        EXPECT_EQ((unsigned long long)words[0] << 32 | words[1], cipher);
    }
}

TEST_F(BlowfishTest, RandomKeysMatchOpenSslAndLongKeysStopAt56Bytes) {
    std::mt19937 rng(5);
    for (int length = 1; length <= 72; ++length) {
        SCOPED_TRACE(length);
        std::string key(static_cast<size_t>(length), '\0');
        for (auto& c : key)
            c = static_cast<char>(rng());
        KtUBlowfishFilter filter(length, key.data());
        // OpenSSL takes up to 72 key bytes, ours the first 56: a longer key
        // must encipher as its first 56 bytes do.
        BF_KEY reference;
        BF_set_key(&reference, std::min(length, 56), reinterpret_cast<unsigned char*>(key.data()));
        for (int i = 0; i < 50; ++i) {
            unsigned in[2] = {unsigned(rng()), unsigned(rng())}, out[2], back[2];
            filter.Encrypt2(in, out);
            BF_LONG words[2] = {in[0], in[1]};
            BF_encrypt(words, &reference);
            EXPECT_EQ(out[0], words[0]);
            EXPECT_EQ(out[1], words[1]);
            filter.Decrypt2(out, back);
            EXPECT_TRUE(back[0] == in[0] && back[1] == in[1]);
        }
    }

    // Keys of no bytes leave the filter unkeyed; a copy enciphers as its source.
    std::string text = "a NUL-terminated key";
    KtUBlowfishFilter by_text(text.c_str()), by_length(int(text.size()), text.data());
    KtUBlowfishFilter unkeyed, empty(""), negative(-3, "abc");
    KtUBlowfishFilter copy(by_text), assigned;
    assigned = by_length;
    unsigned in[2] = {0x01234567, 0x89ABCDEF}, a[2], b[2];
    by_text.Encrypt2(in, a);
    for (const KtUBlowfishFilter* f : {&by_length, &copy, &assigned}) {
        f->Encrypt2(in, b);
        EXPECT_TRUE(a[0] == b[0] && a[1] == b[1]);
    }
    unkeyed.Encrypt2(in, a);
    EXPECT_FALSE(a[0] == b[0] && a[1] == b[1]);
    for (const KtUBlowfishFilter* f : {&empty, &negative}) {
        f->Encrypt2(in, b);
        EXPECT_TRUE(a[0] == b[0] && a[1] == b[1]);
    }
    const char* chunk_key = KtUBlowfishFilter::GetChunkKey();
    EXPECT_EQ(std::strlen(chunk_key), 32u);
}

/// A downstream sink that hands out regions of a fixed size, for records
/// that span regions and for regions the filter must refuse.
class ChoppySink : public KtUStreamSink {
public:
    explicit ChoppySink(int region) : region_(region), scratch_(size_t(region)) {}
    std::vector<unsigned char> bytes;
    size_t read = 0;

    int WriteLock(unsigned char** region, int* size) override {
        *region = scratch_.data();
        *size = region_;
        return 1;
    }
    int WriteProcess(int count) override {
        bytes.insert(bytes.end(), scratch_.begin(), scratch_.begin() + count);
        return 1;
    }
    int ReadLock(const unsigned char** region, int* size) override {
        *size = static_cast<int>(std::min(bytes.size() - read, size_t(region_)));
        *region = *size ? bytes.data() + read : nullptr;
        return 1;
    }
    int ReadProcess(int count) override {
        read += size_t(count);
        return read <= bytes.size();
    }

private:
    int region_;
    std::vector<unsigned char> scratch_;
};

// Writes each record through the filter; false when a WriteProcess fails.
bool WriteRecords(KtUBlowfishFilter& filter, KtUStreamSink& sink,
                  const std::vector<std::string>& records) {
    filter.SetSink(&sink);
    bool ok = sink.WriteBegin(nullptr) && filter.WriteBegin(nullptr);
    for (const std::string& r : records) {
        unsigned char* region;
        int size;
        ok = ok && filter.WriteLock(&region, &size) && size == filter.GetBlockSize();
        if (!ok) break;
        std::memcpy(region, r.data(), r.size());
        ok = filter.WriteProcess(static_cast<int>(r.size()));
    }
    return filter.WriteEnd() && sink.WriteEnd() && ok;
}

// Reads records back in pieces; false when a lock or process fails.
bool ReadRecords(KtUBlowfishFilter& filter, KtUStreamSink& sink, std::vector<std::string>* out) {
    filter.SetSink(&sink);
    if (!sink.ReadBegin(nullptr) || !filter.ReadBegin(nullptr)) return false;
    for (;;) {
        const unsigned char* data;
        int size;
        if (!filter.ReadLock(&data, &size)) return false;
        if (size == 0) break;
        out->emplace_back(reinterpret_cast<const char*>(data), size_t(size));
        if (filter.ReadProcess(size + 1)) return false;
        int half = size / 2;
        if (!filter.ReadProcess(half) || !filter.ReadLock(&data, &size) ||
            !filter.ReadProcess(size))
            return false;
    }
    return filter.ReadEnd() && sink.ReadEnd();
}

std::vector<std::string> SampleRecords() {
    std::mt19937 rng(9);
    std::vector<std::string> records;
    for (int size : {5, 1, 8, 9, 4095, 65536, 17}) {
        std::string r(size_t(size), '\0');
        for (auto& c : r)
            c = static_cast<char>(rng());
        records.push_back(r);
    }
    return records;
}

TEST_F(BlowfishTest, RecordsRoundTripThroughBuffersAndSmallRegions) {
    KtUBlowfishFilter filter("record key");
    EXPECT_STREQ(filter.GetName(), "liblowfish");

    // A record of 5 bytes takes the header block and one block padded with
    // zero bytes, whatever an earlier record left in the plaintext block.
    KtUStreamBuffer five;
    ASSERT_TRUE(WriteRecords(filter, five, {"abcdefghijklm", "hello"}));
    ASSERT_EQ(five.GetAlignedUsed(), 24 + 16);
    unsigned words[4];
    std::memcpy(words, five.GetAlignedBuffer() + 24, 16);
    filter.Decrypt2(words, words);
    filter.Decrypt2(words + 2, words + 2);
    EXPECT_EQ(words[0], 5u);
    EXPECT_EQ(words[1], adler32(1, reinterpret_cast<const Bytef*>("hello"), 5));
    EXPECT_EQ(std::memcmp(words + 2, "hello\0\0\0", 8), 0);

    std::vector<std::string> records = SampleRecords();
    size_t stored = 0;
    for (const auto& r : records)
        stored += 8 + (r.size() + 7) / 8 * 8;
    KtUStreamBuffer buffer;
    ASSERT_TRUE(WriteRecords(filter, buffer, records));
    EXPECT_EQ(size_t(buffer.GetAlignedUsed()), stored);
    std::vector<std::string> back;
    ASSERT_TRUE(ReadRecords(filter, buffer, &back));
    EXPECT_EQ(back, records);

    // Regions of 8 and 24 bytes: records span many of them.
    for (int region : {8, 24}) {
        ChoppySink choppy(region);
        ASSERT_TRUE(WriteRecords(filter, choppy, records));
        EXPECT_EQ(choppy.bytes.size(), stored);
        EXPECT_EQ(std::memcmp(choppy.bytes.data(), buffer.GetAlignedBuffer(), stored), 0);
        back.clear();
        ASSERT_TRUE(ReadRecords(filter, choppy, &back));
        EXPECT_EQ(back, records);
    }

    // Out-of-range counts fail; 0 writes nothing.
    KtUStreamBuffer bounds;
    filter.SetSink(&bounds);
    ASSERT_TRUE(bounds.WriteBegin(nullptr) && filter.WriteBegin(nullptr));
    EXPECT_TRUE(filter.WriteProcess(0));
    EXPECT_FALSE(filter.WriteProcess(-1));
    EXPECT_FALSE(filter.WriteProcess(filter.GetBlockSize() + 1));
    EXPECT_TRUE(filter.WriteEnd() && bounds.WriteEnd());
    EXPECT_EQ(bounds.GetAlignedUsed(), 0);
}

// Reads bytes as records over regions of the given size.
bool ReadsBack(KtUBlowfishFilter& filter, const std::vector<unsigned char>& bytes,
               int region = 1 << 17) {
    ChoppySink sink(region);
    sink.bytes = bytes;
    std::vector<std::string> got;
    return ReadRecords(filter, sink, &got);
}

TEST_F(BlowfishTest, BadRegionsWrongKeysAndCorruptionFail) {
    KtUBlowfishFilter filter("record key");
    ChoppySink twelve(12);
    EXPECT_FALSE(WriteRecords(filter, twelve, {"hello"}));
    ChoppySink good(24);
    ASSERT_TRUE(WriteRecords(filter, good, SampleRecords()));
    EXPECT_TRUE(ReadsBack(filter, good.bytes));
    EXPECT_FALSE(ReadsBack(filter, good.bytes, 12));
    KtUBlowfishFilter wrong("record kez");
    EXPECT_FALSE(ReadsBack(wrong, good.bytes));
    std::vector<unsigned char> flipped = good.bytes,
                               cut(good.bytes.begin(), good.bytes.begin() + 8);
    flipped[9] ^= 0x10;
    EXPECT_FALSE(ReadsBack(filter, flipped));
    EXPECT_FALSE(ReadsBack(filter, cut));

    // n zero bytes under a header claiming n bytes with the given checksum:
    // a length outside 1 to the block size fails even with the right checksum.
    auto forged = [&](unsigned n, unsigned checksum) {
        unsigned header[2] = {n, checksum}, zero[2] = {0, 0};
        filter.Encrypt2(header, header);
        filter.Encrypt2(zero, zero);
        std::vector<unsigned char> bytes(8 + (n + 7) / 8 * 8);
        std::memcpy(bytes.data(), header, 8);
        for (size_t i = 8; i < bytes.size(); i += 8)
            std::memcpy(&bytes[i], zero, 8);
        return ReadsBack(filter, bytes);
    };
    std::vector<unsigned char> zeros(65544);
    auto adler = [&](unsigned n) { return unsigned(adler32(1, zeros.data(), n)); };
    EXPECT_TRUE(forged(65536, adler(65536)));
    EXPECT_FALSE(forged(65537, adler(65537)));
    EXPECT_FALSE(forged(0, 1));
    EXPECT_FALSE(forged(5, adler(5) + 1));
}

} // namespace

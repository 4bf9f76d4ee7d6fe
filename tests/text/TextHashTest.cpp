//===- TextHashTest.cpp - The block-wise text hash against its definition --===//
#include <ktutil/KtUTextHash.h>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using ktu::text::Hash;
using ktu::text::HashScalar;

// Every length up to several blocks at every offset within a block, with
// noise and terminators around the text so that masking mistakes show.
TEST(TextHash, BlocksMatchTheDefinitionAtEveryOffsetAndLength) {
    std::mt19937 rng(5);
    alignas(16) char narrow[160];
    alignas(16) KtUWChar wide[96];
    for (unsigned int offset = 0; offset < 16; ++offset) {
        for (unsigned int length = 0; length < 70; ++length) {
            for (char& c : narrow)
                c = static_cast<char>(rng() % 255 + 1); // high bytes count as negative
            narrow[offset + length] = 0;
            if (offset && length % 2) narrow[offset - 1] = 0; // a previous text's end
            ASSERT_EQ(HashScalar(narrow + offset), Hash(narrow + offset))
                << "offset " << offset << " length " << length;
        }
    }
    for (unsigned int offset = 0; offset < 8; ++offset) {
        for (unsigned int length = 0; length < 40; ++length) {
            for (KtUWChar& c : wide)
                c = static_cast<KtUWChar>(rng() % 0xFFFF + 1); // above 0x8000 too
            wide[offset + length] = 0;
            if (offset && length % 2) wide[offset - 1] = 0;
            ASSERT_EQ(HashScalar(wide + offset), Hash(wide + offset))
                << "offset " << offset << " length " << length;
        }
    }
}

TEST(TextHash, KnownValuesNullAndMisalignedWideText) {
    EXPECT_EQ(583u, Hash("ab"));
    EXPECT_EQ(0u, Hash(static_cast<const char*>(nullptr)));
    EXPECT_EQ(0u, Hash(u""));
    alignas(4) char raw[16] = {};
    const KtUWChar text[] = u"odd\xE9\x4E2D";
    std::memcpy(raw + 1, text, sizeof text);
    auto* odd = reinterpret_cast<const KtUWChar*>(raw + 1);
    EXPECT_EQ(HashScalar(text), Hash(odd));
}

// Texts that end on the last byte of a page followed by an inaccessible
// one: the block loads must not touch the next page.
TEST(TextHash, TextsEndingAtAPageBoundary) {
    const long page = sysconf(_SC_PAGESIZE);
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, map);
    ASSERT_EQ(0, mprotect(static_cast<char*>(map) + page, page, PROT_NONE));
    char* end = static_cast<char*>(map) + page;
    std::memset(map, 'x', page);
    for (int length = 0; length < 40; ++length) {
        end[-1] = 0;
        const char* text = end - 1 - length;
        EXPECT_EQ(HashScalar(text), Hash(text));
    }
    auto* wide_end = reinterpret_cast<KtUWChar*>(end);
    for (int length = 0; length < 20; ++length) {
        wide_end[-1] = 0;
        for (int i = 0; i < length; ++i)
            wide_end[-2 - i] = static_cast<KtUWChar>(0x4E2D + i);
        EXPECT_EQ(HashScalar(wide_end - 1 - length), Hash(wide_end - 1 - length));
    }
    munmap(map, 2 * page);
}

} // namespace

//===- text_hash_fuzzer.cpp - Fuzzes the block-wise text hash -------------===//
//
// The input, narrow and as UTF-16, is hashed at every offset of a 16-byte
// aligned buffer whose bytes around the text are noise, and the block-wise
// hash must equal h = h * 5 + c unit by unit.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUTextHash.h>

#include "fuzz_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

template <class C> void CheckAtEveryOffset(const C* text, size_t units, uint8_t noise) {
    constexpr size_t kSlack = 64 / sizeof(C);
    std::vector<C> buffer(units + 2 * kSlack + 16);
    for (size_t offset = 0; offset < 16 / sizeof(C); ++offset) {
        // Aligned start inside the vector's storage, then the offset.
        auto base = reinterpret_cast<uintptr_t>(buffer.data() + kSlack / 2);
        C* at = reinterpret_cast<C*>((base + 15) & ~uintptr_t(15)) + offset;
        std::memset(buffer.data(), noise | 1, buffer.size() * sizeof(C));
        if (units) std::memcpy(at, text, units * sizeof(C));
        at[units] = 0;
        fuzz::Check(ktu::text::Hash(at) == ktu::text::HashScalar(at), "block hash equals h*5+c");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t noise = size ? data[0] : 0x5A;
    // Narrow: up to the first NUL.
    std::vector<char> narrow(data, data + size);
    size_t units = std::find(narrow.begin(), narrow.end(), 0) - narrow.begin();
    CheckAtEveryOffset(narrow.data(), units, noise);
    // Wide: pairs of bytes, up to the first zero unit.
    std::vector<KtUWChar> wide(size / 2);
    if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * sizeof(KtUWChar));
    units = std::find(wide.begin(), wide.end(), KtUWChar(0)) - wide.begin();
    CheckAtEveryOffset(wide.data(), units, noise);
    return 0;
}

//===- fuzz_text.h - Shared helpers of the decoder fuzzers ----------------===//
//
// Decoders read NUL-terminated text, so each input is copied into a heap block
// of exactly its size plus the terminator: a read past the end is an ASan
// report. Outputs get blocks of exactly the announced size for the same
// reason.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_FUZZ_TEXT_H
#define KTUTIL_FUZZ_TEXT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace fuzz {

inline std::unique_ptr<char[]> Terminated(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size) std::memcpy(text.get(), data, size);
    text[size] = 0;
    return text;
}

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

} // namespace fuzz

#endif // KTUTIL_FUZZ_TEXT_H

//===- MemoryTestUtil.h - Helpers shared by the memory tests --------------===//
#ifndef KTUTIL_TESTS_MEMORYTESTUTIL_H
#define KTUTIL_TESTS_MEMORYTESTUTIL_H

#include <ktutil/KtUComponent.h>
#include <ktutil/KtUMemory.h>
#include <ktutil/KtUSysError.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#if KTU_HAS_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace ktutest {

/// Every message posted while a MemoryFixture runs, as "<severity>:<text>".
inline std::vector<std::string> g_posts;

inline int CapturePost(KtUSysError::Severity severity, KtUComponent*, int, void*,
                       const KtUWChar* message) {
    std::string text = std::to_string(int(severity)) + ":";
    for (; message && *message; ++message)
        text.push_back(char(*message));
    g_posts.push_back(text);
    return 1;
}

/// Reads memory the arena may have poisoned (free blocks) in the ASan build.
inline uint8_t PeekByte(const void* p) {
#if KTU_HAS_ASAN
    __asan_unpoison_memory_region(const_cast<void*>(p), 1);
#endif
    return *static_cast<const volatile uint8_t*>(p);
}

inline uint32_t* Word(void* base, unsigned offset) {
    return reinterpret_cast<uint32_t*>(static_cast<char*>(base) + offset);
}

inline uintptr_t RegionOf(const void* p, uintptr_t region_size = 0x10000) {
    return reinterpret_cast<uintptr_t>(p) & ~(region_size - 1);
}

/// Initialises the manager with a capturing handler; scrub and check off.
class MemoryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        KtUMemory::Initialise();
        KtUMemory::SetScrubMemory(0);
        KtUMemory::SetCheckMemory(0);
        KtUSysError::SetHandler(CapturePost, KtUSysError::eANY, (KtUComponent*)nullptr, -1);
        g_posts.clear();
    }
    void TearDown() override {
        KtUMemory::SetScrubMemory(0);
        KtUMemory::SetCheckMemory(0);
        KtUSysError::RemoveHandler(KtUSysError::eANY, (KtUComponent*)nullptr, -1);
        KtUMemory::Terminate();
    }
};

} // namespace ktutest

#endif

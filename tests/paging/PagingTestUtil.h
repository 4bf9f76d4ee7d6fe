//===- PagingTestUtil.h - Helpers shared by the paging tests --------------===//
#ifndef KTUTIL_TESTS_PAGINGTESTUTIL_H
#define KTUTIL_TESTS_PAGINGTESTUTIL_H

#include <ktutil/KtUPage.h>
#include <ktutil/KtUSysError.h>

#include <gtest/gtest.h>

#include "common/TestLog.h"

#include <string>

namespace ktutest {

constexpr KtUNat64 kMiB = KtUNat64(1) << 20;

inline void ClearLog() {
    KtUSysError::ClearLogBuffer();
}

/// KtUPage initialised around each test, its host settings undone after.
class PagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUPage::Initialise();
        ClearLog();
    }
    void TearDown() override {
        KtUPage::ClearOutOfMemory();
        KtUPage::SetStressTest(0);
        KtUPage::SetAllocMemoryLimit(0);
        KtUPage::SetProcessMemoryLimit(0);
        KtUPage::Terminate();
    }
};

} // namespace ktutest

#endif

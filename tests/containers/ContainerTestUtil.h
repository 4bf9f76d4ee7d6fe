//===- ContainerTestUtil.h - Fixture shared by the container tests --------===//
#ifndef KTUTIL_TESTS_CONTAINERTESTUTIL_H
#define KTUTIL_TESTS_CONTAINERTESTUTIL_H

#include <ktutil/KtUBitArray.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUVector.h>

#include <gtest/gtest.h>

namespace ktutest {

/// Initialises the container components and counts their ePRECONDITION
/// posts (handled, so that bad-argument tests can go on).
class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUVector::Initialise();
        KtUBitArray::Initialise();
        s_posts = 0;
        KtUSysError::SetHandler(Count, KtUSysError::ePRECONDITION, KtUVector::GetComponent(), -1);
        KtUSysError::SetHandler(Count, KtUSysError::ePRECONDITION, KtUBitArray::GetComponent(), -1);
    }
    void TearDown() override {
        KtUBitArray::Terminate();
        KtUVector::Terminate();
    }
    static int Posts() { return s_posts; }

private:
    static int Count(KtUSysError::Severity, KtUComponent*, int, void*, const KtUWChar*) {
        ++s_posts;
        return 1;
    }
    static inline int s_posts = 0;
};

} // namespace ktutest

#endif

//===- OptionTestUtil.h - Shared fixture of the option tests --------------===//
#ifndef KTUTIL_TESTS_OPTIONS_OPTIONTESTUTIL_H
#define KTUTIL_TESTS_OPTIONS_OPTIONTESTUTIL_H

#include <ktutil/KtUData.h>
#include <ktutil/KtUOption.h>
#include <ktutil/KtUSysError.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace ktutest {

/// Posts of the options component, as "<severity>:<message>" in ASCII.
inline std::mutex g_postsLock;
inline std::vector<std::string> g_posts;

inline int CapturePost(KtUSysError::Severity severity, KtUComponent*, int, void*,
                       const KtUWChar* message) {
    std::string text = std::to_string(static_cast<int>(severity)) + ":";
    for (; message && *message; ++message)
        text.push_back(static_cast<char>(*message));
    std::lock_guard<std::mutex> hold(g_postsLock);
    g_posts.push_back(text);
    return 1;
}

inline std::string LastPost() {
    std::lock_guard<std::mutex> hold(g_postsLock);
    return g_posts.empty() ? std::string() : g_posts.back();
}

inline std::string Err(const std::string& text) {
    return std::to_string(static_cast<int>(KtUSysError::eERROR)) + ":" + text;
}

/// Initialises the options component and records its posts.
class OptionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        KtUOption::Initialise();
        g_posts.clear();
        KtUSysError::SetHandler(CapturePost, KtUSysError::eANY, KtUOption::GetComponent(), -1);
    }
    void TearDown() override {
        KtUSysError::RemoveHandler(KtUSysError::eANY, KtUOption::GetComponent(), -1);
        KtUOption::Terminate();
    }
};

} // namespace ktutest

#endif // KTUTIL_TESTS_OPTIONS_OPTIONTESTUTIL_H

//===- SystemTestUtil.h - A scratch directory for the file tests ----------===//
#ifndef KTUTIL_TESTS_SYSTEMTESTUTIL_H
#define KTUTIL_TESTS_SYSTEMTESTUTIL_H

#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "../foundation/FoundationTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace ktutest {

/// ASCII-only conversions: test paths are plain ASCII.
inline std::u16string W(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}
inline std::string N(const KtUWChar* s) {
    std::string out;
    for (; s && *s; ++s)
        out.push_back(static_cast<char>(*s));
    return out;
}
inline std::string N(const KtUWideStringBuffer& b) {
    return N(b.GetString());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
inline std::string ReadFile(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

/// Gives each test its own directory, which is also the override temporary
/// directory, and removes it afterwards.
class SysFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUSysFile::Initialise();
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/ktu_sysfile_XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(templ.data()));
        m_dir = templ;
        ASSERT_TRUE(KtUSysFile::SetOverrideTempDir(W(m_dir).c_str(), 0));
    }
    void TearDown() override {
        KtUSysFile::SetOverrideTempDir(nullptr, 0);
        EXPECT_TRUE(KtUSysFile::RemoveW(W(m_dir).c_str(), 1));
        KtUSysFile::Terminate();
        EXPECT_EQ(0u, KtUMemory::GetArenaMemoryAllocated()) << "a handle or buffer leaked";
    }
    std::string P(const std::string& name) const { return m_dir + "/" + name; }
    std::u16string WP(const std::string& name) const { return W(P(name)); }

    std::string m_dir;
};

} // namespace ktutest

#endif

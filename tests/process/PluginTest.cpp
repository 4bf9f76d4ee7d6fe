//===- PluginTest.cpp - Plug-in loading and the search-path modifiers -----===//
#include <ktutil/KtUError.h>
#include <ktutil/KtUPage.h>
#include <ktutil/KtUSysDllDirectoryModifier.h>
#include <ktutil/KtUSysDynamicLib.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysPathModifier.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "process/lib_search.h"

#include "common/TestLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

using ktutest::LogText;

const std::string kPluginDir = KTU_TEST_PLUGIN_DIR;

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

const char* Env() {
    return std::getenv("LD_LIBRARY_PATH");
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        KtUSysDynamicLib::Initialise();
        KtUPage::Initialise();
        const char* old = Env();
        m_had = old != nullptr;
        if (old) m_saved = old;
    }
    void TearDown() override {
        if (m_had)
            setenv("LD_LIBRARY_PATH", m_saved.c_str(), 1);
        else
            unsetenv("LD_LIBRARY_PATH");
        KtUPage::Terminate();
        KtUSysDynamicLib::Terminate();
    }

private:
    bool m_had = false;
    std::string m_saved;
};

TEST_F(PluginTest, PathModifierPrependsReplacesAndRestores) {
    unsetenv("LD_LIBRARY_PATH");
    {
        KtUSysPathModifier first(u"/opt/a", KtUSysPathModifier::ePREPEND);
        EXPECT_STREQ("/opt/a", Env()); // no empty entry, which would mean "."
        {
            KtUSysPathModifier second(u"/opt/b:", KtUSysPathModifier::ePREPEND);
            EXPECT_STREQ("/opt/b:/opt/a", Env());
            KtUSysPathModifier bare(u"", KtUSysPathModifier::ePREPEND);
            EXPECT_STREQ("/opt/b:/opt/a", Env());
            KtUSysPathModifier replace(u"/x", KtUSysPathModifier::eREPLACE);
            EXPECT_STREQ("/x", Env());
        }
        EXPECT_STREQ("/opt/a", Env());
        KtUSysPathModifier copy(first); // restores first's saved value too
    }
    EXPECT_EQ(nullptr, Env());
}

TEST_F(PluginTest, DllDirectoryIsSetForAScope) {
    KtUWideStringBuffer dir;
    {
        KtUSysDllDirectoryModifier outer(u"/opt/lib");
        KtUSysDllDirectoryModifier::GetDirectoryW(&dir);
        EXPECT_TRUE(dir == u"/opt/lib");
        EXPECT_EQ("/opt/lib", ktu::process::SearchDirectories("/p")[1]);
        {
            KtUSysDllDirectoryModifier none(nullptr);
            EXPECT_EQ(1u, ktu::process::SearchDirectories("/p").size());
        }
        KtUSysDllDirectoryModifier::GetDirectoryW(&dir);
        EXPECT_TRUE(dir == u"/opt/lib");
    }
    KtUSysDllDirectoryModifier::GetDirectoryW(&dir);
    EXPECT_TRUE(dir.IsEmpty());
}

TEST_F(PluginTest, PluginFindsTheLibraryBesideItWithoutSearchPath) {
    unsetenv("LD_LIBRARY_PATH");
    const std::string plugin = kPluginDir + "/libktu_test_plugin_needs.so";
    // The system loader alone cannot: no RPATH, no LD_LIBRARY_PATH.
    void* plain = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_EQ(nullptr, plain);

    KtUSysDynamicLibHandle lib = KtUSysDynamicLib::OpenW(Wide(plugin).c_str());
    ASSERT_NE(nullptr, lib) << LogText();
    EXPECT_EQ(nullptr, Env()); // the prepended folder is gone again
    auto value =
        reinterpret_cast<int (*)()>(KtUSysDynamicLib::FindFunction(lib, "KtuTestPluginValue"));
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(4218, value());
    EXPECT_EQ(nullptr, KtUSysDynamicLib::FindFunction(lib, "NoSuchFunction"));
    const std::string log = LogText();
    const size_t loaded = log.rfind("KtUSysDynamicLib, Loaded DLL from " + plugin);
    EXPECT_NE(std::string::npos, loaded);
    // The memory budget follows the address space the plug-in took.
    EXPECT_NE(std::string::npos, log.find("KtUPage::CalcDefaultProcessMemoryLimit", loaded));
    EXPECT_EQ(1, KtUSysDynamicLib::Close(lib));
    // Closing the plug-in let its dependency go too.
    EXPECT_EQ(nullptr, dlopen("libktu_test_plugin_base.so", RTLD_LAZY | RTLD_NOLOAD));

    // A bare name is searched for in the library directory, and changes
    // neither the search path nor the current directory.
    setenv("LD_LIBRARY_PATH", "/nonexistent", 1);
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    KtUSysDllDirectoryModifier dir(Wide(kPluginDir).c_str());
    lib = KtUSysDynamicLib::OpenW(u"libktu_test_plugin_needs.so");
    ASSERT_NE(nullptr, lib) << LogText();
    EXPECT_STREQ("/nonexistent", Env());
    char after[4096];
    ASSERT_NE(nullptr, getcwd(after, sizeof after));
    EXPECT_STREQ(cwd, after);
    EXPECT_EQ(1, KtUSysDynamicLib::Close(lib));
}

TEST_F(PluginTest, MissingLibraryFailsAndIsLogged) {
    EXPECT_EQ(nullptr, KtUSysDynamicLib::OpenW(u"/nonexistent/libnothing.so"));
    EXPECT_NE(
        std::string::npos,
        LogText().find("KtUSysDynamicLib, Failed to load DLL from /nonexistent/libnothing.so"));
    KtUWideStringBuffer ext;
    KtUSysDynamicLib::GetDynamicLibExtensionW(&ext);
    EXPECT_TRUE(ext == u".so");
}

TEST_F(PluginTest, PluginCannotReplaceTheCrashHandler) {
    struct sigaction before;
    sigaction(SIGSEGV, nullptr, &before);
    const std::string line =
        "KtUSysDynamicLib, DLL load tried to change UnhandledExceptionFilter\n";
    const size_t earlier = LogText().find(line);

    KtUSysDynamicLibHandle lib =
        KtUSysDynamicLib::OpenW(Wide(kPluginDir + "/libktu_test_plugin_handler.so").c_str());
    ASSERT_NE(nullptr, lib) << LogText();
    struct sigaction after;
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(before.sa_flags & SA_SIGINFO, after.sa_flags & SA_SIGINFO);
    EXPECT_EQ(reinterpret_cast<void*>(before.sa_sigaction),
              reinterpret_cast<void*>(after.sa_sigaction));
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find(line, earlier == std::string::npos ? 0 : earlier + 1));

    // A library that leaves the handlers alone is not reported.
    const size_t count_before = log.rfind(line);
    KtUSysDynamicLibHandle quiet =
        KtUSysDynamicLib::OpenW(Wide(kPluginDir + "/libktu_test_plugin_needs.so").c_str());
    ASSERT_NE(nullptr, quiet);
    EXPECT_EQ(count_before, LogText().rfind(line));
    KtUSysDynamicLib::Close(quiet);
    KtUSysDynamicLib::Close(lib);
}

TEST(LibSearchTest, SearchPathText) {
    using namespace ktu::process;
    EXPECT_EQ("/a", PrependDirectory("/a::", ""));
    EXPECT_EQ((std::vector<std::string>{"/a", "b"}), SplitSearchPath("::/a::b:"));
    EXPECT_EQ("a/b", DirectoryOf("a/b/c.so"));
    EXPECT_EQ("/", DirectoryOf("/c.so"));
    EXPECT_EQ("", DirectoryOf("c.so"));
    EXPECT_EQ("C:/x", DirectoryOf("C:\\x\\y.so"));
}

} // namespace

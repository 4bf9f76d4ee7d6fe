//===- RegistryTest.cpp - Settings through the roots, on real hive files --===//
#include <ktutil/KtURegistry.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUSysRegistrySectionHandle.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "common/TestLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using ktutest::LogText;

using R = KtUSysRegistry;

constexpr const KtUWChar* kUserRoot = u"Software\\Acme\\Tool\\2";
constexpr const KtUWChar* kInstallRoot = u"SOFTWARE\\Acme\\Tool\\2";
constexpr const KtUWChar* kOldUser = u"Software\\Acme\\Tool\\1";
constexpr const KtUWChar* kOldInstall = u"SOFTWARE\\Acme\\Tool\\1";

std::u16string Under(const KtUWChar* root, const KtUWChar* section) {
    return std::u16string(root) + u"\\" + section;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ktu-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_user = m_dir + "/user.hive";
        m_machine = m_dir + "/machine/machine.hive";
        setenv("KTU_USER_HIVE", m_user.c_str(), 1);
        setenv("KTU_MACHINE_HIVE", m_machine.c_str(), 1);
        Start();
    }
    void TearDown() override {
        R::Terminate();
        chmod(m_machine.c_str(), 0644);
        std::filesystem::remove_all(m_dir);
    }
    void Start() {
        R::Initialise();
        KtURegistry::Initialise();
        R::SetRoot(kUserRoot, kInstallRoot);
    }
    void Restart() {
        KtURegistry::Terminate();
        R::Terminate();
        Start();
    }
    static void PutUser(const KtUWChar* section, const KtUWChar* name, int v,
                        const KtUWChar* root = kUserRoot) {
        ASSERT_TRUE(KtURegistry::WriteLtInt32(KTU_HKEY_CURRENT_USER, Under(root, section).c_str(),
                                              name, v));
    }
    static void PutMachine(const KtUWChar* section, const KtUWChar* name, int v,
                           const KtUWChar* root = kInstallRoot) {
        ASSERT_TRUE(KtURegistry::WriteLtInt32(KTU_HKEY_LOCAL_MACHINE, Under(root, section).c_str(),
                                              name, v));
    }
    static bool UserHas(const KtUWChar* section, const KtUWChar* name, int* v) {
        return KtURegistry::ReadLtInt32(KTU_HKEY_CURRENT_USER, Under(kUserRoot, section).c_str(),
                                        name, v);
    }

    std::string m_dir, m_user, m_machine;
};

TEST_F(RegistryTest, LookupOrderUserInstallAndInheritedRoots) {
    R::AddInheritRoot(kOldUser, kOldInstall);
    R::AddInheritRoot(u"Software\\Acme\\Tool\\0", u"SOFTWARE\\Acme\\Tool\\0");

    // Only in the install root: found, nothing copied to the user root.
    PutMachine(u"View", u"Size", 7);
    EXPECT_EQ(R::GetInt32(u"View", u"Size", -1, R::eUSER), 7);
    int v = 0;
    EXPECT_FALSE(UserHas(u"View", u"Size", &v));

    // The user root wins when the mode includes it; otherwise the install root.
    PutUser(u"View", u"Size", 8);
    EXPECT_EQ(R::GetInt32(u"View", u"Size", -1, R::eUSER), 8);
    EXPECT_EQ(R::GetInt32(u"View", u"Size", -1, 0), 7);

    // Inherited roots only with eINHERIT; the first in list order wins, and
    // the value is copied forward under the user root.
    PutUser(u"View", u"Zoom", 3, kOldUser);
    PutUser(u"View", u"Zoom", 2, u"Software\\Acme\\Tool\\0");
    EXPECT_EQ(R::GetInt32(u"View", u"Zoom", -1, R::eUSER), -1);
    EXPECT_FALSE(UserHas(u"View", u"Zoom", &v));
    EXPECT_EQ(R::GetInt32(u"View", u"Zoom", -1, R::eUSER | R::eINHERIT), 3);
    ASSERT_TRUE(UserHas(u"View", u"Zoom", &v));
    EXPECT_EQ(v, 3);
    // Later reads find the copy without the inherited root.
    ASSERT_TRUE(KtURegistry::DeleteKey(KTU_HKEY_CURRENT_USER, kOldUser, true));
    EXPECT_EQ(R::GetInt32(u"View", u"Zoom", -1, R::eUSER | R::eINHERIT), 3);

    // An inherited install root is used when the inherited user root lacks it.
    PutMachine(u"View", u"Grid", 5, kOldInstall);
    EXPECT_EQ(R::GetInt32(u"View", u"Grid", -1, R::eUSER | R::eINHERIT), 5);
    EXPECT_TRUE(UserHas(u"View", u"Grid", &v));

    // Without eUSER the copy goes to the machine hive under the user root,
    // which names the install root there.
    PutMachine(u"Other", u"Depth", 9, kOldInstall);
    EXPECT_EQ(R::GetInt32(u"Other", u"Depth", -1, R::eINHERIT), 9);
    EXPECT_TRUE(KtURegistry::ReadLtInt32(KTU_HKEY_LOCAL_MACHINE,
                                         Under(kInstallRoot, u"Other").c_str(), u"Depth", &v));

    // A string longer than the getter keeps is still the user's value: it is
    // read cut short, and no inherited copy replaces it.
    std::u16string long_text(5000, u'q');
    ASSERT_EQ(R::SetWideString(u"View", u"Notes", long_text.c_str(), R::eUSER), 1);
    ASSERT_TRUE(KtURegistry::WriteWideString(KTU_HKEY_CURRENT_USER,
                                             Under(kOldUser, u"View").c_str(), u"Notes", u"old"));
    KtUWideStringBuffer text;
    R::GetWideString(u"View", u"Notes", u"", &text, R::eUSER | R::eINHERIT);
    EXPECT_EQ(text.GetLength(), 3999);
    ASSERT_TRUE(KtURegistry::ReadWideString(KTU_HKEY_CURRENT_USER,
                                            Under(kUserRoot, u"View").c_str(), u"Notes", &text, 0));
    EXPECT_EQ(text.GetLength(), 5000); // the open-key read takes it all
    unsigned int type = 0, size = 0;
    KtURegKey key = nullptr;
    ASSERT_NE(
        R::OpenKey(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"View").c_str(), 0, R::eKEY_READ, &key),
        0);
    EXPECT_NE(R::QueryValue(key, u"Notes", &type, nullptr, &size), 0);
    EXPECT_EQ(size, 5001u * 2);
    R::CloseKey(key);

    // Missing everywhere: the default, written back only with eCREATE.
    EXPECT_EQ(R::GetInt32(u"View", u"Absent", 11, R::eUSER | R::eINHERIT), 11);
    EXPECT_FALSE(UserHas(u"View", u"Absent", &v));
    EXPECT_EQ(R::GetInt32(u"View", u"Absent", 12, R::eREAD_WRITE), 12);
    ASSERT_TRUE(UserHas(u"View", u"Absent", &v));
    EXPECT_EQ(v, 12);
}

TEST_F(RegistryTest, TypedValuesRoundTripAndMismatchesCountAsMissing) {
    const R::Mode m = R::eUSER;
    EXPECT_EQ(R::SetInt64(u"T", u"Big", 0x123456789ALL, m), 1);
    EXPECT_EQ(R::GetInt64(u"T", u"Big", 0, m), 0x123456789ALL);
    EXPECT_EQ(R::SetFloat(u"T", u"Pi", 3.141592653589793, m), 1);
    EXPECT_DOUBLE_EQ(R::GetFloat(u"T", u"Pi", 0, m), 3.141592653589793);
    EXPECT_EQ(R::SetBoolean(u"T", u"On", true, m), 1);
    EXPECT_TRUE(R::GetBoolean(u"T", u"On", false, m));
    EXPECT_EQ(R::SetString("T", "Name", "caf\xC3\xA9", m), 1);
    KtUStringBuffer narrow;
    R::GetString(u"T", u"Name", "x", &narrow, m);
    EXPECT_STREQ(narrow.GetString(), "caf\xC3\xA9");
    KtUWideStringBuffer wide;
    R::GetWideString("T", "Name", u"x", &wide, m);
    EXPECT_TRUE(wide == u"caf\u00e9");

    // A 64-bit value is not an Int32; a string is not a number.
    EXPECT_EQ(R::GetInt32(u"T", u"Big", -1, m), -1);
    EXPECT_EQ(R::GetInt32(u"T", u"Name", -1, m), -1);
    // Time takes a 4-byte value too, sign-extended.
    PutUser(u"T", u"When", -5);
    EXPECT_EQ(R::GetTime(u"T", u"When", 0, m), -5);
    // Any nonzero Int32 reads as true.
    PutUser(u"T", u"Flag", 42);
    EXPECT_TRUE(R::GetBoolean(u"T", u"Flag", false, m));

    // A float stored as text that is not a number is missing.
    ASSERT_EQ(R::SetWideString(u"T", u"Ratio", u"abc", m), 1);
    EXPECT_EQ(R::GetFloat(u"T", u"Ratio", 2.5, m), 2.5);

    // With eCREATE a mismatched value is replaced by the default, typed.
    EXPECT_EQ(R::GetInt32(u"T", u"Name", 4, m | R::eCREATE), 4);
    unsigned long type = 0;
    ASSERT_TRUE(KtURegistry::QueryValueType(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"T").c_str(),
                                            u"Name", &type));
    EXPECT_EQ(type, unsigned(R::eREG_DWORD));
    EXPECT_EQ(R::GetInt32(u"T", u"Name", -1, m), 4);

    // The getters' log lines.
    std::string log = LogText();
    EXPECT_NE(log.find("RegGetI32 \"T\" \"Name\" -> 4\n"), std::string::npos);
    EXPECT_NE(log.find("RegGetF \"T\" \"Ratio\" = 2.5\n"), std::string::npos);
    R::GetWideString(u"T", u"Nothing", nullptr, &wide, m);
    R::GetString(u"T", u"Nothing", nullptr, &narrow, m);
    log = LogText();
    EXPECT_NE(log.find("RegGetW \"T\" \"Nothing\" = (empty)\n"), std::string::npos);
    EXPECT_NE(log.find("RegGetA \"T\" \"Nothing\" = (null)\n"), std::string::npos);
}

TEST_F(RegistryTest, SettersWriteOnlyWhatChanged) {
    KtURegFileTime before{}, after{};
    std::u16string key = Under(kUserRoot, u"S");
    ASSERT_EQ(R::SetInt32(u"S", u"N", 1, R::eUSER), 1);
    ASSERT_TRUE(KtURegistry::QueryKey(KTU_HKEY_CURRENT_USER, key.c_str(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr, &before));
    usleep(2000);
    EXPECT_EQ(R::SetInt32(u"S", u"N", 1, R::eUSER), 1);
    ASSERT_TRUE(KtURegistry::QueryKey(KTU_HKEY_CURRENT_USER, key.c_str(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr, &after));
    EXPECT_EQ(before.low, after.low);
    EXPECT_EQ(before.high, after.high);
    EXPECT_EQ(R::SetInt32(u"S", u"N", 2, R::eUSER), 1);
    ASSERT_TRUE(KtURegistry::QueryKey(KTU_HKEY_CURRENT_USER, key.c_str(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr, &after));
    EXPECT_NE(before.low, after.low);

    // Equal to what the install root holds: the user root is not written.
    PutMachine(u"S", u"M", 5);
    EXPECT_EQ(R::SetInt32(u"S", u"M", 5, R::eUSER), 1);
    int v = 0;
    EXPECT_FALSE(UserHas(u"S", u"M", &v));
    // Same bytes under another type is a change.
    ASSERT_EQ(R::SetWideString(u"S", u"W", u"ab", R::eUSER), 1);
    EXPECT_EQ(R::SetInt64(u"S", u"W", 0x0062'0061, R::eUSER), 1);
    EXPECT_EQ(R::GetInt64(u"S", u"W", 0, R::eUSER), 0x0062'0061);
}

TEST_F(RegistryTest, WithoutInstallRightsTheMachineHiveIsNotWritten) {
    ASSERT_TRUE(R::HasInstallRights());
    EXPECT_EQ(R::SetInt32(u"I", u"Seed", 1, R::eINSTALL), 1);
    EXPECT_EQ(R::GetInt32(u"I", u"Seed", 0, 0), 1);
    R::Terminate();
    ASSERT_EQ(chmod(m_machine.c_str(), 0444), 0);
    Start();
    EXPECT_FALSE(R::HasInstallRights());
    EXPECT_EQ(R::GetInt32(u"I", u"Seed", 0, 0), 1);
    EXPECT_EQ(R::SetInt32(u"I", u"Seed", 2, R::eINSTALL), 0);
    EXPECT_EQ(R::SetInt32(u"I", u"New", 2, R::eINSTALL), 0);
    EXPECT_EQ(R::SetInt32(u"I", u"Seed", 3, R::eUSER | R::eINSTALL), 1);
    EXPECT_EQ(R::GetInt32(u"I", u"Seed", 0, 0), 1);
    EXPECT_EQ(R::GetInt32(u"I", u"Seed", 0, R::eUSER), 3);
    EXPECT_EQ(R::ZapKey(R::eMACHINE_HIVE, kInstallRoot), 0);
    EXPECT_EQ(R::CreateSection(u"Other", R::eMACHINE_HIVE), 0);
    EXPECT_FALSE(KtURegistry::WriteLtInt32(KTU_HKEY_LOCAL_MACHINE, u"X", u"Y", 1));
    KtURegKey key = nullptr;
    EXPECT_EQ(R::OpenKey(KTU_HKEY_LOCAL_MACHINE, kInstallRoot, 0, R::eKEY_WRITE, &key), 0);
    EXPECT_EQ(R::GetInt32(u"I", u"New", 0, 0), 0);
}

TEST_F(RegistryTest, AReaderThatCannotWriteTheHiveFolderStillReadsAndSeesChanges) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(R::SetInt32(u"I", u"Seed", 1, R::eINSTALL), 1);
    R::Terminate(); // closes the hive, removing its WAL files
    ASSERT_EQ(chmod(m_dir.c_str(), 0755), 0);
    ASSERT_EQ(chmod((m_dir + "/machine").c_str(), 0755), 0);
    Start();
    // Another user, to whom the folder and the hive are read-only, reads the
    // value, then again after each of two changes: one left in the writer's
    // WAL, one written into the hive file itself.
    int ask[2], told[2];
    ASSERT_EQ(pipe(ask), 0);
    ASSERT_EQ(pipe(told), 0);
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        for (int want = 1; want <= 3; ++want) {
            char go;
            if (read(ask[0], &go, 1) != 1) _exit(4);
            char got = static_cast<char>(R::GetInt32(u"I", u"Seed", -1, 0));
            if (write(told[1], &got, 1) != 1) _exit(5);
        }
        _exit(0);
    }
    auto read_as_other = [&] {
        char go = 1, got = 0;
        EXPECT_EQ(write(ask[1], &go, 1), 1);
        EXPECT_EQ(read(told[0], &got, 1), 1);
        return int(got);
    };
    EXPECT_EQ(read_as_other(), 1);
    ASSERT_EQ(R::SetInt32(u"I", u"Seed", 2, R::eINSTALL), 1);
    EXPECT_EQ(read_as_other(), 2);
    ASSERT_EQ(R::SetInt32(u"I", u"Seed", 3, R::eINSTALL), 1);
    R::Terminate();
    Start();
    EXPECT_EQ(read_as_other(), 3);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {ask[0], ask[1], told[0], told[1]})
        close(fd);
}

int Configuration(const char* name, KtUWideStringBuffer* value) {
    const std::string n = name;
    if (n == "session.registry.company_key")
        *value = u"Acme";
    else if (n == "session.registry.product_key")
        *value = u"";
    else if (n == "session.registry.inherit_root_3")
        *value = u"Software\\Acme\\Three";
    else if (n == "session.registry.inherit_root_7")
        *value = u"Software\\Acme\\Seven";
    else if (n == "session.registry.inherit_root_5")
        *value = u"";
    else
        return 0;
    return 1;
}

TEST_F(RegistryTest, HostConfigurationGivesRootsAndInheritedRootsHighestFirst) {
    R::Terminate();
    R::SetConfigLookup(Configuration);
    R::Initialise();
    R::SetConfigLookup(nullptr);
    KtUWideStringBuffer base;
    R::GetBaseKey(&base);
    EXPECT_TRUE(base == u"Acme\\\\6.0"); // an empty product key stays an empty name
    EXPECT_STREQ(R::GetUserRoot(), "Software\\Acme\\\\6.0");
    EXPECT_TRUE(KtUWideStringBuffer(R::GetInstallRootWide()) == u"SOFTWARE\\Acme\\\\6.0");
    // Both inherited roots name the same path in either hive; 7 comes before 3.
    PutUser(u"S", u"v", 3, u"Software\\Acme\\Three");
    PutMachine(u"S", u"v", 7, u"Software\\Acme\\Seven");
    EXPECT_EQ(R::GetInt32("S", "v", -1, R::eUSER | R::eINHERIT), 7);
}

TEST_F(RegistryTest, WholeKeyOperationsTakeOnlyTheTwoHiveModes) {
    for (R::Mode mode : {0u, 1u, 5u, 8u, 12u, 13u}) {
        EXPECT_EQ(R::CreateSection("X", mode), 0) << mode;
        EXPECT_EQ(R::ZapKey(mode, "Software"), 0) << mode;
        EXPECT_EQ(R::CopyKey(mode, "Software", R::eUSER_HIVE, "Y", 1), 0) << mode;
    }
    ASSERT_EQ(R::CreateSection("X\\Y", R::eUSER_HIVE), 1);
    ASSERT_EQ(R::CreateSection(u"X", R::eMACHINE_HIVE), 1);
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"X").c_str()), 1);
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_LOCAL_MACHINE, Under(kInstallRoot, u"X").c_str()), 0);
    KtUStringBuffer sub;
    R::MakeSubSection(&sub, "X", "Y");
    EXPECT_STREQ(sub.GetString(), "X\\Y");
    EXPECT_EQ(R::ZapKey(R::eUSER_HIVE, "Software"), 1);
    EXPECT_EQ(R::ZapKey(R::eUSER_HIVE, "Software"), 0); // nothing left to delete
}

std::set<std::u16string> Names(KtUSysRegistrySectionHandle* h) {
    std::set<std::u16string> names;
    size_t count = 0;
    for (; h->IsValid(); h->Next(), ++count)
        names.insert(h->GetKey());
    EXPECT_EQ(count, names.size()) << "a name was listed twice";
    R::CloseSection(h);
    return names;
}

TEST_F(RegistryTest, OpenSectionListsEachNameOnceAcrossRoots) {
    R::AddInheritRoot(kOldUser, kOldInstall);
    PutUser(u"Recent\\Shared", u"v", 1);
    PutUser(u"Recent\\UserOnly", u"v", 1);
    PutMachine(u"Recent\\Shared", u"v", 1);
    PutMachine(u"Recent\\InstallOnly", u"v", 1);
    PutUser(u"Recent\\Old", u"v", 1, kOldUser);
    PutUser(u"Recent", u"a", 1);
    PutMachine(u"Recent", u"a", 1);
    PutMachine(u"Recent", u"b", 1);
    ASSERT_TRUE(KtURegistry::WriteWideString(KTU_HKEY_CURRENT_USER,
                                             Under(kUserRoot, u"Recent").c_str(), u"", u"dflt"));

    using S = std::set<std::u16string>;
    EXPECT_EQ(Names(R::OpenSection(u"Recent", R::eUSER, R::eSUBKEYS)),
              (S{u"Shared", u"UserOnly", u"InstallOnly"}));
    EXPECT_EQ(Names(R::OpenSection(u"Recent", R::eUSER | R::eINHERIT, R::eSUBKEYS)),
              (S{u"Shared", u"UserOnly", u"InstallOnly", u"Old"}));
    EXPECT_EQ(Names(R::OpenSection(u"Recent", 0, R::eSUBKEYS)), (S{u"Shared", u"InstallOnly"}));
    EXPECT_EQ(Names(R::OpenSection(u"Recent", R::eUSER, R::eSUBKEYS | R::eFIRST_PLACE_ONLY)),
              (S{u"Shared", u"UserOnly"}));
    EXPECT_EQ(Names(R::OpenSection("Recent", R::eUSER, R::eVALUES)), (S{u"a", u"b"}));
    EXPECT_EQ(Names(R::OpenSection(u"Recent", R::eUSER, R::eVALUES | R::eSUBKEYS)).size(), 5u);

    // eCREATE makes the missing keys; without it nothing is created.
    EXPECT_TRUE(Names(R::OpenSection(u"Fresh", R::eUSER, R::eSUBKEYS)).empty());
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, kUserRoot), 1);
    EXPECT_TRUE(Names(R::OpenSection(u"Fresh", R::eUSER | R::eCREATE, R::eSUBKEYS)).empty());
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, kUserRoot), 2);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCaseIncludingNonAscii) {
    ASSERT_EQ(R::SetInt32(u"Äpfel\\Größe", u"Ωmega", 1, R::eUSER), 1);
    EXPECT_EQ(R::GetInt32(u"äPFEL\\GRÖßE", u"ωMEGA", 0, R::eUSER), 1);
    EXPECT_EQ(R::GetInt32(u"ÄPFEL\\größe", u"ΩMEGA", 0, R::eUSER), 1);
    ASSERT_EQ(R::SetInt32(u"ПРИВЕТ", u"ÉTÉ", 2, R::eUSER), 1);
    EXPECT_EQ(R::GetInt32(u"привет", u"été", 0, R::eUSER), 2);
    // Distinct letters stay distinct.
    EXPECT_EQ(R::GetInt32(u"Apfel\\Große", u"Ωmega", 0, R::eUSER), 0);

    // Writing through another spelling replaces the value and keeps the
    // first spelling of every name.
    ASSERT_EQ(R::SetInt32(u"ÄPFEL\\GRÖßE", u"ΩMEGA", 3, R::eUSER), 1);
    EXPECT_EQ(
        KtURegistry::CountValues(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"äpfel\\größe").c_str()),
        1);
    KtUWideStringBuffer name;
    EXPECT_EQ(KtURegistry::EnumKey(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"ÄPFEL").c_str(), 0,
                                   &name, nullptr, nullptr),
              KtURegistry::eSUCCESS);
    EXPECT_TRUE(name == u"Größe");
    unsigned long type = 0;
    EXPECT_EQ(KtURegistry::EnumValue(KTU_HKEY_CURRENT_USER,
                                     Under(kUserRoot, u"äpfel\\größe").c_str(), 0, &name, &type),
              KtURegistry::eSUCCESS);
    EXPECT_TRUE(name == u"Ωmega");
    EXPECT_EQ(R::GetInt32(u"äpfel\\größe", u"ωmega", 0, R::eUSER), 3);
}

TEST_F(RegistryTest, KeysEnumerateCopyAndDelete) {
    const KtUWChar* top = u"Software\\Test";
    ASSERT_TRUE(KtURegistry::WriteLtInt32(KTU_HKEY_CURRENT_USER, u"Software\\Test\\B", u"x", 1));
    ASSERT_TRUE(
        KtURegistry::WriteLtInt64(KTU_HKEY_CURRENT_USER, u"Software\\Test\\A\\Deep", u"y", 2));
    ASSERT_TRUE(KtURegistry::WriteWideString(KTU_HKEY_CURRENT_USER, top, u"longer name", u"text"));
    ASSERT_TRUE(KtURegistry::WriteBoolean(KTU_HKEY_CURRENT_USER, top, u"z", true));

    KtUWideStringBuffer name;
    EXPECT_EQ(KtURegistry::EnumKey(KTU_HKEY_CURRENT_USER, top, 0, &name, nullptr, nullptr), 0);
    EXPECT_TRUE(name == u"A");
    EXPECT_EQ(KtURegistry::EnumKey(KTU_HKEY_CURRENT_USER, top, 2, &name, nullptr, nullptr),
              KtURegistry::eNO_MORE_ITEMS);
    EXPECT_EQ(KtURegistry::EnumKey(KTU_HKEY_CURRENT_USER, u"Nowhere", 0, &name, nullptr, nullptr),
              KtURegistry::eNO_KEY);
    int subkeys = 0, values = 0, longest_name = 0, longest_data = 0;
    ASSERT_TRUE(KtURegistry::QueryKey(KTU_HKEY_CURRENT_USER, top, &subkeys, nullptr, &values,
                                      &longest_name, &longest_data, nullptr));
    EXPECT_EQ(subkeys, 2);
    EXPECT_EQ(values, 2);
    EXPECT_EQ(longest_name, 11);
    EXPECT_EQ(longest_data, 10); // "text" and its NUL in UTF-16

    // An open key reads its values with the type checks.
    KtURegKey key = nullptr;
    ASSERT_NE(R::OpenKey(KTU_HKEY_CURRENT_USER, top, 0, R::eKEY_READ, &key), 0);
    int flag = 0;
    EXPECT_NE(R::QueryValueBoolean(key, u"z", &flag), 0);
    EXPECT_EQ(flag, 1);
    KtUStringBuffer text;
    EXPECT_NE(R::QueryValueString(key, u"longer name", &text), 0);
    EXPECT_STREQ(text.GetString(), "text");
    EXPECT_EQ(R::QueryValueString(key, u"z", &text), 0);
    EXPECT_EQ(R::SetValueString(key, u"w", "no write access"), 0);
    R::CloseKey(key);

    // Copying across hives, recursively and not.
    ASSERT_EQ(R::CopyKey(R::eUSER_HIVE, top, R::eMACHINE_HIVE, u"Copy", 1), 1);
    KtUInt64 deep = 0;
    EXPECT_TRUE(KtURegistry::ReadLtInt64(KTU_HKEY_LOCAL_MACHINE, u"copy\\a\\deep", u"Y", &deep));
    EXPECT_EQ(deep, 2);
    ASSERT_EQ(R::CopyKey(R::eUSER_HIVE, top, R::eUSER_HIVE, u"Flat", 0), 1);
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, u"Flat"), 0);
    EXPECT_EQ(KtURegistry::CountValues(KTU_HKEY_CURRENT_USER, u"Flat"), 2);
    EXPECT_EQ(R::CopyKey(R::eUSER, top, R::eUSER_HIVE, u"Bad", 0), 0);

    // Deleting: not a key with subkeys unless recursive; ZapKey takes the tree.
    EXPECT_FALSE(KtURegistry::DeleteKey(KTU_HKEY_CURRENT_USER, top, false));
    EXPECT_TRUE(KtURegistry::DeleteValue(KTU_HKEY_CURRENT_USER, top, u"Z"));
    EXPECT_EQ(KtURegistry::CountValues(KTU_HKEY_CURRENT_USER, top), 1);
    EXPECT_EQ(R::ZapKey(R::eUSER_HIVE, top), 1);
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, u"Software"), 0);
    EXPECT_FALSE(
        KtURegistry::ReadLtInt32(KTU_HKEY_CURRENT_USER, u"Software\\Test\\B", u"x", &flag));
    // A sibling whose name only starts the same survives a recursive delete.
    ASSERT_TRUE(KtURegistry::WriteLtInt32(KTU_HKEY_CURRENT_USER, u"P\\Q", u"v", 1));
    ASSERT_TRUE(KtURegistry::WriteLtInt32(KTU_HKEY_CURRENT_USER, u"P\\Q2", u"v", 1));
    EXPECT_TRUE(KtURegistry::DeleteKey(KTU_HKEY_CURRENT_USER, u"P\\Q", true));
    EXPECT_TRUE(KtURegistry::ReadLtInt32(KTU_HKEY_CURRENT_USER, u"P\\Q2", u"v", &flag));
}

TEST_F(RegistryTest, OverlongPathsAreRefused) {
    std::u16string section(600, u'x');
    EXPECT_EQ(R::SetInt32(section.c_str(), u"v", 1, R::eUSER), 0);
    EXPECT_EQ(R::GetInt32(section.c_str(), u"v", 9, R::eUSER | R::eCREATE), 9);
    EXPECT_EQ(KtURegistry::CountKeys(KTU_HKEY_CURRENT_USER, u""), 0);
}

// Writes count values named "<prefix><i>" = i, and exits 0 when all succeeded.
[[noreturn]] void WriteBurst(const char* prefix, int count, int report_fd) {
    for (int i = 0; i < count; ++i) {
        std::string name = prefix + std::to_string(i);
        if (R::SetInt32("Burst", name.c_str(), i, R::eUSER) != 1) _exit(1);
        if (report_fd >= 0 && write(report_fd, &i, sizeof i) != sizeof i) _exit(2);
    }
    _exit(0);
}

TEST_F(RegistryTest, TwoProcessesWritingTheSameHiveLoseNothing) {
    constexpr int kCount = 1000;
    pid_t a = fork();
    if (a == 0) WriteBurst("a", kCount, -1);
    pid_t b = fork();
    if (b == 0) WriteBurst("b", kCount, -1);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    for (pid_t child : {a, b}) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    Restart();
    EXPECT_EQ(KtURegistry::CountValues(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"Burst").c_str()),
              2 * kCount);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(R::GetInt32("Burst", ("a" + std::to_string(i)).c_str(), -1, R::eUSER), i);
        EXPECT_EQ(R::GetInt32("Burst", ("b" + std::to_string(i)).c_str(), -1, R::eUSER), i);
    }
}

TEST_F(RegistryTest, ThreadsShareTheHivesOfTheirProcess) {
    constexpr int kThreads = 4, kEach = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                R::SetInt32("Threads", name.c_str(), i, R::eUSER);
                R::GetInt32("Threads", name.c_str(), -1, R::eUSER);
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(KtURegistry::CountValues(KTU_HKEY_CURRENT_USER, Under(kUserRoot, u"Threads").c_str()),
              kThreads * kEach);
}

TEST_F(RegistryTest, AKilledWriterLeavesEveryCommittedValue) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        WriteBurst("k", 1000000, fds[1]);
    }
    close(fds[1]);
    // Let it commit a few hundred values, then kill it mid-burst.
    int last = -1, i = 0;
    while (last < 300 && read(fds[0], &i, sizeof i) == sizeof i)
        last = i;
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    while (read(fds[0], &i, sizeof i) == sizeof i)
        last = i;
    close(fds[0]);
    ASSERT_GE(last, 300);

    Restart();
    int missing = 0;
    for (int k = 0; k <= last; ++k)
        missing += R::GetInt32("Burst", ("k" + std::to_string(k)).c_str(), -1, R::eUSER) != k;
    EXPECT_EQ(missing, 0);
    // The hive still takes writes.
    EXPECT_EQ(R::SetInt32("Burst", "after", 1, R::eUSER), 1);
}

} // namespace

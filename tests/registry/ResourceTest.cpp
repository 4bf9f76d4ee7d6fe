//===- ResourceTest.cpp - Name files, substitution, search directories ---===//
#include <ktutil/KtUResource.h>
#include <ktutil/KtUResourceParser.h>
#include <ktutil/KtUResourceSectionHandle.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysError.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "common/TestLog.h"

#include <gtest/gtest.h>

#include "../system/TestLocale.h"

#if KTU_HAS_ASAN
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

using ktutest::LogText;

using R = KtUResource;
namespace fs = std::filesystem;

std::u16string W(const std::string& s) {
    KtUWideStringBuffer b;
    b.SetFromUTF8String(s.c_str());
    return b.GetString() ? std::u16string(b.GetString()) : std::u16string();
}

std::string Text(const char* internal) {
    KtUWideStringBuffer out;
    if (!R::FindString(internal, &out)) return "<absent>";
    KtUStringBuffer utf8;
    out.ExtractUTF8String(&utf8);
    return utf8.IsNull() ? "" : utf8.GetString();
}

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ktu-resource-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        setenv("KTU_USER_HIVE", (m_dir + "/user.hive").c_str(), 1);
        setenv("KTU_MACHINE_HIVE", (m_dir + "/machine.hive").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir + "/home-data").c_str(), 1);
        setenv("KTU_MACHINE_DATA_DIR", (m_dir + "/machine-data").c_str(), 1);
        setenv("LANGUAGE", "de_DE.UTF-8:fr_FR", 1);
        KtUSysError::ClearLogBuffer();
        R::Initialise();
    }
    void TearDown() override {
        R::Terminate();
        unsetenv("LANGUAGE");
        fs::remove_all(m_dir);
    }
    std::string Write(const std::string& name, const std::string& content) {
        std::string path = m_dir + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    /// Reads content as a name file; the parser keeps the first error.
    int Read(const std::string& content, KtUResourceParser* parser, const char* prefix = nullptr) {
        return R::ReadNameFile(W(Write("t.name", content)).c_str(), parser, prefix);
    }
    std::string m_dir;
};

TEST_F(ResourceTest, EachSyntaxErrorStopsTheFileAtItsLine) {
    struct Case {
        const char* content;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"Kept=yes\n# note\n\nno equals here\nLost=no\n", 4, "Expected '=' after internal name."},
        {"$utf8\nKept=yes\n$mbcs\n$latin1\nLost=no\n", 4, "Unknown option."},
        {"Kept=yes\nEmpty=\n   \t \nLost=no\n", 3,
         "Expected user name. Zero-length string found instead."},
        {"Kept=yes\nLast=\n", 2, "Unexpected end of file. Expected user name or user name block."},
        {"Kept=yes\nBlock={\nfirst\nsecond\n", 4,
         "Unexpected end of file. Expected user name or user name block."},
        {"Kept=yes\nCaf\xC3\xA9=x\n", 2, "Internal name is not 7-bit ASCII."},
        {"$utf8\nKept=yes\nBad=\xFF\xFE\n", 3, "Failed to read user name."},
        {"$utf8\nKept=yes\nBad=\n \xC3\n", 4, "Failed to read user name."},
        {"$utf8\nKept=yes\nBad={\nok\n\xE2\x82\n}\n", 5,
         "Failed to read user name inside user name block."},
        {"Kept=yes\nOpen=\na ${\n", 3, "Malformed tag in user name."},
        {"Kept=yes\nUnclosed=a ${Name and more\n", 2, "Malformed tag in user name."},
        {"Kept=yes\nEmptyTag=a ${} b\n", 2, "Malformed tag in user name."},
        {"$utf8\nKept=yes\nWide=a ${N\xC3\xA9} b\n", 3, "Malformed tag in user name."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        R::Terminate();
        R::Initialise();
        KtUResourceParser parser;
        EXPECT_EQ(Read(c.content, &parser), 0);
        EXPECT_TRUE(parser.HasError());
        EXPECT_EQ(parser.GetErrorLineNumber(), c.line);
        EXPECT_STREQ(parser.GetErrorMessage(), c.message);
        EXPECT_EQ(Text("Kept"), "yes");
        EXPECT_FALSE(R::HasString("Lost"));
    }
}

TEST_F(ResourceTest, FileReadsAreReportedWithFileAndLine) {
    std::string path = Write("bad.name", "A=1\nB=2\nC\n");
    EXPECT_EQ(R::AddStringsFromFile(W(path).c_str(), nullptr), 0);
    EXPECT_NE(LogText().find("Syntax error in " + path +
                             " at line 3 : Expected '=' after internal name.\n"),
              std::string::npos);
    EXPECT_EQ(Text("B"), "2");
    EXPECT_EQ(R::AddStringsFromFile(W(m_dir + "/missing.name").c_str(), nullptr), 0);
}

TEST_F(ResourceTest, EntryFormsBlocksAndEncodings) {
    KtUResourceParser parser;
    ASSERT_EQ(Read("\xEF\xBB\xBF# written as UTF-8\n"
                   "Same=   text with  inner  space \t \r\n"
                   "Next=\n"
                   "   the next line \n"
                   "Block={\n"
                   "  first, indented\r\n"
                   "# not a comment here\n"
                   "\n"
                   "}\n"
                   "Accent=caf\xC3\xA9\n"
                   "Eq=a=b\n",
                   &parser),
              1)
        << parser.GetErrorMessage();
    EXPECT_TRUE(parser.IsUTF8());
    EXPECT_EQ(Text("Same"), "text with  inner  space");
    EXPECT_EQ(Text("Next"), "the next line");
    EXPECT_EQ(Text("Block"), "  first, indented\r\n# not a comment here\n\n");
    EXPECT_EQ(Text("Accent"), "caf\xC3\xA9");
    EXPECT_EQ(Text("Eq"), "a=b");

    // A byte-order mark followed by an entry does not switch the encoding:
    // the entry's name then carries the mark and is refused.
    R::Terminate();
    R::Initialise();
    KtUResourceParser marked;
    EXPECT_EQ(Read("\xEF\xBB\xBFName=x\n", &marked), 0);
    EXPECT_STREQ(marked.GetErrorMessage(), "Internal name is not 7-bit ASCII.");
}

TEST_F(ResourceTest, EmbeddedTableEndsAtItsToken) {
    std::string path = Write("embedded.txt", "A=1\n# c\nB=2\nEND NAMES  \nafter\n");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    KtUResourceParser parser;
    EXPECT_EQ(R::AddStringsUntilTerminator(file, "END NAMES", &parser), 1);
    char rest[16] = {};
    ASSERT_NE(std::fgets(rest, sizeof rest, file), nullptr);
    EXPECT_STREQ(rest, "after\n");
    std::fclose(file);
    EXPECT_EQ(Text("B"), "2");

    file = std::fopen(Write("short.txt", "A=1\nB=2\n").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    KtUResourceParser unterminated;
    EXPECT_EQ(R::AddStringsUntilTerminator(file, "END NAMES", &unterminated), 0);
    EXPECT_STREQ(unterminated.GetErrorMessage(),
                 "Unexpected end of file. Expected end of name table token.");
    EXPECT_EQ(unterminated.GetErrorLineNumber(), 2);
    std::fclose(file);
}

TEST_F(ResourceTest, SubstitutionWaitsForLaterNamesAndSkipsNosub) {
    KtUResourceParser parser;
    ASSERT_EQ(Read("Greeting=Hello ${Who}, ${Who}!\n"
                   "Literalnosub=Type ${Who} here\n"
                   "Who=World\n",
                   &parser, "app."),
              1);
    EXPECT_EQ(Text("app.Greeting"), "Hello ${Who}, ${Who}!"); // tags name unprefixed keys
    EXPECT_EQ(R::GetPendingCount(), 1);
    R::AddString("Who", u"you");
    EXPECT_EQ(Text("app.Greeting"), "Hello you, you!");
    EXPECT_EQ(Text("app.Literalnosub"), "Type ${Who} here");
    EXPECT_EQ(R::GetPendingCount(), 0);

    // A chain added in order resolves in one pass; replacing a name does not
    // change texts already substituted.
    R::AddString("Top", u"[${Middle}]");
    R::AddString("Middle", u"<${Bottom}>");
    EXPECT_EQ(R::GetPendingCount(), 2);
    R::AddString("Bottom", u"x");
    EXPECT_EQ(Text("Top"), "[<x>]");
    R::AddString("Bottom", u"y");
    EXPECT_EQ(Text("Top"), "[<x>]");

    // Without a parser a malformed tag leaves the text as given.
    R::AddString("Broken", u"a ${b");
    EXPECT_EQ(Text("Broken"), "a ${b");
    EXPECT_EQ(R::GetPendingCount(), 0);
    EXPECT_EQ(R::AddString("Caf\xC3\xA9", u"x"), 0);
}

TEST_F(ResourceTest, SubstitutionIsBoundedPerString) {
    R::AddString("Ping", u"(${Pong})");
    R::AddString("Pong", u"(${Ping})");
    R::AddString("Self", u"x${Self}");
    EXPECT_EQ(Text("Self"), "x${Self}");
    EXPECT_EQ(R::GetPendingCount(), 3);
    R::AddString("Other", u"o"); // another pass over the cycles
    EXPECT_EQ(Text("Self"), "x${Self}");
    EXPECT_NE(Text("Ping").find("${"), std::string::npos);
    EXPECT_NE(LogText().find("KtUResource: Substitution limit of 64 reached in \"Self\""),
              std::string::npos);

    // Exactly the bound succeeds; one more replacement leaves the text as given.
    R::AddString("T", u"t");
    std::u16string at_bound, over_bound;
    for (int i = 0; i < R::kMaxSubstitutions; ++i)
        at_bound += u"${T}";
    over_bound = at_bound + u"${T}";
    R::AddString("AtBound", at_bound.c_str());
    R::AddString("OverBound", over_bound.c_str());
    EXPECT_EQ(Text("AtBound"), std::string(R::kMaxSubstitutions, 't'));
    EXPECT_EQ(W(Text("OverBound")), over_bound);
}

TEST_F(ResourceTest, LookupsFallBack) {
    KtUWideStringBuffer out;
    EXPECT_EQ(R::FindString("No.Such", &out), 0);
    EXPECT_TRUE(out == u"No.Such");
    EXPECT_EQ(std::u16string(R::FindString("No.Such", u"fallback")), u"fallback");
    EXPECT_EQ(std::u16string(R::FindStringRequired("No.Such")), u"missing text");
    EXPECT_NE(LogText().find("KtUResource::FindStringRequired: Cannot find string \"No.Such\n"),
              std::string::npos);
    R::AddEnumString("Colour", 3, u"Blue");
    R::AddString("Blank", u"");
    EXPECT_EQ(Text("Colour:3"), "Blue");
    EXPECT_EQ(R::FindString("Blank", &out), 1);
    EXPECT_TRUE(out.IsEmpty());
}

TEST_F(ResourceTest, LanguageSubdirectoriesPreferTheUsersLanguage) {
    EXPECT_NE(LogText().find("KtUResource: Primary lang de-DE, Secondary lang fr-FR\n"),
              std::string::npos);
    // Installed languages come from the registry when the table starts.
    ASSERT_TRUE(KtUSysRegistry::SetWideString(u"", u"InstalledLanguages", u"it-IT; en-US",
                                              KtUSysRegistry::eUSER));
    R::Terminate();
    R::Initialise();
    Write("names/en-US/app.name", "Open=Open\nClose=Close\nSave=Save\nHelp=Help\n");
    Write("names/fr-FR/app.name", "Open=Ouvrir\nClose=Fermer\n");
    Write("names/de-DE/app.name", "Open=\xC3\x96"
                                  "ffnen\n");
    Write("names/de-DE/readme.txt", "not a name file\n");
    Write("names/it-IT/app.name", "Open=Apri\nHelp=Aiuto\n");
    Write("names/es-ES/app.name", "Extra=no\n");
    EXPECT_EQ(R::AddStrings(W(m_dir + "/names").c_str(), "m."), 4);
    EXPECT_EQ(Text("m.Open"), "\xC3\x96"
                              "ffnen");
    EXPECT_EQ(Text("m.Close"), "Fermer");
    EXPECT_EQ(Text("m.Help"), "Aiuto");
    EXPECT_EQ(Text("m.Save"), "Save");
    EXPECT_FALSE(R::HasString("m.Extra"));

    KtUStringBuffer primary, secondary;
    R::OverridePrimaryLang("it-IT");
    EXPECT_EQ(R::GetLocaleCodes(&primary, &secondary), 2);
    EXPECT_TRUE(primary == "it-IT");
    R::AddStrings(W(m_dir + "/names").c_str(), "m.");
    EXPECT_EQ(Text("m.Open"), "Apri");
}

TEST_F(ResourceTest, SearchDirectoriesComeFromTheDataFolders) {
    R::SetAppDir(u"/opt/first");
    R::SetAppDir(u"/opt/second");
    EXPECT_EQ(std::u16string(R::GetAppDir()), u"/opt/first");
    EXPECT_EQ(std::u16string(R::GetDataSearchDir(R::eUSER_DIR)), u"");

    R::SetProductLine(u"Acme");
    R::SetAppName(u"Viewer");
    R::SetInheritAppName(u"OldViewer");
    const std::string user = m_dir + "/home-data/Acme", machine = m_dir + "/machine-data/Acme";
    const std::map<R::SearchDir, std::string> expected = {
        {R::eUSER_DIR, user + "/Viewer"},
        {R::eLOCAL_DIR, machine + "/Viewer"},
        {R::eUSER_APP_SHARED_DIR, user},
        {R::eUSER_INHERIT_DIR, user + "/OldViewer"},
        {R::eLOCAL_INHERIT_DIR, machine + "/OldViewer"},
    };
    for (const auto& [slot, path] : expected)
        EXPECT_EQ(std::u16string(R::GetDataSearchDir(slot)), W(path)) << slot;
    EXPECT_TRUE(fs::is_directory(user + "/Viewer"));
    EXPECT_TRUE(fs::is_directory(machine + "/Viewer"));
    EXPECT_FALSE(fs::exists(user + "/OldViewer"));
    EXPECT_NE(LogText().find("KtUResource: Search Dir User App Shared = " + user + "\n"),
              std::string::npos);

    // A folder that cannot be made is reported.
    Write("blocker", "a file where a folder should go");
    setenv("KTU_MACHINE_DATA_DIR", (m_dir + "/blocker").c_str(), 1);
    R::SetAppName(u"Other");
    EXPECT_NE(LogText().find("Can't create directory \"" + m_dir +
                             "/blocker/Acme/Other\", check permissions on parent directory"),
              std::string::npos);
}

TEST_F(ResourceTest, DataFilesAreFoundInSlotOrder) {
    const std::string site = m_dir + "/site", install = m_dir + "/install";
    R::SetSiteDir(W(site).c_str());
    R::SetInstallDir(W(install).c_str());
    Write("site/shaders/a.glsl", "s");
    Write("install/shaders/a.glsl", "i");
    Write("install/shaders/b.glsl", "i");
    Write("install/shaders/de-DE/b.glsl", "i");
    Write("install/top.txt", "i");

    KtUWideStringBuffer out;
    ASSERT_EQ(R::FindDataFile(u"shaders", u"a.glsl", &out, R::eALL_DIRS), 1);
    EXPECT_TRUE(out == W(site + "/shaders/a.glsl").c_str());
    EXPECT_NE(LogText().find("KtUResource::FindDataFile found " + site + "/shaders/a.glsl\n"),
              std::string::npos);
    ASSERT_EQ(R::FindDataFile(u"shaders", u"a.glsl", &out, R::eALL_DIRS & ~(1u << R::eSITE_DIR)),
              1);
    EXPECT_TRUE(out == W(install + "/shaders/a.glsl").c_str());
    ASSERT_EQ(R::FindDataFile(u"", u"top.txt", &out, 1u << R::eINSTALL_DIR), 1);
    EXPECT_TRUE(out == W(install + "/top.txt").c_str());
    out.SetString(u"unchanged");
    EXPECT_EQ(R::FindDataFile(u"shaders", u"c.glsl", &out, R::eALL_DIRS), 0);
    EXPECT_TRUE(out == u"unchanged");
    // A path through a file is absent; a status that fails otherwise (a name
    // too long to look up) still names the file, for the caller to open.
    EXPECT_EQ(R::FindDataFile(u"top.txt", u"a.glsl", &out, 1u << R::eINSTALL_DIR), 0);
    const std::u16string long_name(300, u'n');
    ASSERT_EQ(R::FindDataFile(u"shaders", long_name.c_str(), &out, 1u << R::eINSTALL_DIR), 1);
    EXPECT_TRUE(out == (W(install + "/shaders/") + long_name).c_str());

    ASSERT_EQ(R::FindLocalisedDataFile(u"shaders", u"b.glsl", &out, R::eALL_DIRS), 1);
    EXPECT_TRUE(out == W(install + "/shaders/de-DE/b.glsl").c_str());
    ASSERT_EQ(R::FindLocalisedDataFile(u"shaders", u"a.glsl", &out, R::eALL_DIRS), 1);
    EXPECT_TRUE(out == W(site + "/shaders/a.glsl").c_str());
    ASSERT_EQ(R::FindLocalisedFile(W(install + "/shaders").c_str(), u"b.glsl", &out), 1);
    EXPECT_TRUE(out == W(install + "/shaders/de-DE/b.glsl").c_str());

    // Sections list each name once, from the first slot that has it.
    std::map<std::u16string, std::u16string> listed;
    KtUResourceSectionHandle* h = R::OpenSection(u"shaders", R::eALL_DIRS);
    for (; h->IsValid(); h->Next())
        EXPECT_TRUE(listed.emplace(h->GetNameW(), h->GetFullNameW()).second);
    R::CloseSection(h);
    EXPECT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[u"a.glsl"], W(site + "/shaders/a.glsl"));
    EXPECT_EQ(listed[u"de-DE"], W(install + "/shaders/de-DE"));
}

TEST_F(ResourceTest, LocaleIdentifiers) {
    EXPECT_EQ(R::LCIDFromLocaleCode("de_DE.UTF-8@euro"), 0x0407u);
    EXPECT_EQ(R::LCIDFromLocaleCode("C.UTF-8"), 0u);
    EXPECT_EQ(R::LCIDFromLanguageTag("JA-jp"), 0x0411u);
    EXPECT_EQ(R::LCIDFromLang("Fr"), 0x040Cu);
    KtUStringBuffer out;
    ASSERT_EQ(R::LocaleCodeFromLCID(0x0804, &out), 1);
    EXPECT_TRUE(out == "zh_CN");
    EXPECT_EQ(R::LanguageTagFromLCID(0x7777, &out), 0);
}

} // namespace

namespace {

TEST_F(ResourceTest, LocaleFactsFollowTheInstalledLocale) {
    KtUWideStringBuffer out;
    EXPECT_TRUE(R::LocaleInfo(0x0407, R::eLOCALE_LANGUAGE_TAG, &out));
    EXPECT_EQ(std::u16string(out.GetString()), u"de-DE");
    EXPECT_TRUE(R::LocaleInfo(0x0407, R::eLOCALE_CODE, &out));
    EXPECT_EQ(std::u16string(out.GetString()), u"de_DE");
    EXPECT_FALSE(R::LocaleInfo(0x7777, R::eLOCALE_LANGUAGE_TAG, &out));
    if (!ktu::test::BuildTestLocale("de_DE", "UTF-8"))
        GTEST_SKIP() << "localedef cannot build de_DE.UTF-8 here";
#if KTU_HAS_ASAN
    // glibc keeps the locale search paths it builds from LOCPATH for the life
    // of the process.
    __lsan::ScopedDisabler keep_locale_data;
#endif
    ASSERT_TRUE(R::LocaleInfo(0x0407, R::eLOCALE_DECIMAL_POINT, &out));
    EXPECT_EQ(std::u16string(out.GetString()), u",");
    ASSERT_TRUE(R::LocaleInfo(0x0407, R::eLOCALE_THOUSANDS_SEP, &out));
    EXPECT_EQ(std::u16string(out.GetString()), u".");
    ASSERT_TRUE(R::LocaleInfo(0x0407, R::eLOCALE_LIST_SEP, &out));
    EXPECT_EQ(std::u16string(out.GetString()), u";");
    // A locale this system lacks has no number symbols.
    EXPECT_FALSE(R::LocaleInfo(0x0411, R::eLOCALE_DECIMAL_POINT, &out));

    // The display categories follow the primary language; the character set
    // and numbers do not move.
    const std::string ctype = setlocale(LC_CTYPE, nullptr);
    const std::string collate = setlocale(LC_COLLATE, nullptr);
    const std::string numeric = setlocale(LC_NUMERIC, nullptr);
    ASSERT_TRUE(R::SetupLocale());
    EXPECT_EQ(std::string(setlocale(LC_TIME, nullptr)), "de_DE.UTF-8");
    EXPECT_EQ(std::string(setlocale(LC_CTYPE, nullptr)), ctype);
    EXPECT_EQ(std::string(setlocale(LC_NUMERIC, nullptr)), numeric);
    R::OverridePrimaryLang("ja-JP");
    EXPECT_FALSE(R::SetupLocale()); // not installed: nothing changes
    EXPECT_EQ(std::string(setlocale(LC_TIME, nullptr)), "de_DE.UTF-8");
    for (int category : {LC_COLLATE, LC_TIME, LC_MONETARY, LC_MESSAGES})
        setlocale(category, collate.c_str());
}

TEST_F(ResourceTest, ProductLanguageIsTheFirstInstalledOne) {
    KtUStringBuffer tag;
    ASSERT_TRUE(R::DetermineVeltracoreLocaleTag(&tag));
    EXPECT_STREQ(tag.GetString(), "en-US"); // installed: en-US only
    ASSERT_TRUE(KtUSysRegistry::SetWideString(u"", u"InstalledLanguages", u"fr-FR;en-US",
                                              KtUSysRegistry::eUSER));
    R::Terminate();
    R::Initialise();
    ASSERT_TRUE(R::DetermineVeltracoreLocaleTag(&tag));
    EXPECT_STREQ(tag.GetString(), "fr-FR"); // the secondary; the primary de-DE is not installed
    R::OverridePrimaryLang("FR-fr");
    ASSERT_TRUE(R::DetermineVeltracoreLocaleTag(&tag));
    EXPECT_STREQ(tag.GetString(), "FR-fr");
}

TEST_F(ResourceTest, ResourceLibraryOfTheUsersLanguageIsLoaded) {
    // An unloadable file in the preferred language is passed over.
    Write("install/de-DE/res.so", "not a library");
    fs::create_directories(m_dir + "/install/fr-FR");
    fs::copy_file(KTU_TEST_RESOURCE_LIBRARY, m_dir + "/install/fr-FR/res.so");
    EXPECT_EQ(R::LoadResDLL(u"res.so"), nullptr); // no install directory yet
    R::SetInstallDir(W(m_dir + "/install").c_str());
    KtUModuleHandle module = R::LoadResDLL(u"res.so");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(LogText().find("KtUResource::LoadResDLL loaded " + m_dir + "/install/fr-FR/res.so"),
              std::string::npos);
    EXPECT_EQ(R::LoadResDLL(u"missing.so"), nullptr);
}

} // namespace

//===- KtUResource.h - Localised strings and data search directories -----===//
//
// KtUResource maps internal names (7-bit ASCII, "KtOaNode") to the display
// strings of the user's language, read from ".name" files kept in one
// subdirectory per language, and knows the nine directories in which the
// product looks for its data files.
//
//   KtUResource::Initialise();
//   KtUResource::AddStrings(u"/opt/tool/names", nullptr);   // <dir>/<lang>/*.name
//   KtUResource::AddString("Greeting", u"Hello ${Who}");     // pending until Who exists
//   KtUResource::AddString("Who", u"World");                 // Greeting: "Hello World"
//   KtUWideStringBuffer text;
//   KtUResource::FindString("Greeting", &text);
//
//   KtUResource::SetProductLine(u"Acme");                    // derives the per-user and
//   KtUResource::SetAppName(u"Viewer");                      //   per-machine folders
//   KtUWideStringBuffer path;
//   if (KtUResource::FindDataFile(u"shaders", u"basic.glsl", &path, KtUResource::eALL_DIRS))
//       Load(path.GetString());
//   KtUResource::Terminate();
//
// A name file holds lines "Name=text", "Name=" followed by the text on the
// next line, or "Name={" followed by lines up to one starting with "}". A
// "${Other}" tag in a text stands for Other's text; names ending in "nosub"
// are stored as written. docs/resources.md has the file format, the
// directory mapping onto the XDG folders and the locale mapping.
//
// Lookups never fail: they fall back to the internal name, a fallback or
// "missing text".
//
// Thread safety: none; strings and directories are set up at start-up by
// one thread, and lookups must not race with additions.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTURESOURCE_H
#define KTUTIL_KTURESOURCE_H

#include <ktutil/KtUDefs.h>
#include <ktutil/KtUSysFile.h>

#include <cstdio>

class KtUComponent;
class KtUResourceParser;
class KtUResourceSectionHandle;
class KtUStringBuffer;
class KtUWideStringBuffer;

/// The process's localised string table and data search directories (static only).
class KTU_API KtUResource {
public:
    /// The nine data search directories, searched in this order.
    enum SearchDir : int {
        eUSER_DIR = 0,
        eLOCAL_DIR = 1,
        ePROJECT_DIR = 2,
        eSITE_DIR = 3,
        eAPP_DIR = 4,
        eINSTALL_DIR = 5,
        eUSER_APP_SHARED_DIR = 6,
        eUSER_INHERIT_DIR = 7,
        eLOCAL_INHERIT_DIR = 8,
        eNUM_SEARCH_DIRS = 9,
    };
    /// Mask of FindDataFile and OpenSection: every search directory.
    static constexpr unsigned int eALL_DIRS = (1u << eNUM_SEARCH_DIRS) - 1;
    /// Most tag replacements made in one string in one go; a string that
    /// needs more (a tag that brings itself back) keeps its tags.
    static constexpr int kMaxSubstitutions = 64;

    static void Initialise();
    static void Terminate();
    static int IsInitialised();
    static KtUComponent* GetComponent();

    // Adding strings. Each operation ends with one pass over the strings
    // still waiting for a tag's name.
    /// 1 when stored; 0 for a name that is not 7-bit ASCII.
    static int AddString(const char* internal, const KtUWChar* user);
    /// Stores user under "base:value".
    static int AddEnumString(const char* base, int value, const KtUWChar* user);
    /// Reads every ".name" file in the language subdirectories of dir; the
    /// prefix (may be null) goes in front of every internal name. Returns
    /// the number of files read without error.
    static int AddStrings(const KtUWChar* dir, const char* prefix);
    /// Reads one name file, logging its first syntax error; 1 without error.
    static int AddStringsFromFile(const KtUWChar* file, const char* prefix);
    /// Reads a name table embedded in an open file up to a line equal to
    /// terminator (null: to the end of the file); 1 without error.
    static int AddStringsUntilTerminator(std::FILE* file, const char* terminator,
                                         KtUResourceParser* parser);
    /// As AddStringsFromFile, leaving the error in parser for the caller.
    static int ReadNameFile(const KtUWChar* file, KtUResourceParser* parser, const char* prefix);

    // Lookup.
    static int HasString(const char* internal);
    /// 1 and the text (empty when none is stored); else 0 and the internal
    /// name itself (read as UTF-8).
    static int FindString(const char* internal, KtUWideStringBuffer* out);
    /// The stored text, else fallback; valid until the name is replaced.
    static const KtUWChar* FindString(const char* internal, const KtUWChar* fallback);
    /// The stored text, else "missing text" (and a log line).
    static const KtUWChar* FindStringRequired(const char* internal);
    /// The string resources of this platform are the table: as FindString.
    static int LoadResString(const char* internal, KtUWideStringBuffer* out);
    /// Internal names still holding a tag whose name is not in the table.
    static int GetPendingCount();

    // Search directories. Every assignment is logged.
    static void SetInstallDir(const KtUWChar* dir);
    static const KtUWChar* GetInstallDir();
    /// Ignored once the slot holds a non-empty path.
    static void SetAppDir(const KtUWChar* dir);
    static const KtUWChar* GetAppDir();
    static void SetProjectDir(const KtUWChar* dir);
    static const KtUWChar* GetProjectDir();
    static void SetSiteDir(const KtUWChar* dir);
    static const KtUWChar* GetSiteDir();
    /// The path of a slot; empty (never null) when unset.
    static const KtUWChar* GetDataSearchDir(SearchDir which);
    /// These three derive the User, Local, User App Shared, User Inherit
    /// and Local Inherit slots from the per-user and per-machine data folders.
    static void SetAppName(const KtUWChar* name);
    static void SetInheritAppName(const KtUWChar* name);
    static void SetProductLine(const KtUWChar* name);

    // Data files.
    /// The first existing dir/subdir/file over the slots in mask, in slot order.
    static int FindDataFile(const KtUWChar* subdir, const KtUWChar* file, KtUWideStringBuffer* out,
                            unsigned int mask);
    /// As FindDataFile below subdir/<language> for the preferred languages
    /// (primary, secondary, "en-US"), then below subdir itself.
    static int FindLocalisedDataFile(const KtUWChar* subdir, const KtUWChar* file,
                                     KtUWideStringBuffer* out, unsigned int mask);
    /// dir/<language>/file for the preferred languages, then dir/file.
    static int FindLocalisedFile(const KtUWChar* dir, const KtUWChar* file,
                                 KtUWideStringBuffer* out);

    // Sections: the entries of one subdirectory across the search directories.
    /// Lists the names in subdir of every slot in mask, each name once (the
    /// first slot wins); release with CloseSection.
    static KtUResourceSectionHandle* OpenSection(const KtUWChar* subdir, unsigned int mask);
    static void CloseSection(KtUResourceSectionHandle* handle);

    // Locale. Language tags are "de-DE"; locale codes are the system's
    // locale names "de_DE" (an encoding or modifier suffix is ignored).
    /// The primary and secondary language tags (either may be null); returns
    /// how many are set.
    static int GetLocaleCodes(KtUStringBuffer* primary, KtUStringBuffer* secondary);
    /// Replaces the primary language (null restores the environment's).
    static void OverridePrimaryLang(const char* tag);
    /// The locale identifier of a locale code, tag or two-letter language;
    /// 0 when unknown.
    static unsigned int LCIDFromLocaleCode(const char* code);
    static unsigned int LCIDFromLanguageTag(const char* tag);
    static unsigned int LCIDFromLang(const char* language);
    /// 1 and the code or tag of a known locale identifier; else 0.
    static int LocaleCodeFromLCID(unsigned int lcid, KtUStringBuffer* out);
    static int LanguageTagFromLCID(unsigned int lcid, KtUStringBuffer* out);

    /// What LocaleInfo reports about a locale.
    enum LocaleInfoType : int {
        eLOCALE_LANGUAGE_TAG = 0,  ///< "de-DE"
        eLOCALE_CODE = 1,          ///< the system's locale name, "de_DE"
        eLOCALE_DECIMAL_POINT = 2, ///< from the installed locale's data
        eLOCALE_THOUSANDS_SEP = 3, ///< likewise
        eLOCALE_LIST_SEP = 4,      ///< ";" where the decimal point is ",", else ","
    };
    /// 1 and the requested fact of a known locale identifier in out; 0 when
    /// the identifier is unknown or, for the number symbols, the locale is
    /// not installed on this system.
    static int LocaleInfo(unsigned int lcid, LocaleInfoType type, KtUWideStringBuffer* out);
    /// Makes the process's collation, dates, money and messages follow the
    /// primary language; the character set and number formats stay as they
    /// are. 0 (nothing changed) when that language's locale is not installed.
    static int SetupLocale();
    /// Loads the resource library name of the user's language: the first
    /// that loads of <install dir>/<tag>/name and <app dir>/<tag>/name, for
    /// the primary, secondary and "en-US" tags. Null when none loads.
    static KtUModuleHandle LoadResDLL(const KtUWChar* name);
    /// The language tag the product's own texts use: the primary language
    /// when it is installed, else the secondary when it is, else "en-US".
    static int DetermineVeltracoreLocaleTag(KtUStringBuffer* out);

private:
    KtUResource() = delete;
};

#endif // KTUTIL_KTURESOURCE_H

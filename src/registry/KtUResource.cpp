//===- KtUResource.cpp - String table, name files, search directories ----===//
#include <ktutil/KtUDict.h>
#include <ktutil/KtUError.h>
#include <ktutil/KtUResource.h>
#include <ktutil/KtUResourceParser.h>
#include <ktutil/KtUResourceSectionHandle.h>
#include <ktutil/KtUStrVoidPtrDict.h>
#include <ktutil/KtUString.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFile.h>
#include <ktutil/KtUSysFileHandle.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUSysString.h>
#include <ktutil/KtUVector.h>
#include <ktutil/KtUVoidPtrVector.h>
#include <ktutil/KtUWideStringBuffer.h>

#include "foundation/component.h"
#include "platform/file.h"
#include "platform/locale.h"
#include "system/file_paths.h"

#include <cstring>
#include <string>

namespace {

constexpr const char* kSearchDirNames[KtUResource::eNUM_SEARCH_DIRS] = {
    "User",    "Local",           "Project",      "Site",         "App",
    "Install", "User App Shared", "User Inherit", "Local Inherit"};
constexpr const char* kDefaultLang = "en-US";
constexpr const KtUWChar* kMissingText = u"missing text";

struct State {
    /// Internal name -> owned KtUWChar* (KtUMemory), null while being replaced.
    KtUStrVoidPtrDict table;
    /// Owned char* internal names whose strings still hold an unresolved tag.
    KtUVoidPtrVector pending;
    KtUWideStringBuffer dirs[KtUResource::eNUM_SEARCH_DIRS];
    KtUWideStringBuffer app_name;
    KtUWideStringBuffer inherit_name;
    KtUWideStringBuffer product_line;
    KtUStringBuffer primary;
    KtUStringBuffer secondary;
    KtUStringBuffer env_primary;
    /// Owned char* language tags from the registry, in the order listed.
    KtUVoidPtrVector installed;
    KTU_DECLARE_ALLOCATION_OPERATORS
};

State* g_state = nullptr;

char* DupNarrow(const char* text) {
    size_t n = std::strlen(text);
    char* copy = static_cast<char*>(KtUMemory::Malloc(static_cast<unsigned int>(n + 1)));
    std::memcpy(copy, text, n + 1);
    return copy;
}

KtUWChar* DupWide(const KtUWChar* text, int length) {
    auto* copy = static_cast<KtUWChar*>(
        KtUMemory::Malloc(static_cast<unsigned int>(length + 1) * sizeof(KtUWChar)));
    if (length) std::memcpy(copy, text, static_cast<size_t>(length) * sizeof(KtUWChar));
    copy[length] = 0;
    return copy;
}

void FreeAll(KtUVoidPtrVector* owned) {
    for (void* p : *owned)
        KtUMemory::Free(p);
    owned->Clear();
}

// ---- Language tags ---------------------------------------------------------

/// "de_DE.UTF-8@euro" -> "de-DE"; false for the C and POSIX locales.
bool TagFromLocaleName(const char* name, KtUStringBuffer* tag) {
    tag->SetEmptyString();
    if (!name || !*name) return false;
    size_t n = std::strcspn(name, ".@");
    if (n == 0) return false;
    KtUStringBuffer base;
    base.SetString(name, static_cast<int>(n));
    if (base == "C" || base == "POSIX") return false;
    base.Replace("_", "-", 1);
    tag->SetString(base);
    return true;
}

bool Env(const KtUWChar* name, KtUStringBuffer* value) {
    KtUWideStringBuffer wide;
    if (!KtUSysFile::GetEnvironmentVariableW(name, &wide) || wide.IsEmpty()) return false;
    wide.ExtractUTF8String(value);
    return true;
}

/// The user's preferred languages: $LANGUAGE's first two entries, else the
/// message locale ($LC_ALL, $LC_MESSAGES, $LANG).
void ReadPreferredLanguages(KtUStringBuffer* primary, KtUStringBuffer* secondary) {
    primary->SetEmptyString();
    secondary->SetEmptyString();
    KtUStringBuffer value;
    if (Env(u"LANGUAGE", &value)) {
        const char* p = value.GetString();
        while (*p && secondary->IsEmpty()) {
            size_t n = std::strcspn(p, ":");
            KtUStringBuffer one, tag;
            one.SetString(p, static_cast<int>(n));
            if (TagFromLocaleName(one.GetString(), &tag))
                (primary->IsEmpty() ? primary : secondary)->SetString(tag);
            p += n;
            if (*p) ++p;
        }
        if (!primary->IsEmpty()) return;
    }
    for (const KtUWChar* name : {u"LC_ALL", u"LC_MESSAGES", u"LANG"}) {
        if (Env(name, &value)) {
            TagFromLocaleName(value.GetString(), primary);
            return;
        }
    }
}

/// The registry's "InstalledLanguages": tags separated by ";", "," or spaces.
void ReadInstalledLanguages(KtUVoidPtrVector* installed) {
    FreeAll(installed);
    KtUWideStringBuffer wide;
    KtUSysRegistry::GetWideString(u"", u"InstalledLanguages", u"en-US", &wide,
                                  KtUSysRegistry::eUSER | KtUSysRegistry::eINHERIT);
    KtUStringBuffer list;
    wide.ExtractUTF8String(&list);
    const char* p = list.IsNull() ? "" : list.GetString();
    while (*p) {
        size_t n = std::strcspn(p, ";, \t");
        if (n) {
            KtUStringBuffer tag;
            tag.SetString(p, static_cast<int>(n));
            installed->PushBack(DupNarrow(tag.GetString()));
        }
        p += n;
        if (*p) ++p;
    }
}

/// Appends tag to order unless present (compared without regard to case).
void AddLanguage(KtUVoidPtrVector* order, const char* tag) {
    if (!tag || !*tag) return;
    for (void* p : *order)
        if (KtUSysString::Stricmp(static_cast<const char*>(p), tag) == 0) return;
    order->PushBack(const_cast<char*>(tag));
}

/// Preferred first: primary, secondary, the installed languages, "en-US".
void LanguageOrder(KtUVoidPtrVector* order, bool with_installed) {
    order->Clear();
    AddLanguage(order, g_state->primary.GetString());
    AddLanguage(order, g_state->secondary.GetString());
    if (with_installed)
        for (void* p : g_state->installed)
            AddLanguage(order, static_cast<const char*>(p));
    AddLanguage(order, kDefaultLang);
}

// ---- Substitution ------------------------------------------------------------

enum class Subst { kDone, kPending, kMalformed, kLimit };

/// Replaces "${name}" tags in text from the table, from the first tag each
/// time, at most KtUResource::kMaxSubstitutions times.
Subst Substitute(KtUWideStringBuffer* text, int* made) {
    *made = 0;
    for (;;) {
        const KtUWChar* s = text->GetString();
        if (!s) return Subst::kDone;
        const KtUWChar* open = text->Find(u"${", 0);
        if (!open) return Subst::kDone;
        const KtUWChar* name = open + 2;
        const KtUWChar* close = name;
        while (*close && *close != u'}')
            ++close;
        if (!*close || close == name) return Subst::kMalformed;
        KtUStringBuffer key;
        key.Reserve(static_cast<int>(close - name));
        for (const KtUWChar* c = name; c < close; ++c) {
            if (*c > 127) return Subst::kMalformed;
            key.Append(static_cast<char>(*c));
        }
        void* value = nullptr;
        if (!g_state->table.Find(key.GetString(), &value) || !value) return Subst::kPending;
        if (*made == KtUResource::kMaxSubstitutions) return Subst::kLimit;
        text->ReplaceSubString(static_cast<int>(open - s), static_cast<int>(close - s) + 1,
                               static_cast<const KtUWChar*>(value));
        ++*made;
    }
}

void Store(const char* key, const KtUWideStringBuffer& text) {
    void*& slot = g_state->table.Enter(key);
    KtUMemory::Free(slot);
    slot = DupWide(text.GetString() ? text.GetString() : u"", text.GetLength());
}

int PendingIndex(const char* key) {
    for (int i = 0; i < g_state->pending.Size(); ++i)
        if (std::strcmp(static_cast<const char*>(g_state->pending[i]), key) == 0) return i;
    return -1;
}

void SetPending(const char* key, bool pending) {
    int index = PendingIndex(key);
    if (pending && index < 0) g_state->pending.PushBack(DupNarrow(key));
    if (!pending && index >= 0) {
        KtUMemory::Free(g_state->pending[index]);
        g_state->pending.Erase(g_state->pending.Begin() + index);
    }
}

void LogLimit(const char* key) {
    KtUError::Log("KtUResource: Substitution limit of %d reached in \"%s\"\n",
                  KtUResource::kMaxSubstitutions, key);
}

int AddOne(const char* internal, const KtUWChar* user, const char* prefix,
           KtUResourceParser* parser) {
    if (!g_state || !internal) return 0;
    KtUStringBuffer key;
    if (prefix) key.Append(prefix);
    key.Append(internal);
    if (key.IsNull()) key.SetEmptyString();
    if (!KtUSysString::Is7BitAscii(key.GetString())) {
        if (parser) parser->SetError("Internal name is not 7-bit ASCII.");
        return 0;
    }
    // The old string goes first, so a tag naming the key itself waits.
    void*& slot = g_state->table.Enter(key.GetString());
    KtUMemory::Free(slot);
    slot = nullptr;

    KtUWideStringBuffer text(user ? user : u"");
    bool pending = false;
    if (!key.HasSuffix("nosub")) {
        int made = 0;
        switch (Substitute(&text, &made)) {
        case Subst::kDone:
            break;
        case Subst::kPending:
            pending = true;
            break;
        case Subst::kLimit:
            LogLimit(key.GetString());
            text.SetString(user ? user : u"");
            pending = true;
            break;
        case Subst::kMalformed:
            if (parser)
                parser->SetError("Malformed tag in user name.");
            else
                KtUError::Post(KtUSysError::eWARNING, KtUResource::GetComponent(),
                               "Malformed string: %s", key.GetString());
            text.SetString(user ? user : u"");
            break;
        }
    }
    Store(key.GetString(), text);
    SetPending(key.GetString(), pending);
    return 1;
}

/// One pass over the pending list, last entry first.
void ResolvePending() {
    if (!g_state) return;
    KtUWideStringBuffer text;
    for (int i = g_state->pending.Size() - 1; i >= 0; --i) {
        const char* key = static_cast<const char*>(g_state->pending[i]);
        void* value = nullptr;
        g_state->table.Find(key, &value);
        text.SetString(static_cast<const KtUWChar*>(value));
        int made = 0;
        Subst result = Substitute(&text, &made);
        if (result == Subst::kLimit) {
            LogLimit(key);
            continue;
        }
        if (result == Subst::kMalformed)
            KtUError::Post(KtUSysError::eWARNING, KtUResource::GetComponent(),
                           "Malformed string: %s", key);
        else if (made)
            Store(key, text);
        if (result != Subst::kPending) {
            KtUMemory::Free(g_state->pending[i]);
            g_state->pending.Erase(g_state->pending.Begin() + i);
        }
    }
}

// ---- Name files ----------------------------------------------------------------

bool IsSpace(char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

void TrimBoth(KtUStringBuffer* line) {
    const char* s = line->GetString();
    int end = line->GetLength();
    int start = 0;
    while (start < end && IsSpace(s[start]))
        ++start;
    while (end > start && IsSpace(s[end - 1]))
        --end;
    KtUStringBuffer trimmed;
    trimmed.SetString(s + start, end - start);
    line->Swap(trimmed);
}

constexpr const char* kUnexpectedEnd =
    "Unexpected end of file. Expected user name or user name block.";

/// Reads entries until the terminator line or the end of the file.
int ParseTable(std::FILE* file, const char* terminator, const char* prefix,
               KtUResourceParser* parser) {
    KtUStringBuffer line;
    KtUWideStringBuffer user;
    while (!parser->HasError() && parser->ReadLine(file, &line)) {
        int keep = parser->PreProcessLine(&line);
        if (terminator && KtUSysString::MultiStrcmp(line.GetString(), terminator) == 0) return 1;
        if (!keep) continue;
        const char* text = line.GetString();
        if (text[0] == '$') {
            parser->ParseOptionLine(text);
            continue;
        }
        const char* equals = std::strchr(text, '=');
        if (!equals) {
            parser->SetError("Expected '=' after internal name.");
            break;
        }
        KtUStringBuffer internal;
        internal.SetString(text, static_cast<int>(equals - text));
        const char* rest = equals + 1;
        if (!*rest) {
            // The user name is the whole next line.
            KtUStringBuffer next;
            if (!parser->ReadLine(file, &next)) {
                parser->SetError(kUnexpectedEnd);
                break;
            }
            TrimBoth(&next);
            if (next.IsEmpty()) {
                parser->SetError("Expected user name. Zero-length string found instead.");
                break;
            }
            if (!parser->ReadWideString(next.GetString(), &user)) {
                parser->SetError("Failed to read user name.");
                break;
            }
        } else if (line[line.GetLength() - 1] == '{') {
            // A block: lines as read, line ends included, up to one starting with "}".
            user.SetEmptyString();
            KtUStringBuffer next;
            KtUWideStringBuffer piece;
            bool closed = false;
            while (parser->ReadLine(file, &next)) {
                if (next[0] == '}') {
                    closed = true;
                    break;
                }
                if (!parser->ReadWideString(next.GetString(), &piece)) {
                    parser->SetError("Failed to read user name inside user name block.");
                    break;
                }
                user.Append(piece);
            }
            if (parser->HasError()) break;
            if (!closed) {
                parser->SetError(kUnexpectedEnd);
                break;
            }
        } else {
            while (IsSpace(*rest))
                ++rest;
            if (!parser->ReadWideString(rest, &user)) {
                parser->SetError("Failed to read user name.");
                break;
            }
        }
        AddOne(internal.GetString(), user.GetString() ? user.GetString() : u"", prefix, parser);
    }
    if (!parser->HasError() && terminator)
        parser->SetError("Unexpected end of file. Expected end of name table token.");
    return !parser->HasError();
}

int ReadFile(const KtUWChar* path, KtUResourceParser* parser, const char* prefix) {
    if (!g_state || !path || !parser) return 0;
    std::FILE* file = KtUSysFile::fopenW(path, u"rb");
    if (!file) return 0;
    int ok = ParseTable(file, nullptr, prefix, parser);
    std::fclose(file);
    ResolvePending();
    return ok;
}

int ReadAndReport(const KtUWChar* path, const char* prefix) {
    KtUResourceParser parser;
    int ok = ReadFile(path, &parser, prefix);
    if (parser.HasError())
        KtUError::Log(u"Syntax error in %s at line %d : %S\n", path, parser.GetErrorLineNumber(),
                      parser.GetErrorMessage());
    return ok;
}

// ---- Search directories ------------------------------------------------------

void AssignDir(int index, const KtUWChar* path, bool create) {
    KtUWideStringBuffer& slot = g_state->dirs[index];
    slot.SetString(path ? path : u"");
    if (slot.IsNull()) slot.SetEmptyString();
    KtUError::Log(u"KtUResource: Search Dir %S = %s\n", kSearchDirNames[index], slot.GetString());
    if (create && !slot.IsEmpty() && !KtUSysFile::CreateDirW(slot.GetString()))
        KtUError::Post(KtUSysError::eWARNING, KtUResource::GetComponent(),
                       u"Can't create directory \"%s\", check permissions on parent directory\n",
                       slot.GetString());
}

/// $XDG_DATA_HOME (~/.local/share) or $KTU_MACHINE_DATA_DIR (/var/lib).
void DataFolder(bool machine, KtUWideStringBuffer* out) {
    KtUWideStringBuffer value;
    if (machine) {
        if (KtUSysFile::GetEnvironmentVariableW(u"KTU_MACHINE_DATA_DIR", &value) &&
            KtUSysFile::IsAbsoluteW(value.GetString())) {
            out->SetString(value);
            return;
        }
        out->SetString(u"/var/lib");
        return;
    }
    // Relative values are invalid by the XDG rules and ignored.
    if (KtUSysFile::GetEnvironmentVariableW(u"XDG_DATA_HOME", &value) &&
        KtUSysFile::IsAbsoluteW(value.GetString())) {
        out->SetString(value);
        return;
    }
    KtUWideStringBuffer home;
    if (!KtUSysFile::GetEnvironmentVariableW(u"HOME", &home) || home.IsEmpty())
        home.SetString(u"/");
    KtUSysFile::PushPathW(home.GetString(), u".local/share", out);
}

/// folder[/product line][/name]; empty when name is wanted but empty.
void Derive(const KtUWideStringBuffer& folder, const KtUWideStringBuffer* name,
            KtUWideStringBuffer* out) {
    out->SetEmptyString();
    if (name && name->IsEmpty()) return;
    out->SetString(folder);
    if (!g_state->product_line.IsEmpty())
        KtUSysFile::PushPathW(out->GetString(), g_state->product_line.GetString(), out);
    if (name) KtUSysFile::PushPathW(out->GetString(), name->GetString(), out);
}

void DeriveSlots() {
    KtUWideStringBuffer user, machine, path;
    DataFolder(false, &user);
    DataFolder(true, &machine);
    struct {
        int slot;
        const KtUWideStringBuffer& folder;
        const KtUWideStringBuffer* name;
        bool create;
    } const plan[] = {
        {KtUResource::eUSER_DIR, user, &g_state->app_name, true},
        {KtUResource::eLOCAL_DIR, machine, &g_state->app_name, true},
        {KtUResource::eUSER_APP_SHARED_DIR, user, nullptr, true},
        {KtUResource::eUSER_INHERIT_DIR, user, &g_state->inherit_name, false},
        {KtUResource::eLOCAL_INHERIT_DIR, machine, &g_state->inherit_name, false},
    };
    for (const auto& p : plan) {
        Derive(p.folder, p.name, &path);
        // Without a product line the shared folder would be the whole data folder.
        if (p.slot == KtUResource::eUSER_APP_SHARED_DIR && g_state->product_line.IsEmpty())
            path.SetEmptyString();
        if (path.IsNull()) path.SetEmptyString();
        if (g_state->dirs[p.slot] != path.GetString())
            AssignDir(p.slot, path.GetString(), p.create);
    }
}

int JoinAndFind(const KtUWChar* dir, const KtUWChar* subdir, const KtUWChar* file,
                KtUWideStringBuffer* out) {
    KtUWideStringBuffer path(dir);
    if (subdir && *subdir) KtUSysFile::PushPathW(path.GetString(), subdir, &path);
    KtUSysFile::PushPathW(path.GetString(), file, &path);
    // A status that cannot be read for another reason than absence still
    // names the file: the caller's open will report what is wrong.
    std::string fs_path;
    if (!ktu::system::FsPath(path.GetString(), &fs_path) || ktu::sys::PathMissing(fs_path.c_str()))
        return 0;
    out->SetString(path);
    return 1;
}

// ---- Locale identifiers ------------------------------------------------------

struct Locale {
    unsigned int lcid;
    const char* tag;
};

constexpr Locale kLocales[] = {
    {0x0409, "en-US"}, {0x0809, "en-GB"}, {0x0C09, "en-AU"}, {0x1009, "en-CA"}, {0x0407, "de-DE"},
    {0x0C07, "de-AT"}, {0x0807, "de-CH"}, {0x040C, "fr-FR"}, {0x0C0C, "fr-CA"}, {0x080C, "fr-BE"},
    {0x0410, "it-IT"}, {0x0C0A, "es-ES"}, {0x080A, "es-MX"}, {0x0416, "pt-BR"}, {0x0816, "pt-PT"},
    {0x0413, "nl-NL"}, {0x0406, "da-DK"}, {0x041D, "sv-SE"}, {0x0414, "nb-NO"}, {0x040B, "fi-FI"},
    {0x0415, "pl-PL"}, {0x0405, "cs-CZ"}, {0x040E, "hu-HU"}, {0x0419, "ru-RU"}, {0x041F, "tr-TR"},
    {0x0408, "el-GR"}, {0x0411, "ja-JP"}, {0x0412, "ko-KR"}, {0x0804, "zh-CN"}, {0x0404, "zh-TW"},
    {0x041E, "th-TH"}, {0x040D, "he-IL"},
};

const Locale* ByLcid(unsigned int lcid) {
    for (const Locale& l : kLocales)
        if (l.lcid == lcid) return &l;
    return nullptr;
}

// ---- Component ------------------------------------------------------------------

void SetUp() {
    g_state = new State;
    for (KtUWideStringBuffer& dir : g_state->dirs)
        dir.SetEmptyString();
    ReadPreferredLanguages(&g_state->env_primary, &g_state->secondary);
    g_state->primary.SetString(g_state->env_primary);
    ReadInstalledLanguages(&g_state->installed);
    KtUError::Log("KtUResource: Primary lang %s, Secondary lang %s\n",
                  g_state->primary.IsEmpty() ? "(null)" : g_state->primary.GetString(),
                  g_state->secondary.IsEmpty() ? "(null)" : g_state->secondary.GetString());
}

bool TearDown() {
    for (auto it = g_state->table.Begin(); it.IsValid(); it.Next())
        KtUMemory::Free(it.GetValue());
    g_state->table.RemoveAll();
    FreeAll(&g_state->pending);
    FreeAll(&g_state->installed);
    delete g_state;
    g_state = nullptr;
    return true;
}

KtUComponent s_component;

constexpr ktu::detail::ComponentDecl kComponent{
    .component = s_component,
    .name = "KtUResource",
    .info = KTU_COMPONENT_INFO,
    .needs =
        ktu::detail::Needs<KtUError, KtUString, KtUDict, KtUVector, KtUSysFile, KtUSysRegistry>,
    .set_up = SetUp,
    .tear_down = TearDown,
};

} // namespace

KTU_COMPONENT_LIFECYCLE(KtUResource, kComponent)

KtUComponent* KtUResource::GetComponent() {
    return &s_component;
}

// ---- Adding --------------------------------------------------------------------

int KtUResource::AddString(const char* internal, const KtUWChar* user) {
    int ok = AddOne(internal, user, nullptr, nullptr);
    ResolvePending();
    return ok;
}

int KtUResource::AddEnumString(const char* base, int value, const KtUWChar* user) {
    if (!base) return 0;
    KtUStringBuffer key;
    key.Format("%s:%d", base, value);
    return AddString(key.GetString(), user);
}

int KtUResource::AddStrings(const KtUWChar* dir, const char* prefix) {
    if (!g_state || !dir || !*dir) return 0;
    // Least preferred first, so that a preferred language's strings replace
    // those of the languages read before it and the others fill the gaps.
    KtUVoidPtrVector order;
    LanguageOrder(&order, true);
    int files = 0;
    KtUWideStringBuffer lang_dir, wide_tag;
    for (int i = order.Size() - 1; i >= 0; --i) {
        wide_tag.SetFromUTF8String(static_cast<const char*>(order[i]));
        KtUSysFile::PushPathW(dir, wide_tag.GetString(), &lang_dir);
        KtUSysDirHandle* listing = KtUSysFile::OpenDirW(lang_dir.GetString(), u"*.name");
        for (; listing && listing->IsValid(); listing->Next()) {
            KtUSysFileHandle* entry = listing->OpenFile();
            if (!entry) continue;
            KtUWideStringBuffer path(entry->GetFullNameW());
            KtUSysFile::CloseFile(entry);
            files += ReadAndReport(path.GetString(), prefix);
        }
        KtUSysFile::CloseDir(listing);
    }
    return files;
}

int KtUResource::AddStringsFromFile(const KtUWChar* file, const char* prefix) {
    return ReadAndReport(file, prefix);
}

int KtUResource::AddStringsUntilTerminator(std::FILE* file, const char* terminator,
                                           KtUResourceParser* parser) {
    if (!g_state || !file) return 0;
    KtUResourceParser local;
    int ok = ParseTable(file, terminator, nullptr, parser ? parser : &local);
    ResolvePending();
    return ok;
}

int KtUResource::ReadNameFile(const KtUWChar* file, KtUResourceParser* parser, const char* prefix) {
    return ReadFile(file, parser, prefix);
}

// ---- Lookup ----------------------------------------------------------------------

int KtUResource::HasString(const char* internal) {
    return g_state && internal && g_state->table.Find(internal, nullptr);
}

int KtUResource::FindString(const char* internal, KtUWideStringBuffer* out) {
    if (!out) return 0;
    void* value = nullptr;
    if (g_state && internal && g_state->table.Find(internal, &value)) {
        out->SetString(value ? static_cast<const KtUWChar*>(value) : u"");
        if (out->IsNull()) out->SetEmptyString();
        return 1;
    }
    out->SetFromUTF8String(internal ? internal : "");
    return 0;
}

const KtUWChar* KtUResource::FindString(const char* internal, const KtUWChar* fallback) {
    void* value = nullptr;
    if (g_state && internal && g_state->table.Find(internal, &value) && value)
        return static_cast<const KtUWChar*>(value);
    return fallback;
}

const KtUWChar* KtUResource::FindStringRequired(const char* internal) {
    const KtUWChar* found = FindString(internal, static_cast<const KtUWChar*>(nullptr));
    if (found) return found;
    KtUError::Log("KtUResource::FindStringRequired: Cannot find string \"%s\n",
                  internal ? internal : "");
    return kMissingText;
}

int KtUResource::LoadResString(const char* internal, KtUWideStringBuffer* out) {
    return FindString(internal, out);
}

int KtUResource::GetPendingCount() {
    return g_state ? g_state->pending.Size() : 0;
}

// ---- Search directories ------------------------------------------------------------

void KtUResource::SetInstallDir(const KtUWChar* dir) {
    if (g_state) AssignDir(eINSTALL_DIR, dir, false);
}
const KtUWChar* KtUResource::GetInstallDir() {
    return GetDataSearchDir(eINSTALL_DIR);
}
void KtUResource::SetAppDir(const KtUWChar* dir) {
    if (g_state && g_state->dirs[eAPP_DIR].IsEmpty()) AssignDir(eAPP_DIR, dir, false);
}
const KtUWChar* KtUResource::GetAppDir() {
    return GetDataSearchDir(eAPP_DIR);
}
void KtUResource::SetProjectDir(const KtUWChar* dir) {
    if (g_state) AssignDir(ePROJECT_DIR, dir, false);
}
const KtUWChar* KtUResource::GetProjectDir() {
    return GetDataSearchDir(ePROJECT_DIR);
}
void KtUResource::SetSiteDir(const KtUWChar* dir) {
    if (g_state) AssignDir(eSITE_DIR, dir, false);
}
const KtUWChar* KtUResource::GetSiteDir() {
    return GetDataSearchDir(eSITE_DIR);
}

const KtUWChar* KtUResource::GetDataSearchDir(SearchDir which) {
    if (!g_state || which < 0 || which >= eNUM_SEARCH_DIRS) return u"";
    const KtUWChar* path = g_state->dirs[which].GetString();
    return path ? path : u"";
}

void KtUResource::SetAppName(const KtUWChar* name) {
    if (!g_state) return;
    g_state->app_name.SetString(name ? name : u"");
    DeriveSlots();
}
void KtUResource::SetInheritAppName(const KtUWChar* name) {
    if (!g_state) return;
    g_state->inherit_name.SetString(name ? name : u"");
    DeriveSlots();
}
void KtUResource::SetProductLine(const KtUWChar* name) {
    if (!g_state) return;
    g_state->product_line.SetString(name ? name : u"");
    DeriveSlots();
}

// ---- Data files ----------------------------------------------------------------------

int KtUResource::FindDataFile(const KtUWChar* subdir, const KtUWChar* file,
                              KtUWideStringBuffer* out, unsigned int mask) {
    if (!g_state || !file || !*file || !out) return 0;
    for (int i = 0; i < eNUM_SEARCH_DIRS; ++i) {
        if (!(mask & (1u << i)) || g_state->dirs[i].IsEmpty()) continue;
        if (JoinAndFind(g_state->dirs[i].GetString(), subdir, file, out)) {
            KtUError::Log(u"KtUResource::FindDataFile found %s\n", out->GetString());
            return 1;
        }
    }
    return 0;
}

int KtUResource::FindLocalisedDataFile(const KtUWChar* subdir, const KtUWChar* file,
                                       KtUWideStringBuffer* out, unsigned int mask) {
    if (!g_state) return 0;
    KtUVoidPtrVector order;
    LanguageOrder(&order, false);
    KtUWideStringBuffer localised, tag;
    for (void* lang : order) {
        tag.SetFromUTF8String(static_cast<const char*>(lang));
        if (subdir && *subdir)
            KtUSysFile::PushPathW(subdir, tag.GetString(), &localised);
        else
            localised.SetString(tag);
        if (FindDataFile(localised.GetString(), file, out, mask)) return 1;
    }
    return FindDataFile(subdir, file, out, mask);
}

int KtUResource::FindLocalisedFile(const KtUWChar* dir, const KtUWChar* file,
                                   KtUWideStringBuffer* out) {
    if (!g_state || !dir || !file || !*file || !out) return 0;
    KtUVoidPtrVector order;
    LanguageOrder(&order, false);
    KtUWideStringBuffer tag;
    for (void* lang : order) {
        tag.SetFromUTF8String(static_cast<const char*>(lang));
        if (JoinAndFind(dir, tag.GetString(), file, out)) return 1;
    }
    return JoinAndFind(dir, nullptr, file, out);
}

// ---- Sections ----------------------------------------------------------------------------

KtUResourceSectionHandle* KtUResource::OpenSection(const KtUWChar* subdir, unsigned int mask) {
    auto* handle = new KtUResourceSectionHandle;
    if (!handle || !g_state) return handle;
    KtUWideStringBuffer path;
    for (int i = 0; i < eNUM_SEARCH_DIRS; ++i) {
        if (!(mask & (1u << i)) || g_state->dirs[i].IsEmpty()) continue;
        path.SetString(g_state->dirs[i]);
        if (subdir && *subdir) KtUSysFile::PushPathW(path.GetString(), subdir, &path);
        KtUSysDirHandle* listing = KtUSysFile::OpenDirW(path.GetString(), nullptr);
        for (; listing && listing->IsValid(); listing->Next()) {
            KtUSysFileHandle* entry = listing->OpenFile();
            if (!entry) continue;
            handle->Add(entry->GetNameW(), entry->GetFullNameW());
            KtUSysFile::CloseFile(entry);
        }
        KtUSysFile::CloseDir(listing);
    }
    return handle;
}

void KtUResource::CloseSection(KtUResourceSectionHandle* handle) {
    delete handle;
}

// ---- Locale ----------------------------------------------------------------------------

int KtUResource::GetLocaleCodes(KtUStringBuffer* primary, KtUStringBuffer* secondary) {
    if (!g_state) return 0;
    if (primary) primary->SetString(g_state->primary);
    if (secondary) secondary->SetString(g_state->secondary);
    return !g_state->primary.IsEmpty() + !g_state->secondary.IsEmpty();
}

void KtUResource::OverridePrimaryLang(const char* tag) {
    if (!g_state) return;
    g_state->primary.SetString(tag && *tag ? tag : g_state->env_primary.GetString());
}

unsigned int KtUResource::LCIDFromLocaleCode(const char* code) {
    KtUStringBuffer tag;
    return TagFromLocaleName(code, &tag) ? LCIDFromLanguageTag(tag.GetString()) : 0;
}

unsigned int KtUResource::LCIDFromLanguageTag(const char* tag) {
    if (!tag) return 0;
    for (const Locale& l : kLocales)
        if (KtUSysString::Stricmp(l.tag, tag) == 0) return l.lcid;
    return 0;
}

unsigned int KtUResource::LCIDFromLang(const char* language) {
    if (!language || std::strlen(language) != 2) return 0;
    for (const Locale& l : kLocales)
        if (l.tag[0] == (language[0] | 0x20) && l.tag[1] == (language[1] | 0x20)) return l.lcid;
    return 0;
}

int KtUResource::LocaleCodeFromLCID(unsigned int lcid, KtUStringBuffer* out) {
    const Locale* l = ByLcid(lcid);
    if (!l || !out) return 0;
    out->SetString(l->tag);
    out->Replace("-", "_", 1);
    return 1;
}

int KtUResource::LanguageTagFromLCID(unsigned int lcid, KtUStringBuffer* out) {
    const Locale* l = ByLcid(lcid);
    if (!l || !out) return 0;
    out->SetString(l->tag);
    return 1;
}

// ---- Locale facts, the display locale, resource libraries --------------------------------

namespace {

// The installed system locale of a locale identifier, with its number
// symbols: "de_DE.UTF-8" first, then "de_DE.utf8", then the bare code.
struct InstalledLocale {
    std::string name;
    char decimal[8];
    char thousands[8];
};

bool FindInstalledLocale(unsigned int lcid, InstalledLocale* out) {
    KtUStringBuffer code;
    if (!KtUResource::LocaleCodeFromLCID(lcid, &code)) return false;
    for (const char* suffix : {".UTF-8", ".utf8", ""}) {
        out->name = std::string(code.GetString()) + suffix;
        if (ktu::sys::LocaleNumberSymbols(out->name.c_str(), out->decimal, sizeof out->decimal,
                                          out->thousands, sizeof out->thousands))
            return true;
    }
    return false;
}

bool IsInstalledLanguage(const char* tag) {
    if (!tag || !*tag) return false;
    for (void* p : g_state->installed)
        if (KtUSysString::Stricmp(static_cast<const char*>(p), tag) == 0) return true;
    return false;
}

} // namespace

int KtUResource::LocaleInfo(unsigned int lcid, LocaleInfoType type, KtUWideStringBuffer* out) {
    if (!out) return 0;
    KtUStringBuffer text;
    switch (type) {
    case eLOCALE_LANGUAGE_TAG:
        if (!LanguageTagFromLCID(lcid, &text)) return 0;
        break;
    case eLOCALE_CODE:
        if (!LocaleCodeFromLCID(lcid, &text)) return 0;
        break;
    case eLOCALE_DECIMAL_POINT:
    case eLOCALE_THOUSANDS_SEP:
    case eLOCALE_LIST_SEP: {
        InstalledLocale locale;
        if (!FindInstalledLocale(lcid, &locale)) return 0;
        if (type == eLOCALE_DECIMAL_POINT)
            text.SetString(locale.decimal);
        else if (type == eLOCALE_THOUSANDS_SEP)
            text.SetString(locale.thousands);
        else
            text.SetString(std::strcmp(locale.decimal, ",") == 0 ? ";" : ",");
        break;
    }
    default:
        return 0;
    }
    return out->SetFromUTF8String(text.GetString());
}

int KtUResource::SetupLocale() {
    if (!g_state) return 0;
    const unsigned int lcid = LCIDFromLanguageTag(g_state->primary.GetString());
    InstalledLocale locale;
    if (!FindInstalledLocale(lcid, &locale) || !ktu::sys::SetDisplayLocale(locale.name.c_str())) {
        KtUError::Log("KtUResource::SetupLocale: no installed locale for %s\n",
                      g_state->primary.IsEmpty() ? "(null)" : g_state->primary.GetString());
        return 0;
    }
    KtUError::Log("KtUResource::SetupLocale: %s\n", locale.name.c_str());
    return 1;
}

KtUModuleHandle KtUResource::LoadResDLL(const KtUWChar* name) {
    if (!g_state || !name || !*name) return nullptr;
    KtUVoidPtrVector order;
    LanguageOrder(&order, false);
    KtUWideStringBuffer tag, found;
    KtUStringBuffer path;
    for (void* lang : order) {
        tag.SetFromUTF8String(static_cast<const char*>(lang));
        for (SearchDir dir : {eINSTALL_DIR, eAPP_DIR}) {
            if (g_state->dirs[dir].IsEmpty() ||
                !JoinAndFind(g_state->dirs[dir].GetString(), tag.GetString(), name, &found))
                continue;
            found.ExtractUTF8String(&path);
            if (void* module = ktu::sys::LoadLibrary(path.GetString())) {
                KtUError::Log("KtUResource::LoadResDLL loaded %s\n", path.GetString());
                return static_cast<KtUModuleHandle>(module);
            }
        }
    }
    return nullptr;
}

int KtUResource::DetermineVeltracoreLocaleTag(KtUStringBuffer* out) {
    if (!out) return 0;
    const char* tag = kDefaultLang;
    if (g_state && IsInstalledLanguage(g_state->primary.GetString()))
        tag = g_state->primary.GetString();
    else if (g_state && IsInstalledLanguage(g_state->secondary.GetString()))
        tag = g_state->secondary.GetString();
    out->SetString(tag);
    return 1;
}

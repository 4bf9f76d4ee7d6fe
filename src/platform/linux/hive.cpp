//===- hive.cpp - The settings hives as SQLite databases -------------------===//
//
// Schema (docs/registry.md):
//   key(id, parent, name, folded, path, written): one row per key; the top
//     of the hive is id 0 and has no row. path is the folded names from the
//     top joined by "\", so opening a key is one indexed look-up.
//   value(key, folded, name, type, data): the values, keyed by key id and
//     folded name.
// Names are stored as UTF-8; folded names compare bytewise. Each hive is one
// connection per process, serialised by a mutex, in WAL mode with a busy
// timeout so that other processes' writers make it wait rather than fail.
//
//===----------------------------------------------------------------------===//
#include "platform/hive.h"

#include "platform/text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <locale.h>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace ktu::sys {
namespace {

constexpr int kBusyTimeoutMs = 30000;

struct Connection {
    std::mutex mutex;
    sqlite3* db = nullptr;
    std::string path;
    pid_t pid = 0;
    std::unordered_map<const char*, sqlite3_stmt*> statements;
    /// Opened as an unchanging snapshot (see Open); reopened when the file
    /// changes, which these record.
    bool snapshot = false;
    struct timespec modified = {};
    off_t size = 0;
    ino_t inode = 0;
};

Connection g_hives[2];

Connection& Of(Hive hive) {
    return g_hives[static_cast<int>(hive)];
}

// --- Names and paths ---------------------------------------------------------

locale_t FoldLocale() {
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", nullptr);
        return l;
    }();
    return loc;
}

std::vector<KtUWChar> FromUtf8(const char* s, int bytes) {
    std::vector<KtUWChar> out(static_cast<size_t>(bytes) + 1);
    std::string copy(s, static_cast<size_t>(bytes));
    out.resize(Utf8ToU16(copy.c_str(), out.data(), out.size()));
    return out;
}

// Appends the UTF-8 form of n units, folded (HiveFoldName) when fold is
// set; unpaired surrogates become U+FFFD.
void AppendUtf8(std::string* out, const KtUWChar* s, size_t n, bool fold) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c < 0x80) {
            if (fold && c >= 'A' && c <= 'Z') c += 32;
            out->push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        } else if (fold) {
            KtUWChar unit = static_cast<KtUWChar>(c);
            HiveFoldName(&unit, 1);
            c = unit;
        }
        if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        }
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Folded(const std::vector<KtUWChar>& name) {
    std::string out;
    AppendUtf8(&out, name.data(), name.size(), true);
    return out;
}

struct Part {
    std::string name;
    std::string folded;
};

// The folded path of key: its names (empties skipped) folded and joined by
// "\". False when it is too long.
bool FoldedPath(const KtUWChar* key, std::string* path) {
    path->clear();
    if (!key) return true;
    size_t total = U16Len(key);
    if (total > kHiveMaxPath) return false;
    for (size_t start = 0; start <= total;) {
        size_t end = start;
        while (end < total && key[end] != u'\\')
            ++end;
        if (end > start) {
            if (!path->empty()) path->push_back('\\');
            AppendUtf8(path, key + start, end - start, true);
        }
        start = end + 1;
    }
    return true;
}

// The names of key as spelt and folded, and its folded path.
bool SplitPath(const KtUWChar* key, std::vector<Part>* parts, std::string* path) {
    parts->clear();
    if (!FoldedPath(key, path)) return false;
    size_t total = key ? U16Len(key) : 0;
    for (size_t start = 0; start <= total && key;) {
        size_t end = start;
        while (end < total && key[end] != u'\\')
            ++end;
        if (end > start) {
            Part part;
            AppendUtf8(&part.name, key + start, end - start, false);
            AppendUtf8(&part.folded, key + start, end - start, true);
            parts->push_back(std::move(part));
        }
        start = end + 1;
    }
    return true;
}

bool FoldedName(const KtUWChar* name, std::string* spelt, std::string* folded) {
    size_t n = name ? U16Len(name) : 0;
    if (n > kHiveMaxName) return false;
    spelt->clear();
    folded->clear();
    AppendUtf8(spelt, name, n, false);
    AppendUtf8(folded, name, n, true);
    return true;
}

uint64_t NowFileTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 10000000u + static_cast<uint64_t>(ts.tv_nsec) / 100u +
           116444736000000000ull;
}

// --- The connection ----------------------------------------------------------

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS key(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, folded TEXT NOT NULL, path TEXT NOT NULL UNIQUE,"
    " written INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS key_child ON key(parent, folded);"
    "CREATE TABLE IF NOT EXISTS value(key INTEGER NOT NULL, folded TEXT NOT NULL,"
    " name TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(key, folded)) WITHOUT ROWID;";

void Close(Connection& c) {
    if (!c.db) return;
    // A connection inherited across fork belongs to the parent: it is
    // abandoned, never closed, so the parent's locks and files stay intact.
    if (c.pid == getpid()) {
        for (auto& entry : c.statements)
            sqlite3_finalize(entry.second);
        sqlite3_close_v2(c.db);
    }
    c.statements.clear();
    c.db = nullptr;
    c.path.clear();
}

bool MakeParents(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string dir = path.substr(0, slash);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Opens the hive's current file unless it is open already. With create, a
// missing file (and its folders) is made; without, a missing file is
// kNotFound.
bool SameFile(const Connection& c, const struct stat& st) {
    return c.inode == st.st_ino && c.size == st.st_size && c.modified.tv_sec == st.st_mtim.tv_sec &&
           c.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// Whether this process can take part in the hive's WAL locking: it needs
// to write the shared-memory file beside the hive, or find it there.
bool CanShareWal(const std::string& path) {
    std::string dir = path.substr(0, path.find_last_of('/') + 1);
    if (access((dir.empty() ? std::string(".") : dir).c_str(), W_OK) == 0) return true;
    return access((path + "-shm").c_str(), R_OK) == 0 && access((path + "-wal").c_str(), R_OK) == 0;
}

// Opens the hive's current file unless it is open already. With create, a
// missing file (and its folders) is made; without, a missing file is
// kNotFound.
HiveStatus Open(Hive hive, Connection& c, bool create) {
    char path[4096];
    if (!HivePath(hive, path, sizeof path)) return HiveStatus::kFailed;
    struct stat st;
    bool exists = stat(path, &st) == 0;
    if (c.db && c.pid == getpid() && c.path == path &&
        (!c.snapshot || (exists && SameFile(c, st) && !CanShareWal(path))))
        return HiveStatus::kOk;
    Close(c);
    if (!exists) {
        if (!create) return HiveStatus::kNotFound;
        if (!MakeParents(path)) return HiveStatus::kFailed;
    }
    // A reader that can neither write the hive's folder nor find its WAL
    // files (an ordinary user reading the machine hive) cannot join the
    // locking, so it reads the file as an unchanging snapshot, reopened
    // whenever the file changes or a writer's WAL files appear.
    bool snapshot = exists && !CanShareWal(path);
    sqlite3* db = nullptr;
    int rc;
    if (snapshot) {
        std::string uri = "file:";
        for (const char* p = path; *p; ++p) {
            if (*p == '%' || *p == '?' || *p == '#') {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(*p));
                uri += escaped;
            } else {
                uri += *p;
            }
        }
        uri += "?immutable=1";
        rc = sqlite3_open_v2(uri.c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    } else {
        rc = sqlite3_open_v2(
            path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return HiveStatus::kFailed;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // WAL lets readers go on while one process writes; NORMAL syncing keeps
    // every committed transaction across a crash of the process.
    if (!snapshot)
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                     nullptr);
    if (!sqlite3_db_readonly(db, "main") &&
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return HiveStatus::kFailed;
    }
    c.db = db;
    c.path = path;
    c.pid = getpid();
    c.snapshot = snapshot;
    if (snapshot) {
        c.modified = st.st_mtim;
        c.size = st.st_size;
        c.inode = st.st_ino;
    }
    return HiveStatus::kOk;
}

// A prepared statement of the connection, kept for the connection's life
// and reset when the holder goes.
class Statement {
public:
    Statement(Connection& c, const char* sql) {
        auto it = c.statements.find(sql);
        if (it != c.statements.end()) {
            m_stmt = it->second;
        } else if (sqlite3_prepare_v3(c.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) ==
                   SQLITE_OK) {
            c.statements.emplace(sql, m_stmt);
        } else {
            m_stmt = nullptr;
        }
    }
    ~Statement() {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        return *this;
    }
    Statement& Bind(int i, int64_t v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& BindBlob(int i, const void* data, uint32_t size) {
        sqlite3_bind_blob(m_stmt, i, size ? data : "", static_cast<int>(size), SQLITE_STATIC);
        return *this;
    }
    /// SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    int64_t Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    const void* Blob(int col) const { return sqlite3_column_blob(m_stmt, col); }
    int Bytes(int col) const { return sqlite3_column_bytes(m_stmt, col); }
    const char* Text(int col) const {
        return reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
    }

private:
    sqlite3_stmt* m_stmt;
};

// Holds the hive's mutex with its connection open.
class Session {
public:
    Session(Hive hive, bool create) : m_c(Of(hive)), m_lock(m_c.mutex) {
        m_status = Open(hive, m_c, create);
    }
    HiveStatus Status() const { return m_status; }
    Connection& C() { return m_c; }

private:
    Connection& m_c;
    std::lock_guard<std::mutex> m_lock;
    HiveStatus m_status;
};

// One write transaction; rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Connection& c) : m_c(c) {
        m_open = sqlite3_exec(c.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (m_open) sqlite3_exec(m_c.db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Ok() const { return m_open; }
    HiveStatus Commit() {
        if (!m_open) return HiveStatus::kFailed;
        if (sqlite3_exec(m_c.db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return HiveStatus::kFailed;
        m_open = false;
        return HiveStatus::kOk;
    }

private:
    Connection& m_c;
    bool m_open;
};

HiveStatus WriteFailure(Connection& c) {
    int code = sqlite3_errcode(c.db) & 0xFF;
    return code == SQLITE_READONLY ? HiveStatus::kReadOnly : HiveStatus::kFailed;
}

// The id of the key at a folded path (0 for the top), or -1.
int64_t FindKey(Connection& c, const std::string& path) {
    if (path.empty()) return 0;
    Statement s(c, "SELECT id FROM key WHERE path=?1");
    if (!s.Ok()) return -1;
    s.Bind(1, path);
    return s.Step() == SQLITE_ROW ? s.Int(0) : -1;
}

// Inside a transaction: the key's id, creating it and those above it.
int64_t MakeKey(Connection& c, const std::vector<Part>& parts, uint64_t now) {
    int64_t id = 0;
    std::string path;
    for (const Part& part : parts) {
        if (!path.empty()) path.push_back('\\');
        path.append(part.folded);
        int64_t found = FindKey(c, path);
        if (found < 0) {
            Statement s(c, "INSERT INTO key(parent, name, folded, path, written)"
                           " VALUES(?1, ?2, ?3, ?4, ?5)");
            s.Bind(1, id).Bind(2, part.name).Bind(3, part.folded).Bind(4, path);
            s.Bind(5, static_cast<int64_t>(now));
            if (s.Step() != SQLITE_DONE) return -1;
            found = sqlite3_last_insert_rowid(c.db);
        }
        id = found;
    }
    return id;
}

void Touch(Connection& c, int64_t id, uint64_t now) {
    if (id == 0) return;
    Statement s(c, "UPDATE key SET written=?2 WHERE id=?1");
    s.Bind(1, id).Bind(2, static_cast<int64_t>(now)).Step();
}

struct Value {
    std::string name;
    int64_t type;
    std::string data;
};

struct Subtree {
    std::vector<std::string> names; // from the copied key, original spelling
    std::vector<Value> values;
};

void CollectValues(Connection& c, int64_t id, std::vector<Value>* out) {
    Statement s(c, "SELECT name, type, data FROM value WHERE key=?1 ORDER BY folded");
    s.Bind(1, id);
    while (s.Step() == SQLITE_ROW) {
        const char* data = static_cast<const char*>(s.Blob(2));
        out->push_back(
            Value{s.Text(0), s.Int(1), std::string(data ? data : "", size_t(s.Bytes(2)))});
    }
}

void CollectTree(Connection& c, int64_t id, const std::vector<std::string>& names,
                 std::vector<Subtree>* out) {
    Subtree node{names, {}};
    CollectValues(c, id, &node.values);
    out->push_back(std::move(node));
    std::vector<std::pair<int64_t, std::string>> children;
    {
        Statement s(c, "SELECT id, name FROM key WHERE parent=?1 ORDER BY folded");
        s.Bind(1, id);
        while (s.Step() == SQLITE_ROW)
            children.emplace_back(s.Int(0), s.Text(1));
    }
    for (auto& child : children) {
        std::vector<std::string> sub = names;
        sub.push_back(child.second);
        CollectTree(c, child.first, sub, out);
    }
}

HiveStatus CopyName(const char* utf8, KtUWChar* name, uint32_t* cap) {
    std::vector<KtUWChar> wide = FromUtf8(utf8, static_cast<int>(std::strlen(utf8)));
    if (wide.size() + 1 > *cap) {
        *cap = static_cast<uint32_t>(wide.size());
        return HiveStatus::kMoreData;
    }
    std::memcpy(name, wide.data(), wide.size() * sizeof(KtUWChar));
    name[wide.size()] = 0;
    *cap = static_cast<uint32_t>(wide.size());
    return HiveStatus::kOk;
}

bool MayWrite(const struct stat& st) {
    uid_t uid = geteuid();
    if (uid == 0) return (st.st_mode & 0222) != 0;
    if (uid == st.st_uid) return (st.st_mode & 0200) != 0;
    if (getegid() == st.st_gid) return (st.st_mode & 0020) != 0;
    return (st.st_mode & 0002) != 0;
}

} // namespace

// --- The service ---------------------------------------------------------------

bool HivePath(Hive hive, char* out, size_t cap) {
    std::string path;
    const char* set = std::getenv(hive == Hive::kUser ? "KTU_USER_HIVE" : "KTU_MACHINE_HIVE");
    if (set && *set) {
        path = set;
    } else if (hive == Hive::kMachine) {
        path = "/var/lib/ktutil/machine.hive";
    } else {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (config && *config) {
            path = config;
        } else {
            const char* home = std::getenv("HOME");
            path = std::string(home && *home ? home : "/") + "/.config";
        }
        path += "/ktutil/user.hive";
    }
    if (path.size() + 1 > cap) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

bool HiveWritable(Hive hive) {
    char buffer[4096];
    if (!HivePath(hive, buffer, sizeof buffer)) return false;
    std::string path = buffer;
    struct stat st;
    while (stat(path.c_str(), &st) != 0) {
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return false;
        path.resize(slash == 0 ? 1 : slash);
    }
    return MayWrite(st);
}

void HiveFoldName(KtUWChar* name, size_t length) {
    locale_t loc = FoldLocale();
    for (size_t i = 0; i < length; ++i) {
        KtUWChar u = name[i];
        if (u >= u'A' && u <= u'Z') {
            name[i] = static_cast<KtUWChar>(u + 32);
        } else if (u >= 0x80 && (u < 0xD800 || u > 0xDFFF) && loc) {
            wint_t lower = towlower_l(static_cast<wint_t>(u), loc);
            if (lower <= 0xFFFF && (lower < 0xD800 || lower > 0xDFFF))
                name[i] = static_cast<KtUWChar>(lower);
        }
    }
}

bool HiveKeyExists(Hive hive, const KtUWChar* key) {
    std::vector<Part> parts;
    std::string path;
    if (!SplitPath(key, &parts, &path)) return false;
    Session session(hive, false);
    if (session.Status() != HiveStatus::kOk) return false;
    return FindKey(session.C(), path) >= 0;
}

HiveStatus HiveCreateKey(Hive hive, const KtUWChar* key) {
    std::vector<Part> parts;
    std::string path;
    if (!SplitPath(key, &parts, &path)) return HiveStatus::kTooLong;
    Session session(hive, true);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    if (FindKey(c, path) >= 0) return HiveStatus::kOk;
    Transaction t(c);
    if (!t.Ok()) return WriteFailure(c);
    if (MakeKey(c, parts, NowFileTime()) < 0) return WriteFailure(c);
    return t.Commit();
}

HiveStatus HiveQueryValue(Hive hive, const KtUWChar* key, const KtUWChar* name, uint32_t* type,
                          void* data, uint32_t* size) {
    std::string path, folded;
    size_t n = name ? U16Len(name) : 0;
    if (!FoldedPath(key, &path) || n > kHiveMaxName) return HiveStatus::kNotFound;
    AppendUtf8(&folded, name, n, true);
    Session session(hive, false);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    // One statement for the usual case of a key below the top.
    Statement s(c, path.empty() ? "SELECT type, data FROM value WHERE key=0 AND folded=?2"
                                : "SELECT v.type, v.data FROM key k JOIN value v ON v.key=k.id"
                                  " WHERE k.path=?1 AND v.folded=?2");
    if (!s.Ok()) return HiveStatus::kFailed;
    if (!path.empty()) s.Bind(1, path);
    s.Bind(2, folded);
    int rc = s.Step();
    if (rc == SQLITE_DONE) return HiveStatus::kNotFound;
    if (rc != SQLITE_ROW) return HiveStatus::kFailed;
    uint32_t bytes = static_cast<uint32_t>(s.Bytes(1));
    if (type) *type = static_cast<uint32_t>(s.Int(0));
    if (!data) {
        if (size) *size = bytes;
        return HiveStatus::kOk;
    }
    if (!size || *size < bytes) {
        if (size) *size = bytes;
        return HiveStatus::kMoreData;
    }
    if (bytes) std::memcpy(data, s.Blob(1), bytes);
    *size = bytes;
    return HiveStatus::kOk;
}

HiveStatus HiveSetValue(Hive hive, const KtUWChar* key, const KtUWChar* name, uint32_t type,
                        const void* data, uint32_t size, bool create_key) {
    std::vector<Part> parts;
    std::string path, spelt, folded;
    if (!SplitPath(key, &parts, &path) || !FoldedName(name, &spelt, &folded))
        return HiveStatus::kTooLong;
    Session session(hive, create_key);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    Transaction t(c);
    if (!t.Ok()) return WriteFailure(c);
    uint64_t now = NowFileTime();
    int64_t id = create_key ? MakeKey(c, parts, now) : FindKey(c, path);
    if (id < 0) return create_key ? WriteFailure(c) : HiveStatus::kNotFound;
    Statement s(c, "INSERT INTO value(key, folded, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                   " ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type,"
                   " data=excluded.data");
    s.Bind(1, id).Bind(2, folded).Bind(3, spelt).Bind(4, int64_t{type}).BindBlob(5, data, size);
    if (s.Step() != SQLITE_DONE) return WriteFailure(c);
    Touch(c, id, now);
    return t.Commit();
}

HiveStatus HiveDeleteValue(Hive hive, const KtUWChar* key, const KtUWChar* name) {
    std::vector<Part> parts;
    std::string path, spelt, folded;
    if (!SplitPath(key, &parts, &path) || !FoldedName(name, &spelt, &folded))
        return HiveStatus::kNotFound;
    Session session(hive, false);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    Transaction t(c);
    if (!t.Ok()) return WriteFailure(c);
    int64_t id = FindKey(c, path);
    if (id < 0) return HiveStatus::kNotFound;
    Statement s(c, "DELETE FROM value WHERE key=?1 AND folded=?2");
    s.Bind(1, id).Bind(2, folded);
    if (s.Step() != SQLITE_DONE) return WriteFailure(c);
    if (sqlite3_changes(c.db) == 0) return HiveStatus::kNotFound;
    Touch(c, id, NowFileTime());
    return t.Commit();
}

// The id of an existing key, for the operations that only read it: kOk, or
// the status to return.
static HiveStatus FindExistingKey(Session& session, const KtUWChar* key, int64_t* id) {
    std::vector<Part> parts;
    std::string path;
    if (!SplitPath(key, &parts, &path)) return HiveStatus::kNotFound;
    if (session.Status() != HiveStatus::kOk) return session.Status();
    *id = FindKey(session.C(), path);
    return *id < 0 ? HiveStatus::kNotFound : HiveStatus::kOk;
}

HiveStatus HiveDeleteKey(Hive hive, const KtUWChar* key, bool recursive) {
    std::vector<Part> parts;
    std::string path;
    if (!SplitPath(key, &parts, &path)) return HiveStatus::kNotFound;
    if (parts.empty()) return HiveStatus::kFailed;
    Session session(hive, false);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    Transaction t(c);
    if (!t.Ok()) return WriteFailure(c);
    int64_t id = FindKey(c, path);
    if (id < 0) return HiveStatus::kNotFound;
    int64_t parent = 0;
    {
        Statement s(c, "SELECT parent FROM key WHERE id=?1");
        s.Bind(1, id);
        if (s.Step() == SQLITE_ROW) parent = s.Int(0);
    }
    if (!recursive) {
        Statement s(c, "SELECT 1 FROM key WHERE parent=?1 LIMIT 1");
        s.Bind(1, id);
        if (s.Step() == SQLITE_ROW) return HiveStatus::kNotEmpty;
    }
    // The keys below path are those whose path lies between path + "\" and
    // path + "]" ("]" follows "\" in byte order).
    std::string low = path + "\\", high = path + "]";
    {
        Statement s(c, "DELETE FROM value WHERE key IN (SELECT id FROM key WHERE path=?1"
                       " OR (path>?2 AND path<?3))");
        s.Bind(1, path).Bind(2, low).Bind(3, high);
        if (s.Step() != SQLITE_DONE) return WriteFailure(c);
    }
    {
        Statement s(c, "DELETE FROM key WHERE path=?1 OR (path>?2 AND path<?3)");
        s.Bind(1, path).Bind(2, low).Bind(3, high);
        if (s.Step() != SQLITE_DONE) return WriteFailure(c);
    }
    Touch(c, parent, NowFileTime());
    return t.Commit();
}

HiveStatus HiveEnumKey(Hive hive, const KtUWChar* key, uint32_t index, KtUWChar* name,
                       uint32_t* cap, uint64_t* written) {
    Session session(hive, false);
    int64_t id;
    if (HiveStatus status = FindExistingKey(session, key, &id); status != HiveStatus::kOk)
        return status;
    Connection& c = session.C();
    Statement s(c, "SELECT name, written FROM key WHERE parent=?1 ORDER BY folded"
                   " LIMIT 1 OFFSET ?2");
    s.Bind(1, id).Bind(2, int64_t{index});
    int rc = s.Step();
    if (rc == SQLITE_DONE) return HiveStatus::kNotFound;
    if (rc != SQLITE_ROW) return HiveStatus::kFailed;
    if (written) *written = static_cast<uint64_t>(s.Int(1));
    return CopyName(s.Text(0), name, cap);
}

HiveStatus HiveEnumValue(Hive hive, const KtUWChar* key, uint32_t index, KtUWChar* name,
                         uint32_t* cap, uint32_t* type) {
    Session session(hive, false);
    int64_t id;
    if (HiveStatus status = FindExistingKey(session, key, &id); status != HiveStatus::kOk)
        return status;
    Connection& c = session.C();
    Statement s(c, "SELECT name, type FROM value WHERE key=?1 ORDER BY folded LIMIT 1 OFFSET ?2");
    s.Bind(1, id).Bind(2, int64_t{index});
    int rc = s.Step();
    if (rc == SQLITE_DONE) return HiveStatus::kNotFound;
    if (rc != SQLITE_ROW) return HiveStatus::kFailed;
    if (type) *type = static_cast<uint32_t>(s.Int(1));
    return CopyName(s.Text(0), name, cap);
}

HiveStatus HiveListNames(Hive hive, const KtUWChar* key, bool subkeys,
                         void (*fn)(void* context, const KtUWChar* name), void* context) {
    std::vector<Part> parts;
    std::string path;
    if (!SplitPath(key, &parts, &path)) return HiveStatus::kNotFound;
    std::vector<std::vector<KtUWChar>> names;
    {
        Session session(hive, false);
        if (session.Status() != HiveStatus::kOk) return session.Status();
        Connection& c = session.C();
        int64_t id = FindKey(c, path);
        if (id < 0) return HiveStatus::kNotFound;
        Statement s(c, subkeys ? "SELECT name FROM key WHERE parent=?1 ORDER BY folded"
                               : "SELECT name FROM value WHERE key=?1 ORDER BY folded");
        s.Bind(1, id);
        int rc;
        while ((rc = s.Step()) == SQLITE_ROW) {
            const char* text = s.Text(0);
            std::vector<KtUWChar> wide = FromUtf8(text, static_cast<int>(std::strlen(text)));
            wide.push_back(0);
            names.push_back(std::move(wide));
        }
        if (rc != SQLITE_DONE) return HiveStatus::kFailed;
    }
    // Called with the hive released, so fn may use the hives itself.
    for (auto& n : names)
        fn(context, n.data());
    return HiveStatus::kOk;
}

HiveStatus HiveQueryKey(Hive hive, const KtUWChar* key, HiveKeyInfo* out) {
    Session session(hive, false);
    int64_t id;
    if (HiveStatus status = FindExistingKey(session, key, &id); status != HiveStatus::kOk)
        return status;
    Connection& c = session.C();
    *out = HiveKeyInfo{};
    // Lengths in UTF-16 units: the names are converted to count them.
    {
        Statement s(c, "SELECT name FROM key WHERE parent=?1");
        s.Bind(1, id);
        while (s.Step() == SQLITE_ROW) {
            ++out->subkeys;
            uint32_t n = static_cast<uint32_t>(FromUtf8(s.Text(0), s.Bytes(0)).size());
            if (n > out->longest_subkey) out->longest_subkey = n;
        }
    }
    {
        Statement s(c, "SELECT name, length(data) FROM value WHERE key=?1");
        s.Bind(1, id);
        while (s.Step() == SQLITE_ROW) {
            ++out->values;
            uint32_t n = static_cast<uint32_t>(FromUtf8(s.Text(0), s.Bytes(0)).size());
            if (n > out->longest_value_name) out->longest_value_name = n;
            if (uint32_t(s.Int(1)) > out->longest_data) out->longest_data = uint32_t(s.Int(1));
        }
    }
    if (id != 0) {
        Statement s(c, "SELECT written FROM key WHERE id=?1");
        s.Bind(1, id);
        if (s.Step() == SQLITE_ROW) out->written = static_cast<uint64_t>(s.Int(0));
    }
    return HiveStatus::kOk;
}

HiveStatus HiveCopyKey(Hive from, const KtUWChar* from_key, Hive to, const KtUWChar* to_key,
                       bool recursive) {
    std::vector<Part> parts, to_parts;
    std::string path, to_path;
    if (!SplitPath(from_key, &parts, &path)) return HiveStatus::kNotFound;
    if (!SplitPath(to_key, &to_parts, &to_path)) return HiveStatus::kTooLong;
    // Read the whole source first: it may lie in the other hive, or below
    // the destination.
    std::vector<Subtree> tree;
    {
        Session session(from, false);
        if (session.Status() != HiveStatus::kOk) return session.Status();
        Connection& c = session.C();
        int64_t id = FindKey(c, path);
        if (id < 0) return HiveStatus::kNotFound;
        if (recursive) {
            CollectTree(c, id, {}, &tree);
        } else {
            tree.push_back(Subtree{});
            CollectValues(c, id, &tree.back().values);
        }
    }
    Session session(to, true);
    if (session.Status() != HiveStatus::kOk) return session.Status();
    Connection& c = session.C();
    Transaction t(c);
    if (!t.Ok()) return WriteFailure(c);
    uint64_t now = NowFileTime();
    for (const Subtree& node : tree) {
        std::vector<Part> target = to_parts;
        for (const std::string& name : node.names) {
            target.push_back(Part{name, Folded(FromUtf8(name.data(), int(name.size())))});
        }
        int64_t id = MakeKey(c, target, now);
        if (id < 0) return WriteFailure(c);
        for (const Value& v : node.values) {
            std::string folded = Folded(FromUtf8(v.name.data(), int(v.name.size())));
            Statement s(c, "INSERT INTO value(key, folded, name, type, data)"
                           " VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key, folded) DO UPDATE"
                           " SET type=excluded.type, data=excluded.data");
            s.Bind(1, id).Bind(2, folded).Bind(3, v.name);
            s.Bind(4, v.type).BindBlob(5, v.data.data(), static_cast<uint32_t>(v.data.size()));
            if (s.Step() != SQLITE_DONE) return WriteFailure(c);
        }
        Touch(c, id, now);
    }
    return t.Commit();
}

void HiveCloseAll() {
    for (Connection& c : g_hives) {
        std::lock_guard<std::mutex> lock(c.mutex);
        Close(c);
    }
}

} // namespace ktu::sys

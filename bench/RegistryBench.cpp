//===- RegistryBench.cpp - KtUSysRegistry beside a bare SQLite table ------===//
//
// One batch per iteration: 100,000 GetInt32 reads of present values (1,000
// names in turn) and 10,000 SetInt32 writes that each change a value,
// against the same reads and writes on a plain two-column SQLite table with
// prepared statements, in WAL mode with the same syncing. The bare table is
// the lower bound for a hive kept in SQLite. Both use files in $TMPDIR.
//
//===----------------------------------------------------------------------===//
#include <ktutil/KtUSysRegistry.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

constexpr int kNames = 1000;
constexpr int kReads = 100000;
constexpr int kWrites = 10000;

std::string Scratch(const char* leaf) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/ktu-registry-bench";
    std::filesystem::create_directories(dir);
    std::string path = dir + "/" + leaf;
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix);
    return path;
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < kNames; ++i)
        names.push_back("value" + std::to_string(i));
    return names;
}

// The registry on its own hive files.
struct Registry {
    Registry() {
        setenv("KTU_USER_HIVE", Scratch("user.hive").c_str(), 1);
        setenv("KTU_MACHINE_HIVE", Scratch("machine.hive").c_str(), 1);
        KtUSysRegistry::Initialise();
        for (int i = 0; i < kNames; ++i)
            KtUSysRegistry::SetInt32("Bench", names[size_t(i)].c_str(), i, KtUSysRegistry::eUSER);
    }
    ~Registry() { KtUSysRegistry::Terminate(); }
    std::vector<std::string> names = Names();
};

// A bare table with prepared statements.
struct Bare {
    Bare() {
        sqlite3_open(Scratch("bare.db").c_str(), &db);
        sqlite3_busy_timeout(db, 30000);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE t(name TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;",
                     nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, "SELECT value FROM t WHERE name=?1", -1, &get, nullptr);
        sqlite3_prepare_v2(db,
                           "INSERT INTO t(name, value) VALUES(?1, ?2) ON CONFLICT(name)"
                           " DO UPDATE SET value=excluded.value",
                           -1, &set, nullptr);
        for (int i = 0; i < kNames; ++i)
            Set(names[size_t(i)], i);
    }
    ~Bare() {
        sqlite3_finalize(get);
        sqlite3_finalize(set);
        sqlite3_close(db);
    }
    int Get(const std::string& name) {
        sqlite3_bind_text(get, 1, name.data(), int(name.size()), SQLITE_STATIC);
        int v = sqlite3_step(get) == SQLITE_ROW ? sqlite3_column_int(get, 0) : -1;
        sqlite3_reset(get);
        return v;
    }
    bool Set(const std::string& name, int value) {
        sqlite3_bind_text(set, 1, name.data(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_int(set, 2, value);
        bool ok = sqlite3_step(set) == SQLITE_DONE;
        sqlite3_reset(set);
        return ok;
    }
    sqlite3* db = nullptr;
    sqlite3_stmt* get = nullptr;
    sqlite3_stmt* set = nullptr;
    std::vector<std::string> names = Names();
};

void Reads_KtU(benchmark::State& state) {
    Registry r;
    long sum = 0;
    for (auto _ : state)
        for (int i = 0; i < kReads; ++i)
            sum += KtUSysRegistry::GetInt32("Bench", r.names[size_t(i % kNames)].c_str(), -1,
                                            KtUSysRegistry::eUSER);
    if (sum != long(state.iterations()) * (kReads / kNames) * (kNames * (kNames - 1) / 2))
        state.SkipWithError("a read missed");
}

void Reads_SQLite(benchmark::State& state) {
    Bare b;
    long sum = 0;
    for (auto _ : state)
        for (int i = 0; i < kReads; ++i)
            sum += b.Get(b.names[size_t(i % kNames)]);
    if (sum != long(state.iterations()) * (kReads / kNames) * (kNames * (kNames - 1) / 2))
        state.SkipWithError("a read missed");
}

void Writes_KtU(benchmark::State& state) {
    Registry r;
    int round = 1;
    for (auto _ : state) {
        for (int i = 0; i < kWrites; ++i)
            if (!KtUSysRegistry::SetInt32("Bench", r.names[size_t(i % kNames)].c_str(),
                                          round * kWrites + i, KtUSysRegistry::eUSER))
                state.SkipWithError("a write failed");
        ++round;
    }
}

void Writes_SQLite(benchmark::State& state) {
    Bare b;
    int round = 1;
    for (auto _ : state) {
        for (int i = 0; i < kWrites; ++i)
            if (!b.Set(b.names[size_t(i % kNames)], round * kWrites + i))
                state.SkipWithError("a write failed");
        ++round;
    }
}

} // namespace

BENCHMARK(Reads_KtU)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Reads_SQLite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Writes_KtU)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Writes_SQLite)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();

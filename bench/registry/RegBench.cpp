// Reads and writes per second of RegReadKeyInt / RegWriteKeyInt on the per-user store,
// against raw SQLite statements doing the same work in the same run, on a database with the
// same settings (WAL, synchronous NORMAL, the same busy timeout) in the same folder (see the
// baselines below).
//
//   build/<dir>/bench/registry/reg_bench [--benchmark_repetitions=5]
//
// Runs on a temporary store (XDG_CONFIG_HOME points at a fresh folder). At the end it prints
// the helpers' rates as ratios to each baseline's (1.0 = as fast; the goal against Raw_* is
// 0.5 or more). Real time is compared: most of an operation's cost is system calls (the WAL's
// locks), which a busy machine stretches for both sides alike. It also prints the share of a
// call that the store's per-call stat() of its path takes.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RegKey.h"

namespace {

std::string g_dir;

// ---- the baselines ---------------------------------------------------------------------------
//
// Both fold the names and use prepared statements, each statement in its own implicit
// transaction, on a database with the store's settings.
//   Raw_*      the steps of the helpers, as the Win32 calls take them: find the key by its
//              folded path (creating it if missing, for a write), then read or upsert the value
//              by key id and folded name: two statements.
//   RawFlat_*  the least any store can do: one table keyed by (folded path, folded name), one
//              statement per read or write. No key tree, no test that a key exists.

class RawStore {
public:
    RawStore()
    {
        const std::string path = g_dir + "/raw.db";
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) return;
        sqlite3_busy_timeout(m_db, 10000);
        sqlite3_exec(m_db,
                     "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                     "PRAGMA wal_autocheckpoint = 256; PRAGMA journal_size_limit = 1048576;"
                     "CREATE TABLE keys(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE);"
                     "CREATE TABLE vals(key INTEGER NOT NULL, name BLOB NOT NULL,"
                     " type INTEGER NOT NULL, data BLOB NOT NULL,"
                     " PRIMARY KEY(key, name)) WITHOUT ROWID;"
                     "CREATE TABLE kv(path BLOB NOT NULL, name BLOB NOT NULL,"
                     " type INTEGER NOT NULL, data BLOB NOT NULL,"
                     " PRIMARY KEY(path, name)) WITHOUT ROWID;",
                     nullptr, nullptr, nullptr);
        const char* const sql[kCount] = {
            "SELECT id FROM keys WHERE path = ?1",
            "INSERT INTO keys(path) VALUES(?1)",
            "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2",
            "INSERT INTO vals VALUES(?1, ?2, ?3, ?4) ON CONFLICT(key, name)"
            " DO UPDATE SET type = excluded.type, data = excluded.data",
            "SELECT type, data FROM kv WHERE path = ?1 AND name = ?2",
            "INSERT INTO kv VALUES(?1, ?2, ?3, ?4) ON CONFLICT(path, name)"
            " DO UPDATE SET type = excluded.type, data = excluded.data",
        };
        m_ok = true;
        for (int i = 0; i < kCount; ++i)
            m_ok =
                m_ok && sqlite3_prepare_v3(m_db, sql[i], -1, SQLITE_PREPARE_PERSISTENT, &m_st[i], nullptr) == SQLITE_OK;
    }
    ~RawStore()
    {
        for (sqlite3_stmt* st : m_st) sqlite3_finalize(st);
        sqlite3_close(m_db);
    }
    bool Ok() const { return m_ok; }

    int Write(const char* szKey, const char* szSubKey, const char* szItem, int nValue)
    {
        const std::string path = Folded(KeyPath(szKey, szSubKey)), name = Folded(szItem);
        sqlite3_int64 key = 0;
        if (!FindKey(path, key)) {
            sqlite3_stmt* st = Bind(kInsertKey, path);
            const bool inserted = sqlite3_step(st) == SQLITE_DONE;
            sqlite3_reset(st);
            if (!inserted) return 0;
            key = sqlite3_last_insert_rowid(m_db);
        }
        sqlite3_stmt* st = m_st[kSetValue];
        sqlite3_bind_int64(st, 1, key);
        return Store(st, name, nValue);
    }

    int Read(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& nValue)
    {
        const std::string path = Folded(KeyPath(szKey, szSubKey)), name = Folded(szItem);
        sqlite3_int64 key = 0;
        if (!FindKey(path, key)) return 0;
        sqlite3_stmt* st = m_st[kGetValue];
        sqlite3_bind_int64(st, 1, key);
        return Load(st, name, nValue);
    }

    int WriteFlat(const char* szKey, const char* szSubKey, const char* szItem, int nValue)
    {
        const std::string path = Folded(KeyPath(szKey, szSubKey)), name = Folded(szItem);
        return Store(Bind(kSetFlat, path), name, nValue);
    }

    int ReadFlat(const char* szKey, const char* szSubKey, const char* szItem, unsigned long& nValue)
    {
        const std::string path = Folded(KeyPath(szKey, szSubKey)), name = Folded(szItem);
        return Load(Bind(kGetFlat, path), name, nValue);
    }

private:
    enum { kFindKey, kInsertKey, kGetValue, kSetValue, kGetFlat, kSetFlat, kCount };

    static std::string KeyPath(const char* szKey, const char* szSubKey)
    {
        std::string p = std::string("Software\\szDomain\\") + szKey;
        if (szSubKey) p = p + "\\" + szSubKey;
        return p;
    }
    static std::string Folded(std::string s)
    {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        return s;
    }

    sqlite3_stmt* Bind(int id, const std::string& first)
    {
        sqlite3_bind_blob(m_st[id], 1, first.data(), int(first.size()), SQLITE_STATIC);
        return m_st[id];
    }

    bool FindKey(const std::string& path, sqlite3_int64& key)
    {
        sqlite3_stmt* st = Bind(kFindKey, path);
        const bool found = sqlite3_step(st) == SQLITE_ROW;
        if (found) key = sqlite3_column_int64(st, 0);
        sqlite3_reset(st);
        return found;
    }

    // Parameter 1 is bound; binds the name and the 4 bytes of nValue and runs the upsert.
    static int Store(sqlite3_stmt* st, const std::string& name, int nValue)
    {
        const unsigned char bytes[4] = {(unsigned char)nValue, (unsigned char)(nValue >> 8),
                                        (unsigned char)(nValue >> 16), (unsigned char)(nValue >> 24)};
        sqlite3_bind_blob(st, 2, name.data(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_int(st, 3, 4);
        sqlite3_bind_blob(st, 4, bytes, 4, SQLITE_STATIC);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        return rc == SQLITE_DONE;
    }

    // Parameter 1 is bound; reads a REG_DWORD of 4 bytes.
    static int Load(sqlite3_stmt* st, const std::string& name, unsigned long& nValue)
    {
        sqlite3_bind_blob(st, 2, name.data(), int(name.size()), SQLITE_STATIC);
        int ok = 0;
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 4 && sqlite3_column_bytes(st, 1) == 4) {
            const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(st, 1));
            nValue = unsigned(b[0]) | unsigned(b[1]) << 8 | unsigned(b[2]) << 16 | unsigned(b[3]) << 24;
            ok = 1;
        }
        sqlite3_reset(st);
        return ok;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_st[kCount] = {};
    bool m_ok = false;
};

std::unique_ptr<RawStore> g_raw;

RawStore& Raw() { return *g_raw; }

// ---- the benchmarks --------------------------------------------------------------------------

// Settings spread over a few keys, as a lobby and its games keep them.
const char* const kSubKeys[] = {"Window", "Sound", "Player", "Network"};
const char* const kItems[] = {"Left", "Top", "Volume", "Level", "Port", "Retries", "Width", "Flags"};

template <typename Write>
void Writes(benchmark::State& state, Write write)
{
    int i = 0;
    for (auto _ : state) {
        if (!write("Bench", kSubKeys[i & 3], kItems[i & 7], i)) state.SkipWithError("write failed");
        ++i;
    }
    state.counters["writes/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

template <typename Write, typename Read>
void Reads(benchmark::State& state, Write write, Read read)
{
    for (int i = 0; i < 32; ++i) write("Bench", kSubKeys[i & 3], kItems[i & 7], i);
    int i = 0;
    unsigned long v = 0;
    for (auto _ : state) {
        if (!read("Bench", kSubKeys[i & 3], kItems[i & 7], v)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(v);
        ++i;
    }
    state.counters["reads/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

int RawWrite(const char* k, const char* s, const char* n, int v) { return Raw().Write(k, s, n, v); }
int RawRead(const char* k, const char* s, const char* n, unsigned long& v) { return Raw().Read(k, s, n, v); }
int FlatWrite(const char* k, const char* s, const char* n, int v) { return Raw().WriteFlat(k, s, n, v); }
int FlatRead(const char* k, const char* s, const char* n, unsigned long& v) { return Raw().ReadFlat(k, s, n, v); }

void Raw_Write(benchmark::State& state)
{
    if (!Raw().Ok()) state.SkipWithError("raw store did not open");
    Writes(state, RawWrite);
}

void Raw_Read(benchmark::State& state)
{
    if (!Raw().Ok()) state.SkipWithError("raw store did not open");
    Reads(state, RawWrite, RawRead);
}

void RawFlat_Write(benchmark::State& state)
{
    if (!Raw().Ok()) state.SkipWithError("raw store did not open");
    Writes(state, FlatWrite);
}

void RawFlat_Read(benchmark::State& state)
{
    if (!Raw().Ok()) state.SkipWithError("raw store did not open");
    Reads(state, FlatWrite, FlatRead);
}

void Reg_WriteKeyInt(benchmark::State& state) { Writes(state, RegWriteKeyInt); }

void Reg_ReadKeyInt(benchmark::State& state) { Reads(state, RegWriteKeyInt, RegReadKeyInt); }

// The check every call of the store makes first: one stat() of the store's path, to see
// whether the file it holds is still the one there (not deleted or replaced).
void Stat_StorePath(benchmark::State& state)
{
    unsigned long v = 0;
    RegWriteKeyInt("Bench", "Stat", "n", 1);
    RegReadKeyInt("Bench", "Stat", "n", v);
    const std::string path = g_dir + "/lobbykit/registry.db";
    struct stat st {};
    for (auto _ : state) {
        if (stat(path.c_str(), &st) != 0) state.SkipWithError("no store");
        benchmark::DoNotOptimize(st.st_ino);
    }
}

// Keeps the mean real time per operation of each benchmark, then prints our rates as ratios
// to the raw statements'. Real time: a write's cost is mostly system calls.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // Each repetition's run, or (with --benchmark_report_aggregates_only) their mean.
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if (run.run_type != Run::RT_Iteration && !mean) continue;
            Mean& m = (mean ? m_reported : m_means)[run.run_name.function_name];
            m.sum += run.GetAdjustedRealTime();
            ++m.count;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        Print("reads ", "Reg_ReadKeyInt", "Raw_Read");
        Print("writes", "Reg_WriteKeyInt", "Raw_Write");
        Print("reads  (one-statement floor)", "Reg_ReadKeyInt", "RawFlat_Read");
        Print("writes (one-statement floor)", "Reg_WriteKeyInt", "RawFlat_Write");
        Share("reads ", "Reg_ReadKeyInt");
        Share("writes", "Reg_WriteKeyInt");
    }

private:
    struct Mean {
        double sum = 0;
        int count = 0;
        double Ns() const { return sum / count; }
    };
    void Print(const char* what, const char* ours, const char* raw)
    {
        const auto& means = m_means.empty() ? m_reported : m_means;
        const auto o = means.find(ours), r = means.find(raw);
        if (o == means.end() || r == means.end()) return;
        std::printf("%s: RegKey %.0f/s, %s %.0f/s, ratio %.2f\n", what, 1e9 / o->second.Ns(), raw, 1e9 / r->second.Ns(),
                    r->second.Ns() / o->second.Ns());
    }
    // What the store's per-call stat() takes of one call's time.
    void Share(const char* what, const char* ours)
    {
        const auto& means = m_means.empty() ? m_reported : m_means;
        const auto o = means.find(ours), s = means.find("Stat_StorePath");
        if (o == means.end() || s == means.end()) return;
        std::printf("%s: the stat() of the store's path is %.3f of a call (%.0f ns of %.0f ns)\n", what,
                    s->second.Ns() / o->second.Ns(), s->second.Ns(), o->second.Ns());
    }
    std::map<std::string, Mean> m_means, m_reported;
};

}  // namespace

BENCHMARK(Raw_Read)->UseRealTime();
BENCHMARK(RawFlat_Read)->UseRealTime();
BENCHMARK(Reg_ReadKeyInt)->UseRealTime();
BENCHMARK(Raw_Write)->UseRealTime();
BENCHMARK(RawFlat_Write)->UseRealTime();
BENCHMARK(Reg_WriteKeyInt)->UseRealTime();
BENCHMARK(Stat_StorePath)->UseRealTime();

int main(int argc, char** argv)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/lobbykit-regbench-XXXXXX";
    if (!mkdtemp(&templ[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    g_dir = templ;
    setenv("XDG_CONFIG_HOME", g_dir.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    g_raw = std::make_unique<RawStore>();
    {
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    benchmark::Shutdown();
    g_raw.reset();
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}

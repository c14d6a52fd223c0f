#include "winport/posix/registry/store.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "winport/posix/kernel/file.h"
#include "winport/posix/registry/name.h"

namespace winport::reg {
namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 10000;
// A checkpoint once the WAL passes 256 pages (1 MiB at the default page size of 4 KiB), and
// the WAL file cut back to 1 MiB after one.
const char kWalPragmas[] =
    "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
    "PRAGMA wal_autocheckpoint = 256; PRAGMA journal_size_limit = 1048576;";
constexpr KeyId kRootId = 1;

// path: the folded names from the root, each followed by a NUL byte (no name contains one),
// so that one unique index resolves a whole path and no two paths can collide.
const char kSchema[] =
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // AUTOINCREMENT: ids are never reused
    " parent INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " path BLOB NOT NULL UNIQUE,"
    " class BLOB NOT NULL,"
    " mtime INTEGER NOT NULL);"
    "CREATE INDEX keys_by_parent ON keys(parent, path);"
    "CREATE TABLE vals("
    " key INTEGER NOT NULL,"
    " fold BLOB NOT NULL,"
    " name BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "INSERT INTO keys(id, parent, name, path, class, mtime) VALUES(1, 0, x'', x'', x'', 0);"
    "PRAGMA user_version = 1;";

enum StmtId {
    kBegin,
    kBeginWrite,
    kCommit,
    kRollback,
    kFindKeyUnder,
    kFindKey,
    kKeyExists,
    kInsertKey,
    kTouchKey,
    kHasSubkey,
    kDeleteKeyValues,
    kDeleteKey,
    kQueryValue,
    kQueryValueOrKey,
    kSetValue,
    kDeleteValue,
    kEnumKey,
    kEnumKeyAfter,
    kEnumValue,
    kEnumValueAfter,
    kStmtCount
};

const char* const kStmtSql[kStmtCount] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT (SELECT id FROM keys WHERE path = ?1), EXISTS(SELECT 1 FROM keys WHERE id = ?2)",
    "SELECT id FROM keys WHERE path = ?1",
    "SELECT mtime FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, path, class, mtime) VALUES(?1, ?2, ?3, ?4, ?5)",
    "UPDATE keys SET mtime = ?2 WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT v.type, v.data, v.key IS NOT NULL FROM keys k"
    " LEFT JOIN vals v ON v.key = k.id AND v.fold = ?2 WHERE k.id = ?1",
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, class, mtime, path FROM keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2",
    "SELECT name, class, mtime, path FROM keys WHERE parent = ?1 AND path > ?2 ORDER BY path"
    " LIMIT 1",
    "SELECT name, type, data, fold FROM vals WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, fold FROM vals WHERE key = ?1 AND fold > ?2 ORDER BY fold LIMIT 1",
};

LONG MapSqliteError(int rc)
{
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_NOMEM:
    case SQLITE_TOOBIG: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_ERROR:  // a statement that no longer fits the tables: not our schema
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH: return ERROR_REGISTRY_CORRUPT;
    default: return ERROR_REGISTRY_IO_FAILED;
    }
}

// Windows file time (100 ns since 1601) of now.
std::int64_t FileTimeNow()
{
    const auto since1970 =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
    return since1970.count() / 100 + 116444736000000000LL;
}

std::string ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;  // relative values are to be ignored
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return std::string();
    return std::string(home) + "/.config";
}

// Serialises the calls of all threads on the one connection.
std::mutex g_mutex;

// Set in a child process by fork(): the connection it inherited is its parent's.
std::atomic<bool> g_forked{false};

// The store's path as an SQLite URI file name, for the query parameters of a read-only open.
std::string UriFileName(const std::string& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            uri += '%';
            uri += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            uri += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    return uri;
}

// The process's connection with its prepared statements. Used under g_mutex only.
class Connection {
public:
    // Opens the store if this process has no connection yet (or had one before a fork), and
    // again when the file at the store's path is no longer the one the connection holds
    // (deleted, or replaced by another) or its mode changed: settings go to and come from the
    // store that is there now. One stat() per call, before its transaction (a file replaced
    // during a call is seen by the next one); its share of a call is measured in
    // bench/registry.
    LONG Ensure()
    {
        if (db_ && g_forked.load(std::memory_order_relaxed)) Abandon();
        g_forked.store(false, std::memory_order_relaxed);
        if (db_) {
            const Place place = Check();
            if (place == kCurrent) return ERROR_SUCCESS;
            Close(place == kSameFile);
        }
        const LONG rc = Open();
        if (rc != ERROR_SUCCESS) Close(false);
        return rc;
    }

    // Closes the connection for good (at exit, or for a test): the store's file then holds
    // every setting this process wrote.
    void Release()
    {
        if (g_forked.load(std::memory_order_relaxed)) {
            Abandon();
            g_forked.store(false, std::memory_order_relaxed);
        }
        if (db_) Close(Check() != kOtherFile);
    }

    sqlite3* Db() const { return db_; }
    sqlite3_stmt* Stmt(StmtId id) const { return stmt_[id]; }
    bool ReadOnly() const { return readOnly_; }

private:
    enum Place { kCurrent, kSameFile, kOtherFile };

    Place Check() const
    {
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0 || st.st_dev != dev_ || st.st_ino != ino_) return kOtherFile;
        return st.st_mode == mode_ ? kCurrent : kSameFile;
    }

    // With `checkpoint`, every committed change is first copied into the database file, so
    // that the file alone holds them whoever else has the store open. Without it, closing
    // touches nothing at the store's path, which may hold another store by now (the last
    // connection's close would checkpoint and then delete the -wal and -shm found there by
    // name).
    void Close(bool checkpoint)
    {
        if (db_ && checkpoint && !readOnly_)
            sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
        if (db_ && (!checkpoint || readOnly_)) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        for (sqlite3_stmt*& s : stmt_) {
            sqlite3_finalize(s);
            s = nullptr;
        }
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }

    // A connection inherited through fork() must not be used or closed by the child: its
    // locks belong to the parent. Forget it and open a new one.
    void Abandon()
    {
        db_ = nullptr;
        for (sqlite3_stmt*& s : stmt_) s = nullptr;
    }

    LONG Open()
    {
        const std::string path = StorePath();
        if (path.empty()) return ERROR_CANTOPEN;
        const std::string dir = path.substr(0, path.rfind('/'));
        const std::string parent = dir.substr(0, dir.rfind('/'));
        if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return ERROR_CANTOPEN;
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return ERROR_CANTOPEN;
        // The folder and the file must be the user's own: another user's could be read or
        // swapped under us.
        struct stat dst {};
        if (lstat(dir.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode)) return ERROR_CANTOPEN;
        if (dst.st_uid != geteuid()) return ERROR_ACCESS_DENIED;
        // Made here rather than by SQLite so that it is 0600 under any umask; the -wal and
        // -shm files take their mode from it. A store the user may only read is opened for
        // reading: its settings can be read, and every write is denied.
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        readOnly_ = false;
        if (fd < 0 && (errno == EACCES || errno == EROFS)) {
            fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            readOnly_ = fd >= 0;
        }
        if (fd < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_CANTOPEN;
        struct stat st {};
        const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        close(fd);
        if (!regular) return ERROR_CANTOPEN;
        if (st.st_uid != geteuid()) return ERROR_ACCESS_DENIED;
        path_ = path;
        dev_ = st.st_dev;
        ino_ = st.st_ino;
        mode_ = st.st_mode;
        if (readOnly_) return OpenReadOnly(path);

        // Processes that open a new store at the same moment take turns: setting up the
        // schema and switching to WAL must not interleave. The lock goes with the process.
        const std::string lockPath = dir + "/registry.lock";
        const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lockFd < 0) return ERROR_CANTOPEN;
        LockFileRetrying(lockFd, LOCK_EX);
        const LONG err = OpenWith(path, SQLITE_OPEN_READWRITE);
        close(lockFd);  // releases the flock
        return err;
    }

    // Reading a WAL database takes the -shm beside it. While there is a -wal (a writer at
    // work, or one that was killed), SQLite reads through them; with none, the file alone
    // holds every setting and is read as immutable, so that nothing is made beside it: a
    // -wal and -shm made now would be read-only too, and in the way of the next writer.
    LONG OpenReadOnly(const std::string& path)
    {
        struct stat wal {};
        const bool hasWal = stat((path + "-wal").c_str(), &wal) == 0;
        return OpenWith(UriFileName(path) + (hasWal ? "?mode=ro" : "?mode=ro&immutable=1"),
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    }

    LONG OpenWith(const std::string& name, int flags)
    {
        int rc = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
        if (rc != SQLITE_OK) return MapSqliteError(rc);
        // fork() waits for a call in progress, so that the child's copy of the lock is free.
        static const int atfork = pthread_atfork([] { g_mutex.lock(); }, [] { g_mutex.unlock(); },
                                                 [] {
                                                     g_forked = true;
                                                     g_mutex.unlock();
                                                 });
        (void)atfork;
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
        if (const LONG err = CheckSchema(); err != ERROR_SUCCESS) return err;
        for (int i = 0; i < kStmtCount; ++i) {
            rc = sqlite3_prepare_v3(db_, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmt_[i], nullptr);
            if (rc != SQLITE_OK) return MapSqliteError(rc);
        }
        return ERROR_SUCCESS;
    }

    LONG ReadInt(const char* sql, sqlite3_int64& out)
    {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) out = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
        return rc == SQLITE_ROW ? ERROR_SUCCESS : rc == SQLITE_DONE ? ERROR_REGISTRY_CORRUPT : MapSqliteError(rc);
    }

    // A new (empty) file gets the schema; a database of ours is checked for its root key;
    // anything else is refused before anything in it is changed (even its journal mode): an
    // existing file is never silently replaced or altered.
    LONG CheckSchema()
    {
        sqlite3_int64 version = 0, objects = 0;
        // Two snapshots, but under the set-up lock: nobody else sets up the schema meanwhile.
        // A file that is not a database fails here with SQLITE_NOTADB.
        LONG err = ReadInt("PRAGMA user_version", version);
        if (err == ERROR_SUCCESS) err = ReadInt("SELECT count(*) FROM sqlite_schema", objects);
        if (err != ERROR_SUCCESS) return err;
        if (version != kSchemaVersion && !(version == 0 && objects == 0)) return ERROR_REGISTRY_CORRUPT;
        // An empty store that may only be read has nothing to read and cannot be set up.
        if (readOnly_) return version == 0 ? ERROR_ACCESS_DENIED : CheckRoot();
        // synchronous = NORMAL: a commit is written to the WAL, into the kernel's hands,
        // before it returns, so it survives the death of the process (SIGKILL included); only
        // a crash of the system may take the last commits back, never the file's consistency.
        // FULL would add an fsync to every write for that case alone. The WAL is synced at
        // each checkpoint, and one is made whenever it passes a modest size (kWalPragmas); the
        // size limit gives the disk back after a burst of writes.
        int rc = sqlite3_exec(db_, kWalPragmas, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return MapSqliteError(rc);
        if (version == 0) {
            rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) return MapSqliteError(rc);
            err = ReadInt("PRAGMA user_version", version);
            if (err == ERROR_SUCCESS && version == 0) err = ReadInt("SELECT count(*) FROM sqlite_schema", objects);
            if (err == ERROR_SUCCESS && version == 0 && objects != 0) err = ERROR_REGISTRY_CORRUPT;
            if (err == ERROR_SUCCESS && version == 0) {
                rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
                if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
                if (rc != SQLITE_OK) err = MapSqliteError(rc);
                version = kSchemaVersion;
            }
            if (err != ERROR_SUCCESS || sqlite3_get_autocommit(db_) == 0)
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            if (err != ERROR_SUCCESS) return err;
        }
        if (version != kSchemaVersion) return ERROR_REGISTRY_CORRUPT;
        return CheckRoot();
    }

    LONG CheckRoot()
    {
        sqlite3_int64 roots = 0;
        const LONG err = ReadInt("SELECT count(*) FROM keys WHERE id = 1 AND path = x''", roots);
        if (err != ERROR_SUCCESS) return err;
        return roots == 1 ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_[kStmtCount] = {};
    bool readOnly_ = false;
    // The file the connection holds, as found at its path when it was opened.
    std::string path_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    mode_t mode_ = 0;
};

Connection g_conn;

// Closes the connection when the process exits normally or the library is unloaded, so that
// the store's file alone holds every setting once no program has the store open. Defined
// after g_conn and g_mutex: destroyed before them.
struct CloseAtExit {
    CloseAtExit() = default;
    CloseAtExit(const CloseAtExit&) = delete;
    CloseAtExit& operator=(const CloseAtExit&) = delete;
    ~CloseAtExit()
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_conn.Release();
    }
} g_closeAtExit;

// One use of a prepared statement; resetting it at the end also ends an implicit read
// transaction at once.
class Query {
public:
    explicit Query(StmtId id) : st_(g_conn.Stmt(id)) {}
    ~Query()
    {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Int(int i, sqlite3_int64 v) { return Bound(sqlite3_bind_int64(st_, i, v)); }
    // Never binds NULL: an empty name is an empty blob.
    Query& Blob(int i, const void* p, std::size_t n)
    {
        return Bound(sqlite3_bind_blob64(st_, i, n ? p : "", n, SQLITE_STATIC));
    }
    Query& Blob(int i, std::string_view s) { return Blob(i, s.data(), s.size()); }
    // A parameter that could not be bound (a value beyond the store's length limit gives
    // SQLITE_TOOBIG) is the statement's result: run with it unbound, the statement would
    // fail on the schema's constraints, which reads as a damaged store.
    int Step() { return bindError_ != SQLITE_OK ? bindError_ : sqlite3_step(st_); }
    sqlite3_stmt* operator->() const { return st_; }
    sqlite3_stmt* Get() const { return st_; }

private:
    Query& Bound(int rc)
    {
        if (bindError_ == SQLITE_OK) bindError_ = rc;
        return *this;
    }

    sqlite3_stmt* st_;
    int bindError_ = SQLITE_OK;
};

// Runs a statement that returns no rows; SQLITE_DONE becomes ERROR_SUCCESS.
LONG Exec(Query& q)
{
    const int rc = q.Step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : MapSqliteError(rc);
}

// An explicit transaction for operations of more than one statement; rolled back unless
// committed.
class Transaction {
public:
    explicit Transaction(bool write)
    {
        if (write && g_conn.ReadOnly()) {
            rc_ = ERROR_ACCESS_DENIED;  // the user may only read the store
            return;
        }
        Query q(write ? kBeginWrite : kBegin);
        rc_ = Exec(q);
    }
    ~Transaction()
    {
        if (rc_ == ERROR_SUCCESS && !done_) {
            Query q(kRollback);
            Exec(q);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    LONG Begun() const { return rc_; }
    // Commits if result is ERROR_SUCCESS (else rolls back); returns the call's result.
    LONG Finish(LONG result)
    {
        if (result != ERROR_SUCCESS) return result;
        Query q(kCommit);
        const LONG rc = Exec(q);
        if (rc == ERROR_SUCCESS) done_ = true;
        return rc;
    }

private:
    LONG rc_;
    bool done_ = false;
};

std::string Folded(std::string_view name)
{
    std::string s;
    AppendFolded(name, s);
    return s;
}

std::string ChildPath(const KeyRef& base, const std::vector<std::string_view>& elements)
{
    std::string path = base.path;
    for (std::string_view e : elements) {
        AppendFolded(e, path);
        path.push_back('\0');
    }
    return path;
}

LONG KeyExists(KeyId id, std::int64_t* mtime = nullptr)
{
    Query q(kKeyExists);
    q.Int(1, id);
    const int rc = q.Step();
    if (rc == SQLITE_ROW) {
        if (mtime) *mtime = sqlite3_column_int64(q.Get(), 0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : MapSqliteError(rc);
}

// Inside a write transaction: fails if the key was deleted, and moves its last-write time
// forward. The time is kept to about a second: rewriting the key's row on every value write
// would put a second page into every commit of a burst of writes.
LONG TouchKey(KeyId id)
{
    constexpr std::int64_t kResolution = 10000000;  // 1 s in 100 ns units
    std::int64_t mtime = 0;
    if (const LONG err = KeyExists(id, &mtime); err != ERROR_SUCCESS) return err;
    const std::int64_t now = FileTimeNow();
    if (now >= mtime && now - mtime < kResolution) return ERROR_SUCCESS;
    Query q(kTouchKey);
    q.Int(1, id).Int(2, now);
    return Exec(q);
}

// Finds a key by its folded path; ERROR_FILE_NOT_FOUND if there is none.
LONG FindKey(const std::string& path, KeyId& id)
{
    Query q(kFindKey);
    q.Blob(1, path);
    const int rc = q.Step();
    if (rc == SQLITE_ROW) {
        id = sqlite3_column_int64(q.Get(), 0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : MapSqliteError(rc);
}

// The data of the store are outside input: a type must be a 32-bit unsigned integer and
// data a blob, or the store is corrupt.
LONG ColumnType(sqlite3_stmt* st, int col, DWORD& type)
{
    if (sqlite3_column_type(st, col) != SQLITE_INTEGER) return ERROR_REGISTRY_CORRUPT;
    const sqlite3_int64 v = sqlite3_column_int64(st, col);
    if (v < 0 || v > 0xFFFFFFFFLL) return ERROR_REGISTRY_CORRUPT;
    type = DWORD(v);
    return ERROR_SUCCESS;
}

// Copies a value's data as RegQueryValueExA does: size only when lpData is null,
// ERROR_MORE_DATA with the size needed when the buffer is too small.
LONG CopyData(sqlite3_stmt* st, int col, LPBYTE lpData, LPDWORD lpcbData)
{
    if (sqlite3_column_type(st, col) != SQLITE_BLOB) return ERROR_REGISTRY_CORRUPT;
    const void* p = sqlite3_column_blob(st, col);
    const int n = sqlite3_column_bytes(st, col);
    if (!lpcbData) return ERROR_SUCCESS;
    const DWORD cap = *lpcbData;
    *lpcbData = DWORD(n);
    if (!lpData) return ERROR_SUCCESS;
    if (DWORD(n) > cap) return ERROR_MORE_DATA;
    if (n) std::memcpy(lpData, p, std::size_t(n));
    return ERROR_SUCCESS;
}

// Copies a stored name into a character buffer with its terminator; ERROR_MORE_DATA (the
// count left as it was) when it does not fit. A null buffer with a count gets the length.
LONG CopyName(sqlite3_stmt* st, int col, NameBuffer b)
{
    const int t = sqlite3_column_type(st, col);
    if (t != SQLITE_BLOB) return ERROR_REGISTRY_CORRUPT;
    if (!b.cch) return ERROR_SUCCESS;
    const void* p = sqlite3_column_blob(st, col);
    const DWORD n = DWORD(sqlite3_column_bytes(st, col));
    if (!b.buf) {
        *b.cch = n;
        return ERROR_SUCCESS;
    }
    if (n >= *b.cch) return ERROR_MORE_DATA;
    if (n) std::memcpy(b.buf, p, n);
    b.buf[n] = '\0';
    *b.cch = n;
    return ERROR_SUCCESS;
}

// Enumeration by index: index i + 1 right after i continues from the name where i was
// found (one indexed step); any other index counts from the start.
StmtId StartEnumId(const EnumHint& hint, DWORD dwIndex, StmtId fromStart, StmtId after)
{
    return hint.valid && dwIndex == hint.index + 1 ? after : fromStart;
}

void BindEnum(Query& q, const EnumHint& hint, DWORD dwIndex, KeyId key)
{
    q.Int(1, key);
    if (hint.valid && dwIndex == hint.index + 1) q.Blob(2, hint.last);
    else q.Int(2, dwIndex);
}

// Records where the row of dwIndex was found (its sort column), or forgets the place.
LONG EndEnum(Query& q, int rc, int sortCol, DWORD dwIndex, EnumHint& hint)
{
    hint.valid = false;
    if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
    if (rc != SQLITE_ROW) return MapSqliteError(rc);
    if (sqlite3_column_type(q.Get(), sortCol) != SQLITE_BLOB) return ERROR_REGISTRY_CORRUPT;
    const auto* p = static_cast<const char*>(sqlite3_column_blob(q.Get(), sortCol));
    hint.last.assign(p ? p : "", std::size_t(sqlite3_column_bytes(q.Get(), sortCol)));
    hint.index = dwIndex;
    hint.valid = true;
    return ERROR_SUCCESS;
}

}  // namespace

KeyRef RootKey() { return KeyRef{kRootId, std::string()}; }

std::string StorePath()
{
    const std::string home = ConfigHome();
    return home.empty() ? home : home + "/lobbykit/registry.db";
}

void StoreCloseForTesting()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_conn.Release();
}

LONG StoreOpenKey(const KeyRef& base, const std::vector<std::string_view>& elements, KeyRef& out)
{
    std::string path = ChildPath(base, elements);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (const LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    KeyId id = 0;
    if (base.id == kRootId) {
        // The root always exists: one lookup.
        if (const LONG err = FindKey(path, id); err != ERROR_SUCCESS) return err;
    } else {
        // One statement: the lookup, and whether the base key still exists.
        Query q(kFindKeyUnder);
        q.Blob(1, path).Int(2, base.id);
        const int rc = q.Step();
        if (rc != SQLITE_ROW) return MapSqliteError(rc);
        if (sqlite3_column_int(q.Get(), 1) == 0) return ERROR_KEY_DELETED;
        if (sqlite3_column_type(q.Get(), 0) == SQLITE_NULL) return ERROR_FILE_NOT_FOUND;
        id = sqlite3_column_int64(q.Get(), 0);
    }
    out.id = id;
    out.path = std::move(path);
    return ERROR_SUCCESS;
}

LONG StoreCreateKey(const KeyRef& base, const std::vector<std::string_view>& elements, std::string_view keyClass,
                    bool mayCreate, KeyRef& out, DWORD& disposition)
{
    // Most calls find the key: look in a read transaction and take the write lock only
    // when a level is missing (then everything is looked up again under it).
    LONG err = StoreOpenKey(base, elements, out);
    if (err == ERROR_SUCCESS) disposition = REG_OPENED_EXISTING_KEY;
    if (err != ERROR_FILE_NOT_FOUND) return err;
    if (!mayCreate) return ERROR_ACCESS_DENIED;

    std::string path = base.path;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    Transaction t(true);
    if (t.Begun() != ERROR_SUCCESS) return t.Begun();
    if (err = KeyExists(base.id); err != ERROR_SUCCESS) return err;
    KeyId parent = base.id;
    bool created = false;
    const std::int64_t now = FileTimeNow();
    for (std::string_view e : elements) {
        AppendFolded(e, path);
        path.push_back('\0');
        KeyId id = 0;
        err = FindKey(path, id);
        if (err == ERROR_FILE_NOT_FOUND) {
            Query q(kInsertKey);
            q.Int(1, parent).Blob(2, e).Blob(3, path).Blob(4, keyClass).Int(5, now);
            err = Exec(q);
            id = sqlite3_last_insert_rowid(g_conn.Db());
            created = true;
        } else {
            created = false;
        }
        if (err != ERROR_SUCCESS) return err;
        parent = id;
    }
    err = t.Finish(ERROR_SUCCESS);
    if (err != ERROR_SUCCESS) return err;
    out.id = parent;
    out.path = std::move(path);
    disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG StoreDeleteKey(const KeyRef& base, const std::vector<std::string_view>& elements)
{
    const std::string path = ChildPath(base, elements);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    Transaction t(true);
    if (t.Begun() != ERROR_SUCCESS) return t.Begun();
    LONG err = KeyExists(base.id);
    KeyId id = 0;
    if (err == ERROR_SUCCESS) err = FindKey(path, id);
    if (err == ERROR_SUCCESS) {
        Query q(kHasSubkey);
        q.Int(1, id);
        const int rc = q.Step();
        err = rc == SQLITE_ROW ? ERROR_ACCESS_DENIED : MapSqliteError(rc);
    }
    if (err == ERROR_SUCCESS) {
        Query q(kDeleteKeyValues);
        q.Int(1, id);
        err = Exec(q);
    }
    if (err == ERROR_SUCCESS) {
        Query q(kDeleteKey);
        q.Int(1, id);
        err = Exec(q);
    }
    return t.Finish(err);
}

LONG StoreQueryValue(const KeyRef& key, std::string_view name, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    const std::string fold = Folded(name);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    // A value of a deleted key is deleted with it, so a value found answers the call. Only a
    // miss needs the key's row (a deleted key or a missing value); that statement answers
    // the whole call again on its own.
    for (const StmtId id : {kQueryValue, kQueryValueOrKey}) {
        Query q(id);
        q.Int(1, key.id).Blob(2, fold);
        const int rc = q.Step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return MapSqliteError(rc);
        if (id == kQueryValue && rc == SQLITE_DONE) continue;
        if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
        if (id == kQueryValueOrKey && sqlite3_column_int(q.Get(), 2) == 0) return ERROR_FILE_NOT_FOUND;
        DWORD type = 0;
        if (LONG err = ColumnType(q.Get(), 0, type); err != ERROR_SUCCESS) return err;
        if (lpType) *lpType = type;
        return CopyData(q.Get(), 1, lpData, lpcbData);
    }
    return ERROR_REGISTRY_CORRUPT;  // not reached
}

LONG StoreSetValue(const KeyRef& key, std::string_view name, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    const std::string fold = Folded(name);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    Transaction t(true);
    if (t.Begun() != ERROR_SUCCESS) return t.Begun();
    LONG err = TouchKey(key.id);
    if (err == ERROR_SUCCESS) {
        Query q(kSetValue);
        q.Int(1, key.id).Blob(2, name).Blob(3, fold).Int(4, dwType).Blob(5, lpData, cbData);
        err = Exec(q);
    }
    return t.Finish(err);
}

LONG StoreDeleteValue(const KeyRef& key, std::string_view name)
{
    const std::string fold = Folded(name);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    Transaction t(true);
    if (t.Begun() != ERROR_SUCCESS) return t.Begun();
    LONG err = TouchKey(key.id);
    if (err == ERROR_SUCCESS) {
        Query q(kDeleteValue);
        q.Int(1, key.id).Blob(2, fold);
        err = Exec(q);
        if (err == ERROR_SUCCESS && sqlite3_changes(g_conn.Db()) == 0) err = ERROR_FILE_NOT_FOUND;
    }
    return t.Finish(err);
}

namespace {

// One row of an enumeration: the store locked, a read transaction, the key checked and the
// row at dwIndex fetched; `read` copies the row out and its result is the call's.
template <typename Read>
LONG EnumRow(const KeyRef& key, DWORD dwIndex, EnumHint& hint, StmtId first, StmtId after, Read read)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (LONG err = g_conn.Ensure(); err != ERROR_SUCCESS) return err;
    Transaction t(false);
    if (t.Begun() != ERROR_SUCCESS) return t.Begun();
    if (LONG err = KeyExists(key.id); err != ERROR_SUCCESS) return err;
    Query q(StartEnumId(hint, dwIndex, first, after));
    BindEnum(q, hint, dwIndex, key.id);
    const int rc = q.Step();
    if (const LONG err = EndEnum(q, rc, 3, dwIndex, hint); err != ERROR_SUCCESS) return err;
    return read(q.Get());
}

}  // namespace

LONG StoreEnumKey(const KeyRef& key, DWORD dwIndex, EnumHint& hint, NameBuffer name, NameBuffer keyClass,
                  PFILETIME lpftLastWriteTime)
{
    return EnumRow(key, dwIndex, hint, kEnumKey, kEnumKeyAfter, [&](sqlite3_stmt* row) {
        LONG err = CopyName(row, 0, name);
        if (err == ERROR_SUCCESS) err = CopyName(row, 1, keyClass);
        if (err == ERROR_SUCCESS && lpftLastWriteTime) {
            const auto ft = std::uint64_t(sqlite3_column_int64(row, 2));
            lpftLastWriteTime->dwLowDateTime = DWORD(ft);
            lpftLastWriteTime->dwHighDateTime = DWORD(ft >> 32);
        }
        return err;
    });
}

LONG StoreEnumValue(const KeyRef& key, DWORD dwIndex, EnumHint& hint, NameBuffer name, LPDWORD lpType, LPBYTE lpData,
                    LPDWORD lpcbData)
{
    return EnumRow(key, dwIndex, hint, kEnumValue, kEnumValueAfter, [&](sqlite3_stmt* row) {
        DWORD type = 0;
        LONG err = ColumnType(row, 1, type);
        if (err == ERROR_SUCCESS) err = CopyName(row, 0, name);
        if (err != ERROR_SUCCESS) return err;
        if (lpType) *lpType = type;
        return CopyData(row, 2, lpData, lpcbData);
    });
}

}  // namespace winport::reg

#include "platform/registry/RegistryStore.h"

#include <pthread.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "platform/base/CaseFolding.h"

namespace ambivox {
namespace {

// Row ids of the predefined roots; every other key gets a larger id, never reused
// (AUTOINCREMENT), so a handle to a deleted key cannot silently land on a newer one.
// HKEY_CURRENT_USER is the one between them, 2.
constexpr std::int64_t kClassesRoot = 1;
constexpr std::int64_t kLocalMachine = 3;

constexpr std::uintptr_t kPredefinedFirst = 0x80000000u;
constexpr std::uintptr_t kPredefinedLast = 0x800000FFu;

// Marks a database as a registry store, so a foreign SQLite file is refused instead of having
// our tables added to it.
constexpr int kApplicationId = 0x41565247;  // "AVRG"
constexpr int kSchemaVersion = 1;

constexpr int kBusyTimeoutMs = 5000;
constexpr int kAttempts = 3;

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;

// Names are native UTF-16 blobs so that any sequence of code units survives. `fold` is the
// upper-cased name as big-endian UTF-16: byte order equals code-unit order, so ORDER BY fold is
// the case-insensitive name order and the UNIQUE constraint is the case-insensitive one.
constexpr char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER,"
    "  name BLOB NOT NULL,"
    "  fold BLOB NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE vals("
    "  key INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  fold BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, fold)) WITHOUT ROWID;";

constexpr char kInsertRoot[] = "INSERT INTO keys(id, parent, name, fold) VALUES(?1, NULL, ?2, ?3)";
constexpr char kKeyExists[] = "SELECT 1 FROM keys WHERE id = ?1";
constexpr char kFindChild[] = "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2";
constexpr char kInsertChild[] = "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)";
constexpr char kHasChildren[] = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
constexpr char kEnumKey[] =
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2";
constexpr char kQueryValue[] = "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2";
constexpr char kSetValue[] =
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr char kDeleteValue[] = "DELETE FROM vals WHERE key = ?1 AND fold = ?2";
constexpr char kEnumValue[] =
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2";
constexpr char kDeleteTreeValues[] =
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = "
    "t.id)"
    " DELETE FROM vals WHERE key IN (SELECT id FROM t)";
constexpr char kDeleteTreeKeys[] =
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = "
    "t.id)"
    " DELETE FROM keys WHERE id IN (SELECT id FROM t) AND (?2 = 0 OR id <> ?1)";
constexpr char kApplicationIdQuery[] = "PRAGMA application_id";
constexpr char kUserVersionQuery[] = "PRAGMA user_version";
constexpr char kSchemaCount[] = "SELECT count(*) FROM sqlite_master";

struct SqlError {
    int code;
};

void check(int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) throw SqlError{rc};
}

std::string fold(std::u16string_view name) {
    std::string out(name.size() * 2, '\0');
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t const c = fold_registry_unit(name[i]);
        out[2 * i] = static_cast<char>(c >> 8);
        out[2 * i + 1] = static_cast<char>(c & 0xFF);
    }
    return out;
}

// One use of a cached statement: binds, steps and reads columns; resets on the way out.
class Query {
public:
    explicit Query(sqlite3_stmt* statement) noexcept : s_(statement) {}
    ~Query() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Query(Query const&) = delete;
    Query& operator=(Query const&) = delete;

    Query& bind(int index, std::int64_t value) {
        check(sqlite3_bind_int64(s_, index, value));
        return *this;
    }
    // The bytes must outlive the query.
    Query& bind(int index, void const* bytes, std::size_t size) {
        if (size == 0) {
            check(sqlite3_bind_zeroblob(s_, index, 0));  // empty, not NULL
        } else {
            check(sqlite3_bind_blob64(s_, index, bytes, size, SQLITE_STATIC));
        }
        return *this;
    }
    Query& bind(int index, std::string const& bytes) {
        return bind(index, bytes.data(), bytes.size());
    }
    Query& bind(int index, std::u16string_view text) {
        return bind(index, text.data(), text.size() * sizeof(char16_t));
    }

    bool step() {
        int const rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw SqlError{rc};
    }

    std::int64_t integer(int column) const noexcept { return sqlite3_column_int64(s_, column); }

    std::u16string text(int column) const {
        void const* bytes = sqlite3_column_blob(s_, column);
        auto const size = static_cast<std::size_t>(sqlite3_column_bytes(s_, column));
        std::u16string out(size / sizeof(char16_t), u'\0');
        if (!out.empty()) std::memcpy(out.data(), bytes, out.size() * sizeof(char16_t));
        return out;
    }

    std::vector<BYTE> bytes(int column) const {
        void const* bytes = sqlite3_column_blob(s_, column);
        auto const size = static_cast<std::size_t>(sqlite3_column_bytes(s_, column));
        std::vector<BYTE> out(size);
        if (size != 0) std::memcpy(out.data(), bytes, size);
        return out;
    }

private:
    sqlite3_stmt* s_;
};

LONG mapError(int code, bool write) noexcept {
    if (code == SQLITE_IOERR_NOMEM) return ERROR_NOT_ENOUGH_MEMORY;
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_SHARING_VIOLATION;
        case SQLITE_NOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_CANTOPEN:
            return ERROR_ACCESS_DENIED;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_MISMATCH:
            return ERROR_REGISTRY_CORRUPT;
        case SQLITE_IOERR:
        case SQLITE_FULL:
            return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
        case SQLITE_TOOBIG:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool isBusy(int code) noexcept {
    return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

REGSAM normalizeAccess(REGSAM desired) noexcept {
    REGSAM access = desired & KEY_ALL_ACCESS;
    if (desired & kGenericRead) access |= KEY_READ;
    if (desired & kGenericWrite) access |= KEY_WRITE;
    if (desired & kGenericExecute) access |= KEY_EXECUTE;
    if (desired & (kGenericAll | kMaximumAllowed)) access |= KEY_ALL_ACCESS;
    return access;
}

bool isRoot(std::int64_t id) noexcept {
    return id >= kClassesRoot && id <= kLocalMachine;
}

bool explicitStore() noexcept {
    char const* chosen = std::getenv("AMBIVOX_REGISTRY");
    return chosen != nullptr && *chosen != '\0';
}

// mkdir -p of the folder holding `file`, private to the user as the data-folder convention asks.
void makeParents(std::string const& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        std::string const folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;  // open will report
    }
}

RegistryStore* g_store = nullptr;

}  // namespace

RegistryStore& RegistryStore::instance() noexcept {
    // Never destroyed: registry calls from other static destructors stay valid, and a process
    // that exits with the connection open leaves a store as consistent as a crash does.
    static RegistryStore* const store = [] {
        g_store = new RegistryStore;
        pthread_atfork(&RegistryStore::beforeFork, &RegistryStore::afterFork,
                       &RegistryStore::afterFork);
        return g_store;
    }();
    return *store;
}

// A SQLite connection must not cross fork: the child would share its locks' bookkeeping with
// the parent and could corrupt the file. Both sides reopen on their next call; handles survive.
void RegistryStore::beforeFork() noexcept {
    g_store->mutex_.lock();
    g_store->closeConnection();
}

void RegistryStore::afterFork() noexcept {
    g_store->mutex_.unlock();
}

std::string RegistryStore::path() noexcept {
    if (char const* chosen = std::getenv("AMBIVOX_REGISTRY"); chosen && *chosen) return chosen;
    std::string base;
    if (char const* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') {
        base = data;
    } else {
        char const* home = std::getenv("HOME");
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if ((home == nullptr || *home == '\0') &&
            getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) {
            home = found->pw_dir;
        }
        if (home == nullptr || *home == '\0') return {};
        base = std::string(home) + "/.local/share";
    }
    return base + "/ambivox/registry.db";
}

// --- Operations -----------------------------------------------------------------------------

LONG RegistryStore::createKey(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result,
                              DWORD& disposition) noexcept {
    std::lock_guard lock(mutex_);
    std::int64_t id = 0;
    DWORD how = REG_OPENED_EXISTING_KEY;
    std::uint32_t storeId = 0;
    LONG rc = withKey(base, 0, true, [&](Handle const& parent) -> LONG {
        std::int64_t current = parent.keyId;
        how = REG_OPENED_EXISTING_KEY;
        for (auto const& name : path) {
            std::int64_t next = findChild(current, name);
            if (next == 0) {
                if ((parent.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
                next = insertChild(current, name);
                how = REG_CREATED_NEW_KEY;
            }
            current = next;
        }
        id = current;
        storeId = parent.storeId;
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    try {
        result = addHandle(id, normalizeAccess(desired), storeId);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    disposition = how;
    return ERROR_SUCCESS;
}

LONG RegistryStore::openKey(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result) noexcept {
    std::lock_guard lock(mutex_);
    std::int64_t id = 0;
    std::uint32_t storeId = 0;
    LONG rc = withKey(base, 0, false, [&](Handle const& parent) -> LONG {
        id = walk(parent.keyId, path);
        storeId = parent.storeId;
        return id == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    try {
        result = addHandle(id, normalizeAccess(desired), storeId);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

LONG RegistryStore::closeKey(HKEY key) noexcept {
    auto const value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= kPredefinedFirst && value <= kPredefinedLast) {
        return value <= kPredefinedFirst + 2 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }
    std::lock_guard lock(mutex_);
    return handles_.erase(value) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegistryStore::setValue(HKEY key, std::u16string_view name, DWORD type, BYTE const* data,
                             DWORD size) noexcept {
    std::lock_guard lock(mutex_);
    return withKey(key, KEY_SET_VALUE, true, [&](Handle const& target) -> LONG {
        std::string const folded = fold(name);
        Query q(statement(kSetValue));
        q.bind(1, target.keyId).bind(2, name).bind(3, folded).bind(4, std::int64_t{type});
        q.bind(5, data, size).step();
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::queryValue(HKEY key, std::u16string_view name, DWORD& type,
                               std::vector<BYTE>& data) noexcept {
    std::lock_guard lock(mutex_);
    DWORD foundType = REG_NONE;
    std::vector<BYTE> found;
    LONG rc = withKey(key, KEY_QUERY_VALUE, false, [&](Handle const& target) -> LONG {
        std::string const folded = fold(name);
        Query q(statement(kQueryValue));
        q.bind(1, target.keyId).bind(2, folded);
        if (!q.step()) return ERROR_FILE_NOT_FOUND;
        foundType = static_cast<DWORD>(q.integer(0));
        found = q.bytes(1);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) {
        type = foundType;
        data = std::move(found);
    }
    return rc;
}

LONG RegistryStore::deleteValue(HKEY key, std::u16string_view name) noexcept {
    std::lock_guard lock(mutex_);
    return withKey(key, KEY_SET_VALUE, true, [&](Handle const& target) -> LONG {
        std::string const folded = fold(name);
        Query q(statement(kDeleteValue));
        q.bind(1, target.keyId).bind(2, folded).step();
        return sqlite3_changes(db_) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

LONG RegistryStore::deleteKey(HKEY base, KeyPath const& path) noexcept {
    std::lock_guard lock(mutex_);
    return withKey(base, 0, true, [&](Handle const& parent) -> LONG {
        std::int64_t const target = walk(parent.keyId, path);
        if (target == 0) return ERROR_FILE_NOT_FOUND;
        if (isRoot(target) || hasChildren(target)) return ERROR_ACCESS_DENIED;
        deleteSubtree(target, false);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::deleteTree(HKEY base, KeyPath const& path) noexcept {
    std::lock_guard lock(mutex_);
    return withKey(base, 0, true, [&](Handle const& parent) -> LONG {
        std::int64_t const target = walk(parent.keyId, path);
        if (target == 0) return ERROR_FILE_NOT_FOUND;
        deleteSubtree(target, path.empty());
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::enumKey(HKEY key, DWORD index, std::u16string& name) noexcept {
    std::lock_guard lock(mutex_);
    std::u16string found;
    LONG rc = withKey(key, KEY_ENUMERATE_SUB_KEYS, false, [&](Handle const& target) -> LONG {
        Query q(statement(kEnumKey));
        q.bind(1, target.keyId).bind(2, std::int64_t{index});
        if (!q.step()) return ERROR_NO_MORE_ITEMS;
        found = q.text(0);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) name = std::move(found);
    return rc;
}

LONG RegistryStore::enumValue(HKEY key, DWORD index, std::u16string& name, DWORD& type,
                              std::vector<BYTE>& data) noexcept {
    std::lock_guard lock(mutex_);
    std::u16string foundName;
    DWORD foundType = REG_NONE;
    std::vector<BYTE> found;
    LONG rc = withKey(key, KEY_QUERY_VALUE, false, [&](Handle const& target) -> LONG {
        Query q(statement(kEnumValue));
        q.bind(1, target.keyId).bind(2, std::int64_t{index});
        if (!q.step()) return ERROR_NO_MORE_ITEMS;
        foundName = q.text(0);
        foundType = static_cast<DWORD>(q.integer(1));
        found = q.bytes(2);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) {
        name = std::move(foundName);
        type = foundType;
        data = std::move(found);
    }
    return rc;
}

// --- Handles and transactions ---------------------------------------------------------------

template <class Body>
LONG RegistryStore::withKey(HKEY key, REGSAM needed, bool write, Body&& body) noexcept {
    std::uint32_t storeId = 0;
    try {
        callFile_ = path();
        storeId = storeIdFor(callFile_);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    Handle handle{};
    if (LONG rc = lookup(key, storeId, handle); rc != ERROR_SUCCESS) return rc;
    if ((handle.access & needed) != needed) return ERROR_ACCESS_DENIED;
    return transact(write, [&]() -> LONG {
        if (!keyExists(handle.keyId))
            return isRoot(handle.keyId) ? ERROR_REGISTRY_CORRUPT : ERROR_KEY_DELETED;
        return body(handle);
    });
}

template <class Body>
LONG RegistryStore::transact(bool write, Body&& body) noexcept {
    for (int attempt = 1;; ++attempt) {
        int failure = SQLITE_OK;
        try {
            ensureOpen(callFile_);
            exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
            LONG const rc = body();
            exec(rc == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
            if (write && rc == ERROR_SUCCESS) ++writes_;
            return rc;
        } catch (SqlError const& e) {
            failure = e.code;
        } catch (std::bad_alloc const&) {
            failure = SQLITE_NOMEM;
        }
        if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        if (isBusy(failure) && attempt < kAttempts) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
            continue;
        }
        // A damaged, replaced or unwritable file may be fixed by the next call: start afresh.
        if (!isBusy(failure)) closeConnection();
        return mapError(failure, write);
    }
}

bool RegistryStore::generation(generation_mark& mark) noexcept {
    std::lock_guard lock(mutex_);
    try {
        callFile_ = path();
        std::uint32_t const storeId = storeIdFor(callFile_);
        ensureOpen(callFile_);
        // SQLite counts the commits of other connections; this process counts its own.
        Query query(statement("PRAGMA data_version"));
        if (!query.step()) return false;
        mark = generation_mark{storeId, connections_, writes_, query.integer(0)};
        return true;
    } catch (...) {
        return false;
    }
}

LONG RegistryStore::lookup(HKEY key, std::uint32_t storeId, Handle& handle) const noexcept {
    auto const value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= kPredefinedFirst && value <= kPredefinedFirst + 2) {
        handle = Handle{kClassesRoot + static_cast<std::int64_t>(value - kPredefinedFirst),
                        KEY_ALL_ACCESS, storeId};
        return ERROR_SUCCESS;
    }
    auto const found = handles_.find(value);
    if (found == handles_.end()) return ERROR_INVALID_HANDLE;
    if (found->second.storeId != storeId) return ERROR_KEY_DELETED;
    handle = found->second;
    return ERROR_SUCCESS;
}

HKEY RegistryStore::addHandle(std::int64_t keyId, REGSAM access, std::uint32_t storeId) {
    // Handle values are never reused, so a stale copy of a closed handle stays invalid.
    do {
        lastHandle_ += 8;
    } while ((lastHandle_ >= kPredefinedFirst && lastHandle_ <= kPredefinedLast) ||
             handles_.count(lastHandle_) != 0);
    handles_.emplace(lastHandle_, Handle{keyId, access, storeId});
    return reinterpret_cast<HKEY>(lastHandle_);
}

std::uint32_t RegistryStore::storeIdFor(std::string const& file) {
    auto const [at, added] =
        storeIds_.try_emplace(file, static_cast<std::uint32_t>(storeIds_.size() + 1));
    return at->second;
}

// --- Connection -----------------------------------------------------------------------------

void RegistryStore::ensureOpen(std::string const& file) {
    if (db_ != nullptr && dbPid_ != getpid()) abandonConnection();
    if (db_ != nullptr && dbFile_ != file) closeConnection();
    if (db_ == nullptr) openConnection(file);
}

void RegistryStore::openConnection(std::string const& file) {
    if (file.empty()) throw SqlError{SQLITE_CANTOPEN};
    // A new connection counts other connections' commits afresh.
    ++connections_;
    if (!explicitStore()) makeParents(file);
    sqlite3* db = nullptr;
    int const rc =
        sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        throw SqlError{rc};
    }
    db_ = db;
    dbFile_ = file;
    dbPid_ = getpid();
    try {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        // WAL: readers never wait for the writer, and a commit is one append, so a crash at any
        // point leaves the last committed state. NORMAL sync keeps every commit across process
        // crashes; only a power loss may drop the latest commits, never consistency.
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
        initializeSchema();
    } catch (...) {
        closeConnection();
        throw;
    }
}

void RegistryStore::initializeSchema() {
    auto pragma = [this](char const* sql) {
        Query q(statement(sql));
        return q.step() ? q.integer(0) : 0;
    };
    auto verify = [&] {
        if (pragma(kUserVersionQuery) != kSchemaVersion) throw SqlError{SQLITE_NOTADB};
    };
    std::int64_t const id = pragma(kApplicationIdQuery);
    if (id == kApplicationId) return verify();
    if (id != 0) throw SqlError{SQLITE_NOTADB};

    // A new file: create the tables unless another process got there first.
    exec("BEGIN IMMEDIATE");
    if (pragma(kApplicationIdQuery) == kApplicationId) {
        exec("COMMIT");
        return verify();
    }
    if (pragma(kSchemaCount) != 0) throw SqlError{SQLITE_NOTADB};  // someone else's database
    exec(kSchema);
    static constexpr std::u16string_view rootNames[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                                        u"HKEY_LOCAL_MACHINE"};
    for (std::int64_t root = kClassesRoot; root <= kLocalMachine; ++root) {
        std::u16string_view const name = rootNames[root - kClassesRoot];
        std::string const folded = fold(name);
        Query q(statement(kInsertRoot));
        q.bind(1, root).bind(2, name).bind(3, folded).step();
    }
    exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
    exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    exec("COMMIT");
}

void RegistryStore::closeConnection() noexcept {
    for (auto& [sql, statement] : statements_)
        sqlite3_finalize(statement);
    statements_.clear();
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
    dbFile_.clear();
}

// The connection belongs to the parent process (we were forked without the fork handlers):
// closing it here could release the parent's locks, so it is left alone.
void RegistryStore::abandonConnection() noexcept {
    statements_.clear();
    db_ = nullptr;
    dbFile_.clear();
}

sqlite3_stmt* RegistryStore::statement(char const* sql) {
    auto const found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt* prepared = nullptr;
    int const rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(prepared);
        throw SqlError{rc};
    }
    try {
        statements_.emplace(sql, prepared);
    } catch (...) {
        sqlite3_finalize(prepared);
        throw;
    }
    return prepared;
}

void RegistryStore::exec(char const* sql) {
    check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

// --- Tree -----------------------------------------------------------------------------------

bool RegistryStore::keyExists(std::int64_t id) {
    Query q(statement(kKeyExists));
    return q.bind(1, id).step();
}

std::int64_t RegistryStore::findChild(std::int64_t parent, std::u16string_view name) {
    std::string const folded = fold(name);
    Query q(statement(kFindChild));
    return q.bind(1, parent).bind(2, folded).step() ? q.integer(0) : 0;
}

std::int64_t RegistryStore::walk(std::int64_t from, KeyPath const& path) {
    std::int64_t current = from;
    for (auto const& name : path) {
        current = findChild(current, name);
        if (current == 0) break;
    }
    return current;
}

std::int64_t RegistryStore::insertChild(std::int64_t parent, std::u16string_view name) {
    std::string const folded = fold(name);
    Query q(statement(kInsertChild));
    q.bind(1, parent).bind(2, name).bind(3, folded).step();
    return sqlite3_last_insert_rowid(db_);
}

bool RegistryStore::hasChildren(std::int64_t id) {
    Query q(statement(kHasChildren));
    return q.bind(1, id).step();
}

void RegistryStore::deleteSubtree(std::int64_t id, bool keepRoot) {
    {
        Query q(statement(kDeleteTreeValues));
        q.bind(1, id).step();
    }
    Query q(statement(kDeleteTreeKeys));
    q.bind(1, id).bind(2, std::int64_t{keepRoot ? 1 : 0}).step();
}

}  // namespace ambivox

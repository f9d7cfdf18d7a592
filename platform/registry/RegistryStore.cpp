#include "platform/registry/RegistryStore.h"

#include <fcntl.h>
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
constexpr std::int64_t classes_root = 1;
constexpr std::int64_t local_machine = 3;

constexpr std::uintptr_t predefined_first = 0x80000000u;
constexpr std::uintptr_t predefined_last = 0x800000FFu;

// Marks a database as a registry store, so a foreign SQLite file is refused instead of having
// our tables added to it.
constexpr int application_id = 0x41565247;  // "AVRG"
constexpr int schema_version = 1;

constexpr int busy_timeout_ms = 5000;
constexpr int attempts = 3;

constexpr REGSAM generic_read = 0x80000000u;
constexpr REGSAM generic_write = 0x40000000u;
constexpr REGSAM generic_execute = 0x20000000u;
constexpr REGSAM generic_all = 0x10000000u;
constexpr REGSAM maximum_allowed = 0x02000000u;

// Names are native UTF-16 blobs so that any sequence of code units survives. `fold` is the
// upper-cased name as big-endian UTF-16: byte order equals code-unit order, so ORDER BY fold is
// the case-insensitive name order and the UNIQUE constraint is the case-insensitive one.
constexpr char schema_sql[] =
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

constexpr char insert_root_sql[] =
    "INSERT INTO keys(id, parent, name, fold) VALUES(?1, NULL, ?2, ?3)";
constexpr char key_exists_sql[] = "SELECT 1 FROM keys WHERE id = ?1";
constexpr char find_child_sql[] = "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2";
constexpr char insert_child_sql[] = "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)";
constexpr char has_children_sql[] = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
constexpr char enum_key_sql[] =
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2";
constexpr char query_value_sql[] = "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2";
constexpr char set_value_sql[] =
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr char delete_value_sql[] = "DELETE FROM vals WHERE key = ?1 AND fold = ?2";
constexpr char enum_value_sql[] =
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY fold LIMIT 1 OFFSET ?2";
constexpr char delete_tree_values_sql[] =
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = "
    "t.id)"
    " DELETE FROM vals WHERE key IN (SELECT id FROM t)";
constexpr char delete_tree_keys_sql[] =
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = "
    "t.id)"
    " DELETE FROM keys WHERE id IN (SELECT id FROM t) AND (?2 = 0 OR id <> ?1)";
constexpr char application_id_query[] = "PRAGMA application_id";
constexpr char user_version_query[] = "PRAGMA user_version";
constexpr char schema_count_query[] = "SELECT count(*) FROM sqlite_master";

struct SqlError {
    int code;
};

// The folder meant to hold the store does not exist.
struct MissingFolder {};

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
    explicit Query(sqlite3_stmt* statement) noexcept : m_statement(statement) {}
    ~Query() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    Query(Query const&) = delete;
    Query& operator=(Query const&) = delete;

    Query& bind(int index, std::int64_t value) {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    // The bytes must outlive the query.
    Query& bind(int index, void const* bytes, std::size_t size) {
        if (size == 0) {
            check(sqlite3_bind_zeroblob(m_statement, index, 0));  // empty, not NULL
        } else {
            check(sqlite3_bind_blob64(m_statement, index, bytes, size, SQLITE_STATIC));
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
        int const rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw SqlError{rc};
    }

    std::int64_t integer(int column) const noexcept {
        return sqlite3_column_int64(m_statement, column);
    }

    std::u16string text(int column) const {
        void const* bytes = sqlite3_column_blob(m_statement, column);
        auto const size = static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column));
        std::u16string out(size / sizeof(char16_t), u'\0');
        if (!out.empty()) std::memcpy(out.data(), bytes, out.size() * sizeof(char16_t));
        return out;
    }

    std::vector<BYTE> bytes(int column) const {
        void const* bytes = sqlite3_column_blob(m_statement, column);
        auto const size = static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column));
        std::vector<BYTE> out(size);
        if (size != 0) std::memcpy(out.data(), bytes, size);
        return out;
    }

private:
    sqlite3_stmt* m_statement;
};

LONG map_error(int code, bool write) noexcept {
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

bool is_busy(int code) noexcept {
    return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED;
}

REGSAM normalize_access(REGSAM desired) noexcept {
    REGSAM access = desired & KEY_ALL_ACCESS;
    if (desired & generic_read) access |= KEY_READ;
    if (desired & generic_write) access |= KEY_WRITE;
    if (desired & generic_execute) access |= KEY_EXECUTE;
    if (desired & (generic_all | maximum_allowed)) access |= KEY_ALL_ACCESS;
    return access;
}

bool is_root(std::int64_t id) noexcept {
    return id >= classes_root && id <= local_machine;
}

bool explicit_store() noexcept {
    char const* chosen = std::getenv("AMBIVOX_REGISTRY");
    return chosen != nullptr && *chosen != '\0';
}

// mkdir -p of the folder holding `file`, private to the user as the data-folder convention asks.
void make_parents(std::string const& file) {
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1)) {
        std::string const folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;  // open will report
    }
}

std::string folder_of(std::string const& file) {
    std::size_t const slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

// Whether this process may write the store and the journal files SQLite keeps beside it. The
// usual set-up has an administrator register and users only read.
bool may_write(std::string const& file, std::string const& folder) noexcept {
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return false;
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

// Names `file` as a database nobody changes: SQLite then takes no locks and wants no journal
// files, so it reads where nothing can be created beside the store.
std::string immutable_uri(std::string const& file) {
    static constexpr char hex[] = "0123456789ABCDEF";
    // An empty authority, so that a path starting with two slashes is not taken for a host.
    std::string uri = file.starts_with('/') ? "file://" : "file:";
    for (char const c : file) {
        auto const u = static_cast<unsigned char>(c);
        bool const plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                           (u >= '0' && u <= '9') || c == '/' || c == '.' || c == '-' || c == '_' ||
                           c == '~';
        if (plain) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(hex[u >> 4]);
            uri.push_back(hex[u & 0xF]);
        }
    }
    return uri + "?immutable=1";
}

RegistryStore* g_store = nullptr;

}  // namespace

RegistryStore& RegistryStore::instance() noexcept {
    // Never destroyed: registry calls from other static destructors stay valid, and a process
    // that exits with the connection open leaves a store as consistent as a crash does.
    static RegistryStore* const store = [] {
        g_store = new RegistryStore;
        pthread_atfork(&RegistryStore::before_fork, &RegistryStore::after_fork,
                       &RegistryStore::after_fork);
        return g_store;
    }();
    return *store;
}

// A SQLite connection must not cross fork: the child would share its locks' bookkeeping with
// the parent and could corrupt the file. Both sides reopen on their next call; handles survive.
void RegistryStore::before_fork() noexcept {
    g_store->m_mutex.lock();
    g_store->close_connection();
}

void RegistryStore::after_fork() noexcept {
    g_store->m_mutex.unlock();
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

LONG RegistryStore::create_key(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result,
                               DWORD& disposition) noexcept {
    std::lock_guard lock(m_mutex);
    std::int64_t id = 0;
    DWORD how = REG_OPENED_EXISTING_KEY;
    std::uint32_t store_id = 0;
    LONG rc = with_key(base, 0, true, [&](Handle const& parent) -> LONG {
        store_id = parent.store_id;
        return create_path(parent, path, id, how);
    });
    if (rc != ERROR_SUCCESS) return rc;
    try {
        result = add_handle(id, normalize_access(desired), store_id);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    disposition = how;
    return ERROR_SUCCESS;
}

LONG RegistryStore::open_key(HKEY base, KeyPath const& path, REGSAM desired,
                             HKEY& result) noexcept {
    std::lock_guard lock(m_mutex);
    std::int64_t id = 0;
    std::uint32_t store_id = 0;
    LONG rc = with_key(base, 0, false, [&](Handle const& parent) -> LONG {
        id = walk(parent.key_id, path);
        store_id = parent.store_id;
        return id == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    try {
        result = add_handle(id, normalize_access(desired), store_id);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

LONG RegistryStore::close_key(HKEY key) noexcept {
    auto const value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= predefined_first && value <= predefined_last) {
        return value <= predefined_first + 2 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }
    std::lock_guard lock(m_mutex);
    return m_handles.erase(value) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegistryStore::set_value(HKEY key, std::u16string_view name, DWORD type, BYTE const* data,
                              DWORD size) noexcept {
    std::lock_guard lock(m_mutex);
    return with_key(key, KEY_SET_VALUE, true, [&](Handle const& target) -> LONG {
        write_value(target.key_id, name, type, data, size);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::create_and_set_value(HKEY base, KeyPath const& path, std::u16string_view name,
                                         DWORD type, BYTE const* data, DWORD size) noexcept {
    std::lock_guard lock(m_mutex);
    return with_key(base, path.empty() ? KEY_SET_VALUE : 0, true,
                    [&](Handle const& parent) -> LONG {
                        std::int64_t id = 0;
                        DWORD how = 0;
                        if (LONG rc = create_path(parent, path, id, how); rc != ERROR_SUCCESS)
                            return rc;
                        write_value(id, name, type, data, size);
                        return ERROR_SUCCESS;
                    });
}

LONG RegistryStore::query_value(HKEY key, std::u16string_view name, DWORD& type,
                                std::vector<BYTE>& data) noexcept {
    std::lock_guard lock(m_mutex);
    DWORD found_type = REG_NONE;
    std::vector<BYTE> found;
    LONG rc = with_key(key, KEY_QUERY_VALUE, false, [&](Handle const& target) -> LONG {
        std::string const folded = fold(name);
        Query q(statement(query_value_sql));
        q.bind(1, target.key_id).bind(2, folded);
        if (!q.step()) return ERROR_FILE_NOT_FOUND;
        found_type = static_cast<DWORD>(q.integer(0));
        found = q.bytes(1);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) {
        type = found_type;
        data = std::move(found);
    }
    return rc;
}

LONG RegistryStore::delete_value(HKEY key, std::u16string_view name) noexcept {
    std::lock_guard lock(m_mutex);
    return with_key(key, KEY_SET_VALUE, true, [&](Handle const& target) -> LONG {
        std::string const folded = fold(name);
        Query q(statement(delete_value_sql));
        q.bind(1, target.key_id).bind(2, folded).step();
        return sqlite3_changes(m_db) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

LONG RegistryStore::delete_key(HKEY base, KeyPath const& path) noexcept {
    std::lock_guard lock(m_mutex);
    return with_key(base, 0, true, [&](Handle const& parent) -> LONG {
        std::int64_t const target = walk(parent.key_id, path);
        if (target == 0) return ERROR_FILE_NOT_FOUND;
        if (is_root(target) || has_children(target)) return ERROR_ACCESS_DENIED;
        delete_subtree(target, false);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::delete_tree(HKEY base, KeyPath const& path) noexcept {
    std::lock_guard lock(m_mutex);
    return with_key(base, 0, true, [&](Handle const& parent) -> LONG {
        std::int64_t const target = walk(parent.key_id, path);
        if (target == 0) return ERROR_FILE_NOT_FOUND;
        delete_subtree(target, path.empty());
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::enum_key(HKEY key, DWORD index, std::u16string& name) noexcept {
    std::lock_guard lock(m_mutex);
    std::u16string found;
    LONG rc = with_key(key, KEY_ENUMERATE_SUB_KEYS, false, [&](Handle const& target) -> LONG {
        Query q(statement(enum_key_sql));
        q.bind(1, target.key_id).bind(2, std::int64_t{index});
        if (!q.step()) return ERROR_NO_MORE_ITEMS;
        found = q.text(0);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) name = std::move(found);
    return rc;
}

LONG RegistryStore::enum_value(HKEY key, DWORD index, std::u16string& name, DWORD& type,
                               std::vector<BYTE>& data) noexcept {
    std::lock_guard lock(m_mutex);
    std::u16string found_name;
    DWORD found_type = REG_NONE;
    std::vector<BYTE> found;
    LONG rc = with_key(key, KEY_QUERY_VALUE, false, [&](Handle const& target) -> LONG {
        Query q(statement(enum_value_sql));
        q.bind(1, target.key_id).bind(2, std::int64_t{index});
        if (!q.step()) return ERROR_NO_MORE_ITEMS;
        found_name = q.text(0);
        found_type = static_cast<DWORD>(q.integer(1));
        found = q.bytes(2);
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) {
        name = std::move(found_name);
        type = found_type;
        data = std::move(found);
    }
    return rc;
}

// --- Handles and transactions ---------------------------------------------------------------

template <class Body>
LONG RegistryStore::with_key(HKEY key, REGSAM needed, bool write, Body&& body) noexcept {
    std::uint32_t store_id = 0;
    try {
        m_call_file = path();
        store_id = store_id_for(m_call_file);
    } catch (std::bad_alloc const&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    Handle handle{};
    if (LONG rc = lookup(key, store_id, handle); rc != ERROR_SUCCESS) return rc;
    if ((handle.access & needed) != needed) return ERROR_ACCESS_DENIED;
    return transact(write, [&]() -> LONG {
        if (!key_exists(handle.key_id))
            return is_root(handle.key_id) ? ERROR_REGISTRY_CORRUPT : ERROR_KEY_DELETED;
        return body(handle);
    });
}

template <class Body>
LONG RegistryStore::transact(bool write, Body&& body) noexcept {
    for (int attempt = 1;; ++attempt) {
        int failure = SQLITE_OK;
        bool torn = false;
        try {
            ensure_open(m_call_file);
            if (write && m_read_only) {
                // Closed, so the next call looks at the permissions again.
                close_connection();
                return ERROR_ACCESS_DENIED;
            }
            exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
            LONG const rc = body();
            exec(rc == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK");
            torn = snapshot_moved();
            if (!torn) {
                if (write && rc == ERROR_SUCCESS) ++m_writes;
                return rc;
            }
        } catch (SqlError const& e) {
            failure = e.code;
            torn = snapshot_moved();
        } catch (MissingFolder const&) {
            return ERROR_PATH_NOT_FOUND;
        } catch (std::bad_alloc const&) {
            failure = SQLITE_NOMEM;
        }
        if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        // An immutable connection takes no locks: a writer that changed the file meanwhile may
        // have torn what it read. Read again from a fresh connection.
        if (torn) {
            close_connection();
            if (attempt < attempts) continue;
            return ERROR_SHARING_VIOLATION;
        }
        if (is_busy(failure) && attempt < attempts) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
            continue;
        }
        // A damaged, replaced or unwritable file may be fixed by the next call: start afresh.
        if (!is_busy(failure)) close_connection();
        return map_error(failure, write);
    }
}

bool RegistryStore::generation(generation_mark& mark) noexcept {
    std::lock_guard lock(m_mutex);
    try {
        m_call_file = path();
        std::uint32_t const store_id = store_id_for(m_call_file);
        ensure_open(m_call_file);
        // SQLite counts the commits of other connections; this process counts its own.
        Query query(statement("PRAGMA data_version"));
        if (!query.step()) return false;
        mark = generation_mark{store_id, m_connections, m_writes, query.integer(0)};
        return true;
    } catch (...) {
        return false;
    }
}

LONG RegistryStore::lookup(HKEY key, std::uint32_t store_id, Handle& handle) const noexcept {
    auto const value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= predefined_first && value <= predefined_first + 2) {
        handle = Handle{classes_root + static_cast<std::int64_t>(value - predefined_first),
                        KEY_ALL_ACCESS, store_id};
        return ERROR_SUCCESS;
    }
    auto const found = m_handles.find(value);
    if (found == m_handles.end()) return ERROR_INVALID_HANDLE;
    if (found->second.store_id != store_id) return ERROR_KEY_DELETED;
    handle = found->second;
    return ERROR_SUCCESS;
}

HKEY RegistryStore::add_handle(std::int64_t key_id, REGSAM access, std::uint32_t store_id) {
    // Handle values are never reused, so a stale copy of a closed handle stays invalid.
    do {
        m_last_handle += 8;
    } while ((m_last_handle >= predefined_first && m_last_handle <= predefined_last) ||
             m_handles.count(m_last_handle) != 0);
    m_handles.emplace(m_last_handle, Handle{key_id, access, store_id});
    return reinterpret_cast<HKEY>(m_last_handle);
}

std::uint32_t RegistryStore::store_id_for(std::string const& file) {
    auto const [at, added] =
        m_store_ids.try_emplace(file, static_cast<std::uint32_t>(m_store_ids.size() + 1));
    return at->second;
}

// --- Connection -----------------------------------------------------------------------------

void RegistryStore::ensure_open(std::string const& file) {
    if (m_db != nullptr && m_db_pid != getpid()) abandon_connection();
    if (m_db != nullptr && m_db_file != file) close_connection();
    // A read-only connection may be told of no other process's commit (an immutable one never
    // is, and one that reads a journal it cannot lock may miss it being checkpointed away): a
    // file that changed asks for a fresh connection.
    if (m_db != nullptr && m_read_only && stamp_of(file) != m_stamp) close_connection();
    if (m_db == nullptr) open_connection(file);
}

void RegistryStore::open_connection(std::string const& file) {
    if (file.empty()) throw SqlError{SQLITE_CANTOPEN};
    // A new connection counts other connections' commits afresh.
    ++m_connections;
    if (!explicit_store()) make_parents(file);
    std::string const folder = folder_of(file);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 ? !S_ISDIR(info.st_mode)
                                           : errno == ENOENT || errno == ENOTDIR)
        throw MissingFolder{};
    bool const writable = may_write(file, folder);
    // Taken before opening, so that a change made meanwhile shows at the next call.
    m_stamp = stamp_of(file);
    try {
        if (writable) {
            open_database(file.c_str(),
                          SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
            // WAL: readers never wait for the writer, and a commit is one append, so a crash at
            // any point leaves the last committed state. NORMAL sync keeps every commit across
            // process crashes; only a power loss may drop the latest commits, never consistency.
            exec("PRAGMA journal_mode=WAL");
            exec("PRAGMA synchronous=NORMAL");
            initialize_schema();
        } else {
            open_read_only(file);
        }
    } catch (...) {
        close_connection();
        throw;
    }
    m_db_file = file;
    m_db_pid = getpid();
}

// A writer that ended without closing its connection leaves the journal beside the store, and
// commits may still be only there: a plain read-only connection reads them. Without a journal
// it would have to create one, which the folder forbids; the file then holds every commit, and
// an immutable connection reads it.
void RegistryStore::open_read_only(std::string const& file) {
    try {
        open_database(file.c_str(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        m_read_only = true;
        initialize_schema();
        return;
    } catch (SqlError const& e) {
        if ((e.code & 0xFF) != SQLITE_READONLY && (e.code & 0xFF) != SQLITE_CANTOPEN) throw;
    }
    close_connection();
    open_database(immutable_uri(file).c_str(),
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX);
    m_read_only = true;
    m_immutable = true;
    initialize_schema();
}

void RegistryStore::open_database(char const* name, int flags) {
    sqlite3* db = nullptr;
    int const rc = sqlite3_open_v2(name, &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        throw SqlError{rc};
    }
    m_db = db;
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busy_timeout_ms);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

RegistryStore::store_stamp RegistryStore::stamp_of(std::string const& file) {
    auto stamp = [](std::string const& path) {
        file_stamp result;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            result.device = info.st_dev;
            result.inode = info.st_ino;
            result.size = info.st_size;
            result.modified_ns =
                info.st_mtim.tv_sec * std::int64_t{1'000'000'000} + info.st_mtim.tv_nsec;
        }
        return result;
    };
    return store_stamp{stamp(file), stamp(file + "-wal")};
}

bool RegistryStore::snapshot_moved() const noexcept {
    if (!m_immutable) return false;
    try {
        return stamp_of(m_db_file) != m_stamp;
    } catch (...) {
        return true;
    }
}

void RegistryStore::initialize_schema() {
    auto pragma = [this](char const* sql) {
        Query q(statement(sql));
        return q.step() ? q.integer(0) : 0;
    };
    auto verify = [&] {
        if (pragma(user_version_query) != schema_version) throw SqlError{SQLITE_NOTADB};
    };
    std::int64_t const id = pragma(application_id_query);
    if (id == application_id) return verify();
    if (id != 0) throw SqlError{SQLITE_NOTADB};
    if (m_read_only) throw SqlError{SQLITE_READONLY};

    // A new file: create the tables unless another process got there first.
    exec("BEGIN IMMEDIATE");
    if (pragma(application_id_query) == application_id) {
        exec("COMMIT");
        return verify();
    }
    if (pragma(schema_count_query) != 0) throw SqlError{SQLITE_NOTADB};  // someone else's database
    exec(schema_sql);
    static constexpr std::u16string_view root_names[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                                         u"HKEY_LOCAL_MACHINE"};
    for (std::int64_t root = classes_root; root <= local_machine; ++root) {
        std::u16string_view const name = root_names[root - classes_root];
        std::string const folded = fold(name);
        Query q(statement(insert_root_sql));
        q.bind(1, root).bind(2, name).bind(3, folded).step();
    }
    exec(("PRAGMA application_id=" + std::to_string(application_id)).c_str());
    exec(("PRAGMA user_version=" + std::to_string(schema_version)).c_str());
    exec("COMMIT");
}

void RegistryStore::close_connection() noexcept {
    for (auto& [sql, statement] : m_statements)
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_db != nullptr) sqlite3_close(m_db);
    m_db = nullptr;
    m_db_file.clear();
    m_read_only = false;
    m_immutable = false;
}

// The connection belongs to the parent process (we were forked without the fork handlers):
// closing it here could release the parent's locks, so it is left alone.
void RegistryStore::abandon_connection() noexcept {
    m_statements.clear();
    m_db = nullptr;
    m_db_file.clear();
    m_read_only = false;
    m_immutable = false;
}

sqlite3_stmt* RegistryStore::statement(char const* sql) {
    auto const found = m_statements.find(sql);
    if (found != m_statements.end()) return found->second;
    sqlite3_stmt* prepared = nullptr;
    int const rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(prepared);
        throw SqlError{rc};
    }
    try {
        m_statements.emplace(sql, prepared);
    } catch (...) {
        sqlite3_finalize(prepared);
        throw;
    }
    return prepared;
}

void RegistryStore::exec(char const* sql) {
    check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

// --- Tree -----------------------------------------------------------------------------------

bool RegistryStore::key_exists(std::int64_t id) {
    Query q(statement(key_exists_sql));
    return q.bind(1, id).step();
}

std::int64_t RegistryStore::find_child(std::int64_t parent, std::u16string_view name) {
    std::string const folded = fold(name);
    Query q(statement(find_child_sql));
    return q.bind(1, parent).bind(2, folded).step() ? q.integer(0) : 0;
}

std::int64_t RegistryStore::walk(std::int64_t from, KeyPath const& path) {
    std::int64_t current = from;
    for (auto const& name : path) {
        current = find_child(current, name);
        if (current == 0) break;
    }
    return current;
}

std::int64_t RegistryStore::insert_child(std::int64_t parent, std::u16string_view name) {
    std::string const folded = fold(name);
    Query q(statement(insert_child_sql));
    q.bind(1, parent).bind(2, name).bind(3, folded).step();
    return sqlite3_last_insert_rowid(m_db);
}

LONG RegistryStore::create_path(Handle const& parent, KeyPath const& path, std::int64_t& id,
                                DWORD& how) {
    std::int64_t current = parent.key_id;
    how = REG_OPENED_EXISTING_KEY;
    for (auto const& name : path) {
        std::int64_t next = find_child(current, name);
        if (next == 0) {
            if ((parent.access & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
            next = insert_child(current, name);
            how = REG_CREATED_NEW_KEY;
        }
        current = next;
    }
    id = current;
    return ERROR_SUCCESS;
}

void RegistryStore::write_value(std::int64_t key, std::u16string_view name, DWORD type,
                                BYTE const* data, DWORD size) {
    std::string const folded = fold(name);
    Query q(statement(set_value_sql));
    q.bind(1, key).bind(2, name).bind(3, folded).bind(4, std::int64_t{type});
    q.bind(5, data, size).step();
}

bool RegistryStore::has_children(std::int64_t id) {
    Query q(statement(has_children_sql));
    return q.bind(1, id).step();
}

void RegistryStore::delete_subtree(std::int64_t id, bool keep_root) {
    {
        Query q(statement(delete_tree_values_sql));
        q.bind(1, id).step();
    }
    Query q(statement(delete_tree_keys_sql));
    q.bind(1, id).bind(2, std::int64_t{keep_root ? 1 : 0}).step();
}

}  // namespace ambivox

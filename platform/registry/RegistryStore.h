// The registry's storage: the SQLite connection, the table of open key handles and the
// operations the registry functions are built from. One store serves the whole process; every
// operation locks it and runs as one transaction.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/Registry.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ambivox {

class RegistryStore {
public:
    // Key names along a path, each non-empty and at most 255 characters (the caller checks).
    using KeyPath = std::vector<std::u16string>;

    static RegistryStore& instance() noexcept;

    // The file the next operation will use (see ambivox::registry_path).
    static std::string path() noexcept;

    // The operations below follow the registry functions of the same purpose, with the caller's
    // arguments already checked and buffers replaced by strings and vectors. Out-parameters are
    // written only on success.
    LONG create_key(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result,
                    DWORD& disposition) noexcept;
    LONG open_key(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result) noexcept;
    LONG close_key(HKEY key) noexcept;
    LONG set_value(HKEY key, std::u16string_view name, DWORD type, BYTE const* data,
                   DWORD size) noexcept;
    // Creates `path` below `base` as needed and sets the value there, in one transaction: no
    // other process can delete the key in between.
    LONG create_and_set_value(HKEY base, KeyPath const& path, std::u16string_view name, DWORD type,
                              BYTE const* data, DWORD size) noexcept;
    LONG query_value(HKEY key, std::u16string_view name, DWORD& type,
                     std::vector<BYTE>& data) noexcept;
    LONG delete_value(HKEY key, std::u16string_view name) noexcept;
    LONG delete_key(HKEY base, KeyPath const& path) noexcept;   // empty path: `base` itself
    LONG delete_tree(HKEY base, KeyPath const& path) noexcept;  // empty path: contents of `base`
    LONG enum_key(HKEY key, DWORD index, std::u16string& name) noexcept;
    LONG enum_value(HKEY key, DWORD index, std::u16string& name, DWORD& type,
                    std::vector<BYTE>& data) noexcept;

    // What identifies the state of the store in use: it compares unequal once the store may
    // have changed, by a write of this process or a commit of another, or by another file being
    // chosen. Lets readers keep what they looked up until then.
    struct generation_mark {
        std::uint32_t store = 0;
        std::uint64_t connection = 0;
        std::uint64_t writes = 0;
        std::int64_t data_version = -1;
        friend bool operator==(generation_mark const&, generation_mark const&) = default;
    };
    // False when the store cannot be opened (nothing may then be kept).
    bool generation(generation_mark& mark) noexcept;

    RegistryStore(RegistryStore const&) = delete;
    RegistryStore& operator=(RegistryStore const&) = delete;

private:
    struct Handle {
        std::int64_t key_id;
        REGSAM access;
        std::uint32_t store_id;  // which file the key id belongs to
    };

    RegistryStore() noexcept = default;
    ~RegistryStore() = default;

    static void before_fork() noexcept;
    static void after_fork() noexcept;

    // Everything below runs with m_mutex held.
    template <class Body>
    LONG with_key(HKEY key, REGSAM needed, bool write, Body&& body) noexcept;
    template <class Body>
    LONG transact(bool write, Body&& body) noexcept;
    LONG lookup(HKEY key, std::uint32_t store_id, Handle& handle) const noexcept;
    HKEY add_handle(std::int64_t key_id, REGSAM access, std::uint32_t store_id);
    std::uint32_t store_id_for(std::string const& file);

    // Enough of a file's status to tell that another process changed it.
    struct file_stamp {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = -1;  // -1: no such file
        std::int64_t modified_ns = 0;
        friend bool operator==(file_stamp const&, file_stamp const&) = default;
    };
    struct store_stamp {
        file_stamp store;
        file_stamp journal;  // the write-ahead log beside the store
        friend bool operator==(store_stamp const&, store_stamp const&) = default;
    };
    static store_stamp stamp_of(std::string const& file);

    void ensure_open(std::string const& file);
    void open_connection(std::string const& file);
    void open_read_only(std::string const& file);
    void open_database(char const* name, int flags);
    bool snapshot_moved() const noexcept;
    void initialize_schema();
    void close_connection() noexcept;
    void abandon_connection() noexcept;
    sqlite3_stmt* statement(char const* sql);
    void exec(char const* sql);

    bool key_exists(std::int64_t id);
    std::int64_t find_child(std::int64_t parent, std::u16string_view name);
    std::int64_t walk(std::int64_t from, KeyPath const& path);  // 0 when a key is missing
    std::int64_t insert_child(std::int64_t parent, std::u16string_view name);
    // Walks down from `parent`, adding the keys that are missing (which needs KEY_CREATE_SUB_KEY).
    LONG create_path(Handle const& parent, KeyPath const& path, std::int64_t& id, DWORD& how);
    void write_value(std::int64_t key, std::u16string_view name, DWORD type, BYTE const* data,
                     DWORD size);
    bool has_children(std::int64_t id);
    void delete_subtree(std::int64_t id, bool keep_root);

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::string m_db_file;
    pid_t m_db_pid = 0;
    bool m_read_only = false;         // the store or its folder is not ours to write
    bool m_immutable = false;         // a read-only connection that sees no other process's commits
    store_stamp m_stamp;              // the files as they were when a read-only connection opened
    std::string m_call_file;          // the file the current operation resolved
    std::uint64_t m_writes = 0;       // write transactions this process committed
    std::uint64_t m_connections = 0;  // connections opened, so a reopened one is told apart
    std::unordered_map<char const*, sqlite3_stmt*> m_statements;
    std::unordered_map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_last_handle = 0x10000;
    std::unordered_map<std::string, std::uint32_t> m_store_ids;
};

}  // namespace ambivox

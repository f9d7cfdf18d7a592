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
    LONG createKey(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result,
                   DWORD& disposition) noexcept;
    LONG openKey(HKEY base, KeyPath const& path, REGSAM desired, HKEY& result) noexcept;
    LONG closeKey(HKEY key) noexcept;
    LONG setValue(HKEY key, std::u16string_view name, DWORD type, BYTE const* data,
                  DWORD size) noexcept;
    LONG queryValue(HKEY key, std::u16string_view name, DWORD& type,
                    std::vector<BYTE>& data) noexcept;
    LONG deleteValue(HKEY key, std::u16string_view name) noexcept;
    LONG deleteKey(HKEY base, KeyPath const& path) noexcept;   // empty path: `base` itself
    LONG deleteTree(HKEY base, KeyPath const& path) noexcept;  // empty path: contents of `base`
    LONG enumKey(HKEY key, DWORD index, std::u16string& name) noexcept;
    LONG enumValue(HKEY key, DWORD index, std::u16string& name, DWORD& type,
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
        std::int64_t keyId;
        REGSAM access;
        std::uint32_t storeId;  // which file the key id belongs to
    };

    RegistryStore() noexcept = default;
    ~RegistryStore() = default;

    static void beforeFork() noexcept;
    static void afterFork() noexcept;

    // Everything below runs with mutex_ held.
    template <class Body>
    LONG withKey(HKEY key, REGSAM needed, bool write, Body&& body) noexcept;
    template <class Body>
    LONG transact(bool write, Body&& body) noexcept;
    LONG lookup(HKEY key, std::uint32_t storeId, Handle& handle) const noexcept;
    HKEY addHandle(std::int64_t keyId, REGSAM access, std::uint32_t storeId);
    std::uint32_t storeIdFor(std::string const& file);

    void ensureOpen(std::string const& file);
    void openConnection(std::string const& file);
    void initializeSchema();
    void closeConnection() noexcept;
    void abandonConnection() noexcept;
    sqlite3_stmt* statement(char const* sql);
    void exec(char const* sql);

    bool keyExists(std::int64_t id);
    std::int64_t findChild(std::int64_t parent, std::u16string_view name);
    std::int64_t walk(std::int64_t from, KeyPath const& path);  // 0 when a key is missing
    std::int64_t insertChild(std::int64_t parent, std::u16string_view name);
    bool hasChildren(std::int64_t id);
    void deleteSubtree(std::int64_t id, bool keepRoot);

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    std::string dbFile_;
    pid_t dbPid_ = 0;
    std::string callFile_;           // the file the current operation resolved
    std::uint64_t writes_ = 0;       // write transactions this process committed
    std::uint64_t connections_ = 0;  // connections opened, so a reopened one is told apart
    std::unordered_map<char const*, sqlite3_stmt*> statements_;
    std::unordered_map<std::uintptr_t, Handle> handles_;
    std::uintptr_t lastHandle_ = 0x10000;
    std::unordered_map<std::string, std::uint32_t> storeIds_;
};

}  // namespace ambivox

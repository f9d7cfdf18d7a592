// The registry: a hierarchy of keys holding named, typed values under three predefined roots,
// kept in one SQLite file per user (see registry_path()). Key and value names compare without
// regard to letter case but keep the case they were created with.
//
// Every call is one transaction: it either happens completely or not at all, even when the
// process dies mid-call or another process writes the same file at the same time. Calls are
// safe from any thread.
//
// Every function answers ERROR_SUCCESS or a Win32 error code (and also sets the thread's last
// error to a failure code). Out-parameters are owned by the caller; unless a function says
// otherwise, a failure leaves them untouched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/Errors.h"
#include "platform/base/Types.h"

using LSTATUS = LONG;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

// Value types. Data is stored as the caller's bytes; only REG_DWORD and REG_QWORD check a size.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;  // UTF-16 text including its terminator
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;  // exactly 4 bytes, little-endian
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;  // exactly 8 bytes, little-endian

// Access rights. A handle carries the rights it was opened with; predefined keys carry all.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;  // accepted and ignored: there is one view
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;  // accepted and ignored: there is one view
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;  // the only option this store supports

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Paths are backslash-separated key names relative to `key`. A path may not start with a
// backslash or contain an empty name (ERROR_BAD_PATHNAME); one trailing backslash is ignored.
// A key name is at most 255 characters, a value name at most 16383 (ERROR_INVALID_PARAMETER).
//
// Common failures of every function taking a key: ERROR_INVALID_HANDLE for a handle that is not
// open (never dereferenced, so any value is safe to pass), ERROR_KEY_DELETED when the handle's
// key has been deleted since it was opened, ERROR_ACCESS_DENIED when the handle lacks the right
// the call needs or the store file cannot be opened or written, ERROR_PATH_NOT_FOUND when the
// folder of the store file does not exist, ERROR_REGISTRY_CORRUPT when the file is not a
// registry store, ERROR_SHARING_VIOLATION when another process holds the store locked for longer
// than several seconds. A store that this process may not write, or whose folder it may not
// write, is still read (and follows what its writers commit); only writes to it fail.

// Opens `subKey`, creating it and every missing key along the path (creating needs
// KEY_CREATE_SUB_KEY on `key`). `cls`, `security` and `reserved` are ignored; options other than
// REG_OPTION_NON_VOLATILE give ERROR_INVALID_PARAMETER. On success *result is a new handle the
// caller closes with RegCloseKey, and *disposition (optional) tells whether the last key was
// created. On failure *result is null.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options,
                        REGSAM desired, void* security, PHKEY result, DWORD* disposition) noexcept;

// Opens an existing key; a null or empty `subKey` opens a new handle to `key` itself.
// ERROR_FILE_NOT_FOUND when a key along the path is missing. On success *result is a new handle
// the caller closes with RegCloseKey; on failure *result is null.
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                      PHKEY result) noexcept;

// Closes a handle. Closing a predefined key succeeds and does nothing; a handle that is not open
// (already closed, never opened) gives ERROR_INVALID_HANDLE. A handle to a deleted key closes
// normally.
LSTATUS RegCloseKey(HKEY key) noexcept;

// Sets a value (needs KEY_SET_VALUE); a null or empty name is the key's default value. `data`
// holds `size` bytes; for REG_SZ they include the terminator. A value that exists takes the new
// type and data and keeps the case of its original name. ERROR_INVALID_PARAMETER for a REG_DWORD
// that is not 4 bytes or a REG_QWORD that is not 8; ERROR_NOACCESS for null data with a non-zero
// size.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size) noexcept;

// Reads a value (needs KEY_QUERY_VALUE). *type (optional) receives its type whenever the value
// exists. With `data` null and `size` given, *size receives the byte count. With `data` given,
// `size` is required and holds the buffer's byte count: when it suffices the bytes are copied
// and *size receives their count; otherwise ERROR_MORE_DATA, *size receives the count needed and
// the buffer is untouched. ERROR_FILE_NOT_FOUND when the value does not exist.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size) noexcept;

// Deletes a value (needs KEY_SET_VALUE). ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) noexcept;

// Deletes `subKey` and its values. An empty `subKey` deletes `key` itself (a predefined key
// cannot be deleted: ERROR_ACCESS_DENIED); null gives ERROR_INVALID_PARAMETER. Fails with
// ERROR_ACCESS_DENIED when the key has subkeys and ERROR_FILE_NOT_FOUND when it is missing.
// Handles open on the deleted key then fail with ERROR_KEY_DELETED.
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) noexcept;

// Deletes `subKey` with everything below it. With `subKey` null or empty it deletes every
// subkey and value of `key` and keeps `key` itself. ERROR_FILE_NOT_FOUND when `subKey` is
// missing.
LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) noexcept;

// Answers the name of the index-th subkey (needs KEY_ENUMERATE_SUB_KEYS), in case-insensitive
// name order; ERROR_NO_MORE_ITEMS past the end. *cchName holds the buffer's size in characters
// including the terminator; on success it receives the name's length without the terminator.
// When the buffer is too small: ERROR_MORE_DATA, *cchName receives the size needed including the
// terminator and the buffer is untouched. `cls` (optional, with *cchClass) receives an empty
// string; `lastWrite` (optional, 8 bytes) receives zero, as the store keeps no write times.
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* cchName, DWORD* reserved,
                      LPWSTR cls, DWORD* cchClass, void* lastWrite) noexcept;

// Answers the index-th value (needs KEY_QUERY_VALUE), in case-insensitive name order (the
// default value, if set, comes first with an empty name); ERROR_NO_MORE_ITEMS past the end.
// `name`/`cchName` follow RegEnumKeyExW; `type`, `data` and `size` follow RegQueryValueExW. When
// only the data buffer is too small the name is still copied, *size receives the count needed
// and the answer is ERROR_MORE_DATA.
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* cchName, DWORD* reserved,
                      DWORD* type, BYTE* data, DWORD* size) noexcept;

namespace ambivox {

// The store file in use: $AMBIVOX_REGISTRY when set and not empty, else
// $XDG_DATA_HOME/ambivox/registry.db, else ~/.local/share/ambivox/registry.db. It is read again
// on every registry call, so changing the variable switches stores; handles opened in the
// previous store then fail with ERROR_KEY_DELETED.
std::string registry_path() noexcept;

// Conveniences over the functions above. Paths and names are not null-terminated views; one
// holding a null character gives ERROR_INVALID_PARAMETER. An empty `sub_key` names `key` itself.

// Creates `sub_key` as needed and sets a REG_SZ value (the terminator is added), in one
// transaction.
LSTATUS reg_set_string(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                       std::u16string_view value) noexcept;
// Creates `sub_key` as needed and sets a REG_DWORD value, in one transaction.
LSTATUS reg_set_dword(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                      DWORD value) noexcept;
// Reads a REG_SZ or REG_EXPAND_SZ value into `value`, without terminators; ERROR_INVALID_DATA for
// a value of another type. `value` is changed only on success.
LSTATUS reg_get_string(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                       std::u16string& value) noexcept;
// Reads a REG_DWORD value; ERROR_INVALID_DATA for a value of another type. `value` is changed
// only on success.
LSTATUS reg_get_dword(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                      DWORD& value) noexcept;
// Lists the names of the subkeys of `sub_key` in enumeration order. `names` is replaced on
// success and unchanged on failure.
LSTATUS reg_subkey_names(HKEY key, std::u16string_view sub_key,
                         std::vector<std::u16string>& names) noexcept;

}  // namespace ambivox

// The component runtime: per-thread initialisation and object creation by class identifier.
#pragma once

#include "platform/com/Unknown.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// The first call on a thread answers S_OK, later ones S_FALSE; each needs its CoUninitialize.
// Asking for another apartment model than the thread has: RPC_E_CHANGED_MODE (not counted).
HRESULT CoInitialize(void* reserved) noexcept;
HRESULT CoInitializeEx(void* reserved, DWORD coinit) noexcept;
void CoUninitialize() noexcept;

// *ppv receives a new reference owned by the caller, or null on failure. CO_E_NOTINITIALIZED
// on a thread that has not initialised the runtime.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                         void** ppv) noexcept;
// The runtime's own classes are served without registration; any other class through
// CLSID\{clsid}\InprocServer32 in HKEY_CLASSES_ROOT, whose module is loaded and kept loaded.
// REGDB_E_CLASSNOTREG when the class is not registered, CO_E_DLLNOTFOUND when its module
// cannot be loaded, CO_E_ERRORINDLL when the module is not a component server.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* serverInfo, REFIID riid,
                         void** ppv) noexcept;

// Unloads the loaded component modules that answer S_OK to DllCanUnloadNow.
void CoFreeUnusedLibraries() noexcept;

// Reads ProgID\CLSID; CO_E_CLASSSTRING for an unknown ProgID.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) noexcept;
// Reads CLSID\{clsid}\ProgID into a string the caller frees with CoTaskMemFree;
// REGDB_E_CLASSNOTREG when there is none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept;

void* CoTaskMemAlloc(SIZE_T size) noexcept;
void* CoTaskMemRealloc(void* block, SIZE_T size) noexcept;
void CoTaskMemFree(void* block) noexcept;

namespace ambivox {

// Answers a class object for one of the runtime's own classes (served without registration).
using builtin_class_getter = HRESULT (*)(REFIID riid, void** ppv) noexcept;

// Adds a built-in class; raises std::bad_alloc. A second entry for the same class replaces the
// first.
void register_builtin_class(CLSID const& clsid, builtin_class_getter getter);

// Whether the calling thread has initialised the runtime.
bool runtime_initialized() noexcept;

}  // namespace ambivox

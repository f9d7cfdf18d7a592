#include "tests/support/SdkModule.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace ambivox::testing {

namespace {

template <class F>
F entry(void* handle, char const* name) {
    return handle != nullptr ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
}

}  // namespace

SdkModule::SdkModule(std::string path) : m_path(std::move(path)) {
    m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(m_handle, nullptr) << dlerror();
}

SdkModule::~SdkModule() {
    if (m_handle != nullptr) dlclose(m_handle);
}

HRESULT SdkModule::register_server() const {
    auto f = entry<HRESULT (*)()>(m_handle, "DllRegisterServer");
    return f != nullptr ? f() : E_FAIL;
}

HRESULT SdkModule::unregister_server() const {
    auto f = entry<HRESULT (*)()>(m_handle, "DllUnregisterServer");
    return f != nullptr ? f() : E_FAIL;
}

HRESULT SdkModule::can_unload_now() const {
    auto f = entry<HRESULT (*)()>(m_handle, "DllCanUnloadNow");
    return f != nullptr ? f() : E_FAIL;
}

HRESULT SdkModule::get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const {
    auto f = entry<HRESULT (*)(REFCLSID, REFIID, void**)>(m_handle, "DllGetClassObject");
    return f != nullptr ? f(clsid, riid, ppv) : E_FAIL;
}

std::u16string SdkModule::wide_path() const {
    return {m_path.begin(), m_path.end()};
}

}  // namespace ambivox::testing

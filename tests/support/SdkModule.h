// The built AmbivoxSDK.so, loaded directly as a registration tool does, with its entry points.
#pragma once

#include <string>

#include "platform/com/Unknown.h"

namespace ambivox::testing {

class SdkModule {
public:
    // Loads the module at `path` (the build's own module by default); fails the test when it
    // cannot be loaded.
    explicit SdkModule(std::string path = AMBIVOX_SDK_MODULE_PATH);
    ~SdkModule();
    SdkModule(SdkModule const&) = delete;
    SdkModule& operator=(SdkModule const&) = delete;

    HRESULT register_server() const;
    HRESULT unregister_server() const;
    HRESULT can_unload_now() const;
    HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const;

    std::string const& path() const noexcept { return m_path; }
    std::u16string wide_path() const;

private:
    std::string m_path;
    void* m_handle = nullptr;
};

}  // namespace ambivox::testing

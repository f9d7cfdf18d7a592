// ambivox-regsvr: registers or unregisters a component module, as regsvr32 does.
//
//     ambivox-regsvr [-u] [MODULE]
//
// Without MODULE it takes AmbivoxSDK.so beside this program, else the installed one. Exit code
// 0 on success, 1 when the module failed or could not be loaded, 2 for bad usage.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/base/CodePage.h"
#include "platform/base/HResultMessage.h"
#include "platform/base/Types.h"
#include "tools/DefaultModulePath.h"

namespace {

namespace fs = std::filesystem;

std::string describe(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = code;
    std::string_view const name = ambivox::hresult_name(hr);
    if (!name.empty()) text += " (" + std::string(name) + ")";
    std::u16string_view const message = ambivox::hresult_message(hr);
    if (!message.empty()) text += ": " + ambivox::narrow(message, CP_UTF8);
    return text;
}

int usage() {
    std::fprintf(stderr, "usage: ambivox-regsvr [-u] [MODULE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    std::string module;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0 || std::strcmp(argv[i], "/u") == 0)
            unregister = true;
        else if (argv[i][0] == '-' || !module.empty())
            return usage();
        else
            module = argv[i];
    }
    if (module.empty()) module = ambivox::tools::default_module_path();

    char const* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // A relative path names a file, not a library search.
    std::error_code error;
    std::string const path = fs::absolute(module, error).string();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::printf("ambivox-regsvr: cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    auto function = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
    if (function == nullptr) {
        std::printf("ambivox-regsvr: %s does not export %s\n", path.c_str(), entry);
        dlclose(handle);
        return 1;
    }
    HRESULT const hr = function();
    if (hr >= 0)
        std::printf("%s in %s succeeded.\n", entry, path.c_str());
    else
        std::printf("%s in %s failed with %s\n", entry, path.c_str(), describe(hr).c_str());
    dlclose(handle);
    return hr >= 0 ? 0 : 1;
}

// regsvr [-u] [-s] LIBRARY.so
// Registers (or with -u unregisters) an in-process server in the machine folder's registry
// by calling its DllRegisterServer (DllUnregisterServer) export, as the platform's own
// registration program does. Exits 0 on success; otherwise prints the status and exits 1
// (2 for a usage error, 3 when the library cannot be loaded or lacks the export).
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/com/hresult.h"

int main(int argc, char** argv) {
    bool unregister = false, silent = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-u") || !std::strcmp(argv[i], "/u"))
            unregister = true;
        else if (!std::strcmp(argv[i], "-s") || !std::strcmp(argv[i], "/s"))
            silent = true;
        else if (!library)
            library = argv[i];
        else
            library = nullptr, i = argc;
    }
    if (!library) {
        std::fprintf(stderr, "usage: regsvr [-u] [-s] LIBRARY.so\n");
        return 2;
    }
    std::error_code ec;
    std::string path = std::filesystem::absolute(library, ec).string();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", library, dlerror());
        return 3;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<platform::com::HRESULT (*)()>(dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "regsvr: %s has no entry point %s\n", library, entry);
        return 3;
    }
    platform::com::HRESULT hr = fn();
    // The library stays loaded until exit: objects it handed out may still be alive.
    if (platform::com::FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: error 0x%08X\n", entry, library,
                     static_cast<unsigned>(hr));
        return 1;
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entry, library);
    return 0;
}

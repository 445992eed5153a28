// regsvr [-u] [-s] LIBRARY.so
// Registers (or with -u unregisters) an in-process server in the machine folder's registry
// by calling its DllRegisterServer (DllUnregisterServer) export, as the platform's own
// registration program does. Exits 0 on success; otherwise prints the status and exits 1
// (2 for a usage error, 3 when the library is refused, cannot be loaded or lacks the export).
// A library is registered only from a folder that no other user can write (see
// platform/system/codefile.h), since the runtime would refuse to load it from anywhere else.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "platform/com/hresult.h"
#include "platform/com/loader.h"
#include "platform/system/filelimit.h"

namespace {

// What a failed registration status means, beside its number.
const char* meaning(platform::com::HRESULT hr) {
    switch (static_cast<unsigned>(hr)) {
        case 0x80040200u:
            return "the type library could not be registered";
        case 0x80040201u:
            return "the class could not be written to the registry (the cause is given above)";
        case 0x80070005u:
            return "access denied";
        case 0x8007000Eu:
            return "out of memory";
        default:
            return "the library reported a failure";
    }
}

int run(int argc, char** argv) {
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
    // A name given here is the user's own choice: it is made absolute against the working
    // folder, and the registry keeps that absolute path.
    std::error_code ec;
    std::string path = std::filesystem::absolute(library, ec).lexically_normal().string();
    if (ec) {
        std::fprintf(stderr, "regsvr: cannot make %s an absolute path: %s\n", library,
                     ec.message().c_str());
        return 3;
    }
    std::string why;
    bool refused = false;
    void* handle = platform::com::loadLibraryFile(path, why, refused);
    if (!handle) {
        std::fprintf(stderr, "regsvr: %s\n", why.c_str());
        return 3;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn =
        reinterpret_cast<platform::com::HRESULT (*)()>(platform::com::libraryEntry(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "regsvr: %s has no entry point %s\n", library, entry);
        return 3;
    }
    platform::com::HRESULT hr = fn();
    // The library stays loaded until exit: objects it handed out may still be alive.
    if (platform::com::FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: error 0x%08X: %s\n", entry, library,
                     static_cast<unsigned>(hr), meaning(hr));
        return 1;
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entry, library);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::system::ignoreFileSizeSignal();  // a file size limit fails the write instead
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "regsvr: failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "regsvr: failed with an unknown exception\n");
    }
    return 1;
}

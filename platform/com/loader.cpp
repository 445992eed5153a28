#include "platform/com/loader.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/system/codefile.h"

namespace platform::com {

void* loadLibraryFile(const std::string& path, std::string& why, bool& refused) {
    refused = false;
    if (auto unsafe = platform::system::unsafeCodePath(path)) {
        refused = true;
        why = "refusing to load " + path + ": " + *unsafe;
        return nullptr;
    }
    if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    const char* error = ::dlerror();
    why = "cannot load " + path + ": " + (error ? error : "unknown error");
    return nullptr;
}

void* openServerLibrary(const std::string& path, std::string& why, bool& refused) {
    void* handle = loadLibraryFile(path, why, refused);
    if (!handle) std::fprintf(stderr, "tessel com: %s\n", why.c_str());
    return handle;
}

void closeLibrary(void* library) {
    if (library) ::dlclose(library);
}

void* libraryEntry(void* library, const char* name) {
    return library ? ::dlsym(library, name) : nullptr;
}

}  // namespace platform::com

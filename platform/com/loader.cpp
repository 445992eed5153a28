#include "platform/com/loader.h"

#include <dlfcn.h>

#include <cstdio>

#include "platform/system/codefile.h"

namespace platform::com {

void* openServerLibrary(const std::string& path, std::string& why, bool& refused) {
    refused = false;
    if (auto unsafe = platform::system::unsafeCodePath(path)) {
        refused = true;
        why = "refusing to load " + path + ": " + *unsafe;
    } else if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        return handle;
    } else {
        const char* error = ::dlerror();
        why = "cannot load " + path + ": " + (error ? error : "unknown error");
    }
    std::fprintf(stderr, "tessel com: %s\n", why.c_str());
    return nullptr;
}

}  // namespace platform::com

// Whether a class can be created, and having a server file register itself when it cannot.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/com/loader.h"
#include "platform/com/runtime.h"
#include "platform/text/codepage.h"
#include "privileged/kestrum.h"

namespace kestrum {

namespace {

std::atomic<long long> timeoutMs{10000};

// What the caller and the worker share; the last of them to finish releases the library, so
// it stays loaded for as long as its entry point may run.
struct Run {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    void* library = nullptr;
    ~Run() { platform::com::closeLibrary(library); }
};

}  // namespace

void setRegistrationTimeout(std::chrono::milliseconds timeout) {
    timeoutMs = timeout.count();
}

int registerServerFile(std::u16string_view path, int mode) {
    if (path.empty()) return 0;
    std::string why;
    bool refused = false;
    void* library = platform::com::loadLibraryFile(platform::text::toUtf8(path), why, refused);
    if (!library) {
        log(platform::text::fromUtf8(why));
        return 1;
    }
    auto run = std::make_shared<Run>();
    run->library = library;
    const char* name = mode == 1 ? "DllRegisterServer" : mode == 2 ? "DllUnregisterServer" : "";
    using Entry = std::int32_t (*)();
    auto entry =
        reinterpret_cast<Entry>(*name ? platform::com::libraryEntry(library, name) : nullptr);
    if (!entry) return 2;  // the library is released with `run`
    try {
        std::thread([run, entry] {
            std::int32_t result = entry();
            if (result != 0)
                log(u"the registration entry point answered failure " +
                    platform::text::fromUtf8(std::to_string(result)));
            std::lock_guard lock(run->mutex);
            run->finished = true;
            run->done.notify_all();
        }).detach();
    } catch (...) {
        return 0;
    }
    std::unique_lock lock(run->mutex);
    if (!run->done.wait_for(lock, std::chrono::milliseconds(timeoutMs.load()),
                            [&] { return run->finished; })) {
        log(u"the registration of " + std::u16string(path) + u" did not finish in time");
        return 3;
    }
    return mode == 1 ? 4 : 5;
}

bool canCreateObject(std::u16string_view progId) {
    try {
        return platform::com::createObject(progId) != nullptr;
    } catch (...) {
        return false;
    }
}

int activeXCheck(std::u16string_view fileName, std::u16string_view progId) {
    if (canCreateObject(progId)) return 1;
    if (registerServerFile(fileName, 1) != 4) return 0;
    return canCreateObject(progId) ? 1 : 0;
}

}  // namespace kestrum

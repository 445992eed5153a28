// The in-process server side: a library's module object (lock count, class table, standard
// registration) and the macro that writes its four exported entry points.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/runtime.h"
#include "platform/registry/registry.h"

#define TESSEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace platform::com {

struct TypeLibInfo {
    Guid libid;
    std::u16string version = u"1.0";
    std::u16string helpString;
    // Interfaces described by the library: identifier and name.
    std::vector<std::pair<Guid, std::u16string>> interfaces;
};

struct ClassEntry {
    Guid clsid;
    std::u16string description;               // default value of the class and ProgID keys
    std::u16string progId;                    // versioned, "Lib.Class.1" (may be empty)
    std::u16string versionIndependentProgId;  // "Lib.Class" (may be empty)
    std::function<std::shared_ptr<Unknown>()> create;
    std::u16string threadingModel = u"Apartment";
    std::vector<Guid> categories;  // written under "Implemented Categories"
    bool control = false;          // writes the "Control" key
    bool programmable = true;      // writes the "Programmable" key
};

class Module {
  public:
    // `anchor` is any address inside the library, to find its file.
    Module(const void* anchor, std::vector<ClassEntry> classes,
           std::optional<TypeLibInfo> typeLib = std::nullopt);

    const std::vector<ClassEntry>& classes() const { return classes_; }
    const std::optional<TypeLibInfo>& typeLib() const { return typeLib_; }
    std::filesystem::path path() const;

    long lock() { return ++locks_; }
    long unlock() { return --locks_; }
    long lockCount() const { return locks_; }

    HRESULT getClassObject(const Guid* clsid, const Guid* iid, std::shared_ptr<Unknown>* out);
    HRESULT canUnloadNow() const { return locks_ == 0 ? S_OK : S_FALSE; }

    // Writes the standard keys of every class and the type library: the class key with its
    // ProgIDs, InprocServer32 and ThreadingModel, Programmable, Control, TypeLib and Version;
    // the ProgID keys with CLSID and CurVer; the TypeLib and Interface keys; the implemented
    // categories. `extra` adds a library's own keys; all of it is one registry batch, written
    // whole or not at all.
    HRESULT registerServer(
        const std::function<void(registry::Batch&, const std::u16string& path)>& extra = {});
    // Removes the class keys, ProgID keys and type library keys. Categories stay.
    HRESULT unregisterServer(const std::function<void(registry::Batch&)>& extra = {});

    // Wraps a new object so the module stays locked while it lives.
    std::shared_ptr<Unknown> track(std::shared_ptr<Unknown> object);

  private:
    const void* anchor_;
    std::vector<ClassEntry> classes_;
    std::optional<TypeLibInfo> typeLib_;
    std::atomic<long> locks_{0};
};

}  // namespace platform::com

// The four entry points of a library whose registration is the standard one.
#define TESSEL_COM_SERVER(module)                                         \
    TESSEL_EXPORT platform::com::HRESULT DllGetClassObject(               \
        const platform::com::Guid* clsid, const platform::com::Guid* iid, \
        std::shared_ptr<platform::com::Unknown>* out) {                   \
        return (module).getClassObject(clsid, iid, out);                  \
    }                                                                     \
    TESSEL_EXPORT platform::com::HRESULT DllCanUnloadNow() {              \
        return (module).canUnloadNow();                                   \
    }                                                                     \
    TESSEL_EXPORT platform::com::HRESULT DllRegisterServer() {            \
        return (module).registerServer();                                 \
    }                                                                     \
    TESSEL_EXPORT platform::com::HRESULT DllUnregisterServer() {          \
        return (module).unregisterServer();                               \
    }

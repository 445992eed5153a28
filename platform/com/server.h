// The in-process server side: a library's module object (lock count, class table, standard
// registration) and the macro that writes its four exported entry points. No exception leaves
// an entry point: each runs inside the no-throw guard (see error.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
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

// A class described by name, in place of a ClassEntry filled field by field:
//     classEntry<Crypt>(CLSID_Crypt, {.progId = u"Ciphra.Crypt"})
//     classEntry<Ctrl>(CLSID_Ctrl, {.description = u"Ctrl Class", .progId = u"Lib.Ctrl.1",
//                                   .versionIndependentProgId = u"Lib.Ctrl", .control = true})
// Options left out keep the ClassEntry defaults; a description left empty is the ProgID.
struct ClassOptions {
    std::u16string description{};
    std::u16string progId{};
    std::u16string versionIndependentProgId{};
    std::vector<Guid> categories{};
    bool control = false;
    bool programmable = true;
    std::u16string threadingModel = u"Apartment";
};

using ClassMaker = std::function<std::shared_ptr<Unknown>()>;

// A class whose objects `create` makes.
ClassEntry classEntry(const Guid& clsid, ClassOptions options, ClassMaker create);

// A class whose objects are default-constructed T.
template <class T>
ClassEntry classEntry(const Guid& clsid, ClassOptions options) {
    return classEntry(clsid, std::move(options),
                      [] { return std::static_pointer_cast<Unknown>(std::make_shared<T>()); });
}

// The classes of a library whose ProgIDs are "<library>.<name>", each ProgID also its class's
// description; the ProgID option is set from the name:
//     const LibraryClasses named{u"Ciphra"};
//     named.entry<Crypt>(CLSID_Crypt, u"Crypt")            // "Ciphra.Crypt"
//     named.entry<Ctrl>(CLSID_Ctrl, u"Ctrl", {.control = true})
struct LibraryClasses {
    std::u16string library;

    template <class T>
    ClassEntry entry(const Guid& clsid, std::u16string_view name, ClassOptions options = {}) const {
        options.progId = library + u"." + std::u16string(name);
        return classEntry<T>(clsid, std::move(options));
    }
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

// How a library registers itself: a step left empty is the module's standard one. The steps
// run inside the no-throw guard, as every export does.
struct Registration {
    std::function<HRESULT(Module&)> registerServer;    // DllRegisterServer
    std::function<HRESULT(Module&)> unregisterServer;  // DllUnregisterServer
};

// The bodies of the four exports, each inside the no-throw guard; the module itself is made
// inside it too (its accessor builds it on first use).
namespace exports {
using ModuleAccess = Module& (*)();
using RegistrationAccess = Registration (*)();
HRESULT getClassObject(ModuleAccess module, const Guid* clsid, const Guid* iid,
                       std::shared_ptr<Unknown>* out) noexcept;
HRESULT canUnloadNow(ModuleAccess module) noexcept;
HRESULT registerServer(ModuleAccess module, RegistrationAccess registration) noexcept;
HRESULT unregisterServer(ModuleAccess module, RegistrationAccess registration) noexcept;
}  // namespace exports

}  // namespace platform::com

// The four entry points of a library. `module` is an expression naming its Module; the
// optional rest initialises its Registration, for a library with registration steps of its
// own:
//     TESSEL_COM_SERVER(module())
//     TESSEL_COM_SERVER(module(), .registerServer = install, .unregisterServer = uninstall)
#define TESSEL_COM_SERVER(module, ...)                                                      \
    namespace {                                                                             \
    platform::com::Module& tesselServerModule() {                                           \
        return (module);                                                                    \
    }                                                                                       \
    platform::com::Registration tesselServerRegistration() {                                \
        return platform::com::Registration{__VA_ARGS__};                                    \
    }                                                                                       \
    }                                                                                       \
    TESSEL_EXPORT platform::com::HRESULT DllGetClassObject(                                 \
        const platform::com::Guid* clsid, const platform::com::Guid* iid,                   \
        std::shared_ptr<platform::com::Unknown>* out) {                                     \
        return platform::com::exports::getClassObject(tesselServerModule, clsid, iid, out); \
    }                                                                                       \
    TESSEL_EXPORT platform::com::HRESULT DllCanUnloadNow() {                                \
        return platform::com::exports::canUnloadNow(tesselServerModule);                    \
    }                                                                                       \
    TESSEL_EXPORT platform::com::HRESULT DllRegisterServer() {                              \
        return platform::com::exports::registerServer(tesselServerModule,                   \
                                                      tesselServerRegistration);            \
    }                                                                                       \
    TESSEL_EXPORT platform::com::HRESULT DllUnregisterServer() {                            \
        return platform::com::exports::unregisterServer(tesselServerModule,                 \
                                                        tesselServerRegistration);          \
    }

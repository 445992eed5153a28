// Object creation: class factories, creation by class identifier and by ProgID, in-process
// servers loaded from their registry entries, the component-category manager and the
// elevation moniker.
//
// An in-process server is a shared library whose "CLSID\{clsid}\InprocServer32" default value
// names its file. It exports, with C linkage:
//     HRESULT DllGetClassObject(const Guid* clsid, const Guid* iid, std::shared_ptr<Unknown>* out)
//     HRESULT DllCanUnloadNow()
//     HRESULT DllRegisterServer()
//     HRESULT DllUnregisterServer()
// (see server.h, which writes them for a library).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"

namespace platform::com {

class ClassFactory : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_IClassFactory; }
    virtual HRESULT CreateInstance(const Guid& iid, std::shared_ptr<Unknown>& out) = 0;
    virtual HRESULT LockServer(bool lock) = 0;
};

class Module;

// The class factory: makes objects with a creation function, which runs inside the no-throw
// guard (a thrown error comes back as the status, described in the thread's error
// information). A factory of a library's class holds its module, which stays locked while the
// factory or an object it made lives.
class SimpleClassFactory : public Implements<ClassFactory> {
  public:
    using Create = std::function<std::shared_ptr<Unknown>()>;
    explicit SimpleClassFactory(Create create, Module* module = nullptr, std::u16string source = {})
        : create_(std::move(create)), module_(module), source_(std::move(source)) {}
    HRESULT CreateInstance(const Guid& iid, std::shared_ptr<Unknown>& out) override;
    HRESULT LockServer(bool lock) override;

  private:
    Create create_;
    Module* module_;
    std::u16string source_;
};

// Class contexts.
constexpr std::uint32_t CLSCTX_INPROC_SERVER = 1;
constexpr std::uint32_t CLSCTX_LOCAL_SERVER = 4;
constexpr std::uint32_t CLSCTX_ALL = 23;  // every context of the platform

// The class identifier of a ProgID (through CurVer for a version-independent ProgID without
// its own CLSID entry), or CO_E_CLASSSTRING.
HRESULT CLSIDFromProgID(std::u16string_view progId, Guid& clsid);
// A ProgID or a class identifier in registry form.
HRESULT CLSIDFromString(std::u16string_view text, Guid& clsid);
HRESULT ProgIDFromCLSID(const Guid& clsid, std::u16string& progId);

// Classes registered in this process take precedence over the registry; the cookie revokes.
HRESULT CoRegisterClassObject(const Guid& clsid, std::shared_ptr<ClassFactory> factory,
                              std::uint32_t& cookie);
HRESULT CoRevokeClassObject(std::uint32_t cookie);

HRESULT CoGetClassObject(const Guid& clsid, std::uint32_t context,
                         std::shared_ptr<ClassFactory>& out);
HRESULT CoCreateInstance(const Guid& clsid, std::uint32_t context, const Guid& iid,
                         std::shared_ptr<Unknown>& out);

template <class T>
HRESULT CoCreateInstance(const Guid& clsid, std::shared_ptr<T>& out,
                         std::uint32_t context = CLSCTX_INPROC_SERVER) {
    std::shared_ptr<Unknown> object;
    HRESULT h = CoCreateInstance(clsid, context, T::iid(), object);
    out = SUCCEEDED(h) ? query<T>(object) : nullptr;
    return h;
}

// Creates an automation object by ProgID or class identifier text. Throws ComError.
std::shared_ptr<Dispatch> createObject(std::u16string_view progIdOrClsid);

// Unloads the in-process servers whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// Files of the in-process servers loaded now.
std::vector<std::filesystem::path> loadedLibraries();

// Binds a display name to an object. Understands the elevation moniker
// "Elevation:Administrator!new:{CLSID}" (also "Elevation:Highest!new:"): the class must have
// "Elevation\Enabled" = 1 in its registration (or be a platform class), and the consent policy
// must agree; then the class's elevation provider makes the object, or without one it is
// created in this process.
HRESULT CoGetObject(std::u16string_view displayName, std::uint32_t context, const Guid& iid,
                    std::shared_ptr<Unknown>& out);

// Decides whether the user consents to an elevated creation of a class. The default policy
// consents; tests and unattended runs replace it.
using ElevationConsent = std::function<bool(const Guid& clsid)>;
void setElevationConsent(ElevationConsent consent);

// Makes the elevated object of one class: a provider may start it in a process of its own
// (and ask the user there) and answer an object that stands for it. A class without a
// provider is created in this process. An empty provider removes the class's one.
using ElevationProvider =
    std::function<HRESULT(const Guid& clsid, const Guid& iid, std::shared_ptr<Unknown>& out)>;
void setElevationProvider(const Guid& clsid, ElevationProvider provider);
bool hasElevationProvider(const Guid& clsid);

// The component-category manager (CLSID_StdComponentCategoriesMgr, IID_ICatRegister).
struct CategoryInfo {
    Guid catid;
    std::uint32_t locale = 1033;
    std::u16string description;
};

class CatRegister : public virtual Unknown {
  public:
    static constexpr const Guid& iid() { return IID_ICatRegister; }
    virtual HRESULT RegisterCategories(const std::vector<CategoryInfo>& categories) = 0;
    virtual HRESULT UnRegisterCategories(const std::vector<Guid>& catids) = 0;
    virtual HRESULT RegisterClassImplCategories(const Guid& clsid,
                                                const std::vector<Guid>& catids) = 0;
    virtual HRESULT UnRegisterClassImplCategories(const Guid& clsid,
                                                  const std::vector<Guid>& catids) = 0;
};

// Makes creations of a class fail with `failure` (S_OK lifts it), for tests of the roads
// where a component is missing or broken.
void setCreationFailure(const Guid& clsid, HRESULT failure);

}  // namespace platform::com

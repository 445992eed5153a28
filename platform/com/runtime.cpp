#include "platform/com/runtime.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/com/loader.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"

namespace platform::com {

namespace {

using registry::Root;

using GetClassObjectFn = HRESULT (*)(const Guid*, const Guid*, std::shared_ptr<Unknown>*);
using CanUnloadNowFn = HRESULT (*)();

struct LoadedLibrary {
    void* handle = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
};

// The component-category manager, writing category keys into the registry.
class CategoryManager : public Implements<CatRegister> {
  public:
    HRESULT RegisterCategories(const std::vector<CategoryInfo>& categories) override {
        registry::Batch batch;
        for (const auto& c : categories) {
            char locale[16];
            std::snprintf(locale, sizeof locale, "%x", c.locale);
            batch.setValue(Root::ClassesRoot, u"Component Categories\\" + c.catid.str(),
                           text::fromUtf8(locale), c.description);
        }
        return status(batch.commit());
    }
    HRESULT UnRegisterCategories(const std::vector<Guid>& catids) override {
        registry::Batch batch;
        for (const auto& c : catids)
            batch.deleteTree(Root::ClassesRoot, u"Component Categories\\" + c.str());
        return status(batch.commit());
    }
    HRESULT RegisterClassImplCategories(const Guid& clsid,
                                        const std::vector<Guid>& catids) override {
        registry::Batch batch;
        for (const auto& c : catids)
            batch.createKey(Root::ClassesRoot,
                            u"CLSID\\" + clsid.str() + u"\\Implemented Categories\\" + c.str());
        return status(batch.commit());
    }
    HRESULT UnRegisterClassImplCategories(const Guid& clsid,
                                          const std::vector<Guid>& catids) override {
        registry::Batch batch;
        for (const auto& c : catids)
            batch.deleteTree(Root::ClassesRoot,
                             u"CLSID\\" + clsid.str() + u"\\Implemented Categories\\" + c.str());
        return status(batch.commit());
    }

  private:
    static HRESULT status(registry::Status s) {
        return s == registry::Ok || s == registry::FileNotFound ? S_OK : REGDB_E_WRITEREGDB;
    }
};

struct Runtime {
    // Held while the runtime runs a library's own code: its static initialisers and
    // destructors (dlopen, dlclose), DllGetClassObject and DllCanUnloadNow. That code may come
    // back into the runtime on the same thread (a library creating another class while it
    // initialises or hands out a factory), hence recursive. Holding it there keeps loading,
    // the unload test and the unloading itself one step that no other thread's creation can
    // slip into.
    std::recursive_mutex mutex;
    std::map<std::uint32_t, std::pair<Guid, std::shared_ptr<ClassFactory>>> registered;
    std::uint32_t nextCookie = 1;
    std::map<std::string, LoadedLibrary> libraries;
    std::map<Guid, HRESULT> failures;
    ElevationConsent consent;
    std::map<Guid, ElevationProvider> providers;

    static Runtime& get() {
        static Runtime* runtime = new Runtime;  // never destroyed: libraries may outlive exit
        return *runtime;
    }

    // Classes the platform itself provides.
    static std::shared_ptr<ClassFactory> builtin(const Guid& clsid) {
        if (clsid == CLSID_StdComponentCategoriesMgr)
            return std::make_shared<SimpleClassFactory>(
                [] { return std::make_shared<CategoryManager>(); });
        return nullptr;
    }
};

HRESULT loadServer(const std::string& path, LoadedLibrary& out) {
    Runtime& rt = Runtime::get();
    auto it = rt.libraries.find(path);
    if (it != rt.libraries.end()) {
        out = it->second;
        return S_OK;
    }
    std::string why;
    bool refused = false;
    void* handle = openServerLibrary(path, why, refused);
    if (!handle) raise(refused ? E_ACCESSDENIED : CO_E_DLLNOTFOUND, text::fromUtf8(why));
    LoadedLibrary lib;
    lib.handle = handle;
    lib.getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    if (!lib.getClassObject) {
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    rt.libraries.emplace(path, lib);
    out = lib;
    return S_OK;
}

}  // namespace

HRESULT CLSIDFromProgID(std::u16string_view progId, Guid& clsid) {
    std::u16string name(progId);
    for (int depth = 0; depth < 2 && !name.empty(); ++depth) {
        if (auto value = registry::getString(Root::ClassesRoot, name + u"\\CLSID")) {
            if (auto g = Guid::parse(*value)) {
                clsid = *g;
                return S_OK;
            }
            return CO_E_CLASSSTRING;
        }
        auto curVer = registry::getString(Root::ClassesRoot, name + u"\\CurVer");
        if (!curVer) break;
        name = *curVer;
    }
    return CO_E_CLASSSTRING;
}

HRESULT CLSIDFromString(std::u16string_view text, Guid& clsid) {
    if (!text.empty() && text.front() == u'{') {
        auto g = Guid::parse(text);
        if (!g) return CO_E_CLASSSTRING;
        clsid = *g;
        return S_OK;
    }
    return CLSIDFromProgID(text, clsid);
}

HRESULT ProgIDFromCLSID(const Guid& clsid, std::u16string& progId) {
    auto value = registry::getString(Root::ClassesRoot, u"CLSID\\" + clsid.str() + u"\\ProgID");
    if (!value) return REGDB_E_CLASSNOTREG;
    progId = *value;
    return S_OK;
}

HRESULT CoRegisterClassObject(const Guid& clsid, std::shared_ptr<ClassFactory> factory,
                              std::uint32_t& cookie) {
    if (!factory) return E_INVALIDARG;
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    cookie = rt.nextCookie++;
    rt.registered.emplace(cookie, std::make_pair(clsid, std::move(factory)));
    return S_OK;
}

HRESULT CoRevokeClassObject(std::uint32_t cookie) {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    return rt.registered.erase(cookie) ? S_OK : E_INVALIDARG;
}

HRESULT CoGetClassObject(const Guid& clsid, std::uint32_t context,
                         std::shared_ptr<ClassFactory>& out) {
    out = nullptr;
    if (context == 0) return E_INVALIDARG;
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    if (auto f = rt.failures.find(clsid); f != rt.failures.end()) return f->second;
    // The newest registration in the process wins.
    for (auto it = rt.registered.rbegin(); it != rt.registered.rend(); ++it)
        if (it->second.first == clsid) {
            out = it->second.second;
            return S_OK;
        }
    if (auto factory = Runtime::builtin(clsid)) {
        out = std::move(factory);
        return S_OK;
    }
    auto path =
        registry::getString(Root::ClassesRoot, u"CLSID\\" + clsid.str() + u"\\InprocServer32");
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    LoadedLibrary lib;
    try {
        HRESULT h = loadServer(text::toUtf8(*path), lib);
        if (FAILED(h)) return h;
    } catch (const ComError& e) {
        return e.hr();
    }
    std::shared_ptr<Unknown> factory;
    HRESULT h = lib.getClassObject(&clsid, &IID_IClassFactory, &factory);
    if (FAILED(h)) return h;
    out = query<ClassFactory>(factory);
    return out ? S_OK : E_NOINTERFACE;
}

HRESULT CoCreateInstance(const Guid& clsid, std::uint32_t context, const Guid& iid,
                         std::shared_ptr<Unknown>& out) {
    out = nullptr;
    std::shared_ptr<ClassFactory> factory;
    HRESULT h = CoGetClassObject(clsid, context, factory);
    if (FAILED(h)) return h;
    return factory->CreateInstance(iid, out);
}

std::shared_ptr<Dispatch> createObject(std::u16string_view progIdOrClsid) {
    Guid clsid;
    HRESULT h = CLSIDFromString(progIdOrClsid, clsid);
    if (FAILED(h)) raise(h, u"Invalid class string: " + std::u16string(progIdOrClsid));
    std::shared_ptr<Dispatch> object;
    takeErrorInfo();  // what earlier calls left behind is not this creation's
    h = CoCreateInstance(clsid, object, CLSCTX_ALL);
    if (FAILED(h)) {
        // A library that failed with a thrown error described it.
        auto info = takeErrorInfo();
        if (info && info->scode == h) raise(h, info->description, info->source);
        raise(h);
    }
    return object;
}

void CoFreeUnusedLibraries() {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    for (auto it = rt.libraries.begin(); it != rt.libraries.end();) {
        if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
            dlclose(it->second.handle);
            it = rt.libraries.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<std::filesystem::path> loadedLibraries() {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    std::vector<std::filesystem::path> out;
    for (const auto& [path, lib] : rt.libraries) out.emplace_back(path);
    return out;
}

HRESULT CoGetObject(std::u16string_view name, std::uint32_t context, const Guid& iid,
                    std::shared_ptr<Unknown>& out) {
    out = nullptr;
    auto startsWith = [&](std::u16string_view prefix) {
        return name.size() >= prefix.size() &&
               text::equalsNoCase(name.substr(0, prefix.size()), prefix);
    };
    if (!startsWith(u"Elevation:")) return MK_E_SYNTAX;
    name.remove_prefix(10);
    if (startsWith(u"Administrator!new:"))
        name.remove_prefix(18);
    else if (startsWith(u"Highest!new:"))
        name.remove_prefix(12);
    else
        return MK_E_SYNTAX;
    auto clsid = Guid::parse(name);
    if (!clsid) return MK_E_SYNTAX;
    if (!Runtime::builtin(*clsid)) {
        auto enabled = registry::getDword(Root::ClassesRoot,
                                          u"CLSID\\" + clsid->str() + u"\\Elevation", u"Enabled");
        if (!enabled || *enabled != 1) return CO_E_ELEVATION_DISABLED;
    }
    ElevationConsent consent;
    ElevationProvider provider;
    {
        Runtime& rt = Runtime::get();
        std::lock_guard lock(rt.mutex);
        consent = rt.consent;
        if (auto it = rt.providers.find(*clsid); it != rt.providers.end()) provider = it->second;
    }
    if (consent && !consent(*clsid)) return HRESULT_ERROR_CANCELLED;
    if (provider) {
        HRESULT h = provider(*clsid, iid, out);
        if (FAILED(h)) out = nullptr;
        return h;
    }
    return CoCreateInstance(*clsid, context | CLSCTX_INPROC_SERVER, iid, out);
}

void setElevationProvider(const Guid& clsid, ElevationProvider provider) {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    if (provider)
        rt.providers[clsid] = std::move(provider);
    else
        rt.providers.erase(clsid);
}

bool hasElevationProvider(const Guid& clsid) {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    return rt.providers.count(clsid) != 0;
}

void setElevationConsent(ElevationConsent consent) {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    rt.consent = std::move(consent);
}

void setCreationFailure(const Guid& clsid, HRESULT failure) {
    Runtime& rt = Runtime::get();
    std::lock_guard lock(rt.mutex);
    if (failure == S_OK)
        rt.failures.erase(clsid);
    else
        rt.failures[clsid] = failure;
}

}  // namespace platform::com

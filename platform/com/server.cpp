#include "platform/com/server.h"

#include <algorithm>

#include "platform/system/files.h"
#include "platform/text/text.h"

namespace platform::com {

using registry::Root;

namespace {

// Keeps the module locked for as long as the object it holds lives.
struct Tracked {
    struct Lock {
        Module* module;
        explicit Lock(Module* m) : module(m) { module->lock(); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock() { module->unlock(); }
    };
    Tracked(Module* module, std::shared_ptr<Unknown> o) : lock(module), object(std::move(o)) {}
    Lock lock;  // declared first: released last
    std::shared_ptr<Unknown> object;
};

std::u16string classKey(const Guid& clsid) {
    return u"CLSID\\" + clsid.str();
}

}  // namespace

ClassEntry classEntry(const Guid& clsid, ClassOptions options, ClassMaker create) {
    ClassEntry entry;
    entry.clsid = clsid;
    entry.description =
        options.description.empty() ? options.progId : std::move(options.description);
    entry.progId = std::move(options.progId);
    entry.versionIndependentProgId = std::move(options.versionIndependentProgId);
    entry.create = std::move(create);
    entry.threadingModel = std::move(options.threadingModel);
    entry.categories = std::move(options.categories);
    entry.control = options.control;
    entry.programmable = options.programmable;
    return entry;
}

Module::Module(const void* anchor, std::vector<ClassEntry> classes,
               std::optional<TypeLibInfo> typeLib)
    : anchor_(anchor), classes_(std::move(classes)), typeLib_(std::move(typeLib)) {}

std::filesystem::path Module::path() const {
    return system::moduleFile(anchor_);
}

std::shared_ptr<Unknown> Module::track(std::shared_ptr<Unknown> object) {
    Unknown* raw = object.get();
    auto holder = std::make_shared<Tracked>(this, std::move(object));
    return std::shared_ptr<Unknown>(holder, raw);
}

HRESULT SimpleClassFactory::CreateInstance(const Guid& iid, std::shared_ptr<Unknown>& out) {
    out = nullptr;
    return guard(source_, [&] {
        std::shared_ptr<Unknown> object = create_();
        if (!object) return E_OUTOFMEMORY;
        if (!object->QueryInterface(iid)) return E_NOINTERFACE;
        out = module_ ? module_->track(std::move(object)) : std::move(object);
        return S_OK;
    });
}

HRESULT SimpleClassFactory::LockServer(bool lock) {
    if (module_) lock ? module_->lock() : module_->unlock();
    return S_OK;
}

HRESULT Module::getClassObject(const Guid* clsid, const Guid* iid, std::shared_ptr<Unknown>* out) {
    if (!clsid || !iid || !out) return E_POINTER;
    *out = nullptr;
    for (const auto& entry : classes_) {
        if (entry.clsid != *clsid) continue;
        auto factory = std::make_shared<SimpleClassFactory>(
            entry.create, this, entry.progId.empty() ? entry.description : entry.progId);
        if (!factory->QueryInterface(*iid)) return E_NOINTERFACE;
        // The factory keeps the module loaded while a caller holds it.
        *out = track(factory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT Module::registerServer(
    const std::function<void(registry::Batch&, const std::u16string& path)>& extra) {
    const std::u16string file = text::fromUtf8(path().string());
    registry::Batch batch;
    for (const auto& c : classes_) {
        const std::u16string key = classKey(c.clsid);
        batch.deleteTree(Root::ClassesRoot, key);  // recreated whole
        batch.setValue(Root::ClassesRoot, key, u"", c.description);
        if (!c.progId.empty()) {
            batch.setValue(Root::ClassesRoot, key + u"\\ProgID", u"", c.progId);
            batch.setValue(Root::ClassesRoot, c.progId, u"", c.description);
            batch.setValue(Root::ClassesRoot, c.progId + u"\\CLSID", u"", c.clsid.str());
        }
        if (!c.versionIndependentProgId.empty()) {
            batch.setValue(Root::ClassesRoot, key + u"\\VersionIndependentProgID", u"",
                           c.versionIndependentProgId);
            batch.setValue(Root::ClassesRoot, c.versionIndependentProgId, u"", c.description);
            batch.setValue(Root::ClassesRoot, c.versionIndependentProgId + u"\\CLSID", u"",
                           c.clsid.str());
            if (!c.progId.empty())
                batch.setValue(Root::ClassesRoot, c.versionIndependentProgId + u"\\CurVer", u"",
                               c.progId);
        }
        batch.setValue(Root::ClassesRoot, key + u"\\InprocServer32", u"", file);
        batch.setValue(Root::ClassesRoot, key + u"\\InprocServer32", u"ThreadingModel",
                       c.threadingModel);
        if (c.programmable) batch.createKey(Root::ClassesRoot, key + u"\\Programmable");
        if (c.control) batch.createKey(Root::ClassesRoot, key + u"\\Control");
        if (typeLib_) {
            batch.setValue(Root::ClassesRoot, key + u"\\TypeLib", u"", typeLib_->libid.str());
            batch.setValue(Root::ClassesRoot, key + u"\\Version", u"", typeLib_->version);
        }
    }
    if (typeLib_) {
        const std::u16string lib = u"TypeLib\\" + typeLib_->libid.str() + u"\\" + typeLib_->version;
        batch.setValue(Root::ClassesRoot, lib, u"", typeLib_->helpString);
        batch.setValue(Root::ClassesRoot, lib + u"\\0\\linux", u"", file);
        batch.setValue(Root::ClassesRoot, lib + u"\\FLAGS", u"", u"0");
        for (const auto& [iid, name] : typeLib_->interfaces) {
            const std::u16string ikey = u"Interface\\" + iid.str();
            batch.setValue(Root::ClassesRoot, ikey, u"", name);
            batch.setValue(Root::ClassesRoot, ikey + u"\\TypeLib", u"", typeLib_->libid.str());
            batch.setValue(Root::ClassesRoot, ikey + u"\\TypeLib", u"Version", typeLib_->version);
        }
    }
    if (extra) extra(batch, file);
    // The class and its categories are one change: no reader (and no crash) sees a class
    // without the categories it implements.
    for (const auto& c : classes_)
        for (const auto& catid : c.categories)
            batch.createKey(Root::ClassesRoot,
                            classKey(c.clsid) + u"\\Implemented Categories\\" + catid.str());
    return batch.commit() == registry::Ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT Module::unregisterServer(const std::function<void(registry::Batch&)>& extra) {
    registry::Batch batch;
    for (const auto& c : classes_) {
        batch.deleteTree(Root::ClassesRoot, classKey(c.clsid));
        if (!c.progId.empty()) batch.deleteTree(Root::ClassesRoot, c.progId);
        if (!c.versionIndependentProgId.empty())
            batch.deleteTree(Root::ClassesRoot, c.versionIndependentProgId);
    }
    if (typeLib_) {
        // The library's key goes with its last version; other versions keep it.
        const std::u16string lib = u"TypeLib\\" + typeLib_->libid.str();
        const auto versions = registry::subkeys(Root::ClassesRoot, lib);
        const bool onlyOurs = std::all_of(versions.begin(), versions.end(),
                                          [&](const auto& v) { return v == typeLib_->version; });
        batch.deleteTree(Root::ClassesRoot, onlyOurs ? lib : lib + u"\\" + typeLib_->version);
        for (const auto& [iid, name] : typeLib_->interfaces)
            batch.deleteTree(Root::ClassesRoot, u"Interface\\" + iid.str());
    }
    if (extra) extra(batch);
    return batch.commit() == registry::Ok ? S_OK : SELFREG_E_CLASS;
}

namespace exports {

HRESULT getClassObject(ModuleAccess module, const Guid* clsid, const Guid* iid,
                       std::shared_ptr<Unknown>* out) noexcept {
    return guard(u"DllGetClassObject", [&] { return module().getClassObject(clsid, iid, out); });
}

HRESULT canUnloadNow(ModuleAccess module) noexcept {
    return guard(u"DllCanUnloadNow", [&] { return module().canUnloadNow(); });
}

HRESULT registerServer(ModuleAccess module, RegistrationAccess registration) noexcept {
    return guard(u"DllRegisterServer", [&] {
        Module& m = module();
        const Registration steps = registration();
        return steps.registerServer ? steps.registerServer(m) : m.registerServer();
    });
}

HRESULT unregisterServer(ModuleAccess module, RegistrationAccess registration) noexcept {
    return guard(u"DllUnregisterServer", [&] {
        Module& m = module();
        const Registration steps = registration();
        return steps.unregisterServer ? steps.unregisterServer(m) : m.unregisterServer();
    });
}

}  // namespace exports

}  // namespace platform::com

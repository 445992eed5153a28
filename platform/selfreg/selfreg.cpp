#include "platform/selfreg/selfreg.h"

#include "platform/system/version.h"
#include "platform/ui/messagebox.h"

namespace platform::selfreg {

namespace com = platform::com;
namespace registry = platform::registry;
using registry::Root;

namespace {

constexpr std::size_t kDescriptionMax = 127;
constexpr std::uint32_t kLocaleEnglishUs = 1033;

std::u16string& caption() {
    static std::u16string text;
    return text;
}

void report(const std::u16string& message) {
    platform::ui::messageBox(message, caption(), platform::ui::vbOKOnly);
}

// The category manager: elevated on NT 6 and later, otherwise an ordinary in-process object.
HRESULT categoryManager(std::shared_ptr<com::CatRegister>& out) {
    out = nullptr;
    std::shared_ptr<com::Unknown> object;
    HRESULT h = NeedsElevation() ? CoCreateInstanceAsAdmin(com::CLSID_StdComponentCategoriesMgr,
                                                           com::IID_ICatRegister, object)
                                 : com::CoCreateInstance(com::CLSID_StdComponentCategoriesMgr,
                                                         com::CLSCTX_INPROC_SERVER,
                                                         com::IID_ICatRegister, object);
    if (com::FAILED(h)) return h;
    out = com::query<com::CatRegister>(object);
    return out ? h : com::E_NOINTERFACE;
}

}  // namespace

void setMessageCaption(std::u16string text) {
    caption() = std::move(text);
}

bool NeedsElevation() {
    const auto version = platform::system::osVersion();
    return version && version->platformId == platform::system::VER_PLATFORM_WIN32_NT &&
           version->major > 5;
}

HRESULT CoCreateInstanceAsAdmin(const Guid& clsid, const Guid& iid,
                                std::shared_ptr<com::Unknown>& out) {
    out = nullptr;
    return com::CoGetObject(u"Elevation:Administrator!new:" + clsid.str(), com::CLSCTX_LOCAL_SERVER,
                            iid, out);
}

HRESULT CreateComponentCategory(const Guid& catid, std::u16string_view description) {
    std::shared_ptr<com::CatRegister> manager;
    HRESULT h = categoryManager(manager);
    if (com::FAILED(h)) {
        report(u"Fail to CreateComponentCategory::CoCreateInstance");
        return h;
    }
    com::CategoryInfo info;
    info.catid = catid;
    info.locale = kLocaleEnglishUs;
    // The description is cut, on purpose, to what the category record holds.
    info.description = std::u16string(description.substr(0, kDescriptionMax));
    h = manager->RegisterCategories({info});
    if (com::FAILED(h)) report(u"Fail to CreateComponentCategory::RegisterCategories");
    return h;
}

HRESULT RegisterCLSIDInCategory(const Guid& clsid, const Guid& catid) {
    std::shared_ptr<com::CatRegister> manager;
    HRESULT h = categoryManager(manager);
    if (com::FAILED(h))
        report(u"Fail to RegisterCLSIDInCategory::CoCreateInstance");
    else
        h = manager->RegisterClassImplCategories(clsid, {catid});
    // No manager at all is reported on its own too, so a failed creation shows two messages:
    // the step that failed and the missing manager.
    if (!manager) report(u"Fail to RegisterCLSIDInCategory:: pcr is NULL");
    return h;
}

void addAppIdKeys(registry::Batch& batch, const AppIdEntry& app) {
    const std::u16string key = u"AppID\\" + app.appId.str();
    batch.setValue(Root::ClassesRoot, key, u"", app.name);
    batch.setValue(Root::ClassesRoot, key, u"DllSurrogate", std::u16string());
    batch.setValue(Root::ClassesRoot, u"AppID\\" + app.dllName, u"AppID", app.appId.str());
}

void removeAppIdKeys(registry::Batch& batch, const AppIdEntry& app) {
    // The AppID key itself is shared by every server and stays.
    batch.deleteTree(Root::ClassesRoot, u"AppID\\" + app.appId.str());
    batch.deleteTree(Root::ClassesRoot, u"AppID\\" + app.dllName);
}

void addElevationKeys(registry::Batch& batch, const Guid& clsid, const AppIdEntry& app,
                      const std::u16string& libraryPath, int displayNameResource) {
    const std::u16string key = u"CLSID\\" + clsid.str();
    batch.setValue(Root::ClassesRoot, key, u"AppID", app.appId.str());
    batch.setValue(Root::ClassesRoot, key + u"\\Elevation", u"Enabled", std::uint32_t{1});
    const std::string resource = ",-" + std::to_string(displayNameResource);
    batch.setValue(Root::ClassesRoot, key, u"LocalizedString",
                   u"@" + libraryPath + std::u16string(resource.begin(), resource.end()));
}

void addControlKeys(registry::Batch& batch, const Guid& clsid, const std::u16string& libraryPath,
                    int bitmapResource, std::u16string_view contentMiscStatus) {
    const std::u16string key = u"CLSID\\" + clsid.str();
    const std::string bitmap = ", " + std::to_string(bitmapResource);
    batch.setValue(Root::ClassesRoot, key + u"\\ToolboxBitmap32", u"",
                   libraryPath + std::u16string(bitmap.begin(), bitmap.end()));
    batch.setValue(Root::ClassesRoot, key + u"\\MiscStatus", u"", std::u16string(u"0"));
    batch.setValue(Root::ClassesRoot, key + u"\\MiscStatus\\1", u"",
                   std::u16string(contentMiscStatus));
}

HRESULT registerSafeCategories(const Guid& clsid) {
    if (com::FAILED(CreateComponentCategory(com::CATID_SafeForScripting,
                                            u"Controls that are safely scriptable")))
        return com::SELFREG_E_CLASS;
    if (com::FAILED(CreateComponentCategory(com::CATID_SafeForInitializing,
                                            u"Controls safely initializable from persistent data")))
        return com::SELFREG_E_CLASS;
    if (com::FAILED(RegisterCLSIDInCategory(clsid, com::CATID_SafeForScripting)))
        return com::SELFREG_E_CLASS;
    if (com::FAILED(RegisterCLSIDInCategory(clsid, com::CATID_SafeForInitializing)))
        return com::SELFREG_E_CLASS;
    return com::S_OK;
}

HRESULT registerServer(com::Module& module, const ExtraKeys& extra) {
    // The registry scripts, the class keys and the type library in one go; key names are
    // locale-free, so no locale is set around it.
    HRESULT h = module.registerServer(extra);
    if (com::FAILED(h)) return h;
    // Dispatch calls need no proxy/stub in this COM layer: nothing more to register for them.
    for (const auto& entry : module.classes()) {
        h = registerSafeCategories(entry.clsid);
        if (com::FAILED(h)) return h;
    }
    return com::S_OK;
}

HRESULT unregisterServer(com::Module& module, const ExtraRemovals& extra) {
    // The class keys go whole, but a class's category registrations stay: note them first and
    // put them back in the same batch.
    std::vector<std::u16string> keep;
    for (const auto& entry : module.classes()) {
        const std::u16string categories =
            u"CLSID\\" + entry.clsid.str() + u"\\Implemented Categories";
        for (const auto& catid : registry::subkeys(Root::ClassesRoot, categories))
            keep.push_back(categories + u"\\" + catid);
    }
    return module.unregisterServer([&](registry::Batch& batch) {
        if (extra) extra(batch);
        for (const auto& key : keep) batch.createKey(Root::ClassesRoot, key);
    });
}

Module moduleOf(const void* anchor, const ElevatableControl& library) {
    return Module(anchor, {library.control}, library.typeLib);
}

Registration registrationOf(const ElevatableControl& library) {
    const ElevatableControl* l = &library;
    return Registration{
        .registerServer =
            [l](Module& m) {
                setMessageCaption(l->app.name);
                return registerServer(m, [l](registry::Batch& batch, const std::u16string& path) {
                    const Guid& clsid = l->control.clsid;
                    addAppIdKeys(batch, l->app);
                    addElevationKeys(batch, clsid, l->app, path, l->displayNameResource);
                    addControlKeys(batch, clsid, path, l->toolboxBitmapResource,
                                   l->contentMiscStatus);
                });
            },
        .unregisterServer =
            [l](Module& m) {
                setMessageCaption(l->app.name);
                return unregisterServer(
                    m, [l](registry::Batch& batch) { removeAppIdKeys(batch, l->app); });
            }};
}

}  // namespace platform::selfreg

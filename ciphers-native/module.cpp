// The library's module object and its four entry points. Registration writes the AppID (for
// the surrogate and the elevation moniker), the class with its ProgIDs, control and elevation
// keys, the type library, and the two safe categories.
#include "ciphers-native/crypt.h"
#include "ciphers-native/registration.h"
#include "platform/com/server.h"

namespace {

namespace com = platform::com;
namespace registry = platform::registry;
namespace reg = sealwyn::registration;
using com::HRESULT;
using registry::Root;

// Resource numbers the registry entries name: the display name shown by the elevation prompt
// and the toolbox bitmap.
constexpr int kDisplayNameResource = 101;
constexpr int kToolboxBitmapResource = 103;
// Recompose on resize, cannot link inside, inside-out, activate when visible, set client
// site first.
constexpr const char16_t* kMiscStatusContent = u"131473";

const reg::AppIdEntry kAppId{sealwyn::APPID_Sealwyn, u"Sealwyn", u"Sealwyn.DLL"};

com::Module& module() {
    static com::Module m(reinterpret_cast<const void*>(&module),
                         // Its categories go through registerSafeCategories.
                         {com::classEntry<sealwyn::CCrypt>(
                             sealwyn::CLSID_Crypt, {.description = u"Crypt Class",
                                                    .progId = u"Sealwyn.Crypt.1",
                                                    .versionIndependentProgId = u"Sealwyn.Crypt",
                                                    .control = true})},
                         com::TypeLibInfo{sealwyn::LIBID_SealwynLib,
                                          u"1.0",
                                          u"Sealwyn 1.0 Type Library",
                                          {{sealwyn::IID_ICrypt, u"ICrypt"}}});
    return m;
}

void classExtras(registry::Batch& batch, const std::u16string& path) {
    reg::addAppIdKeys(batch, kAppId);
    reg::addElevationKeys(batch, sealwyn::CLSID_Crypt, kAppId, path, kDisplayNameResource);
    reg::addControlKeys(batch, sealwyn::CLSID_Crypt, path, kToolboxBitmapResource,
                        kMiscStatusContent);
}

HRESULT registerLibrary(com::Module& m) {
    reg::setMessageCaption(u"Sealwyn");
    return reg::registerServer(m, classExtras);
}

HRESULT unregisterLibrary(com::Module& m) {
    reg::setMessageCaption(u"Sealwyn");
    return reg::unregisterServer(
        m, [](registry::Batch& batch) { reg::removeAppIdKeys(batch, kAppId); });
}

}  // namespace

TESSEL_COM_SERVER(module(), .registerServer = registerLibrary,
                  .unregisterServer = unregisterLibrary)

// The library's module object and its four entry points. Registration writes the class with
// its ProgIDs, control, elevation and toolbox keys, the AppID that lets the class be made
// elevated, the type library and the two safe categories.
#include "ciphers-native/registration.h"
#include "elevation/broker.h"
#include "platform/com/server.h"

namespace {

namespace com = platform::com;
namespace registry = platform::registry;
namespace reg = sealwyn::registration;
using com::HRESULT;

// Resource numbers the registry entries name: the display name the consent prompt shows and
// the toolbox bitmap.
constexpr int kDisplayNameResource = 101;
constexpr int kToolboxBitmapResource = 103;
// Recompose on resize, cannot link inside, inside-out, activate when visible, set client
// site first.
constexpr const char16_t* kMiscStatusContent = u"131473";

const reg::AppIdEntry kAppId{elevation::APPID_TesselUAC, u"TesselUAC", u"TesselUAC.DLL"};

com::Module& module() {
    static com::Module m(reinterpret_cast<const void*>(&module),
                         // Its categories go through registerSafeCategories.
                         {com::classEntry<elevation::UAC>(
                             elevation::CLSID_UAC, {.description = u"UAC Class",
                                                    .progId = u"TesselUAC.UAC.1",
                                                    .versionIndependentProgId = u"TesselUAC.UAC",
                                                    .control = true})},
                         com::TypeLibInfo{elevation::LIBID_TesselUAC,
                                          u"1.0",
                                          u"TesselUAC 1.0 형식 라이브러리",
                                          {{elevation::IID_IUAC, u"IUAC"}}});
    return m;
}

void classExtras(registry::Batch& batch, const std::u16string& path) {
    reg::addAppIdKeys(batch, kAppId);
    reg::addElevationKeys(batch, elevation::CLSID_UAC, kAppId, path, kDisplayNameResource);
    reg::addControlKeys(batch, elevation::CLSID_UAC, path, kToolboxBitmapResource,
                        kMiscStatusContent);
}

HRESULT registerLibrary(com::Module& m) {
    reg::setMessageCaption(u"TesselUAC");
    return reg::registerServer(m, classExtras);
}

HRESULT unregisterLibrary(com::Module& m) {
    reg::setMessageCaption(u"TesselUAC");
    return reg::unregisterServer(
        m, [](registry::Batch& batch) { reg::removeAppIdKeys(batch, kAppId); });
}

}  // namespace

TESSEL_COM_SERVER(module(), .registerServer = registerLibrary,
                  .unregisterServer = unregisterLibrary)

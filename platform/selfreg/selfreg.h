// Self-registration of an in-process server that registers as safe for scripting and
// initialising and creates the category manager elevated where the OS needs it. The four
// functions are generic (they take the class and category identifiers); ElevatableControl
// and registrationOf put them together for a library of one control class that the surrogate
// runs and the elevation moniker creates (the native cipher library, the elevation broker).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/runtime.h"
#include "platform/com/server.h"
#include "platform/registry/registry.h"

namespace platform::selfreg {

using com::ClassEntry;
using com::Guid;
using com::HRESULT;
using com::Module;
using com::Registration;
using com::TypeLibInfo;
using com::Unknown;

// True when the OS version query succeeds, the platform is NT and the major version is above
// 5 (Vista and later): then the category manager is created through the elevation moniker.
bool NeedsElevation();

// Binds "Elevation:Administrator!new:{CLSID}" for the interface `iid` with the class context
// of a local server. A non-negative status means `out` holds the object; a negative one means
// no object (consent declined, or the class cannot be elevated). The consent prompt has no
// owner window here.
HRESULT CoCreateInstanceAsAdmin(const Guid& clsid, const Guid& iid, std::shared_ptr<Unknown>& out);

// Registers one component category (locale 1033, description cut to 127 characters).
HRESULT CreateComponentCategory(const Guid& catid, std::u16string_view description);

// Registers a class as implementing one category.
HRESULT RegisterCLSIDInCategory(const Guid& clsid, const Guid& catid);

// The caption of the message boxes that report a failing step (the library's name).
void setMessageCaption(std::u16string caption);

// ---- Entry-point logic ----------------------------------------------------------------

// The AppID of a library that can run in the system's surrogate: "AppID\{appid}" with the
// library's name and an empty DllSurrogate, and "AppID\<dllName>" pointing at it.
struct AppIdEntry {
    Guid appId;
    std::u16string name;     // default value of the AppID key
    std::u16string dllName;  // key naming the library file, e.g. "Lib.DLL"
};

// Keys of a class that the elevation moniker may create: the class's AppID value,
// "Elevation\Enabled" = 1 and the display name resource for the consent prompt.
void addElevationKeys(platform::registry::Batch& batch, const Guid& clsid, const AppIdEntry& app,
                      const std::u16string& libraryPath, int displayNameResource);
void addAppIdKeys(platform::registry::Batch& batch, const AppIdEntry& app);
void removeAppIdKeys(platform::registry::Batch& batch, const AppIdEntry& app);

// Keys of a control class: its toolbox image "ToolboxBitmap32" = "<library>, <resource>" and its
// status bits, "MiscStatus" = "0" with the content aspect's bits under "MiscStatus\1".
void addControlKeys(platform::registry::Batch& batch, const Guid& clsid,
                    const std::u16string& libraryPath, int bitmapResource,
                    std::u16string_view contentMiscStatus);

// Creates the safe-for-scripting and safe-for-initialising categories and registers the class
// in both. The first failing step ends it with SELFREG_E_CLASS; otherwise S_OK.
HRESULT registerSafeCategories(const Guid& clsid);

using ExtraKeys = std::function<void(platform::registry::Batch&, const std::u16string& path)>;
using ExtraRemovals = std::function<void(platform::registry::Batch&)>;

// DllRegisterServer: the module's keys (classes, ProgIDs, type library, plus `extra`); a
// failure is returned at once. Then every class of the module goes into the two safe
// categories; a failure there gives SELFREG_E_CLASS.
HRESULT registerServer(Module& module, const ExtraKeys& extra);

// DllUnregisterServer: removes what registerServer wrote (plus `extra`). The categories and
// the classes' category registrations stay.
HRESULT unregisterServer(Module& module, const ExtraRemovals& extra);

// ---- A library of one elevatable control --------------------------------------------------

// The library's one class, a control the system's surrogate may run and the elevation moniker
// may create, with what its registry entries name beside the module's standard keys.
struct ElevatableControl {
    AppIdEntry app;  // its name is also the caption of the library's message boxes
    ClassEntry control;
    TypeLibInfo typeLib;
    // Resource numbers the registry entries name: the display name the consent prompt shows
    // and the toolbox bitmap.
    int displayNameResource = 101;
    int toolboxBitmapResource = 103;
    // Recompose on resize, cannot link inside, inside-out, activate when visible, set client
    // site first.
    std::u16string contentMiscStatus = u"131473";
};

// The library's module object; `anchor` is any address inside the library.
Module moduleOf(const void* anchor, const ElevatableControl& library);

// The library's registration steps: registerServer with the AppID, elevation and control keys
// of the class; unregisterServer with the AppID keys. `library` must outlive the steps.
Registration registrationOf(const ElevatableControl& library);

}  // namespace platform::selfreg

// The module object and the four entry points of a library of one elevatable control.
// `library` is an expression naming its ElevatableControl, which must live as long as the
// library (a function's static, made on first use inside the entry points' guard):
//     TESSEL_ELEVATABLE_CONTROL_SERVER(library())
#define TESSEL_ELEVATABLE_CONTROL_SERVER(library)                            \
    namespace {                                                              \
    platform::com::Module& tesselControlModule() {                           \
        static platform::com::Module m = platform::selfreg::moduleOf(        \
            reinterpret_cast<const void*>(&tesselControlModule), (library)); \
        return m;                                                            \
    }                                                                        \
    }                                                                        \
    TESSEL_COM_SERVER(tesselControlModule(), platform::selfreg::registrationOf(library))

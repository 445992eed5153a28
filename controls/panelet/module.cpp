// The library's module object: the control class and its property page, with the control's
// registry entries (toolbox bitmap, miscellaneous status) and the type library.
#include "controls/panelet/panelet.h"
#include "platform/com/server.h"

namespace {

namespace com = platform::com;
namespace registry = platform::registry;
using namespace panelet;

constexpr int kToolboxBitmap = 1;
// Recompose on resize, cannot link inside, inside-out, activate when visible, set client site
// first (0x20191).
constexpr const char16_t* kMiscStatus = u"131473";

com::Module& module() {
    static com::Module m(
        reinterpret_cast<const void*>(&module),
        {com::classEntry<PaneletCtrl>(CLSID_Panelet, {.description = u"Panelet Control",
                                                      .progId = u"PANELET.PaneletCtrl.1",
                                                      .control = true}),
         com::classEntry<PaneletPropPage>(CLSID_PaneletPropPage,
                                          {.description = u"Panelet Property Page",
                                           .progId = u"PANELET.PaneletPropPage.1",
                                           .programmable = false})},
        com::TypeLibInfo{
            LIBID_PANELETLib,
            u"1.0",
            u"Panelet ActiveX Control module",
            {{DIID_DPanelet, u"_DPanelet"}, {DIID_DPaneletEvents, u"_DPaneletEvents"}}});
    return m;
}

com::HRESULT registerLibrary(com::Module& m) {
    return m.registerServer([](registry::Batch& batch, const std::u16string& path) {
        const std::u16string key = u"CLSID\\" + CLSID_Panelet.str();
        const std::string bitmap = ", " + std::to_string(kToolboxBitmap);
        batch.setValue(registry::Root::ClassesRoot, key + u"\\ToolboxBitmap32", u"",
                       path + std::u16string(bitmap.begin(), bitmap.end()));
        batch.setValue(registry::Root::ClassesRoot, key + u"\\MiscStatus", u"",
                       std::u16string(u"0"));
        batch.setValue(registry::Root::ClassesRoot, key + u"\\MiscStatus\\1", u"",
                       std::u16string(kMiscStatus));
    });
}

}  // namespace

TESSEL_COM_SERVER(module(), .registerServer = registerLibrary, .unregisterServer = {})

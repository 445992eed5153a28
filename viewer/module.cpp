// The control library's COM server: the viewer control and its registration.
#include "platform/com/server.h"
#include "viewer/control/qt_parts.h"
#include "viewer/control/viewer.h"
#include "viewer/dialog/qt_select_printer.h"
#include "viewer/subclass/subclass.h"
#include "viewer/timer/timer.h"

namespace {

using namespace platform::com;

Module& module() {
    static Module m(
        reinterpret_cast<const void*>(&module),
        {classEntry(vistrel::CLSID_Viewer,
                    {.progId = u"Vistrel.Viewer", .categories = {CATID_Control}, .control = true},
                    [] {
                        return std::static_pointer_cast<Unknown>(std::make_shared<vistrel::Viewer>(
                            vistrel::qtViewerParts(vistrel::dialog::qtPrinterChooser())));
                    }),
         vistrel::gsubclassClassEntry(), vistrel::ctimerClassEntry()},
        TypeLibInfo{vistrel::LIBID_Vistrel,
                    u"1.0",
                    u"Vistrel",
                    {{vistrel::IID__Viewer, u"_Viewer"},
                     {vistrel::DIID___Viewer, u"__Viewer"},
                     {vistrel::IID__GSubclass, u"_GSubclass"},
                     {vistrel::IID__ISubclass, u"_ISubclass"},
                     {vistrel::IID__CTimer, u"_CTimer"},
                     {vistrel::DIID___CTimer, u"__CTimer"}}});
    return m;
}

}  // namespace

TESSEL_COM_SERVER(module())

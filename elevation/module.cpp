// The library's module object and its four entry points. Registration writes the class with
// its ProgIDs, control, elevation and toolbox keys, the AppID that lets the class be made
// elevated, the type library and the two safe categories.
#include "elevation/broker.h"
#include "platform/com/selfreg.h"
#include "platform/com/server.h"

namespace {

namespace com = platform::com;
namespace selfreg = platform::com::selfreg;

const selfreg::ElevatableControl& library() {
    // The class's categories go through the safe-category step of registration.
    static const selfreg::ElevatableControl l{
        .app = {elevation::APPID_TesselUAC, u"TesselUAC", u"TesselUAC.DLL"},
        .control = com::classEntry<elevation::UAC>(elevation::CLSID_UAC,
                                                   {.description = u"UAC Class",
                                                    .progId = u"TesselUAC.UAC.1",
                                                    .versionIndependentProgId = u"TesselUAC.UAC",
                                                    .control = true}),
        .typeLib = {elevation::LIBID_TesselUAC,
                    u"1.0",
                    u"TesselUAC 1.0 형식 라이브러리",
                    {{elevation::IID_IUAC, u"IUAC"}}}};
    return l;
}

com::Module& module() {
    static com::Module m = selfreg::moduleOf(reinterpret_cast<const void*>(&module), library());
    return m;
}

}  // namespace

TESSEL_COM_SERVER(module(), selfreg::registrationOf(library()))

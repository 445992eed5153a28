// The library's module object and its four entry points. Registration writes the class with
// its ProgIDs, control, elevation and toolbox keys, the AppID that lets the class be made
// elevated, the type library and the two safe categories.
#include "elevation/broker.h"
#include "platform/selfreg/selfreg.h"

namespace {

const platform::selfreg::ElevatableControl& library() {
    using namespace platform::com;
    // The class's categories go through the safe-category step of registration.
    static const platform::selfreg::ElevatableControl l{
        .app = {elevation::APPID_TesselUAC, u"TesselUAC", u"TesselUAC.DLL"},
        .control = classEntry<elevation::UAC>(elevation::CLSID_UAC,
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

}  // namespace

TESSEL_ELEVATABLE_CONTROL_SERVER(library())

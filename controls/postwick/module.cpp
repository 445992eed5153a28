// The library's COM server: the control, the client and the three form classes, and their
// registration.
#include "controls/postwick/formpost.h"
#include "controls/postwick/objects.h"
#include "controls/postwick/pairs.h"
#include "controls/postwick/postwick.h"
#include "platform/com/server.h"

namespace {

using namespace platform::com;
using namespace postwick;

Module& module() {
    static Module m(
        reinterpret_cast<const void*>(&module),
        {classEntry<Action>(CLSID_Action, {.progId = u"Postwick.Action", .control = true}),
         classEntry<cHTTP>(CLSID_cHTTP, {.progId = u"Postwick.cHTTP"}),
         classEntry<cNVPair>(CLSID_cNVPair, {.progId = u"Postwick.cNVPair"}),
         classEntry<cNVPairs>(CLSID_cNVPairs, {.progId = u"Postwick.cNVPairs"}),
         classEntry<CMPairs>(CLSID_CMPairs, {.progId = u"Postwick.CMPairs"})},
        TypeLibInfo{LIBID_Postwick,
                    u"1.0",
                    u"Postwick",
                    {{IID_Action, u"_Action"},
                     {DIID_ActionEvents, u"__Action"},
                     {IID_cHTTP, u"_cHTTP"},
                     {IID_cNVPair, u"_cNVPair"},
                     {IID_cNVPairs, u"_cNVPairs"},
                     {IID_CMPairs, u"_CMPairs"}}});
    // Objects the members hand out keep the library loaded, as the factories' objects do.
    static const bool tracking = [] {
        setTracker([](std::shared_ptr<Unknown> object) { return m.track(std::move(object)); });
        return true;
    }();
    (void)tracking;
    return m;
}

}  // namespace

TESSEL_COM_SERVER(module())

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
    static const LibraryClasses named{u"Postwick"};
    static Module m(
        reinterpret_cast<const void*>(&module),
        {named.entry<Action>(CLSID_Action, u"Action", {.control = true}),
         named.entry<cHTTP>(CLSID_cHTTP, u"cHTTP"), named.entry<cNVPair>(CLSID_cNVPair, u"cNVPair"),
         named.entry<cNVPairs>(CLSID_cNVPairs, u"cNVPairs"),
         named.entry<CMPairs>(CLSID_CMPairs, u"CMPairs")},
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

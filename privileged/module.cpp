// The library's COM server: the class UAC and its registration.
#include "platform/com/server.h"
#include "privileged/uac.h"

namespace {

using namespace platform::com;

Module& module() {
    static Module m(
        reinterpret_cast<const void*>(&module),
        {classEntry<kestrum::UAC>(kestrum::CLSID_UAC, {.progId = u"Kestrum.UAC"})},
        TypeLibInfo{kestrum::LIBID_Kestrum, u"1.0", u"Kestrum", {{kestrum::IID_UAC, u"_UAC"}}});
    return m;
}

}  // namespace

TESSEL_COM_SERVER(module())

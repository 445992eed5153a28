// The library's module object and its four entry points. Registration writes the AppID (for
// the surrogate and the elevation moniker), the class with its ProgIDs, control and elevation
// keys, the type library, and the two safe categories.
#include "ciphers-native/crypt.h"
#include "platform/selfreg/selfreg.h"

namespace {

const platform::selfreg::ElevatableControl& library() {
    using namespace platform::com;
    // The class's categories go through the safe-category step of registration.
    static const platform::selfreg::ElevatableControl l{
        .app = {sealwyn::APPID_Sealwyn, u"Sealwyn", u"Sealwyn.DLL"},
        .control = classEntry<sealwyn::CCrypt>(sealwyn::CLSID_Crypt,
                                               {.description = u"Crypt Class",
                                                .progId = u"Sealwyn.Crypt.1",
                                                .versionIndependentProgId = u"Sealwyn.Crypt",
                                                .control = true}),
        .typeLib = {sealwyn::LIBID_SealwynLib,
                    u"1.0",
                    u"Sealwyn 1.0 Type Library",
                    {{sealwyn::IID_ICrypt, u"ICrypt"}}}};
    return l;
}

}  // namespace

TESSEL_ELEVATABLE_CONTROL_SERVER(library())

// The library's COM server: its creatable classes and their registration.
#include "ciphers/ciphers.h"
#include "ciphers/crypt.h"
#include "ciphers/libs.h"
#include "platform/com/server.h"

namespace {

using namespace platform::com;
using namespace ciphra;

constexpr Guid LIBID_Ciphra = Guid::of("{6F3C2A91-58D4-4E0B-9A77-C2E41B8D5F10}");

template <class T>
ClassEntry entry(const Guid& clsid, std::u16string name) {
    return ClassEntry{clsid,
                      u"Ciphra." + name,
                      u"Ciphra." + name,
                      u"",
                      [] { return std::static_pointer_cast<Unknown>(std::make_shared<T>()); },
                      u"Apartment",
                      {},
                      false};
}

Module& module() {
    static Module m(reinterpret_cast<const void*>(&module),
                    {entry<Crypt>(CLSID_Crypt, u"Crypt"), entry<Des>(CLSID_Des, u"Des"),
                     entry<Blowfish>(CLSID_Blowfish, u"Blowfish"), entry<RSA>(CLSID_RSA, u"RSA"),
                     entry<IniCrypt>(CLSID_IniCrypt, u"IniCrypt"),
                     entry<Layout>(CLSID_Layout, u"Layout"), entry<Libs>(CLSID_Libs, u"Libs")},
                    TypeLibInfo{LIBID_Ciphra,
                                u"1.0",
                                u"Ciphra",
                                {{IID_Crypt, u"_Crypt"},
                                 {IID_Des, u"_Des"},
                                 {IID_Blowfish, u"_Blowfish"},
                                 {IID_RSA, u"_RSA"},
                                 {IID_IniCrypt, u"_IniCrypt"},
                                 {IID_Layout, u"_Layout"},
                                 {IID_Libs, u"_Libs"}}});
    return m;
}

}  // namespace

TESSEL_COM_SERVER(module())

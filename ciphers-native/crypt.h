// The native cipher class Crypt (ProgIDs "Sealwyn.Crypt" and "Sealwyn.Crypt.1") and its
// dual interface ICrypt: ARIA and SEED under password-derived keys, hexadecimal and URL
// coding, and five digests that the outside component AesBridge computes. Every call is
// self-contained; the class keeps no state between calls.
#pragma once

#include "platform/com/dispatch.h"

namespace sealwyn {

inline constexpr platform::com::Guid CLSID_Crypt =
    platform::com::Guid::of("{62DBCEAA-02B6-4BFA-AC1D-E19D9AB4B779}");
inline constexpr platform::com::Guid IID_ICrypt =
    platform::com::Guid::of("{0BA0BD4C-FE47-478F-A747-7FF23AE613F4}");
inline constexpr platform::com::Guid LIBID_SealwynLib =
    platform::com::Guid::of("{46E9BC94-E88D-40F8-9995-6230C13651CB}");
inline constexpr platform::com::Guid APPID_Sealwyn =
    platform::com::Guid::of("{DF4E530A-D713-435B-A9FC-171AAB6E8191}");

class CCrypt : public platform::com::DispatchImpl<CCrypt> {
  public:
    static const platform::com::Members<CCrypt>& members();
};

}  // namespace sealwyn

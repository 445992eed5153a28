// Postwick: the HTTP form-post control library. Its identifiers, kept here once for the
// classes, the module and the tests.
#pragma once

#include "platform/com/guid.h"

namespace postwick {

namespace com = platform::com;

inline constexpr com::Guid LIBID_Postwick = com::Guid::of("{F115E172-9F68-488C-B508-ADE098B675B6}");

inline constexpr com::Guid CLSID_Action = com::Guid::of("{0F5F7A5F-77FE-429C-8328-D792007BE914}");
inline constexpr com::Guid IID_Action = com::Guid::of("{2475282A-8A04-4EDC-8614-ADDB3536F014}");
inline constexpr com::Guid DIID_ActionEvents =
    com::Guid::of("{EE4429A3-8353-4FC4-BD3A-71899C2AB08A}");

inline constexpr com::Guid CLSID_cHTTP = com::Guid::of("{BE94E4F1-1F18-4738-96A8-0CFEA2B7F0EF}");
inline constexpr com::Guid IID_cHTTP = com::Guid::of("{B18E016F-490B-4C7B-B45C-C6F8C3C68AFA}");

inline constexpr com::Guid CLSID_cNVPair = com::Guid::of("{F216CAA4-93D0-46E2-9D97-35038BEE3D5E}");
inline constexpr com::Guid IID_cNVPair = com::Guid::of("{29805F6B-7C05-4213-9FEF-DC86AD25BCA8}");

inline constexpr com::Guid CLSID_cNVPairs = com::Guid::of("{707745A6-7A78-4F1D-9046-A7397011C54F}");
inline constexpr com::Guid IID_cNVPairs = com::Guid::of("{7C04DE3C-0258-4363-8E33-71E873A8E55F}");

inline constexpr com::Guid CLSID_CMPairs = com::Guid::of("{3164B3BD-396B-4418-B470-945E0842F46C}");
inline constexpr com::Guid IID_CMPairs = com::Guid::of("{7F8C4E3F-5B9E-4292-A273-A18E90791C12}");

}  // namespace postwick

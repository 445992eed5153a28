// TesselUAC: the elevation broker. One class, UAC, that a caller with ordinary rights creates in
// its own process; InitializeCOM has an elevated twin made in a process of its own (the host
// program), and each public operation X is carried there as its private twin _X, which
// invokes the privileged-operations class "Kestrum.UAC" by dispatch identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/dispatch.h"

namespace elevation {

namespace com = platform::com;

inline constexpr com::Guid CLSID_UAC = com::Guid::of("{C403E6FA-C549-40FC-B569-CC9D7CEA9A91}");
inline constexpr com::Guid IID_IUAC = com::Guid::of("{EB86FBAD-8011-44E4-8AE2-CE9F45C59A9F}");
inline constexpr com::Guid LIBID_TesselUAC =
    com::Guid::of("{CCE92154-4F95-4144-AAB6-261E58D264DA}");
inline constexpr com::Guid APPID_TesselUAC =
    com::Guid::of("{FD7329FE-6DC4-482E-B80F-D9F8AE4B156A}");

inline constexpr com::DispId DISPID_ReleaseCOM = 1;
inline constexpr com::DispId DISPID_InitializeCOM = 2;

// One forwarded operation: the public X (even identifier) and its private _X (the odd one
// before it), and the privileged member _X invokes (0: _X does the work itself).
// Path: an ANSI text that names a file or folder.
enum class Kind : std::uint8_t { Long, Ansi, Path };
enum class Result : std::uint8_t { None, Long, Text };
struct Operation {
    const char16_t* name;         // public name
    const char16_t* privateName;  // "_" + name, except for the find-text pair
    com::DispId publicId;
    std::vector<std::pair<const char16_t*, Kind>> params;
    Result result;
    com::DispId privileged;
    com::DispId privateId() const { return publicId - 1; }
};

// The 30 operations in identifier order.
const std::vector<Operation>& operations();
// The operation whose private identifier is `id`, or nullptr.
const Operation* privateOperation(com::DispId id);

class UAC : public com::DispatchImpl<UAC> {
  public:
    static const com::Members<UAC>& members();
};

// Whether InitializeCOM elevates: TESSEL_UAC_ELEVATE=1 or 0 decides when set; otherwise a
// process that is not the superuser's elevates.
bool elevationNeeded();

// The elevated instance held for the whole process (null when none), and whether one is held.
std::shared_ptr<com::Dispatch> elevatedInstance();

// Installs the elevation provider of the class (see provider.h) when none is set.
void ensureProvider();

}  // namespace elevation

// The keep-on-top control: setOn lifts the calling thread's active window into the topmost
// band, setOff returns it to the normal band; AboutBox shows the control's about box. The
// control keeps no state.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/gdi/gdi.h"

namespace panelet {

inline constexpr platform::com::Guid LIBID_PANELETLib =
    platform::com::Guid::of("{1635B2C3-0E45-4ABD-B6E4-420D042CBCCF}");
inline constexpr platform::com::Guid CLSID_Panelet =
    platform::com::Guid::of("{1DE9BB01-B121-401D-8877-BCD5ED5B7EE5}");
inline constexpr platform::com::Guid DIID_DPanelet =
    platform::com::Guid::of("{F44DAE74-AB99-418C-8429-0C8699B5BAB6}");
inline constexpr platform::com::Guid DIID_DPaneletEvents =
    platform::com::Guid::of("{F9C1DDE4-3111-4F08-BB0A-5850B3A355AD}");
inline constexpr platform::com::Guid CLSID_PaneletPropPage =
    platform::com::Guid::of("{D9523571-CD1D-48A0-A2B8-71EA34CDA751}");

inline constexpr platform::com::DispId DISPID_setOn = 1;
inline constexpr platform::com::DispId DISPID_setOff = 2;
inline constexpr platform::com::DispId DISPID_ABOUTBOX = -552;

class PaneletCtrl : public platform::com::DispatchImpl<PaneletCtrl> {
  public:
    static const platform::com::Members<PaneletCtrl>& members();
    void setOn();
    void setOff();
    void aboutBox();
    // The control's face: the bounds filled white, then the inscribed ellipse in the context's
    // current pen and brush.
    static void draw(platform::gdi::Dc& dc, const platform::gdi::Rect& bounds);
};

// The property page: an empty page titled "General"; it has no members.
class PaneletPropPage : public platform::com::DispatchImpl<PaneletPropPage> {
  public:
    static const platform::com::Members<PaneletPropPage>& members();
};

}  // namespace panelet

#include "controls/panelet/panelet.h"

#include "platform/ui/messagebox.h"
#include "platform/window/window.h"

namespace panelet {

namespace com = platform::com;
namespace window = platform::window;

// The window that is active in the calling thread, not the control's own: a form that is not
// active is not lifted. Without an active window nothing happens.
void PaneletCtrl::setOn() {
    if (const window::Hwnd active = window::activeWindow()) window::setWindowTopmost(active, true);
}

void PaneletCtrl::setOff() {
    if (const window::Hwnd active = window::activeWindow()) window::setWindowTopmost(active, false);
}

void PaneletCtrl::aboutBox() {
    platform::ui::messageBox(u"Panelet Control, Version 1.0", u"About Panelet Control",
                             platform::ui::vbOKOnly);
}

void PaneletCtrl::draw(platform::gdi::Dc& dc, const platform::gdi::Rect& bounds) {
    dc.fillRect(bounds, platform::gdi::Brush{0xFFFFFF});
    dc.ellipse(bounds.left, bounds.top, bounds.right, bounds.bottom);
}

const com::Members<PaneletCtrl>& PaneletCtrl::members() {
    static const com::Members<PaneletCtrl> m =
        com::Members<PaneletCtrl>(u"_DPanelet", DIID_DPanelet)
            .method(DISPID_setOn, u"setOn", com::VT_EMPTY, {},
                    [](PaneletCtrl& c, com::Call&) { c.setOn(); })
            .method(DISPID_setOff, u"setOff", com::VT_EMPTY, {},
                    [](PaneletCtrl& c, com::Call&) { c.setOff(); })
            .method(DISPID_ABOUTBOX, u"AboutBox", com::VT_EMPTY, {},
                    [](PaneletCtrl& c, com::Call&) { c.aboutBox(); });
    return m;
}

const com::Members<PaneletPropPage>& PaneletPropPage::members() {
    static const com::Members<PaneletPropPage> m =
        com::Members<PaneletPropPage>(u"PaneletPropPage", CLSID_PaneletPropPage);
    return m;
}

}  // namespace panelet

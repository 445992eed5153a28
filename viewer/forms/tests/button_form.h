// The form the button tests place their buttons on.
#pragma once

#include <memory>

#include "platform/gdi/gdi.h"
#include "platform/window/window.h"
#include "viewer/forms/tests/fake_host.h"
#include "viewer/forms/xbutton.h"

namespace vistrel::forms::testing {

struct ButtonForm : ControlFixture {
    // A new form at (100, 100)-(500, 400) of the screen and on it a new button of w x h at
    // (10, 20), initialised as the host creates it.
    std::unique_ptr<XButton> place(int w = 80, int h = 24) {
        form = platform::window::createWindow(0, {100, 100, 500, 400});
        auto b = std::make_unique<XButton>(host, form, platform::gdi::Rect{10, 20, 10 + w, 20 + h});
        b->initNew();
        return b;
    }

    FakeHost host;
    platform::window::Hwnd form = 0;
};

}  // namespace vistrel::forms::testing

// A host form for the controls in tests: ambient values it hands out and what it was told.
#pragma once

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/gdi/text.h"
#include "platform/window/window.h"
#include "viewer/forms/property_bag.h"

namespace vistrel::forms::testing {

struct FakeHost : ControlHost {
    std::u16string name = u"xButton1";
    platform::gdi::Font font{u"Tahoma", 9, false, false, false, 0};
    bool runTime = true;
    bool isDefault = false;
    platform::gdi::BitmapPtr parent;
    std::vector<std::u16string> changed;
    std::vector<char16_t> keys;
    int surfaces = 0;

    std::u16string displayName() const override { return name; }
    platform::gdi::Font ambientFont() const override { return font; }
    bool userMode() const override { return runTime; }
    bool displayAsDefault() const override { return isDefault; }
    platform::gdi::BitmapPtr parentSurface() override { return parent; }
    void surfaceChanged() override { ++surfaces; }
    void propertyChanged(const std::u16string& n) override { changed.push_back(n); }
    void accessKeyChanged(char16_t key) override { keys.push_back(key); }
};

// Fresh window tree, system colours and the fixed-cell font for each test.
struct ControlFixture {
    ControlFixture() {
        platform::window::resetForTests();
        platform::gdi::resetSysColors();
        platform::gdi::useTestFont(true);
    }
    ~ControlFixture() {
        platform::gdi::useTestFont(false);
        platform::window::resetForTests();
    }
};

}  // namespace vistrel::forms::testing

// The platform's virtual-key codes: the key code of a control's key events and the key of a
// keyboard hook's record. Letters and digits have their upper-case ASCII code (letterKey,
// digitKey); every other key the system names is here.
#pragma once

#include <cstdint>

namespace platform::window {

using VirtualKey = std::uint16_t;

inline constexpr VirtualKey VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
                            VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_CAPITAL = 0x14,
                            VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
                            VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26,
                            VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D,
                            VK_DELETE = 0x2E, VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D,
                            VK_NUMPAD0 = 0x60, VK_NUMPAD3 = 0x63, VK_NUMPAD6 = 0x66,
                            VK_NUMPAD9 = 0x69, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B,
                            VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70,
                            VK_F2 = 0x71, VK_F3 = 0x72, VK_F4 = 0x73, VK_F5 = 0x74, VK_F12 = 0x7B,
                            VK_NUMLOCK = 0x90, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1,
                            VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3, VK_LMENU = 0xA4,
                            VK_RMENU = 0xA5;

// The key of a letter ('A' to 'Z', either case) or a digit ('0' to '9').
constexpr VirtualKey letterKey(char c) {
    return static_cast<VirtualKey>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}
constexpr VirtualKey digitKey(char c) {
    return static_cast<VirtualKey>(c);
}

}  // namespace platform::window

#include "viewer/forms/qt_keys.h"

#include <QKeyEvent>

#include "platform/window/virtual_keys.h"

namespace vistrel::forms {

namespace {

namespace win = platform::window;

struct KeyCode {
    int qtKey;
    bool keypad;  // the key on the numeric keypad
    win::VirtualKey code;
};

// Keys whose code is no letter, digit or function key. Where several Qt keys give one code,
// the first is the one the code stands for.
constexpr KeyCode kKeyCodes[] = {
    {Qt::Key_Backspace, false, win::VK_BACK},
    {Qt::Key_Tab, false, win::VK_TAB},
    {Qt::Key_Backtab, false, win::VK_TAB},
    {Qt::Key_Clear, false, win::VK_CLEAR},
    {Qt::Key_Return, false, win::VK_RETURN},
    {Qt::Key_Enter, false, win::VK_RETURN},
    {Qt::Key_Shift, false, win::VK_SHIFT},
    {Qt::Key_Control, false, win::VK_CONTROL},
    {Qt::Key_Alt, false, win::VK_MENU},
    {Qt::Key_CapsLock, false, win::VK_CAPITAL},
    {Qt::Key_Escape, false, win::VK_ESCAPE},
    {Qt::Key_Space, false, win::VK_SPACE},
    {Qt::Key_PageUp, false, win::VK_PRIOR},
    {Qt::Key_PageDown, false, win::VK_NEXT},
    {Qt::Key_End, false, win::VK_END},
    {Qt::Key_Home, false, win::VK_HOME},
    {Qt::Key_Left, false, win::VK_LEFT},
    {Qt::Key_Up, false, win::VK_UP},
    {Qt::Key_Right, false, win::VK_RIGHT},
    {Qt::Key_Down, false, win::VK_DOWN},
    {Qt::Key_Insert, false, win::VK_INSERT},
    {Qt::Key_Delete, false, win::VK_DELETE},
    {Qt::Key_NumLock, false, win::VK_NUMLOCK},
    // With Num Lock on the keypad's digits and decimal point, whose code is their place;
    // without it they are the navigation keys above. A layout whose decimal point is a comma
    // gives the comma on the same key.
    {Qt::Key_Asterisk, true, win::VK_MULTIPLY},
    {Qt::Key_Plus, true, win::VK_ADD},
    {Qt::Key_Minus, true, win::VK_SUBTRACT},
    {Qt::Key_Period, true, win::VK_DECIMAL},
    {Qt::Key_Comma, true, win::VK_DECIMAL},
    {Qt::Key_Slash, true, win::VK_DIVIDE},
    {Qt::Key_Enter, true, win::VK_RETURN},
};

}  // namespace

short keyCodeOf(int key, bool keypad) {
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<short>(win::VK_NUMPAD0 + (key - Qt::Key_0));
    if (keypad)
        for (const KeyCode& k : kKeyCodes)
            if (k.keypad && k.qtKey == key) return static_cast<short>(k.code);
    // Every other keypad key gives the code of its main-keyboard twin.
    for (const KeyCode& k : kKeyCodes)
        if (!k.keypad && k.qtKey == key) return static_cast<short>(k.code);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<short>(win::digitKey(char(key)));
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<short>(win::letterKey(char(key)));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<short>(win::VK_F1 + (key - Qt::Key_F1));
    return 0;
}

short keyCodeOf(const QKeyEvent& event) {
    return keyCodeOf(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

int qtKeyOf(short code) {
    for (const KeyCode& k : kKeyCodes)
        if (k.code == code) return k.qtKey;
    if (code >= win::VK_NUMPAD0 && code <= win::VK_NUMPAD9)
        return Qt::Key_0 + (code - win::VK_NUMPAD0);
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) return code;
    if (code >= win::VK_F1 && code <= win::VK_F12) return Qt::Key_F1 + (code - win::VK_F1);
    return Qt::Key_unknown;
}

QString typedText(const QKeyEvent& event) {
    return event.key() == Qt::Key_Delete ? QString() : event.text();
}

bool movesFocus(const QKeyEvent& event) {
    return (event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab) &&
           !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace vistrel::forms

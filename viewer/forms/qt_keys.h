// The key codes and characters the form controls hand their hosts for Qt's key events: the
// virtual-key code the platform's own controls would give for the key, the keypad's keys
// apart from the main keyboard's.
#pragma once

#include <QString>

class QKeyEvent;

namespace vistrel::forms {

// The key code of a Qt key, on the numeric keypad (Qt::KeypadModifier) or not; 0 for a key
// that has none.
short keyCodeOf(int qtKey, bool keypad);
short keyCodeOf(const QKeyEvent& event);
// The Qt key that does what a key code does (Qt::Key_unknown when there is none).
int qtKeyOf(short code);
// The text the key types, as the key's character event hands it on: nothing for Delete, which
// types nothing.
QString typedText(const QKeyEvent& event);
// Tab and Shift+Tab without Ctrl or Alt: the keys that move the focus to the next or the
// previous control.
bool movesFocus(const QKeyEvent& event);

}  // namespace vistrel::forms

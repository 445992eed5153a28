// The bridge from Qt widgets to the window tree: a widget gets a handle whose rectangle and
// visibility follow the widget, whose activation sets the thread's active window, and whose
// topmost changes reach the real window (on X11 the window manager's stay-on-top state).
#pragma once

#include "platform/window/window.h"

class QWidget;

namespace platform::window {

// The handle of a widget, made on first use; the handle goes when the widget does. A child
// widget's handle is a child of its parent widget's handle.
Hwnd attachWidget(QWidget* widget);
// The widget behind a handle made by attachWidget, or null.
QWidget* widgetOf(Hwnd hwnd);

// Runs the thread's timers on real time while the Qt event loop runs (once per thread).
void startTimerPump();

}  // namespace platform::window

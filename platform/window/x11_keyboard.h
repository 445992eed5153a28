// The keyboard hooks on a real X11 display, straight over xcb: the keys the hooks swallow become
// passive grabs on the root window (so that no other client receives them), every key event of
// the display is observed through the input extension's raw events without taking it from its
// receiver, and emptying the clipboard gives up the CLIPBOARD and PRIMARY selections.
//
// One connection of its own per thread that installed hooks; the thread's message loop reads
// its events (pump). Every wait on the display (connecting, its set-up, each round trip) is
// bounded by one deadline; a display that outlasts it is cut off and counts as lost. Internal
// to the keyboard module.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/keyboard.h"

namespace platform::window::x11 {

class Keyboard {
  public:
    using Log = std::function<void(const std::string&)>;
    using Deliver = std::function<void(const KeyEvent&)>;

    // Connects to the display named by DISPLAY; null (and a log line) when that fails or the
    // display does not answer in time.
    static std::unique_ptr<Keyboard> open(Log log);
    ~Keyboard();

    // Replaces the grabs by the ones for these keys, each with and without the lock and other
    // modifiers. A combination another client holds already is logged and left out.
    void grab(const std::vector<SwallowedKey>& keys);
    // Reads the display's pending events and hands every key event to `deliver`; with sync, a
    // round trip first, so that everything the display has sent so far is read.
    int pump(bool sync, const Deliver& deliver);
    void emptyClipboard();
    // The connection's descriptor; -1 once it is lost.
    int fd() const;
    // The display went away or stopped answering: the connection is of no further use.
    bool lost() const;
    // The display's name as DISPLAY gave it.
    const std::string& display() const;

    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

  private:
    struct Impl;
    explicit Keyboard(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::window::x11

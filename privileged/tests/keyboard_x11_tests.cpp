// The keyboard lock on a real X11 display: a private Xvfb started by the fixture, another X
// client that has the input focus, and key strokes typed by xdotool through the display's test
// extension. What the other client receives shows what the lock took away.
#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/process/process.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "platform/testing/xvfb.h"
#include "platform/window/keyboard.h"
#include "platform/window/virtual_keys.h"
#include "privileged/kestrum.h"

namespace win = platform::window;

namespace {

// Another client of the display: a mapped window that has the input focus and records the keys
// it receives; it can also own the clipboard and grab a key as a window manager does.
class Client {
  public:
    Client() {
        conn_ = xcb_connect(nullptr, nullptr);
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        symbols_ = xcb_key_symbols_alloc(conn_);
    }
    ~Client() {
        xcb_key_symbols_free(symbols_);
        xcb_disconnect(conn_);
    }
    bool ok() const { return !xcb_connection_has_error(conn_); }
    void focusedWindow() {
        window_ = xcb_generate_id(conn_);
        const std::uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
        xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        xcb_map_window(conn_, window_);
        sync();
        xcb_set_input_focus(conn_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
        sync();
    }
    xcb_keycode_t keycode(xcb_keysym_t sym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, sym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    // Everything the display has sent this client so far: the key codes pressed.
    std::vector<xcb_keycode_t> pressed() {
        sync();
        while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
            if ((e->response_type & 0x7F) == XCB_KEY_PRESS)
                pressed_.push_back(reinterpret_cast<xcb_key_press_event_t*>(e)->detail);
            std::free(e);
        }
        std::vector<xcb_keycode_t> out;
        out.swap(pressed_);
        return out;
    }
    void ownClipboard() {
        xcb_set_selection_owner(conn_, window_, clipboardAtom(), XCB_CURRENT_TIME);
        sync();
    }
    xcb_window_t clipboardOwner() {
        auto* reply = xcb_get_selection_owner_reply(
            conn_, xcb_get_selection_owner(conn_, clipboardAtom()), nullptr);
        const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
        std::free(reply);
        return owner;
    }
    void grabKey(xcb_keycode_t key, std::uint16_t mods = 0) {
        xcb_grab_key(conn_, 1, root_, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        sync();
    }
    xcb_window_t window() const { return window_; }

  private:
    void sync() {
        std::free(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    }
    xcb_atom_t clipboardAtom() {
        auto* reply =
            xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, 9, "CLIPBOARD"), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }

    xcb_connection_t* conn_;
    xcb_window_t root_ = 0;
    xcb_window_t window_ = 0;
    xcb_key_symbols_t* symbols_;
    std::vector<xcb_keycode_t> pressed_;
};

class KeyboardLockOnX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        TESSEL_START_XVFB(display_, folder_.path());
        win::resetKeyboardForTests();
        win::setKeyboardLog([this](const std::string& line) { log_.push_back(line); });
        kestrum::setPassAll(false);
        kestrum::setPrintOnly(false);
        kestrum::setEscapeExit(false);
        kestrum::setExitKey(false);
        other_.emplace();
        ASSERT_TRUE(other_->ok());
        other_->focusedWindow();
    }
    void TearDown() override {
        kestrum::lockKeyboard(false);
        win::setKeyboardLog(nullptr);
        win::resetKeyboardForTests();
        other_.reset();
    }

    // Types the keys (xdotool's names) and lets the lock's thread read what came to it; answers
    // the keys the other client received.
    std::vector<xcb_keycode_t> type(const std::vector<std::string>& keys) {
        const auto r = display_.type(keys);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        win::pumpDesktopKeyboard(true);
        return other_->pressed();
    }
    bool logged(const std::string& what) const {
        for (const auto& line : log_)
            if (line.find(what) != std::string::npos) return true;
        return false;
    }
    bool received(const std::vector<xcb_keycode_t>& got, xcb_keysym_t sym) {
        const xcb_keycode_t code = other_->keycode(sym);
        for (xcb_keycode_t k : got)
            if (k == code) return true;
        return false;
    }

    platform::testing::TempMachine folder_;
    platform::testing::XvfbDisplay display_;
    std::optional<Client> other_;
    std::vector<std::string> log_;
};

constexpr xcb_keysym_t XK_Tab = XKB_KEY_Tab, XK_F1 = XKB_KEY_F1, XK_F4 = XKB_KEY_F4,
                       XK_Print = XKB_KEY_Print, XK_a = XKB_KEY_a, XK_z = XKB_KEY_z,
                       XK_F2 = XKB_KEY_F2;

TEST_F(KeyboardLockOnX11, ALockedSessionSwallowsTheLeavingKeysAndLetsLettersThrough) {
    // Unlocked, every key reaches the focused client.
    auto got = type({"alt+Tab", "F1", "Print", "a"});
    for (xcb_keysym_t sym : {XK_Tab, XK_F1, XK_Print, XK_a}) EXPECT_TRUE(received(got, sym)) << sym;

    kestrum::lockKeyboard(true);
    ASSERT_EQ(win::keyboardBackend(), "x11");
    const unsigned emptied = win::clipboardEmptyCount();
    got = type({"alt+Tab", "F1", "Print", "ctrl+c", "a", "z"});
    EXPECT_FALSE(received(got, XK_Tab));
    EXPECT_FALSE(received(got, XK_F1));
    EXPECT_FALSE(received(got, XK_Print));
    EXPECT_FALSE(received(got, XKB_KEY_c));
    EXPECT_TRUE(received(got, XK_a));
    EXPECT_TRUE(received(got, XK_z));
    // The hook saw the display's key events, letters and swallowed keys alike.
    EXPECT_GE(win::clipboardEmptyCount(), emptied + 12);

    // Print-only mode swallows nothing; locked again, F1 is taken away again.
    kestrum::setPrintOnly(true);
    EXPECT_TRUE(received(type({"F1"}), XK_F1));
    kestrum::setPrintOnly(false);
    EXPECT_FALSE(received(type({"F1"}), XK_F1));

    kestrum::lockKeyboard(false);
    EXPECT_EQ(win::keyboardBackend(), "simulated");
    got = type({"alt+Tab", "F1", "Print", "a"});
    for (xcb_keysym_t sym : {XK_Tab, XK_F1, XK_Print, XK_a}) EXPECT_TRUE(received(got, sym)) << sym;
}

TEST_F(KeyboardLockOnX11, ExitKeysAndTheClipboardFollowTheRealKeys) {
    other_->ownClipboard();
    ASSERT_EQ(other_->clipboardOwner(), other_->window());
    kestrum::lockKeyboard(true);

    // F4 is taken away and asks to leave.
    EXPECT_FALSE(received(type({"F4"}), XK_F4));
    EXPECT_TRUE(kestrum::exitKeyFlag());
    // Every key event empties the display's clipboard.
    EXPECT_EQ(other_->clipboardOwner(), static_cast<xcb_window_t>(XCB_NONE));
    kestrum::setExitKey(false);

    // Esc passes; with the escape exit on it asks to leave, and so does Ctrl with Shift.
    kestrum::setEscapeExit(true);
    EXPECT_TRUE(received(type({"Escape"}), XKB_KEY_Escape));
    EXPECT_TRUE(kestrum::exitKeyFlag());
    kestrum::setExitKey(false);
    EXPECT_TRUE(received(type({"ctrl+shift+a"}), XK_a));
    EXPECT_TRUE(kestrum::exitKeyFlag());
    kestrum::setExitKey(false);
    EXPECT_TRUE(received(type({"a"}), XK_a));
    EXPECT_FALSE(kestrum::exitKeyFlag());
}

// A window manager holding F2 and Alt+Tab keeps them; the lock says so and takes the rest.
TEST_F(KeyboardLockOnX11, AGrabAnotherClientHoldsIsLoggedAndTheRestStillLocks) {
    Client manager;
    manager.grabKey(manager.keycode(XK_F2));
    manager.grabKey(manager.keycode(XK_Tab), XCB_MOD_MASK_1);
    kestrum::lockKeyboard(true);
    ASSERT_EQ(win::keyboardBackend(), "x11");
    EXPECT_TRUE(logged("grabs of key " + std::to_string(win::VK_F2) + " (")) << log_.size();
    EXPECT_TRUE(logged("grabs of key 9 with Alt (")) << log_.size();
    const auto got = type({"F1", "alt+a", "z"});
    EXPECT_FALSE(received(got, XK_F1));
    EXPECT_FALSE(received(got, XK_a));
    EXPECT_TRUE(received(got, XK_z));
}

// Changing the lock's mode grabs anew; a key that stays swallowed is never free in between,
// however fast it is typed while the grabs change.
TEST_F(KeyboardLockOnX11, ARegrabNeverLetsASwallowedKeyThrough) {
    kestrum::lockKeyboard(true);
    ASSERT_EQ(win::keyboardBackend(), "x11");
    platform::process::Child typist;
    platform::process::SpawnOptions options;
    options.argv = {platform::testing::onPath("xdotool"),
                    "key",
                    "--delay",
                    "1",
                    "--repeat",
                    "300",
                    "alt+Tab",
                    "F1"};
    ASSERT_EQ(platform::process::spawn(options, typist), 0);
    int regrabs = 0;
    while (!typist.exited()) {
        kestrum::setPassAll(false);  // the same locked set, grabbed again
        win::pumpDesktopKeyboard();
        ++regrabs;
    }
    const auto got = type({"a"});
    EXPECT_GT(regrabs, 1);
    EXPECT_FALSE(received(got, XK_Tab));
    EXPECT_FALSE(received(got, XK_F1));
    EXPECT_TRUE(received(got, XK_a));
}

// A display that ends while locked is let go once; the lock goes on simulated.
TEST_F(KeyboardLockOnX11, ADisplayThatGoesAwayIsLetGoOnce) {
    kestrum::lockKeyboard(true);
    ASSERT_EQ(win::keyboardBackend(), "x11");
    display_.stop();
    win::pumpDesktopKeyboard(true);
    EXPECT_EQ(win::keyboardBackend(), "simulated");
    EXPECT_EQ(win::desktopKeyboardFd(), -1);
    win::pumpDesktopKeyboard(true);
    int lines = 0;
    for (const auto& line : log_)
        lines += line.find("went away; the keyboard lock stays simulated") != std::string::npos;
    EXPECT_EQ(lines, 1);
    // Still locked, on the simulated session.
    EXPECT_TRUE(kestrum::keyboardLocked());
    EXPECT_TRUE(win::deliverKeyEvent({0, win::WM_KEYDOWN, win::VK_F1}));
    other_.reset();
}

// A display that stops answering while locked (its process stopped) holds a change of the
// lock's mode only for the display's deadline; the lock then goes on simulated.
TEST_F(KeyboardLockOnX11, ADisplayThatStopsAnsweringIsLetGoAfterTheDeadline) {
    kestrum::lockKeyboard(true);
    ASSERT_EQ(win::keyboardBackend(), "x11");
    ASSERT_EQ(kill(display_.pid(), SIGSTOP), 0);
    // Should the change wait on the display for good, the display answers again after a while,
    // so that the test fails instead of hanging.
    std::promise<void> changed;
    std::thread resume([&, done = changed.get_future()] {
        done.wait_for(std::chrono::seconds(30));
        kill(display_.pid(), SIGCONT);
    });
    kestrum::setPrintOnly(true);  // grabs anew
    changed.set_value();
    resume.join();
    EXPECT_EQ(win::keyboardBackend(), "simulated");
    EXPECT_TRUE(logged("went away; the keyboard lock stays simulated"));
    EXPECT_TRUE(kestrum::keyboardLocked());
}

// A display that takes the connection and never answers: locking gives up on it after the
// display's deadline, says so as for a display it cannot reach, and locks the simulated
// session. The lock runs on a thread of its own, so that a hang fails the test.
TEST(KeyboardLockOnASilentDisplay, LockingGivesUpOnItAndLocksTheSimulatedSession) {
    platform::testing::SilentDisplay display;
    ASSERT_TRUE(display.ok());
    std::mutex mutex;
    std::vector<std::string> log;
    win::setKeyboardLog([&](const std::string& line) {
        std::lock_guard lock(mutex);
        log.push_back(line);
    });
    struct Seen {
        std::string backend;
        bool f1Swallowed = false;
    };
    auto seen = std::make_shared<std::promise<Seen>>();
    std::future<Seen> result = seen->get_future();
    std::thread([seen] {
        kestrum::lockKeyboard(true);
        Seen s{win::keyboardBackend(), win::deliverKeyEvent({0, win::WM_KEYDOWN, win::VK_F1})};
        kestrum::lockKeyboard(false);
        seen->set_value(s);
    }).detach();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready)
        << "locking hangs on the display";
    const Seen s = result.get();
    EXPECT_EQ(s.backend, "simulated");
    EXPECT_TRUE(s.f1Swallowed);
    win::setKeyboardLog(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"cannot reach the X display " + display.name() +
                                             "; the keyboard lock stays simulated"}));
}

// A display that admits only the clients with the user's cookie (XAUTHORITY's file).
class KeyboardLockOnX11WithACookie : public ::testing::Test {
  protected:
    void SetUp() override {
        // One entry for every display of every host: a wild family, no address, no number.
        std::string entry = "\xFF\xFF";
        const auto counted = [&entry](const std::string& field) {
            entry += static_cast<char>(field.size() >> 8);
            entry += static_cast<char>(field.size() & 0xFF);
            entry += field;
        };
        std::string cookie(16, '\0');
        for (std::size_t i = 0; i < cookie.size(); ++i) cookie[i] = static_cast<char>(53 * i + 7);
        for (const std::string& field :
             {std::string(), std::string(), std::string("MIT-MAGIC-COOKIE-1"), cookie})
            counted(field);
        const auto authority = folder_.path() / "authority";
        std::ofstream(authority, std::ios::binary) << entry;
        if (const char* old = std::getenv("XAUTHORITY")) oldAuthority_ = old;
        setenv("XAUTHORITY", authority.c_str(), 1);
        display_.requireCookieOf(authority);
        TESSEL_START_XVFB(display_, folder_.path());
        win::resetKeyboardForTests();
        win::setKeyboardLog([this](const std::string& line) { log_.push_back(line); });
        kestrum::setPassAll(false);
        kestrum::setPrintOnly(false);
    }
    void TearDown() override {
        kestrum::lockKeyboard(false);
        win::setKeyboardLog(nullptr);
        win::resetKeyboardForTests();
        if (oldAuthority_)
            setenv("XAUTHORITY", oldAuthority_->c_str(), 1);
        else
            unsetenv("XAUTHORITY");
    }

    platform::testing::TempMachine folder_;
    platform::testing::XvfbDisplay display_;
    std::optional<std::string> oldAuthority_;
    std::vector<std::string> log_;
};

TEST_F(KeyboardLockOnX11WithACookie, TheLockShowsTheUsersCookie) {
    kestrum::lockKeyboard(true);
    EXPECT_EQ(win::keyboardBackend(), "x11") << (log_.empty() ? "" : log_.front());
    EXPECT_TRUE(log_.empty()) << log_.front();
}

}  // namespace

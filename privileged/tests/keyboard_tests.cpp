// The keyboard lock over simulated key events: which events are swallowed, the exit request
// and the clipboard, per mode.
#include "platform/window/keyboard.h"
#include "privileged/tests/test_util.h"

namespace win = platform::window;

namespace {

constexpr std::uint32_t CTRL = 0xA2, SHIFT = 0xA0;

struct KeyboardLock : ::testing::Test {
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the simulated session, on any desktop
        win::resetKeyboardForTests();
        kestrum::setPassAll(false);
        kestrum::setPrintOnly(false);
        kestrum::setEscapeExit(false);
        kestrum::setExitKey(false);
        kestrum::lockKeyboard(true);
    }
    void TearDown() override { kestrum::lockKeyboard(false); }
};

}  // namespace

TEST_F(KeyboardLock, EventTable) {
    enum Mode { Locked, PrintOnly, PassAll };
    const struct {
        const char* what;
        Mode mode;
        std::vector<std::uint32_t> held;  // keys down before the event
        std::uint32_t vk;
        std::uint32_t message = win::WM_KEYDOWN;
        std::uint32_t flags = 0;
        bool escapeExit = false;
        bool swallowed;
        bool exitKey;
        bool clipboardEmptied;
        int code = 0;  // the hook code: 0 is an action
    } cases[] = {
        {"pass-all lets F1 through",
         PassAll,
         {},
         0x70,
         win::WM_KEYDOWN,
         0,
         false,
         false,
         false,
         false},
        {"F1 locked", Locked, {}, 0x70, win::WM_KEYDOWN, 0, false, true, false, true},
        {"F5 released", Locked, {}, 0x74, win::WM_KEYUP, 0, false, true, false, true},
        {"F4 raises exit", Locked, {}, 0x73, win::WM_KEYDOWN, 0, false, true, true, true},
        {"F4 released raises exit too",
         Locked,
         {},
         0x73,
         win::WM_KEYUP,
         0,
         false,
         true,
         true,
         true},
        {"Esc passes", Locked, {}, 0x1B, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Esc with escape-exit", Locked, {}, 0x1B, win::WM_KEYDOWN, 0, true, false, true, true},
        {"Ctrl+Esc", Locked, {CTRL}, 0x1B, win::WM_KEYDOWN, 0, true, true, false, true},
        {"Alt+Tab",
         Locked,
         {},
         0x09,
         win::WM_SYSKEYDOWN,
         win::LLKHF_ALTDOWN,
         false,
         true,
         false,
         true},
        {"Ctrl+C", Locked, {CTRL}, 0x43, win::WM_KEYDOWN, 0, false, true, false, true},
        {"Ctrl+V", Locked, {CTRL}, 0x56, win::WM_KEYDOWN, 0, false, false, false, true},
        {"plain C", Locked, {}, 0x43, win::WM_KEYDOWN, 0, false, false, false, true},
        {"left Windows", Locked, {}, 0x5B, win::WM_KEYDOWN, 0, false, true, false, true},
        {"right Windows passes", Locked, {}, 0x5C, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Ctrl+Shift+A exits",
         Locked,
         {CTRL, SHIFT},
         0x41,
         win::WM_KEYDOWN,
         0,
         false,
         false,
         true,
         true},
        {"print-only Ctrl+N",
         PrintOnly,
         {CTRL},
         0x4E,
         win::WM_KEYDOWN,
         0,
         false,
         false,
         false,
         true},
        {"print-only F5", PrintOnly, {}, 0x74, win::WM_KEYDOWN, 0, false, false, false, true},
        {"print-only Windows", PrintOnly, {}, 0x5B, win::WM_KEYDOWN, 0, false, false, false, true},
        {"print-only F4", PrintOnly, {}, 0x73, win::WM_KEYDOWN, 0, false, false, false, true},
        // Every row of the locked filter, and its neighbours that pass.
        {"Alt key", Locked, {}, 0x12, win::WM_KEYDOWN, 0, false, true, false, true},
        {"Print Screen", Locked, {}, 0x2C, win::WM_KEYUP, 0, false, true, false, true},
        {"Applications key", Locked, {}, 0x5D, win::WM_KEYDOWN, 0, false, true, false, true},
        {"F2", Locked, {}, 0x71, win::WM_KEYDOWN, 0, false, true, false, true},
        {"F3", Locked, {}, 0x72, win::WM_KEYDOWN, 0, false, true, false, true},
        {"F12", Locked, {}, 0x7B, win::WM_KEYDOWN, 0, false, true, false, true},
        {"F13 passes", Locked, {}, 0x7C, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Ctrl+N", Locked, {CTRL}, 0x4E, win::WM_KEYDOWN, 0, false, true, false, true},
        {"plain N", Locked, {}, 0x4E, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Ctrl+keypad point", Locked, {CTRL}, 0x6E, win::WM_KEYDOWN, 0, false, true, false, true},
        {"Ctrl+keypad 3", Locked, {CTRL}, 0x63, win::WM_KEYDOWN, 0, false, true, false, true},
        {"keypad 3", Locked, {}, 0x63, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Ctrl+F", Locked, {CTRL}, 0x46, win::WM_KEYDOWN, 0, false, true, false, true},
        {"Ctrl+keypad 6", Locked, {CTRL}, 0x66, win::WM_KEYDOWN, 0, false, true, false, true},
        {"Ctrl+P passes", Locked, {CTRL}, 0x50, win::WM_KEYDOWN, 0, false, false, false, true},
        {"Shift+F passes", Locked, {SHIFT}, 0x46, win::WM_KEYDOWN, 0, false, false, false, true},
        {"F1 with a hook code other than 0 passes",
         Locked,
         {},
         0x70,
         win::WM_KEYDOWN,
         0,
         false,
         false,
         false,
         true,
         1},
        {"F1 in another message passes", Locked, {}, 0x70, 0x102, 0, false, false, false, true},
        {"print-only Esc with escape-exit",
         PrintOnly,
         {},
         0x1B,
         win::WM_KEYDOWN,
         0,
         true,
         false,
         true,
         true},
        {"print-only Ctrl+Shift",
         PrintOnly,
         {CTRL, SHIFT},
         0x41,
         win::WM_KEYDOWN,
         0,
         false,
         false,
         true,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        win::resetKeyboardForTests();
        kestrum::lockKeyboard(false);
        kestrum::lockKeyboard(true);
        kestrum::setPassAll(c.mode == PassAll);
        kestrum::setPrintOnly(c.mode == PrintOnly);
        kestrum::setEscapeExit(c.escapeExit);
        kestrum::setExitKey(false);
        for (auto k : c.held) win::setKeyDown(k, true);
        win::setClipboardText(u"copied");
        const unsigned emptied = win::clipboardEmptyCount();
        EXPECT_EQ(win::deliverKeyEvent({c.code, c.message, c.vk, 0, c.flags}), c.swallowed);
        EXPECT_EQ(kestrum::exitKeyFlag(), c.exitKey);
        EXPECT_EQ(win::clipboardEmptyCount() > emptied, c.clipboardEmptied);
        EXPECT_EQ(win::clipboardText().empty(), c.clipboardEmptied);
    }
}

TEST_F(KeyboardLock, ExitRequestLastsUntilAcknowledgedAndEscClearsIt) {
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x73});
    EXPECT_TRUE(kestrum::exitKeyFlag());
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x41});
    EXPECT_TRUE(kestrum::exitKeyFlag());
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x1B});  // escape-exit off: clears the request
    EXPECT_FALSE(kestrum::exitKeyFlag());
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x73});
    kestrum::setExitKey(false);
    EXPECT_FALSE(kestrum::exitKeyFlag());
}

TEST_F(KeyboardLock, ToggledShiftIsNotHeldShift) {
    // Shift pressed and released once: toggled, not down. Ctrl plus a key is then no exit.
    win::deliverKeyEvent({0, win::WM_KEYDOWN, SHIFT});
    win::deliverKeyEvent({0, win::WM_KEYUP, SHIFT});
    ASSERT_EQ(win::keyState(0x10), 0x1);
    win::setKeyDown(CTRL, true);
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x41});
    EXPECT_FALSE(kestrum::exitKeyFlag());
}

TEST_F(KeyboardLock, OneHookHoweverOftenLockedAndNoneAfterUnlock) {
    kestrum::lockKeyboard(true);
    kestrum::lockKeyboard(true);
    EXPECT_EQ(win::keyboardHookCount(), 1);
    kestrum::lockKeyboard(false);
    EXPECT_EQ(win::keyboardHookCount(), 0);
    EXPECT_FALSE(kestrum::keyboardLocked());
    EXPECT_FALSE(win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x70}));
    kestrum::lockKeyboard(true);  // a fresh lock after an unlock installs again
    EXPECT_EQ(win::keyboardHookCount(), 1);
    EXPECT_TRUE(win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x70}));
}

TEST_F(KeyboardLock, CtrlPIsRecordedUntilTheNextEvent) {
    win::setKeyDown(CTRL, true);
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x50});
    EXPECT_TRUE(kestrum::ctrlPFlag());
    win::deliverKeyEvent({0, win::WM_KEYDOWN, 0x41});
    EXPECT_FALSE(kestrum::ctrlPFlag());
    // Events that are no key action pass and still empty the clipboard.
    win::setClipboardText(u"x");
    EXPECT_FALSE(win::deliverKeyEvent({-1, win::WM_KEYDOWN, 0x70}));
    EXPECT_TRUE(win::clipboardText().empty());
}

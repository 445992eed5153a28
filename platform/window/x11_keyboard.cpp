#include "platform/window/x11_keyboard.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace platform::window::x11 {

namespace {

// Virtual keys of the platform by X keysym, for the keys the hooks look at.
struct KeysymVk {
    xcb_keysym_t keysym;
    std::uint32_t vk;
};
constexpr KeysymVk kKeys[] = {
    {0xFF08, 0x08}, {0xFF09, 0x09}, {0xFE20, 0x09}, {0xFF0D, 0x0D}, {0xFF1B, 0x1B}, {0x0020, 0x20},
    {0xFF61, 0x2C}, {0xFFEB, 0x5B}, {0xFFEC, 0x5C}, {0xFF67, 0x5D}, {0xFFAE, 0x6E}, {0xFF9F, 0x6E},
    {0xFFB3, 0x63}, {0xFF9B, 0x63}, {0xFFB6, 0x66}, {0xFF98, 0x66}, {0xFFE1, 0xA0}, {0xFFE2, 0xA1},
    {0xFFE3, 0xA2}, {0xFFE4, 0xA3}, {0xFFE9, 0xA4}, {0xFFEA, 0xA5}, {0xFE03, 0xA5}, {0xFFFF, 0x2E},
    {0xFF51, 0x25}, {0xFF52, 0x26}, {0xFF53, 0x27}, {0xFF54, 0x28},
};

std::uint32_t vkOfKeysym(xcb_keysym_t sym) {
    if (sym >= 'a' && sym <= 'z') return sym - 'a' + 0x41;
    if (sym >= 'A' && sym <= 'Z') return sym;
    if (sym >= '0' && sym <= '9') return sym;
    if (sym >= 0xFFBE && sym <= 0xFFC9) return 0x70 + (sym - 0xFFBE);  // F1..F12
    if (sym >= 0xFFB0 && sym <= 0xFFB9) return 0x60 + (sym - 0xFFB0);  // keypad digits
    for (const auto& k : kKeys)
        if (k.keysym == sym) return k.vk;
    return 0;
}

std::vector<xcb_keysym_t> keysymsOfVk(std::uint32_t vk) {
    std::vector<xcb_keysym_t> out;
    if (vk >= 0x41 && vk <= 0x5A) out.push_back(vk - 0x41 + 'a');
    if (vk >= 0x30 && vk <= 0x39) out.push_back(vk);
    if (vk >= 0x70 && vk <= 0x7B) out.push_back(0xFFBE + (vk - 0x70));
    if (vk >= 0x60 && vk <= 0x69) out.push_back(0xFFB0 + (vk - 0x60));
    for (const auto& k : kKeys)
        if (k.vk == vk) out.push_back(k.keysym);
    return out;
}

constexpr std::uint16_t kShift = XCB_MOD_MASK_SHIFT, kLock = XCB_MOD_MASK_LOCK,
                        kControl = XCB_MOD_MASK_CONTROL, kAlt = XCB_MOD_MASK_1,
                        kNumLock = XCB_MOD_MASK_2, kMod3 = XCB_MOD_MASK_3, kSuper = XCB_MOD_MASK_4,
                        kMod5 = XCB_MOD_MASK_5;

// Every combination of `base` with any of the `free` modifiers, but those holding all of
// `except`.
std::vector<std::uint16_t> combinations(std::uint16_t base, std::uint16_t free,
                                        std::uint16_t except = 0) {
    std::vector<std::uint16_t> out;
    for (std::uint16_t m = 0; m < 0x100; ++m) {
        if ((m & ~free) != 0) continue;
        const auto mods = static_cast<std::uint16_t>(base | m);
        if (except && (mods & except) == except) continue;
        out.push_back(mods);
    }
    return out;
}

}  // namespace

struct Keyboard::Impl {
    Log log;
    xcb_connection_t* conn = nullptr;
    xcb_window_t root = 0;
    xcb_key_symbols_t* symbols = nullptr;
    std::uint8_t xinputOpcode = 0;  // 0: no raw events; the grabs' own events are read instead
    xcb_atom_t clipboard = XCB_NONE;

    void close() {
        for (xcb_generic_event_t* e : held) std::free(e);
        held.clear();
        if (conn) {
            xcb_ungrab_key(conn, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY);
            xcb_flush(conn);
        }
        if (symbols) xcb_key_symbols_free(symbols);
        if (conn) xcb_disconnect(conn);
    }

    std::vector<xcb_keycode_t> keycodesOf(std::uint32_t vk) const {
        std::vector<xcb_keycode_t> out;
        for (xcb_keysym_t sym : keysymsOf(vk)) {
            xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
            for (xcb_keycode_t* c = codes; c && *c != XCB_NO_SYMBOL; ++c) out.push_back(*c);
            std::free(codes);
        }
        return out;
    }
    static std::vector<xcb_keysym_t> keysymsOf(std::uint32_t vk) { return keysymsOfVk(vk); }

    // One grab request of a batch: what it grabs, for the log when another client holds it.
    struct Request {
        unsigned sequence;
        xcb_keycode_t key;
        std::uint16_t mods;
        std::string what;
    };
    std::vector<Request> requests;
    std::deque<xcb_generic_event_t*> held;  // events read while the grabs were checked
    std::set<xcb_keycode_t> down;           // keys delivered down and not yet up

    // Asks for the key's grabs; their answers are read by finishGrabs.
    void grabKey(xcb_keycode_t key, const std::vector<std::uint16_t>& mods,
                 const std::string& what) {
        for (std::uint16_t m : mods) {
            const xcb_void_cookie_t cookie =
                xcb_grab_key(conn, 1, root, m, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            requests.push_back({cookie.sequence, key, m, what});
        }
    }
    // One round trip answers every grab: a refused one comes back as an error (another client
    // holds that combination); each refused key is logged once, unless `quiet`. The refused
    // requests.
    std::vector<Request> finishGrabs(bool quiet = false) {
        std::vector<Request> refusedRequests;
        std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
        std::map<std::pair<xcb_keycode_t, std::string>, int> refused;
        while (xcb_generic_event_t* event = xcb_poll_for_queued_event(conn)) {
            if (event->response_type != 0) {
                held.push_back(event);
                continue;
            }
            const auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
            for (const Request& r : requests)
                if ((r.sequence & 0xFFFF) == error->sequence) {
                    ++refused[{r.key, r.what}];
                    refusedRequests.push_back(r);
                    break;
                }
            std::free(event);
        }
        for (const auto& [key, count] : refused)
            if (!quiet)
                log("another client holds " + std::to_string(count) + " grabs of " + key.second +
                    " (key code " + std::to_string(key.first) +
                    "); those combinations stay with it");
        requests.clear();
        return refusedRequests;
    }
    ~Impl();
};

Keyboard::Impl::~Impl() {
    close();
}

Keyboard::Keyboard(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Keyboard::~Keyboard() = default;

std::unique_ptr<Keyboard> Keyboard::open(Log log) {
    auto impl = std::make_unique<Impl>();
    impl->log = std::move(log);
    int screen = 0;
    impl->conn = xcb_connect(nullptr, &screen);
    if (!impl->conn || xcb_connection_has_error(impl->conn)) {
        const char* display = std::getenv("DISPLAY");
        impl->log(std::string("cannot reach the X display ") + (display ? display : "") +
                  "; the keyboard lock stays simulated");
        if (impl->conn) xcb_disconnect(impl->conn);
        impl->conn = nullptr;
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(impl->conn));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    impl->root = it.data->root;
    impl->symbols = xcb_key_symbols_alloc(impl->conn);

    // Raw key events show every key of the display without taking it from its receiver.
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(impl->conn, &xcb_input_id);
    if (xi && xi->present) {
        xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
            impl->conn, xcb_input_xi_query_version(impl->conn, 2, 1), nullptr);
        if (version && (version->major_version > 2 ||
                        (version->major_version == 2 && version->minor_version >= 1))) {
            struct {
                xcb_input_event_mask_t head;
                std::uint32_t mask;
            } mask{};
            mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
            mask.head.mask_len = 1;
            mask.mask =
                XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
            xcb_input_xi_select_events(impl->conn, impl->root, 1, &mask.head);
            impl->xinputOpcode = xi->major_opcode;
        }
        std::free(version);
    }
    if (!impl->xinputOpcode)
        impl->log("the X display has no raw key events; the lock sees only the keys it grabs");

    const char name[] = "CLIPBOARD";
    if (xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            impl->conn, xcb_intern_atom(impl->conn, 0, sizeof name - 1, name), nullptr)) {
        impl->clipboard = atom->atom;
        std::free(atom);
    }
    xcb_flush(impl->conn);
    return std::unique_ptr<Keyboard>(new Keyboard(std::move(impl)));
}

void Keyboard::grab(const std::vector<SwallowedKey>& keys) {
    Impl& d = *impl_;
    xcb_ungrab_key(d.conn, XCB_GRAB_ANY, d.root, XCB_MOD_MASK_ANY);
    // The lock and the other modifiers that do not change what the hooks decide.
    const std::uint16_t others = kShift | kLock | kNumLock | kSuper | kMod5;
    for (const SwallowedKey& key : keys) {
        if (key.alt) {
            // Alt with any key (Alt itself excepted: it passes alone), asked for every key at
            // once; a combination another client holds for some key is asked key by key.
            const auto mods = combinations(kAlt, others | kControl);
            d.finishGrabs();  // the grabs asked so far, answered on their own
            d.grabKey(XCB_GRAB_ANY, mods, "any key with Alt");
            std::vector<std::uint16_t> keyByKey;
            for (const auto& r : d.finishGrabs(true)) keyByKey.push_back(r.mods);
            if (keyByKey.empty()) continue;
            const xcb_setup_t* setup = xcb_get_setup(d.conn);
            for (int code = setup->min_keycode; code <= setup->max_keycode; ++code) {
                const xcb_keysym_t sym =
                    xcb_key_symbols_get_keysym(d.symbols, static_cast<xcb_keycode_t>(code), 0);
                if (sym == XCB_NO_SYMBOL) continue;
                d.grabKey(static_cast<xcb_keycode_t>(code), keyByKey,
                          "key " + std::to_string(vkOfKeysym(sym)) + " with Alt");
            }
            continue;
        }
        const std::uint16_t except = key.unlessCtrlShift ? kControl | kShift : 0;
        const auto mods = key.ctrl ? combinations(kControl, others, except)
                                   : combinations(0, others | kControl, except);
        const std::string what = (key.ctrl ? "Ctrl + key " : "key ") + std::to_string(key.vk);
        for (xcb_keycode_t code : d.keycodesOf(key.vk)) d.grabKey(code, mods, what);
    }
    d.finishGrabs();
}

int Keyboard::pump(bool sync, const Deliver& deliver) {
    Impl& d = *impl_;
    if (sync) std::free(xcb_get_input_focus_reply(d.conn, xcb_get_input_focus(d.conn), nullptr));
    int delivered = 0;
    // The raw events and the grabs' own events both report a grabbed key (and the raw ones
    // miss the keys of an active grab): each press and release is delivered once.
    for (;;) {
        xcb_generic_event_t* event = nullptr;
        if (!d.held.empty()) {
            event = d.held.front();
            d.held.pop_front();
        } else {
            event = xcb_poll_for_event(d.conn);
        }
        if (!event) break;
        const std::uint8_t type = event->response_type & 0x7F;
        bool press = false, release = false;
        xcb_keycode_t code = 0;
        std::uint32_t time = 0;
        if (d.xinputOpcode && type == XCB_GE_GENERIC) {
            auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(event);
            if (ge->extension == d.xinputOpcode && (ge->event_type == XCB_INPUT_RAW_KEY_PRESS ||
                                                    ge->event_type == XCB_INPUT_RAW_KEY_RELEASE)) {
                auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event);
                press = ge->event_type == XCB_INPUT_RAW_KEY_PRESS;
                release = !press;
                code = static_cast<xcb_keycode_t>(raw->detail);
                time = raw->time;
            }
        } else if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            press = type == XCB_KEY_PRESS;
            release = !press;
            code = key->detail;
            time = key->time;
        }
        std::free(event);
        if (!press && !release) continue;
        if (press ? !d.down.insert(code).second : d.down.erase(code) == 0) continue;
        KeyEvent e;
        e.vkCode = vkOfKeysym(xcb_key_symbols_get_keysym(d.symbols, code, 0));
        e.scanCode = code >= 8 ? code - 8u : 0u;
        e.time = time;
        const bool altDown = (keyState(0x12) & 0x8000) != 0;
        if (altDown && e.vkCode != 0xA4 && e.vkCode != 0xA5) e.flags |= LLKHF_ALTDOWN;
        e.message =
            press ? (altDown ? WM_SYSKEYDOWN : WM_KEYDOWN) : (altDown ? WM_SYSKEYUP : WM_KEYUP);
        deliver(e);
        ++delivered;
    }
    return delivered;
}

void Keyboard::emptyClipboard() {
    Impl& d = *impl_;
    if (d.clipboard != XCB_NONE)
        xcb_set_selection_owner(d.conn, XCB_NONE, d.clipboard, XCB_CURRENT_TIME);
    xcb_set_selection_owner(d.conn, XCB_NONE, XCB_ATOM_PRIMARY, XCB_CURRENT_TIME);
    xcb_flush(d.conn);
}

int Keyboard::fd() const {
    return xcb_get_file_descriptor(impl_->conn);
}

}  // namespace platform::window::x11

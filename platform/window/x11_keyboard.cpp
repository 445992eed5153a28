#include "platform/window/x11_keyboard.h"

#include <X11/X.h>
#include <X11/Xauth.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "platform/window/virtual_keys.h"

namespace platform::window::x11 {

namespace {

// Virtual keys of the platform by X keysym, for the keys the hooks look at. A key is named by
// its keysym without modifiers, so the keypad's keys read as their navigation keysyms.
struct KeysymVk {
    xcb_keysym_t keysym;
    VirtualKey vk;
};
constexpr KeysymVk kKeys[] = {
    {XKB_KEY_BackSpace, VK_BACK},
    {XKB_KEY_Tab, VK_TAB},
    {XKB_KEY_ISO_Left_Tab, VK_TAB},
    {XKB_KEY_Return, VK_RETURN},
    {XKB_KEY_Escape, VK_ESCAPE},
    {XKB_KEY_space, VK_SPACE},
    {XKB_KEY_Print, VK_SNAPSHOT},
    {XKB_KEY_Super_L, VK_LWIN},
    {XKB_KEY_Super_R, VK_RWIN},
    {XKB_KEY_Menu, VK_APPS},
    {XKB_KEY_KP_Decimal, VK_DECIMAL},
    {XKB_KEY_KP_Delete, VK_DECIMAL},
    {XKB_KEY_KP_3, VK_NUMPAD3},
    {XKB_KEY_KP_Next, VK_NUMPAD3},
    {XKB_KEY_KP_6, VK_NUMPAD6},
    {XKB_KEY_KP_Right, VK_NUMPAD6},
    {XKB_KEY_Shift_L, VK_LSHIFT},
    {XKB_KEY_Shift_R, VK_RSHIFT},
    {XKB_KEY_Control_L, VK_LCONTROL},
    {XKB_KEY_Control_R, VK_RCONTROL},
    {XKB_KEY_Alt_L, VK_LMENU},
    {XKB_KEY_Alt_R, VK_RMENU},
    {XKB_KEY_ISO_Level3_Shift, VK_RMENU},
    {XKB_KEY_Delete, VK_DELETE},
    {XKB_KEY_Left, VK_LEFT},
    {XKB_KEY_Up, VK_UP},
    {XKB_KEY_Right, VK_RIGHT},
    {XKB_KEY_Down, VK_DOWN},
};

std::uint32_t vkOfKeysym(xcb_keysym_t sym) {
    if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return letterKey(static_cast<char>(sym));
    if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z) return letterKey(static_cast<char>(sym));
    if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9) return digitKey(static_cast<char>(sym));
    if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F12) return VK_F1 + (sym - XKB_KEY_F1);
    if (sym >= XKB_KEY_KP_0 && sym <= XKB_KEY_KP_9) return VK_NUMPAD0 + (sym - XKB_KEY_KP_0);
    for (const auto& k : kKeys)
        if (k.keysym == sym) return k.vk;
    return 0;
}

std::vector<xcb_keysym_t> keysymsOfVk(std::uint32_t vk) {
    std::vector<xcb_keysym_t> out;
    if (vk >= letterKey('A') && vk <= letterKey('Z'))
        out.push_back(vk - letterKey('A') + XKB_KEY_a);
    if (vk >= digitKey('0') && vk <= digitKey('9')) out.push_back(vk - digitKey('0') + XKB_KEY_0);
    if (vk >= VK_F1 && vk <= VK_F12) out.push_back(XKB_KEY_F1 + (vk - VK_F1));
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) out.push_back(XKB_KEY_KP_0 + (vk - VK_NUMPAD0));
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

// Every wait on the display (connecting, its set-up, a round trip, a write) ends after this
// long; a display that takes longer is treated as gone.
constexpr auto kDisplayDeadline = std::chrono::seconds(5);

using Clock = std::chrono::steady_clock;

// Ends a wait on the display that outlasts the deadline: while armed, its thread shuts the
// connection's socket down once the deadline has passed, which makes xcb's blocked read or
// write fail and the connection report an error. It keeps a descriptor of its own for the
// socket, so it never touches a descriptor number that was closed and handed out again.
class Watchdog {
  public:
    explicit Watchdog(int fd) : fd_(fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    // The waits between arm and disarm share one deadline; nested arms keep the outer one.
    void arm() {
        std::lock_guard lock(mutex_);
        if (depth_++ > 0) return;
        due_ = Clock::now() + kDisplayDeadline;
        wake_.notify_one();
    }
    void disarm() {
        std::lock_guard lock(mutex_);
        if (--depth_ == 0) due_.reset();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (!due_) {
                wake_.wait(lock);
                continue;
            }
            wake_.wait_until(lock, *due_);
            if (due_ && Clock::now() >= *due_) {
                if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
                due_.reset();
            }
        }
    }

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    int depth_ = 0;
    std::optional<Clock::time_point> due_;
    std::thread thread_;
};

// The deadline armed for one scope.
class Waiting {
  public:
    explicit Waiting(Watchdog& w) : w_(w) { w_.arm(); }
    ~Waiting() { w_.disarm(); }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

  private:
    Watchdog& w_;
};

// Connects `fd` to the address before `due`. A local socket whose queue is full is asked again.
bool connectBefore(int fd, const sockaddr* address, socklen_t length, Clock::time_point due) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    while (true) {
        if (::connect(fd, address, length) == 0) return true;
        if (errno == EINTR) continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        if (left <= 0) return false;
        if (errno == EAGAIN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, 10)));
            continue;
        }
        if (errno != EINPROGRESS) return false;
        pollfd p{fd, POLLOUT, 0};
        int n = 0;
        do {
            n = poll(&p, 1, static_cast<int>(left));
        } while (n < 0 && errno == EINTR);
        if (n != 1) return false;
        int error = 0;
        socklen_t size = sizeof error;
        return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
}

// How the display's authorisation entries name the display's machine.
struct Peer {
    unsigned short family = FamilyLocal;
    std::string address;  // the host name for FamilyLocal, the address's bytes otherwise
};

std::string localHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// A socket connected to display `number` of `host` (the local sockets when it is empty or
// "unix"), within the deadline; -1 when none could be connected.
int connectDisplay(const std::string& host, int number, Clock::time_point due, Peer& peer) {
    if (host.empty() || host == "unix") {
        peer = {FamilyLocal, localHostName()};
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        // The abstract name first, as xcb does, then the socket file.
        for (const bool abstract : {true, false}) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::size_t offset = abstract ? 1 : 0;
            if (path.size() + offset >= sizeof address.sun_path) return -1;
            std::memcpy(address.sun_path + offset, path.data(), path.size());
            const auto length =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return -1;
            if (connectBefore(fd, reinterpret_cast<sockaddr*>(&address), length, due)) return fd;
            ::close(fd);
            if (Clock::now() >= due) return -1;
        }
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0 && Clock::now() < due; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (!connectBefore(fd, a->ai_addr, a->ai_addrlen, due)) {
            ::close(fd);
            fd = -1;
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // A display on this machine's loopback is named as a local one.
        if (a->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            if ((ntohl(in->sin_addr.s_addr) >> 24) == 127)
                peer = {FamilyLocal, localHostName()};
            else
                peer = {FamilyInternet,
                        std::string(reinterpret_cast<const char*>(&in->sin_addr), 4)};
        } else {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
            if (IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr))
                peer = {FamilyLocal, localHostName()};
            else if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
                peer = {FamilyInternet,
                        std::string(reinterpret_cast<const char*>(&in6->sin6_addr) + 12, 4)};
            else
                peer = {FamilyInternet6,
                        std::string(reinterpret_cast<const char*>(&in6->sin6_addr), 16)};
        }
    }
    freeaddrinfo(found);
    return fd;
}

// The user's cookie for the display from the authority file (XAUTHORITY or ~/.Xauthority), if
// it has one.
struct Cookie {
    std::string name, data;
};
std::optional<Cookie> cookieFor(const Peer& peer, int number) {
    char type[] = "MIT-MAGIC-COOKIE-1";
    char* types[] = {type};
    int lengths[] = {static_cast<int>(sizeof type - 1)};
    const std::string display = std::to_string(number);
    Xauth* entry = XauGetBestAuthByAddr(
        peer.family, static_cast<unsigned short>(peer.address.size()), peer.address.data(),
        static_cast<unsigned short>(display.size()), display.data(), 1, types, lengths);
    if (!entry) return std::nullopt;
    Cookie cookie{std::string(entry->name, entry->name_length),
                  std::string(entry->data, entry->data_length)};
    XauDisposeAuth(entry);
    return cookie;
}

}  // namespace

struct Keyboard::Impl {
    Log log;
    std::string display;
    xcb_connection_t* conn = nullptr;
    std::unique_ptr<Watchdog> watchdog;
    xcb_window_t root = 0;
    xcb_key_symbols_t* symbols = nullptr;
    std::uint8_t xinputOpcode = 0;  // 0: no raw events; the grabs' own events are read instead
    xcb_atom_t clipboard = XCB_NONE;

    bool failed() const { return !conn || xcb_connection_has_error(conn); }

    void close() {
        for (xcb_generic_event_t* e : held) std::free(e);
        held.clear();
        if (!failed()) {
            Waiting waiting(*watchdog);
            xcb_ungrab_key(conn, XCB_GRAB_ANY, root, XCB_MOD_MASK_ANY);
            xcb_flush(conn);
        }
        if (symbols) xcb_key_symbols_free(symbols);
        symbols = nullptr;
        if (conn) xcb_disconnect(conn);
        conn = nullptr;
        watchdog.reset();
    }

    std::vector<xcb_keycode_t> keycodesOf(std::uint32_t vk) const {
        std::vector<xcb_keycode_t> out;
        for (xcb_keysym_t sym : keysymsOfVk(vk)) {
            xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
            for (xcb_keycode_t* c = codes; c && *c != XCB_NO_SYMBOL; ++c) out.push_back(*c);
            std::free(codes);
        }
        return out;
    }

    // A passive grab on the root window: the key (XCB_GRAB_ANY: every key) and the modifiers.
    using Grab = std::pair<xcb_keycode_t, std::uint16_t>;
    std::set<Grab> granted;  // the grabs this connection holds
    std::set<Grab> asked;    // the grabs asked for by the running grab()
    std::set<Grab> refused;  // those of them another client holds

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
            asked.insert({key, m});
        }
    }
    // One round trip answers every grab: a refused one comes back as an error (another client
    // holds that combination); each refused key is logged once, unless `quiet`. The refused
    // requests.
    std::vector<Request> finishGrabs(bool quiet = false) {
        std::vector<Request> refusedRequests;
        std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
        std::map<std::pair<xcb_keycode_t, std::string>, int> counts;
        while (xcb_generic_event_t* event = xcb_poll_for_queued_event(conn)) {
            if (event->response_type != 0) {
                held.push_back(event);
                continue;
            }
            const auto* error = reinterpret_cast<xcb_generic_error_t*>(event);
            for (const Request& r : requests)
                if ((r.sequence & 0xFFFF) == error->sequence) {
                    ++counts[{r.key, r.what}];
                    refusedRequests.push_back(r);
                    refused.insert({r.key, r.mods});
                    break;
                }
            std::free(event);
        }
        for (const auto& [key, count] : counts)
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
    if (const char* display = std::getenv("DISPLAY")) impl->display = display;
    const auto unreachable = [&impl] {
        impl->log("cannot reach the X display " + impl->display +
                  "; the keyboard lock stays simulated");
        return std::unique_ptr<Keyboard>();
    };
    char* host = nullptr;
    int number = 0, screen = 0;
    if (!xcb_parse_display(impl->display.c_str(), &host, &number, &screen)) return unreachable();
    const std::string hostName = host ? host : "";
    std::free(host);

    // Connecting, the set-up and the first round trips share one deadline.
    const auto due = Clock::now() + kDisplayDeadline;
    Peer peer;
    const int fd = connectDisplay(hostName, number, due, peer);
    if (fd < 0) return unreachable();
    impl->watchdog = std::make_unique<Watchdog>(fd);
    Waiting waiting(*impl->watchdog);
    std::optional<Cookie> cookie = cookieFor(peer, number);
    xcb_auth_info_t auth{};
    if (cookie) {
        auth.namelen = static_cast<int>(cookie->name.size());
        auth.name = cookie->name.data();
        auth.datalen = static_cast<int>(cookie->data.size());
        auth.data = cookie->data.data();
    }
    // The connection owns the descriptor from here on, failed or not.
    impl->conn = xcb_connect_to_fd(fd, cookie ? &auth : nullptr);
    if (impl->failed()) return unreachable();

    const xcb_setup_t* setup = xcb_get_setup(impl->conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return unreachable();
    impl->root = it.data->root;
    impl->symbols = xcb_key_symbols_alloc(impl->conn);
    if (!impl->symbols) {
        impl->log("cannot read the key map of the X display " + impl->display +
                  "; the keyboard lock stays simulated");
        return nullptr;
    }
    // The key map is read now, inside the deadline, not at the first key.
    xcb_key_symbols_get_keysym(impl->symbols, setup->min_keycode, 0);

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

    const char name[] = "CLIPBOARD";
    if (xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            impl->conn, xcb_intern_atom(impl->conn, 0, sizeof name - 1, name), nullptr)) {
        impl->clipboard = atom->atom;
        std::free(atom);
    }
    xcb_flush(impl->conn);
    if (impl->failed()) return unreachable();
    if (!impl->xinputOpcode)
        impl->log("the X display has no raw key events; the lock sees only the keys it grabs");
    return std::unique_ptr<Keyboard>(new Keyboard(std::move(impl)));
}

// The new grabs are taken before the old ones are given up, so a key that stays swallowed is
// never free for a moment in between.
void Keyboard::grab(const std::vector<SwallowedKey>& keys) {
    Impl& d = *impl_;
    if (d.failed()) return;
    Waiting waiting(*d.watchdog);
    d.asked.clear();
    d.refused.clear();
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

    // What this connection holds now: what it was granted, and what it held already (a grab
    // asked again that another client overlaps now stays with this one).
    std::set<Impl::Grab> now;
    for (const Impl::Grab& g : d.asked)
        if (!d.refused.count(g) || d.granted.count(g)) now.insert(g);
    // Then the old grabs that are no longer wanted go. A key grab that an any-key grab of the
    // same modifiers covers is left to it (releasing it would release that key from the any-key
    // grab too); releasing an any-key grab releases every key of its modifiers, so the key
    // grabs of those modifiers are taken again after it.
    std::set<std::uint16_t> anyReleased;
    for (const Impl::Grab& g : d.granted) {
        if (now.count(g) || now.count({XCB_GRAB_ANY, g.second})) continue;
        xcb_ungrab_key(d.conn, g.first, d.root, g.second);
        if (g.first == XCB_GRAB_ANY) anyReleased.insert(g.second);
    }
    for (const Impl::Grab& g : now)
        if (g.first != XCB_GRAB_ANY && anyReleased.count(g.second))
            xcb_grab_key(d.conn, 1, d.root, g.second, g.first, XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC);
    d.granted = std::move(now);
    xcb_flush(d.conn);
}

int Keyboard::pump(bool sync, const Deliver& deliver) {
    Impl& d = *impl_;
    if (d.failed()) return 0;
    Waiting waiting(*d.watchdog);
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
        const bool altDown = (keyState(VK_MENU) & 0x8000) != 0;
        if (altDown && e.vkCode != VK_LMENU && e.vkCode != VK_RMENU) e.flags |= LLKHF_ALTDOWN;
        e.message =
            press ? (altDown ? WM_SYSKEYDOWN : WM_KEYDOWN) : (altDown ? WM_SYSKEYUP : WM_KEYUP);
        deliver(e);
        ++delivered;
    }
    return delivered;
}

void Keyboard::emptyClipboard() {
    Impl& d = *impl_;
    if (d.failed()) return;
    Waiting waiting(*d.watchdog);
    if (d.clipboard != XCB_NONE)
        xcb_set_selection_owner(d.conn, XCB_NONE, d.clipboard, XCB_CURRENT_TIME);
    xcb_set_selection_owner(d.conn, XCB_NONE, XCB_ATOM_PRIMARY, XCB_CURRENT_TIME);
    // A round trip, so the selections are gone when this returns: a flushed request is not yet
    // carried out, and another client asking for the owner right after would still see its own.
    std::free(xcb_get_input_focus_reply(d.conn, xcb_get_input_focus(d.conn), nullptr));
}

int Keyboard::fd() const {
    return impl_->failed() ? -1 : xcb_get_file_descriptor(impl_->conn);
}

bool Keyboard::lost() const {
    return impl_->failed();
}

const std::string& Keyboard::display() const {
    return impl_->display;
}

}  // namespace platform::window::x11

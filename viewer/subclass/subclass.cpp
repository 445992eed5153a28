#include "viewer/subclass/subclass.h"

#include <any>
#include <string_view>

#include "viewer/subclass/window_proc_error.h"

namespace vistrel {

namespace win = platform::window;

namespace subclass {

namespace {

using Handler = std::weak_ptr<com::Dispatch>;

thread_local std::int32_t currentMessage = 0;
thread_local win::WindowProc currentOldProc;

std::string decimal(std::int64_t v) {
    return std::to_string(v);
}
std::string windowKey(Hwnd h) {
    return decimal(static_cast<std::int32_t>(h));
}
std::string countKey(Hwnd h) {
    return "C" + windowKey(h);
}
std::string messageCountKey(Hwnd h, std::int32_t m) {
    return windowKey(h) + "#" + decimal(m) + "C";
}
std::string slotKey(Hwnd h, std::int32_t m, std::int32_t i) {
    return windowKey(h) + "#" + decimal(m) + "#" + decimal(i);
}

std::int32_t intProp(Hwnd h, const std::string& key) {
    const std::any value = win::getProp(h, key);
    const auto* n = std::any_cast<std::int32_t>(&value);
    return n ? *n : 0;
}

std::shared_ptr<com::Dispatch> slotHandler(Hwnd h, std::int32_t m, std::int32_t i) {
    const std::any value = win::getProp(h, slotKey(h, m, i));
    const auto* weak = std::any_cast<Handler>(&value);
    return weak ? weak->lock() : nullptr;
}

win::WindowProc oldProc(Hwnd h) {
    const std::any value = win::getProp(h, windowKey(h));
    const auto* proc = std::any_cast<win::WindowProc>(&value);
    return proc ? *proc : win::WindowProc{};
}

// The slot (1..count) that holds `handler` for the message, 0 when none does.
std::int32_t findSlot(const std::shared_ptr<com::Dispatch>& handler, Hwnd h, std::int32_t m) {
    const auto self = com::identity(handler);
    const std::int32_t count = intProp(h, messageCountKey(h, m));
    for (std::int32_t i = 1; i <= count; ++i) {
        const auto slot = slotHandler(h, m, i);
        if (slot && com::identity(slot) == self) return i;
    }
    return 0;
}

std::int32_t installedProc(Hwnd h, win::Message m, std::int32_t w, std::int32_t l) {
    return SubclassProc(h, static_cast<std::int32_t>(m), w, l);
}

// The window is going: its previous procedure comes back and its registry goes.
void dropWindow(Hwnd h) {
    if (!win::getProp(h, windowKey(h)).has_value()) return;  // a handler detached already
    win::setWindowProc(h, oldProc(h));
    const std::string prefix = windowKey(h) + "#";
    for (const std::string& key : win::propNames(h))
        if (key == windowKey(h) || key == countKey(h) || key.starts_with(prefix))
            win::removeProp(h, key);
}

std::int32_t response(com::Dispatch& handler) {
    return com::invoke(handler, DISPID_MsgResponse, com::DISPATCH_PROPERTYGET).toI4();
}

}  // namespace

void AttachMessage(const std::shared_ptr<com::Dispatch>& handler, Hwnd h, std::int32_t m) {
    if (!win::isWindow(h)) raiseWindowProcError(eeInvalidWindow, u"Invalid window");
    if (win::windowProcessId(h) != win::currentProcessId())
        raiseWindowProcError(eeExternalWindow, u"Can't modify external window");
    if (!handler)
        com::raise(com::hr(0x800A005B), u"Object variable or With block variable not set");
    if (findSlot(handler, h, m) != 0)
        raiseWindowProcError(eeAlreadyHandled, u"Message already handled by another class");

    if (const std::int32_t registrations = intProp(h, countKey(h)); registrations != 0) {
        win::setProp(h, countKey(h), registrations + 1);
    } else {
        win::WindowProc previous;
        if (!win::setWindowProc(h, installedProc, &previous))
            raiseWindowProcError(eeCantSubclass, u"Can't subclass window");
        win::setProp(h, windowKey(h), std::move(previous));
        win::setProp(h, countKey(h), std::int32_t{1});
    }
    const std::int32_t count = intProp(h, messageCountKey(h, m));
    win::setProp(h, messageCountKey(h, m), count + 1);
    win::setProp(h, slotKey(h, m, count + 1), Handler(handler));
}

void DetachMessage(const std::shared_ptr<com::Dispatch>& handler, Hwnd h, std::int32_t m) {
    if (!handler) return;
    const std::int32_t found = findSlot(handler, h, m);
    if (found == 0) return;

    if (const std::int32_t registrations = intProp(h, countKey(h)); registrations == 1) {
        win::setWindowProc(h, oldProc(h));
        win::removeProp(h, windowKey(h));
        win::removeProp(h, countKey(h));
    } else {
        win::setProp(h, countKey(h), registrations - 1);
    }
    const std::int32_t count = intProp(h, messageCountKey(h, m));
    for (std::int32_t i = found; i < count; ++i)
        win::setProp(h, slotKey(h, m, i), win::getProp(h, slotKey(h, m, i + 1)));
    win::removeProp(h, slotKey(h, m, count));
    win::setProp(h, messageCountKey(h, m), count - 1);
}

std::int32_t CurrentMessage() {
    return currentMessage;
}

std::int32_t CallOldWindowProc(Hwnd h, std::int32_t m, std::int32_t wParam, std::int32_t lParam) {
    return win::callWindowProc(currentOldProc, h, static_cast<win::Message>(m), wParam, lParam);
}

std::int32_t SubclassProc(Hwnd h, std::int32_t m, std::int32_t wParam, std::int32_t lParam) {
    const win::WindowProc old = oldProc(h);
    const auto msg = static_cast<win::Message>(m);
    auto callOld = [&] { return win::callWindowProc(old, h, msg, wParam, lParam); };
    bool called = false;
    std::int32_t result = 0;
    const std::int32_t count = intProp(h, messageCountKey(h, m));
    if (count < 1) {
        result = callOld();
    } else {
        for (std::int32_t i = 1; i <= count; ++i) {
            // A counted reference for the length of the calls.
            const std::shared_ptr<com::Dispatch> handler = slotHandler(h, m, i);
            if (!handler) {
                result = callOld();
                continue;
            }
            currentMessage = m;
            currentOldProc = old;
            try {
                if (i == 1 && response(*handler) == emrPreprocess && !called) {
                    callOld();
                    called = true;
                }
                result = com::invoke(*handler, DISPID_WindowProc, com::DISPATCH_METHOD,
                                     {static_cast<std::int32_t>(h), m, wParam, lParam})
                             .toI4();
                if (i == count && response(*handler) == emrPostProcess && !called) {
                    result = callOld();
                    called = true;
                }
            } catch (...) {
                com::setErrorInfo(com::currentError(kWindowProcErrorSource));
                result = callOld();
                called = true;
            }
        }
    }
    if (msg == win::kNcDestroy) dropWindow(h);
    return result;
}

}  // namespace subclass

const com::Members<ISubclass>& ISubclass::members() {
    static const com::Members<ISubclass> m =
        com::Members<ISubclass>(u"_ISubclass", IID__ISubclass)
            .get(DISPID_MsgResponse, u"MsgResponse", com::VT_I4,
                 [](ISubclass& self, com::Call& call) { call.result = self.msgResponse; })
            .help(
                u"Get/set how you will respond to a message.  Raised whenever a message is "
                u"encountered.  Call the CurrentMessage property to determine what message "
                u"you are currently responding to.")
            .put(DISPID_MsgResponse, u"MsgResponse", com::VT_I4,
                 [](ISubclass& self, com::Call& call) { self.msgResponse = call.i4(0); })
            .help(
                u"Get/set how you will respond to a message.  Raised whenever a message is "
                u"encountered.  Call the CurrentMessage property to determine what message "
                u"you are currently responding to.")
            .method(DISPID_WindowProc, u"WindowProc", com::VT_I4,
                    {{u"hwnd", com::VT_I4},
                     {u"iMsg", com::VT_I4},
                     {u"wParam", com::VT_I4},
                     {u"lParam", com::VT_I4}},
                    [](ISubclass&, com::Call& call) { call.result = std::int32_t{0}; })
            .help(u"Raised whenever a message you have subclassed is sent.");
    return m;
}

namespace {

void attachOrDetach(com::Call& call, bool attach) {
    const auto handler = call.arg(0).dispatch();
    const auto hwnd = static_cast<subclass::Hwnd>(call.i4(1));
    if (attach)
        subclass::AttachMessage(handler, hwnd, call.i4(2));
    else
        subclass::DetachMessage(handler, hwnd, call.i4(2));
}

}  // namespace

const com::Members<GSubclass>& GSubclass::members() {
    static const com::Members<GSubclass> m =
        com::Members<GSubclass>(u"_GSubclass", IID__GSubclass)
            .method(0x60030001, u"AttachMessage", com::VT_EMPTY,
                    {{u"iwp", com::VT_DISPATCH}, {u"hwnd", com::VT_I4}, {u"iMsg", com::VT_I4}},
                    [](GSubclass&, com::Call& call) { attachOrDetach(call, true); })
            .help(u"Start subclassing for a particular message.")
            .method(0x60030002, u"DetachMessage", com::VT_EMPTY,
                    {{u"iwp", com::VT_DISPATCH}, {u"hwnd", com::VT_I4}, {u"iMsg", com::VT_I4}},
                    [](GSubclass&, com::Call& call) { attachOrDetach(call, false); })
            .help(u"Stop subclassing for a particular message.")
            .get(0x68030000, u"CurrentMessage", com::VT_I4,
                 [](GSubclass&, com::Call& call) { call.result = subclass::CurrentMessage(); })
            .help(
                u"Returns the message currently being worked on.  Only valid in the "
                u"MsgResponse and WindowProc items of your implemented interface.")
            .method(0x60030003, u"CallOldWindowProc", com::VT_I4,
                    {{u"hwnd", com::VT_I4},
                     {u"iMsg", com::VT_I4},
                     {u"wParam", com::VT_I4},
                     {u"lParam", com::VT_I4}},
                    [](GSubclass&, com::Call& call) {
                        call.result =
                            subclass::CallOldWindowProc(static_cast<subclass::Hwnd>(call.i4(0)),
                                                        call.i4(1), call.i4(2), call.i4(3));
                    })
            .help(
                u"Calls the window procedure for this handle which was installed before you "
                u"added the subclass.");
    return m;
}

com::ClassEntry gsubclassClassEntry() {
    return com::classEntry<GSubclass>(CLSID_GSubclass, {.progId = u"Vistrel.GSubclass"});
}

}  // namespace vistrel

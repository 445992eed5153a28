// Window subclassing for clients of the library: a client object implementing the subclass
// interface (MsgResponse, WindowProc) registers through GSubclass for one message of one
// window of this process; from then on the library's window procedure calls every handler of
// that message in registration order, and the first handler's response decides whether the
// window's previous procedure runs before them, the last handler's whether it runs after them.
//
// The registry lives in the window's own properties, keyed by decimal renderings of the
// handle h, the message m and the slot i: "h" the previous procedure, "Ch" the number of
// registrations on the window, "h#mC" the number of handlers of m, "h#m#i" the i-th handler.
// Handlers are held weakly: a handler released without detaching leaves a dead slot, which
// dispatch treats as an empty one. A window's registrations end with it: on its last message
// the previous procedure is put back and the registry dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/server.h"
#include "platform/window/window.h"

namespace vistrel {

namespace com = platform::com;

inline constexpr com::Guid GUID_EMsgResponse =
    com::Guid::of("{7ABE3628-A1F6-49DC-9A98-9DC5577492D7}");
inline constexpr com::Guid IID__ISubclass = com::Guid::of("{255B0EE8-E5EC-40A6-BE93-1C38B1F21E6C}");
inline constexpr com::Guid CLSID_ISubclass =
    com::Guid::of("{B2049151-262E-4BAA-A9E8-BC1B1150F77B}");
inline constexpr com::Guid IID__GSubclass = com::Guid::of("{3B663C76-FE07-4A12-9F96-6E4BEADEF85E}");
inline constexpr com::Guid CLSID_GSubclass =
    com::Guid::of("{EFA137BD-CE52-48D1-80AE-4CE9B41C6354}");

// What a handler does with the previous window procedure.
enum EMsgResponse : std::int32_t {
    emrConsume = 0,      // it does not run
    emrPostProcess = 1,  // it runs after the handlers and its answer is the window's
    emrPreprocess = 2,   // it runs before the handlers
};

enum ESubclassError : std::uint32_t {
    eeCantSubclass = 13081,
    eeAlreadyHandled = 13082,
    eeInvalidWindow = 13083,
    eeExternalWindow = 13084,
};

// The dispatch identifiers of the subclass interface that handlers implement.
inline constexpr com::DispId DISPID_MsgResponse = 0x40030000;
inline constexpr com::DispId DISPID_WindowProc = 0x60030000;

namespace subclass {

using platform::window::Hwnd;

// Registers `handler` for message `msg` of window `hwnd`. Raises 13083 for no window, 13084
// for a window of another process, 13082 when the handler already handles that message of
// that window (nothing changed), 13081 when the window procedure cannot be replaced.
void AttachMessage(const std::shared_ptr<com::Dispatch>& handler, Hwnd hwnd, std::int32_t msg);
// Ends a registration; nothing happens when there is none. The last registration of a window
// puts its previous procedure back.
void DetachMessage(const std::shared_ptr<com::Dispatch>& handler, Hwnd hwnd, std::int32_t msg);
// The message being dispatched on this thread (the last one when none is).
std::int32_t CurrentMessage();
// The previous procedure of the window being dispatched on this thread, run on the arguments.
std::int32_t CallOldWindowProc(Hwnd hwnd, std::int32_t msg, std::int32_t wParam,
                               std::int32_t lParam);
// The window procedure installed on subclassed windows. A handler whose call fails is taken
// as an empty slot (the previous procedure answers for it); its error is left in the thread's
// error information.
std::int32_t SubclassProc(Hwnd hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam);

}  // namespace subclass

// The library's own implementation of the subclass interface: MsgResponse is a plain field,
// WindowProc answers 0. Clients implement the interface themselves.
class ISubclass : public com::DispatchImpl<ISubclass> {
  public:
    static const com::Members<ISubclass>& members();
    std::int32_t msgResponse = emrConsume;
};

// The global object clients call; it keeps no state of its own.
class GSubclass : public com::DispatchImpl<GSubclass> {
  public:
    static const com::Members<GSubclass>& members();
};

// GSubclass's entry for the library's class table.
com::ClassEntry gsubclassClassEntry();

}  // namespace vistrel

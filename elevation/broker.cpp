#include "elevation/broker.h"

#include <cstdlib>
#include <mutex>

#include "elevation/provider.h"
#include "platform/com/runtime.h"
#include "platform/process/process.h"
#include "platform/selfreg/selfreg.h"
#include "platform/system/parameters.h"
#include "platform/text/codepage.h"

namespace elevation {

using namespace platform::com;
namespace text = platform::text;

namespace {

constexpr const char16_t* kSource = u"TesselUAC";
constexpr unsigned SPIF_UPDATEINIFILE = 1;

// The elevated instance and its flag, shared by every object of the process. `setup` is held
// through a whole InitializeCOM or ReleaseCOM, so two threads never prompt twice; `held`
// guards the pointer itself, which the operations copy before they call through it.
struct BrokerState {
    std::mutex setup;
    std::mutex held;
    std::shared_ptr<Dispatch> instance;
    bool elevated = false;
};

BrokerState& state() {
    static BrokerState* s = new BrokerState;  // calls may come in while the process ends
    return *s;
}

// An ANSI text argument: a zero-terminated string of the ANSI code page, as the caller's text
// becomes when it is passed as one.
std::u16string ansiArgument(std::u16string_view text) {
    if (auto nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);
    return text::fromAnsi(text::toAnsi(text));
}

// A text result goes to ANSI and back over its full length: embedded zero characters survive,
// characters the code page lacks do not (they come back as "?").
std::u16string ansiRoundTrip(const std::u16string& text) {
    const std::vector<std::uint8_t> bytes = text::toAnsi(text);
    return text::fromAnsi(bytes);
}

Variant emptyResult(Result r) {
    if (r == Result::Text) return Variant(std::u16string());
    if (r == Result::Long) return Variant(std::int32_t(0));
    return Variant();
}

// _X: the privileged member, on a privileged object made for this call alone.
void privateCall(const Operation& op, Call& c) {
    if (op.privileged == 0) {
        // The font smoothing switch: written to the profile, no broadcast; never fails.
        platform::system::setFontSmoothing(c.i4(0) != 0, SPIF_UPDATEINIFILE);
        return;
    }
    std::vector<Variant> args;
    for (std::size_t i = 0; i < op.params.size(); ++i) {
        if (op.params[i].second == Kind::Long)
            args.emplace_back(c.i4(i));
        else
            args.emplace_back(ansiArgument(c.text(i)));
    }
    std::shared_ptr<Dispatch> privileged;
    try {
        privileged = createObject(u"Kestrum.UAC");
    } catch (...) {
    }
    if (!privileged) {
        // Nothing to run it: nothing is done and nothing reported.
        c.result = emptyResult(op.result);
        return;
    }
    // A failure of the member itself is passed on as its status.
    Variant answer = invoke(*privileged, op.privileged, DISPATCH_METHOD, std::move(args));
    if (op.result == Result::Text)
        c.result = Variant(ansiRoundTrip(answer.toText()));
    else if (op.result == Result::Long)
        c.result = Variant(answer.toI4());
}

// X: _X on the elevated instance, or on this object when no elevation is needed.
void publicCall(const Operation& op, Call& c) {
    if (!elevationNeeded()) {
        privateCall(op, c);
        return;
    }
    std::shared_ptr<Dispatch> target = elevatedInstance();
    if (!target) raise(E_FAIL, u"No elevated instance: InitializeCOM has not succeeded", kSource);
    std::vector<Variant> args;
    for (std::size_t i = 0; i < c.count(); ++i) args.push_back(c.arg(i));
    Variant answer;
    ExcepInfo excep;
    const HRESULT h = target->Invoke(op.privateId(), DISPATCH_METHOD, args, &answer, &excep);
    if (h == DISP_E_EXCEPTION)
        raise(excep.scode, excep.description, excep.source.empty() ? kSource : excep.source);
    if (FAILED(h)) raise(h, describe(h), kSource);
    if (op.result == Result::Text)
        c.result = Variant(answer.toText());
    else if (op.result == Result::Long)
        c.result = Variant(answer.toI4());
}

std::int32_t initializeCOM() {
    BrokerState& s = state();
    std::lock_guard setup(s.setup);
    if (!elevationNeeded()) return 1;
    {
        std::lock_guard lock(s.held);
        if (s.elevated && s.instance) return 1;
    }
    ensureProvider();
    std::shared_ptr<Unknown> object;
    // No foreground window to own the prompt here.
    const HRESULT h = platform::selfreg::CoCreateInstanceAsAdmin(CLSID_UAC, IID_IUAC, object);
    std::shared_ptr<Dispatch> instance = SUCCEEDED(h) ? query<Dispatch>(object) : nullptr;
    std::lock_guard lock(s.held);
    s.instance = instance;
    s.elevated = instance != nullptr;
    return s.elevated ? 1 : -1;
}

void releaseCOM() {
    BrokerState& s = state();
    std::lock_guard setup(s.setup);
    std::shared_ptr<Dispatch> gone;
    {
        std::lock_guard lock(s.held);
        gone = std::move(s.instance);
        s.instance = nullptr;
        s.elevated = false;
    }
    // Released outside the lock: ending the host may take a moment.
}

}  // namespace

const std::vector<Operation>& operations() {
    using K = Kind;
    using R = Result;
    // clang-format off
    static const std::vector<Operation> ops = {
        {u"ProcessKillByHwnd", u"_ProcessKillByHwnd", 4, {{u"hWnd", K::Long}}, R::None, 0x60030001},
        {u"ProcessKillByName", u"_ProcessKillByName", 6, {{u"Name", K::Ansi}}, R::None, 0x60030002},
        {u"SetupPrinterProperty", u"_SetupPrinterProperty", 8, {{u"PrinterName", K::Ansi}, {u"pHwnd", K::Long}}, R::None, 0x60030003},
        {u"GetTempFolder", u"_GetTempFolder", 10, {}, R::Text, 0x60030004},
        {u"FileMove", u"_FileMove", 12, {{u"src", K::Path}, {u"dest", K::Path}}, R::None, 0x60030005},
        {u"LoadFile", u"_LoadFile", 14, {{u"fs", K::Path}}, R::Text, 0x60030006},
        {u"Version", u"_Version", 16, {}, R::Text, 0x60030007},
        {u"ClearTypeFont", u"_ClearTypeFont", 18, {{u"lEnable", K::Long}}, R::None, 0},
        {u"PrintQuality", u"_PrintQuality", 20, {{u"pMode", K::Long}, {u"PrinterName", K::Ansi}}, R::Long, 0x6003000B},
        {u"SpoolerUse", u"_SpoolerUse", 22, {{u"useSpool", K::Long}, {u"PrinterName", K::Ansi}}, R::None, 0x6003000C},
        {u"BiDirection", u"_BiDirection", 24, {{u"bidi", K::Long}, {u"adv", K::Long}, {u"PrinterName", K::Ansi}}, R::None, 0x6003000D},
        {u"EraseKeepPrinterJob", u"_EraseKeepPrinterJob", 26, {{u"PrinterName", K::Ansi}}, R::Long, 0x6003000E},
        {u"ResetSpooler", u"_ResetSpooler", 28, {{u"PrinterName", K::Ansi}}, R::None, 0x6003000F},
        {u"prnProperty", u"_prnProperty", 30, {{u"PrinterDeviceName", K::Ansi}}, R::Long, 0x60030010},
        {u"Prentor", u"_Prentor", 32, {{u"cmd", K::Path}, {u"arg", K::Ansi}}, R::Long, 0x60030011},
        {u"CanAdminister", u"_CanAdminister", 34, {{u"PrinterName", K::Ansi}}, R::Long, 0x60030012},
        {u"SaveBinFile", u"_SaveBinFile", 36, {{u"fs", K::Path}, {u"data", K::Ansi}}, R::None, 0x60030013},
        {u"SaveAppend", u"_SaveAppend", 38, {{u"fs", K::Path}, {u"data", K::Ansi}}, R::None, 0x60030014},
        {u"GetMACAddress", u"_GetMACAddress", 40, {}, R::Text, 0x60030015},
        {u"ActiveXCheck", u"_ActiveXCheck", 42, {{u"FileName", K::Path}, {u"CLSID", K::Ansi}}, R::Long, 0x60030017},
        {u"doEndProcess", u"_doEndProcess", 44, {{u"v", K::Long}}, R::None, 0x60030019},
        {u"PrintOnly", u"_PrintOnly", 46, {{u"v", K::Long}}, R::None, 0x6003001A},
        {u"mFindText", u"_FindText", 48, {{u"v", K::Long}}, R::None, 0x6003001B},
        {u"EscapeExit", u"_EscapeExit", 50, {{u"v", K::Long}}, R::None, 0x6003001C},
        {u"ExitKeyPress", u"_ExitKeyPress", 52, {{u"v", K::Long}}, R::None, 0x6003001D},
        {u"LockKeyboard", u"_LockKeyboard", 54, {{u"v", K::Long}}, R::None, 0x6003001E},
        {u"FindCtrlP", u"_FindCtrlP", 56, {}, R::Long, 0x6003001F},
        {u"FindExitKeyPress", u"_FindExitKeyPress", 58, {}, R::Long, 0x60030020},
        {u"GetClearTypeFont", u"_GetClearTypeFont", 60, {}, R::Long, 0x60030009},
        {u"WindowShow", u"_WindowShow", 62, {{u"handler", K::Long}, {u"mode", K::Long}}, R::None, 0x60030000},
    };
    // clang-format on
    return ops;
}

const Operation* privateOperation(DispId id) {
    if (id < 3 || id > 61 || id % 2 == 0) return nullptr;
    const Operation& op = operations()[std::size_t((id - 3) / 2)];
    return op.privateId() == id ? &op : nullptr;
}

const Members<UAC>& UAC::members() {
    static const Members<UAC> m = [] {
        Members<UAC> t = Members<UAC>(u"IUAC", IID_IUAC)
                             .method(DISPID_ReleaseCOM, u"ReleaseCOM", VT_EMPTY, {},
                                     [](UAC&, Call&) { releaseCOM(); })
                             .help(u"메서드 ReleaseCOM")
                             .method(DISPID_InitializeCOM, u"InitializeCOM", VT_I4, {},
                                     [](UAC&, Call& c) { c.result = Variant(initializeCOM()); })
                             .help(u"메서드 InitializeCOM");
        for (const Operation& op : operations()) {
            std::vector<ParamInfo> params;
            for (const auto& [name, kind] : op.params)
                params.push_back({name, kind == Kind::Long ? VT_I4 : VT_BSTR});
            const VarType result = op.result == Result::Text   ? VT_BSTR
                                   : op.result == Result::Long ? VT_I4
                                                               : VT_EMPTY;
            const Operation* o = &op;
            Members<UAC> next = std::move(t)
                                    .method(op.privateId(), op.privateName, result, params,
                                            [o](UAC&, Call& c) { privateCall(*o, c); })
                                    .help(std::u16string(u"메서드 ") + op.privateName)
                                    .method(op.publicId, op.name, result, params,
                                            [o](UAC&, Call& c) { publicCall(*o, c); })
                                    .help(std::u16string(u"메서드 ") + op.name);
            t = std::move(next);
        }
        return t;
    }();
    return m;
}

bool elevationNeeded() {
    if (const char* v = std::getenv("TESSEL_UAC_ELEVATE")) {
        if (std::string_view(v) == "1") return true;
        if (std::string_view(v) == "0") return false;
    }
    return !platform::process::superuser();
}

std::shared_ptr<Dispatch> elevatedInstance() {
    BrokerState& s = state();
    std::lock_guard lock(s.held);
    return s.instance;
}

void ensureProvider() {
    if (!hasElevationProvider(CLSID_UAC)) setElevationProvider(CLSID_UAC, defaultProvider());
}

}  // namespace elevation

#include "privileged/uac.h"

#include <iostream>
#include <mutex>

#include "platform/com/error.h"
#include "platform/text/codepage.h"
#include "platform/text/common.h"

namespace kestrum {

using namespace platform::com;

namespace {

std::mutex logMutex;
std::function<void(const std::u16string&)> logSink;

// Members that always succeed: whatever goes wrong inside is logged, never reported.
template <class Body>
void quietly(const char16_t* member, Body&& body) {
    try {
        body();
    } catch (...) {
        ExcepInfo info = currentError(u"Kestrum");
        log(std::u16string(member) + u": " + info.description);
    }
}

std::int16_t narrow(std::int32_t value) {
    if (value < -32768 || value > 32767) raiseVb(kOverflow);
    return static_cast<std::int16_t>(value);
}

const ParamInfo I4(const char16_t* name) {
    return {name, VT_I4};
}
const ParamInfo Text(const char16_t* name) {
    return {name, VT_BSTR};
}

}  // namespace

void log(std::u16string_view text) {
    std::lock_guard lock(logMutex);
    std::cerr << "Kestrum: " << platform::text::toUtf8(text) << '\n';
    if (logSink) logSink(std::u16string(text));
}

void setLogSink(std::function<void(const std::u16string&)> sink) {
    std::lock_guard lock(logMutex);
    logSink = std::move(sink);
}

void raiseVb(int number) {
    const HRESULT status = hr(0x800A0000u + static_cast<std::uint32_t>(number));
    raise(status, platform::text::runtimeErrorText(number), u"Kestrum");
}

const Members<UAC>& UAC::members() {
    static const Members<UAC> m =
        Members<UAC>(u"_UAC", IID_UAC)
            .method(0x60030000, u"m_ShowWindow", VT_EMPTY, {I4(u"handler"), I4(u"mode")},
                    [](UAC&, Call& c) {
                        quietly(u"m_ShowWindow",
                                [&] { showWindow(static_cast<std::uint32_t>(c.i4(0)), c.i4(1)); });
                    })
            .method(0x60030001, u"m_ProcessKillByHwnd", VT_EMPTY, {I4(u"hwnd")},
                    [](UAC&, Call& c) {
                        quietly(u"m_ProcessKillByHwnd",
                                [&] { killProcessByHwnd(static_cast<std::uint32_t>(c.i4(0))); });
                    })
            .method(0x60030002, u"m_ProcessKillByName", VT_EMPTY, {Text(u"mName")},
                    [](UAC&, Call& c) {
                        quietly(u"m_ProcessKillByName", [&] { killProcessByName(c.text(0)); });
                    })
            .method(0x60030003, u"mSetupPrinterProperty", VT_EMPTY,
                    {Text(u"PrinterName"), I4(u"pHwnd")},
                    [](UAC&, Call& c) {
                        quietly(u"mSetupPrinterProperty", [&] {
                            showDocumentDefaults(c.text(0), static_cast<std::uint32_t>(c.i4(1)));
                        });
                    })
            .method(0x60030004, u"m_GetTempFolder", VT_BSTR, {},
                    [](UAC&, Call& c) { c.result = Variant(tempFolder()); })
            .method(0x60030005, u"m_FileMove", VT_EMPTY, {Text(u"src"), Text(u"dst")},
                    [](UAC&, Call& c) { moveFileReplace(c.text(0), c.text(1)); })
            .method(0x60030006, u"m_LoadFile", VT_BSTR, {Text(u"fs")},
                    [](UAC&, Call& c) { c.result = Variant(loadFirstField(c.text(0))); })
            .method(0x60030007, u"m_Version", VT_BSTR, {},
                    [](UAC&, Call& c) { c.result = Variant(version()); })
            .method(
                0x60030008, u"m_EnableClearType", VT_EMPTY, {},
                [](UAC&, Call&) { quietly(u"m_EnableClearType", [] { setFontSmoothing(true); }); })
            .method(0x60030009, u"m_GetClearTypeFont", VT_I4, {},
                    [](UAC&, Call& c) {
                        std::int32_t on = 0;
                        quietly(u"m_GetClearTypeFont", [&] { on = getFontSmoothing(); });
                        c.result = Variant(on);
                    })
            .method(0x6003000A, u"m_DisableClearType", VT_EMPTY, {},
                    [](UAC&, Call&) {
                        quietly(u"m_DisableClearType", [] { setFontSmoothing(false); });
                    })
            .method(0x6003000B, u"m_PrintQuality", VT_I4, {I4(u"pMode"), Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        const std::int16_t mode = narrow(c.i4(0));
                        std::int32_t old = 0;
                        quietly(u"m_PrintQuality", [&] { old = setPrintQuality(mode, c.text(1)); });
                        c.result = Variant(old);
                    })
            .method(0x6003000C, u"m_SpoolerUse", VT_EMPTY, {I4(u"useSpool"), Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        quietly(u"m_SpoolerUse", [&] { setSpoolMode(c.i4(0) != 0, c.text(1)); });
                    })
            .method(0x6003000D, u"m_BiDirection", VT_EMPTY,
                    {I4(u"bidi"), I4(u"adv"), Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        const std::int16_t adv = narrow(c.i4(1));
                        quietly(u"m_BiDirection", [&] { setBidiAndRaw(c.i4(0), adv, c.text(2)); });
                    })
            .method(0x6003000E, u"m_EraseKeepPrinterJob", VT_I4, {Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        bool ok = false;
                        quietly(u"m_EraseKeepPrinterJob",
                                [&] { ok = clearKeepPrintedJobs(c.text(0)); });
                        c.result = Variant(std::int32_t(ok ? 1 : 0));
                    })
            .method(0x6003000F, u"m_ResetSpooler", VT_EMPTY, {Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        quietly(u"m_ResetSpooler", [&] { resetPrinterQueueMode(c.text(0)); });
                    })
            .method(0x60030010, u"m_prnProperty", VT_I4, {Text(u"PrinterDeviceName")},
                    [](UAC&, Call& c) {
                        std::int32_t attributes = -1;
                        quietly(u"m_prnProperty",
                                [&] { attributes = printerAttributes(c.text(0)); });
                        c.result = Variant(attributes);
                    })
            .method(0x60030011, u"m_Prentor", VT_I4, {Text(u"cmd"), Text(u"arg")},
                    [](UAC&, Call& c) {
                        bool started = false;
                        quietly(u"m_Prentor",
                                [&] { started = startPrentor(c.text(0), c.text(1)); });
                        c.result = Variant(std::int32_t(started ? 1 : 0));
                    })
            .method(0x60030012, u"m_CanAdminister", VT_I4, {Text(u"PrinterName")},
                    [](UAC&, Call& c) {
                        bool can = false;
                        quietly(u"m_CanAdminister", [&] { can = canAdminister(c.text(0)); });
                        c.result = Variant(std::int32_t(can ? 1 : 0));
                    })
            .method(0x60030013, u"m_SaveBinFile", VT_EMPTY, {Text(u"fs"), Text(u"data")},
                    [](UAC&, Call& c) { saveBinFile(c.text(0), c.text(1)); })
            .method(0x60030014, u"m_SaveAppend", VT_EMPTY, {Text(u"fs"), Text(u"data")},
                    [](UAC&, Call& c) { saveAppend(c.text(0), c.text(1)); })
            .method(0x60030015, u"m_GetMACAddress", VT_BSTR, {},
                    [](UAC&, Call& c) {
                        std::u16string mac = u"000000000000";
                        quietly(u"m_GetMACAddress", [&] { mac = macAddress(); });
                        c.result = Variant(mac);
                    })
            .method(0x60030017, u"m_ActiveXCheck", VT_I4, {Text(u"FileName"), Text(u"CLSID")},
                    [](UAC&, Call& c) {
                        int ok = 0;
                        quietly(u"m_ActiveXCheck",
                                [&] { ok = activeXCheck(c.text(0), c.text(1)); });
                        c.result = Variant(std::int32_t(ok));
                    })
            .method(0x60030019, u"mdoEndProcess", VT_EMPTY, {I4(u"v")},
                    [](UAC&, Call& c) { setPassAll(c.i4(0) != 0); })
            .method(0x6003001A, u"mPrintOnly", VT_EMPTY, {I4(u"v")},
                    [](UAC&, Call& c) { setPrintOnly(c.i4(0) != 0); })
            // Text search changes nothing the lock lets through (the locked filter swallows the
            // same keys either way), so the flag is taken and not kept.
            .method(0x6003001B, u"mFindText", VT_EMPTY, {I4(u"v")}, [](UAC&, Call&) {})
            .method(0x6003001C, u"mEscapeExit", VT_EMPTY, {I4(u"v")},
                    [](UAC&, Call& c) { setEscapeExit(c.i4(0) != 0); })
            .method(0x6003001D, u"mExitKeyPress", VT_EMPTY, {I4(u"v")},
                    [](UAC&, Call& c) { setExitKey(c.i4(0) != 0); })
            .method(0x6003001E, u"LockKeyboard", VT_EMPTY, {I4(u"isLock")},
                    [](UAC&, Call& c) { lockKeyboard(c.i4(0) != 0); })
            .method(0x6003001F, u"mFindCtrlP", VT_I4, {},
                    [](UAC&, Call& c) { c.result = Variant(std::int32_t(ctrlPFlag() ? 1 : 0)); })
            .method(0x60030020, u"mFindExitKeyPress", VT_I4, {},
                    [](UAC&, Call& c) { c.result = Variant(std::int32_t(exitKeyFlag() ? 1 : 0)); });
    return m;
}

}  // namespace kestrum

#include "viewer/control/parse.h"

#include <cfloat>
#include <cmath>
#include <functional>
#include <string_view>

#include "platform/com/error.h"
#include "platform/text/text.h"
#include "viewer/control/param.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace {

namespace text = platform::text;
using Value = const std::u16string&;
using Apply = std::function<void(Value)>;

bool numeric(Value v) {
    return !v.empty() && text::IsNumeric(v);
}

// Flag rules: F (a numeric value sets it, True unless "0"), E1 (True exactly for "1"),
// N0 (True unless "0").
Apply flagF(bool& setting) {
    return [&setting](Value v) {
        if (numeric(v)) setting = v != u"0";
    };
}
Apply flagE1(bool& setting) {
    return [&setting](Value v) { setting = v == u"1"; };
}
Apply flagN0(bool& setting) {
    return [&setting](Value v) { setting = v != u"0"; };
}

// A 16-bit number, or `fallback` when the value is empty or not numeric. A value out of range
// raises Overflow and leaves the setting as it was.
Apply number16(std::int16_t& setting, std::int16_t fallback) {
    return [&setting, fallback](Value v) { setting = numeric(v) ? text::CInt(v) : fallback; };
}

Apply textAsIs(std::u16string& setting) {
    return [&setting](Value v) { setting = v; };
}
Apply textLogged(std::u16string& setting, std::u16string label) {
    return [&setting, label](Value v) {
        setting = v;
        WriteLog(label + v, 0);
    };
}
Apply listLogged(std::vector<std::u16string>& setting, std::u16string label) {
    return [&setting, label](Value v) {
        setting = splitList(v, u"$$$");
        WriteLog(label + v, 0);
    };
}
Apply dropped() {
    return [](Value) {};
}

struct Key {
    std::u16string_view name;
    Apply apply;
};

// The keys in the order they are tested.
std::vector<Key> keys(PrintSettings& p, ParamSettings& s, ViewerState& viewer) {
    return {
        {u"server", [&s](Value v) { s.server = (!v.empty() && v.back() == u'/') ? v : v + u"/"; }},
        {u"fileurl", dropped()},
        {u"wintitle", textAsIs(s.wintitle)},
        {u"printno", number16(s.printno, 1)},
        {u"maxpages", dropped()},
        {u"nobarcodepages", dropped()},
        {u"showtest", flagF(s.showtest)},
        {u"intranet", flagF(p.UseIntranet)},
        {u"accessall", flagF(p.AccessAll)},
        {u"confirm", flagF(s.confirm)},
        {u"usespooler", flagF(p.UseSpooler)},
        {u"usenetworkprinter", flagF(p.UseNetworkPrinter)},
        {u"printrst", dropped()},
        {u"certurl", dropped()},
        {u"serialurl", dropped()},
        {u"timestamp", dropped()},
        {u"validity", dropped()},
        {u"signer", dropped()},
        {u"timeserver", textAsIs(s.timeserver)},
        {u"randomurl", textAsIs(s.randomurl)},
        {u"watermarkurl", textAsIs(s.watermarkurl)},
        {u"updateurl", textAsIs(s.updateurl)},
        {u"usepostscriptprinter", flagF(p.UsePostscriptPrinter)},
        {u"postmire", dropped()},
        {u"loginurl", dropped()},
        {u"usetcpipprinter", flagF(p.UseTcpIpPrinter)},
        {u"printonly",
         [&p](Value v) {
             // Once on, print-only stays on for the thread.
             if (!p.IsPrintOnly && numeric(v)) p.IsPrintOnly = v == u"1";
         }},
        {u"descriptionurl", dropped()},
        {u"confirmserial", dropped()},
        {u"serialno", [&s](Value v) { s.serialno = text::Trim(v); }},
        {u"signperpage", dropped()},
        {u"kiosk", dropped()},
        {u"usedefaultprinter", flagF(p.UseDefaultPrinter)},
        {u"singlepageprint", dropped()},
        {u"RegNo", textAsIs(s.RegNo)},
        {u"ServerCreatedID", flagF(s.ServerCreatedID)},
        {u"Exception",
         [&s](Value v) {
             if (v.empty()) return;
             s.ExceptionFlag = true;
             s.Exception = splitList(v, u",");
         }},
        {u"PrinterRefreshTime",
         [&s](Value v) {
             if (!numeric(v)) return;
             const double d = text::CDbl(v);
             if (std::fabs(d) > FLT_MAX) throw text::Overflow("PrinterRefreshTime");
             s.PrinterRefreshTime = static_cast<float>(d);
         }},
        {u"IssueID20", flagF(s.IssueID20)},
        {u"SaveRDF", number16(s.SaveRDF, 2)},
        {u"MultiFileUrl", dropped()},
        {u"XmlBarcode", dropped()},
        {u"LayoutUrl", textAsIs(s.LayoutUrl)},
        {u"CoSigner", textAsIs(s.CoSigner)},
        {u"CheckCertEffectiveDay", dropped()},
        {u"InternalRedirect", flagF(p.InternalRedirect)},
        {u"MultiSystem", dropped()},
        {u"DrawBarcode", dropped()},
        {u"UseSessionXml", dropped()},
        {u"iXml", dropped()},
        {u"EmulateLocal", flagF(p.EmulateLocal)},
        {u"EmulateServer", textAsIs(s.EmulateServer)},
        {u"RDFCERT", dropped()},
        {u"Zoom", dropped()},
        {u"CertImage", dropped()},
        {u"FindEnable", dropped()},
        {u"CharEncoding", textAsIs(viewer.charset)},
        {u"ExceptPrinterDriver", listLogged(p.ExceptDriverList, u"예외 프린터 드라이버: ")},
        {u"ExceptPrinterPort", listLogged(p.ExceptPortList, u"예외 프린터 포트: ")},
        {u"kvaraBase64Xml", flagF(s.kvaraBase64Xml)},
        {u"testenable",
         [&p](Value v) {
             flagF(p.TestEnable)(v);
             WriteLog(u"시험 인쇄: " + v, 0);
         }},
        {u"PrintButtonOnly",
         [&s](Value v) {
             flagF(s.PrintButtonOnly)(v);
             WriteLog(u"인쇄 버튼만 보이기: " + v, 0);
         }},
        {u"AuthCode", dropped()},
        {u"AutoClose", dropped()},
        {u"PrintWaitingTime",
         [&s](Value v) {
             if (numeric(v)) s.PrintWaitingTime = text::CInt(text::CDbl(v) * 60);
         }},
        {u"Seal", dropped()},
        {u"SealTop", dropped()},
        {u"CertWatermark", dropped()},
        {u"WatermarkLetter", textAsIs(s.WatermarkLetter)},
        {u"WatermarkLetterColor", textAsIs(s.WatermarkLetterColor)},
        {u"CertLetter", textLogged(s.CertLetter, u"CertLetter : ")},
        {u"CertLetterSize", textLogged(s.CertLetterSize, u"CertLetterSize : ")},
        {u"CertLetterColor", textLogged(s.CertLetterColor, u"CertLetterColor : ")},
        {u"UrlEncoding", flagE1(s.UrlEncoding)},
        {u"EscapeExit", dropped()},
        {u"BiDirection", dropped()},
        {u"AdvancedFeatures", dropped()},
        {u"TownerLowEnable",
         [&p](Value v) {
             if (!numeric(v)) return;
             p.TownerLowEnable = text::CDbl(v) != 0;
             WriteLog(u"토너가 부족한 경우 인쇄 가능 여부: " + v, 0);
         }},
        {u"ClearType",
         [&s](Value v) {
             WriteLog(u"ClearType: " + v, 0);
             s.ClearType = numeric(v) ? text::CInt(v) : std::int16_t{2};
         }},
        {u"SameWatermark",
         [&s](Value v) {
             flagE1(s.SameWatermark)(v);
             WriteLog(u"화면용과 발급용 워터마크 동일 사용: " + boolText(s.SameWatermark), 0);
         }},
        {u"HtmlZoom",
         [&s](Value v) {
             if (numeric(v)) s.HtmlZoom = text::CDbl(v);
         }},
        {u"PrintNotice",
         [&p](Value v) {
             p.PrintNotice = v;
             if (v.find(u'\n') != std::u16string::npos && v.find(u'\r') == std::u16string::npos)
                 p.PrintNotice = text::Replace(v, u"\n", u"\r\n");
         }},
        {u"TesselExtReleaseCOM",
         [&s](Value v) {
             flagN0(s.TesselExtReleaseCOM)(v);
             WriteLog(u"TesselExtReleaseCOM: " + boolText(s.TesselExtReleaseCOM), 0);
         }},
        {u"PrinterErrorCheck",
         [&p](Value v) {
             flagN0(p.PrinterErrorCheck)(v);
             WriteLog(u"PrinterErrorCheck: " + boolText(p.PrinterErrorCheck), 0);
         }},
        {u"DenyPrinterDriver", listLogged(p.DenyDriverList, u"최종 DenyPrinterDriver: ")},
        {u"DenyPrinterPort", listLogged(p.DenyPortList, u"최종 DenyPrinterPort: ")},
        {u"RunType", textAsIs(p.RunType)},
        {u"PrintDeviceName", textAsIs(s.PrintDeviceName)},
        {u"PrintPerPage", flagE1(s.PrintPerPage)},
    };
}

std::u16string errorLine(std::u16string_view description) {
    return u"Param 속성 분석 오류 [" + std::u16string(description) + u"]";
}

// The settings that depend on others, once every entry is read.
void adjust(PrintSettings& p, ParamSettings& s) {
    p.EmulateLocal = p.EmulateLocal && text::equalsNoCase(s.EmulateServer, s.server);
    if (!s.updateurl.empty() && text::LCase(text::Left(s.updateurl, 7)) != u"http://" &&
        text::LCase(text::Left(s.updateurl, 8)) != u"https://")
        s.updateurl = s.server + s.updateurl;
    if (!s.WatermarkLetter.empty() && s.WatermarkLetterColor.empty())
        s.WatermarkLetterColor = u"EFEFEF";
    if (!s.CertLetter.empty()) {
        if (s.CertLetterSize.empty()) s.CertLetterSize = u"12";
        if (s.CertLetterColor.empty()) s.CertLetterColor = u"EFEFEF";
    }
    WriteLog(u"Param 속성 분석 완료", 2);
}

}  // namespace

std::vector<std::u16string> splitList(const std::u16string& value, std::u16string_view separator) {
    return text::Split(value, separator, -1, true);
}

void ParseParam() {
    ViewerState& viewer = viewerState();
    PrintSettings& print = printSettings();
    ParamSettings& settings = viewer.settings;
    try {
        WriteLog(u"기본 모드로 동작", 0);
        WriteLog(u"Param 속성 복호화", 2);
        WriteLog(u"암호화된 Param: " + viewer.param.cipherText, 3);
        const std::u16string plain = Decode(viewer.param.cipherText, true, false);
        WriteLog(u"복호화된 Param: " + plain, 3);
        if (plain.empty()) return;
        const auto items = text::Split(plain, u"|", -1, true);
        WriteLog(u"Param 속성의 수 = " + text::formatNumber(static_cast<double>(items.size())), 3);
        WriteLog(u"Param 속성 분석", 2);
        const std::vector<Key> table = keys(print, settings, viewer);
        for (const auto& raw : items) {
            const std::u16string item = text::Trim(raw);
            if (text::InStr(item, u"==") == 0) {
                WriteLog(u"지원하지 않는 형식," + item, 4);
                continue;
            }
            const auto parts = text::Split(item, u"==", -1, true);
            const std::u16string key = text::Replace(text::LCase(text::Trim(parts[0])), u"\t", u"");
            const std::u16string value =
                parts.size() > 1 ? text::Replace(text::Trim(parts[1]), u"\t", u"") : u"";
            WriteLog(key + u" = " + value, 3);
            const Key* found = nullptr;
            for (const auto& k : table) {
                if (text::equalsNoCase(k.name, key)) {
                    found = &k;
                    break;
                }
            }
            if (!found) {
                WriteLog(u"지원하지 않는 기능", 4);
                continue;
            }
            try {
                found->apply(value);
            } catch (const text::Error& e) {
                // A value that does not fit its setting: that setting stays, the rest goes on.
                WriteLog(errorLine(e.description()), 2);
            }
        }
        adjust(print, settings);
    } catch (...) {
        WriteLog(errorLine(platform::com::currentError(u"").description), 2);
    }
}

}  // namespace vistrel

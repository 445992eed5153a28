#include "server/config.h"

#include <filesystem>

#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;

std::u16string localWebAddress(std::u16string_view page) {
    return u"http://localhost:8080/tessel/" + std::u16string(page);
}

std::vector<CertKey> certKeys(const std::u16string& programFolder) {
    std::vector<CertKey> keys = {
        {u"CERTURL", programFolder + u"/cert/tessel.der", true},
        {u"SERIALURL", u"", true},
    };
    for (const char16_t* k :
         {u"PrintPerPage", u"PrintOnly", u"DrawBarcode", u"IssueID20", u"UseSessionXml", u"SaveRDF",
          u"Confirm", u"ServerCreatedID", u"SameWatermark", u"SignPerPage", u"SinglePagePrint"})
        keys.push_back({k, u"0"});
    keys.push_back({u"XmlBarcode", u"1"});
    keys.push_back({u"UseSpooler", u"1"});
    keys.push_back({u"Zoom", u"100"});
    keys.push_back({u"CharEncoding", u""});
    keys.push_back({u"Exception", u""});
    keys.push_back({u"PrintDeviceName", u""});
    keys.push_back({u"LayoutUrl", localWebAddress(u"layout.jsp")});
    keys.push_back({u"Server", localWebAddress(u"")});
    keys.push_back({u"WinTitle", u"Quillon Enterprise 증명서"});
    keys.push_back({u"UseDefaultPrinter", u"1"});
    keys.push_back({u"SupportMsg", u""});
    return keys;
}

std::u16string ServerSettings::certValue(const std::u16string& key) const {
    auto it = cert.find(key);
    return it == cert.end() ? std::u16string() : it->second;
}

namespace {

bool flagOn(const std::u16string& value) {
    return text::equalsNoCase(value, u"1");
}
bool notZero(const std::u16string& value) {
    return !text::equalsNoCase(value, u"0");
}

// A count setting: a whole number of at least `minimum`, else the default.
std::size_t countSetting(const iniTool& ini, const std::u16string& key, std::size_t fallback,
                         std::size_t minimum, std::vector<std::u16string>& warnings) {
    std::u16string value = text::Trim(ini.GetValue(u"SYSTEM", key, u""));
    if (value.empty()) return fallback;
    std::size_t n = 0;
    bool ok = value.size() <= 12;
    for (char16_t c : value) {
        if (c < u'0' || c > u'9') ok = false;
        if (ok) n = n * 10 + static_cast<std::size_t>(c - u'0');
    }
    if (!ok || n < minimum) {
        warnings.push_back(u"[SYSTEM] " + key + u" 값이 잘못되어 기본값을 사용합니다: " + value);
        return fallback;
    }
    return n;
}

}  // namespace

ServerSettings readSettings(const iniTool& ini, const std::u16string& programFolder) {
    ServerSettings s;
    s.portText = ini.GetValue(u"SYSTEM", u"PORT", u"9900");
    {
        std::u16string p = text::Trim(s.portText);
        long value = 0;
        bool ok = !p.empty() && p.size() <= 5;
        for (char16_t c : p) {
            if (c < u'0' || c > u'9') ok = false;
            if (ok) value = value * 10 + (c - u'0');
        }
        if (!ok || value < 1 || value > 65535) {
            s.warnings.push_back(u"[SYSTEM] PORT 값이 잘못되어 " +
                                 text::formatNumber(kDefaultPort) + u" 포트를 사용합니다: " +
                                 s.portText);
            s.port = kDefaultPort;
        } else {
            s.port = static_cast<int>(value);
        }
    }
    s.autoEvents = flagOn(ini.GetValue(u"SYSTEM", u"AUTOEVENTS", u"0"));
    s.trayIcon = flagOn(ini.GetValue(u"SYSTEM", u"TRAYICON", u"1"));
    s.logDir = ini.GetValue(u"SYSTEM", u"LOGDIR", programFolder + u"/logs");
    {
        std::u16string level = ini.GetValue(u"SYSTEM", u"LogLevel", u"10");
        s.logLevel = 1;
        if (text::IsNumeric(level)) {
            try {
                s.logLevel = text::CInt(level);
            } catch (const text::Error&) {
                s.logLevel = 1;
            }
        }
    }
    s.windowState = text::Trim(ini.GetValue(u"SYSTEM", u"WINDOWSTATE", u"0"));
    s.topWin = notZero(ini.GetValue(u"SYSTEM", u"TOPWIN", u"0"));
    s.hideWin = notZero(ini.GetValue(u"SYSTEM", u"HIDEWIN", u"1"));
    s.windowInit = ini.GetValue(u"SYSTEM", u"WINDOWINIT", u"-500,-500,100,100");
    s.maxFrame = countSetting(ini, u"MaxFrameLength", 32u * 1024 * 1024, 64, s.warnings);
    s.maxPageList = countSetting(ini, u"MaxPageListLength", kDefaultMaxPageList, 1, s.warnings);
    s.incompleteFrameTimeout =
        countSetting(ini, u"IncompleteFrameTimeout", kDefaultIncompleteFrameTimeout, 1, s.warnings);

    for (const CertKey& k : certKeys(programFolder)) {
        std::u16string value = ini.GetValue(u"CERTPARAM", k.key, k.defaultValue);
        if (k.trimmed) value = text::Trim(value);
        // A value holding the entry separators would break the parameter string or add
        // entries to it.
        if (value.find(u'|') != std::u16string::npos || value.find(u"==") != std::u16string::npos) {
            s.warnings.push_back(u"[CERTPARAM] " + k.key +
                                 u" 값에 '|' 또는 '=='가 있어 기본값을 사용합니다: " + value);
            value = k.defaultValue;
        }
        s.cert[k.key] = value;
    }

    s.getType = ini.GetValue(u"XML", u"GETTYPE", u"1");
    s.xmlCharset = ini.GetValue(u"XML", u"CharSet", u"");

    readHostSettings(ini, s);

    std::u16string digits = ini.GetValue(u"DATAFRAME", u"DIGIT", u"");
    int start = 1;
    for (const auto& part : text::Split(digits, u",")) {
        int width = 0;
        try {
            width = text::IsNumeric(part) ? text::CInt(part) : 0;
        } catch (const text::Error&) {
            width = 0;
        }
        s.digitWidths.push_back(width);
        s.digitStarts.push_back(start);
        start += width;
    }
    s.minDigit = ini.GetValue(u"DATAFRAME", u"MinDigit", u"0");
    s.layoutCode = ini.GetValue(u"DATAFRAME", u"LAYOUTCODE", u"0");
    s.data = ini.GetValue(u"DATAFRAME", u"DATA", u"0");
    return s;
}

void readHostSettings(const iniTool& ini, ServerSettings& s) {
    s.mainIni = ini.GetValue(u"SYSTEM", u"MAININI", u"");
    s.initReload = notZero(ini.GetValue(u"SYSTEM", u"InitReload", u"1"));
    s.sendErrmsg = flagOn(ini.GetValue(u"SYSTEM", u"SendErrmsg", u"1"));
    s.hostType.clear();
    std::error_code ec;
    if (!s.mainIni.empty() && std::filesystem::is_regular_file(text::toUtf8(s.mainIni), ec)) {
        // Read without creating anything: the file exists.
        iniTool main;
        main.FileName(s.mainIni);
        s.hostType = main.GetValue(u"HOST", u"TYPE", u"");
    }
    s.layoutServer = text::Trim(ini.GetValue(u"XML", u"URLPATH" + s.hostType, u""));
    s.charset = ini.GetValue(u"XML", u"CharSet" + s.hostType, u"");
    if (s.charset.empty() && !s.hostType.empty()) s.charset = ini.GetValue(u"XML", u"CharSet", u"");
}

}  // namespace tessel::server

#include "server/paramstring.h"

#include "platform/com/runtime.h"
#include "platform/text/codepage.h"
#include "platform/text/coding.h"
#include "platform/text/text.h"

namespace tessel::server {

namespace com = platform::com;

namespace {
// The message cipher library's facade class Crypt.
constexpr com::Guid CLSID_CipherCrypt = com::Guid::of("{95705177-44AC-41CB-82DD-1CC344E09693}");
}  // namespace

std::u16string PrinterSettingsResetText() {
    // Mode 0: the viewer reads the text after the prefix as Base64 of UTF-16LE entries.
    const auto bytes =
        platform::text::toUtf16leBytes(u"usedefaultprinter==0|ExceptPrinterDriver==|");
    return u"0Velmora/DES|" + platform::text::toBase64(bytes);
}

std::u16string MakeParamString(const ServerSettings& s, const LocalTime& now) {
    std::u16string p;
    auto entry = [&p](std::u16string_view key, std::u16string_view value) {
        p.append(key);
        p.append(u"==");
        p.append(value);
        p.append(u"|");
    };
    auto cert = [&](std::u16string_view key, const std::u16string& iniKey) {
        entry(key, s.certValue(iniKey));
    };
    cert(u"CertUrl", u"CERTURL");
    cert(u"SerialUrl", u"SERIALURL");
    cert(u"Server", u"Server");
    cert(u"WinTitle", u"WinTitle");
    p += u"PrintNo==1|";
    p += u"PrintRst==printrst.jsp|";
    entry(u"WatermarkUrl", localWebAddress(u"wmark.jsp"));
    entry(u"UpdateUrl", localWebAddress(u"updatelist.jsp"));
    cert(u"UseSpooler", u"UseSpooler");
    p += u"AccessAll==1|";
    p += u"UseNetworkPrinter==1|";
    p += u"UsePostscriptPrinter==1|";
    p += u"UseTcpIpPrinter==1|";
    p += u"Intranet==0|";
    cert(u"Confirm", u"Confirm");
    p += u"MaxPages==0|";
    p += u"ShowTest==0|";
    p += u"Signer==Velmora|";
    entry(u"TimeStamp", GetNowText(now));
    p += u"Validity==600|";
    cert(u"PrintOnly", u"PrintOnly");
    p += u"DescriptionUrl==|";
    cert(u"Exception", u"Exception");
    cert(u"IssueID20", u"IssueID20");
    cert(u"XmlBarcode", u"XmlBarcode");
    cert(u"SignPerPage", u"SignPerPage");
    cert(u"SinglePagePrint", u"SinglePagePrint");
    cert(u"SaveRDF", u"SaveRDF");
    cert(u"DrawBarcode", u"DrawBarcode");
    cert(u"UseSessionXml", u"UseSessionXml");
    p += u"FindEnable==1|";
    cert(u"ServerCreatedID", u"ServerCreatedID");
    cert(u"Zoom", u"Zoom");
    cert(u"CharEncoding", u"CharEncoding");
    cert(u"LayoutUrl", u"LayoutUrl");
    cert(u"SameWatermark", u"SameWatermark");
    cert(u"PrintPerPage", u"PrintPerPage");
    cert(u"PrintDeviceName", u"PrintDeviceName");
    return p;
}

bool isCipherErrorText(std::u16string_view r) {
    return r.starts_with(u"Encryption Error: ") || r == u"Provider가 정의되어 있지 않습니다." ||
           (r.starts_with(u"암호화 알고리즘 ") && r.ends_with(u"이(가) 정의되어 있지 않습니다."));
}

CipherResult ComParamCipher::encrypt(std::u16string plain, std::u16string_view charset) {
    CipherResult result;
    try {
        std::shared_ptr<com::Dispatch> crypt;
        com::HRESULT hr = com::CoCreateInstance(CLSID_CipherCrypt, crypt);
        if (com::FAILED(hr) || !crypt) {
            result.error = u"암호화 모듈을 만들 수 없습니다: " + com::describe(hr);
            return result;
        }
        com::put(*crypt, u"Provider", com::Variant(u"Velmora/Des"));
        if (!charset.empty()) com::put(*crypt, u"charset", com::Variant(charset));
        // The argument list is built in place and takes the text over: a list written in
        // braces would copy it once more.
        std::vector<com::Variant> args;
        args.emplace_back(std::move(plain));
        std::u16string text = com::call(*crypt, u"encode", std::move(args)).toText();
        if (text.empty()) {
            result.error = u"암호화 결과가 비어 있습니다.";
        } else if (isCipherErrorText(text)) {
            result.error = text;
        } else {
            result.ok = true;
            result.text = std::move(text);
        }
    } catch (const com::ComError& e) {
        result.error =
            u"암호화 실패: " + (e.description().empty() ? com::describe(e.hr()) : e.description());
    } catch (const std::exception& e) {
        result.error = u"암호화 실패: " + platform::text::fromUtf8(e.what());
    }
    return result;
}

std::u16string urlEncodeBase64(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'+')
            out += u"%2B";
        else if (c == u'/')
            out += u"%2F";
        else
            out += c;
    }
    return out;
}

}  // namespace tessel::server

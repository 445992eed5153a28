#include "viewer/control/param.h"

#include "ciphers/dbcodec.h"
#include "ciphers/messagekey.h"
#include "platform/com/runtime.h"
#include "platform/outside/aesbridge.h"
#include "platform/outside/charsetconverter.h"
#include "platform/outside/outside.h"
#include "platform/text/text.h"
#include "viewer/control/parse.h"
#include "viewer/log/log.h"
#include "viewer/state/module_state.h"

namespace vistrel {

namespace {

namespace com = platform::com;
namespace outside = platform::outside;
namespace text = platform::text;
using Bytes = std::vector<std::uint8_t>;

std::shared_ptr<com::Dispatch> createOutside(const com::Guid& clsid) {
    outside::ensureRegistered();
    std::shared_ptr<com::Dispatch> object;
    const com::HRESULT h = com::CoCreateInstance(clsid, object);
    if (com::FAILED(h) || !object) com::raise(com::FAILED(h) ? h : com::E_NOINTERFACE);
    return object;
}

Bytes base64Decode(com::Dispatch& aes, std::u16string_view text) {
    return com::invoke(aes, outside::aesbridge::DecodeBase64, com::DISPATCH_METHOD,
                       {com::Variant(text)})
        .toBytes();
}

// The two key texts of the "pki" algorithm, kept in pieces and joined when needed.
void BuildPkiKeys() {
    static constexpr std::u16string_view pieces[13] = {
        u"Vmlz", u"dHJl", u"bFNp", u"Z25p", u"bmdL", u"ZXkt",        u"N0Yz",
        u"QXxW", u"aXN0", u"cmVs", u"VmVy", u"aWZ5", u"S2V5LTJDOUU="};
    std::u16string joined;
    for (auto piece : pieces) joined += piece;
    auto keys = text::Split(Base64DecodeText(joined), u"|");
    auto& param = viewerState().param;
    param.pkiKeys[0] = keys.size() > 0 ? keys[0] : std::u16string();
    param.pkiKeys[1] = keys.size() > 1 ? keys[1] : std::u16string();
}

}  // namespace

std::u16string joinLongLines(std::u16string_view input) {
    // CR LF, a lone CR and a lone LF each end a line; no CR stays behind in a line, where it
    // would shift the key's positions.
    std::u16string s = text::Replace(input, u"\r\n", u"\n");
    s = text::Replace(s, u"\r", u"\n");
    std::u16string joined;
    for (const auto& line : text::Split(s, u"\n")) {
        std::u16string trimmed = text::Trim(line);
        if (trimmed.size() > 10) joined += trimmed;
    }
    return joined;
}

std::u16string Base64DecodeText(std::u16string_view text) {
    auto aes = createOutside(outside::CLSID_AesBridge);
    return text::fromAnsi(base64Decode(*aes, text));
}

std::u16string DecodeDes(std::u16string_view cipherText, bool convert) {
    WriteLog(u"DecodeDes......[Start]", 4);
    try {
        const ciphra::MessageParts parts = ciphra::splitMessage(cipherText);
        if (!ciphra::checkKey(parts.key)) return {};
        const std::u16string charset = viewerState().charset;
        WriteLog(u"CharEncoding:" + charset, 5);
        auto aes = createOutside(outside::CLSID_AesBridge);
        const auto base64 = [&](std::u16string_view body) { return base64Decode(*aes, body); };
        std::u16string result;
        if (!charset.empty() && convert) {
            WriteLog(charset + u"을 UNICODE로 변환", 5);
            Bytes bytes = ciphra::messageDecodeBody(parts, base64);
            auto converter = createOutside(outside::CLSID_CharsetConverter);
            com::invoke(*converter, outside::charsetconverter::SetCharset, com::DISPATCH_METHOD,
                        {com::Variant(charset)});
            result = com::invoke(*converter, outside::charsetconverter::ConvertToText,
                                 com::DISPATCH_METHOD, {com::Variant(std::move(bytes))})
                         .toText();
        } else {
            result = text::fromAnsi(ciphra::messageDecodeBody(parts, base64));
        }
        WriteLog(u"DecodeDes......[End]" + result, 4);
        return result;
    } catch (...) {
        WriteLog(u"DecodeDes......[Error]" + com::currentError(u"").description, 4);
        return {};
    }
}

std::u16string Decode(std::u16string_view cipherText, bool paramFlag, bool xmlFlag) {
    const ParamDecoding& state = viewerState().param;
    WriteLog(u"데이터 복호화: Decode ....[Start]", 4);
    WriteLog(u"데이터 구성 시작", 5);
    std::u16string input(cipherText);
    if (state.algorithm == 1 || state.algorithm == 3) {
        WriteLog(u"알고리즘: 벨모라텍", 6);
        input = joinLongLines(input);
    }
    WriteLog(u"데이터 구성 종료", 5);
    std::u16string result;
    if (paramFlag || xmlFlag) {
        WriteLog(u"[Case1] Param 속성 이거나 XML 속성인경우", 5);
        if (state.mode == 0) {
            WriteLog(u"Base64로 인코딩 된 경우", 6);
            auto aes = createOutside(outside::CLSID_AesBridge);
            Bytes bytes = base64Decode(*aes, input);
            if (bytes.size() % 2) bytes.pop_back();  // half a character is no character
            result = text::fromUtf16leBytes(bytes);
        } else if (state.mode != 2) {
            WriteLog(u"DES로 암호화된 경우", 6);
            result = DecodeDes(input, true);
        }
    } else {
        WriteLog(u"[Case2] Param 또는 XML 속성이 아닌 경우", 5);
        if (state.algorithm == 1) {
            WriteLog(u"DES로 암호화된 경우", 6);
            result = DecodeDes(input, true);
        }
    }
    WriteLog(u"데이터 복호화: Decode ......[End]", 4);
    return result;
}

std::u16string putParam(std::u16string text) {
    ParamDecoding& state = viewerState().param;
    try {
        if (text.find(u'|') == std::u16string::npos) {
            state.algorithm = -1;
            return text;
        }
        if (text.front() >= u'0' && text.front() <= u'9') {
            state.mode = static_cast<std::int16_t>(text.front() - u'0');
            if (state.mode > 3) state.mode = 1;
            text.erase(0, 1);
        } else {
            state.mode = 1;
        }
        const std::size_t bar = text.find(u'|');
        const std::u16string prefix = text.substr(0, bar);
        text.erase(0, bar + 1);  // the caller's text is the rest from here on
        const std::u16string& rest = text;
        if (rest.find(u'|') != std::u16string::npos) {
            state.algorithm = -1;
            return text;
        }
        state.cipherText = text::Replace(rest, u"@", u"\n");
        const auto items = text::Split(prefix, u"/");
        if (items.size() < 2) return text;  // no vendor word, or no algorithm word: nothing read
        if (text::LCase(items[0]) == u"velmora") {
            const std::u16string algorithm = text::LCase(items[1]);
            if (algorithm == u"des") {
                state.algorithm = 1;
            } else if (algorithm == u"pki") {
                state.algorithm = 6;
                BuildPkiKeys();
            } else if (algorithm != u"blowfish") {
                state.algorithm = -1;
            }
        } else {
            state.algorithm = -1;
        }
        ParseParam();
    } catch (...) {
        // What could not be read is left as it was; the host is told nothing.
    }
    return text;
}

}  // namespace vistrel

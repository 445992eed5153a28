#include "server/layoutrequest.h"

#include <algorithm>
#include <initializer_list>

#include "ciphers-native/codings.h"
#include "platform/http/http.h"
#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;
namespace http = platform::http;

namespace {

constexpr std::u16string_view kLayoutExtension = u".exml";

bool holdsAny(std::u16string_view name, std::initializer_list<std::u16string_view> parts) {
    for (std::u16string_view part : parts)
        if (name.find(part) != std::u16string_view::npos) return true;
    return false;
}

// A name that would end the parameter entry or add another one.
bool breaksEntry(std::u16string_view name) {
    return holdsAny(name, {u"|", u"=="});
}

// A name from the layout server that could name a file outside the layouts folder.
bool leavesFolder(std::u16string_view name) {
    return holdsAny(name, {u"/", u"\\", u".."});
}

}  // namespace

std::u16string layoutCodeOf(std::u16string_view frameText, const ServerSettings& settings) {
    const std::u16string number = text::Trim(settings.layoutCode);
    if (number.empty() || !std::all_of(number.begin(), number.end(),
                                       [](char16_t c) { return c >= u'0' && c <= u'9'; }))
        return {};
    if (number.size() > 4) return {};
    const std::size_t field = std::stoul(text::toUtf8(number));
    if (field < 1 || field > settings.digitWidths.size()) return {};
    const std::size_t start = static_cast<std::size_t>(settings.digitStarts[field - 1]);
    const int width = settings.digitWidths[field - 1];
    if (width <= 0 || start < 1 || start > frameText.size()) return {};
    return std::u16string(frameText.substr(start - 1, static_cast<std::size_t>(width)));
}

std::u16string urlEncodeForm(std::u16string_view value) {
    sealwyn::Bytes encoded = sealwyn::CURLEncode().encode(text::toAnsi(value));
    return std::u16string(encoded.begin(), encoded.end());
}

bool LayoutServerRequest::fail(std::u16string message) {
    c_.issue.resultFlag = false;
    c_.issue.errorMessage = std::move(message);
    return false;
}

bool LayoutServerRequest::FLayoutRequest(int /*index*/, std::u16string_view frameText) {
    IssueState& issue = c_.issue;
    const ServerSettings& settings = c_.settings;
    issue.startOver();
    issue.errorMessage.clear();
    issue.statusLabel.clear();
    issue.paramCipherText.clear();

    const std::u16string code = layoutCodeOf(frameText, settings);
    const bool encrypted = settings.getType == u"1";
    const std::u16string now = GetNowText(c_.clock.now());

    std::u16string form;
    if (!encrypted) {
        form = u"TimeStamp=" + urlEncodeForm(now) + u"&rcode=" + urlEncodeForm(code) + u"&layout=" +
               urlEncodeForm(code) + u"&framedata=" + urlEncodeForm(frameText) + u"&type=" +
               urlEncodeForm(settings.getType);
    } else {
        std::u16string fields = u"TimeStamp=" + now + u"&rcode=" + code + u"&layout=" + code +
                                u"&framedata=" + std::u16string(frameText) + u"&type=" +
                                settings.getType;
        CipherResult sealed = c_.cipher.encrypt(fields, settings.charset);
        if (!sealed.ok) return fail(sealed.error);
        form = u"Param=" + urlEncodeBase64(sealed.text) + u"&type=" +
               urlEncodeForm(settings.getType) + u"&rcode=" + urlEncodeForm(code);
    }

    const std::u16string answer = text::Trim(FHttpSend(settings.layoutServer, form, true));
    if (answer.empty() || !issue.layoutSuccess) {
        issue.resultFlag = false;
        return false;
    }
    if (answer.starts_with(u"[E]")) return fail(answer);

    std::u16string layoutFile;
    std::u16string pages = answer;
    if (!encrypted) {
        CipherResult sealed = c_.cipher.encrypt(answer, u"");
        if (!sealed.ok) return fail(sealed.error);
        pages = sealed.text;
    } else if (std::size_t bar = answer.find(u'|'); bar != std::u16string::npos) {
        pages = answer.substr(0, bar);
        layoutFile = answer.substr(bar + 1);
        if (layoutFile.find(kLayoutExtension) == std::u16string::npos)
            layoutFile += kLayoutExtension;
        if (leavesFolder(layoutFile) || breaksEntry(layoutFile))
            return fail(u"레이아웃 서버가 보낸 레이아웃 파일 이름을 쓸 수 없습니다: " + layoutFile);
    }
    if (layoutFile.empty()) {
        layoutFile = c_.ini.GetValue(u"LAYOUTFILE", code, u"");
        if (breaksEntry(layoutFile))
            return fail(u"[LAYOUTFILE] 값을 레이아웃 파일 이름으로 쓸 수 없습니다: " + layoutFile);
    }
    issue.pageImageList.assign(pages);

    CipherResult sealed =
        c_.cipher.encrypt(MakeParamString(settings, c_.clock.now()) + u"FileUrl==" +
                              c_.programFolder + u"/layouts/" + layoutFile + u"|",
                          u"");
    if (!sealed.ok) return fail(sealed.error);
    issue.paramCipherText = std::u16string(kParamCipherPrefix) + sealed.text;
    issue.statusLabel = kIssueReadyLabel;
    return issue.resultFlag;
}

std::u16string LayoutServerRequest::FHttpSend(std::u16string_view url, std::u16string_view data,
                                              bool isPost) {
    IssueState& issue = c_.issue;
    try {
        http::Request request;
        request.url = text::toUtf8(url);
        if (isPost) {
            request.method = "POST";
            request.headers = {{"Content-type", "application/x-www-form-urlencoded"},
                               {"pragma", "no-cache"}};
            const std::string body = text::toUtf8(data);
            request.body.assign(body.begin(), body.end());
        } else {
            request.method = "GET";
            request.headers = {{"pragma", "no-cache"}};
        }
        request.connectTimeout = timeout_;
        request.totalTimeout = timeout_;
        request.stallTimeout = std::chrono::seconds(0);
        request.maxReplyBytes = c_.settings.maxPageList;
        http::Response response = http::send(request);
        issue.layoutStatus = text::formatNumber(response.status);
        if (response.status == 200) {
            issue.layoutSuccess = true;
            return text::fromUtf8(std::string_view(
                reinterpret_cast<const char*>(response.body.data()), response.body.size()));
        }
        issue.layoutSuccess = false;
        issue.errorMessage = text::fromUtf8(response.reason);
        return {};
    } catch (const std::exception& e) {
        issue.layoutSuccess = false;
        issue.resultFlag = false;
        issue.stateCode = state::LayoutServerError;
        issue.errorMessage = text::fromUtf8(e.what());
        return {};
    }
}

}  // namespace tessel::server

#include "server/issue.h"

#include "platform/text/text.h"
#include "server/json.h"

namespace tessel::server {

namespace text = platform::text;

namespace {

// The text a value gives when it is concatenated; nullopt for objects and arrays (they have no
// text). Null and Empty give the empty text.
std::optional<std::u16string> valueText(const JsonValue* v) {
    if (!v) return std::u16string();
    switch (v->kind()) {
        case JsonValue::Kind::Empty:
        case JsonValue::Kind::Null:
            return std::u16string();
        case JsonValue::Kind::Boolean:
            return std::u16string(v->boolean() ? u"True" : u"False");
        case JsonValue::Kind::Number:
            return v->number().toText();
        case JsonValue::Kind::Text:
            return v->text();
        default:
            return std::nullopt;
    }
}

bool isNumericValue(const JsonValue& v) {
    switch (v.kind()) {
        case JsonValue::Kind::Empty:
        case JsonValue::Kind::Boolean:
        case JsonValue::Kind::Number:
            return true;
        case JsonValue::Kind::Text:
            return text::IsNumeric(v.text());
        default:
            return false;
    }
}

}  // namespace

IssueRequests::Outcome IssueRequests::FSetupIssue(std::u16string_view body,
                                                  const ServerSettings& settings) {
    auto root = ParseJson(body).root;
    if (!root || root->kind() != JsonValue::Kind::Object) {
        issue_.errorMessage = u"설정 요청의 본문이 JSON 개체가 아닙니다.";
        return Outcome::Failed;
    }
    const JsonObject& request = root->object();

    std::u16string extra;
    const JsonValue* pages = request.find(u"pages");
    if (!pages || isNumericValue(*pages)) {
        for (const char16_t* key : {u"usedefaultprinter", u"ExceptPrinterDriver"}) {
            auto value = valueText(request.find(key));
            if (!value) {
                issue_.errorMessage = std::u16string(key) + u" 값은 텍스트여야 합니다.";
                return Outcome::Failed;
            }
            if (value->empty()) continue;
            if (value->find(u'|') != std::u16string::npos ||
                value->find(u"==") != std::u16string::npos) {
                issue_.errorMessage =
                    std::u16string(key) + u" 값에 '|' 또는 '=='를 쓸 수 없습니다.";
                return Outcome::Failed;
            }
            extra += std::u16string(key) + u"==" + *value + u"|";
        }
    }

    CipherResult cipher = cipher_.encrypt(MakeParamString(settings, clock_.now()) + extra, u"");
    if (!cipher.ok) {
        issue_.errorMessage = cipher.error;
        return Outcome::Failed;
    }

    issue_.extraParams = extra;
    issue_.layoutSuccess = issue_.loadCompleted = issue_.printStarted = issue_.printed = false;
    issue_.layoutStatus.clear();
    issue_.viewerError = false;
    issue_.viewerErrorText.clear();
    issue_.resultFlag = true;
    issue_.paramCipherText = std::u16string(kParamCipherPrefix) + cipher.text;
    issue_.stateCode = state::SetUp;
    issue_.statusLabel = kIssueReadyLabel;
    return Outcome::Done;
}

IssueRequests::Outcome IssueRequests::FAddPageData(std::u16string_view frame,
                                                   std::size_t maxPageList) {
    issue_.statusLabel.clear();
    issue_.resultFlag = true;
    std::u16string_view data = frame.size() > 43 ? frame.substr(43) : std::u16string_view();
    std::size_t comma = data.find(u',');
    if (comma != std::u16string_view::npos) data = data.substr(comma + 1);
    if (issue_.pageImageList.size() + data.size() + 1 > maxPageList) {
        issue_.errorMessage = u"페이지 목록이 너무 깁니다.";
        return Outcome::PageListFull;
    }
    issue_.pageImageList.append(data);
    issue_.pageImageList.push_back(u',');
    issue_.statusLabel = kIssueReadyLabel;
    return Outcome::Done;
}

}  // namespace tessel::server

#include "server/issue.h"

#include <algorithm>
#include <iterator>

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

// ---- PageList ----

namespace {
// Small pages share a piece until it holds this many characters; a larger page starts one
// of its own, allocated at its exact size.
constexpr std::size_t kSharedPiece = 64 * 1024;

// A page's text is megabytes of Base64: it is looked at in blocks whose characters are or-ed
// together without a branch, which the compiler turns into vector instructions.
bool fitsOneByte(std::u16string_view s) {
    constexpr std::size_t kBlock = 64;
    const char16_t* p = s.data();
    const std::size_t n = s.size();
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        unsigned bits = 0;
        for (std::size_t j = 0; j < kBlock; ++j) bits |= p[i + j];
        if (bits > 0xFF) return false;
    }
    unsigned bits = 0;
    for (; i < n; ++i) bits |= p[i];
    return bits <= 0xFF;
}

// Narrows characters below 0x100 to one byte each. Through plain pointers, so the compiler
// knows the bytes written cannot move the string they are written into, and vectorises.
void narrow(const char16_t* from, std::size_t n, char* to) {
    for (std::size_t i = 0; i < n; ++i) to[i] = static_cast<char>(from[i]);
}
}  // namespace

void PageList::append(std::u16string_view page) {
    add(page, true);
}

void PageList::assign(std::u16string_view whole) {
    clear();
    add(whole, false);
}

void PageList::add(std::u16string_view page, bool comma) {
    if (page.empty() && !comma) return;
    const bool wide = !fitsOneByte(page);
    const std::size_t adding = page.size() + (comma ? 1 : 0);
    if (pieces_.empty() || pieces_.back().wide != wide ||
        pieces_.back().size() + adding > kSharedPiece) {
        pieces_.emplace_back();
        pieces_.back().wide = wide;
        if (wide)
            pieces_.back().text.reserve(std::max(adding, kSharedPiece));
        else
            pieces_.back().narrow.reserve(std::max(adding, kSharedPiece));
    }
    Piece& piece = pieces_.back();
    if (wide) {
        piece.text.append(page);
        if (comma) piece.text.push_back(u',');
    } else {
        const std::size_t at = piece.narrow.size();
        piece.narrow.resize(at + adding);
        narrow(page.data(), page.size(), piece.narrow.data() + at);
        if (comma) piece.narrow[at + page.size()] = ',';
    }
    size_ += adding;
}

void PageList::clear() {
    std::vector<Piece>().swap(pieces_);
    size_ = 0;
}

std::u16string PageList::text() const {
    std::u16string out;
    out.reserve(size_);
    // One-byte pieces are widened through a small buffer, so the text is written once.
    char16_t wide[4096];
    for (const Piece& piece : pieces_) {
        if (piece.wide) {
            out += piece.text;
            continue;
        }
        for (std::size_t at = 0; at < piece.narrow.size(); at += std::size(wide)) {
            const std::size_t n = std::min(std::size(wide), piece.narrow.size() - at);
            for (std::size_t i = 0; i < n; ++i)
                wide[i] = static_cast<unsigned char>(piece.narrow[at + i]);
            out.append(wide, n);
        }
    }
    return out;
}

// ---- requests ----

IssueRequests::Outcome IssueRequests::FSetupIssue(std::u16string body,
                                                  const ServerSettings& settings) {
    auto root = ParseJson(body).root;
    // The tree holds what is needed of the body.
    std::u16string().swap(body);
    if (!root || root->kind() != JsonValue::Kind::Object) {
        issue_.errorMessage = u"설정 요청의 본문이 JSON 개체가 아닙니다.";
        return Outcome::Failed;
    }
    const JsonObject& request = root->object();

    std::u16string extra;
    const JsonValue* pages = request.find(u"pages");
    if (!pages || isNumericValue(*pages)) {
        for (const char16_t* key : {u"usedefaultprinter", u"ExceptPrinterDriver"}) {
            // A text value is read where it lies; other values are turned into text.
            const JsonValue* found = request.find(key);
            std::optional<std::u16string> converted;
            std::u16string_view value;
            if (found && found->kind() == JsonValue::Kind::Text) {
                value = found->text();
            } else {
                converted = valueText(found);
                if (!converted) {
                    issue_.errorMessage = std::u16string(key) + u" 값은 텍스트여야 합니다.";
                    return Outcome::Failed;
                }
                value = *converted;
            }
            if (value.empty()) continue;
            if (value.find(u'|') != std::u16string_view::npos ||
                value.find(u"==") != std::u16string_view::npos) {
                issue_.errorMessage =
                    std::u16string(key) + u" 값에 '|' 또는 '=='를 쓸 수 없습니다.";
                return Outcome::Failed;
            }
            const std::u16string_view name = key;
            extra.reserve(extra.size() + name.size() + 2 + value.size() + 1);
            extra.append(name).append(u"==").append(value).append(u"|");
        }
    }
    // The request's tree is not needed any more; a large value goes before the encryption.
    root.reset();

    std::u16string plain = MakeParamString(settings, clock_.now());
    plain.reserve(plain.size() + extra.size());
    plain += extra;
    CipherResult cipher = cipher_.encrypt(std::move(plain), u"");
    if (!cipher.ok) {
        issue_.errorMessage = cipher.error;
        return Outcome::Failed;
    }

    issue_.extraParams = std::move(extra);
    issue_.startOver();
    std::u16string().swap(issue_.paramCipherText);
    issue_.paramCipherText.reserve(kParamCipherPrefix.size() + cipher.text.size());
    issue_.paramCipherText.append(kParamCipherPrefix).append(cipher.text);
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
    issue_.statusLabel = kIssueReadyLabel;
    return Outcome::Done;
}

}  // namespace tessel::server

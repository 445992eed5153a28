// The issue kept by the server and the handlers of the set-up ("CE00") and page ("CE01")
// requests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/clock/clock.h"
#include "server/config.h"
#include "server/paramstring.h"

namespace tessel::server {

// Issue state codes.
namespace state {
inline constexpr std::u16string_view Idle = u"00";
inline constexpr std::u16string_view SetUp = u"01";
inline constexpr std::u16string_view ViewerRunning = u"10";
// The states below are set only by the viewer form's close step and notifications.
inline constexpr std::u16string_view ClosedWithoutResult = u"11";
inline constexpr std::u16string_view PrintStarted = u"20";
inline constexpr std::u16string_view CertificateText = u"21";
inline constexpr std::u16string_view SerialNumber = u"22";
inline constexpr std::u16string_view Printing = u"23";
inline constexpr std::u16string_view Printed = u"30";
inline constexpr std::u16string_view NotPrinted = u"31";
inline constexpr std::u16string_view ViewerError = u"40";
}  // namespace state

// The page list of an issue: the page texts one after another, each followed by ",". It is kept
// in pieces that never move once written (a large page is a piece of its own), one byte per
// character while the characters fit in one, so a list near its cap costs about one byte per
// character and growing it never copies what it holds. Emptying it frees every piece.
class PageList {
  public:
    bool empty() const { return size_ == 0; }
    // In characters, the commas included.
    std::size_t size() const { return size_; }
    // Appends the page text and a comma.
    void append(std::u16string_view page);
    // Replaces the list with a whole text that holds its own commas.
    void assign(std::u16string_view whole);
    void clear();
    // The whole list as one text.
    std::u16string text() const;

  private:
    void add(std::u16string_view text, bool comma);
    struct Piece {
        bool wide = false;
        std::string narrow;  // characters below 0x100, one byte each
        std::u16string text;
        std::size_t size() const { return wide ? text.size() : narrow.size(); }
    };
    std::vector<Piece> pieces_;
    std::size_t size_ = 0;
};

struct IssueState {
    std::u16string stateCode{state::Idle};
    std::u16string paramCipherText;
    PageList pageImageList;
    std::u16string extraParams;
    // Status of the current issue.
    bool resultFlag = false;
    bool printed = false;
    bool viewerError = false;
    std::u16string viewerErrorText;
    std::u16string errorMessage;
    std::u16string layoutStatus;
    bool layoutSuccess = false;
    bool loadCompleted = false;
    bool printStarted = false;
    bool printError = false;     // the viewer reported a print error; a set-up leaves it
    std::u16string statusLabel;  // the window's status line

    // A new set-up: forgets how the last issue went.
    void startOver() {
        layoutSuccess = loadCompleted = printStarted = printed = false;
        layoutStatus.clear();
        viewerError = false;
        viewerErrorText.clear();
        resultFlag = true;
        stateCode = state::SetUp;
    }
};

inline constexpr std::u16string_view kIssueReadyLabel =
    u"현재 페이지 값 설정 기준으로 증명서 실행합니다.";

class IssueRequests {
  public:
    enum class Outcome { Done, Failed, PageListFull };

    IssueRequests(IssueState& issue, ParamCipher& cipher, const Clock& clock)
        : issue_(issue), cipher_(cipher), clock_(clock) {}

    // "CE00": body is the frame from position 40. On success the state is "01" and the kept
    // parameter text is the prefix and the new cipher text. A body that is not a JSON object,
    // a printer entry that holds "|" or "==" (or is an object or array), or a failed encryption
    // leaves the state and the kept parameter text as they were; the reason is in
    // issue.errorMessage. The body is given up as soon as it is read.
    Outcome FSetupIssue(std::u16string body, const ServerSettings& settings);

    // "CE01": the page data is the frame from position 44, after its first ",". A page list
    // that would pass maxPageList characters is refused (PageListFull) and left unchanged.
    Outcome FAddPageData(std::u16string_view frame, std::size_t maxPageList);

  private:
    IssueState& issue_;
    ParamCipher& cipher_;
    const Clock& clock_;
};

}  // namespace tessel::server

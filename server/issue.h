// The issue kept by the server and the handlers of the set-up ("CE00") and page ("CE01")
// requests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lib/clock/clock.h"
#include "platform/text/packed.h"
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
// packed (see platform/text/packed.h): a page's Base64 as the bytes it stands for, the rest one
// byte a character where it fits in one; growing it never copies what it holds. The text handed
// to the viewer is shared with the viewer's copy of it. Emptying it frees what only it holds.
class PageList {
  public:
    bool empty() const { return list_.empty(); }
    // In characters, the commas included.
    std::size_t size() const { return list_.size(); }
    // Appends the page text and a comma.
    void append(std::u16string_view page) {
        list_.append(page);
        list_.append(u",");
    }
    // Replaces the list with a whole text that holds its own commas.
    void assign(std::u16string_view whole) {
        list_.clear();
        list_.append(whole);
    }
    void clear() { list_.clear(); }
    // The whole list as one text; the list stays shared while it is unchanged.
    std::u16string text() const { return list_.text(); }

  private:
    platform::text::PackedTextBuilder list_;
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

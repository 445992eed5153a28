// The issue kept by the server and the handlers of the set-up ("CE00") and page ("CE01")
// requests.
#pragma once

#include <string>
#include <string_view>

#include "server/clock.h"
#include "server/config.h"
#include "server/paramstring.h"

namespace tessel::server {

// Issue state codes.
namespace state {
inline constexpr std::u16string_view Idle = u"00";
inline constexpr std::u16string_view SetUp = u"01";
inline constexpr std::u16string_view ViewerRunning = u"10";
inline constexpr std::u16string_view Printed = u"30";
inline constexpr std::u16string_view NotPrinted = u"31";
inline constexpr std::u16string_view ViewerError = u"40";
}  // namespace state

struct IssueState {
    std::u16string stateCode{state::Idle};
    std::u16string paramCipherText;
    std::u16string pageImageList;
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
    std::u16string statusLabel;  // the window's status line
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
    // issue.errorMessage.
    Outcome FSetupIssue(std::u16string_view body, const ServerSettings& settings);

    // "CE01": the page data is the frame from position 44, after its first ",". A page list
    // that would pass maxPageList characters is refused (PageListFull) and left unchanged.
    Outcome FAddPageData(std::u16string_view frame, std::size_t maxPageList);

  private:
    IssueState& issue_;
    ParamCipher& cipher_;
    const Clock& clock_;
};

}  // namespace tessel::server

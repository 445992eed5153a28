// The layout-server request: a second way of setting up an issue beside the set-up request.
// It posts a data frame to the layout server named in the host settings and builds the issue
// from the answer: the page list and the layout file, then the kept parameter text with the
// layout file's address. No request code of the protocol runs it.
//
// Sound limits of the road: form values are URL-encoded; the exchange fails after a time-out
// (30 s unless given); a layout file name from the answer that could leave the layouts folder
// ("/", "\", "..") or break the parameter text ("|", "==") is refused.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "lib/clock/clock.h"
#include "lib/initool/initool.h"
#include "server/config.h"
#include "server/issue.h"
#include "server/paramstring.h"

namespace tessel::server {

namespace state {
// The layout server could not be reached or the exchange failed.
inline constexpr std::u16string_view LayoutServerError = u"41";
}  // namespace state

inline constexpr std::chrono::milliseconds kLayoutServerTimeout{std::chrono::seconds(30)};

// The field of the data frame whose one-based number is [DATAFRAME] LAYOUTCODE, cut with that
// field's width from its start (the sum of the widths of the fields before it, from 1). Empty
// when LAYOUTCODE names no field of DIGIT.
std::u16string layoutCodeOf(std::u16string_view frameText, const ServerSettings& settings);

// Percent-encoding of a form value: its ANSI bytes through the native library's URL encoder.
std::u16string urlEncodeForm(std::u16string_view value);

class LayoutServerRequest {
  public:
    struct Context {
        IssueState& issue;
        const ServerSettings& settings;
        const iniTool& ini;  // for the [LAYOUTFILE] section
        ParamCipher& cipher;
        const Clock& clock;
        std::u16string programFolder;  // "/" separators
    };

    explicit LayoutServerRequest(Context context,
                                 std::chrono::milliseconds timeout = kLayoutServerTimeout)
        : c_(std::move(context)), timeout_(timeout) {}

    // Sets up the issue from the layout server's answer to the frame; True on success. On
    // failure issue.errorMessage says why (and a failed exchange leaves the state "41").
    bool FLayoutRequest(int index, std::u16string_view frameText);

    // One exchange: a POST of the form data (with the form content type) or a GET; "pragma:
    // no-cache" on both. The answer on status 200; otherwise "" with issue.layoutSuccess False
    // and issue.errorMessage set; a failed exchange also sets issue.resultFlag False and the
    // state "41". issue.layoutStatus holds the status number as text.
    std::u16string FHttpSend(std::u16string_view url, std::u16string_view data, bool isPost);

  private:
    bool fail(std::u16string message);

    Context c_;
    std::chrono::milliseconds timeout_;
};

}  // namespace tessel::server

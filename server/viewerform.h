// The viewer form's own logic (frmViewer): the time it was loaded, its result mark, the close
// step and the dispatcher of the viewer's notifications. The issue status, the AUTOEVENTS
// switch, the status line and the replies to clients belong to the server and are reached
// through ViewerFormServices, so the logic runs headless in tests. Nothing in the server calls
// the close step or the dispatcher; they are offered to hosts that report such notifications.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "lib/clock/clock.h"
#include "server/issue.h"

namespace tessel::server {

// What the viewer form reaches outside itself.
class ViewerFormServices {
  public:
    virtual ~ViewerFormServices() = default;
    virtual IssueState& issue() = 0;
    // The AUTOEVENTS setting.
    virtual bool autoEvents() const = 0;
    // The main window's status line.
    virtual void setStatusText(const std::u16string& text) = 0;
    // A reply to the client on slot `index` with the current request code; nothing is sent
    // when there is no such client or no request has been dispatched yet.
    virtual void sendToClient(int index, std::u16string_view result, std::u16string_view text) = 0;
};

class ViewerForm {
  public:
    // Result marks.
    static constexpr int kNoResult = 0;
    static constexpr int kResultCame = 2;

    explicit ViewerForm(const Clock& clock) : clock_(clock) {}

    // The server's side; without it the close step and the notifications only touch the form.
    void attach(ViewerFormServices* services) { services_ = services; }
    // Hides the form's window.
    std::function<void()> hideForm;

    // Form_Load: remembers the time of loading, whole seconds since midnight; no result yet.
    void Form_Load();
    // The control raised PrintResult.
    void PrintResult() { resultMark_ = kResultCame; }
    // The close step: state "11" when no PrintResult came; with AUTOEVENTS the client in the
    // tag gets "00" and the state followed by "PrintResult"; then the form is hidden.
    void closeStep();
    // One notification of the viewer (names compared exactly); with AUTOEVENTS the client in
    // the tag then gets "09" and the state, the name, ";" and the value.
    void notify(std::u16string_view name, std::u16string_view value);

    std::int32_t loadedAt() const { return loadedAt_; }
    int resultMark() const { return resultMark_; }
    // Viewer1.Tag: the client's slot number as text.
    std::u16string tag;

  private:
    std::int32_t secondsSinceMidnight() const;
    void send(std::u16string_view result, const std::u16string& text);

    const Clock& clock_;
    ViewerFormServices* services_ = nullptr;
    std::int32_t loadedAt_ = 0;
    int resultMark_ = kNoResult;
};

}  // namespace tessel::server

#include "server/viewerform.h"

#include "platform/text/text.h"

namespace tessel::server {

namespace text = platform::text;

namespace {
constexpr std::int32_t kSecondsPerDay = 24 * 60 * 60;
}  // namespace

std::int32_t ViewerForm::secondsSinceMidnight() const {
    const LocalTime now = clock_.now();
    return now.tm.tm_hour * 3600 + now.tm.tm_min * 60 + now.tm.tm_sec;
}

void ViewerForm::Form_Load() {
    loadedAt_ = secondsSinceMidnight();
    resultMark_ = kNoResult;
}

void ViewerForm::send(std::u16string_view result, const std::u16string& message) {
    if (!services_ || !services_->autoEvents()) return;
    services_->sendToClient(static_cast<int>(text::Val(tag)), result, message);
}

void ViewerForm::closeStep() {
    if (services_) {
        IssueState& issue = services_->issue();
        if (resultMark_ != kResultCame) issue.stateCode = state::ClosedWithoutResult;
        send(u"00", issue.stateCode + u"PrintResult");
    }
    if (hideForm) hideForm();
}

void ViewerForm::notify(std::u16string_view name, std::u16string_view value) {
    if (name == u"InitViewer" && value == u"Ok" && hideForm) hideForm();
    if (!services_) return;
    IssueState& issue = services_->issue();
    if (name == u"Viewer") {
        if (value == u"LoadCompleted") {
            issue.loadCompleted = true;
            // A load that went past midnight still counts its seconds from the form's loading.
            std::int32_t seconds = secondsSinceMidnight() - loadedAt_;
            if (seconds < 0) seconds += kSecondsPerDay;
            issue.statusLabel = text::formatNumber(seconds);
            services_->setStatusText(issue.statusLabel);
            issue.stateCode = state::ViewerRunning;
        }
    } else if (name == u"PrintStart") {
        issue.printStarted = true;
        issue.stateCode = state::PrintStarted;
    } else if (name == u"Printing") {
        issue.stateCode = state::Printing;
    } else if (name == u"CertStr") {
        issue.stateCode = state::CertificateText;
    } else if (name == u"Serial") {
        issue.stateCode = state::SerialNumber;
    } else if (name == u"PrintError") {
        issue.printError = true;
        issue.stateCode = std::u16string(value);
    } else if (name == u"PrintFail") {
        issue.printed = false;
        issue.stateCode = state::NotPrinted;
    }
    // "PrintOk", "PrintAbort", "InitViewer" (beyond hiding) and other names change no status.
    send(u"09", issue.stateCode + std::u16string(name) + u";" + std::u16string(value));
}

}  // namespace tessel::server

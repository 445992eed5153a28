#include "viewer/dialog/select_printer.h"

#include <chrono>
#include <exception>
#include <thread>

#include "platform/com/error.h"
#include "platform/com/runtime.h"
#include "platform/spooler/spooler.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "platform/text/text.h"
#include "platform/window/virtual_keys.h"
#include "printers/printers.h"
#include "strings/strings.h"
#include "viewer/log/log.h"
#include "viewer/selection/drivers.h"
#include "viewer/state/module_state.h"

namespace vistrel::dialog {

namespace txt = platform::text;
namespace ui = platform::ui;

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

std::u16string number(std::int64_t n) {
    return txt::fromUtf8(std::to_string(n));
}

// A text of the string table; a missing one is empty (the caller passes over it).
std::u16string S(int id) {
    return findString(id).value_or(std::u16string());
}

// One statement of a step: a failure is logged and the step goes on.
template <class F>
void guarded(std::u16string_view where, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        WriteLog(u"[Error]" + std::u16string(where) + u" :" + txt::fromUtf8(e.what()), 5);
    }
}

// A status that is exactly one of the spooler's error bits (combinations are no error).
bool isErrorStatus(std::uint32_t status) {
    namespace sp = platform::spooler;
    for (std::uint32_t bit :
         {sp::PRINTER_STATUS_PAUSED, sp::PRINTER_STATUS_ERROR, sp::PRINTER_STATUS_PENDING_DELETION,
          sp::PRINTER_STATUS_PAPER_JAM, sp::PRINTER_STATUS_PAPER_OUT,
          sp::PRINTER_STATUS_MANUAL_FEED, sp::PRINTER_STATUS_PAPER_PROBLEM,
          sp::PRINTER_STATUS_OFFLINE, sp::PRINTER_STATUS_BUSY, sp::PRINTER_STATUS_PRINTING,
          sp::PRINTER_STATUS_OUTPUT_BIN_FULL, sp::PRINTER_STATUS_NOT_AVAILABLE,
          sp::PRINTER_STATUS_NO_TONER, sp::PRINTER_STATUS_DOOR_OPEN,
          sp::PRINTER_STATUS_SERVER_UNKNOWN})
        if (status == bit) return true;
    return false;
}

// Why a virtual printer is refused, in the status text and in the refusal box alike.
std::u16string virtualText(const std::u16string& device, const std::u16string& company,
                           const std::u16string& product) {
    const std::u16string br(kCrLf);
    return S(2063) + br + br + S(2064) + u" " + device + br + S(2065) + u" " + company + br +
           S(2066) + u" " + product;
}

// Why a PostScript printer is refused.
std::u16string postscriptText(const std::u16string& company, const std::u16string& driver) {
    const std::u16string br(kCrLf);
    return S(2068) + br + br + S(2065) + u" " + company + br + S(2069) + u" " + driver;
}

// Runs a probe of the dialog; a probe that fails answers no.
bool probe(std::u16string_view where,
           const std::function<bool(std::u16string_view, std::u16string&, std::u16string&)>& f,
           std::u16string_view printer, std::u16string& first, std::u16string& second) {
    bool yes = false;
    guarded(where, [&] { yes = f && f(printer, first, second); });
    return yes;
}

}  // namespace

// Marks a step as running for its whole life, whichever way it ends.
class SelectPrinterController::Busy {
  public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }

  private:
    bool& flag_;
};

std::function<void(bool on)> hostKeepOnTop() {
    namespace com = platform::com;
    std::shared_ptr<com::Dispatch> control;
    std::u16string why;
    try {
        control = com::createObject(kKeepOnTopProgId);
    } catch (const com::ComError& e) {
        why = e.description().empty() ? com::describe(e.hr()) : e.description();
    } catch (const std::exception& e) {
        why = txt::fromUtf8(e.what());
    }
    if (!control) {
        WriteLog(u"맨 위 고정 컨트롤(" + std::u16string(kKeepOnTopProgId) +
                     u")을 만들 수 없어 고정 없이 엽니다: " + why,
                 2);
        return [](bool) {};
    }
    return [control](bool on) {
        // The control reports nothing; a failing call changes nothing.
        try {
            com::call(*control, on ? u"setOn" : u"setOff");
        } catch (const std::exception&) {
        }
    };
}

DialogProbes DialogProbes::machine() {
    DialogProbes p;
    p.admission = AdmissionProbes::machine();
    p.virtualDriver = [](std::u16string_view printer, std::u16string& company,
                         std::u16string& product) {
        return IsVirtualPrinterDriver(printer, company, product);
    };
    p.postscript = [](std::u16string_view printer, std::u16string& company,
                      std::u16string& driver) {
        return IsPostscriptPrinter(printer, company, driver);
    };
    p.queuedJobs = [](std::u16string_view printer) {
        printers::CPrinterInfo info;
        info.setDeviceName(printer);
        return info.Jobs().Count();
    };
    p.runtimePrinter = [] {
        auto found = platform::spooler::getDefaultPrinter();
        return found ? *found : std::u16string();
    };
    return p;
}

DialogSnapshot DialogSnapshot::current() {
    const ModuleState& m = moduleState();
    return {m.print, m.lists.PrinterNameList, m.lists.VirtualPrinterList};
}

SelectPrinterController::SelectPrinterController(SelectPrinterView& view, DialogServices services,
                                                 DialogProbes probes, std::u16string& handBack)
    : view_(view),
      services_(std::move(services)),
      probes_(std::move(probes)),
      handBack_(handBack) {}

SelectPrinterController::~SelectPrinterController() = default;

double SelectPrinterController::seconds() const {
    if (services_.seconds) return services_.seconds();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- helpers ----

void SelectPrinterController::enable(Control control, bool on) {
    if (control == Control::cmdPrint) printEnabled_ = on;
    view_.setEnabled(control, on);
}

void SelectPrinterController::topmost(bool on) {
    if (services_.topmost) services_.topmost(on);
}

int SelectPrinterController::box(const std::u16string& text, const std::u16string& title,
                                 unsigned style) {
    if (services_.boxes) return services_.boxes->show(text, title, style);
    return ui::messageBox(text, title, style);
}

void SelectPrinterController::setStatus(const std::u16string& text) {
    status_ = text;
    view_.setText(Control::txtStatus, text);
}

void SelectPrinterController::setStatusColour(std::uint32_t colour) {
    view_.setColour(Control::txtStatus, colour);
}

void SelectPrinterController::setKind(const std::optional<std::u16string>& caption,
                                      std::uint32_t colour) {
    kindColour_ = colour;
    view_.setColour(Control::lblKind, colour);
    if (caption) view_.setText(Control::lblKind, *caption);
}

void SelectPrinterController::setVerdict(int stringId) {
    admitted_ = stringId == 3026;
    view_.setText(Control::Frame2, S(2185) + u" - " + S(stringId));
}

// ---- loading and activation ----

void SelectPrinterController::load(DialogSnapshot snapshot) {
    snap_ = std::move(snapshot);
    activatedOnce_ = true;
    mayClose_ = false;
    closed_ = false;
    autoPrintDone_ = false;
    // A name left from an earlier showing must never come back from this one.
    handBack_.clear();
    WriteLog(u"프린터 선택 창 Form Load", 2);

    view_.setText(Control::Form, S(2181));
    const std::pair<Control, int> captions[] = {
        {Control::lblLabel1, 2184},       {Control::lblLabel3, 4003},
        {Control::lblLabel4, 4004},       {Control::lblLabel5, 4005},
        {Control::lblLabel7, 4006},       {Control::lblDriver, 4007},
        {Control::lblLabel6, 4008},       {Control::lblLabel8, 4009},
        {Control::lblLabel10, 4010},      {Control::lblLabel9, 4011},
        {Control::Label2, 4012},          {Control::lblDPI, 4013},
        {Control::prnSetup, 10263},       {Control::lblLabel2, 11314},
        {Control::lblBiDirection, 10264}, {Control::lblAdvancedFeatures, 10265},
        {Control::cmdCancel, 2001},       {Control::cmdRefresh, 2003},
        {Control::cmdTest, 3029},         {Control::Frame1, 4014},
        {Control::Frame2, 2185}};
    // A caption whose text is missing keeps the form's own.
    for (const auto& [control, id] : captions)
        if (auto s = findString(id)) view_.setText(control, *s);

    WriteLog(u"프린터 목록 구성", 3);
    for (const auto& name : snap_.printerNames) WriteLog(name, 4);
    view_.setPrinters(snap_.printerNames);
    WriteLog(u"프린터 목록 구성 완료", 3);
    current_.clear();
    tables_ = std::make_unique<PravoPrinter>(snap_.settings, snap_.virtualPrinters);
    activatedOnce_ = false;
    topmost(true);
    view_.yield();
}

void SelectPrinterController::activate() {
    // The printers are read from one listing of the spooler for the whole step.
    platform::spooler::ListingScope listing;
    if (activatedOnce_ || closed_) return;
    WriteLog(u"프린터 선택 창 Form Activate", 2);
    topmost(true);
    activatedOnce_ = true;
    WriteLog(u"기본 프린터 설정", 3);
    const std::u16string name = findDefaultPrinter();
    if (!name.empty() && view_.selectPrinter(name)) selectionStep();
    if (closed_) return;
    view_.focus(Control::cmdPrint);
    timerOn_ = true;
    view_.startTimer();
    WriteLog(u"프린터 선택 창 Form Activate 완료", 2);
}

std::u16string SelectPrinterController::findDefaultPrinter() {
    WriteLog(u"기본 프린터 구하기", 4);
    std::u16string result;
    bool found = false;
    for (const auto& name : snap_.printerNames) {
        guarded(u"FindDefaultPrinter", [&] {
            printers::CPrinterInfo info;
            info.setDeviceName(name);
            if (info.IsDefault()) {
                result = info.DeviceName();
                found = true;
            }
        });
        if (found) {
            WriteLog(u"기본 프린터 - " + result, 5);
            break;
        }
    }
    if (!found && probes_.runtimePrinter) result = probes_.runtimePrinter();
    WriteLog(u"기본 프린터 구하기 완료 - " + result, 4);
    return result;
}

// ---- the selection step ----

void SelectPrinterController::selectionChanged() {
    selectionStep();
}

void SelectPrinterController::selectionStep() {
    // The printers are read from one listing of the spooler for the whole step.
    platform::spooler::ListingScope listing;
    if (busy_ || closed_) return;
    const std::u16string chosen = view_.comboText();
    if (txt::equalsNoCase(chosen, current_)) return;
    Busy busy(busy_);
    // Whichever way the step ends, Cancel and Refresh come back and the pointer is restored.
    struct Exits {
        SelectPrinterController& c;
        ~Exits() {
            c.enable(Control::cmdCancel, true);
            c.enable(Control::cmdRefresh, true);
            c.enable(Control::cboPrinters, true);
            c.view_.setWaitCursor(false);
        }
    } exits{*this};

    lockForSelection();
    const double started = announceSelection(chosen);

    getSelectedPrinterInfo();
    view_.yield();
    enable(Control::cboPrinters, true);
    const PrintSettings& s = snap_.settings;
    WriteLog(u"GetSelectedPrinterInfo isOk : " + boolText(isOk_) + u",m_Intranet:" +
                 boolText(s.UseIntranet) + u",Changable:" + boolText(changable_) + u",isKeep:False",
             1);

    if (!showVerdict()) return;
    if (printEnabled_ && kindColour_ == kColourRed) {
        setKind(S(2011) + u"(User defined)", kColourBlue);
        setStatus(S(3037) + std::u16string(kCrLf) + u"(" + status_ + u")");
    }
    elapsed_ = float(seconds() - started);
    view_.setWaitCursor(true);

    if (refuseCapturingPrinter()) return;
    view_.focus(Control::cboPrinters);
    WriteLog(
        current_ + u" 설정 정보 구하기 완료(F)(" + txt::formatNumber(double(elapsed_)) + u"초)", 1);
}

// While the step runs: no kind, every button and the list disabled, the form on top and the
// wait pointer shown.
void SelectPrinterController::lockForSelection() {
    setKind(u"", kColourBlack);
    for (Control c : {Control::cmdTest, Control::cmdPrint, Control::prnSetup, Control::cmdCancel,
                      Control::cmdRefresh})
        enable(c, false);
    admitted_ = false;
    topmost(true);
    view_.setWaitCursor(true);
    enable(Control::cboPrinters, false);
}

// Takes the chosen printer as the current one and tells the user it is being read; the time
// the reading started.
double SelectPrinterController::announceSelection(const std::u16string& chosen) {
    current_ = chosen;
    WriteLog(current_ + u" 설정 정보 구하기(F)", 1);
    setStatusColour(kColourBlue);
    setStatus(S(3021) + std::u16string(kCrLf) + std::u16string(kCrLf) + S(3022));
    view_.yield();
    const double started = seconds();
    for (const char16_t* line :
         {u"스풀러 새로 고침", u"스풀러 새로 고침 완료", u"인쇄된 문서 보관하기 초기화",
          u"인쇄된 문서 보관하기 초기화 완료"})
        WriteLog(line, 4);
    return started;
}

// The verdict on the buttons and the status: the first matching row sets the buttons. False
// when the step ends here (a refused printer outside the intranet).
bool SelectPrinterController::showVerdict() {
    const PrintSettings& s = snap_.settings;
    bool print = false, setup = false, test = false;
    int verdict = 3024;
    if (!isOk_) {
        print = s.EmulateLocal;
    } else if (s.UseIntranet || changable_) {
        print = setup = true;
        test = s.TestEnable;
        verdict = 3026;
    } else {
        print = s.EmulateLocal;
        setStatus(S(3023));
    }
    enable(Control::cmdPrint, print);
    enable(Control::prnSetup, setup);
    enable(Control::cmdTest, test);
    setVerdict(verdict);

    if (!isOk_) {
        if (print) setStatus(status_ + std::u16string(kCrLf) + u"(로컬사용자모드)");
        if (!s.UseIntranet) return false;
    }
    return true;
}

// A virtual printer, or a PostScript one where they are not allowed: the status says why and
// the verdict refuses it. True when it was refused.
bool SelectPrinterController::refuseCapturingPrinter() {
    const PrintSettings& s = snap_.settings;
    std::u16string company, product;
    if (probe(u"cboPrinters_Click", probes_.virtualDriver, current_, company, product)) {
        setStatus(virtualText(current_, company, product));
        setVerdict(3024);
        return true;
    }
    if (!s.UseIntranet && !s.UsePostscriptPrinter) {
        std::u16string psCompany, driver;
        if (probe(u"cboPrinters_Click", probes_.postscript, current_, psCompany, driver)) {
            setStatus(postscriptText(psCompany, driver));
            setVerdict(3024);
            return true;
        }
    }
    return false;
}

void SelectPrinterController::getSelectedPrinterInfo() {
    const PrintSettings& s = snap_.settings;
    const std::u16string_view where = u"GetSelectedPrinterInfo";
    WriteLog(u"프린터 설정 정보 구하기(F):" + current_, 4);
    isOk_ = false;
    changable_ = false;
    isVirtual_ = false;
    queued_ = 0;
    printers::CPrinterInfo info;
    guarded(where, [&] { info.setDeviceName(current_); });
    guarded(where, [&] { changable_ = s.AccessAll || info.CanAdminister(); });
    admission_.AdmissionPrinterName = current_;

    showPrinterFeatures(info);
    const std::u16string driverName = info.DriverName();
    const std::u16string portName = info.PortName();
    runPolicy(info);
    WriteLog(u"GetSelectedPrinterInfo GetPrintable(F) :" + boolText(isOk_) +
                 u",PrinterErrorCheck:" + boolText(s.PrinterErrorCheck),
             5);

    std::u16string statusText = checkPrinterStatus(info);
    WriteLog(u"프린터 설정 정보 구하기isOK:" + boolText(isOk_), 5);
    applyDenyLists(driverName, portName, statusText);

    setStatus(statusText);
    WriteLog(u"프린터 설정 정보 구하기 완료(F) isOK:" + boolText(isOk_), 4);
}

// Whether the printer talks back and whether it prints raw data only, on the panel.
void SelectPrinterController::showPrinterFeatures(printers::CPrinterInfo& info) {
    guarded(u"GetSelectedPrinterInfo", [&] {
        const bool bidirectional =
            (info.Attributes() & platform::spooler::PRINTER_ATTRIBUTE_ENABLE_BIDI) != 0;
        view_.setText(Control::lblBiDirectionV,
                      bidirectional ? S(3044) : S(3043) + u" " + S(10266));
        const bool rawOnly =
            (info.Attributes() & platform::spooler::PRINTER_ATTRIBUTE_RAW_ONLY) != 0;
        view_.setText(Control::lblAdvancedFeaturesV, rawOnly ? S(3044) : S(3043));
    });
}

// The admissibility policy's verdict (isOk_) and findings, and the panel as the policy filled
// it.
void SelectPrinterController::runPolicy(printers::CPrinterInfo& info) {
    guarded(u"GetSelectedPrinterInfo", [&] {
        PrintableFindings found;
        PrintablePolicy policy(snap_.settings, *tables_, probes_.admission);
        isOk_ = policy.GetPrintable(info, admission_, current_, found);
        isVirtual_ = found.isVirtual;
        queued_ = found.QueuedJobCount;
        const PrinterPanel& p = found.panel;
        view_.setText(Control::lblJob, p.lblJob);
        view_.setColour(Control::lblJob, p.lblJobColour);
        view_.setText(Control::lblPortName, p.lblPortName);
        view_.setText(Control::lblDriverName, p.lblDriverName);
        view_.setText(Control::lblDPIVal, p.lblDPIVal);
        view_.setText(Control::lblMonitor, p.lblMonitor);
        view_.setText(Control::lblPortType, p.lblPortType);
        view_.setText(Control::lblDescription, p.lblDescription);
        if (p.lblKindColour) setKind(std::nullopt, *p.lblKindColour);
    });
}

// The status text and its colour: the kind's information, or, when the printer is admitted and
// its errors are checked, why its state refuses it (an error state, or low toner the user
// chose not to print with). An error refuses the printer (isOk_).
std::u16string SelectPrinterController::checkPrinterStatus(printers::CPrinterInfo& info) {
    const PrintSettings& s = snap_.settings;
    const std::u16string_view where = u"GetSelectedPrinterInfo";
    std::u16string statusText;
    auto jobCount = [&] {
        std::int32_t n = 0;
        guarded(where, [&] { n = info.Jobs().Count(); });
        return n;
    };
    if (!isOk_ || !s.PrinterErrorCheck) {
        setStatusColour(kColourRed);
        statusText = fillKindInfo(jobCount());
    } else {
        std::uint32_t status = 0;
        guarded(where, [&] { status = info.Status(); });
        WriteLog(u"inf.Status :" + number(status), 5);
        if (isErrorStatus(status)) {
            isOk_ = false;
            fillKindInfo(jobCount());
            std::u16string why;
            guarded(where, [&] { why = info.StatusText(); });
            statusText = txt::Replace(S(10286), u"$1", why);
            setStatusColour(kColourRed);
        } else {
            statusText = fillKindInfo(jobCount());
            setStatusColour(kColourBlack);
            if (!s.TownerLowEnable && status == platform::spooler::PRINTER_STATUS_TONER_LOW) {
                topmost(false);
                const int answer = box(
                    S(10283) + std::u16string(kCrLf) + S(10284) + std::u16string(kCrLf) + S(10285),
                    u"Towner Low", ui::vbYesNo | ui::vbQuestion);
                if (answer == ui::vbNo) {
                    statusText = txt::Replace(S(10286), u"$1", S(4020));
                    setStatusColour(kColourRed);
                    isOk_ = false;
                }
                topmost(true);
            }
        }
    }
    return statusText;
}

// The administrator's deny lists, by equality without regard to case: a driver or port they
// name refuses the printer (isOk_) with its message as the status text.
void SelectPrinterController::applyDenyLists(const std::u16string& driverName,
                                             const std::u16string& portName,
                                             std::u16string& statusText) {
    const PrintSettings& s = snap_.settings;
    auto denied = [&](const char16_t* countLabel, const std::vector<std::u16string>& list,
                      const std::u16string& name, const char16_t* hitLabel,
                      const char16_t* message) {
        WriteLog(countLabel + number(std::int64_t(list.size()) - 1), 5);
        for (const auto& entry : list) {
            if (txt::equalsNoCase(entry, name)) {
                WriteLog(hitLabel + name + u"," + entry, 0);
                statusText = message;
                isOk_ = false;
                return;
            }
        }
    };
    if (isOk_)
        denied(u"DenyPrinterDriver Count:", s.DenyDriverList, driverName,
               u"강제적으로 인쇄 제외 목록 해당[DriverName]:",
               u"관리자에 의하여 인쇄가 제한되어 있는 프린터입니다.");
    if (isOk_)
        denied(u"DenyPrinterPort Count:", s.DenyPortList, portName,
               u"강제적으로 인쇄 제외 목록 해당[PrinterPort]:",
               u"관리자에 의하여 인쇄가 제한되어 있는 프린터 포트입니다.");
}

std::u16string SelectPrinterController::fillKindInfo(std::int32_t jobCount) {
    const PrintSettings& s = snap_.settings;
    const bool queued = jobCount != 0;
    const std::u16string breaks = std::u16string(kCrLf) + std::u16string(kCrLf);
    std::u16string text;
    // Kinds 1 to 3 end alike: a virtual printer is still refused.
    auto endOfAvailable = [&] {
        if (!isVirtual_) {
            view_.setText(Control::lblKind, S(3026));
        } else {
            setKind(S(3024), kColourRed);
            text = S(2095);
        }
    };
    auto networkLike = [&](bool allowed, int queuedId) {
        if (allowed) {
            setKind(std::nullopt, kColourBlack);
            text = S(2094) + breaks + S(10287);
            if (queued) text += S(queuedId);
            view_.setColour(Control::lblJob, queued ? kColourRed : kColourBlack);
        } else {
            setKind(std::nullopt, kColourRed);
            text = S(2095);
        }
        endOfAvailable();
    };
    switch (admission_.PrinterKind) {
        case 0:
            setKind(S(3024), kColourRed);
            text = S(2095);
            break;
        case 1:
            networkLike(s.UseNetworkPrinter, 2098);
            break;
        case 2:
            networkLike(s.UseTcpIpPrinter, 2101);
            break;
        case 3:
            setKind(std::nullopt, kColourBlack);
            text = S(2102) + breaks + S(10287);
            if (queued) {
                text += S(2103);
                view_.setColour(Control::lblJob, kColourRed);
            }
            endOfAvailable();
            break;
        case 4:
            setKind(S(3074), kColourRed);
            text = S(2104);
            break;
        case 5:
            setKind(std::nullopt, kColourRed);
            text = s.UseNetworkPrinter && s.AccessAll ? S(2094) + breaks + S(10287) : S(2095);
            view_.setText(Control::lblKind, S(3038));
            view_.setColour(Control::lblChangable, kColourRed);
            view_.setText(Control::lblChangable, S(3039));
            break;
        default:
            break;
    }
    return text;
}

// ---- the way out ----

void SelectPrinterController::printClicked() {
    if (!printEnabled_) return;
    printRoad();
}

void SelectPrinterController::restoreButtons() {
    enable(Control::cmdPrint, true);
    enable(Control::prnSetup, true);
    enable(Control::cmdTest, snap_.settings.TestEnable);
}

void SelectPrinterController::printRoad() {
    // The printers are read from one listing of the spooler for the whole step.
    platform::spooler::ListingScope listing;
    if (busy_ || closed_) return;
    Busy busy(busy_);
    const PrintSettings& s = snap_.settings;
    enable(Control::cmdPrint, false);
    enable(Control::prnSetup, false);
    enable(Control::cmdTest, false);
    mayClose_ = true;
    WriteLog(u"출력 버튼 클릭", 3);
    WriteLog(u"가상 프린터 체크 시작", 4);
    const unsigned refusal = ui::vbOKOnly | ui::vbExclamation;
    const std::u16string br(kCrLf);

    std::u16string company, product;
    if (probe(u"cmdPrint_Click", probes_.virtualDriver, current_, company, product)) {
        box(virtualText(current_, company, product), S(2067) + current_, refusal);
        restoreButtons();
        return;
    }
    WriteLog(u"가상 프린터 체크 완료", 4);

    const std::u16string settingsText = S(2071) + br + S(2072) + br + br + S(2073);
    if (!s.UseIntranet) {
        std::u16string psCompany, driver;
        if (!s.UsePostscriptPrinter &&
            probe(u"cmdPrint_Click", probes_.postscript, current_, psCompany, driver)) {
            box(postscriptText(psCompany, driver), S(2070) + current_, refusal);
            restoreButtons();
            return;
        }
        if (!s.UseSpooler && !changable_) {
            box(settingsText, S(2074), refusal);
            restoreButtons();
            return;
        }
    }

    handBack_.clear();
    // Wait for the queue to empty, reading it again after every wait.
    int waits = 0;
    while (queued_ != 0 && !s.UseSpooler) {
        ++waits;
        if (services_.sleep)
            services_.sleep(500);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        guarded(u"cmdPrint_Click", [&] { queued_ = std::int16_t(probes_.queuedJobs(current_)); });
        if (queued_ == 0) break;
        if (waits > 2) {
            box(S(2077) + br + S(2078), S(2079), refusal);
            restoreButtons();
            return;
        }
    }

    if (s.UseIntranet || s.AccessAll || changable_) {
        handBack_ = current_;
        WriteLog(u"출력 버튼 클릭 완료", 3);
        unload();
        view_.yield();
        return;
    }
    box(settingsText, S(2074), refusal);
    restoreButtons();
}

void SelectPrinterController::cancelClicked() {
    if (busy_ || closed_) return;
    handBack_.clear();
    mayClose_ = true;
    unload();
    view_.yield();
}

void SelectPrinterController::refreshClicked() {
    if (busy_ || closed_) return;
    current_.clear();
    selectionStep();
}

void SelectPrinterController::setupClicked() {
    if (busy_ || closed_) return;
    topmost(false);
    view_.stopTimer();
    topmost(true);
    if (timerOn_ && !autoPrintDone_) view_.startTimer();
    selectionStep();
    view_.yield();
}

void SelectPrinterController::keyDown(int keyCode) {
    if (keyCode == platform::window::VK_ESCAPE) cancelClicked();
}

void SelectPrinterController::timerTick() {
    if (busy_ || closed_ || autoPrintDone_) return;
    if (!txt::equalsNoCase(snap_.settings.RunType, kAutoPrintRunType)) {
        // Nothing else can ever happen on a tick: the settings do not change while shown.
        timerOn_ = false;
        view_.stopTimer();
        return;
    }
    // The automatic print waits for a printer whose verdict admits it, and runs once.
    if (!admitted_ || !printEnabled_) return;
    autoPrintDone_ = true;
    timerOn_ = false;
    view_.stopTimer();
    WriteLog(u"[던미어 - 바로 인쇄]", 0);
    printRoad();
}

bool SelectPrinterController::closeRequested() {
    if (closed_) return true;
    if (busy_ || !mayClose_) return false;
    // Closing the window is a cancel: nothing it did not check goes back to the viewer.
    handBack_.clear();
    unload();
    return true;
}

void SelectPrinterController::unload() {
    if (closed_) return;
    closed_ = true;
    timerOn_ = false;
    view_.stopTimer();
    topmost(false);
    tables_.reset();
    view_.dismiss();
}

}  // namespace vistrel::dialog

#include "viewer/selection/policy.h"

#include <exception>

#include "platform/spooler/winspool.h"
#include "platform/text/codepage.h"
#include "platform/text/strings.h"
#include "strings/strings.h"
#include "viewer/log/log.h"
#include "viewer/selection/drivers.h"
#include "viewer/selection/enumeration.h"
#include "viewer/selection/ports.h"

namespace vistrel {

namespace txt = platform::text;

namespace {

std::u16string number(std::int64_t n) {
    return txt::fromUtf8(std::to_string(n));
}

// One step of the run: a step that fails leaves what it would have set unchanged, and the run
// goes on.
template <class F>
void step(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        WriteLog(u"GetPrintable 단계 오류 - " + txt::fromUtf8(e.what()), 5);
    }
}

std::u16string orUnknown(const std::u16string& field) {
    if (!field.empty()) return field;
    try {
        return loadString(3050);
    } catch (const std::exception&) {
        return field;
    }
}

}  // namespace

AdmissionProbes AdmissionProbes::machine() {
    AdmissionProbes p;
    p.findPort = [](std::u16string_view port) { return FindPort(port); };
    p.realPort = [](std::u16string& port) { return GetRealPort(port); };
    p.filePrinter = [](std::u16string_view driver, std::u16string_view port) {
        return IsFilePrinter(driver, port);
    };
    p.virtualPrinterDriver = [](std::u16string_view printer) {
        std::u16string company, product;
        return IsVirtualPrinterDriver(printer, company, product);
    };
    p.postscriptPrinter = [](std::u16string_view printer) {
        std::u16string company, description;
        return IsPostscriptPrinter(printer, company, description);
    };
    p.printerDpi = [](std::u16string_view device) { return GetPrinterDpi(device); };
    return p;
}

namespace {

// One run of the policy over one printer: the printer, what the run writes back, and the
// values the stages hand on to each other. Each stage is a group of steps in the order the
// step log shows them.
class PrintableRun {
  public:
    PrintableRun(const PrintSettings& settings, const PravoPrinter& tables,
                 const AdmissionProbes& probes, printers::CPrinterInfo& printer,
                 AdmissionRecord& admission, std::u16string_view currentPrinterName,
                 PrintableFindings& found)
        : s(settings),
          tables(tables),
          probes(probes),
          printer(printer),
          admission(admission),
          currentPrinterName(currentPrinterName),
          found(found),
          panel(found.panel) {}

    void readPrinter();
    void readPort();
    void checkTcpIp();
    void checkRedirected();
    void checkVirtual();
    void checkBlockPort();
    void checkPostscript();
    void decide();
    void applyExceptions();
    bool finish();

  private:
    const PrintSettings& s;
    const PravoPrinter& tables;
    const AdmissionProbes& probes;
    printers::CPrinterInfo& printer;
    AdmissionRecord& admission;
    std::u16string_view currentPrinterName;
    PrintableFindings& found;
    PrinterPanel& panel;

    bool isPrintable = false, isRedirected = false, isBlockPort = false, isPostscript = false;
    std::u16string drvName, portName;
    PortRecord mPort;
};

// The start line, the driver name the driver tests use, the job count, the kind from where
// the printer is, its port, driver and resolution on the panel.
void PrintableRun::readPrinter() {
    step([&] {
        WriteLog(u"선택된 프린터 검사 GetPrintable 함수(F) - 시작 DriverName=" +
                     printer.DriverName() + u",DeviceName=" + printer.DeviceName() +
                     u",DisplayName=" + printer.DisplayName(),
                 3);
    });
    step([&] {
        drvName = printer.DriverName();
        if (drvName.empty()) drvName = printer.DeviceName();
    });
    step([&] {
        found.QueuedJobCount = std::int16_t(printer.Jobs().Count());
        if (found.QueuedJobCount != 0) {
            panel.lblJobColour = kColourRed;
            panel.lblJob = number(found.QueuedJobCount) + u" " + loadString(3040);
        } else {
            panel.lblJobColour = kColourBlack;
            panel.lblJob = loadString(3041);
        }
    });
    step([&] {
        if (printer.IsLocal())
            admission.PrinterKind = 3;
        else if (printer.IsNetwork())
            admission.PrinterKind = 1;
        else if (printer.IsToFile())
            admission.PrinterKind = 0;
    });
    step([&] {
        portName = printer.PortName();
        panel.lblPortName = portName;
        panel.lblDriverName = printer.DriverName();
    });
    step([&] {
        found.PrinterDpi = probes.printerDpi(printer.DeviceName());
        panel.lblDPIVal = number(found.PrinterDpi) + u" DPI";
    });
}

// The port's record from the port table, and its monitor, type and description on the panel.
void PrintableRun::readPort() {
    step([&] {
        portName = txt::LCase(portName);
        mPort = probes.findPort(portName);
        WriteLog(u"dp=" + portName + u",mPort.pPortName=" + mPort.pPortName, 4);
    });
    step([&] {
        panel.lblMonitor = orUnknown(mPort.pMonitorName);
        panel.lblPortType = orUnknown(mPort.PortTypeText);
        panel.lblDescription = orUnknown(mPort.pDescription);
    });
}

// Stage 1: a TCP/IP printer, by the admitted monitors, then by the words its monitor or port
// description carry.
void PrintableRun::checkTcpIp() {
    step([&] {
        WriteLog(u"1단계 TCP/IP 지원 프린터 검사 - 시작", 4);
        WriteLog(u"프린터 모니터 검사 - pMonitorName:" + mPort.pMonitorName + u",pDescription:" +
                     mPort.pDescription,
                 5);
        if (tables.CheckMonitor(mPort.pMonitorName)) {
            found.isTcpIP = true;
            WriteLog(u"(1차)TCP/IP 실제 프린터", 6);
            admission.PrinterKind = 2;
        }
        WriteLog(u"프린터 모니터 검사 완료, isTcpIP:" + boolText(found.isTcpIP), 5);
    });
    step([&] {
        auto has = [](const std::u16string& text, std::u16string_view word) {
            return txt::InStr(text, word, true) > 0;
        };
        if (!found.isTcpIP && (has(mPort.pMonitorName, u"tcpmon.dll") ||
                               has(mPort.pMonitorName, u"network printer") ||
                               has(mPort.pDescription, u"tcp/ip port") ||
                               has(mPort.pDescription, u"네트워크 프린터") ||
                               has(mPort.pDescription, u"AXIS Port"))) {
            found.isTcpIP = true;
            WriteLog(u"(2차)TCP/IP 지원 프린터", 5);
        }
        WriteLog(u"TCP/IP 지원 프린터 검사 - 완료, isTcpIP:" + boolText(found.isTcpIP), 4);
    });
}

// Stage 2: a redirected port, by the command probe, then (unless redirection is internal) by
// the port's type bit or monitor name.
void PrintableRun::checkRedirected() {
    step([&] {
        WriteLog(u"2단계 포트 리다이렉트 검사 - 시작", 4);
        if (txt::equalsNoCase(probes.realPort(portName), u"redirected")) {
            WriteLog(u"리다이렉트된 포트 사용", 4);
            isRedirected = true;
            admission.PrinterKind = 4;
        }
    });
    step([&] {
        if (!s.InternalRedirect && !isRedirected &&
            ((mPort.fPortType & platform::spooler::PORT_TYPE_REDIRECTED) != 0 ||
             txt::InStr(txt::LCase(mPort.pMonitorName), u"redirected") > 0)) {
            WriteLog(u"리다이렉트된 포트 사용", 4);
            isRedirected = true;
            admission.PrinterKind = 4;
        }
        WriteLog(u"포트 리다이렉트 검사 - 완료,isRedirected:" + boolText(isRedirected), 4);
    });
}

// Stage 3: a virtual printer, by the driver tables, the file heuristics, then the
// virtual-printer list.
void PrintableRun::checkVirtual() {
    step([&] {
        WriteLog(u"3단계 가상 프린터 검사 - 시작", 4);
        found.isVirtual = tables.CheckVirtualDriver(drvName);
    });
    step([&] {
        if (found.isVirtual) return;
        found.isVirtual = probes.filePrinter(drvName, portName);
        WriteLog(u"(1)파일 프린터 여부 검사 완료 isVirtual:" + boolText(found.isVirtual), 4);
        // A TCP/IP printer is never judged virtual by the file heuristics.
        if (found.isVirtual && found.isTcpIP) {
            found.isVirtual = false;
            WriteLog(u" isVirtual And isTcpIP, isVirtual:" + boolText(found.isVirtual), 5);
        }
    });
    step([&] {
        if (found.isVirtual) return;
        found.isVirtual = probes.virtualPrinterDriver(currentPrinterName);
        WriteLog(u"(2)VirtualPrinterDriver부 검사 완료 isVirtual:" + boolText(found.isVirtual), 4);
    });
    step([&] { WriteLog(u"가상 프린터 검사 - 완료,isVirtual:" + boolText(found.isVirtual), 4); });
}

// Stage 4: a blocked port.
void PrintableRun::checkBlockPort() {
    step([&] {
        WriteLog(u"4단계 BlockPortName 검사 - 시작", 4);
        isBlockPort = tables.CheckBlockPortName(portName);
        if (isBlockPort) admission.PrinterKind = 0;
        WriteLog(u"가상 프린터 검사 - 완료, isBlockPort:" + boolText(isBlockPort), 4);
    });
}

// Stage 5: a PostScript printer.
void PrintableRun::checkPostscript() {
    step([&] {
        WriteLog(u"5단계 PostscriptPrinter 프린터 검사 - 시작", 4);
        isPostscript = probes.postscriptPrinter(currentPrinterName);
        WriteLog(u"가상 프린터 검사 - 완료, isPostscript:" + boolText(isPostscript), 4);
    });
}

// The decision, in this order: every refusal, then the local emulation.
void PrintableRun::decide() {
    step([&] {
        if (found.isVirtual) {
            isPrintable = false;
            if (printer.IsNetwork()) {
                WriteLog(u"공유된 가상 프린터", 5);
                admission.PrinterKind = 1;
            } else {
                WriteLog(u"로컬 가상 프린터", 5);
                admission.PrinterKind = 0;
            }
        } else {
            isPrintable = true;
        }
    });
    if (isPrintable && !s.UseTcpIpPrinter && found.isTcpIP) {
        isPrintable = false;
        WriteLog(u"TCP/IP 프린터", 5);
        admission.PrinterKind = 2;
    }
    if (isBlockPort && isPrintable) isPrintable = false;
    if (isRedirected && isPrintable) isPrintable = false;
    if (isPrintable && !s.UsePostscriptPrinter && isPostscript) {
        isPrintable = false;
        WriteLog(u"PostscriptPrinter 프린터", 5);
    }
    step([&] {
        if (isPrintable && printer.IsNetwork() && !s.UseSpooler && !printer.CanAdminister()) {
            isPrintable = s.AccessAll;
            admission.PrinterKind = 5;
        }
    });
    if (s.EmulateLocal && !isPrintable) isPrintable = true;
}

// The exception lists admit whatever was refused.
void PrintableRun::applyExceptions() {
    step([&] {
        if (isPrintable) return;
        isPrintable = tables.PrinterAvalible(drvName, portName);
        WriteLog(u"ExceptPrinter or ExceptPrinterPort  - isPrintable:" + boolText(isPrintable), 5);
        if (isPrintable) panel.lblKindColour = kColourBlue;
    });
}

// The closing line; the verdict.
bool PrintableRun::finish() {
    step([&] {
        WriteLog(
            u"기본 프린터 출력 GetPrintable 함수(F)  - 완료,isPrintable:" + boolText(isPrintable),
            3);
    });
    return isPrintable;
}

}  // namespace

bool PrintablePolicy::GetPrintable(printers::CPrinterInfo& printer, AdmissionRecord& admission,
                                   std::u16string_view currentPrinterName,
                                   PrintableFindings& found) const {
    found = PrintableFindings{};
    // The kind of the previous printer never carries over.
    admission.PrinterKind = 0;
    PrintableRun run(settings_, tables_, probes_, printer, admission, currentPrinterName, found);
    run.readPrinter();
    run.readPort();
    run.checkTcpIp();
    run.checkRedirected();
    run.checkVirtual();
    run.checkBlockPort();
    run.checkPostscript();
    run.decide();
    run.applyExceptions();
    return run.finish();
}

}  // namespace vistrel

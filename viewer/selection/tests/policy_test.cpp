#include "viewer/selection/policy.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/text/codepage.h"
#include "selection_fixture.h"
#include "step_log.h"
#include "strings/strings.h"
#include "viewer/selection/ports.h"
#include "viewer/selection/vplist.h"

using namespace vistrel;
using selection_test::capturedLog;
using selection_test::captureLog;
using selection_test::DescribedMachine;
using selection_test::kLogHead;

namespace {

// One described printer with its port and whatever else the row needs, the settings, the
// deployment's list, and the verdict the policy must reach.
struct Row {
    const char* name;
    std::string printer;  // the printer's JSON object
    std::string port;     // the port's JSON object, or ""
    std::string extra;    // further top-level entries ("drivers", "versionBlocks", "netUse")
    std::function<void(PrintSettings&)> settings;
    std::vector<VirtualPrinterEntry> list;
    bool admitted;
    int kind;
    bool tcpIp;
    bool isVirtual;
    bool blue = false;
};

void none(PrintSettings&) {}

const std::string kLocalPort = R"({"name": "USB001", "monitor": "USB Monitor", "type": 3})";
const std::string kTcpPort =
    R"({"name": "IP_10.0.0.5", "monitor": "Standard TCP/IP Port",
        "description": "Standard TCP/IP Port", "type": 3})";
const std::string kPostscript = R"("drivers": [{"name": "PS Laser",
    "driverPath": "C:\\drv\\PSCRIPT5.DLL"}], "versionBlocks": {"C:\\drv\\PSCRIPT5.DLL":
    {"translations": [[1033, 1200]], "strings": {"FileDescription": "PostScript Printer Driver",
     "InternalName": "PSCRIPT5.DLL", "ProductVersion": "6.1"}}})";

std::string printer(const std::string& device, const std::string& port, const std::string& driver,
                    const std::string& more = "") {
    return R"({"device": ")" + device + R"(", "port": ")" + port + R"(", "driver": ")" + driver +
           R"(", "attributes": "0x40")" + more + "}";
}

const std::vector<Row>& rows() {
    static const std::vector<Row> r = {
        {"local usb printer",
         printer("HP LaserJet", "USB001", "HP Universal"),
         kLocalPort,
         "",
         none,
         {},
         true,
         3,
         false,
         false},
        {"tcp/ip printer refused",
         printer("Office", "IP_10.0.0.5", "HP Universal"),
         kTcpPort,
         "",
         none,
         {},
         false,
         2,
         true,
         false},
        {"tcp/ip printer allowed",
         printer("Office", "IP_10.0.0.5", "HP Universal"),
         kTcpPort,
         "",
         [](PrintSettings& s) { s.UseTcpIpPrinter = true; },
         {},
         true,
         3,
         true,
         false},
        {"bare address is no file port",
         printer("Office", "10.0.0.5", "HP Universal"),
         R"({"name": "10.0.0.5", "monitor": "Standard TCP/IP Port",
             "description": "Standard TCP/IP Port"})",
         "",
         [](PrintSettings& s) { s.UseTcpIpPrinter = true; },
         {},
         true,
         3,
         true,
         false},
        {"wsd monitor",
         printer("Wsd", "WSD-7f3a", "HP Universal"),
         R"({"name": "WSD-7f3a", "monitor": "WSD Port Monitor"})",
         "",
         [](PrintSettings& s) { s.UseTcpIpPrinter = true; },
         {},
         true,
         2,
         true,
         false},
        {"xps writer",
         printer("XPS", "XPSPort:", "Microsoft XPS Document Writer"),
         R"({"name": "XPSPort:", "monitor": "Local Port"})",
         "",
         none,
         {},
         false,
         0,
         false,
         true},
        {"file port",
         printer("ToFile", "FILE:", "HP Universal"),
         R"({"name": "FILE:", "monitor": "Local Port"})",
         "",
         none,
         {},
         false,
         0,
         false,
         true},
        {"empty driver judged by device name",
         printer("SecuInfra Secumark Print", "USB001", ""),
         kLocalPort,
         "",
         none,
         {},
         false,
         0,
         false,
         true},
        {"port in the network-use listing",
         printer("Shared", "LPT1:", "HP Universal"),
         R"({"name": "LPT1:", "monitor": "Local Port"})",
         R"("netUse": [{"local": "LPT1:", "remote": "\\\\srv\\q"}])",
         none,
         {},
         false,
         4,
         false,
         false},
        {"redirected port bit",
         printer("Redir", "LPT2:", "HP Universal"),
         R"({"name": "LPT2:", "monitor": "Local Port", "type": 5})",
         "",
         none,
         {},
         false,
         4,
         false,
         false},
        {"redirected port bit with internal redirection",
         printer("Redir", "LPT2:", "HP Universal"),
         R"({"name": "LPT2:", "monitor": "Local Port", "type": 5})",
         "",
         [](PrintSettings& s) { s.InternalRedirect = true; },
         {},
         true,
         3,
         false,
         false},
        {"postscript refused",
         printer("PS", "USB001", "PS Laser"),
         kLocalPort,
         kPostscript,
         none,
         {},
         false,
         3,
         false,
         false},
        {"postscript allowed",
         printer("PS", "USB001", "PS Laser"),
         kLocalPort,
         kPostscript,
         [](PrintSettings& s) { s.UsePostscriptPrinter = true; },
         {},
         true,
         3,
         false,
         false},
        {"exempt postscript driver file",
         printer("Sam", "USB001", "Sam PS"),
         kLocalPort,
         R"("drivers": [{"name": "Sam PS", "driverPath": "C:\\drv\\ML2570.DLL"}],
            "versionBlocks": {"C:\\drv\\ML2570.DLL": {"translations": [[1033, 1200]],
            "strings": {"FileDescription": "PostScript Driver", "InternalName": "ML2570.DLL"}}})",
         none,
         {},
         true,
         3,
         false,
         false},
        {"nedip driver",
         printer("Nedip", "USB001", "Nedip Writer"),
         kLocalPort,
         R"("drivers": [{"name": "Nedip Writer", "dataFile": "C:\\drv\\NEDIP.GPD"}])",
         none,
         {},
         false,
         0,
         false,
         true},
        {"shared without rights",
         R"({"device": "\\\\srv\\Laser", "port": "\\\\srv\\Laser",
            "driver": "HP Universal", "attributes": "0x10", "canAdminister": false})",
         "",
         "",
         none,
         {},
         false,
         5,
         false,
         false},
        {"shared without rights, access for all",
         R"({"device": "\\\\srv\\Laser",
            "port": "\\\\srv\\Laser", "driver": "HP Universal", "attributes": "0x10",
            "canAdminister": false})",
         "",
         "",
         [](PrintSettings& s) { s.AccessAll = true; },
         {},
         true,
         5,
         false,
         false},
        {"virtual driver named as exception",
         printer("XPS", "XPSPort:", "Microsoft XPS Document Writer"),
         R"({"name": "XPSPort:", "monitor": "Local Port"})",
         "",
         [](PrintSettings& s) { s.ExceptDriverList = {u"Microsoft XPS Document Writer"}; },
         {},
         true,
         0,
         false,
         true,
         true},
        {"port prefix exception",
         printer("PS", "USB001", "PS Laser"),
         kLocalPort,
         kPostscript,
         [](PrintSettings& s) { s.ExceptPortList = {u"^usb"}; },
         {},
         true,
         3,
         false,
         false,
         true},
        {"local emulation",
         printer("XPS", "XPSPort:", "Microsoft XPS Document Writer"),
         R"({"name": "XPSPort:", "monitor": "Local Port"})",
         "",
         [](PrintSettings& s) { s.EmulateLocal = true; },
         {},
         true,
         0,
         false,
         true},
        {"list names the driver",
         printer("Acme", "USB002", "ACME PDF Writer v2"),
         "",
         "",
         none,
         {{u"ACME PDF Writer", u"ACMEPORT:"}},
         false,
         0,
         false,
         true},
        {"list admits the port",
         printer("Acme", "ACMEPORT:", "ACME Writer"),
         "",
         "",
         none,
         {{u"a,ACME Writer", u"ACMEPORT:"}},
         true,
         0,
         false,
         true,
         true},
        {"serial port",
         printer("Serial", "COM1:", "HP Universal"),
         "",
         "",
         none,
         {},
         false,
         0,
         false,
         true},
        {"network queue",
         R"({"device": "Queue", "port": "\\\\srv\\q", "driver": "HP Universal",
            "attributes": 0})",
         "",
         "",
         none,
         {},
         true,
         1,
         false,
         false},
    };
    return r;
}

using selection_test::Verdict;

// Fills the module's lists from the described machine as the viewer does before the dialog,
// builds the tables and runs the policy on the machine's probes.
Verdict judge(const std::u16string& device) {
    std::u16string server;
    GetAvailableprts(server);
    EXPECT_TRUE(SetVirtualPrinter());
    return selection_test::judgeOnMachine(device);
}

std::u16string deviceOf(const std::string& printerJson) {
    auto machine = platform::system::machineFromJson(R"({"printers": [)" + printerJson + "]}");
    return machine.printers.at(0).deviceName;
}

}  // namespace

TEST(GetPrintable, DescribedMachines) {
    setLanguage(Language::English);
    for (const auto& row : rows()) {
        SCOPED_TRACE(row.name);
        std::string json = R"({"printers": [)" + row.printer + "]";
        if (!row.port.empty()) json += R"(, "ports": [)" + row.port + "]";
        if (!row.extra.empty()) json += ", " + row.extra;
        DescribedMachine machine(json + "}");
        machine.installNetCommand();
        if (!row.list.empty()) {
            ASSERT_TRUE(machine.writeList(row.list));
        }
        row.settings(printSettings());

        Verdict v = judge(deviceOf(row.printer));
        EXPECT_EQ(v.admitted, row.admitted);
        EXPECT_EQ(v.admission.PrinterKind, row.kind);
        EXPECT_EQ(v.found.isTcpIP, row.tcpIp);
        EXPECT_EQ(v.found.isVirtual, row.isVirtual);
        EXPECT_EQ(v.found.panel.lblKindColour.has_value(), row.blue);
    }
    setLanguage(std::nullopt);
}

TEST(GetPrintable, FillsThePanel) {
    setLanguage(Language::English);
    DescribedMachine machine(R"({"printers": [{"device": "HP", "port": "USB001",
        "driver": "HP Universal", "dpi": [600, 300], "jobs": [{"id": 1}, {"id": 2}]},
        {"device": "Bare", "port": "LPT7:", "driver": "HP Universal", "dpi": 300}],
        "ports": [{"name": "usb001", "monitor": "USB Monitor", "description": "Virtual USB",
                   "type": 3}]})");
    Verdict v = judge(u"HP");
    EXPECT_TRUE(v.admitted);
    EXPECT_EQ(v.found.QueuedJobCount, 2);
    EXPECT_EQ(v.found.panel.lblJob, u"2 " + loadString(3040));
    EXPECT_EQ(v.found.panel.lblJobColour, kColourRed);
    EXPECT_EQ(v.found.PrinterDpi, 600);
    EXPECT_EQ(v.found.panel.lblDPIVal, u"600 DPI");
    EXPECT_EQ(v.found.panel.lblPortName, u"USB001");
    EXPECT_EQ(v.found.panel.lblDriverName, u"HP Universal");
    EXPECT_EQ(v.found.panel.lblMonitor, u"USB Monitor");
    EXPECT_EQ(v.found.panel.lblPortType, u"Write Read");
    EXPECT_EQ(v.found.panel.lblDescription, u"Virtual USB");

    // A port the spooler does not list shows "unknown" in its three fields; no jobs show 3041.
    v = judge(u"Bare");
    EXPECT_EQ(v.found.panel.lblJob, loadString(3041));
    EXPECT_EQ(v.found.panel.lblJobColour, kColourBlack);
    EXPECT_EQ(v.found.panel.lblMonitor, loadString(3050));
    EXPECT_EQ(v.found.panel.lblPortType, loadString(3050));
    EXPECT_EQ(v.found.panel.lblDescription, loadString(3050));
    setLanguage(std::nullopt);
}

TEST(GetPrintable, KindStartsAfreshForEveryPrinter) {
    // The second printer is neither local, network nor to a file: it must not inherit the
    // first printer's kind.
    DescribedMachine machine(R"({"printers": [
        {"device": "Local", "port": "USB001", "driver": "HP Universal", "attributes": "0x40"},
        {"device": "Plain", "port": "USB002", "driver": "HP Universal", "attributes": 0}]})");
    PravoPrinter tables;
    PrintablePolicy policy(printSettings(), tables, AdmissionProbes::machine());
    AdmissionRecord admission;
    PrintableFindings found;
    printers::CPrinterInfo local, plain;
    local.setDeviceName(u"Local");
    plain.setDeviceName(u"Plain");
    EXPECT_TRUE(policy.GetPrintable(local, admission, u"Local", found));
    EXPECT_EQ(admission.PrinterKind, 3);
    EXPECT_TRUE(policy.GetPrintable(plain, admission, u"Plain", found));
    EXPECT_EQ(admission.PrinterKind, 0);
}

TEST(GetPrintable, AFailingProbeIsPassedOverWithWhatWasGathered) {
    DescribedMachine machine(R"({"printers": [
        {"device": "HP", "port": "USB001", "driver": "HP Universal"},
        {"device": "XPS", "port": "XPSPort:", "driver": "Microsoft XPS Document Writer"}]})");
    PravoPrinter tables;
    AdmissionProbes probes = AdmissionProbes::machine();
    int calls = 0;
    auto failing = [&calls](auto&&...) -> bool {
        ++calls;
        throw std::runtime_error("probe failed");
    };
    probes.realPort = [&calls](std::u16string&) -> std::u16string {
        ++calls;
        throw std::runtime_error("runner failed");
    };
    probes.postscriptPrinter = failing;
    probes.printerDpi = nullptr;  // a probe that is missing altogether
    PrintablePolicy policy(printSettings(), tables, probes);
    AdmissionRecord admission;
    PrintableFindings found;
    printers::CPrinterInfo hp, xps;
    hp.setDeviceName(u"HP");
    xps.setDeviceName(u"XPS");
    EXPECT_TRUE(policy.GetPrintable(hp, admission, u"HP", found));
    EXPECT_EQ(admission.PrinterKind, 3);
    EXPECT_EQ(found.PrinterDpi, 0);
    EXPECT_EQ(calls, 2);
    // The refusals the failing steps would not have reached still hold.
    EXPECT_FALSE(policy.GetPrintable(xps, admission, u"XPS", found));
    EXPECT_TRUE(found.isVirtual);
}

TEST(GetPrintable, TcpIpMonitorKeepsItsKindButSecondTestDoesNot) {
    // A monitor of the table marks the kind; the second test (a description) only the flag.
    DescribedMachine machine(R"({"printers": [
        {"device": "Axis", "port": "AX1", "driver": "HP Universal", "attributes": 0},
        {"device": "Smart", "port": "SN1", "driver": "HP Universal", "attributes": 0}],
        "ports": [{"name": "AX1", "monitor": "Axis monitor", "description": "AXIS Port 1"},
                  {"name": "SN1", "monitor": "SmartNetMonitor"}]})");
    printSettings().UseTcpIpPrinter = true;
    Verdict axis = judge(u"Axis");
    EXPECT_TRUE(axis.admitted);
    EXPECT_TRUE(axis.found.isTcpIP);
    EXPECT_FALSE(axis.found.isVirtual);  // "ax1" has no ordinary mark, but TCP/IP clears it
    EXPECT_EQ(axis.admission.PrinterKind, 0);
    Verdict smart = judge(u"Smart");
    EXPECT_TRUE(smart.admitted);
    EXPECT_EQ(smart.admission.PrinterKind, 2);
}

TEST(GetPrintable, StepLogLines) {
    DescribedMachine machine(R"({"printers": [
        {"device": "Office", "port": "WSD-7f3a", "driver": "HP Universal", "attributes": "0x40"},
        {"device": "Shared", "port": "\\\\srv\\q", "driver": "HP Universal",
         "attributes": "0x10"}]})");
    PravoPrinter tables;
    // Probes that write nothing themselves, so the log holds the policy's lines and the tables'.
    PortRecord port;
    AdmissionProbes probes;
    probes.findPort = [&port](std::u16string_view) { return port; };
    probes.realPort = [](std::u16string&) { return std::u16string(); };
    bool filePrinter = false, virtualDriver = false;
    probes.filePrinter = [&](std::u16string_view, std::u16string_view) { return filePrinter; };
    probes.virtualPrinterDriver = [&](std::u16string_view) { return virtualDriver; };
    probes.postscriptPrinter = [](std::u16string_view) { return false; };
    probes.printerDpi = [](std::u16string_view) { return std::int16_t(600); };
    PrintablePolicy policy(printSettings(), tables, probes);

    captureLog(machine.path() / "bin");
    auto run = [&](const std::u16string& device) {
        std::error_code ec;
        std::filesystem::remove(logFileName(), ec);
        printers::CPrinterInfo info;
        info.setDeviceName(device);
        AdmissionRecord admission;
        PrintableFindings found;
        EXPECT_FALSE(policy.GetPrintable(info, admission, device, found));
        return capturedLog();
    };
    auto lines = [](std::initializer_list<std::pair<int, std::string>> list) {
        std::string out;
        for (const auto& [level, text] : list)
            out += kLogHead + std::string(std::size_t(2 * (level + 1)), ' ') + text + "\r\n";
        return out;
    };
    // The exception step over the tables without exceptions, which admit neither.
    auto exceptions = [&](const std::string& port) {
        return lines({{2, "PravoPrinter>>  PrinterAvalible - Printer=HP Universal, Port=" + port},
                      {2, "PravoPrinter>>  PortNameArr - Count=4"},
                      {2, "PravoPrinter>>  DriverNameArr - Count=12"},
                      {2,
                       "PravoPrinter>>  PrinterAvalible ................[Ok] port=False, "
                       "pp=False[PrinterAvalible]False"},
                      {5, "ExceptPrinter or ExceptPrinterPort  - isPrintable:False"},
                      {3, "기본 프린터 출력 GetPrintable 함수(F)  - 완료,isPrintable:False"}});
    };

    // A TCP/IP printer on a port the file heuristics take for a file port, refused as TCP/IP.
    port = {u"WSD-7f3a", u"WSD Port Monitor", u"", 3, u"Write Read"};
    filePrinter = true;
    EXPECT_EQ(run(u"Office"),
              lines({{3,
                      "선택된 프린터 검사 GetPrintable 함수(F) - 시작 DriverName=HP "
                      "Universal,DeviceName=Office,DisplayName=Office"},
                     {4, "dp=wsd-7f3a,mPort.pPortName=WSD-7f3a"},
                     {4, "1단계 TCP/IP 지원 프린터 검사 - 시작"},
                     {5, "프린터 모니터 검사 - pMonitorName:WSD Port Monitor,pDescription:"},
                     {2, "PravoPrinter>>  CheckMonitor - WSD Port Monitor"},
                     {2, "PravoPrinter>> Monitorname: WSD Port Monitor True"},
                     {6, "(1차)TCP/IP 실제 프린터"},
                     {5, "프린터 모니터 검사 완료, isTcpIP:True"},
                     {4, "TCP/IP 지원 프린터 검사 - 완료, isTcpIP:True"},
                     {4, "2단계 포트 리다이렉트 검사 - 시작"},
                     {4, "포트 리다이렉트 검사 - 완료,isRedirected:False"},
                     {4, "3단계 가상 프린터 검사 - 시작"},
                     {2, "PravoPrinter>>  CheckVirtualDriver - HP Universal"},
                     {4, "(1)파일 프린터 여부 검사 완료 isVirtual:True"},
                     {5, " isVirtual And isTcpIP, isVirtual:False"},
                     {4, "(2)VirtualPrinterDriver부 검사 완료 isVirtual:False"},
                     {4, "가상 프린터 검사 - 완료,isVirtual:False"},
                     {4, "4단계 BlockPortName 검사 - 시작"},
                     {2, "PravoPrinter>>  CheckBlockPortName - wsd-7f3a"},
                     {4, "가상 프린터 검사 - 완료, isBlockPort:False"},
                     {4, "5단계 PostscriptPrinter 프린터 검사 - 시작"},
                     {4, "가상 프린터 검사 - 완료, isPostscript:False"},
                     {5, "TCP/IP 프린터"}}) +
                  exceptions("wsd-7f3a"));

    // A shared virtual printer behind a redirected port.
    port = {u"\\\\srv\\q", u"Redirected Port", u"", 4, u" Redirected"};
    filePrinter = false;
    virtualDriver = true;
    EXPECT_EQ(run(u"Shared"),
              lines({{3,
                      "선택된 프린터 검사 GetPrintable 함수(F) - 시작 DriverName=HP "
                      "Universal,DeviceName=Shared,DisplayName=Shared"},
                     {4, "dp=\\\\srv\\q,mPort.pPortName=\\\\srv\\q"},
                     {4, "1단계 TCP/IP 지원 프린터 검사 - 시작"},
                     {5, "프린터 모니터 검사 - pMonitorName:Redirected Port,pDescription:"},
                     {2, "PravoPrinter>>  CheckMonitor - Redirected Port"},
                     {5, "프린터 모니터 검사 완료, isTcpIP:False"},
                     {4, "TCP/IP 지원 프린터 검사 - 완료, isTcpIP:False"},
                     {4, "2단계 포트 리다이렉트 검사 - 시작"},
                     {4, "리다이렉트된 포트 사용"},
                     {4, "포트 리다이렉트 검사 - 완료,isRedirected:True"},
                     {4, "3단계 가상 프린터 검사 - 시작"},
                     {2, "PravoPrinter>>  CheckVirtualDriver - HP Universal"},
                     {4, "(1)파일 프린터 여부 검사 완료 isVirtual:False"},
                     {4, "(2)VirtualPrinterDriver부 검사 완료 isVirtual:True"},
                     {4, "가상 프린터 검사 - 완료,isVirtual:True"},
                     {4, "4단계 BlockPortName 검사 - 시작"},
                     {2, "PravoPrinter>>  CheckBlockPortName - \\\\srv\\q"},
                     {4, "가상 프린터 검사 - 완료, isBlockPort:False"},
                     {4, "5단계 PostscriptPrinter 프린터 검사 - 시작"},
                     {4, "가상 프린터 검사 - 완료, isPostscript:False"},
                     {5, "공유된 가상 프린터"}}) +
                  exceptions("\\\\srv\\q"));
    resetLog();
}

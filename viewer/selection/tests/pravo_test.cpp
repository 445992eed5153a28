#include "viewer/selection/pravo.h"

#include <gtest/gtest.h>

#include "platform/text/codepage.h"
#include "selection_fixture.h"
#include "step_log.h"

using namespace vistrel;
using selection_test::capturedLog;
using selection_test::captureLog;
using selection_test::DescribedMachine;
using selection_test::kLogHead;

namespace {
std::string u8(std::u16string_view s) {
    return platform::text::toUtf8(s);
}
}  // namespace

TEST(PravoPrinter, ChecksMatchEitherWayIgnoringCase) {
    DescribedMachine machine;
    PravoPrinter t(PrintSettings{}, {});
    struct Case {
        bool (PravoPrinter::*check)(std::u16string_view) const;
        const char16_t* name;
        bool match;
    } cases[] = {
        {&PravoPrinter::CheckBlockPortName, u"FILE:", true},
        {&PravoPrinter::CheckBlockPortName, u"fi", true},  // a short name within an entry
        {&PravoPrinter::CheckBlockPortName, u"c:\\users\\me\\documents\\*.pdf", true},
        {&PravoPrinter::CheckBlockPortName, u"documents\\a.pdf", false},  // "*" is no wildcard
        {&PravoPrinter::CheckBlockPortName, u"usb001", false},
        {&PravoPrinter::CheckBlockPortName, u"", false},
        {&PravoPrinter::CheckVirtualDriver, u"Microsoft XPS Document Writer v4", true},
        {&PravoPrinter::CheckVirtualDriver, u"secuinfra secumark print", true},
        {&PravoPrinter::CheckVirtualDriver, u"HP Universal", false},
        {&PravoPrinter::CheckMonitor, u"WSD 포트 모니터", true},
        {&PravoPrinter::CheckMonitor, u"canon bjnp port", true},
        {&PravoPrinter::CheckMonitor, u"Standard TCP/IP Port", false},
        {&PravoPrinter::CheckMonitor, u"", false},
    };
    for (const auto& c : cases) EXPECT_EQ((t.*c.check)(c.name), c.match) << u8(c.name);
}

TEST(PravoPrinter, AdmissionByPortOrDriver) {
    DescribedMachine machine;
    PrintSettings s;
    s.ExceptPortList = {u"^usb"};
    PravoPrinter t(s, {});
    struct Case {
        const char16_t *driver, *port;
        bool admitted;
    } cases[] = {
        {u"", u"NUL", false},  // never without a driver name
        {u"Canon iR-ADV", u"lpt1:", false},
        {u"Samsung Universal Print Driver PCL6", u"lpt1:", true},
        {u"HP Universal", u"nul", true},  // the admitted port by equality
        {u"HP Universal", u"nul:", false},
        {u"HP Universal", u"USB001", true},  // the "^" prefix entry
        {u"HP Universal", u"xusb001", false},
        // Kept as the tables always worked: a short driver name that lies within an admitted
        // driver is admitted too.
        {u"Canon", u"lpt1:", true},
        {u"e", u"lpt1:", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(t.PrinterAvalible(c.driver, c.port), c.admitted)
            << u8(c.driver) << " / " << u8(c.port);
}

TEST(PravoPrinter, TablesTakeExceptionsAndAdmittedListEntriesInOrder) {
    DescribedMachine machine;
    PrintSettings s;
    s.ExceptDriverList = {u"Except Driver"};
    s.ExceptPortList = {u"exceptport:"};
    const std::vector<VirtualPrinterRecord> list = {
        {u"a,any", u"any"},              // admits nothing
        {u"acme pdf writer", u"acme:"},  // a printer to refuse, not an admission entry
        {u"a,acme writer", u"any"},
        {u"a,yamaha,x", u"yport:"},  // every "a," goes
        {u"A,any", u"zport:"},
    };
    PravoPrinter t(s, list);
    ASSERT_EQ(t.DriverNameArr().size(), 16u);
    EXPECT_EQ(t.DriverNameArr()[12], u"Samsung Universal Print Driver");
    EXPECT_EQ(t.DriverNameArr()[13], u"Except Driver");
    EXPECT_EQ(t.DriverNameArr()[14], u"acme writer");
    EXPECT_EQ(t.DriverNameArr()[15], u"yamahx");
    EXPECT_EQ(t.PortNameArr(), (std::vector<std::u16string>{u"kpms_port", u"NUL", u"Intercard Port",
                                                            u"OKILPR00", u"EpsonNet Print Port",
                                                            u"yport:", u"zport:", u"exceptport:"}));
    using List = std::vector<std::u16string>;
    EXPECT_EQ(
        t.DriverNameArr(),
        (List{u"Canon PC-D300/FAX-L400/ICD300", u"JPA Print Driver", u"canon imageCLASS",
              u"Canon FAX-L360", u"Chungho CHP-428G", u"Canon MX850 series Printer",
              u"Laser Multifunction", u"EPSON TX600FW Series", u"EPSON AL-C4200 Advanced",
              u"Brother FAX-2820 USB Printer", u"OKI C5400n V2(PCL)", u"imageCLASS MF8050Cn",
              u"Samsung Universal Print Driver", u"Except Driver", u"acme writer", u"yamahx"}));
    EXPECT_EQ(t.BlockPortList(),
              (List{u"hancom pdf port", u"documents\\*.pdf", u"desktop\\*.pdf", u"xpsport:",
                    u"file:", u"fpr1:", u"fpr2:", u"fpr3:", u"fpr4:", u"fpr5:", u"fpr6:", u"fpr7:",
                    u"nul:", u"send to microsoft onenote"}));
    EXPECT_EQ(t.MonitorList(),
              (List{u"Network printer", u"zERO oNE nETWORK pORT", u"SmartNetMonitor",
                    u"Intercard Port Monitor", u"Canon BJNP Port", u"EpsonNet Print Port",
                    u"Canon BJNP Port", u"WSD 포트 모니터", u"WSD Port Monitor"}));
    EXPECT_EQ(t.VirtualDriverList(),
              (List{u"SecuInfra Secumark Print", u"Microsoft XPS Document Writer"}));
    EXPECT_TRUE(t.PrinterAvalible(u"ACME Writer", u"lpt1:"));
    EXPECT_FALSE(t.PrinterAvalible(u"ACME PDF Writer", u"acme:"));
}

TEST(PravoPrinter, DefaultTablesComeFromThisThreadsState) {
    DescribedMachine machine;
    printSettings().ExceptDriverList = {u"Mine"};
    moduleState().lists.VirtualPrinterList = {{u"a,theirs", u"any"}};
    PravoPrinter t;
    EXPECT_EQ(t.DriverNameArr().back(), u"theirs");
    EXPECT_EQ(t.DriverNameArr()[13], u"Mine");
    // A later change does not reach an instance made before.
    printSettings().ExceptDriverList = {u"Later"};
    EXPECT_FALSE(t.PrinterAvalible(u"Later", u"lpt1:"));
}

TEST(PravoPrinter, StepLogLines) {
    DescribedMachine machine;
    captureLog(machine.path() / "bin");

    PrintSettings s;
    s.ExceptPortList = {u"^usb"};
    PravoPrinter t(s, {{u"a,acme writer", u"acme:"}});
    t.CheckMonitor(u"");
    t.CheckBlockPortName(u"FILE:");
    t.PrinterAvalible(u"Samsung Universal Print Driver PCL6", u"usb001");
    const std::string log = capturedLog();
    resetLog();

    const std::string head = kLogHead;
    auto line = [&](int level, const std::string& text) {
        return head + std::string(std::size_t(2 * (level + 1)), ' ') + text + "\r\n";
    };
    EXPECT_EQ(log, line(3, "DriverNameArr Add, 13,acme writer") + line(3, "PortName Add, 5,acme:") +
                       line(3, "PortName(사용자정의) Add, 6,^usb") +
                       line(2, "PravoPrinter>> setDriverName.........[Ok]13") +
                       line(2, "PravoPrinter>>  CheckMonitor - ") +
                       line(2, "PravoPrinter>>  CheckBlockPortName - FILE:") +
                       line(2, "PravoPrinter>> PortName: file: True") +
                       line(2,
                            "PravoPrinter>>  PrinterAvalible - Printer=Samsung Universal "
                            "Print Driver PCL6, Port=usb001") +
                       line(2, "PravoPrinter>>  PortNameArr - Count=6") +
                       line(2, "PravoPrinter>> Port(started)=^usb") +
                       line(2, "PravoPrinter>>  DriverNameArr - Count=13") +
                       line(8, "PravoPrinter>> (1)DriverName=Samsung Universal Print Driver") +
                       line(2,
                            "PravoPrinter>>  PrinterAvalible ................[Ok] port=True, "
                            "pp=True[PrinterAvalible]True"));
}

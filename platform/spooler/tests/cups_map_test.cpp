#include "platform/spooler/cups_map.h"

#include <gtest/gtest.h>

#include "platform/text/codepage.h"

using namespace platform::spooler::cups;
using platform::text::toUtf8;

namespace {

TEST(CupsMap, PortsBySchemeCountInQueueOrder) {
    struct Case {
        const char* uri;
        const char* name;
        const char16_t* monitor;
        std::uint32_t type;
    } cases[] = {
        {"usb://HP/LaserJet%20P1102?serial=1", "USB001", u"USB Monitor", 3},
        {"socket://10.0.0.5:9100", "IP_10.0.0.5", u"Standard TCP/IP Port", 3},
        {"hp:/usb/HP_LaserJet?serial=2", "USB002", u"USB Monitor", 3},
        {"lpd://print.example/queue", "IP_print.example", u"Standard TCP/IP Port", 3},
        {"ipp://10.0.0.7/ipp/print", "IP_10.0.0.7", u"Standard TCP/IP Port", 3},
        {"ipps://user:pw@10.0.0.8:631/ipp/print", "IP_10.0.0.8", u"Standard TCP/IP Port", 3},
        {"dnssd://Brother._ipp._tcp.local/", "IP_Brother._ipp._tcp.local", u"Standard TCP/IP Port",
         3},
        {"hp:/net/HP_Color?ip=10.0.0.9", "IP_10.0.0.9", u"Standard TCP/IP Port", 3},
        // The job goes on to another spooler: a redirected port.
        {"ipp://127.0.0.1:6310/printers/office", "\\\\127.0.0.1\\office", u"Local Port", 5},
        {"http://srv/classes/floor2", "\\\\srv\\floor2", u"Local Port", 5},
        {"smb://WORKGROUP/srv/laser", "\\\\WORKGROUP\\laser", u"Local Port", 5},
        {"implicitclass://office/", "\\\\implicitclass\\office", u"Local Port", 5},
        {"file:///tmp/out.prn", "FILE:", u"Local Port", 1},
        {"cups-pdf:/", "CUPS-PDF:", u"Local Port", 1},
        {"parallel:/dev/lp0", "LPT1:", u"Local Port", 3},
        {"parallel:/dev/lp1", "LPT2:", u"Local Port", 3},
        {"serial:/dev/ttyS0?baud=9600", "COM1:", u"Local Port", 3},
        {"fax://10.0.0.3", "FAX:", u"Local Port", 1},
        {"hpfax:/usb/HP_Fax", "FAX:", u"Local Port", 1},
        {"beh:/1/3/5/socket://10.0.0.5", "BEH:", u"Local Port", 1},
        {"", "NUL:", u"Local Port", 1},
    };
    PortCounter counter;
    for (const auto& c : cases) {
        const MappedPort p = counter.portOf(c.uri);
        EXPECT_EQ(toUtf8(p.name), c.name) << c.uri;
        EXPECT_EQ(p.monitor, c.monitor) << c.uri;
        EXPECT_EQ(p.type, c.type) << c.uri;
        const std::string tcpip = "Standard TCP/IP Port: ";
        EXPECT_EQ(toUtf8(p.description),
                  p.name.starts_with(u"IP_") ? tcpip + c.uri : std::string(c.uri));
    }
}

TEST(CupsMap, BackendProgramIsTheSchemesProgram) {
    EXPECT_EQ(backendProgram("socket://10.0.0.5:9100"), "/usr/lib/cups/backend/socket");
    EXPECT_EQ(backendProgram("USB://x"), "/usr/lib/cups/backend/usb");
    EXPECT_EQ(backendProgram("cups-pdf:/"), "/usr/lib/cups/backend/cups-pdf");
    EXPECT_EQ(backendProgram(""), "");
}

TEST(CupsMap, PrinterStatusFromStateAndReasons) {
    struct Case {
        int state;
        std::vector<std::string> reasons;
        std::uint32_t status;
    } cases[] = {
        {3, {"none"}, 0},
        {5, {"paused"}, 0x1},
        {4, {}, 0x400},
        {3, {"media-empty-error"}, 0x10},
        {3, {"media-empty"}, 0x10},
        {3, {"media-jam-error"}, 0x8},
        {3, {"toner-low-warning"}, 0x20000},
        {3, {"toner-empty-error"}, 0x40000},
        {3, {"marker-supply-empty-error"}, 0x40000},
        {3, {"door-open-report"}, 0x400000},
        {3, {"offline-report"}, 0x80},
        {3, {"connecting-to-device"}, 0x80},
        {5, {"paused", "media-empty-error", "door-open-warning"}, 0x400011},
        {3, {"cups-missing-filter-warning", "media-emptyish"}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printerStatus(c.state, c.reasons), c.status)
            << c.state << " " << (c.reasons.empty() ? "" : c.reasons.front());
}

TEST(CupsMap, JobStatusAndPrinterAttributes) {
    EXPECT_EQ(jobStatus(3), 0u);      // pending
    EXPECT_EQ(jobStatus(4), 0x1u);    // held: paused
    EXPECT_EQ(jobStatus(5), 0x10u);   // processing: printing
    EXPECT_EQ(jobStatus(6), 0x2u);    // stopped
    EXPECT_EQ(jobStatus(7), 0x100u);  // canceled
    EXPECT_EQ(printerAttributes(0x0, false, false), 0x40u);
    EXPECT_EQ(printerAttributes(0x2, false, false), 0x10u);        // remote: network
    EXPECT_EQ(printerAttributes(0x8, true, true), 0x4Cu);          // shared, default
    EXPECT_EQ(printerAttributes(0x40000, false, false), 0x4040u);  // fax
}

TEST(CupsMap, PostscriptFromThePpdOrTheModel) {
    struct Case {
        const char* what;
        std::string ppd, model;
        bool postscript;
    } cases[] = {
        {"no PPD (raw)", "", "Local Raw Printer", false},
        {"model names it", "", "HP LaserJet 4250 Postscript", true},
        {"plain PostScript PPD", "*PPD-Adobe: \"4.3\"\n*LanguageLevel: \"3\"\n", "Generic", true},
        {"PostScript passed as is",
         "*LanguageLevel: \"2\"\n"
         "*cupsFilter: \"application/vnd.cups-postscript 0 -\"\n",
         "X", true},
        {"filter2 makes PostScript",
         "*cupsFilter2: \"application/vnd.cups-pdf "
         "application/postscript 100 pdftops\"\r\n",
         "X", true},
        {"raster driver",
         "*LanguageLevel: \"3\"\n"
         "*cupsFilter: \"application/vnd.cups-raster 50 rastertoepson\"\n",
         "Epson", false},
        {"ghostscript driver takes PostScript",
         "*LanguageLevel: \"3\"\n"
         "*cupsFilter: \"application/vnd.cups-postscript 100 foomatic-rip\"\n",
         "Foo", false},
        {"filter2 makes PCL",
         "*cupsFilter2: \"application/vnd.cups-raster "
         "application/vnd.hp-pcl 10 rastertopclx\"\n",
         "HP", false},
        {"no LanguageLevel, no filter", "*PPD-Adobe: \"4.3\"\n", "Label", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isPostscript(c.ppd, c.model), c.postscript) << c.what;
}

}  // namespace

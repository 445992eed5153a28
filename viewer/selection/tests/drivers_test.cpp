#include "viewer/selection/drivers.h"

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

const char* kDrivers = R"({
  "printers": [
    {"device": "Nedip", "port": "USB001", "driver": "Nedip Writer"},
    {"device": "Plain", "port": "USB001", "driver": "Plain Laser"},
    {"device": "Lost", "port": "USB001", "driver": "Not Installed"},
    {"device": "Closed", "port": "USB001", "driver": "Plain Laser", "openError": 5},
    {"device": "Sam", "port": "USB001", "driver": "Sam PS"},
    {"device": "PS5", "port": "USB001", "driver": "PS5"},
    {"device": "Renamed", "port": "USB001", "driver": "Renamed"},
    {"device": "Core", "port": "USB001", "driver": "Core"},
    {"device": "Pcl", "port": "USB001", "driver": "Pcl"},
    {"device": "NoPath", "port": "USB001", "driver": "NoPath"}],
  "drivers": [
    {"name": "Nedip Writer", "version": 3, "environment": "Windows NT x86",
     "driverPath": "C:\\drv\\NEDIPUI.DLL", "dataFile": "C:\\drv\\nedip.gpd",
     "configFile": "C:\\drv\\NEDIPCFG.DLL"},
    {"name": "Plain Laser", "version": 2, "driverPath": "C:\\drv\\PLAIN.DLL\u0000junk",
     "dataFile": "C:\\drv\\PLAIN.GPD"},
    {"name": "Sam PS", "driverPath": "C:\\drv\\ML2570.DLL"},
    {"name": "PS5", "driverPath": "C:\\drv\\PSCRIPT5.DLL"},
    {"name": "Renamed", "driverPath": "C:\\drv\\OEMPS.DLL"},
    {"name": "Core", "driverPath": "C:\\drv\\pscript.dll"},
    {"name": "Pcl", "driverPath": "C:\\drv\\PCL.DLL"},
    {"name": "NoPath"}],
  "versionBlocks": {
    "C:\\drv\\NEDIPDRV.DLL": {"translations": [[1042, 1200]],
        "strings": {"CompanyName": "Nedip Co", "ProductName": "Nedip Printer"}},
    "C:\\drv\\ML2570.DLL": {"translations": [[1033, 1200]],
        "strings": {"FileDescription": "PostScript driver", "InternalName": "ML2570.DLL"}},
    "C:\\drv\\PSCRIPT5.DLL": {"translations": [[1033, 1200]],
        "strings": {"CompanyName": "Microsoft", "FileDescription": "PostScript Printer Driver",
                    "InternalName": "PSCRIPT5.DLL", "ProductVersion": "6.1"}},
    "C:\\drv\\OEMPS.DLL": {"translations": [[1033, 1200]],
        "strings": {"FileDescription": "Windows PS Printer core",
                    "InternalName": "pscript.dll", "ProductVersion": "4.00"}},
    "C:\\drv\\pscript.dll": {"translations": [[1033, 1200]],
        "strings": {"FileDescription": "Windows PS Printer core",
                    "InternalName": "pscript.dll", "ProductVersion": "4.00"}},
    "C:\\drv\\PCL.DLL": {"translations": [[1033, 1200]],
        "strings": {"CompanyName": "Pcl Co", "FileDescription": "PCL 6 driver"}}}
})";

}  // namespace

TEST(GetDriverInfo, ReadsTheSpoolersDriverRecord) {
    DescribedMachine machine(kDrivers);
    DriverInfo nedip = GetDriverInfo(u"nedip");
    EXPECT_EQ(nedip.cVersion, 3u);
    EXPECT_EQ(nedip.pName, u"Nedip Writer");
    EXPECT_EQ(nedip.pEnvironment, u"Windows NT x86");
    EXPECT_EQ(nedip.pDriverPath, u"C:\\drv\\NEDIPUI.DLL");
    EXPECT_EQ(nedip.pDataFile, u"C:\\drv\\nedip.gpd");
    EXPECT_EQ(nedip.pConfigFile, u"C:\\drv\\NEDIPCFG.DLL");
    // Texts end at their first NUL.
    EXPECT_EQ(GetDriverInfo(u"Plain").pDriverPath, u"C:\\drv\\PLAIN.DLL");
    // No printer, an unknown driver or a printer that does not open: the empty record.
    EXPECT_EQ(GetDriverInfo(u"Nobody"), DriverInfo{});
    EXPECT_EQ(GetDriverInfo(u"Lost"), DriverInfo{});
    EXPECT_EQ(GetDriverInfo(u"Closed"), DriverInfo{});
}

TEST(IsVirtualPrinterDriver, KnowsTheNedipDataFile) {
    DescribedMachine machine(kDrivers);
    std::u16string company = u"untouched", product = u"untouched";
    EXPECT_TRUE(IsVirtualPrinterDriver(u"Nedip", company, product));
    EXPECT_EQ(company, u"Nedip Co");
    EXPECT_EQ(product, u"Nedip Printer");
    company = product = u"untouched";
    for (const char16_t* printer : {u"Plain", u"Lost", u"Nobody", u""}) {
        EXPECT_FALSE(IsVirtualPrinterDriver(printer, company, product));
        EXPECT_EQ(company, u"untouched");
        EXPECT_EQ(product, u"untouched");
    }
}

TEST(IsPostscriptPrinter, ByTheDriverFilesVersionTexts) {
    DescribedMachine machine(kDrivers);
    const std::pair<const char16_t*, bool> cases[] = {
        {u"PS5", true},      {u"Sam", false},  // an exempt driver file
        {u"Renamed", false},  // the system's PostScript core under another file name
        {u"Core", true},      // the same version texts on the core's own file
        {u"Pcl", false},      // no PostScript words
        {u"NoPath", false},  {u"Nobody", false},
    };
    for (const auto& [printer, ps] : cases) {
        std::u16string company, description;
        EXPECT_EQ(IsPostscriptPrinter(printer, company, description), ps)
            << platform::text::toUtf8(printer);
    }
    std::u16string company, description;
    IsPostscriptPrinter(u"PS5", company, description);
    EXPECT_EQ(company, u"Microsoft");
    EXPECT_EQ(description, u"PostScript Printer Driver");
}

TEST(IsExemptDriverFile, ThirteenNamesCaseIgnored) {
    for (const char16_t* name :
         {u"cx21s.dll", u"SSP4M.DLL", u"sst1c.dll", u"ssp2m.dll", u"ssp1m.dll", u"sse1m.dll",
          u"ml405p.dll", u"ML347P.DLL", u"cl61c.dll", u"sss2m.dll", u"SCX622.dll", u"sso3m.dll",
          u"ML2570.DLL"})
        EXPECT_TRUE(IsExemptDriverFile(name)) << platform::text::toUtf8(name);
    for (const char16_t* name : {u"", u"pscript5.dll", u"ml2570", u"ml2570.dll.bak"})
        EXPECT_FALSE(IsExemptDriverFile(name)) << platform::text::toUtf8(name);
}

TEST(IsFilePrinter, DriverAndPortHeuristics) {
    DescribedMachine machine;
    const std::vector<VirtualPrinterRecord> list = {
        {u"acme pdf writer", u"acmeport:"},
        {u"", u"emptymodel:"},       // an empty model names no driver
        {u"emptyport driver", u""},  // an empty port names no port
    };
    struct Case {
        const char16_t *driver, *port;
        bool file;
    } cases[] = {
        {u"", u"usb001", true},
        {u"SecuInfra Secumark Print", u"usb001", true},
        {u"HP Universal", u"usb001", false},
        {u"HP Universal", u"lpt1:", false},
        {u"HP Universal", u"dot4_001", false},
        {u"HP Universal", u"ip_10.0.0.5", false},
        {u"HP Universal", u"slps_1", false},
        {u"HP Universal", u"\\\\srv\\q", false},
        {u"HP Universal", u"com1:", true},     // no mark of an ordinary port
        {u"HP Universal", u"10.0.0.5", true},  // a bare address neither
        {u"HP Universal", u"pdfport:", true},
        {u"HP Universal", u"usb_fax", true},  // a capture word wins over the ordinary mark
        {u"HP Universal", u"usb*", true},
        // Every capture word, each beside an ordinary mark that would otherwise pass the port.
        {u"HP Universal", u"usb live meeting", true},
        {u"HP Universal", u"usb xpsport", true},
        {u"HP Universal", u"usb printport", true},
        {u"HP Universal", u"usb snagit", true},
        {u"HP Universal", u"usb flash", true},
        {u"HP Universal", u"usb imaging", true},
        {u"HP Universal", u"usb fpr", true},
        {u"HP Universal", u"usb pdf", true},
        {u"HP Universal", u"usb file", true},
        {u"ACME PDF Writer", u"usb001", true},
        {u"ACME PDF Writer v2", u"usb001", true},
        {u"Other", u"ACMEPORT:", true},
        {u"Other", u"usb001", false},
        {u"Emptyport Driver", u"usb001", true},
        {u"HP Universal", u"", true},  // an empty port has no mark of an ordinary port
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFilePrinter(c.driver, c.port, list, std::int16_t(list.size())), c.file)
            << platform::text::toUtf8(c.driver) << " / " << platform::text::toUtf8(c.port);
    // Only the counted records are read.
    EXPECT_FALSE(IsFilePrinter(u"ACME PDF Writer", u"usb001", list, 0));
}

TEST(IsFilePrinter, EmptyFieldsOfTheListMatchNothing) {
    DescribedMachine machine;
    const std::vector<VirtualPrinterRecord> list = {{u"", u""}, {u"", u"lpt9:"}, {u"x y", u""}};
    for (const char16_t* driver : {u"HP Universal", u"Canon", u"Z"})
        EXPECT_FALSE(IsFilePrinter(driver, u"usb001", list, 3)) << platform::text::toUtf8(driver);
}

TEST(IsFilePrinter, StepLogLines) {
    DescribedMachine machine;
    captureLog(machine.path() / "bin");
    const std::vector<VirtualPrinterRecord> list = {{u"acme pdf writer", u"acmeport:"}};
    IsFilePrinter(u"", u"usb001", list, 1);
    IsFilePrinter(u"ACME PDF Writer", u"usb001", list, 1);
    IsFilePrinter(u"HP Universal", u"pdfport:", list, 1);
    IsFilePrinter(u"HP Universal", u"com1:", list, 1);
    IsFilePrinter(u"HP Universal", u"usb001", list, 1);
    const std::string log = capturedLog();
    resetLog();
    std::string expected;
    for (const char* text :
         {"isFile DriverName=,Port=usb001", "inf.DriverName is Null ==> 파일 프린터로 판단",
          "isFile DriverName=ACME PDF Writer,Port=usb001",
          "vpList 존재, Model=acme pdf writer,port=acmeport:",
          "isFile DriverName=HP Universal,Port=pdfport:", "Port 존재, port=pdfport:",
          "isFile DriverName=HP Universal,Port=com1:", "기본 port가 아닌경우, port=com1:",
          "isFile DriverName=HP Universal,Port=usb001"})
        expected += std::string(kLogHead) + std::string(10, ' ') + text + "\r\n";
    EXPECT_EQ(log, expected);
}

// The spooler over a real CUPS: a private cupsd with a kiosk's mix of queues, read and
// controlled through the spooler and checked against what the CUPS commands say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include <sys/stat.h>

#include "platform/spooler/cups_backend.h"
#include "platform/spooler/cups_ports.h"
#include "platform/spooler/spooler.h"
#include "platform/system/fileversion.h"
#include "platform/system/profile.h"
#include "platform/testing/cupsd.h"
#include "platform/testing/environment.h"
#include "platform/testing/host_aliases.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"

using namespace platform::spooler;
using platform::text::fromUtf8;
using platform::text::toUtf8;

namespace {

// Queue name -> device-uri as `lpstat -v` lists them ("device for <q>: <uri>"). lpstat shows a
// file: URI without its scheme.
std::map<std::string, std::string> lpstatDevices(const platform::testing::PrivateCupsd& cupsd) {
    std::map<std::string, std::string> devices;
    std::istringstream lines(cupsd.run("lpstat", {"-v"}).out);
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "device for ";
        const auto colon = line.find(": ");
        if (!line.starts_with(prefix) || colon == std::string::npos) continue;
        std::string uri = line.substr(colon + 2);
        if (uri.starts_with("/")) uri = "file:" + uri;
        devices[line.substr(prefix.size(), colon - prefix.size())] = uri;
    }
    return devices;
}

class RealCups : public ::testing::Test {
  protected:
    void SetUp() override {
        TESSEL_REQUIRE_CUPSD();
        kiosk_.emplace();
        ASSERT_EQ(kiosk_->problem(), "");
        cupsd_ = &kiosk_->cupsd;
        spooler_.emplace("TESSEL_SPOOLER", "cups");
    }
    void TearDown() override { spooler_.reset(); }
    std::string jobsListing() const { return cupsd_->run("lpstat", {"-l", "-o"}).out; }

    platform::testing::TempMachine machine_;
    std::optional<platform::testing::CupsKiosk> kiosk_;
    const platform::testing::PrivateCupsd* cupsd_ = nullptr;
    std::optional<platform::testing::ScopedVariable> spooler_;
};

TEST_F(RealCups, CollectionIsWhatLpstatListsWithMappedPortsAndDrivers) {
    const auto devices = lpstatDevices(*cupsd_);
    ASSERT_EQ(devices.size(), 6u);
    const std::string socket = "/usr/lib/cups/backend/socket";
    const std::string ps = "/usr/lib/cups/filter/pstops";
    const std::string ppd = (cupsd_->folder() / "ppd").string() + "/";
    struct Row {
        const char* queue;
        std::u16string port;
        const char* driverPath;
        std::string dataFile;
    };
    const Row rows[] = {
        {"Tessel_File", u"FILE:", "/usr/lib/cups/backend/file", ""},
        {"Tessel_Forward", u"\\\\127.0.0.1\\Tessel_Socket", "/usr/lib/cups/backend/ipp", ""},
        {"Tessel_PDF", u"CUPS-PDF:", ps.c_str(), ppd + "Tessel_PDF.ppd"},
        {"Tessel_PS", u"IP_127.0.0.1", ps.c_str(), ppd + "Tessel_PS.ppd"},
        {"Tessel_Socket", u"IP_127.0.0.1", socket.c_str(), ""},
        {"Tessel_USB", u"USB001", "/usr/lib/cups/backend/usb", ""},
    };

    const auto names = printerNames();
    ASSERT_EQ(names.size(), devices.size());
    std::size_t i = 0;
    std::cout << "lpstat -v:\n"
              << cupsd_->run("lpstat", {"-v"}).out
              << "the spooler: queue / port / monitor / driver / device-uri\n";
    for (const auto& [queue, uri] : devices) {
        SCOPED_TRACE(queue);
        const Row& row = rows[i];
        ASSERT_EQ(queue, row.queue);
        EXPECT_EQ(toUtf8(names[i++]), queue);
        auto h = PrinterHandle::open(fromUtf8(queue));
        ASSERT_TRUE(h) << h.error;
        auto info = h->info2();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->portName, row.port);
        auto driver = h->driver2();
        ASSERT_TRUE(driver);
        EXPECT_EQ(driver->name, info->driverName);
        EXPECT_EQ(toUtf8(driver->driverPath), row.driverPath);
        EXPECT_EQ(toUtf8(driver->dataFile), row.dataFile);
        // The profile lists the same printers with the same ports.
        EXPECT_EQ(platform::system::profileString(u"Devices", fromUtf8(queue)),
                  u"winspool," + row.port);
        std::cout << "  " << queue << " / " << toUtf8(info->portName) << " / ";
        auto ports = enumPorts();
        ASSERT_TRUE(ports);
        bool found = false;
        for (const auto& p : *ports) {
            if (p.portName != row.port) continue;
            found = true;
            std::cout << toUtf8(p.monitorName);
            // The two network queues print to one listener, so they share one port.
            const bool network = row.port == u"IP_127.0.0.1";
            EXPECT_EQ(toUtf8(p.description), (network ? "Standard TCP/IP Port: " : "") + uri);
        }
        EXPECT_TRUE(found);
        std::cout << " / " << toUtf8(info->driverName) << " / " << uri << "\n";
    }
    EXPECT_EQ(platform::system::profileKeys(u"PrinterPorts"), names);
    // The PostScript core's version block says PostScript; a backend program has none.
    auto block = platform::system::fileVersionBlock(fromUtf8(ps));
    ASSERT_TRUE(block);
    EXPECT_EQ(block->strings.at(u"FileDescription"), u"PostScript printer driver");
    EXPECT_FALSE(platform::system::fileVersionBlock(fromUtf8(socket)));
    EXPECT_EQ(PrinterHandle::open(u"Tessel_Nowhere").error, kInvalidPrinterName);
}

TEST_F(RealCups, PausedAndMediaEmptyQueuesShowTheirStatus) {
    auto h = PrinterHandle::open(u"tessel_usb", PRINTER_ACCESS_ADMINISTER);  // case ignored
    ASSERT_TRUE(h) << h.error;
    EXPECT_EQ(h->info2()->status, 0u);
    EXPECT_EQ(h->control(PRINTER_CONTROL_PAUSE), kOk);
    EXPECT_NE(cupsd_->run("lpstat", {"-p", "Tessel_USB"}).out.find("disabled"), std::string::npos);
    EXPECT_EQ(h->info2()->status & 0x1, 0x1u);
    ASSERT_EQ(cupsd_->setStateReasons("Tessel_USB", {"media-empty-error"}), "");
    EXPECT_EQ(h->info2()->status, 0x11u);
    EXPECT_EQ(h->control(PRINTER_CONTROL_RESUME), kOk);
    ASSERT_EQ(cupsd_->setStateReasons("Tessel_USB", {"none"}), "");
    EXPECT_EQ(h->info2()->status, 0u);
    EXPECT_EQ(cupsd_->run("lpstat", {"-p", "Tessel_USB"}).out.find("disabled"), std::string::npos);
}

TEST_F(RealCups, JobsAreListedAndControlledInCups) {
    ASSERT_EQ(cupsd_->run("cupsdisable", {"Tessel_USB"}).exitCode, 0);
    const auto file = cupsd_->folder() / "job.txt";
    std::ofstream(file) << "a job for the queue\n";
    auto lp = cupsd_->run("lp", {"-d", "Tessel_USB", "-t", "certificate", file.string()});
    ASSERT_EQ(lp.exitCode, 0) << lp.err;
    auto h = PrinterHandle::open(u"Tessel_USB", PRINTER_ACCESS_ADMINISTER);
    ASSERT_TRUE(h);
    auto jobs = h->enumJobs(0, 10);
    ASSERT_TRUE(jobs);
    ASSERT_EQ(jobs->size(), 1u);
    const JobInfo2 job = jobs->front();
    EXPECT_EQ(job.document, u"certificate");
    EXPECT_EQ(job.position, 1u);
    EXPECT_EQ(job.status, 0u);
    EXPECT_GE(job.size, 1024u);
    EXPECT_EQ(h->info2()->jobs, 1u);
    const std::string id = "Tessel_USB-" + std::to_string(job.jobId);

    EXPECT_EQ(h->controlJob(job.jobId, JOB_CONTROL_PAUSE), kOk);
    EXPECT_NE(jobsListing().find("job-hold-until-specified"), std::string::npos) << jobsListing();
    EXPECT_EQ(h->enumJobs(0, 10)->front().status, 0x1u);
    EXPECT_EQ(h->controlJob(job.jobId, JOB_CONTROL_RESUME), kOk);
    EXPECT_EQ(jobsListing().find("job-hold-until-specified"), std::string::npos) << jobsListing();
    EXPECT_EQ(h->enumJobs(0, 10)->front().status, 0u);
    // A move within the queue is beyond CUPS.
    JobInfo1 moved = *h->job1(job.jobId);
    EXPECT_EQ(moved.document, job.document);
    EXPECT_EQ(moved.printerName, u"Tessel_USB");
    EXPECT_EQ(moved.position, 1u);
    EXPECT_TRUE(moved.submitted == job.submitted);
    moved.position = 1;
    EXPECT_EQ(h->setJob1(moved), 50u);
    EXPECT_EQ(h->controlJob(job.jobId, JOB_CONTROL_CANCEL), kOk);
    EXPECT_EQ(jobsListing().find(id), std::string::npos) << jobsListing();
    EXPECT_TRUE(h->enumJobs(0, 10)->empty());
    EXPECT_EQ(h->controlJob(job.jobId + 100, JOB_CONTROL_CANCEL), kInvalidParameter);
}

TEST_F(RealCups, DefaultPrinterIsTheServers) {
    EXPECT_EQ(getDefaultPrinter().error, 2u);
    EXPECT_EQ(setDefaultPrinter(u"tessel_socket"), kOk);
    EXPECT_NE(cupsd_->run("lpstat", {"-d"}).out.find("Tessel_Socket"), std::string::npos);
    EXPECT_EQ(*getDefaultPrinter(), u"Tessel_Socket");
    EXPECT_EQ(defaultPrinterInfo2()->printerName, u"Tessel_Socket");
    EXPECT_EQ(defaultPrinterInfo2()->attributes & 0x4, 0x4u);
    EXPECT_EQ(setDefaultPrinter(u"Tessel_Nowhere"), kInvalidPrinterName);
}

TEST_F(RealCups, RecordWritesReachCupsAsFarAsItKeepsThem) {
    auto h = PrinterHandle::open(u"Tessel_USB", PRINTER_ALL_ACCESS);
    ASSERT_TRUE(h);
    PrinterInfo2 info = *h->info2();
    EXPECT_EQ(info.attributes, 0x40u);  // local, not shared, not the default
    info.comment = u"Front desk";
    info.location = u"Hall 2";
    info.attributes |= 0x8 | 0x4;  // shared, and the default
    EXPECT_EQ(h->setInfo2(info), kOk);
    const std::string listing = cupsd_->run("lpstat", {"-l", "-p", "Tessel_USB"}).out;
    EXPECT_NE(listing.find("Description: Front desk"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Location: Hall 2"), std::string::npos) << listing;
    const PrinterInfo2 read = *h->info2();
    EXPECT_EQ(read.comment, u"Front desk");
    EXPECT_EQ(read.location, u"Hall 2");
    EXPECT_EQ(read.attributes, 0x4Cu);
    EXPECT_EQ(read.shareName, u"Tessel_USB");
    // Level 5 carries the shared bit; the spooling bits CUPS does not keep.
    PrinterInfo5 five = *h->info5();
    five.attributes = (five.attributes & ~0x8u) | 0x2;  // not shared; direct
    EXPECT_EQ(h->setInfo5(five), kOk);
    EXPECT_EQ(h->info5()->attributes, 0x44u);
    // Administering on a handle opened for use only is refused before the server is asked.
    auto use = PrinterHandle::open(u"Tessel_USB");
    EXPECT_EQ(use->control(PRINTER_CONTROL_PAUSE), kAccessDenied);
}

TEST_F(RealCups, AClassIsListedOnAPortOfItsOwn) {
    ASSERT_EQ(cupsd_->run("lpadmin", {"-p", "Tessel_USB", "-c", "Tessel_Class"}).exitCode, 0);
    const auto names = printerNames();
    ASSERT_NE(std::find(names.begin(), names.end(), u"Tessel_Class"), names.end());
    auto info = PrinterHandle::open(u"Tessel_Class")->info2();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->portName, u"CLASS:");
    // The member keeps its own port and number.
    EXPECT_EQ(PrinterHandle::open(u"Tessel_USB")->info2()->portName, u"USB001");
}

TEST_F(RealCups, AForwardToTheFileQueueIsOnTheFileQueuesPortHoweverItIsSpelled) {
    const std::string port = std::to_string(cupsd_->port());
    const std::pair<const char*, std::string> forwards[] = {
        {"Tessel_Decoded", "ipp://127.0.0.1:" + port + "/%70rinters/Tessel_File"},
        {"Tessel_Slash", "ipp://127.0.0.1:" + port + "/printers%2FTessel_File"},
        {"Tessel_Double", "ipp://127.0.0.1:" + port + "//printers/Tessel_File"},
        {"Tessel_Named", "ipp://LOCALHOST:" + port + "/printers/Tessel_File/"},
    };
    for (const auto& [name, uri] : forwards) ASSERT_EQ(cupsd_->addQueue(name, uri).exitCode, 0);
    for (const auto& [name, uri] : forwards) {
        SCOPED_TRACE(uri);
        auto info = PrinterHandle::open(fromUtf8(name))->info2();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->portName, u"FILE:");
        EXPECT_EQ(platform::system::profileString(u"Devices", fromUtf8(name)), u"winspool,FILE:");
    }
    // One FILE: port, described by what its queues share.
    auto ports = enumPorts();
    ASSERT_TRUE(ports);
    std::size_t files = 0;
    for (const auto& p : *ports) {
        if (p.portName != u"FILE:") continue;
        ++files;
        EXPECT_EQ(p.description, u"file:");
        EXPECT_EQ(p.monitorName, u"Local Port");
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(RealCups, AQueueCupsMarksRemoteIsRedirectedWhateverItsDeviceLooksLike) {
    // cupsd marks the queue remote (CUPS_PRINTER_REMOTE) for the "/printers/" in its path.
    ASSERT_EQ(cupsd_->addQueue("Lab_Forward", "ipp://10.0.0.7/ipp/printers/lab").exitCode, 0);
    ASSERT_EQ(cupsd_->addQueue("Lab_Printer", "ipp://10.0.0.7/ipp/print").exitCode, 0);
    auto forward = PrinterHandle::open(u"Lab_Forward")->info2();
    ASSERT_TRUE(forward);
    EXPECT_EQ(forward->attributes & 0x10, 0x10u);  // network: CUPS says remote
    EXPECT_EQ(forward->portName, u"\\\\10.0.0.7\\lab");
    EXPECT_EQ(PrinterHandle::open(u"Lab_Printer")->info2()->portName, u"IP_10.0.0.7");
}

TEST_F(RealCups, PortNumbersStayWithTheirDeviceAsQueuesComeAndGo) {
    EXPECT_EQ(PrinterHandle::open(u"Tessel_USB")->info2()->portName, u"USB001");
    // A queue whose name sorts first, on another USB device: it takes the next number.
    ASSERT_EQ(cupsd_->addQueue("Aardvark_USB", "usb://Aardvark/Jet?serial=A1").exitCode, 0);
    ASSERT_EQ(cupsd_->addQueue("Aardvark_Serial", "serial:/dev/null?baud=9600").exitCode, 0);
    EXPECT_EQ(printerNames().front(), u"Aardvark_Serial");
    EXPECT_EQ(PrinterHandle::open(u"Aardvark_USB")->info2()->portName, u"USB002");
    EXPECT_EQ(PrinterHandle::open(u"Tessel_USB")->info2()->portName, u"USB001");
    EXPECT_EQ(PrinterHandle::open(u"Aardvark_Serial")->info2()->portName, u"COM1:");
    // A second queue on the same device shares its port.
    ASSERT_EQ(cupsd_->addQueue("Tessel_USB_Copy", "usb://Tessel/Laser?serial=T1").exitCode, 0);
    EXPECT_EQ(PrinterHandle::open(u"Tessel_USB_Copy")->info2()->portName, u"USB001");
    // The first queue goes: no number moves; it comes back on its own number.
    ASSERT_EQ(cupsd_->run("lpadmin", {"-x", "Tessel_USB"}).exitCode, 0);
    ASSERT_EQ(cupsd_->run("lpadmin", {"-x", "Tessel_USB_Copy"}).exitCode, 0);
    EXPECT_EQ(PrinterHandle::open(u"Aardvark_USB")->info2()->portName, u"USB002");
    ASSERT_EQ(cupsd_->addQueue("Tessel_USB", "usb://Tessel/Laser?serial=T1").exitCode, 0);
    EXPECT_EQ(PrinterHandle::open(u"Tessel_USB")->info2()->portName, u"USB001");
    EXPECT_TRUE(std::filesystem::exists(machine_.path() / "cups-ports.json"));
}

TEST_F(RealCups, APortSharedByQueuesOfDifferentDevicesIsDescribedByWhatTheyShare) {
    ASSERT_EQ(cupsd_->addQueue("Office_Socket", "socket://10.0.0.5:9100").exitCode, 0);
    ASSERT_EQ(cupsd_->addQueue("Office_Lpd", "lpd://10.0.0.5/queue").exitCode, 0);
    auto ports = enumPorts();
    ASSERT_TRUE(ports);
    std::map<std::u16string, std::u16string> descriptions;
    for (const auto& p : *ports) descriptions[p.portName] = p.description;
    EXPECT_EQ(descriptions[u"IP_10.0.0.5"], u"Standard TCP/IP Port: 10.0.0.5");
    EXPECT_EQ(PrinterHandle::open(u"Office_Lpd")->info2()->portName, u"IP_10.0.0.5");
}

TEST_F(RealCups, ARawQueuesDriverIsNamedByItsDeviceKind) {
    const std::pair<const char16_t*, const char16_t*> rows[] = {
        {u"Tessel_File", u"Local Raw Printer (file)"},
        {u"Tessel_USB", u"Local Raw Printer (usb)"},
        {u"Tessel_Socket", u"Local Raw Printer (socket)"},
        {u"Tessel_Forward", u"Remote Printer (ipp)"},
    };
    for (const auto& [queue, driver] : rows) {
        SCOPED_TRACE(toUtf8(queue));
        auto h = PrinterHandle::open(queue);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->info2()->driverName, driver);
        EXPECT_EQ(h->driver2()->name, driver);
    }
    // A queue with a driver of its own keeps its model's name.
    EXPECT_EQ(PrinterHandle::open(u"Tessel_PS")->info2()->driverName, u"Tessel Laser 3");
    // Its jobs carry the same driver name.
    ASSERT_EQ(cupsd_->run("cupsdisable", {"Tessel_File"}).exitCode, 0);
    const auto file = cupsd_->folder() / "job.txt";
    std::ofstream(file) << "a job\n";
    ASSERT_EQ(cupsd_->run("lp", {"-d", "Tessel_File", file.string()}).exitCode, 0);
    auto jobs = PrinterHandle::open(u"Tessel_File")->enumJobs(0, 10);
    ASSERT_TRUE(jobs);
    ASSERT_EQ(jobs->size(), 1u);
    EXPECT_EQ(jobs->front().driverName, u"Local Raw Printer (file)");
}

// A minimal one-page PDF.
const std::string kPdf =
    "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\n"
    "trailer<</Root 1 0 R>>\n%%EOF\n";

std::u16string portOf(const char16_t* queue) {
    auto h = PrinterHandle::open(queue);
    if (!h) return u"(no queue)";
    auto info = h->info2();
    return info ? info->portName : u"(no record)";
}

TEST_F(RealCups, ADevicePathIsAPortOnlyWhereACharacterDeviceStandsWhenJudgedAndAtTheJob) {
    // cupsd takes a parallel: or serial: queue on any path (FileDevice guards file: alone).
    const auto devices = cupsd_->folder() / "devices";
    std::filesystem::create_directories(devices);
    std::filesystem::permissions(devices, std::filesystem::perms(0777));
    const auto out = devices / "out.prn";
    std::ofstream(out) << "";
    std::filesystem::create_directory(devices / "spool");
    ASSERT_EQ(::mkfifo((devices / "fifo").c_str(), 0666), 0);
    std::filesystem::create_symlink(out, devices / "to-file");
    std::filesystem::create_symlink("/dev/null", devices / "lp0");
    const std::pair<const char*, std::string> queues[] = {
        {"Par_File", "parallel:" + out.string()},
        {"Par_Folder", "parallel:" + (devices / "spool").string()},
        {"Par_Fifo", "parallel:" + (devices / "fifo").string()},
        {"Par_LinkToFile", "parallel:" + (devices / "to-file").string()},
        {"Par_Nothing", "parallel:" + (devices / "nothing").string()},
        {"Ser_File", "serial:" + out.string() + "?baud=9600"},
        {"Par_Device", "parallel:" + (devices / "lp0").string()},
        {"Ser_Device", "serial:/dev/null?baud=9600"},
    };
    for (const auto& [name, uri] : queues) {
        auto added = cupsd_->addQueue(name, uri);
        ASSERT_EQ(added.exitCode, 0) << uri << ": " << added.err << cupsd_->log();
    }
    for (const char16_t* q :
         {u"Par_File", u"Par_Folder", u"Par_Fifo", u"Par_LinkToFile", u"Par_Nothing", u"Ser_File"})
        EXPECT_EQ(portOf(q), u"FILE:") << toUtf8(q);
    EXPECT_EQ(portOf(u"Par_Device"), u"LPT1:");
    EXPECT_EQ(portOf(u"Ser_Device"), u"COM1:");

    // The queue was judged on LPT1:; by the time the job is made, a file stands at its path.
    std::filesystem::remove(devices / "lp0");
    std::ofstream(devices / "lp0") << "";
    const auto refused = cups::submit("Par_Device", "certificate", kPdf);
    EXPECT_EQ(refused.jobId, 0u);
    EXPECT_NE(refused.error.find("Par_Device"), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("FILE:"), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("LPT1:"), std::string::npos) << refused.error;
    // The queue re-pointed at a file after it was judged: refused all the same.
    ASSERT_EQ(cupsd_->run("lpadmin", {"-p", "Ser_Device", "-v", "file://" + out.string()}).exitCode,
              0);
    const auto repointed = cups::submit("Ser_Device", "certificate", kPdf);
    EXPECT_EQ(repointed.jobId, 0u);
    EXPECT_NE(repointed.error.find("FILE:"), std::string::npos) << repointed.error;
    // A queue deleted after it was judged takes no job.
    ASSERT_EQ(portOf(u"Tessel_USB"), u"USB001");
    ASSERT_EQ(cupsd_->run("lpadmin", {"-x", "Tessel_USB"}).exitCode, 0);
    const auto deleted = cups::submit("Tessel_USB", "certificate", kPdf);
    EXPECT_EQ(deleted.jobId, 0u);
    EXPECT_NE(deleted.error, "");
    EXPECT_EQ(cupsd_->run("lpstat", {"-o"}).out, "");
    EXPECT_EQ(std::filesystem::file_size(out), 0u);
    EXPECT_EQ(std::filesystem::file_size(devices / "lp0"), 0u);
    // A queue unchanged since it was judged takes its job.
    ASSERT_EQ(portOf(u"Tessel_Socket"), u"IP_127.0.0.1");
    const auto taken = cups::submit("Tessel_Socket", "certificate", kPdf);
    EXPECT_GT(taken.jobId, 0u) << taken.error;
    EXPECT_EQ(taken.error, "");
}

TEST_F(RealCups, AForwardThroughANameOfThisMachineIsJudgedAsTheQueueItNames) {
    // "tessel-kiosk" is this machine, as an /etc/hosts alias of 127.0.0.1 would make it;
    // "tessel-office" another machine; "tessel-lost.invalid" cannot be resolved.
    platform::testing::ScopedHostAliases hosts(
        {{"tessel-kiosk", {"127.0.0.1"}}, {"tessel-office", {"10.0.0.5"}}});
    const std::string port = std::to_string(cupsd_->port());
    const std::pair<const char*, std::string> queues[] = {
        {"Alias_Lpd", "lpd://tessel-kiosk/Tessel_File"},
        {"Alias_LpdPort", "lpd://tessel-kiosk:5515/Tessel_File"},
        {"Alias_Ipp", "ipp://tessel-kiosk:" + port + "/printers/Tessel_File"},
        {"Alias_Pdf", "ipp://TESSEL-KIOSK:" + port + "/printers/Tessel_PDF"},
        {"Alias_Socket", "lpd://tessel-kiosk/Tessel_Socket"},
        {"Office_Lpd", "lpd://tessel-office/queue"},
        {"Lost_Lpd", "lpd://tessel-lost.invalid/Tessel_File"},
        {"Lost_Ipp", "ipp://tessel-lost.invalid/ipp/print"},
    };
    for (const auto& [name, uri] : queues) {
        auto added = cupsd_->addQueue(name, uri);
        ASSERT_EQ(added.exitCode, 0) << uri << ": " << added.err << cupsd_->log();
    }
    EXPECT_EQ(portOf(u"Alias_Lpd"), u"FILE:");
    EXPECT_EQ(portOf(u"Alias_LpdPort"), u"FILE:");
    EXPECT_EQ(portOf(u"Alias_Ipp"), u"FILE:");
    EXPECT_EQ(portOf(u"Alias_Pdf"), u"CUPS-PDF:");
    EXPECT_EQ(portOf(u"Alias_Socket"), u"\\\\tessel-kiosk\\Tessel_Socket");
    EXPECT_EQ(portOf(u"Office_Lpd"), u"IP_tessel-office");
    EXPECT_EQ(portOf(u"Lost_Lpd"), u"\\\\tessel-lost.invalid\\Tessel_File");
    EXPECT_EQ(portOf(u"Lost_Ipp"), u"\\\\tessel-lost.invalid\\print");
}

TEST_F(RealCups, ADamagedPortNumbersFileIsRepairedAndNoPortMoves) {
    EXPECT_EQ(portOf(u"Tessel_USB"), u"USB001");
    // A device whose queue sorts first takes the next number.
    ASSERT_EQ(cupsd_->addQueue("Aardvark_USB", "usb://Aardvark/Jet?serial=A1").exitCode, 0);
    EXPECT_EQ(portOf(u"Aardvark_USB"), u"USB002");
    const auto file = machine_.path() / cups::kPortNumbersFile;
    std::ofstream(file, std::ios::trunc) << "{\"USB\": {\"usb://Tessel/Laser?serial=T1\": 1,";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(portOf(u"Aardvark_USB"), u"USB002");
    EXPECT_EQ(portOf(u"Tessel_USB"), u"USB001");
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("is damaged; kept aside as"), std::string::npos) << said;
    // Written whole again, the damaged copy beside it.
    std::ifstream in(file);
    const std::string repaired((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    EXPECT_NE(repaired.find("\"usb://Tessel/Laser?serial=T1\": 1"), std::string::npos) << repaired;
    EXPECT_NE(repaired.find("\"usb://Aardvark/Jet?serial=A1\": 2"), std::string::npos) << repaired;
    std::size_t aside = 0;
    for (const auto& e : std::filesystem::directory_iterator(machine_.path()))
        aside += e.path().filename().string().starts_with("cups-ports.json.damaged-") ? 1 : 0;
    EXPECT_EQ(aside, 1u);
}

}  // namespace

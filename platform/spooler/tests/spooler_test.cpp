#include "platform/spooler/spooler.h"

#include <gtest/gtest.h>

#include "platform/system/version.h"
#include "platform/testing/temp_machine.h"

using namespace platform::spooler;
using platform::system::describeMachine;
using platform::system::loadMachine;

namespace {

class Spooler : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(describeMachine(R"({
          "defaultPrinter": "Laser",
          "printers": [
            {"device": "Laser", "port": "USB001", "driver": "Laser Driver", "attributes": "0x240",
             "jobs": [{"id": 1, "document": "one", "size": 10},
                      {"id": 2, "document": "two", "size": 20},
                      {"id": 3, "document": "three", "size": 30}]},
            {"device": "Shared", "port": "\\\\srv\\q", "attributes": "0x18", "canAdminister": false},
            {"device": "Broken", "port": "LPT1:", "getError": 1722},
            {"device": "Gone", "port": "LPT2:", "openError": 1801}
          ],
          "ports": [{"name": "USB001", "monitor": "USB Monitor", "description": "USB", "type": 3}],
          "drivers": [{"name": "Laser Driver", "version": 3, "driverPath": "C:\\d\\L.DLL",
                       "dataFile": "C:\\d\\L.GPD", "configFile": "C:\\d\\LUI.DLL"}]
        })"));
    }
    void TearDown() override {
        setCallHook({});
        platform::system::resetOsVersion();
    }
    platform::testing::TempMachine machine_;
};

TEST_F(Spooler, OpenChecksNameAccessAndInjectedFailures) {
    struct Case {
        const char16_t* name;
        std::uint32_t access;
        std::uint32_t error;
    } cases[] = {
        {u"laser", 0, kOk},  // names compare without case
        {u"Laser", PRINTER_ALL_ACCESS, kOk},
        {u"Shared", PRINTER_ACCESS_USE, kOk},
        {u"Shared", PRINTER_ACCESS_ADMINISTER, kAccessDenied},
        {u"Shared", PRINTER_ALL_ACCESS, kAccessDenied},
        {u"Gone", 0, kInvalidPrinterName},
        {u"Nobody", 0, kInvalidPrinterName},
        {u"", 0, kInvalidPrinterName},
        {u"Broken", 0, kOk},  // opens; its reads fail
    };
    for (const auto& c : cases) {
        auto h = PrinterHandle::open(c.name, c.access);
        EXPECT_EQ(h.error, c.error)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
        EXPECT_EQ(bool(h), c.error == kOk);
    }
    EXPECT_EQ(PrinterHandle::open(u"Broken")->info2().error, 1722u);
    EXPECT_EQ(PrinterHandle::open(u"Broken")->info5().error, 1722u);
}

TEST_F(Spooler, WindowsNineFamilyHasNoPrinterSecurity) {
    platform::system::overrideOsVersion(platform::system::OsVersion{4, 10, 2222, 1, u""});
    EXPECT_TRUE(PrinterHandle::open(u"Shared", PRINTER_ACCESS_ADMINISTER));
}

TEST_F(Spooler, LevelTwoRecordCarriesTheDescription) {
    auto info = PrinterHandle::open(u"Laser")->info2();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->printerName, u"Laser");
    EXPECT_EQ(info->portName, u"USB001");
    EXPECT_EQ(info->attributes, 0x240u);
    EXPECT_EQ(info->jobs, 3u);
    EXPECT_EQ(info->printProcessor, u"winprint");
    EXPECT_FALSE(info->devMode);
    auto driver = PrinterHandle::open(u"Laser")->driver2();
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->dataFile, u"C:\\d\\L.GPD");
    EXPECT_EQ(PrinterHandle::open(u"Shared")->driver2().error, kUnknownPrinterDriver);
}

TEST_F(Spooler, WritesNeedAdministrationAndPersist) {
    auto use = PrinterHandle::open(u"Laser");
    auto info5 = use->info5();
    ASSERT_TRUE(info5);
    info5->attributes = 0x42;
    EXPECT_EQ(use->setInfo5(*info5), kAccessDenied);
    EXPECT_EQ(use->control(PRINTER_CONTROL_PAUSE), kAccessDenied);

    auto admin = PrinterHandle::open(u"Laser", PRINTER_ALL_ACCESS);
    EXPECT_EQ(admin->setInfo5(*info5), kOk);
    EXPECT_EQ(loadMachine().printers[0].attributes, 0x42u) << "written to the description";

    auto info2 = admin->info2();
    info2->devMode = std::vector<std::uint8_t>(124, 7);
    EXPECT_EQ(admin->setInfo2(*info2), kOk);
    EXPECT_EQ(PrinterHandle::open(u"Laser")->info2()->devMode, info2->devMode);

    EXPECT_EQ(admin->control(PRINTER_CONTROL_PAUSE), kOk);
    EXPECT_EQ(admin->info2()->status, 0x1u);
    EXPECT_EQ(admin->control(PRINTER_CONTROL_RESUME), kOk);
    EXPECT_EQ(admin->info2()->status, 0u);
    EXPECT_EQ(admin->control(9), kInvalidPrinterCommand);
    EXPECT_EQ(admin->control(PRINTER_CONTROL_PURGE), kOk);
    EXPECT_EQ(admin->info2()->jobs, 0u);
}

TEST_F(Spooler, JobsEnumerateInQueueOrderAndFollowTheirCommands) {
    auto h = PrinterHandle::open(u"Laser");
    auto jobs = h->enumJobs(0, 10);
    ASSERT_TRUE(jobs);
    ASSERT_EQ(jobs->size(), 3u);
    EXPECT_EQ((*jobs)[2].document, u"three");
    EXPECT_EQ((*jobs)[2].position, 3u);
    EXPECT_EQ((*jobs)[0].printerName, u"Laser");
    EXPECT_EQ((*jobs)[0].driverName, u"Laser Driver");
    EXPECT_EQ(h->enumJobs(1, 1)->at(0).jobId, 2u);

    EXPECT_EQ(h->controlJob(2, JOB_CONTROL_PAUSE), kOk);
    EXPECT_EQ(h->enumJobs(0, 3)->at(1).status, 0x1u);
    EXPECT_EQ(h->controlJob(2, JOB_CONTROL_RESUME), kOk);
    EXPECT_EQ(h->enumJobs(0, 3)->at(1).status, 0u);
    EXPECT_EQ(h->controlJob(2, JOB_CONTROL_DELETE), kOk);
    EXPECT_EQ(h->enumJobs(0, 3)->size(), 2u);
    EXPECT_EQ(h->controlJob(99, JOB_CONTROL_CANCEL), kInvalidParameter);

    // Moving a job needs administration; positions outside the queue are refused.
    auto job = h->job1(3);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->position, 2u);
    job->position = 1;
    EXPECT_EQ(h->setJob1(*job), kAccessDenied);
    auto admin = PrinterHandle::open(u"Laser", PRINTER_ACCESS_ADMINISTER);
    EXPECT_EQ(admin->setJob1(*job), kOk);
    EXPECT_EQ(h->enumJobs(0, 3)->at(0).jobId, 3u);
    job->position = 0;
    EXPECT_EQ(admin->setJob1(*job), kInvalidParameter);
    job->position = 3;
    EXPECT_EQ(admin->setJob1(*job), kInvalidParameter);
}

TEST_F(Spooler, AJobsLevelOneRecordHoldsTheFieldsOfItsLevelTwoRecord) {
    ASSERT_TRUE(describeMachine(R"({
      "printers": [{"device": "Laser", "port": "USB001", "printer": "Hall Laser", "jobs": [
        {"id": 4, "document": "four"},
        {"id": 7, "document": "seven", "user": "kim", "machine": "\\\\desk", "datatype": "RAW",
         "statusText": "Waiting", "status": 24, "priority": 9, "totalPages": 3, "pagesPrinted": 2,
         "size": 5000, "submitted": "2026-01-31T23:30:00Z"}]}]
})"));
    auto h = PrinterHandle::open(u"Laser");
    ASSERT_TRUE(h);
    const JobInfo2 two = h->enumJobs(0, 2)->at(1);
    const auto one = h->job1(7);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->jobId, 7u);
    EXPECT_EQ(one->printerName, u"Hall Laser");
    EXPECT_EQ(one->machineName, u"\\\\desk");
    EXPECT_EQ(one->userName, u"kim");
    EXPECT_EQ(one->document, u"seven");
    EXPECT_EQ(one->datatype, u"RAW");
    EXPECT_EQ(one->statusText, u"Waiting");
    EXPECT_EQ(one->status, 24u);
    EXPECT_EQ(one->priority, 9u);
    EXPECT_EQ(one->position, 2u);
    EXPECT_EQ(one->totalPages, 3u);
    EXPECT_EQ(one->pagesPrinted, 2u);
    EXPECT_EQ(one->submitted.year, 2026);
    EXPECT_EQ(one->submitted.minute, 30);
    EXPECT_TRUE(one->submitted == two.submitted);
    // The same record as the level-2 one, field for field.
    const JobInfo1 projected = jobInfo1Of(two);
    EXPECT_EQ(projected.printerName, one->printerName);
    EXPECT_EQ(projected.machineName, one->machineName);
    EXPECT_EQ(projected.statusText, one->statusText);
    EXPECT_EQ(projected.position, one->position);
    EXPECT_EQ(projected.totalPages, one->totalPages);
    EXPECT_EQ(h->job1(8).error, kInvalidParameter);
}

TEST_F(Spooler, DefaultPrinterGetAndSet) {
    EXPECT_EQ(*getDefaultPrinter(), u"Laser");
    EXPECT_EQ(setDefaultPrinter(u"shared"), kOk);
    EXPECT_EQ(*getDefaultPrinter(), u"Shared") << "stored with the installed spelling";
    EXPECT_EQ(defaultPrinterInfo2()->portName, u"\\\\srv\\q");
    EXPECT_EQ(setDefaultPrinter(u"Nobody"), kInvalidPrinterName);
    EXPECT_EQ(*getDefaultPrinter(), u"Shared");

    // The default attribute written at level 2 makes a printer the default, as old systems do.
    auto admin = PrinterHandle::open(u"Laser", PRINTER_ALL_ACCESS);
    auto info = admin->info2();
    info->attributes |= 0x4;
    EXPECT_EQ(admin->setInfo2(*info), kOk);
    EXPECT_EQ(*getDefaultPrinter(), u"Laser");

    ASSERT_TRUE(describeMachine(R"({"printers": [{"device": "A"}]})"));
    EXPECT_EQ(getDefaultPrinter().error, 2u);
}

TEST_F(Spooler, PortsAndTheirInjectedFailure) {
    auto ports = enumPorts();
    ASSERT_TRUE(ports);
    ASSERT_EQ(ports->size(), 1u);
    EXPECT_EQ((*ports)[0].monitorName, u"USB Monitor");
    EXPECT_EQ((*ports)[0].portType, 3u);
    ASSERT_TRUE(describeMachine(R"({"enumPortsError": 1722})"));
    EXPECT_EQ(enumPorts().error, 1722u);
}

TEST_F(Spooler, CallHookSeesEveryCallInOrder) {
    std::vector<std::string> calls;
    setCallHook([&](std::string_view call) { calls.emplace_back(call); });
    auto h = PrinterHandle::open(u"Laser");
    h->info2();
    h->enumJobs(0, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"open", "info2", "enumJobs"}));
}

}  // namespace

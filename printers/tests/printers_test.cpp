#include "printers/printers.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "platform/system/description.h"
#include "platform/system/version.h"
#include "platform/testing/temp_machine.h"
#include "platform/text/common.h"
#include "strings/strings.h"

using namespace printers;
using platform::system::describeMachine;
using platform::system::loadMachine;
using platform::system::updateMachine;

namespace {

// A kiosk as the printer dialog meets it.
constexpr const char* kKiosk = R"({
  "defaultPrinter": "HP LaserJet",
  "printers": [
    {"device": "HP LaserJet", "port": "USB001", "driver": "HP Universal", "attributes": "0x40",
     "comment": "front desk", "location": "hall", "priority": 2, "averagePPM": 20,
     "devMode": {"deviceName": "HP LaserJet", "orientation": 1, "color": 2, "copies": 1},
     "jobs": [{"id": 26, "document": "a.pdf", "size": 50000, "totalPages": 4},
              {"id": 7, "document": "b.pdf", "size": 100, "totalPages": 1}]},
    {"device": "\\\\srv\\Laser 5", "printer": "\\\\srv\\Laser 5", "server": "\\\\srv",
     "share": "Laser 5", "port": "Ne00:", "attributes": "0x10", "canAdminister": false},
    {"device": "Odd", "printer": "\\\\srv\\x", "server": "srv", "port": "LPT1:",
     "attributes": "0x18"},
    {"device": "Queue", "port": "\\\\srv\\q", "attributes": 0},
    {"device": "File", "port": "FILE:", "attributes": "0x40"},
    {"device": "file lower", "port": "file:"},
    {"device": "Pdf", "port": "Ne01:FILE:x"},
    {"device": "Broken", "port": "LPT2:", "getError": 1801},
    {"device": "Mystery", "port": "LPT3:", "getError": 4242}
  ]
})";

class Printers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(describeMachine(kKiosk));
        vistrel::setLanguage(vistrel::Language::English);
    }
    void TearDown() override {
        vistrel::setLanguage(std::nullopt);
        platform::system::resetOsVersion();
        platform::spooler::setCallHook({});
    }
    static CPrinterInfo printer(std::u16string_view name) {
        CPrinterInfo p;
        p.setDeviceName(name);
        return p;
    }
    platform::testing::TempMachine machine_;
};

TEST_F(Printers, RecordFieldsAndDerivedMembers) {
    struct Case {
        const char16_t* device;
        const char16_t* displayName;
        bool network, toFile, local, shared;
    } cases[] = {
        {u"HP LaserJet", u"HP LaserJet", false, false, true, false},
        {u"\\\\srv\\Laser 5", u"Laser 5 on srv", true, false, false, false},
        {u"Odd", u"Odd", true, false, false, true},  // a server name without "\\"
        {u"Queue", u"Queue", true, false, false, false},
        {u"File", u"File", false, true, true, false},
        {u"file lower", u"file lower", false, false, true, false},  // "FILE:" in capitals only
        {u"Pdf", u"Pdf", false, true, true, false},
    };
    for (const auto& c : cases) {
        CPrinterInfo p = printer(c.device);
        SCOPED_TRACE(
            std::string(c.device, c.device + std::char_traits<char16_t>::length(c.device)));
        EXPECT_EQ(p.DisplayName(), c.displayName);
        EXPECT_EQ(p.IsNetwork(), c.network);
        EXPECT_EQ(p.IsToFile(), c.toFile);
        EXPECT_EQ(p.IsLocal(), c.local);
        EXPECT_EQ(p.IsShared(), c.shared);
        EXPECT_EQ(p.GetPrinterError(), 0u);
    }
    CPrinterInfo hp = printer(u"hp laserjet");
    EXPECT_EQ(hp.DeviceName(), u"hp laserjet");
    EXPECT_EQ(hp.PrinterName(), u"HP LaserJet");
    EXPECT_EQ(hp.PortName(), u"USB001");
    EXPECT_EQ(hp.DriverName(), u"HP Universal");
    EXPECT_EQ(hp.Comment(), u"front desk");
    EXPECT_EQ(hp.Location(), u"hall");
    EXPECT_EQ(hp.Priority(), 2u);
    EXPECT_EQ(hp.AveragePPM(), 20u);
    EXPECT_EQ(hp.PrintProcessor(), u"winprint");
    EXPECT_EQ(hp.DEVMODE().DeviceName(), u"HP LaserJet");
    EXPECT_EQ(hp.DEVMODE().Color(), 2);
    EXPECT_EQ(hp.Jobs().Count(), 2);
}

TEST_F(Printers, CanAdministerFollowsTheUsersRights) {
    EXPECT_TRUE(printer(u"HP LaserJet").CanAdminister());
    EXPECT_FALSE(printer(u"\\\\srv\\Laser 5").CanAdminister());
    EXPECT_FALSE(printer(u"Not Installed").CanAdminister());
    // As the privileged operations ask: a fresh object, the name, one answer.
    CPrinterInfo fresh;
    fresh.setDeviceName(u"Queue");
    EXPECT_TRUE(fresh.CanAdminister());
}

TEST_F(Printers, StatusTextForExactValuesAndCombinations) {
    struct Case {
        std::uint32_t status;
        std::u16string english, korean;
    } cases[] = {
        {0, u"Ready", u"준비됨"},
        {0x1, u"Paused", u"일시 중지됨"},
        {0x8000, u"Initializing", u"초기화중"},
        {0x800, u"Output Bill Full", u"Output Bill Full"},
        {0x20000, u"Toner Low", u"토너 부족"},
        {0x80000, u"Page too Complex", u"Page too Complex"},
        {0x800000, u"Unable to connect", u"연결할 수 없음"},
        {0x1000000, u"Power Save Mode", u"절전 모드"},
        {0x480, u"480", u"480"},  // a combination is no row: its hexadecimal digits
        {0x3, u"3", u"3"},
        {0x2000000, u"2000000", u"2000000"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(updateMachine([&](auto& m) { m.printers[0].status = c.status; }));
        CPrinterInfo p = printer(u"HP LaserJet");
        EXPECT_EQ(p.StatusText(), c.english) << c.status;
        EXPECT_EQ(p.IsPaused(), (c.status & 1) != 0);
        vistrel::setLanguage(vistrel::Language::Korean);
        EXPECT_EQ(p.StatusText(), c.korean) << c.status;
        vistrel::setLanguage(vistrel::Language::English);
    }
}

TEST_F(Printers, FailedReadsShowTheErrorOfTheCallThatFailed) {
    EXPECT_EQ(printer(u"Broken").StatusText(), u"The printer name is invalid.");
    EXPECT_EQ(printer(u"Broken").GetPrinterError(), 1801u);
    EXPECT_EQ(printer(u"Mystery").StatusText(), u"Error (4242) not defined.");

    // A printer that is not installed does not read "Ready".
    CPrinterInfo p = printer(u"Not Installed");
    EXPECT_EQ(p.GetPrinterError(), 1801u);
    EXPECT_EQ(p.StatusText(), u"The printer name is invalid.");
    EXPECT_EQ(p.PortName(), u"");
    // Reused for an installed printer, the object forgets the old error.
    p.setDeviceName(u"HP LaserJet");
    EXPECT_EQ(p.GetPrinterError(), 0u);
    EXPECT_EQ(p.StatusText(), u"Ready");
    // A reused object whose printer disappears shows why, not the old record.
    ASSERT_TRUE(updateMachine([](auto& m) { m.printers[0].openError = 5; }));
    p.Refresh();
    EXPECT_EQ(p.StatusText(), u"Access is denied.");
    EXPECT_EQ(p.PortName(), u"");
}

TEST_F(Printers, DefaultPrinterReadAndSet) {
    CPrinterInfo hp = printer(u"hp LASERJET");
    EXPECT_TRUE(hp.IsDefault()) << "compared without case";
    CPrinterInfo queue = printer(u"Queue");
    EXPECT_FALSE(queue.IsDefault());
    queue.setIsDefault(false);
    EXPECT_EQ(loadMachine().defaultPrinter, u"HP LaserJet") << "let False changes nothing";
    queue.setIsDefault(true);
    EXPECT_TRUE(queue.IsDefault());
    EXPECT_FALSE(hp.IsDefault());
    EXPECT_EQ(loadMachine().defaultPrinter, u"Queue") << "seen by every process";

    // Older systems: the profile entry (NT 4) and the default attribute (9x).
    platform::system::overrideOsVersion(platform::system::OsVersion{4, 0, 1381, 2, u""});
    EXPECT_TRUE(queue.IsDefault());
    hp.setIsDefault(true);
    EXPECT_TRUE(hp.IsDefault());
    EXPECT_EQ(loadMachine().defaultPrinter, u"HP LaserJet");
    platform::system::overrideOsVersion(platform::system::OsVersion{4, 10, 2222, 1, u""});
    CPrinterInfo file = printer(u"File");
    file.setIsDefault(true);
    EXPECT_TRUE(file.IsDefault());
    EXPECT_TRUE(loadMachine().printers[4].attributes & 0x4);
}

TEST_F(Printers, PrinterControlNeedsAdministration) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    EXPECT_TRUE(hp.ControlPause());
    EXPECT_TRUE(hp.IsPaused()) << "refreshed after the command";
    EXPECT_TRUE(hp.ControlResume());
    EXPECT_FALSE(hp.IsPaused());
    EXPECT_TRUE(hp.ControlPurge());
    EXPECT_EQ(hp.Jobs().Count(), 0);
    EXPECT_FALSE(printer(u"\\\\srv\\Laser 5").ControlPause());
    EXPECT_FALSE(printer(u"Nobody").ControlPurge());

    std::u16string shown;
    CPrinterInfo::setPropertiesDialogHook(
        [&](const std::u16string& d, std::intptr_t) { shown = d; });
    printer(u"\\\\srv\\Laser 5").ShowPropertiesDialog(0);
    EXPECT_EQ(shown, u"\\\\srv\\Laser 5") << "falls back to the use right";
    CPrinterInfo::setPropertiesDialogHook({});
}

TEST_F(Printers, JobsAreKeyedByHexadecimalId) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    CPrinterJobs& jobs = hp.Jobs();
    ASSERT_EQ(jobs.Count(), 2);
    ASSERT_TRUE(jobs.Item(u"1A"));
    EXPECT_EQ(jobs.Item(u"1A")->JobId(), 26u);
    EXPECT_EQ(jobs.Item(u"1a")->Document(), u"a.pdf");
    EXPECT_EQ(jobs.Item(u"7")->JobId(), 7u);
    EXPECT_EQ(jobs.Item(1)->JobId(), 26u);
    EXPECT_EQ(jobs.Item(2)->Position(), 2u);
    EXPECT_EQ(jobs.Item(99), nullptr);
    EXPECT_EQ(jobs.Item(0), nullptr);
    EXPECT_EQ(jobs.Item(u"26"), nullptr);
    EXPECT_EQ(CPrinterJobs::keyOf(0xABCDEF), u"ABCDEF");
}

TEST_F(Printers, RefreshKeepsTheLargestSizeAndPageCount) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    ASSERT_TRUE(updateMachine([](auto& m) {
        m.printers[0].jobs[0].size = 20000;
        m.printers[0].jobs[0].totalPages = 9;
        m.printers[0].jobs.erase(m.printers[0].jobs.begin() + 1);
    }));
    hp.Jobs().Refresh();
    ASSERT_EQ(hp.Jobs().size(), 1u);
    auto job = hp.Jobs().Item(u"1A");
    EXPECT_EQ(job->Size(), 20000u);
    EXPECT_EQ(job->SizeMax(), 50000u);
    EXPECT_EQ(job->TotalPages(), 9u);
    EXPECT_EQ(job->TotalPagesMax(), 9u);
    EXPECT_EQ(hp.Jobs().Item(u"7"), nullptr) << "a finished job leaves the collection";

    ASSERT_TRUE(updateMachine([](auto& m) { m.printers[0].jobs.clear(); }));
    EXPECT_EQ(hp.Jobs().Count(), 0);
    EXPECT_EQ(hp.Jobs().size(), 0u);

    CPrinterJobs gone;
    gone.setDeviceName(u"Not Installed");
    EXPECT_EQ(gone.Count(), 0);
}

TEST_F(Printers, CountAnswersTheSpoolersNumberEvenWhenTheQueueMovesMeanwhile) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    platform::system::DescribedJob extra;
    extra.id = 8;
    ASSERT_TRUE(updateMachine([&](auto& m) { m.printers[0].jobs.push_back(extra); }));
    // A job finishes between the count and the enumeration.
    bool done = false;
    platform::spooler::setCallHook([&](std::string_view call) {
        if (call == "enumJobs" && !done) {
            done = true;
            updateMachine([](auto& m) { m.printers[0].jobs.pop_back(); });
        }
    });
    EXPECT_EQ(hp.Jobs().Count(), 3);
    EXPECT_EQ(hp.Jobs().size(), 2u);
}

TEST_F(Printers, JobControlAndPositions) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    CPrinterJobs& jobs = hp.Jobs();
    EXPECT_TRUE(jobs.ControlPause(7));
    EXPECT_TRUE(jobs.Item(u"7")->IsPaused());
    EXPECT_TRUE(jobs.ControlResume(7));
    EXPECT_FALSE(jobs.Item(u"7")->IsPaused());
    EXPECT_TRUE(jobs.PositionMoveUp(7));
    jobs.Refresh();
    EXPECT_EQ(jobs.Item(1)->JobId(), 7u);
    EXPECT_FALSE(jobs.PositionMoveUp(7)) << "no position before the first";
    EXPECT_TRUE(jobs.PositionMoveDown(7));
    jobs.Refresh();
    EXPECT_EQ(jobs.Item(2)->JobId(), 7u);
    EXPECT_TRUE(jobs.ControlCancel(26));
    EXPECT_EQ(jobs.Count(), 1);
    EXPECT_FALSE(jobs.ControlCancel(26));

    CPrinterJobs shared;
    shared.setDeviceName(u"\\\\srv\\Laser 5");
    EXPECT_FALSE(shared.PositionMoveDown(1)) << "moving needs administration";
}

TEST_F(Printers, JobStatusTexts) {
    struct Case {
        std::uint32_t status;
        const char16_t* spoolerText;
        std::u16string text;
    } cases[] = {
        {0x1 | 0x2 | 0x10, u"", u"Printer Error - Printing"},
        {0x18, u"", u"Spooling - Printing"},
        {0x1 | 0x400, u"", u"User Intervention Required"},
        {0x2 | 0x1, u"", u"Printer Error"},
        {0x1, u"", u"Paused"},
        {0x0, u"", u""},
        {0x1000 | 0x2000, u"", u""},
        {0x7FC, u"",
         u"User Intervention Required - Offline - Paper Out - Deleting - Spooling - "
         u"Printing - Printed - Deleted - Blocked"},
        {0x820, u"", u"Offline - Restart"},
        {0x18, u"Waiting for toner", u"Waiting for toner"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(updateMachine([&](auto& m) {
            m.printers[0].jobs[0].status = c.status;
            m.printers[0].jobs[0].statusText = c.spoolerText;
        }));
        CPrinterInfo hp = printer(u"HP LaserJet");
        EXPECT_EQ(hp.Jobs().Item(u"1A")->StatusText(), c.text) << c.status;
    }
    vistrel::setLanguage(vistrel::Language::Korean);
    ASSERT_TRUE(updateMachine([&](auto& m) {
        m.printers[0].jobs[0].status = 0x18;
        m.printers[0].jobs[0].statusText.clear();
    }));
    EXPECT_EQ(printer(u"HP LaserJet").Jobs().Item(u"1A")->StatusText(), u"스풀링 - 인쇄중");
}

class TimeZone {
  public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

TEST_F(Printers, SubmissionTimeIsLocalWithTheOffsetOfThatInstant) {
    ASSERT_TRUE(describeMachine(R"({"printers": [{"device": "P", "jobs": [
        {"id": 1, "submitted": "2026-01-31T23:30:00.999Z"},
        {"id": 2, "submitted": "2026-01-15T12:00:00Z"},
        {"id": 3, "submitted": "2026-07-15T12:00:00Z"}]}]})"));
    {
        TimeZone seoul("Asia/Seoul");
        CPrinterInfo p = printer(u"P");
        EXPECT_EQ(p.Jobs().Item(1)->Submitted(), (DateTime{2026, 2, 1, 8, 30, 0}));
    }
    {
        // Winter and summer time, whatever today's offset is.
        TimeZone berlin("Europe/Berlin");
        CPrinterInfo p = printer(u"P");
        EXPECT_EQ(p.Jobs().Item(2)->Submitted(), (DateTime{2026, 1, 15, 13, 0, 0}));
        EXPECT_EQ(p.Jobs().Item(3)->Submitted(), (DateTime{2026, 7, 15, 14, 0, 0}));
    }
}

TEST_F(Printers, AJobWithoutSubmissionTimeShowsTheStartOfTheCalendar) {
    ASSERT_TRUE(describeMachine(R"({"printers": [{"device": "P", "jobs": [{"id": 1}]}]})"));
    TimeZone seoul("Asia/Seoul");
    CPrinterInfo p = printer(u"P");
    EXPECT_EQ(p.Jobs().Item(1)->Submitted(), (DateTime{1601, 1, 1, 0, 0, 0}));
}

TEST_F(Printers, ErrorTextsFollowTheUserInterfaceLanguage) {
    const char* old = std::getenv("LC_ALL");
    std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("LC_ALL", "ko_KR.UTF-8", 1);
    EXPECT_EQ(CPrinterInfo::ApiErrorText(5), u"액세스가 거부되었습니다.");
    EXPECT_EQ(CPrinterInfo::ApiErrorText(1801), u"프린터 이름이 잘못되었습니다.");
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(CPrinterInfo::ApiErrorText(1801), u"The printer name is invalid.");
    if (saved)
        ::setenv("LC_ALL", saved->c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

// A device-mode record whose every field holds a value of its own.
std::vector<std::uint8_t> fixture() {
    std::vector<std::uint8_t> b(124, 0);
    auto put16 = [&](std::size_t at, std::uint16_t v) {
        b[at] = std::uint8_t(v);
        b[at + 1] = std::uint8_t(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    const std::string name = "  Laser 5  ";
    std::copy(name.begin(), name.end(), b.begin());
    for (std::size_t i = name.size(); i < 32; ++i) b[i] = ' ';  // no NUL at all
    put16(32, 0x0401);
    put16(34, 0x0203);
    put16(36, 124);
    put16(38, 0);
    put32(40, 0x0001FFFF);
    std::int16_t v = 1;
    for (std::size_t at = 44; at <= 68; at += 2) put16(at, std::uint16_t(v++));  // 1..13
    put16(58, std::uint16_t(-4));  // print quality DMRES_HIGH
    const std::string form = "A4";
    std::copy(form.begin(), form.end(), b.begin() + 70);
    put16(102, 96);
    put32(104, 24);
    put32(108, 4960);
    put32(112, 7016);
    put32(116, 2);
    put32(120, 60);
    return b;
}

TEST(DevMode, FieldsAtTheirOffsets) {
    CDevMode d;
    auto bytes = fixture();
    d.SetDevModePtr(&bytes);
    EXPECT_EQ(d.DeviceName(), u"Laser 5") << "32 bytes without NUL: trimmed";
    EXPECT_EQ(d.SpecVersion(), 0x0401);
    EXPECT_EQ(d.DriverVersion(), 0x0203);
    EXPECT_EQ(d.Fields(), 0x0001FFFF);
    EXPECT_EQ(d.Orientation(), 1);
    EXPECT_EQ(d.PaperSize(), 2);
    EXPECT_EQ(d.PaperLength(), 3);
    EXPECT_EQ(d.PaperWidth(), 4);
    EXPECT_EQ(d.ScaleFactor(), 5);
    EXPECT_EQ(d.Copies(), 6);
    EXPECT_EQ(d.DefaultSource(), 7);
    EXPECT_EQ(d.PrintQuality(), -4);
    EXPECT_EQ(d.Color(), 9);
    EXPECT_EQ(d.Duplex(), 10);
    EXPECT_EQ(d.YResolution(), 11);
    EXPECT_EQ(d.TTOption(), 12);
    EXPECT_EQ(d.Collate(), 13);
    EXPECT_EQ(d.FormName(), u"A4");
    EXPECT_EQ(d.LogPixels(), 96);
    EXPECT_EQ(d.BitsPerPel(), 24);
    EXPECT_EQ(d.PelsWidth(), 4960);
    EXPECT_EQ(d.PelsHeight(), 7016);
    EXPECT_EQ(d.NUP(), 2);
    EXPECT_EQ(d.DisplayFrequency(), 60);

    bytes[2] = 0;  // a NUL cuts the name, spaces before it stay
    d.SetDevModePtr(&bytes);
    EXPECT_EQ(d.DeviceName(), u"  ");
    d.SetDevModePtr(nullptr);
    EXPECT_EQ(d.DeviceName(), u"  ") << "no record: nothing changes";
}

TEST(DevMode, ShortRecordsAreCopiedAsFarAsTheyGo) {
    auto full = fixture();
    CDevMode d;
    d.SetDevModePtr(&full);

    std::vector<std::uint8_t> shortRecord(full.begin(), full.begin() + 60);
    d.SetDevModePtr(&shortRecord);
    EXPECT_EQ(d.Copies(), 6);
    EXPECT_EQ(d.PrintQuality(), -4);  // bytes 58-59, the last ones held
    EXPECT_EQ(d.Color(), 0) << "beyond the record: zero, not the previous record";
    EXPECT_EQ(d.FormName(), u"");
    EXPECT_EQ(d.DisplayFrequency(), 0);

    auto sized = full;
    sized[36] = 70;  // the record says it ends after the collate field
    d.SetDevModePtr(&sized);
    EXPECT_EQ(d.Collate(), 13);
    EXPECT_EQ(d.FormName(), u"");
    EXPECT_EQ(d.LogPixels(), 0);

    CDevMode fresh;
    EXPECT_EQ(fresh.DeviceName(), u"");
    EXPECT_EQ(fresh.Fields(), 0);
}

TEST_F(Printers, JobWithoutDeviceModeReadsZeros) {
    CPrinterInfo hp = printer(u"HP LaserJet");
    const CDevMode& d = hp.Jobs().Item(1)->DEVMODE();
    EXPECT_EQ(d.DeviceName(), u"");
    EXPECT_EQ(d.Orientation(), 0);
    EXPECT_EQ(d.Fields(), 0);
}

TEST_F(Printers, CollectionListsEveryPrinterInOrderAndRaisesAddedForEach) {
    std::vector<std::u16string> added;
    CPrinters all([&](const std::u16string& name) { added.push_back(name); });
    ASSERT_EQ(all.Count(), 9);
    EXPECT_EQ(added.size(), 9u);
    EXPECT_EQ(added[1], u"\\\\srv\\Laser 5");
    EXPECT_EQ(all.Item(u"QUEUE").PortName(), u"\\\\srv\\q");
    EXPECT_EQ((*all.begin())->DeviceName(), u"HP LaserJet");
    EXPECT_THROW(all.Item(u"Nobody"), platform::text::InvalidCall);
    EXPECT_FALSE(all.PrintersCollectionBad());
    all.Refresh();
    EXPECT_EQ(added.size(), 18u) << "raised again for printers that were there before";

    ASSERT_TRUE(describeMachine(R"({"printers": []})"));
    all.Refresh();
    EXPECT_EQ(all.Count(), 0);
}

TEST_F(Printers, LongPrinterListIsFlaggedBad) {
    // The list counts each name and its NUL: 1022 characters pass, 1023 do not.
    for (auto [length, bad] : {std::pair{1021, false}, {1022, true}, {509, false}, {2000, true}}) {
        std::string name(std::size_t(length), 'p');
        ASSERT_TRUE(describeMachine(R"({"printers": [{"device": ")" + name + R"("}]})"));
        CPrinters all;
        EXPECT_EQ(all.PrintersCollectionBad(), bad) << length;
        EXPECT_EQ(all.Count(), 1);
    }
}

}  // namespace

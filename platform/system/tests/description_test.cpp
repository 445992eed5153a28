#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/system/description.h"
#include "platform/system/fileversion.h"
#include "platform/system/messages.h"
#include "platform/system/network.h"
#include "platform/system/profile.h"
#include "platform/system/version.h"
#include "platform/testing/children.h"
#include "platform/testing/temp_machine.h"

using namespace platform::system;

namespace {

// A kiosk with a local laser printer, a network connection and a PDF writer.
constexpr const char* kKiosk = R"({
  "os": {"major": 6, "minor": 1, "build": 7601},
  "defaultPrinter": "HP LaserJet",
  "printers": [
    {"device": "HP LaserJet", "port": "USB001", "driver": "HP Universal", "attributes": "0x840",
     "dpi": [600, 300], "devMode": {"deviceName": "HP LaserJet", "orientation": 2, "copies": 3,
                                   "color": 1, "printQuality": -4, "formName": "A4"},
     "jobs": [{"id": 26, "document": "a.pdf", "size": 50000, "totalPages": 2,
               "submitted": "2026-01-31T23:30:00Z"}]},
    {"device": "\\\\srv\\Laser 5", "server": "\\\\srv", "port": "Ne00:", "attributes": 16,
     "canAdminister": false},
    {"device": "Acme PDF", "port": "PDFPort:", "driver": "Acme PDF Writer", "openError": 5}
  ],
  "ports": [{"name": "USB001", "monitor": "USB Monitor", "description": "USB", "type": 3},
            {"name": "PDFPort:", "monitor": "Acme Port Monitor", "type": 1}],
  "drivers": [{"name": "HP Universal", "driverPath": "C:\\drv\\HPU.DLL",
               "dataFile": "C:\\drv\\HPU.GPD"}],
  "versionBlocks": {"C:\\drv\\HPU.DLL": {"translations": [[1042, 1200]],
                                         "strings": {"CompanyName": "HP"}},
                    "C:\\drv\\HPU.GPD": null},
  "netUse": [{"local": "LPT1:", "remote": "\\\\srv\\q"}],
  "services": {"keep": "this"}
})";

TEST(MachineDescription, DefaultMachineHasOneAdmittedPdfPrinter) {
    platform::testing::TempMachine machine;
    MachineDescription m = loadMachine();
    ASSERT_EQ(m.printers.size(), 1u);
    const DescribedPrinter& p = m.printers[0];
    EXPECT_EQ(m.defaultPrinter, p.deviceName);
    EXPECT_EQ(p.portName, u"USB001");
    EXPECT_EQ(p.output, "print");
    EXPECT_TRUE(p.attributes & 0x40) << "a local printer";
    EXPECT_FALSE(p.attributes & 0x8) << "not shared";
    const DescribedDriver* d = m.findDriver(p.driverName);
    ASSERT_NE(d, nullptr);
    auto block = fileVersionBlock(d->driverPath);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->strings.at(u"CompanyName"), u"Tessel");
    bool portListed = false;
    for (const auto& port : m.ports) portListed |= port.name == p.portName;
    EXPECT_TRUE(portListed);
    EXPECT_FALSE(std::filesystem::exists(machine.path() / "machine.json"))
        << "reading does not write the default machine";
}

TEST(MachineDescription, ReadsAKioskFromAFewLinesOfJson) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    MachineDescription m = loadMachine();
    ASSERT_EQ(m.printers.size(), 3u);
    const DescribedPrinter& hp = m.printers[0];
    EXPECT_EQ(hp.attributes, 0x840u);
    EXPECT_EQ(hp.dpiX, 600u);
    EXPECT_EQ(hp.dpiY, 300u);
    EXPECT_EQ(hp.effectivePrinterName(), u"HP LaserJet");
    ASSERT_TRUE(hp.devMode);
    const auto& dm = *hp.devMode;
    ASSERT_EQ(dm.size(), kDevModeSize);
    EXPECT_EQ(std::string(dm.begin(), dm.begin() + 11), "HP LaserJet");
    EXPECT_EQ(dm[44], 2);                     // orientation
    EXPECT_EQ(dm[54], 3);                     // copies
    EXPECT_EQ(dm[58] | dm[59] << 8, 0xFFFC);  // print quality -4
    EXPECT_EQ(dm[40] | dm[41] << 8 | dm[42] << 16, 0x10000 | 0x800 | 0x400 | 0x100 | 0x1)
        << "the field mask names the fields given";
    EXPECT_EQ(std::string(dm.begin() + 70, dm.begin() + 72), "A4");
    ASSERT_EQ(hp.jobs.size(), 1u);
    EXPECT_EQ(hp.jobs[0].submitted, (SystemTime{2026, 1, 6, 31, 23, 30, 0, 0}));
    EXPECT_FALSE(m.printers[1].canAdminister);
    EXPECT_EQ(m.printers[2].openError, 5u);
    EXPECT_EQ(osVersion()->major, 6u) << "the os entry keeps its format";

    EXPECT_EQ(fileVersionBlock(u"c:/DRV/hpu.dll")->strings.at(u"CompanyName"), u"HP")
        << "paths compare without case, either separator";
    EXPECT_FALSE(fileVersionBlock(u"C:\\drv\\HPU.GPD")) << "described without a block";
    EXPECT_FALSE(fileVersionBlock(u"C:\\drv\\OTHER.DLL"));
    auto block = *fileVersionBlock(u"C:\\drv\\HPU.DLL");
    EXPECT_EQ(versionString(block, u"041204B0", u"companyname"), u"HP");
    EXPECT_FALSE(versionString(block, u"040904B0", u"CompanyName")) << "another translation";
    EXPECT_FALSE(versionString(block, u"041204B0", u"ProductName"));
}

TEST(MachineDescription, MalformedSnippetsAreRefusedWithTheReason) {
    platform::testing::TempMachine machine;
    const char* bad[] = {
        R"({"printers": [{"port": "USB001"}]})",  // no device name
        R"({"printers": [{"device": "A", "attributes": "lots"}]})",
        R"({"printers": [{"device": "A", "devMode": "ABC"}]})",  // odd hex
        R"({"ports": {"name": "x"}})",
        R"({"printers": [{"device": "A", "jobs": [{"submitted": "yesterday"}]}]})",
        R"([1, 2])",
    };
    for (const char* json : bad) EXPECT_THROW(describeMachine(json), std::invalid_argument) << json;
}

TEST(MachineDescription, DamagedFileReadsEmptyAndRefusesChanges) {
    platform::testing::TempMachine machine;
    std::ofstream(machine.path() / "machine.json") << "{ not json";
    EXPECT_TRUE(loadMachine().printers.empty());
    EXPECT_FALSE(updateMachine([](MachineDescription& m) { m.printers.clear(); }));
    std::ifstream in(machine.path() / "machine.json");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "{ not json");
}

TEST(MachineDescription, UpdatesKeepUnknownEntriesAndRoundTrip) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    ASSERT_TRUE(updateMachine([](MachineDescription& m) { m.printers[0].attributes |= 0x1000; }));
    std::ifstream in(machine.path() / "machine.json");
    auto doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc["services"]["keep"], "this");
    EXPECT_EQ(doc["os"]["major"], 6);
    MachineDescription m = loadMachine();
    EXPECT_EQ(m.printers[0].attributes, 0x1840u);
    // What is written reads back the same.
    EXPECT_EQ(machineToJson(machineFromJson(machineToJson(m))), machineToJson(m));
}

TEST(MachineDescription, AJobWithoutASubmissionTimeKeepsItThroughWrites) {
    // A job without "submitted" has the unset time; writing and reading it again must not turn
    // the zeros into a date (they once came back as the year 65535).
    MachineDescription m = machineFromJson(R"({"printers":[{"device":"A","jobs":[{"id":1}]}]})");
    ASSERT_EQ(m.printers[0].jobs[0].submitted, SystemTime{});
    MachineDescription again = machineFromJson(machineToJson(m));
    EXPECT_EQ(again.printers[0].jobs[0].submitted, SystemTime{});
    EXPECT_EQ(machineToJson(again), machineToJson(m));
    // A set time still reads as written.
    MachineDescription dated = machineFromJson(
        R"({"printers":[{"device":"A","jobs":[{"id":1,"submitted":"2026-01-31T23:30:00.250Z"}]}]})");
    const SystemTime t = dated.printers[0].jobs[0].submitted;
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 30);
    EXPECT_EQ(t.milliseconds, 250);
    EXPECT_EQ(machineFromJson(machineToJson(dated)).printers[0].jobs[0].submitted, t);
}

TEST(MachineDescription, ChangesOfSeparateProcessesAreNeitherLostNorTorn) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    constexpr int kProcesses = 4, kRounds = 25;
    EXPECT_EQ(platform::testing::inChildren(kProcesses,
                                            [](int) {
                                                bool ok = true;
                                                for (int i = 0; i < kRounds; ++i) {
                                                    ok &= updateMachine([](MachineDescription& m) {
                                                        m.printers[0].priority += 1;
                                                    });
                                                    // readers never see half a file
                                                    ok &= !loadMachine().printers.empty();
                                                }
                                                return ok;
                                            }),
              0);
    EXPECT_EQ(loadMachine().printers[0].priority, 1u + kProcesses * kRounds);
}

TEST(ProfileEntries, FollowThePrintersAndTheDefault) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    EXPECT_EQ(profileString(u"windows", u"DEVICE"), u"HP LaserJet,winspool,USB001");
    EXPECT_EQ(profileKeys(u"PrinterPorts"),
              (std::vector<std::u16string>{u"HP LaserJet", u"\\\\srv\\Laser 5", u"Acme PDF"}));
    EXPECT_EQ(profileString(u"PrinterPorts", u"hp laserjet"), u"winspool,USB001,15,45");
    EXPECT_EQ(profileString(u"Devices", u"Acme PDF"), u"winspool,PDFPort:");
    EXPECT_FALSE(profileString(u"PrinterPorts", u"Nothing"));

    EXPECT_TRUE(writeProfileString(u"Windows", u"device", u"acme pdf,winspool,PDFPort:"));
    EXPECT_EQ(loadMachine().defaultPrinter, u"Acme PDF");
    EXPECT_FALSE(writeProfileString(u"Windows", u"device", u"Nowhere,winspool,LPT1:"));
    EXPECT_EQ(loadMachine().defaultPrinter, u"Acme PDF");
    EXPECT_FALSE(writeProfileString(u"PrinterPorts", u"X", u"winspool,LPT1:,15,45"));

    EXPECT_TRUE(writeProfileString(u"Intl", u"sCountry", u"Korea"));
    EXPECT_EQ(profileString(u"INTL", u"scountry"), u"Korea");
    EXPECT_EQ(profileKeys(u"Intl"), std::vector<std::u16string>{u"sCountry"});
}

TEST(SystemMessages, EndWithALineBreakAndKnowThePrinterErrors) {
    EXPECT_EQ(formatMessage(1801), u"The printer name is invalid.\r\n");
    EXPECT_EQ(formatMessage(5), u"Access is denied.\r\n");
    EXPECT_FALSE(formatMessage(987654));
}

TEST(NetworkUses, ListingNamesEachConnection) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    std::string listing = netUseListing(networkUses());
    EXPECT_NE(listing.find("OK           LPT1:     \\\\srv\\q"), std::string::npos) << listing;
    EXPECT_NE(listing.find("The command completed successfully.\r\n"), std::string::npos);
    std::string longRemote =
        netUseListing({{u"OK", u"LPT2:", u"\\\\a-very-long-server-name\\queue", u"Net"}});
    EXPECT_NE(longRemote.find("\\\\a-very-long-server-name\\queue\r\n"), std::string::npos);
}

TEST(SystemMessages, KoreanInterfaceGetsKoreanTexts) {
    EXPECT_EQ(formatMessage(5, kLanguageKorean), u"액세스가 거부되었습니다.\r\n");
    EXPECT_EQ(formatMessage(1801, kLanguageKorean), u"프린터 이름이 잘못되었습니다.\r\n");
    EXPECT_EQ(formatMessage(1801, kLanguageEnglish), u"The printer name is invalid.\r\n");
    EXPECT_EQ(formatMessage(1801, kLanguageJapanese), u"The printer name is invalid.\r\n");
    // Every number with an English text has a Korean one.
    for (std::uint32_t code = 0; code < 2000; ++code) {
        auto english = formatMessage(code, kLanguageEnglish);
        auto korean = formatMessage(code, kLanguageKorean);
        ASSERT_EQ(bool(english), bool(korean)) << code;
        if (english) {
            EXPECT_NE(*english, *korean) << code;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The stored file: what it holds beyond the model, limits, and writers that lose their lock.

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(MachineFile, WriteBackKeepsWhatTheModelDoesNotRead) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(R"({
      "printers": [
        {"device": "A", "tray": {"upper": 250}, "output": 7, "attributes": "0x240",
         "jobs": [{"id": 3, "stapled": true}]},
        {"device": "B", "priority": 2}],
      "versionBlocks": [["C:\\X.DLL", null]],
      "profile": {"Intl": {"sCountry": "Korea", "iDigits": 2, "list": [1, 2]}}
    })"));
    ASSERT_TRUE(updateMachine([](MachineDescription& m) {
        m.printers[0].priority = 9;  // a change inside the printer with unknown members
        m.printers.erase(m.printers.begin() + 1);
        m.profile[u"Intl"][u"sLanguage"] = u"KOR";
    }));
    auto doc = nlohmann::json::parse(fileText(machine.path() / "machine.json"));
    const auto& a = doc["printers"][0];
    EXPECT_EQ(a["tray"], nlohmann::json({{"upper", 250}}));
    EXPECT_EQ(a["output"], 7);
    EXPECT_EQ(a["attributes"], "0x240");
    EXPECT_EQ(a["priority"], 9);
    EXPECT_EQ(a["jobs"][0]["stapled"], true);
    EXPECT_EQ(doc["printers"].size(), 1u);
    EXPECT_EQ(doc["versionBlocks"], nlohmann::json::parse(R"([["C:\\X.DLL", null]])"));
    EXPECT_EQ(doc["profile"]["Intl"]["iDigits"], 2);
    EXPECT_EQ(doc["profile"]["Intl"]["list"], nlohmann::json({1, 2}));
    EXPECT_EQ(doc["profile"]["Intl"]["sLanguage"], "KOR");
    EXPECT_EQ(loadMachine().printers[0].priority, 9u);
}

TEST(MachineFile, NumbersOutOfRangeAreRefusedNotWrapped) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"printers": [{"device": "A", "priority": 4294967297}]})", "\"priority\""},
        {R"({"printers": [{"device": "A", "status": -1}]})", "\"status\""},
        {R"({"printers": [{"device": "A", "status": "-1"}]})", "\"status\""},
        {R"({"printers": [{"device": "A", "attributes": "0x100000000"}]})", "\"attributes\""},
        {R"({"printers": [{"device": "A", "devMode": {"copies": 40000}}]})", "\"copies\""},
        {R"({"versionBlocks": {"X": {"translations": [[70000, 1200]]}}})", "\"translations\""},
    };
    for (const auto& [text, name] : cases) {
        try {
            machineFromJson(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("from"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(machineFromJson(R"({"printers": [{"device": "A", "status": 4294967295}]})")
                  .printers[0]
                  .status,
              4294967295u);
}

TEST(MachineFile, DeepNestingAndOddFilesAreRefusedNotFollowed) {
    platform::testing::TempMachine machine;
    const auto file = machine.path() / "machine.json";
    std::string deep = R"({"printers": [], "extra": )";
    for (int i = 0; i < 10000; ++i) deep += '[';
    for (int i = 0; i < 10000; ++i) deep += ']';
    deep += "}";
    EXPECT_THROW(describeMachine(deep), std::invalid_argument);
    std::ofstream(file) << deep;
    EXPECT_TRUE(loadMachine().printers.empty());
    EXPECT_FALSE(updateMachine([](MachineDescription& m) { m.defaultPrinter = u"x"; }));
    EXPECT_EQ(fileText(file), deep);
    std::filesystem::remove(file);

    // A named pipe would hang a reader, a link to an endless device would fill its memory.
    ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(5);
        bool ok = loadMachine().printers.empty() &&
                  !updateMachine([](MachineDescription& m) { m.defaultPrinter = u"x"; });
        std::filesystem::remove(file);
        std::filesystem::create_symlink("/dev/zero", file);
        ok = ok && loadMachine().printers.empty();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(MachineFile, RemovingTheLockFileLosesNoUpdate) {
    platform::testing::TempMachine machine;
    ASSERT_TRUE(describeMachine(kKiosk));
    constexpr int kProcesses = 4, kRounds = 40;
    const std::string lock = (machine.path() / "machine.lock").string();
    std::optional<platform::testing::RepeatingChild> remover(std::in_place,
                                                             [&lock] { ::unlink(lock.c_str()); });
    EXPECT_EQ(platform::testing::inChildren(kProcesses,
                                            [](int) {
                                                bool ok = true;
                                                for (int i = 0; i < kRounds; ++i)
                                                    ok &= updateMachine([](MachineDescription& m) {
                                                        m.printers[0].priority += 1;
                                                    });
                                                return ok;
                                            }),
              0);
    remover.reset();
    EXPECT_EQ(1u + kProcesses * kRounds - loadMachine().printers[0].priority, 0u)
        << "updates reported done but lost";
}

}  // namespace

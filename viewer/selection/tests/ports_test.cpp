#include "viewer/selection/ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/system/network.h"
#include "platform/text/codepage.h"
#include "selection_fixture.h"
#include "step_log.h"

using namespace vistrel;
using selection_test::capturedLog;
using selection_test::captureLog;
using selection_test::DescribedMachine;
using selection_test::kLogHead;
namespace fs = std::filesystem;

namespace {

const char* kPorts = R"({"ports": [
    {"name": "usb001", "monitor": "USB Monitor", "description": "Virtual USB", "type": 3},
    {"name": "IP_10.0.0.5", "monitor": "Standard TCP/IP Port", "type": 1},
    {"name": "LPT1:", "monitor": "Local Port", "type": 2}],
    "netUse": [{"local": "LPT1:", "remote": "\\\\srv\\q"},
               {"local": "LPT3:", "remote": "\\\\srv\\other"}]})";

// A runner that answers the described machine's listing and records the lines it was given.
struct ListingRunner {
    std::vector<std::u16string> lines;
    std::optional<std::u16string> answer;
    CommandRunner runner() {
        return [this](std::u16string_view line) -> std::optional<std::u16string> {
            lines.emplace_back(line);
            if (answer) return answer;
            return platform::text::fromAnsi(
                platform::system::netUseListing(platform::system::networkUses()));
        };
    }
};

}  // namespace

TEST(PortTypeText, SpellsTheBitsInOrder) {
    const std::pair<std::uint32_t, const char16_t*> cases[] = {
        {0, u""},
        {1, u"Write"},
        {2, u" Read"},
        {3, u"Write Read"},
        {4, u" Redirected"},
        {15, u"Write Read Redirected Network"},
        {9, u"Write Network"}};
    for (const auto& [bits, text] : cases) EXPECT_EQ(PortTypeText(bits), text) << bits;
}

TEST(GetAvailableprts, FillsThePortTableAndFindPortIgnoresCase) {
    DescribedMachine machine(kPorts);
    std::u16string server;
    GetAvailableprts(server);
    const auto& lists = moduleState().lists;
    ASSERT_EQ(lists.PortCount, 3);
    EXPECT_EQ(lists.PortTable[0].PortTypeText, u"Write Read");

    PortRecord usb = FindPort(u"USB001");
    EXPECT_EQ(usb.pPortName, u"usb001");
    EXPECT_EQ(usb.pMonitorName, u"USB Monitor");
    EXPECT_EQ(usb.pDescription, u"Virtual USB");
    EXPECT_EQ(usb.fPortType, 3u);
    EXPECT_EQ(FindPort(u"lpt1:").PortTypeText, u" Read");
    EXPECT_EQ(FindPort(u"LPT2:"), PortRecord{});
    EXPECT_EQ(FindPort(u""), PortRecord{});
    // Only the valid entries count.
    EXPECT_EQ(FindPort(lists.PortTable, 1, u"lpt1:"), PortRecord{});
}

TEST(GetAvailableprts, ASpoolerFailureKeepsTheTable) {
    DescribedMachine machine(kPorts);
    std::u16string server;
    GetAvailableprts(server);
    ASSERT_TRUE(platform::system::describeMachine(R"({"enumPortsError": 1722})"));
    GetAvailableprts(server);
    EXPECT_EQ(moduleState().lists.PortCount, 3);
    ASSERT_TRUE(platform::system::describeMachine(R"({"ports": [{"name": "COM1:"}]})"));
    GetAvailableprts(server);
    EXPECT_EQ(moduleState().lists.PortCount, 1);
    EXPECT_EQ(FindPort(u"com1:").pPortName, u"COM1:");
}

TEST(GetSystemFolder, IsTheMachinesSystemFolderWithItsSeparator) {
    DescribedMachine machine;
    const std::u16string folder = GetSystemFolder();
    EXPECT_EQ(folder, platform::text::fromUtf8((machine.path() / "system").string()) + u"/");
    EXPECT_TRUE(fs::is_directory(platform::text::toUtf8(folder)));
}

TEST(GetRealPort, AsksTheListingAndFindsThePortItself) {
    DescribedMachine machine(kPorts);
    std::ofstream(machine.systemFolder() / "net.exe") << "";
    struct Case {
        std::u16string port, trimmed, result;
    } cases[] = {
        {u"LPT1:", u"LPT1:", u"Redirected"},  // the colon and the remote path follow the name
        {u"  lpt1:  ", u"lpt1:", u"Redirected"},
        {u"LPT3", u"LPT3", u"Redirected"},
        {u"LPT2:", u"LPT2:", u""},  // the listing does not name it
        {u"USB001", u"USB001", u""},
        {u"", u"", u""},
        {u":", u":", u""},
    };
    for (auto& c : cases) {
        ListingRunner listing;
        std::u16string port = c.port;
        EXPECT_EQ(GetRealPort(port, listing.runner()), c.result) << platform::text::toUtf8(c.port);
        EXPECT_EQ(port, c.trimmed);
        // The listing runs without the port in its command line.
        for (const auto& line : listing.lines) {
            EXPECT_EQ(line, u"\"" + GetSystemFolder() + u"net.exe\" use");
            if (!c.trimmed.empty() && c.trimmed != u":") {
                EXPECT_EQ(line.find(port.substr(0, 4)), std::u16string::npos);
            }
        }
    }
    // A port named at the end of a line, with nothing after it, is not redirected.
    ListingRunner bare;
    bare.answer = u"OK     LPT5\r\n";
    std::u16string port = u"LPT5:";
    EXPECT_EQ(GetRealPort(port, bare.runner()), u"");
    // A runner that cannot run answers nothing.
    port = u"LPT1:";
    EXPECT_EQ(GetRealPort(port, [](std::u16string_view) { return std::nullopt; }), u"");
}

TEST(GetRealPort, WithoutNetCommandNothingRuns) {
    DescribedMachine machine(kPorts);
    ListingRunner listing;
    std::u16string port = u"LPT1:";
    EXPECT_EQ(GetRealPort(port, listing.runner()), u"");
    EXPECT_TRUE(listing.lines.empty());

    // net1.exe stands in for a missing net.exe.
    std::ofstream(machine.systemFolder() / "net1.exe") << "";
    EXPECT_EQ(GetRealPort(port, listing.runner()), u"Redirected");
    ASSERT_EQ(listing.lines.size(), 1u);
    EXPECT_EQ(listing.lines[0], u"\"" + GetSystemFolder() + u"net1.exe\" use");
}

TEST(GetRealPort, RunsTheMachinesNetCommand) {
    DescribedMachine machine(kPorts);
    machine.installNetCommand();
    std::u16string port = u"LPT1:";
    EXPECT_EQ(GetRealPort(port), u"Redirected");
    port = u"LPT2:";
    EXPECT_EQ(GetRealPort(port), u"");
}

TEST(GetRealPort, PortNamesReachNoShell) {
    DescribedMachine machine(kPorts);
    machine.installNetCommand();
    const fs::path marker = machine.path() / "marker";
    const std::string m = marker.string();
    const std::string names[] = {
        "LPT1\" & touch " + m + " & \"",
        "$(touch " + m + ")",
        "`touch " + m + "`",
        "LPT1:\"; touch " + m + "; echo \"",
        "LPT1:$(touch " + m + ")`touch " + m + "`",
    };
    for (const auto& name : names) {
        std::u16string port = platform::text::fromUtf8(name);
        EXPECT_EQ(GetRealPort(port), u"") << name;
        EXPECT_FALSE(fs::exists(marker)) << name;
    }
}

TEST(GetRealPort, StepLogLines) {
    DescribedMachine machine(kPorts);
    std::ofstream(machine.systemFolder() / "net.exe") << "";
    captureLog(machine.path() / "bin");
    ListingRunner listing;
    listing.answer = u"OK           LPT1:     \\\\srv\\q    Microsoft Windows Network\r\n";
    std::u16string port = u"LPT1:";
    EXPECT_EQ(GetRealPort(port, listing.runner()), u"Redirected");
    const std::string log = capturedLog();
    resetLog();
    auto line = [](int level, const std::string& text) {
        return std::string(kLogHead) + std::string(std::size_t(2 * (level + 1)), ' ') + text +
               "\r\n";
    };
    EXPECT_EQ(
        log, line(5, "GetRealPort 함수 시작") +
                 line(5, "CMD = \"" + platform::text::toUtf8(GetSystemFolder()) + "net.exe\" use") +
                 line(6, "실행 성공") +
                 line(5,
                      "실행 결과 - OK           LPT1:     \\\\srv\\q    Microsoft "
                      "Windows Network") +
                 line(5, "GetRealPort 함수 종료"));
}

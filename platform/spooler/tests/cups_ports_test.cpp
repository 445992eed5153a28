// The port numbers of the CUPS queues as the machine folder keeps them.
#include "platform/spooler/cups_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/testing/temp_machine.h"

using namespace platform::spooler::cups;

namespace {

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CupsPortNumbers, KeptInTheMachineFolderSoNoQueueRenumbersAnother) {
    platform::testing::TempMachine machine;
    const auto file = machine.path() / kPortNumbersFile;
    auto first = portNumbers({"usb://Tessel/Laser?serial=T1", "socket://10.0.0.5",
                              "parallel:/dev/null", "serial:/dev/null?baud=9600"});
    EXPECT_EQ(first, (std::map<std::string, int>{{"usb://Tessel/Laser?serial=T1", 1},
                                                 {"parallel:/dev/null", 1},
                                                 {"serial:/dev/null?baud=9600", 1}}));
    ASSERT_TRUE(std::filesystem::exists(file));
    // A queue whose device sorts first arrives; then the first one goes: nothing moves.
    auto second = portNumbers({"usb://Alpha/Jet?serial=A0", "usb://Tessel/Laser?serial=T1"});
    EXPECT_EQ(second.at("usb://Tessel/Laser?serial=T1"), 1);
    EXPECT_EQ(second.at("usb://Alpha/Jet?serial=A0"), 2);
    EXPECT_EQ(portNumbers({"usb://Alpha/Jet?serial=A0"}).at("usb://Alpha/Jet?serial=A0"), 2);
    // The device comes back with its old number; a listing that adds nothing writes nothing.
    const auto written = std::filesystem::last_write_time(file);
    const std::string before = fileText(file);
    EXPECT_EQ(portNumbers({"usb://Tessel/Laser?serial=T1"}).at("usb://Tessel/Laser?serial=T1"), 1);
    EXPECT_EQ(fileText(file), before);
    EXPECT_EQ(std::filesystem::last_write_time(file), written);
    EXPECT_NE(before.find("\"USB\""), std::string::npos) << before;
    EXPECT_NE(before.find("\"usb://Alpha/Jet?serial=A0\": 2"), std::string::npos) << before;
    // Nothing is left beside the file.
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(machine.path()))
        entries += e.path().filename().string().starts_with("cups-ports") ? 1 : 0;
    EXPECT_EQ(entries, 1u);
}

TEST(CupsPortNumbers, WhatTheFileHoldsBesideIsKept) {
    platform::testing::TempMachine machine;
    const auto file = machine.path() / kPortNumbersFile;
    std::ofstream(file) << R"({"note": "kept", "USB": {"usb://Old/One": 3, "parallel:/x": 1}})";
    const auto numbers = portNumbers({"usb://New/One", "usb://Old/One"});
    EXPECT_EQ(numbers.at("usb://Old/One"), 3);
    EXPECT_EQ(numbers.at("usb://New/One"), 1);
    const std::string text = fileText(file);
    EXPECT_NE(text.find("\"note\": \"kept\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"usb://New/One\": 1"), std::string::npos) << text;
}

// The files kept aside beside the numbers' file, by name.
std::map<std::string, std::string> keptAside(const std::filesystem::path& folder) {
    std::map<std::string, std::string> aside;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with(std::string(kPortNumbersFile) + ".damaged-"))
            aside[name] = fileText(e.path());
    }
    return aside;
}

TEST(CupsPortNumbers, ADamagedFileIsReportedKeptAsideAndWrittenAgainFromWhatIsKnown) {
    platform::testing::TempMachine machine;
    const auto file = machine.path() / kPortNumbersFile;
    // Numbers given in queue order: the later device holds 1, the earlier 2.
    EXPECT_EQ(portNumbers({"usb://Z/1"}).at("usb://Z/1"), 1);
    EXPECT_EQ(portNumbers({"usb://A/1", "usb://Z/1"}).at("usb://A/1"), 2);
    const std::string whole = fileText(file);
    struct Case {
        const char* what;
        std::string damaged;
    } cases[] = {
        {"cut short", whole.substr(0, whole.size() / 2 + 8)},
        {"a number that is text", R"({"USB": {"usb://Z/1": "one", "usb://A/1": 2}})"},
        {"not an object", "[1, 2]"},
        {"empty", ""},
        {"garbage", "\x01\x02 not json"},
    };
    std::size_t keptBefore = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(file, std::ios::trunc | std::ios::binary) << c.damaged;
        ::testing::internal::CaptureStderr();
        const auto given =
            portNumbers({"usb://A/1", "usb://Z/1", "usb://New/" + std::string(c.what)});
        const std::string said = ::testing::internal::GetCapturedStderr();
        // No port takes another's number.
        EXPECT_EQ(given.at("usb://Z/1"), 1);
        EXPECT_EQ(given.at("usb://A/1"), 2);
        EXPECT_GE(given.at("usb://New/" + std::string(c.what)), 3);
        // Reported as it is read, naming the file and where the damaged copy went.
        EXPECT_NE(said.find(file.string() + " is damaged; kept aside as "), std::string::npos)
            << said;
        // Kept aside as it was; the file written whole again.
        const auto aside = keptAside(machine.path());
        EXPECT_EQ(aside.size(), keptBefore + 1);
        keptBefore = aside.size();
        bool found = false;
        for (const auto& [name, text] : aside) found = found || text == c.damaged;
        EXPECT_TRUE(found);
        const std::string repaired = fileText(file);
        EXPECT_NE(repaired.find("\"usb://Z/1\": 1"), std::string::npos) << repaired;
        EXPECT_NE(repaired.find("\"usb://A/1\": 2"), std::string::npos) << repaired;
        // Once repaired, nothing more is said or kept aside.
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(portNumbers({"usb://A/1"}).at("usb://A/1"), 2);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(keptAside(machine.path()).size(), keptBefore);
    }
}

TEST(CupsPortNumbers, ADamagedFileFromElsewhereKeepsTheNumbersItStillShows) {
    // Damaged before this process read it: what can still be read of it is what is known.
    platform::testing::TempMachine machine;
    const auto file = machine.path() / kPortNumbersFile;
    std::ofstream(file)
        << R"({"USB": {"usb://Z/1": 1, "usb://A/1": 2, "usb://B/1": 2, "usb://C/1": "x")";
    const auto given = portNumbers({"usb://A/1", "usb://B/1", "usb://C/1", "usb://Z/1"});
    EXPECT_EQ(given.at("usb://Z/1"), 1);
    EXPECT_EQ(given.at("usb://A/1"), 2);
    // A number already taken, or none at all: the lowest free one.
    EXPECT_EQ(given.at("usb://B/1"), 3);
    EXPECT_EQ(given.at("usb://C/1"), 4);
    EXPECT_EQ(keptAside(machine.path()).size(), 1u);
}

TEST(CupsPortNumbers, ProcessesNumberingAtOnceNeverShareANumber) {
    platform::testing::TempMachine machine;
    // Threads stand for processes: each numbers its own device under the machine folder's
    // lock, against the file as the others left it.
    std::vector<std::map<std::string, int>> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] { seen[i] = portNumbers({"usb://D/" + std::to_string(i)}); });
    for (auto& t : threads) t.join();
    std::set<int> numbers;
    for (int i = 0; i < 8; ++i) numbers.insert(seen[i].at("usb://D/" + std::to_string(i)));
    EXPECT_EQ(numbers.size(), 8u);
    EXPECT_EQ(*numbers.rbegin(), 8);
}

}  // namespace

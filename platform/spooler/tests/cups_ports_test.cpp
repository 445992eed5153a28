// The port numbers of the CUPS queues as the machine folder keeps them.
#include "platform/spooler/cups_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
                              "parallel:/dev/lp0", "serial:/dev/ttyS0?baud=9600"});
    EXPECT_EQ(first, (std::map<std::string, int>{{"usb://Tessel/Laser?serial=T1", 1},
                                                 {"parallel:/dev/lp0", 1},
                                                 {"serial:/dev/ttyS0?baud=9600", 1}}));
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

TEST(CupsPortNumbers, WhatTheFileHoldsBesideIsKeptAndADamagedFileIsNotOverwritten) {
    platform::testing::TempMachine machine;
    const auto file = machine.path() / kPortNumbersFile;
    std::ofstream(file) << R"({"note": "kept", "USB": {"usb://Old/One": 3, "parallel:/x": 1}})";
    const auto numbers = portNumbers({"usb://New/One", "usb://Old/One"});
    EXPECT_EQ(numbers.at("usb://Old/One"), 3);
    EXPECT_EQ(numbers.at("usb://New/One"), 1);
    const std::string text = fileText(file);
    EXPECT_NE(text.find("\"note\": \"kept\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"usb://New/One\": 1"), std::string::npos) << text;

    for (const char* damaged : {"{\"USB\": {\"usb://a\": \"one\"}}", "[1, 2]", "{\"USB\": 1", ""}) {
        std::ofstream(file, std::ios::trunc) << damaged;
        const auto given = portNumbers({"usb://B/1", "usb://A/1"});
        EXPECT_EQ(given.at("usb://B/1"), 1) << damaged;
        EXPECT_EQ(given.at("usb://A/1"), 2) << damaged;
        if (*damaged) {
            EXPECT_EQ(fileText(file), damaged);
        }
    }
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

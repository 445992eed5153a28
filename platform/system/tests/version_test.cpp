#include <gtest/gtest.h>

#include <fstream>

#include "platform/system/version.h"
#include "platform/testing/temp_machine.h"

using namespace platform::system;

TEST(OsVersion, ComesFromTheMachineDescriptionWithWindows10AsDefault) {
    platform::testing::TempMachine machine;
    auto v = osVersion();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->major, 10u);
    EXPECT_EQ(v->platformId, VER_PLATFORM_WIN32_NT);

    std::ofstream(machine.path() / "machine.json")
        << R"({"os": {"major": 5, "minor": 1, "build": 2600, "servicePack": "Service Pack 3"}})";
    v = osVersion();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->major, 5u);
    EXPECT_EQ(v->minor, 1u);
    EXPECT_EQ(v->build, 2600u);
    EXPECT_EQ(v->servicePack, u"Service Pack 3");

    std::ofstream(machine.path() / "machine.json") << R"({"os": {"major": "six"}})";
    EXPECT_FALSE(osVersion()) << "an unreadable entry makes the query fail";
}

TEST(OsVersion, OverrideReplacesTheDescriptionUntilReset) {
    platform::testing::TempMachine machine;
    overrideOsVersion(OsVersion{6, 1, 7601, 2, u""});
    EXPECT_EQ(osVersion()->major, 6u);
    overrideOsVersion(std::nullopt);
    EXPECT_FALSE(osVersion());
    resetOsVersion();
    EXPECT_EQ(osVersion()->major, 10u);
}

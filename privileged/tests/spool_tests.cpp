// Printer settings over the described machine: each member's attribute changes, with the
// values every level-5 write finds before it writes.
#include <gtest/gtest.h>

#include "platform/spooler/spooler.h"
#include "platform/system/description.h"
#include "platform/testing/temp_machine.h"
#include "privileged/tests/test_util.h"

using namespace platform::com;
using kestrum::testing::callUac;
namespace sys = platform::system;

namespace {

class KestrumSpool : public ::testing::Test {
  protected:
    void describe(std::uint32_t initial, bool admin = true) {
        char json[512];
        std::snprintf(json, sizeof json,
                      R"({"printers": [{"device": "P1", "port": "USB001", "driver": "D",
                          "attributes": "0x%X", "canAdminister": %s,
                          "devMode": {"printQuality": -4, "orientation": 1}}]})",
                      initial, admin ? "true" : "false");
        ASSERT_TRUE(sys::describeMachine(json));
        writes.clear();
        platform::spooler::setCallHook([this](std::string_view call) {
            if (call == "setInfo5") writes.push_back(attributes());
        });
    }
    void TearDown() override { platform::spooler::setCallHook({}); }
    static std::uint32_t attributes() { return sys::loadMachine().findPrinter(u"P1")->attributes; }
    platform::testing::TempMachine machine;
    std::vector<std::uint32_t> writes;  // the stored attributes as each write begins
};

}  // namespace

TEST_F(KestrumSpool, AttributeMembersWriteWhatTheyShould) {
    const struct {
        const char* what;
        DispId id;
        std::vector<Variant> args;
        std::uint32_t before, after;
        std::vector<std::uint32_t> seen;  // stored value as each write begins
    } cases[] = {
        {"spooling on", 0x6003000C, {Variant(-1), Variant(u"P1")}, 0x243, 0x240, {0x243}},
        {"spooling on by 7", 0x6003000C, {Variant(7), Variant(u"p1")}, 0x243, 0x240, {0x243}},
        {"spooling off", 0x6003000C, {Variant(0), Variant(u"P1")}, 0x40, 0x42, {0x40}},
        {"bidi 2 adv 2", 0x6003000D, {Variant(2), Variant(2), Variant(u"P1")}, 0x40, 0x40, {0x40}},
        {"bidi 1 adv 0",
         0x6003000D,
         {Variant(1), Variant(0), Variant(u"P1")},
         0x40,
         0x1840,
         {0x40}},
        {"bidi 0 adv 1",
         0x6003000D,
         {Variant(0), Variant(1), Variant(u"P1")},
         0x1840,
         0x40,
         {0x1840}},
        {"reset direct", 0x6003000F, {Variant(u"P1")}, 0x142, 0x42, {0x142, 0x40}},
        {"reset spooled", 0x6003000F, {Variant(u"P1")}, 0x141, 0x40, {0x141, 0x141}},
        {"keep jobs off", 0x6003000E, {Variant(u"P1")}, 0x140, 0x40, {0x140}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        describe(c.before);
        EXPECT_EQ(callUac(c.id, c.args).status, S_OK);
        EXPECT_EQ(attributes(), c.after);
        EXPECT_EQ(writes, c.seen);
    }
    describe(0x243);
    EXPECT_EQ(callUac(0x60030010, {Variant(u"P1")}).result.toI4(), 0x243);
}

TEST_F(KestrumSpool, UnknownAndRefusingPrintersAnswerFailure) {
    describe(0x140);
    EXPECT_EQ(callUac(0x60030010, {Variant(u"nope")}).result.toI4(), -1);
    EXPECT_EQ(callUac(0x6003000E, {Variant(u"nope")}).result.toI4(), 0);
    EXPECT_EQ(callUac(0x60030012, {Variant(u"nope")}).result.toI4(), 0);
    EXPECT_EQ(callUac(0x6003000B, {Variant(300), Variant(u"nope")}).result.toI4(), 0);
    EXPECT_EQ(callUac(0x60030012, {Variant(u"P1")}).result.toI4(), 1);
    // A printer the user may not administer cannot be opened with all access: nothing changes,
    // and clearing kept jobs reports the failure.
    describe(0x140, false);
    EXPECT_EQ(callUac(0x6003000E, {Variant(u"P1")}).result.toI4(), 0);
    EXPECT_EQ(callUac(0x60030012, {Variant(u"P1")}).result.toI4(), 0);
    EXPECT_EQ(callUac(0x6003000C, {Variant(0), Variant(u"P1")}).status, S_OK);
    EXPECT_EQ(attributes(), 0x140u);
    EXPECT_TRUE(writes.empty());
}

TEST_F(KestrumSpool, PrintQualityAnswersTheOldValueAndKeepsTheFieldMask) {
    describe(0x40);
    const auto fieldsBefore = sys::loadMachine().findPrinter(u"P1")->devMode->at(40);
    EXPECT_EQ(callUac(0x6003000B, {Variant(300), Variant(u"P1")}).result.toI4(), -4);
    EXPECT_EQ(callUac(0x6003000B, {Variant(300), Variant(u"P1")}).result.toI4(), 300);
    const auto machine = sys::loadMachine();  // kept alive while its device mode is read
    const auto& dm = *machine.findPrinter(u"P1")->devMode;
    EXPECT_EQ(dm.at(58) | (dm.at(59) << 8), 300);
    EXPECT_EQ(dm.at(40), fieldsBefore);
}

#include "watchdog/commandline.h"

#include <gtest/gtest.h>

#include "platform/testing/temp_machine.h"
#include "platform/text/codepage.h"

using namespace vigilo;
using platform::services::SimulatedManager;

namespace {

TEST(CommandLine, OptionsWithAnyPrefixAndCase) {
    struct Case {
        const char16_t* text;
        Action action;
    } cases[] = {
        {u"-INSTALL", Action::Install},
        {u"/Install", Action::Install},
        {u"install", Action::Install},
        {u"-sinstall", Action::InstallAndStart},
        {u"SINSTALL", Action::InstallAndStart},
        {u"/uninstall", Action::Uninstall},
        {u"-start", Action::Start},
        {u"  -stop  ", Action::Stop},
        {u" /STOP", Action::Stop},
        {u"Restart", Action::Restart},
        {u"", Action::RunService},
        {u"   ", Action::RunService},
        {u"--install", Action::Usage},
        {u"-installx", Action::Usage},
        {u"-install now", Action::Usage},
        {u"-", Action::Usage},
        {u"\\install", Action::Usage},
        {u"help", Action::Usage},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseCommandLine(c.text), c.action) << platform::text::toUtf8(c.text);
}

TEST(CommandLine, UsageText) {
    EXPECT_EQ(usageText(),
              u"사용 방법: \r\n\r\n"
              u"-install\tVigilo Service를(을) Windows NT Service에 등록합니다.\r\n"
              u"-uninstall\tVigilo Service를(을) Windows NT Service에서 삭제합니다.\r\n"
              u"-start\tVigilo Service 시작\r\n"
              u"-stop\tVigilo Service 중지\r\n"
              u"-restart\tVigilo Service 재시작");
    EXPECT_EQ(std::u16string(kUsageTitle), u"사용 방법");
}

TEST(CommandLine, InstallAndUninstallReportToTheEventLog) {
    platform::testing::TempMachine machine;
    SimulatedManager manager;
    const auto spec = serviceSpec("/opt/tessel/bin/Vigilo");
    runServiceCommand(Action::Install, manager, spec);
    runServiceCommand(Action::InstallAndStart, manager, spec);  // already there: fails
    ASSERT_TRUE(manager.record("vigilo"));
    EXPECT_EQ(manager.record("vigilo")->state, platform::services::ServiceState::Stopped);
    runServiceCommand(Action::Restart, manager, spec);
    EXPECT_EQ(manager.record("vigilo")->state, platform::services::ServiceState::Running);
    runServiceCommand(Action::Uninstall, manager, spec);
    EXPECT_FALSE(manager.record("vigilo"));
    runServiceCommand(Action::Uninstall, manager, spec);
    runServiceCommand(Action::InstallAndStart, manager, spec);
    EXPECT_EQ(manager.record("vigilo")->state, platform::services::ServiceState::Running);
    const std::string source = "4 110 Velmora Vigilo Service: ";
    EXPECT_EQ(manager.events(), (std::vector<std::string>{
                                    source + "Velmora Vigilo Service 설치하였습니다.",
                                    source + "Velmora Vigilo Service 설치 실패하였습니다.",
                                    source + "Velmora Vigilo Service 삭제하였습니다.",
                                    source + "Velmora Vigilo Service 삭제 실패하였습니다.",
                                    source + "Velmora Vigilo Service 설치하였습니다.",
                                }));
    EXPECT_EQ(manager.record("vigilo")->spec.description, "Velmora Vigilo Service by Velmora");
}

}  // namespace

// The admissibility verdicts of a kiosk's real CUPS queues: a private cupsd with one queue of
// each kind, the settings the issuing server's parameter string gives the viewer, and the
// policy over the spooler's CUPS backend.
#include <gtest/gtest.h>

#include "platform/system/description.h"
#include "platform/testing/cupsd.h"
#include "platform/text/codepage.h"
#include "server/paramstring.h"
#include "viewer/control/param.h"
#include "viewer/control/parse.h"
#include "viewer/selection/ports.h"
#include "viewer/selection/tests/selection_fixture.h"
#include "viewer/selection/vplist.h"
#include "viewer/state/module_state.h"
#include "viewer_fixture.h"

using namespace vistrel;

namespace {

class RealCupsAdmission : public vistrel::testing::ViewerTest {
  protected:
    void SetUp() override {
        TESSEL_REQUIRE_CUPSD();
        vistrel::testing::ViewerTest::SetUp();
        kiosk_.emplace();
        ASSERT_EQ(kiosk_->problem(), "");
        ASSERT_TRUE(platform::system::describeMachine(R"({"spooler": "cups"})"));
        // The settings as the issuing server's parameter string gives them.
        const std::u16string param =
            tessel::server::MakeParamString(tessel::server::ServerSettings{}, {});
        putParam(u"0Velmora/plain|" + vistrel::testing::base64Of(param));
        ParseParam();
        std::u16string server;
        GetAvailableprts(server);
        SetVirtualPrinter();
    }

    static selection_test::Verdict judge(const std::u16string& queue) {
        return selection_test::judgeOnMachine(queue);
    }

    std::optional<platform::testing::CupsKiosk> kiosk_;
};

TEST_F(RealCupsAdmission, EachKindOfQueueIsJudgedAsItsPortAndDriverSay) {
    ASSERT_TRUE(printSettings().UseTcpIpPrinter);
    ASSERT_TRUE(printSettings().UsePostscriptPrinter);
    struct Row {
        const char16_t* queue;
        bool admitted, tcpIp, isVirtual;
    } rows[] = {
        {u"Tessel_USB", true, false, false},      {u"Tessel_Socket", true, true, false},
        {u"Tessel_PS", true, true, false},  // PostScript allowed by the server's string
        {u"Tessel_File", false, false, true},     {u"Tessel_PDF", false, false, true},
        {u"Tessel_Forward", false, false, false},  // redirected to another spooler
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(platform::text::toUtf8(row.queue));
        const auto v = judge(row.queue);
        EXPECT_EQ(v.admitted, row.admitted);
        EXPECT_EQ(v.found.isTcpIP, row.tcpIp);
        EXPECT_EQ(v.found.isVirtual, row.isVirtual);
    }
    // The redirection is what refuses the forwarding queue.
    EXPECT_EQ(judge(u"Tessel_Forward").admission.PrinterKind, 4);

    // PostScript not allowed: the PostScript queue alone is refused, by its PPD.
    printSettings().UsePostscriptPrinter = false;
    EXPECT_FALSE(judge(u"Tessel_PS").admitted);
    EXPECT_TRUE(judge(u"Tessel_Socket").admitted);
    // TCP/IP printers not allowed: both network printers are refused, the USB one is not.
    printSettings().UsePostscriptPrinter = true;
    printSettings().UseTcpIpPrinter = false;
    EXPECT_FALSE(judge(u"Tessel_Socket").admitted);
    EXPECT_FALSE(judge(u"Tessel_PS").admitted);
    EXPECT_TRUE(judge(u"Tessel_USB").admitted);
}

}  // namespace

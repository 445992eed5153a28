// A certificate printed end to end: the real issuing server with the real viewer control and
// message cipher library registered in a temporary machine, driven by the protocol client.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "page_frames.h"
#include "platform/print/pdf_pages.h"
#include "platform/system/description.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_machine.h"
#include "server_process.h"

using namespace tessel::server::testing;

namespace {

void writeImage(const std::filesystem::path& file, int width, int height, const char* format) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 3, QColor(20, 40, 160));
    painter.end();
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), format)) << format;
}

std::vector<std::filesystem::path> pdfsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().extension() == ".pdf") files.push_back(e.path());
    return files;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* library : {VISTREL_LIBRARY, CIPHRA_LIBRARY}) {
            auto reg = platform::testing::runProgram(REGSVR, {library});
            ASSERT_EQ(reg.exitCode, 0) << reg.err;
        }
        writeImage(machine.path() / "portrait.png", 210, 297, "PNG");
        writeImage(machine.path() / "landscape.jpg", 297, 210, "JPEG");
        writeImage(machine.path() / "page.bmp", 200, 280, "BMP");
        std::ofstream(machine.path() / "setup.json") << R"({"pages": 3, "usedefaultprinter": "1"})";
    }
    platform::testing::ProgramResult client(int port) {
        const auto file = [&](const char* name) { return (machine.path() / name).string(); };
        return platform::testing::runProgram(
            (platform::testing::binFolder() / "tessel-client").string(),
            {"--port", std::to_string(port), "setup", file("setup.json"), "page",
             file("portrait.png"), "page64", file("landscape.jpg"), "page", file("page.bmp"), "run",
             "poll"});
    }
    std::string ini() { return "[SYSTEM]\r\nLocalIP=127.0.0.1\r\n"; }
    // A server whose printer selection follows the script file, on a free port: `port`.
    std::unique_ptr<ServerProcess> scriptedServer(const std::filesystem::path& script) {
        setenv("TESSEL_PRINTER_DIALOG_SCRIPT", script.c_str(), 1);
        auto server = std::make_unique<ServerProcess>(machine.path(), ini(), StartPort::AnyFree);
        unsetenv("TESSEL_PRINTER_DIALOG_SCRIPT");
        port = server->port();
        return server;
    }
    platform::testing::TempMachine machine;
    int port = 0;  // the port the last server started took
};

TEST_F(EndToEnd, ThreePagesBecomeOnePdfWithEachPagesOrientation) {
    ServerProcess server(machine.path(), ini(), StartPort::AnyFree);
    port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_EQ(r.exitCode, 0) << r.err << server.errors();
    EXPECT_NE(r.out.find("CE02 00 30\tprinted\n"), std::string::npos) << r.out << server.errors();
    EXPECT_NE(r.out.find("CE09 30 \tpoll: printed\n"), std::string::npos) << r.out;

    const auto pdfs = pdfsIn(machine.path() / "print");
    ASSERT_EQ(pdfs.size(), 1u) << server.errors();
    const auto pages = platform::print::testing::pdfPages(pdfs[0]);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_FALSE(pages[0].landscape());
    EXPECT_TRUE(pages[1].landscape());
    EXPECT_FALSE(pages[2].landscape());
}

TEST_F(EndToEnd, ARunThatNeedsTheSelectionPrintsNothingAndSays31) {
    std::ofstream(machine.path() / "setup.json") << R"({"pages": 3})";
    ServerProcess server(machine.path(), ini(), StartPort::AnyFree);
    port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_NE(r.out.find("CE02 02 31\t"), std::string::npos) << r.out << server.errors();
    EXPECT_TRUE(pdfsIn(machine.path() / "print").empty());
    // Nobody can answer the selection here: the log says so.
    EXPECT_TRUE(
        server.waitLogLine("인쇄하지 않음: 화면이 없는 Qt 플랫폼(offscreen)이라 프린터 선택 "
                           "창에 답할 사람이 없어 창을 바로 취소했습니다."))
        << server.errors();
}

TEST_F(EndToEnd, WithoutPrintersTheRunIsRefused) {
    ASSERT_TRUE(platform::system::describeMachine(R"({"printers": []})"));
    ServerProcess server(machine.path(), ini(), StartPort::AnyFree);
    port = server.port();
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_NE(
        r.out.find(
            "CE02 02 01\tnot run: no printer available, or no page; or refused during another "
            "run\n"),
        std::string::npos)
        << r.out << server.errors();
    EXPECT_TRUE(pdfsIn(machine.path() / "print").empty());
}

// The viewer keeps what one parameter text set until another changes it, but an issue prints
// with the printer settings of its own set-up: after an issue on the default printer, one whose
// set-up does not ask for it goes through the selection (here cancelled by the script).
TEST_F(EndToEnd, AnIssuePrintsWithThePrinterSettingsOfItsOwnSetUp) {
    const auto script = machine.path() / "dialog-script";
    std::ofstream(script) << "cancel";
    auto server = scriptedServer(script);
    ASSERT_TRUE(server->waitListening(port)) << server->errors();
    Client client(port);
    ASSERT_TRUE(client.connected());
    client.setTimeout(60);
    const std::u16string page = pngPage(210, 297);

    struct Issue {
        const char16_t* setup;
        const char* reply;
        bool selectionShown;
        std::size_t pdfs;
    } issues[] = {
        {u"{\"pages\":1,\"usedefaultprinter\":\"1\",\"ExceptPrinterDriver\":\"PDF\"}", "CE020030",
         false, 1},
        {u"{\"pages\":1}", "CE020231", true, 1},
    };
    for (const auto& issue : issues) {
        SCOPED_TRACE(platform::text::toUtf8(issue.setup));
        client.sendText(request(u"CE00", issue.setup));
        ASSERT_EQ(body(client.reply()), "CE000001") << server->errors();
        client.sendText(request(u"CE01", page));
        ASSERT_EQ(body(client.reply()).substr(0, 6), "CE0100") << server->errors();
        client.sendText(request(u"CE02"));
        EXPECT_EQ(body(client.reply()), issue.reply) << server->errors();
        EXPECT_EQ(std::filesystem::exists(script.string() + ".done"), issue.selectionShown);
        EXPECT_EQ(pdfsIn(machine.path() / "print").size(), issue.pdfs) << server->errors();
    }
    EXPECT_TRUE(server->waitLogLine(
        "인쇄하지 않음: TESSEL_PRINTER_DIALOG_SCRIPT의 cancel로 프린터 선택 창을 취소했습니다."))
        << server->errors();
}

// Small TIFF files that decode to large pictures: with room for two decoded pages at a time the
// run prints every page, one after another; with room for none of them it fails with "31"
// instead of holding every page at once.
TEST_F(EndToEnd, LargePicturesPrintPageByPageAndOneThatCannotBeHeldSays31) {
    // 1500 x 1500 pixels, 9 MB decoded, a few KB as a file.
    QImage image(1500, 1500, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter(&image).fillRect(0, 0, 700, 300, QColor(20, 40, 160));
    const auto tiff = machine.path() / "large.tif";
    {
        QImageWriter writer(QString::fromStdString(tiff.string()), "tiff");
        writer.setCompression(1);
        ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    }
    ASSERT_LT(std::filesystem::file_size(tiff), 100000u);
    constexpr int kPages = 6;
    std::vector<std::string> args = {"--port", "<the server's>", "setup",
                                     (machine.path() / "setup.json").string()};
    for (int page = 0; page < kPages; ++page) {
        args.push_back(page % 2 ? "page64" : "page");
        args.push_back(tiff.string());
    }
    args.push_back("run");
    std::ofstream(machine.path() / "setup.json") << R"({"pages": 6, "usedefaultprinter": "1"})";

    struct Case {
        const char* memoryMb;
        const char* reply;
        std::size_t pdfPages;
        const char* says;  // the log's line; null: none
    };
    for (const Case& c : {Case{"20", "CE02 00 30\t", kPages, nullptr},
                          Case{"8", "CE02 02 31\t", 0,
                               "인쇄 실패: 페이지 1 이미지가 너무 커서 담을 수 없습니다."}}) {
        std::filesystem::remove_all(machine.path() / "print");
        setenv("TESSEL_PAGE_MEMORY_MB", c.memoryMb, 1);
        ServerProcess server(machine.path(), ini(), StartPort::AnyFree);
        unsetenv("TESSEL_PAGE_MEMORY_MB");
        port = server.port();
        ASSERT_TRUE(server.waitListening(port)) << server.errors();
        args[1] = std::to_string(port);
        auto r = platform::testing::runProgram(
            (platform::testing::binFolder() / "tessel-client").string(), args);
        EXPECT_NE(r.out.find(c.reply), std::string::npos) << c.memoryMb << r.out << server.errors();
        const auto pdfs = pdfsIn(machine.path() / "print");
        if (c.says) {
            EXPECT_TRUE(server.waitLogLine(c.says)) << server.errors();
        }
        if (c.pdfPages == 0) {
            EXPECT_TRUE(pdfs.empty()) << c.memoryMb;
        } else {
            ASSERT_EQ(pdfs.size(), 1u) << server.errors();
            EXPECT_EQ(platform::print::testing::pdfPages(pdfs[0]).size(), c.pdfPages);
        }
    }
}

// Without the default printer the run waits in the printer selection; the server still answers
// polls with "10", and once the selection prints the state becomes "30".
TEST_F(EndToEnd, ARunHeldInTheSelectionAnswersPollsAndPrintsWhenChosen) {
    const auto script = machine.path() / "dialog-script";
    auto server = scriptedServer(script);
    ASSERT_TRUE(server->waitListening(port)) << server->errors();
    Client client(port);
    ASSERT_TRUE(client.connected());

    client.sendText(request(u"CE00", u"{\"pages\":1,\"usedefaultprinter\":\"0\"}"));
    ASSERT_EQ(body(client.reply()), "CE000001") << server->errors();
    client.sendText(request(u"CE01", pngPage(210, 297)));
    ASSERT_EQ(body(client.reply()).substr(0, 6), "CE0100") << server->errors();

    client.sendText(request(u"CE02"));
    // Every poll is answered while the run waits in the selection, also the first one, which
    // may arrive in the same read as the run request: "01" until the viewer reports that it
    // runs, then "10".
    int held = 0;
    for (int poll = 0; poll < 20 && held < 3; ++poll) {
        client.sendText(request(u"CE09"));
        const std::string state = body(client.reply());
        ASSERT_TRUE(state == "CE0901" || state == "CE0910") << state << server->errors();
        if (state == "CE0910") ++held;
    }
    EXPECT_EQ(held, 3) << server->errors();
    EXPECT_TRUE(pdfsIn(machine.path() / "print").empty());

    std::ofstream(script.string() + ".tmp") << "print";
    std::filesystem::rename(script.string() + ".tmp", script);
    std::string done = body(client.reply());
    while (done == "CE0910") done = body(client.reply());
    EXPECT_EQ(done.substr(done.size() - 2), "30") << done << server->errors();
    client.sendText(request(u"CE09"));
    EXPECT_EQ(body(client.reply()), "CE0930") << server->errors();
    EXPECT_TRUE(std::filesystem::exists(script.string() + ".done"));
    EXPECT_EQ(pdfsIn(machine.path() / "print").size(), 1u) << server->errors();
}

}  // namespace

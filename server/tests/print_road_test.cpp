// A certificate printed end to end: the real issuing server with the real viewer control and
// message cipher library registered in a temporary machine, driven by the protocol client.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <filesystem>
#include <fstream>

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
    std::string ini(int port) {
        return "[SYSTEM]\r\nLocalIP=127.0.0.1\r\nPORT=" + std::to_string(port) + "\r\n";
    }
    platform::testing::TempMachine machine;
    int port = freePort();
};

TEST_F(EndToEnd, ThreePagesBecomeOnePdfWithEachPagesOrientation) {
    ServerProcess server(machine.path(), ini(port));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_EQ(r.exitCode, 0) << r.err << server.errors();
    EXPECT_NE(r.out.find("CE02 00 30\n"), std::string::npos) << r.out << server.errors();
    EXPECT_NE(r.out.find("CE09 30 \n"), std::string::npos) << r.out;

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
    ServerProcess server(machine.path(), ini(port));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_NE(r.out.find("CE02 02 31\n"), std::string::npos) << r.out << server.errors();
    EXPECT_TRUE(pdfsIn(machine.path() / "print").empty());
}

TEST_F(EndToEnd, WithoutPrintersTheRunIsRefused) {
    ASSERT_TRUE(platform::system::describeMachine(R"({"printers": []})"));
    ServerProcess server(machine.path(), ini(port));
    ASSERT_TRUE(server.waitListening(port)) << server.errors();
    auto r = client(port);
    EXPECT_NE(r.out.find("CE02 02 01\n"), std::string::npos) << r.out << server.errors();
    EXPECT_TRUE(pdfsIn(machine.path() / "print").empty());
}

}  // namespace

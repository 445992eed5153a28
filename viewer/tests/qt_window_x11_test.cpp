// The viewer's window on a real X display (a private Xvfb): a printing run shows each page as the
// walk reaches it, and the page area shows the last page's picture on the display while the
// printer selection is open and after the print.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <optional>

#include "platform/com/events.h"
#include "platform/print/print.h"
#include "platform/testing/xvfb.h"
#include "viewer/control/qt_parts.h"
#include "viewer/control/viewer.h"
#include "viewer/state/print_settings.h"
#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;
using namespace platform::com;

namespace {

constexpr std::uint32_t kColours[] = {0x1F4E79, 0x70AD47, 0xC00000, 0x7030A0};  // 0xRRGGBB

class ViewerOnX11 : public ViewerTest {
  protected:
    void SetUp() override {
        ViewerTest::SetUp();
        TESSEL_START_XVFB(display, machine_.path());
        app.emplace(argc, argv);
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
    void TearDown() override {
        app.reset();
        ViewerTest::TearDown();
    }
    // Lets the event loop run until `done` holds or 20 s have passed.
    static bool waitFor(const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 20000) QApplication::processEvents();
        return done();
    }

    platform::testing::XvfbDisplay display;
    int argc = 1;
    char name[24] = "qt_window_x11_test";
    char* argv[2] = {name, nullptr};
    std::optional<QApplication> app;
};

// The colour (0xRRGGBB) in the middle of a widget: as the widget paints itself, and as the
// display shows it.
std::uint32_t painted(QWidget* widget) {
    const QImage image = widget->grab(QRect(0, 0, 40, 30)).toImage();
    return image.pixel(20, 15) & 0xFFFFFF;
}
std::uint32_t onDisplay(QWidget* widget) {
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    const QImage image = widget->screen()->grabWindow(0, at.x(), at.y(), 40, 30).toImage();
    return image.pixel(20, 15) & 0xFFFFFF;
}

TEST_F(ViewerOnX11, ThePageAreaShowsTheLastPageWhileTheDialogIsOpenAndAfterPrinting) {
    std::vector<std::uint32_t> duringDialog, onDisplayDuringDialog;
    QWidget* picture = nullptr;
    int dialogs = 0;
    ViewerParts parts = qtViewerParts([&]() -> std::u16string {
        ++dialogs;
        // A modal dialog beside the viewer, as the printer selection is: while it is open the
        // event loop runs and the viewer's window is painted as the display asks.
        QDialog dialog;
        dialog.setGeometry(360, 0, 200, 120);
        QTimer::singleShot(0, &dialog, [&] {
            waitFor([&] { return dialog.isVisible(); });
            QApplication::processEvents();
            duringDialog.push_back(painted(picture));
            waitFor([&] { return onDisplay(picture) == kColours[3]; });
            onDisplayDuringDialog.push_back(onDisplay(picture));
            dialog.accept();
        });
        dialog.exec();
        printSettings().SelectedPrinterName = u"Tessel Printer";
        return std::u16string();
    });
    std::vector<std::string> steps;
    parts.printers = [&](std::u16string_view,
                         std::u16string*) -> std::unique_ptr<platform::print::Printer> {
        return std::make_unique<platform::print::RecordingPrinter>(u"Tessel Printer");
    };
    auto viewer = std::make_shared<Viewer>(std::move(parts));
    std::vector<bool> results;
    std::vector<std::uint32_t> shownOnLoad;
    auto sink = std::make_shared<SinkDispatch>();
    sink->on(event::PrintResult,
             [&](std::vector<Variant>& a) { results.push_back(a.at(0).toBool()); });
    // Each page is on screen when the viewer says it has loaded it.
    sink->on(event::LoadCompleted,
             [&](std::vector<Variant>&) { shownOnLoad.push_back(painted(picture)); });
    std::uint32_t cookie = 0;
    viewer->Advise(DIID___Viewer, sink, cookie);

    void* handle = nullptr;
    ASSERT_EQ(viewer->GetWidget(handle), S_OK);
    auto* face = static_cast<QWidget*>(handle);
    face->setGeometry(0, 0, 300, 200);
    face->show();
    ASSERT_TRUE(waitFor([&] { return face->isVisible() && face->windowHandle()->isExposed(); }));
    picture = face->findChild<QWidget*>("picDest");
    ASSERT_NE(picture, nullptr);

    std::u16string list;
    for (std::uint32_t colour : kColours) list += text::toHex(bmpOf(200, 150, colour)) + u",";
    viewerState().PageImageList = std::make_shared<const PageListText>(list);
    viewer->RunViewer(true);

    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(shownOnLoad, std::vector<std::uint32_t>(std::begin(kColours), std::end(kColours)));
    EXPECT_EQ(duringDialog, std::vector<std::uint32_t>{kColours[3]});
    EXPECT_EQ(onDisplayDuringDialog, std::vector<std::uint32_t>{kColours[3]});
    // After the print the last page stays on the display.
    EXPECT_EQ(painted(picture), kColours[3]);
    EXPECT_TRUE(waitFor([&] { return onDisplay(picture) == kColours[3]; }))
        << std::hex << onDisplay(picture);
    EXPECT_EQ(invoke(*viewer, dispid::page, DISPATCH_PROPERTYGET).toI4(), 4);
}

}  // namespace

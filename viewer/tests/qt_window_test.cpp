// The viewer's window on real widgets (offscreen): the face a host places on its form shows
// the run's pages, and its buttons, page box and scroll bar reach the window's logic.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "viewer/control/qt_parts.h"
#include "viewer/control/viewer.h"
#include "viewer/control/window_logic.h"
#include "viewer/state/viewer_state.h"
#include "viewer_fixture.h"

using namespace vistrel;
using namespace vistrel::testing;

namespace {

class QtViewerWindow : public ViewerTest {
  protected:
    int argc = 1;
    char name[16] = "qt_window_test";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

TEST_F(QtViewerWindow, ShowsPagesAndTakesTheUsersInput) {
    auto viewer = std::make_shared<Viewer>(qtViewerParts());
    void* handle = nullptr;
    ASSERT_EQ(viewer->GetWidget(handle), platform::com::S_OK);
    auto* face = static_cast<QWidget*>(handle);
    ASSERT_NE(face, nullptr);
    face->resize(300, 200);
    face->show();
    QApplication::processEvents();

    auto* toolbar = face->findChild<QWidget*>("Frame2");
    ASSERT_NE(toolbar, nullptr);
    EXPECT_TRUE(toolbar->isHidden());
    auto* area = face->findChild<QWidget*>("picArea");
    auto* picture = face->findChild<QWidget*>("picDest");
    auto* box = face->findChild<QLineEdit*>("txtPage");
    auto* bar = face->findChild<QScrollBar*>("hslPicDest");
    ASSERT_TRUE(area && picture && box && bar);
    EXPECT_EQ(area->pos(), QPoint(0, 0));
    EXPECT_LT(area->width(), 300);

    viewerState().PageImageList = std::make_shared<const PageListText>(
        text::toHex(bmpOf(500, 40)) + u"," + text::toHex(bmpOf(60, 30)) + u",");
    viewer->RunViewer(false);
    EXPECT_EQ(picture->size(), QSize(500, 40));
    EXPECT_EQ(box->text(), "1");
    EXPECT_TRUE(bar->isEnabled());
    bar->setValue(100);
    EXPECT_EQ(picture->pos().x(), -100);

    face->findChild<QPushButton*>("cmdNextPage")->click();
    EXPECT_EQ(box->text(), "2");
    EXPECT_EQ(picture->size(), QSize(60, 30));
    EXPECT_FALSE(bar->isEnabled());
    face->findChild<QPushButton*>("cmdZoomIn")->click();
    EXPECT_EQ(picture->size(), QSize(63, 32));  // 60 x 1.05 = 63, 30 x 1.05 = 31.5 rounded
    EXPECT_TRUE(face->findChild<QLabel*>("lblStatus")->text().endsWith("Zoom 1:1"));

    // Typing a page and leaving the box shows it.
    box->setText("1");
    emit box->textEdited("1");
    emit box->returnPressed();
    EXPECT_EQ(picture->size(), QSize(500, 40));

    face->resize(400, 300);
    QApplication::processEvents();
    EXPECT_EQ(area->height(), 300 - bar->height() - kAreaGapPixels);
    EXPECT_FALSE(face->grab().isNull());
}

}  // namespace

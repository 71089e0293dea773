// The main dialog's group boxes as a real X server shows them, at 96 and 144 dpi: each frame's
// top line runs through its caption, so no line of a frame crosses a field or a label the
// template places 8 to 10 dialog units below the box's top. What a frame draws is found by
// taking the window's picture from the server with the boxes shown and again with them hidden.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include <cstdlib>
#include <string>

#include "resources/dialog_templates.h"
#include "support/qt_app.h"
#include "widgets/template_dialog.h"
// Xlib's macros (None, Bool, KeyPress, ...) would break Qt's headers: it comes last.
#include "ui/x_test_server.h"

namespace {

class GroupBoxFrames : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  }

  // The dialog's window as the X server holds it.
  static QImage Screenshot(QWidget& window) {
    window.repaint();
    QApplication::processEvents();
    return window.screen()
        ->grabWindow(window.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }

  ui_test::XTestServer server;
  // The resolution is the desktop's Xft.dpi resource, which Qt reads when it connects. The
  // connection that set it stays open: the server forgets its root window's properties when its
  // last client leaves.
  struct UseServer {
    UseServer(const ui_test::XTestServer& s, int dpi) {
      if (!s.Running()) return;
      ::setenv("DISPLAY", s.Display().c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      display = XOpenDisplay(s.Display().c_str());
      if (!display) return;
      const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
      XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                      int(resources.size()));
      XSync(display, False);
    }
    ~UseServer() {
      if (display) XCloseDisplay(display);
    }
    UseServer(const UseServer&) = delete;
    UseServer& operator=(const UseServer&) = delete;
    Display* display = nullptr;
  } useServer{server, GetParam()};
  testsupport::QtApp<QApplication> qt{"group_box_x11_test"};
};

TEST_P(GroupBoxFrames, NoFrameLineCrossesAFieldOrALabel) {
  widgets::TemplateDialog dialog(resources::kMainDialogTemplate, nullptr);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const double scale = dialog.devicePixelRatioF();
  EXPECT_NEAR(dialog.logicalDpiY() * scale, GetParam(), 1) << "the resolution was not taken";

  const QImage framed = Screenshot(dialog);
  if (const char* dir = std::getenv("KALVEX_TEST_SCREENSHOTS"))
    framed.save(QString("%1/group_boxes_%2dpi.png").arg(dir).arg(GetParam()));
  const QList<QGroupBox*> boxes = dialog.findChildren<QGroupBox*>();
  ASSERT_EQ(boxes.size(), 3);
  for (QGroupBox* box : boxes) box->hide();
  const QImage bare = Screenshot(dialog);
  ASSERT_EQ(framed.size(), bare.size());

  int drawn = 0;
  for (int y = 0; y < framed.height(); ++y)
    for (int x = 0; x < framed.width(); ++x) drawn += framed.pixel(x, y) != bare.pixel(x, y);
  EXPECT_GT(drawn, 0) << "the frames drew nothing";
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (!label->pixmap().isNull()) continue;  // the logo
    const QRect area = label->geometry();
    const QRect pixels(int(area.x() * scale + 0.5), int(area.y() * scale + 0.5),
                       int(area.width() * scale + 0.5), int(area.height() * scale + 0.5));
    int crossing = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
      for (int x = pixels.left(); x <= pixels.right(); ++x)
        crossing += framed.pixel(x, y) != bare.pixel(x, y);
    EXPECT_EQ(crossing, 0) << "a frame crosses \"" << label->text().toStdString() << "\" at "
                           << pixels.x() << "," << pixels.y();
  }
}

INSTANTIATE_TEST_SUITE_P(Dpi, GroupBoxFrames, testing::Values(96, 144),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::to_string(info.param) + "dpi";
                         });

}  // namespace

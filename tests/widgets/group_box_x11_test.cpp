// The main dialog's group boxes on a real X server at 96 and 144 dpi: no frame line crosses a
// field or a label. What the frames draw is the difference between the server's pictures of the
// window with the boxes shown and hidden.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <string>

#include "resources/dialog_templates.h"
#include "support/qt_app.h"
#include "widgets/template_dialog.h"
// Xlib's macros (None, Bool, KeyPress, ...) would break Qt's headers: it comes last.
#include "ui/x_test_server.h"

namespace {

// Points the application at the server with Xft.dpi set, which Qt reads as it connects. The
// connection stays open: the server forgets the setting when its last client leaves.
struct DesktopAt {
  DesktopAt(const ui_test::XTestServer& server, int dpi) {
    display = server.Running() ? XOpenDisplay(server.Display().c_str()) : nullptr;
    if (!display) return;  // Qt stays on the offscreen platform and the case skips
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string setting = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(setting.data()),
                    int(setting.size()));
    XSync(display, False);
  }
  ~DesktopAt() {
    if (display) XCloseDisplay(display);
  }
  Display* display;
};

class GroupBoxFrames : public testing::TestWithParam<int> {
 protected:
  ui_test::XTestServer server;
  DesktopAt desktop{server, GetParam()};
  testsupport::QtApp<QApplication> qt{"group_box_x11_test"};
};

QImage Screenshot(QWidget& window) {
  window.repaint();
  return window.screen()
      ->grabWindow(window.winId())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

TEST_P(GroupBoxFrames, NoFrameLineCrossesAFieldOrALabel) {
  if (!desktop.display) GTEST_SKIP() << "Xvfb could not be started";
  widgets::TemplateDialog dialog(resources::kMainDialogTemplate, nullptr);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const double scale = dialog.devicePixelRatioF();
  ASSERT_NEAR(dialog.logicalDpiY() * scale, GetParam(), 1);
  const QImage framed = Screenshot(dialog);
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) box->hide();
  const QImage bare = Screenshot(dialog);
  ASSERT_NE(framed, bare) << "the frames drew nothing";
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    const QRect area = label->geometry();
    const QRect pixels(area.topLeft() * scale, area.size() * scale);
    int crossing = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
      for (int x = pixels.left(); x <= pixels.right(); ++x)
        crossing += framed.pixel(x, y) != bare.pixel(x, y);
    EXPECT_EQ(crossing, 0) << "a frame crosses \"" << label->text().toStdString() << "\"";
  }
}

INSTANTIATE_TEST_SUITE_P(Dpi, GroupBoxFrames, testing::Values(96, 144));

}  // namespace

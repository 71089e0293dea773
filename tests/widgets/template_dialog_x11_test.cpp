// Timers of a dialog that the window system minimises, on a private Xvfb. The test plays the
// window manager from a second X connection: it receives the dialog's map request and either
// maps the window or starts it iconic, and it iconifies a mapped window the way a window manager
// does (WM_STATE IconicState, then unmapping it). So what reaches the dialog is what a real
// minimise delivers: a window-state change to minimised and a spontaneous hide, and no paint.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "support/qt_app.h"
#include "widgets/probe_dialog.h"
// Xlib's macros (None, Bool, KeyPress, ...) would break Qt's headers: it comes last.
#include "ui/x_test_server.h"

namespace {

using widgets_test::ProbeDialog;

// Stands in for the window manager on one display: top-level map requests come here
// (SubstructureRedirect on the root), and are answered as the test asks.
class WindowManagerStandIn {
 public:
  explicit WindowManagerStandIn(const std::string& display)
      : display_(XOpenDisplay(display.c_str())) {
    if (!display_) return;
    XSelectInput(display_, DefaultRootWindow(display_),
                 SubstructureRedirectMask | SubstructureNotifyMask);
    XSync(display_, False);
    notifier_ =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Pump(); });
  }
  ~WindowManagerStandIn() {
    notifier_.reset();
    if (display_) XCloseDisplay(display_);
  }
  WindowManagerStandIn(const WindowManagerStandIn&) = delete;
  WindowManagerStandIn& operator=(const WindowManagerStandIn&) = delete;

  [[nodiscard]] bool Connected() const { return display_ != nullptr; }

  // True: windows asking to be mapped start iconic instead, so they are never exposed.
  bool startIconic = false;

  // What a window manager does for a minimise: the client learns it from WM_STATE, and the
  // window leaves the screen.
  void Iconify(unsigned long window) {
    SetWmState(window, IconicState);
    XUnmapWindow(display_, window);
    XSync(display_, False);
    Pump();
  }

 private:
  void Pump() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == MapRequest) {
        const Window window = event.xmaprequest.window;
        if (startIconic) {
          SetWmState(window, IconicState);
        } else {
          SetWmState(window, NormalState);
          XMapWindow(display_, window);
        }
      } else if (event.type == ConfigureRequest) {
        const XConfigureRequestEvent& request = event.xconfigurerequest;
        XWindowChanges changes{};
        changes.x = request.x;
        changes.y = request.y;
        changes.width = request.width;
        changes.height = request.height;
        changes.border_width = request.border_width;
        XConfigureWindow(display_, request.window,
                         static_cast<unsigned>(request.value_mask) &
                             (CWX | CWY | CWWidth | CWHeight | CWBorderWidth),
                         &changes);
      }
    }
    XFlush(display_);
  }

  void SetWmState(Window window, long state) {
    const long value[2] = {state, 0};
    const Atom wmState = XInternAtom(display_, "WM_STATE", False);
    XChangeProperty(display_, window, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value), 2);
  }

  ::Display* display_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

class MinimisedDialog : public testing::Test {
 protected:
  void SetUp() override {
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    wm = std::make_unique<WindowManagerStandIn>(server.Display());
    ASSERT_TRUE(wm->Connected());
  }

  ui_test::XTestServer server;
  // The application must meet the private server; without one it stays off screen and the
  // cases skip.
  struct UseServer {
    explicit UseServer(const ui_test::XTestServer& s) {
      if (s.Running()) {
        ::setenv("DISPLAY", s.Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      }
    }
  } useServer{server};
  testsupport::QtApp<QApplication> qt{"dialog_x11_test"};
  std::unique_ptr<WindowManagerStandIn> wm;
};

// If a tick never comes, this ends the run with 99 instead of hanging the test.
void GuardRun(ProbeDialog& dialog) {
  QTimer::singleShot(5000, &dialog, [&dialog] { dialog.EndDialog(99); });
}

TEST_F(MinimisedDialog, TimerGoesOnTickingAfterTheWindowManagerMinimisesIt) {
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(1, 100); };
  int minimisedTicks = 0;
  int paintsBeforeMinimising = -1;
  dialog.onTick = [&](ProbeDialog& d, int) {
    if (d.ticks.size() == 1) {
      paintsBeforeMinimising = d.paints;
      wm->Iconify(d.winId());
      return;
    }
    if (d.isMinimized()) ++minimisedTicks;
    if (minimisedTicks == 3) d.EndDialog(1);
  };
  GuardRun(dialog);
  EXPECT_EQ(dialog.RunModal(), 1);
  EXPECT_EQ(minimisedTicks, 3);
  EXPECT_GE(paintsBeforeMinimising, 1);
  EXPECT_EQ(dialog.spontaneousHides, 1);
  // A repaint asked for before the minimise (the one for the window's activation comes late on a
  // loaded machine) may still land while the window is on screen; from the hide on, none may.
  EXPECT_EQ(dialog.paints, dialog.paintsAtHide) << "a minimised window is not painted";
}

TEST_F(MinimisedDialog, DialogStartedIconicGetsItsTicksWithoutEverBeingPainted) {
  wm->startIconic = true;
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(1, 100); };
  dialog.onTick = [](ProbeDialog& d, int) {
    if (d.ticks.size() == 3) d.EndDialog(1);
  };
  GuardRun(dialog);
  EXPECT_EQ(dialog.RunModal(), 1);
  EXPECT_EQ(dialog.ticks.size(), 3u);
  EXPECT_EQ(dialog.paints, 0);
  EXPECT_EQ(dialog.spontaneousHides, 1);
  EXPECT_TRUE(dialog.isMinimized());
}

TEST_F(MinimisedDialog, ZeroMsTimerHeldForThePaintIsReleasedByAnIconicStart) {
  wm->startIconic = true;
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) { d.SetTimer(0, 0); };
  dialog.onTick = [](ProbeDialog& d, int) {
    d.KillTimer(0);
    d.EndDialog(1);
  };
  GuardRun(dialog);
  EXPECT_EQ(dialog.RunModal(), 1);
  EXPECT_EQ(dialog.ticks.size(), 1u);
  EXPECT_EQ(dialog.paints, 0);
}

}  // namespace

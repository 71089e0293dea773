// Waiting on the UI thread: the thread sleeps, and other threads wake it and hand it messages.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <ctime>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/ui_waits.h"
#include "support/qt_app.h"
#include "widgets/message_box.h"

namespace {

class UiWaitsTest : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"test"};
  platform::UiWaits waits;
};

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TEST_F(UiWaitsTest, DelaySleepsUntilStrictlyPastItsEnd) {
  double cpuBefore = ThreadCpuMs();
  int64_t start = platform::NowMs();
  waits.Delay(300);
  int64_t took = platform::NowMs() - start;
  EXPECT_GT(took, 300);
  EXPECT_LT(took, 400);
  EXPECT_LT(ThreadCpuMs() - cpuBefore, 30) << "a wait must not spin";
}

TEST_F(UiWaitsTest, DelayRunsAtLeastOnePass) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  waits.Delay(0);
  EXPECT_TRUE(ran);
}

// A wait until answered has no deadline at all: no timer is armed for one, so Qt has nothing to
// warn about however many events pass.
TEST_F(UiWaitsTest, AWaitWithoutADeadlineEndsWhenDoneAndWarnsOfNothing) {
  static int warnings = 0;
  warnings = 0;
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
        if (type != QtDebugMsg && type != QtInfoMsg) ++warnings;
      });
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(10);
  waits.Until([&ticks] { return ticks >= 5; });
  qInstallMessageHandler(previous);
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(warnings, 0);
}

TEST_F(UiWaitsTest, AnotherThreadWakesAWaitAtOnce) {
  std::atomic<bool> flag{false};
  std::thread other([&flag, waker = waits.Waker()] {
    std::this_thread::yield();
    flag = true;
    waker.Wake();
  });
  int64_t start = platform::NowMs();
  EXPECT_TRUE(waits.Until([&] { return flag.load(); }, start + 10000));
  EXPECT_LT(platform::NowMs() - start, 5000);
  other.join();
}

TEST_F(UiWaitsTest, MessageFromAnotherThreadShowsModelessWithoutBlockingIt) {
  waits.SetMessageShower([](const std::string& text, const std::string& caption) {
    widgets::ShowModelessWarning(text.c_str(), caption.c_str());
  });
  std::thread other([waker = waits.Waker()] {
    waker.ShowMessage("Failed to create event for thread!", "TTY Error!");
  });
  other.join();
  QMessageBox* box = nullptr;
  waits.Until(
      [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (auto* candidate = qobject_cast<QMessageBox*>(w); candidate && candidate->isVisible())
            box = candidate;
        }
        return box != nullptr;
      },
      platform::NowMs() + 3000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->windowTitle(), "TTY Error!");
  EXPECT_EQ(box->text(), "Failed to create event for thread!");
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_FALSE(box->isModal());
  box->close();
}

// A thread's last wake-up may come after the waits it woke are gone.
TEST(UiWaker, OutlivesTheWaitsItWakes) {
  platform::UiWaker waker;
  {
    platform::UiWaits waits;
    waker = waits.Waker();
  }
  waker.Wake();
  waker.ShowMessage("text", "caption");
}

}  // namespace

// Waiting on the UI thread: the thread sleeps, wakes for other threads, and keys are not dialog
// commands while a wait dispatches.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/message_pump.h"
#include "support/qt_app.h"
#include "widgets/message_box.h"

namespace {

class MessagePump : public testing::Test {
 protected:
  testsupport::QtApp<QApplication> qt{"test"};
};

double ThreadCpuMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TEST_F(MessagePump, DelayPumpingSleepsUntilStrictlyPastItsEnd) {
  double cpuBefore = ThreadCpuMs();
  int64_t start = platform::NowMs();
  platform::DelayPumping(300);
  int64_t took = platform::NowMs() - start;
  EXPECT_GT(took, 300);
  EXPECT_LT(took, 400);
  EXPECT_LT(ThreadCpuMs() - cpuBefore, 30) << "a wait must not spin";
}

TEST_F(MessagePump, DelayPumpingRunsAtLeastOnePass) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  platform::DelayPumping(0);
  EXPECT_TRUE(ran);
}

// A wait until answered has no deadline at all: no timer is armed for one, so Qt has nothing to
// warn about however many events pass.
TEST_F(MessagePump, AWaitWithoutADeadlineEndsWhenDoneAndWarnsOfNothing) {
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
  platform::PumpUntil([&ticks] { return ticks >= 5; });
  qInstallMessageHandler(previous);
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(warnings, 0);
}

TEST_F(MessagePump, AnotherThreadWakesAWaitAtOnce) {
  std::atomic<bool> flag{false};
  std::thread other([&] {
    std::this_thread::yield();
    flag = true;
    platform::WakeUiThread();
  });
  int64_t start = platform::NowMs();
  EXPECT_TRUE(platform::PumpUntil([&] { return flag.load(); }, start + 10000));
  EXPECT_LT(platform::NowMs() - start, 5000);
  other.join();
}

// A wait is not the dialog's own loop: Escape, Enter, Tab and mnemonics do nothing, Space still
// clicks the focused button, and a modal dialog opened from inside the wait has its keys back.
TEST_F(MessagePump, KeysOtherThanSpaceDoNothingDuringAWait) {
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  auto* first = new QPushButton("&First", &dialog);
  auto* second = new QPushButton("&Second", &dialog);
  first->setDefault(true);
  layout->addWidget(first);
  layout->addWidget(second);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  first->setFocus();
  QSignalSpy firstClicks(first, &QPushButton::clicked);
  QSignalSpy secondClicks(second, &QPushButton::clicked);
  QSignalSpy rejected(&dialog, &QDialog::rejected);

  bool keysSent = false;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(first, Qt::Key_Return);
    QTest::keyClick(first, Qt::Key_Enter);
    QTest::keyClick(first, Qt::Key_Tab);
    QTest::keyClick(first, Qt::Key_S, Qt::AltModifier);
    keysSent = true;
  });
  platform::PumpUntil([&] { return keysSent; }, platform::NowMs() + 2000);
  EXPECT_EQ(rejected.count(), 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(firstClicks.count(), 0);
  EXPECT_EQ(secondClicks.count(), 0) << "no mnemonic fired";
  EXPECT_EQ(QApplication::focusWidget(), first) << "Tab did not move the focus";

  QTimer::singleShot(0, [&] { QTest::keyClick(first, Qt::Key_Space); });
  platform::PumpUntil([&] { return firstClicks.count() > 0; }, platform::NowMs() + 2000);
  EXPECT_EQ(firstClicks.count(), 1) << "Space clicks the focused button";

  // Outside a wait the same keys are the dialog's again.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(rejected.count(), 1);
}

TEST_F(MessagePump, ModalDialogOpenedFromAWaitKeepsItsKeys) {
  int result = -1;
  QTimer::singleShot(0, [&] {
    QDialog modal;
    QTimer::singleShot(0, &modal, [&] {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&modal));
      QTest::keyClick(&modal, Qt::Key_Escape);
    });
    result = modal.exec();
  });
  platform::PumpUntil([&] { return result != -1; }, platform::NowMs() + 5000);
  EXPECT_EQ(result, QDialog::Rejected);
}

TEST_F(MessagePump, MessageFromAnotherThreadShowsModelessWithoutBlockingIt) {
  platform::SetMessageShower(&widgets::ShowModelessWarning);
  std::thread other([] {
    platform::ShowMessageFromAnyThread("Failed to create event for thread!", "TTY Error!");
  });
  other.join();
  QMessageBox* box = nullptr;
  platform::PumpUntil(
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

}  // namespace

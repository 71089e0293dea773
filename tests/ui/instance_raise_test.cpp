// A second start asking the running copy to show its window: answered when someone listens
// (also over a socket a crashed copy left behind), refused in time when nobody does.

#include "ui/instance_raise.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "support/qt_app.h"

namespace {

class InstanceRaise : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime.isValid());
    ::setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
  }

  testsupport::QtApp<QCoreApplication> qt{"instance_raise_test"};
  QTemporaryDir runtime;
};

TEST_F(InstanceRaise, ARequestReachesTheListenerOverALeftoverSocketAndIsAnswered) {
  EXPECT_EQ(ui::InstanceSocketPath(), runtime.filePath("kalvex-modem-diag.socket").toStdString());
  std::ofstream(ui::InstanceSocketPath()) << "left by a copy that crashed";
  int raised = 0;
  ui::RaiseListener listener;
  std::string error;
  ASSERT_TRUE(listener.Listen([&raised] { ++raised; }, &error)) << error;

  // The asking copy is another process; here another thread, while this one serves events.
  std::atomic<bool> done{false};
  bool answered = false;
  std::thread second([&] {
    answered = ui::AskRunningCopyToRaise(10000);
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  second.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(raised, 1);
}

TEST_F(InstanceRaise, WithoutAListenerTheRequestFails) {
  EXPECT_FALSE(ui::AskRunningCopyToRaise(300));
  std::ofstream(ui::InstanceSocketPath()) << "not a socket";
  EXPECT_FALSE(ui::AskRunningCopyToRaise(300));
}

}  // namespace

// The termination-signal watch: a signal reaches the callback on the UI thread, and the watch's
// end gives the signals back the actions they had before it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <csignal>

#include "platform/termination_signals.h"
#include "support/qt_app.h"

namespace {

int earlierHeard = 0;
void EarlierHandler(int signalNumber) { earlierHeard = signalNumber; }

TEST(TerminationSignalWatch, HearsASignalWhileItLivesAndGivesBackTheEarlierActionAtItsEnd) {
  testsupport::QtApp<QCoreApplication> qt{"test"};
  struct sigaction earlier {};
  earlier.sa_handler = EarlierHandler;
  sigemptyset(&earlier.sa_mask);
  ASSERT_EQ(::sigaction(SIGHUP, &earlier, nullptr), 0);
  {
    int heard = 0;
    platform::TerminationSignalWatch watch([&heard](int signalNumber) { heard = signalNumber; });
    ASSERT_TRUE(watch.Watching());
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_TRUE(QTest::qWaitFor([&heard] { return heard == SIGHUP; }, 5000));
    EXPECT_EQ(earlierHeard, 0) << "the earlier handler ran while the watch lived";
  }
  struct sigaction now {};
  ASSERT_EQ(::sigaction(SIGHUP, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, &EarlierHandler);
  ASSERT_EQ(::raise(SIGHUP), 0);
  EXPECT_EQ(earlierHeard, SIGHUP);
  ::signal(SIGHUP, SIG_DFL);
}

}  // namespace

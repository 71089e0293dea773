// SerialDevice on real pseudo-terminals: a refused open leaves the holder's exclusive flag alone,
// and UUCP lock files that are not plain files neither block the open nor make a port busy.

#include "platform/serial_device.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>

#include "support/privileges.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using platform::SerialDevice;
using testsupport::PtyPair;

using testsupport::DropToNobody;
using testsupport::ExclusiveFlag;

class SerialDeviceTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.Valid()); }
  const char* Path() const { return pty.SlavePath().c_str(); }

  PtyPair pty;
};

TEST_F(SerialDeviceTest, RefusedSecondOpenLeavesTheHoldersExclusiveFlag) {
  SerialDevice holder;
  ASSERT_TRUE(holder.Open(Path()));
  ASSERT_EQ(ExclusiveFlag(pty.Keeper()), 1);

  SerialDevice second;
  EXPECT_FALSE(second.Open(Path()));
  // Root gets past the exclusive flag and is stopped by the holder's lock; anyone else is
  // stopped by the flag itself.
  EXPECT_EQ(second.LastOpen().failedStep,
            ::geteuid() == 0 ? platform::OpenStep::kLock : platform::OpenStep::kOpen);
  EXPECT_EQ(second.LastOpen().error, ::geteuid() == 0 ? EWOULDBLOCK : EBUSY);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 1);

  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(Path(), 0666), 0);
    EXPECT_EXIT(
        {
          if (!DropToNobody()) std::_Exit(3);
          const int fd = ::open(Path(), O_RDWR | O_NOCTTY | O_NONBLOCK);
          std::_Exit(fd < 0 && errno == EBUSY ? 0 : 4);
        },
        testing::ExitedWithCode(0), "");
  }

  holder.Close();
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 0) << "the holder clears the flag it set";
}

TEST_F(SerialDeviceTest, CloseLeavesAnExclusiveFlagItDidNotSet) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can open a terminal another program holds";
  ASSERT_EQ(::ioctl(pty.Keeper(), TIOCEXCL), 0);  // another program's exclusive use, no lock
  SerialDevice device;
  ASSERT_TRUE(device.Open(Path()));
  device.Close();
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 1);
  ::ioctl(pty.Keeper(), TIOCNXCL);
}

// Lock files go to a private directory named by KALVEX_LOCK_DIR.
class UucpLockTest : public SerialDeviceTest {
 protected:
  void SetUp() override {
    SerialDeviceTest::SetUp();
    ASSERT_TRUE(temp_.Valid());
    ::setenv("KALVEX_LOCK_DIR", dir_.c_str(), 1);
    std::string name = pty.SlavePath().substr(5);  // "pts/N"
    name.replace(name.find('/'), 1, "_");
    lockFile_ = dir_ + "/LCK.." + name;
  }

  // Opens the device from another thread and waits at most two seconds. An open stuck on a
  // FIFO is freed by writing to it, so a failure ends the test instead of hanging it. Returns
  // what the open found.
  platform::OpenAttempt ExpectOpensAtOnce(const std::string& fifo = {}) {
    SerialDevice device;
    auto opened = std::async(std::launch::async, [&] { return device.Open(Path()); });
    const bool atOnce = opened.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    if (!atOnce && !fifo.empty()) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) ::close(writer);
    }
    EXPECT_TRUE(atOnce) << "the open waited on the lock file";
    EXPECT_TRUE(opened.get()) << "the port counted as busy";
    return device.LastOpen();
  }

  // A process that is alive while the test runs.
  static std::string LivePid() { return std::to_string(::getppid()); }

  testsupport::TempDir temp_{"locks"};
  const std::string dir_ = temp_.Path();
  std::string lockFile_;
};

TEST_F(UucpLockTest, FifoAsTheLockFileNeitherBlocksNorMakesThePortBusy) {
  ASSERT_EQ(::mkfifo(lockFile_.c_str(), 0666), 0);
  const platform::OpenAttempt attempt = ExpectOpensAtOnce(lockFile_);
  EXPECT_EQ(attempt.ignoredLockPath, lockFile_);
  EXPECT_NE(attempt.ignoredLockReason.find("a FIFO, not a regular file"), std::string::npos)
      << attempt.ignoredLockReason;
}

TEST_F(UucpLockTest, SymbolicLinkAsTheLockFileIsNoLock) {
  std::ofstream(dir_ + "/target") << "      " << LivePid() << "\n";
  ASSERT_EQ(::symlink((dir_ + "/target").c_str(), lockFile_.c_str()), 0);
  const platform::OpenAttempt attempt = ExpectOpensAtOnce();
  EXPECT_EQ(attempt.ignoredLockReason.rfind("a symbolic link", 0), 0u) << attempt.ignoredLockReason;
}

TEST_F(UucpLockTest, SymbolicLinkToAFifoNeitherBlocksNorMakesThePortBusy) {
  ASSERT_EQ(::mkfifo((dir_ + "/target").c_str(), 0666), 0);
  ASSERT_EQ(::symlink((dir_ + "/target").c_str(), lockFile_.c_str()), 0);
  ExpectOpensAtOnce(dir_ + "/target");
}

TEST_F(UucpLockTest, RegularLockFileWithALivePidStillMakesThePortBusy) {
  for (const std::string& text : {"      " + LivePid() + "\n", LivePid()}) {
    SCOPED_TRACE(text);
    std::ofstream(lockFile_, std::ios::trunc) << text;
    SerialDevice device;
    EXPECT_FALSE(device.Open(Path()));
    EXPECT_EQ(device.LastOpen().failedStep, platform::OpenStep::kUucpLock);
    EXPECT_EQ(std::to_string(device.LastOpen().lockPid), LivePid());
  }
}

}  // namespace

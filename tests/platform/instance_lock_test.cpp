// The instance lock: one holder at a time, across processes, released however the holder ends.

#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using Result = platform::InstanceLock::Result;

class InstanceLock : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_ = fs::temp_directory_path() /
               ("kalvex-instance-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(runtime_);
    fs::create_directories(runtime_);
    ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(runtime_); }

  // What Acquire gives in a forked child, as the exit status: 0 acquired, 1 held, 2 unavailable.
  static int ResultInChild() {
    const pid_t pid = ::fork();
    if (pid == 0) {
      platform::InstanceLock lock;
      ::_exit(static_cast<int>(lock.Acquire()));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path runtime_;
};

TEST_F(InstanceLock, TheLockFileIsInTheRuntimeDirectory) {
  EXPECT_EQ(platform::InstanceLockPath(), (runtime_ / "kalvex-modem-diag.lock").string());
  platform::InstanceLock lock;
  ASSERT_EQ(lock.Acquire(), Result::kAcquired);
  EXPECT_TRUE(lock.Held());
  EXPECT_TRUE(fs::is_regular_file(runtime_ / "kalvex-modem-diag.lock"));
}

TEST_F(InstanceLock, WithoutARuntimeDirectoryAPerUserFileInTmpIsUsed) {
  const std::string expected = "/tmp/kalvex-modem-diag-" + std::to_string(::getuid()) + ".lock";
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::InstanceLockPath(), expected);
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(platform::InstanceLockPath(), expected);
}

TEST_F(InstanceLock, ASecondProcessIsRefusedWhileTheFirstHoldsIt) {
  platform::InstanceLock first;
  ASSERT_EQ(first.Acquire(), Result::kAcquired);
  EXPECT_EQ(ResultInChild(), static_cast<int>(Result::kHeldElsewhere));
  // Within one process too: the lock belongs to the open file, not to the process.
  platform::InstanceLock second;
  EXPECT_EQ(second.Acquire(), Result::kHeldElsewhere);
  EXPECT_FALSE(second.Held());
}

TEST_F(InstanceLock, ItIsFreeAgainOnceTheHolderIsGone) {
  {
    platform::InstanceLock first;
    ASSERT_EQ(first.Acquire(), Result::kAcquired);
  }
  EXPECT_EQ(ResultInChild(), static_cast<int>(Result::kAcquired));
}

TEST_F(InstanceLock, AKilledHolderLeavesNoStaleLockBehind) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    platform::InstanceLock lock;
    const char state = lock.Acquire() == Result::kAcquired ? 'y' : 'n';
    (void)!::write(ready[1], &state, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char state = 0;
  ASSERT_EQ(::read(ready[0], &state, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(state, 'y');
  platform::InstanceLock lock;
  EXPECT_EQ(lock.Acquire(), Result::kHeldElsewhere);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_TRUE(fs::exists(runtime_ / "kalvex-modem-diag.lock"));
  EXPECT_EQ(lock.Acquire(), Result::kAcquired);
}

TEST_F(InstanceLock, ALinkPlantedAtTheLockPathIsNotFollowed) {
  const fs::path target = runtime_ / "victim";
  std::ofstream(target) << "keep\n";
  fs::create_symlink(target, runtime_ / "kalvex-modem-diag.lock");
  platform::InstanceLock lock;
  EXPECT_EQ(lock.Acquire(), Result::kUnavailable);
  EXPECT_NE(lock.Error().find("kalvex-modem-diag.lock"), std::string::npos) << lock.Error();
  std::string content;
  std::getline(std::ifstream(target), content);
  EXPECT_EQ(content, "keep");
}

TEST_F(InstanceLock, AMissingRuntimeDirectoryIsReportedNotFatal) {
  ::setenv("XDG_RUNTIME_DIR", (runtime_ / "absent").c_str(), 1);
  platform::InstanceLock lock;
  EXPECT_EQ(lock.Acquire(), Result::kUnavailable);
  EXPECT_NE(lock.Error().find("No such file or directory"), std::string::npos) << lock.Error();
  EXPECT_FALSE(lock.Held());
}

}  // namespace

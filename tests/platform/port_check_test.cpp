// Why a port cannot be opened, as facts (the words are serial's), from real situations: a missing
// node, a node the user may not open (checked by a child that has given up root, since root opens
// anything), a terminal held by another process (found through /proc), one locked by a UUCP lock
// file with a live PID.

#include "platform/port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/port_holder.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using platform::OpenVerdict;

constexpr uid_t kNobody = 65534;

using Holder = testsupport::PortHolder;

// What a child found: its verdict, and the rest as "group|mode|groupMayOpen|holder count".
struct ChildResult {
  int verdict = -1;
  std::string text;
};

// The check as an ordinary user sees it: run by a child that has dropped to nobody.
ChildResult CheckAsNobody(const std::string& path) {
  int out[2];
  if (::pipe(out) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(1);
    const platform::OpenCheck check = platform::CheckPortOpen(path.c_str());
    const std::string text = std::to_string(static_cast<int>(check.verdict)) + "|" + check.group +
                             "|" + std::to_string(check.mode) + "|" +
                             std::to_string(check.groupMayOpen) + "|" +
                             std::to_string(check.holders.size());
    (void)!::write(out[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ChildResult result;
  const size_t bar = text.find('|');
  if (bar == std::string::npos) return result;
  result.verdict = std::stoi(text.substr(0, bar));
  result.text = text.substr(bar + 1);
  return result;
}

class PortCheck : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Valid());
    ASSERT_TRUE(temp.Valid());
    ::setenv("KALVEX_LOCK_DIR", lockDir.c_str(), 1);
  }
  testsupport::PtyPair pty;
  testsupport::TempDir temp{"check"};
  const std::string lockDir = temp.Path();
};

TEST_F(PortCheck, AFreeTerminalOpensAndTheCheckKeepsNoLock) {
  const platform::OpenCheck check = platform::CheckPortOpen(pty.SlavePath().c_str());
  EXPECT_EQ(check.verdict, OpenVerdict::kOpenable);
  EXPECT_EQ(check.step, platform::OpenStep::kNone);
  const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

TEST_F(PortCheck, AMissingNodeOrADanglingLinkIsNoSuchDevice) {
  EXPECT_EQ(platform::CheckPortOpen("/dev/ttyKalvexNone").verdict, OpenVerdict::kNoSuchDevice);
  const std::string link = lockDir + "/COM3";
  ASSERT_EQ(::symlink("/dev/ttyKalvexNone", link.c_str()), 0);
  const platform::OpenCheck check = platform::CheckPortOpen(link.c_str());
  EXPECT_EQ(check.verdict, OpenVerdict::kNoSuchDevice);
  EXPECT_EQ(check.error, ENOENT);
}

TEST_F(PortCheck, SomethingThatIsNotATerminalFailsAtThatStep) {
  const platform::OpenCheck check = platform::CheckPortOpen("/dev/null");
  EXPECT_EQ(check.verdict, OpenVerdict::kFailed);
  EXPECT_EQ(check.step, platform::OpenStep::kTerminal);
  EXPECT_EQ(check.error, ENOTTY);
}

TEST_F(PortCheck, PermissionDeniedNamesTheGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to check as another user";
  struct group* dialout = ::getgrnam("dialout");
  if (!dialout) GTEST_SKIP() << "no group dialout on this system";
  ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);
  const ChildResult result = CheckAsNobody(pty.SlavePath());
  EXPECT_EQ(result.verdict, static_cast<int>(OpenVerdict::kPermissionDenied)) << result.text;
  EXPECT_EQ(result.text, "dialout|" + std::to_string(0660) + "|1|0");
}

TEST_F(PortCheck, ANodeNoGroupMayOpenSaysSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to check as another user";
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0000), 0);
  const ChildResult denied = CheckAsNobody(pty.SlavePath());
  EXPECT_EQ(denied.verdict, static_cast<int>(OpenVerdict::kPermissionDenied)) << denied.text;
  EXPECT_NE(denied.text.find("|0|0|0"), std::string::npos) << denied.text;

  // The same child machinery opens the node once the mode allows it.
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  EXPECT_EQ(CheckAsNobody(pty.SlavePath()).verdict, static_cast<int>(OpenVerdict::kOpenable));
}

TEST_F(PortCheck, ATerminalLockedByAnotherProgramNamesItAndItsPid) {
  Holder sleeper("/bin/sleep", pty.SlavePath(), Holder::How::kFlock);
  ASSERT_GT(sleeper.Pid(), 0);
  const platform::OpenCheck check = platform::CheckPortOpen(pty.SlavePath().c_str());
  EXPECT_EQ(check.verdict, OpenVerdict::kBusy);
  ASSERT_EQ(check.holders.size(), 1u);
  EXPECT_EQ(check.holders[0].pid, sleeper.Pid());
  EXPECT_EQ(check.holders[0].name, "sleep");
}

TEST_F(PortCheck, AnExclusiveTerminalIsBusyForAnOrdinaryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to check as another user";
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  Holder sleeper("/bin/sleep", pty.SlavePath(), Holder::How::kExclusive);
  ASSERT_GT(sleeper.Pid(), 0);
  const ChildResult result = CheckAsNobody(pty.SlavePath());
  EXPECT_EQ(result.verdict, static_cast<int>(OpenVerdict::kBusy)) << result.text;
  // Another user's descriptors cannot be read, so the holder stays unnamed.
  EXPECT_EQ(result.text.substr(result.text.rfind('|')), "|0");
}

TEST_F(PortCheck, ModemManagerAsTheHolderIsNamed) {
  testsupport::TempDir dir("check");
  const std::string program = dir.In("ModemManager");
  ASSERT_EQ(std::system(("cp /bin/sleep '" + program + "'").c_str()), 0);
  {
    Holder manager(program, pty.SlavePath(), Holder::How::kFlock);
    ASSERT_GT(manager.Pid(), 0);
    const platform::OpenCheck check = platform::CheckPortOpen(pty.SlavePath().c_str());
    ASSERT_EQ(check.holders.size(), 1u);
    EXPECT_EQ(check.holders[0].name, "ModemManager");
  }
}

TEST_F(PortCheck, AUucpLockWithALivePidIsBusyAndAStaleOneIsNot) {
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(pty.SlavePath().c_str(), resolved), nullptr);
  std::string name = std::string(resolved).substr(5);  // without /dev/
  for (char& c : name) c = c == '/' ? '_' : c;
  const std::string lockFile = lockDir + "/LCK.." + name;

  Holder sleeper("/bin/sleep", "/dev/null", Holder::How::kFlock);
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(sleeper.Pid()));
  std::ofstream(lockFile) << text;
  const platform::OpenCheck locked = platform::CheckPortOpen(pty.SlavePath().c_str());
  EXPECT_EQ(locked.verdict, OpenVerdict::kBusy);
  EXPECT_EQ(locked.lockPid, sleeper.Pid());
  ASSERT_EQ(locked.holders.size(), 1u);
  EXPECT_EQ(locked.holders[0].name, "sleep");

  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(gone));
  std::ofstream(lockFile, std::ios::trunc) << text;
  EXPECT_EQ(platform::CheckPortOpen(pty.SlavePath().c_str()).verdict, OpenVerdict::kOpenable);
}

}  // namespace

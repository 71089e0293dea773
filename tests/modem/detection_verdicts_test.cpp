// The verdict detection gives each port it tries, from real situations: missing
// device nodes, a node an ordinary user may not open, a terminal another
// program holds, a UUCP lock with a live PID, a silent port, a modem no list
// knows and the modem itself; and the details of the "Can not find ..." box
// built from them.

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modem/detection.h"
#include "modem/detection_support.h"
#include "modem/recording_view.h"
#include "modem/session.h"
#include "modem/sim_ports.h"
#include "serial/port_names.h"
#include "serial/tty_port.h"
#include "support/port_holder.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace {

using modem::PortVerdictKind;
using modem_test::Port;
using modem_test::RecordingView;
using modem_test::SimulatedPorts;
using modem_test::UseShippedStyleList;
using sim::PortKind;

std::string PathOf(int port) {
  return serial::PortMap().DevicePathFor(("COM" + std::to_string(port)).c_str());
}

std::string Line(int port, const std::string& reason) {
  return "COM" + std::to_string(port) + " (" + PathOf(port) + "): " + reason;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> MissingFrom(std::vector<int> ports) {
  std::vector<std::string> lines;
  for (int port : ports) lines.push_back(Line(port, "no such device"));
  return lines;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(DetectionVerdicts, MissingNodesAreNoSuchDeviceAndTheBoxCarriesThemAsDetails) {
  testsupport::ComDir emptyDir;
  modem_test::UseComDir(emptyDir.Path());
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);
  const modem::DetectionResult detection = modem::DetectModem(session, view);

  ASSERT_EQ(detection.verdicts.size(), 6u);
  for (const modem::PortVerdict& verdict : detection.verdicts)
    EXPECT_EQ(verdict.kind, PortVerdictKind::kNoSuchDevice) << verdict.comName;
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].kind, RecordingView::BoxKind::kNotFound);
  EXPECT_EQ(Lines(view.boxes[0].details), MissingFrom({3, 4, 2, 1, 5, 6}));
}

// A USB modem that no COM name maps to is named in the details with the lines that would try it.
TEST(DetectionVerdicts, NotFoundDetailsNameTheUntriedDevices) {
  testsupport::ComDir emptyDir;
  modem_test::UseComDir(emptyDir.Path());
  testsupport::TempDir temp("sysfs");
  ASSERT_TRUE(temp.Valid());
  const std::filesystem::path sysfs = temp.Path();
  std::filesystem::create_directories(sysfs / "sys/class/tty/ttyACM0/device");
  ::setenv("KALVEX_SYSFS_ROOT", sysfs.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", "/home/user/.config", 1);
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);
  (void)modem::DetectModem(session, view);

  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(Lines(view.boxes[0].details),
            Concat(MissingFrom({3, 4, 2, 1, 5, 6}),
                   {"", "Serial devices that no COM name maps to, not tried:",
                    "  /dev/ttyACM0: to try it, run with --port COM3=/dev/ttyACM0, or add the line "
                    "COM3=/dev/ttyACM0 to /home/user/.config/kalvex-modem-diag/ports.conf"}));
}

// A modem whose stored profile answers "&FZ" in numeric codes, or only with its echo, is named
// with the mend instead of "no answer"; detection goes on as before.
TEST(DetectionVerdicts, StoredProfileV0OrQ1IsNamedWithItsMend) {
  SimulatedPorts ports;
  sim::Faults v0, q1;
  v0.profile = "V0";
  q1.profile = "Q1";
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem, v0), Port(4, PortKind::kModem, q1)}));
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  const modem::DetectionResult detection = modem::DetectModem(session, view);

  ASSERT_EQ(detection.verdicts.size(), 6u);
  EXPECT_EQ(detection.verdicts[0].kind, PortVerdictKind::kNumericCodes);
  EXPECT_EQ(detection.verdicts[1].kind, PortVerdictKind::kQuiet);
  EXPECT_EQ(Lines(view.boxes.at(0).details)[0],
            Line(3,
                 "answers in numeric result codes: its stored profile is V0; \"AT&F&W\" in a "
                 "terminal program restores the factory profile"));
  EXPECT_EQ(ports.Received("COM3"), (std::vector<std::string>{"at&FZ"}));
  EXPECT_EQ(ports.Received("COM4"), (std::vector<std::string>{"at&FZ"}));
}

// One port kind per row on COM3 (and a modem on COM4 where detection goes on to one): the
// verdict each port gets, in the order tried, its "I3" line as the port answered it, and the line
// the not-found box would carry for the first.
TEST(DetectionVerdicts, EachPortTriedGetsItsVerdictWithItsI3Line) {
  const struct {
    PortKind com3;
    std::vector<PortVerdictKind> kinds;  // two: detection goes on to a modem on COM4
    const char* firstReason;             // %s: COM3's "I3" line
  } rows[] = {
      {PortKind::kSilent, {PortVerdictKind::kNoAnswer}, "no answer to \"&FZ\" within the time-out"},
      {PortKind::kForeign,
       {PortVerdictKind::kNotListed, PortVerdictKind::kFound},
       "answered, but its \"I3\" line \"%s\" is not in the identification list"},
      {PortKind::kModem, {PortVerdictKind::kFound}, "found: \"%s\""},
  };
  for (const auto& c : rows) {
    SCOPED_TRACE(c.firstReason);
    SimulatedPorts ports;
    std::vector<sim::PortConfig> configs = {Port(3, c.com3)};
    if (c.kinds.size() > 1) configs.push_back(Port(4, PortKind::kModem));
    ASSERT_TRUE(ports.Start(configs));
    RecordingView view;
    modem::Session session;
    UseShippedStyleList(view);

    const modem::DetectionResult detection = modem::DetectModem(session, view);

    ASSERT_GE(detection.verdicts.size(), c.kinds.size());
    for (size_t i = 0; i < c.kinds.size(); ++i) {
      const modem::PortVerdict& verdict = detection.verdicts[i];
      EXPECT_EQ(verdict.kind, c.kinds[i]) << verdict.comName;
      if (verdict.kind == PortVerdictKind::kNotListed || verdict.kind == PortVerdictKind::kFound) {
        EXPECT_FALSE(verdict.i3Line.empty()) << verdict.comName;
        EXPECT_EQ(verdict.i3Line, ports.AnswerTo(verdict.comName, "atI3")) << verdict.comName;
      }
    }
    const bool found = detection.verdicts.back().kind == PortVerdictKind::kFound;
    EXPECT_EQ(view.boxes.size(), found ? 0u : 1u);
    if (found) {
      EXPECT_EQ(detection.verdicts.back().devicePath, PathOf(detection.comNumber));
    }
    std::string reason = c.firstReason;
    const size_t at = reason.find("%s");
    if (at != std::string::npos) reason.replace(at, 2, detection.verdicts[0].i3Line);
    EXPECT_EQ(modem::FormatVerdictLine(detection.verdicts[0]), Line(3, reason));
    if (!found && !view.boxes.empty()) {
      EXPECT_EQ(Lines(view.boxes[0].details),
                Concat({Line(3, reason)}, MissingFrom({4, 2, 1, 5, 6})));
    }
    session.port.Close();
  }
}

TEST(DetectionVerdicts, TerminalHeldByAnotherProgramIsBusyWithItsNameAndPid) {
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem), Port(4, PortKind::kModem)}));
  testsupport::PortHolder sleeper("/bin/sleep", PathOf(3), testsupport::PortHolder::How::kFlock);
  ASSERT_GT(sleeper.Pid(), 0);
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  const modem::DetectionResult detection = modem::DetectModem(session, view);

  ASSERT_EQ(detection.verdicts.size(), 2u);
  EXPECT_EQ(detection.verdicts[0].kind, PortVerdictKind::kBusy);
  EXPECT_EQ(modem::FormatVerdictLine(detection.verdicts[0]),
            Line(3, "busy: held by sleep (PID " + std::to_string(sleeper.Pid()) + ")"));
  EXPECT_EQ(detection.verdicts[1].kind, PortVerdictKind::kFound);
  EXPECT_TRUE(ports.Received("COM3").empty());
  session.port.Close();
}

TEST(DetectionVerdicts, LockFileWithALivePidIsBusyNamingTheLocker) {
  testsupport::TempDir temp("lock");
  ASSERT_TRUE(temp.Valid());
  const std::string lockDir = temp.Path();
  ::setenv("KALVEX_LOCK_DIR", lockDir.c_str(), 1);
  SimulatedPorts ports;
  ASSERT_TRUE(ports.Start({Port(3, PortKind::kModem), Port(4, PortKind::kModem)}));
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(PathOf(3).c_str(), resolved), nullptr);
  std::string name = std::string(resolved).substr(5);  // without /dev/
  for (char& c : name) c = c == '/' ? '_' : c;
  testsupport::PortHolder sleeper("/bin/sleep", "/dev/null", testsupport::PortHolder::How::kFlock);
  char pid[16];
  std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(sleeper.Pid()));
  std::ofstream(lockDir + "/LCK.." + name) << pid;
  RecordingView view;
  modem::Session session;
  UseShippedStyleList(view);

  const modem::DetectionResult detection = modem::DetectModem(session, view);

  ASSERT_EQ(detection.verdicts.size(), 2u);
  EXPECT_EQ(detection.verdicts[0].kind, PortVerdictKind::kBusy);
  EXPECT_EQ(detection.verdicts[0].open.lockPid, sleeper.Pid());
  EXPECT_EQ(modem::FormatVerdictLine(detection.verdicts[0]),
            Line(3, "busy: locked by sleep (PID " + std::to_string(sleeper.Pid()) + ")"));
  EXPECT_EQ(detection.verdicts[1].kind, PortVerdictKind::kFound);
  session.port.Close();
}

// Root opens anything: the detection runs in a child that has become nobody.
TEST(DetectionVerdicts, UnreadableNodeIsPermissionDeniedWithTheGroupHint) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to detect as another user";
  struct group* dialout = ::getgrnam("dialout");
  if (!dialout) GTEST_SKIP() << "no group dialout on this system";
  testsupport::PtyPair pty;
  ASSERT_TRUE(pty.Valid());
  testsupport::ComDir dir;
  modem_test::UseComDir(dir.Path());
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  dir.Link(3, pty.SlavePath());
  ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0660), 0);

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    RecordingView view;
    modem::Session session;
    UseShippedStyleList(view);
    const modem::DetectionResult detection = modem::DetectModem(session, view);
    const std::string details = view.boxes.empty() ? "" : view.boxes[0].details;
    (void)!::write(out[1], details.data(), details.size());
    ::_exit(0);
  }
  ::close(out[1]);
  std::string details;
  char buffer[1024];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) details.append(buffer, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ(Lines(details),
            Concat({Line(3,
                         "permission denied: the device belongs to group 'dialout'; add "
                         "yourself with 'sudo usermod -aG dialout $USER', then log in "
                         "again")},
                   MissingFrom({4, 2, 1, 5, 6})));
}

}  // namespace

// TtyPort on real pseudo-terminals: open, close, write, the reader thread and lost devices.

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QApplication>
#include <QCursor>
#include <QTimer>

#include <atomic>
#include <fstream>
#include <thread>

#include "platform/clock.h"
#include "platform/ui_waits.h"
#include "serial/tty_port.h"
#include "support/privileges.h"
#include "support/pty_pair.h"
#include "support/qt_app.h"

namespace {

// One port per test process, as the program has one per run, and the waits it wakes.
platform::UiWaits waits;
serial::TtyPort ttyPort{waits};
// No --port or ports.conf: the COM names lead where KALVEX_COM_DIR (the test's ComDir) says.
const serial::PortMap kPorts;
using enum serial::TtyPort::OpenResult;
using testsupport::ComDir;
using testsupport::PtyPair;

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  return waits.Until(done, platform::NowMs() + ms);
}

using testsupport::DropToNobody;
using testsupport::ExclusiveFlag;

class TtyPortTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Valid());
    dir.Link(3, pty.SlavePath());
  }
  void TearDown() override { ttyPort.Close(); }

  PtyPair pty;
  ComDir dir;
};

TEST_F(TtyPortTest, OpenWhileOpenIsRefusedAndChangesNothing) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  ttyPort.assembler.AddExpected("OK");
  EXPECT_EQ(ttyPort.Open("COM3", kPorts), kRefused);
  EXPECT_TRUE(ttyPort.connected);
  EXPECT_TRUE(ttyPort.readerRunning);
  EXPECT_EQ(ttyPort.assembler.ExpectedCount(), 1);
  pty.Write("OK\r\n");
  EXPECT_TRUE(WaitFor([] { return ttyPort.assembler.IsMatched(); }))
      << "the first reader still runs";
}

TEST_F(TtyPortTest, OpenOfMissingDeviceFailsWithItsReasonAndRestoresTheCursor) {
  testsupport::QtApp<QApplication> qt{"test"};
  QGuiApplication::setOverrideCursor(QCursor(Qt::IBeamCursor));
  testing::internal::CaptureStderr();
  EXPECT_EQ(ttyPort.Open("COM7", kPorts), kRefused);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("no such device (ENOENT)\n"), std::string::npos) << log;
  EXPECT_FALSE(ttyPort.connected);
  EXPECT_FALSE(ttyPort.readerRunning);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::IBeamCursor);
  QGuiApplication::restoreOverrideCursor();
}

TEST_F(TtyPortTest, SecondOpenOfAHeldDeviceIsRefusedAsBusy) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  serial::TtyPort other{waits};
  testing::internal::CaptureStderr();
  EXPECT_EQ(other.Open("COM3", kPorts), kRefused);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("busy"), std::string::npos) << log;
}

TEST_F(TtyPortTest, ExclusiveModeRefusesAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the terminal to another user";
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  EXPECT_EXIT(
      {
        if (!DropToNobody()) std::_Exit(3);
        serial::TtyPort other{waits};
        std::_Exit(other.Open("COM3", kPorts) == kRefused ? 0 : 4);
      },
      testing::ExitedWithCode(0), "busy \\(EBUSY\\)\n");
}

TEST_F(TtyPortTest, PermissionDeniedIsReportedOnTheDebugOutput) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to a user without access";
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        if (!DropToNobody()) std::_Exit(3);
        std::_Exit(ttyPort.Open("COM3", kPorts) == kRefused ? 0 : 4);
      },
      testing::ExitedWithCode(0), "permission denied \\(EACCES\\)\n");
}

TEST_F(TtyPortTest, LiveUucpLockMakesTheDeviceBusyAndAStaleOneIsIgnored) {
  ComDir lockDir;  // a second temporary directory, used for the lock files
  ::setenv("KALVEX_LOCK_DIR", lockDir.Path().c_str(), 1);
  ::setenv("KALVEX_COM_DIR", dir.Path().c_str(), 1);
  std::string name = pty.SlavePath().substr(5);  // "pts/N"
  name.replace(name.find('/'), 1, "_");
  std::string lockFile = lockDir.Path() + "/LCK.." + name;

  std::ofstream(lockFile) << "      " << ::getppid() << "\n";
  testing::internal::CaptureStderr();
  EXPECT_EQ(ttyPort.Open("COM3", kPorts), kRefused);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("locked by PID " + std::to_string(::getppid())), std::string::npos) << log;

  pid_t gone = ::fork();
  if (gone == 0) std::_Exit(0);
  ::waitpid(gone, nullptr, 0);
  std::ofstream(lockFile) << gone << "\n";
  EXPECT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  ::unlink(lockFile.c_str());
}

TEST_F(TtyPortTest, CloseClearsExclusiveModeAndASecondCloseReturnsAtOnce) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  serial::TtyPort other{waits};
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 1);
  ttyPort.Close();
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 0);
  EXPECT_FALSE(ttyPort.readerRunning);
  int64_t start = platform::NowMs();
  ttyPort.Close();
  EXPECT_LT(platform::NowMs() - start, 50) << "no reader, no wait";
  EXPECT_EQ(other.Open("COM3", kPorts), kOpened) << "the device was released";
  other.Close();
}

TEST_F(TtyPortTest, WriteBeforeOpenAndAfterCloseSendsNothing) {
  EXPECT_FALSE(ttyPort.Write("at\r\n", 4));
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  EXPECT_TRUE(ttyPort.Write("one", 3));
  ttyPort.Close();
  EXPECT_FALSE(ttyPort.Write("two", 3));
  EXPECT_EQ(pty.ReadFor(200), "one");
}

TEST_F(TtyPortTest, SettingsAre19200RawEightNoneOne) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.Master(), &tio), 0);
  int probe = ::open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY);  // root passes exclusivity
  ASSERT_GE(probe, 0);
  ASSERT_EQ(::tcgetattr(probe, &tio), 0);
  ::close(probe);
  EXPECT_EQ(::cfgetospeed(&tio), B19200);
  EXPECT_EQ(::cfgetispeed(&tio), B19200);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
}

TEST_F(TtyPortTest, ReadTakesOnlyWhatIsQueuedInChunksOf80) {
  serial::TtyPort port{waits};  // its device opened without a reader, so the test reads
  ASSERT_TRUE(port.device.Open(pty.SlavePath().c_str()));
  ASSERT_TRUE(port.SetupLine());
  char buffer[serial::kChunkSize];
  EXPECT_EQ(port.Read(buffer, serial::kChunkSize), 0u) << "nothing queued: no wait";
  pty.Write(std::string(200, 'z'));
  ASSERT_TRUE(WaitFor([&] { return port.device.QueuedInput() == 200; }));
  EXPECT_EQ(port.Read(buffer, serial::kChunkSize), 80u);
  EXPECT_EQ(port.Read(buffer, serial::kChunkSize), 80u);
  EXPECT_EQ(port.Read(buffer, serial::kChunkSize), 40u);
  EXPECT_EQ(port.Read(buffer, serial::kChunkSize), 0u);
}

TEST_F(TtyPortTest, BurstReachesTheAssemblerWholeAndInOrder) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  std::string burst;
  // Three reads: the last line keeps the first 79 characters, the expected text the other 99.
  for (int i = 0; i < 178; ++i) burst += static_cast<char>('!' + i % 90);
  ttyPort.assembler.AddExpected(burst.substr(79).c_str());
  pty.Write(burst + "\r\n");
  ASSERT_TRUE(WaitFor([] { return ttyPort.assembler.IsMatched(); }));
  char line[serial::kLineSize];
  ttyPort.assembler.CopyLastLine(line);
  EXPECT_EQ(line, burst.substr(0, 79));
}

TEST_F(TtyPortTest, CloseReleasesTheDeviceOnlyAfterTheReaderEndedAndRefusesANestedOpen) {
  testsupport::QtApp<QCoreApplication> qt{"test"};
  // The reader usually ends within microseconds of being woken; Close only waits (and runs
  // handlers) when it saw the reader still running, so try until a handler ran inside the wait.
  for (int attempt = 0; attempt < 50; ++attempt) {
    ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
    bool ran = false;
    serial::TtyPort::OpenResult nestedOpen = kOpened;
    bool deviceHeld = false;
    QTimer nested;
    nested.setSingleShot(true);
    QObject::connect(&nested, &QTimer::timeout, [&] {
      ran = true;
      nestedOpen = ttyPort.Open("COM3", kPorts);
      deviceHeld = ttyPort.device.IsOpen();
    });
    nested.start(0);
    ttyPort.Close();
    nested.stop();
    EXPECT_FALSE(ttyPort.readerRunning);
    EXPECT_FALSE(ttyPort.device.IsOpen());
    if (ran) {
      EXPECT_EQ(nestedOpen, kRefused) << "an Open during a Close's wait is refused";
      EXPECT_TRUE(deviceHeld) << "the device is released only after the reader ended";
      return;
    }
  }
  GTEST_SKIP() << "the reader always ended before Close looked";
}

TEST_F(TtyPortTest, LostDeviceEndsTheReaderInsteadOfSpinning) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  testing::internal::CaptureStderr();
  pty.CloseMaster();
  bool ended = WaitFor([] { return !ttyPort.readerRunning; });
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(ended);
  EXPECT_NE(log.find("Device lost"), std::string::npos) << log;
  EXPECT_TRUE(ttyPort.connected) << "the port stays open for the UI";
  ttyPort.Close();
}

TEST_F(TtyPortTest, ReaderWithoutItsEventShowsTtyErrorAndReceivesNothing) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own under the limit this sets";
#endif
  EXPECT_EXIT(
      {
        int lowest = ::open("/dev/null", O_RDONLY);
        ::close(lowest);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(lowest + 1);
        ::setrlimit(RLIMIT_NOFILE, &limit);  // the device fits, the reader's event does not
        if (ttyPort.Open("COM3", kPorts) != kOpened) std::_Exit(3);
        if (!WaitFor([] { return !ttyPort.readerRunning; })) std::_Exit(4);
        waits.Delay(10);  // the message is shown from the UI side
        std::_Exit(ttyPort.connected ? 0 : 5);
      },
      testing::ExitedWithCode(0), "TTY Error!.*Failed to create event for thread!");
}

// A speed the line cannot take makes the device refuse the settings: nothing stays open.
TEST_F(TtyPortTest, RefusedLineSettingsFailTheOpenWithTheirReason) {
  serial::TtyPort odd{waits};
  odd.baudRate = 12345;
  testing::internal::CaptureStderr();
  EXPECT_EQ(odd.Open("COM3", kPorts), kRefused);
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("failed: line settings refused"), std::string::npos) << log;
  EXPECT_FALSE(odd.connected);
  EXPECT_FALSE(odd.device.IsOpen());
  EXPECT_EQ(ttyPort.Open("COM3", kPorts), kOpened) << "the refused open left the device held";
}

// Without a thread to spare the port still opens, as it would with a reader, and says why
// nothing will be received; a user whose process limit is reached is the real case.
TEST_F(TtyPortTest, ReaderThatCannotStartLeavesThePortOpenAndSaysSo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to a user with a process limit";
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  EXPECT_EXIT(
      {
        if (!DropToNobody()) std::_Exit(3);
        rlimit none = {};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0) std::_Exit(4);
        serial::TtyPort port{waits};
        bool opened = port.Open("COM3", kPorts) == kOpened;
        std::_Exit(opened && port.connected && !port.readerRunning ? 0 : 5);
      },
      testing::ExitedWithCode(0), "Reader thread not started");
}

TEST_F(TtyPortTest, WriteThatCompletesAtOnceSaysNothing) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(ttyPort.Write("at\r\n", 4));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(TtyPortTest, WriteThatHadToWaitReportsTheBytesWritten) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    while (!stop) pty.ReadFor(20);
  });
  std::string big(256 * 1024, 'w');
  testing::internal::CaptureStderr();
  EXPECT_EQ(ttyPort.Write(big.data(), static_cast<int>(big.size())), 1);
  std::string log = testing::internal::GetCapturedStderr();
  stop = true;
  drain.join();
  EXPECT_EQ(log, "262144 bytes written\n");
}

TEST_F(TtyPortTest, WriteNobodyReadsGivesUpAfterOneSecondAndSaysSo) {
  ASSERT_EQ(ttyPort.Open("COM3", kPorts), kOpened);
  std::string big(1024 * 1024, 'w');
  testing::internal::CaptureStderr();
  int64_t start = platform::NowMs();
  EXPECT_EQ(ttyPort.Write(big.data(), static_cast<int>(big.size())), 1);
  int64_t took = platform::NowMs() - start;
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_GE(took, 1000);
  EXPECT_LT(took, 2000);
  EXPECT_EQ(log.rfind("Probable Write Timeout: Total of ", 0), 0u) << log;
  EXPECT_EQ(log.back(), '\n') << log;
}

TEST_F(TtyPortTest, ProgramEndClosesAPortLeftOpen) {
  EXPECT_EXIT(
      {
        if (ttyPort.Open("COM3", kPorts) != kOpened) std::_Exit(3);
        std::exit(0);  // static destruction runs the port's destructor
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(ExclusiveFlag(pty.Keeper()), 0) << "the destructor cleared exclusive mode";
}

}  // namespace

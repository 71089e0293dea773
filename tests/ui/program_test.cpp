// The real kalvex-modem-diag program, started as a separate process: the display check, and the
// refusal beside a "Built-In Modem Diagnostics" window on a private X server, with what they
// must not touch (ati3.dat, the simulated modem).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <string>

#include "modem/sim_ports.h"
#include "support/qt_app.h"
#include "ui/open_watch.h"
#include "ui/x_test_server.h"

namespace {

using ui_test::OpenWatch;

class Program : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work.isValid());
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat")));
    sim::Options options;  // COM1 silent, COM3 modem
    std::string error;
    ASSERT_TRUE(modem.Start(options, &error)) << error;
    env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) env.remove(name);
    for (int n = 1; n <= 9; ++n) env.remove(QStringLiteral("KALVEX_COM%1").arg(n));
    env.insert("KALVEX_COM_DIR", QString::fromStdString(modem.Directory()));
    // Only the working directory holds ati3.dat, and the instance lock is this case's own.
    ASSERT_TRUE(runtime.isValid());
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", runtime.filePath("config"));
    env.insert("XDG_DATA_DIRS", runtime.filePath("data"));
  }

  void Start(const QStringList& arguments = {}) {
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(work.path());
    process.start(QStringLiteral(KALVEX_DIAG_BINARY), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
  }

  [[nodiscard]] bool ModemHeardNothing() const {
    for (const sim::Event& event : modem.Events()) {
      if (event.kind == "rx" || event.kind == "data-rx") return false;
    }
    return true;
  }

  testsupport::QtApp<QCoreApplication> qt{"program_test"};
  QTemporaryDir work;
  QTemporaryDir runtime;
  sim::ModemSim modem;
  QProcessEnvironment env;
  QProcess process;
};

TEST_F(Program, WithoutAnyDisplayItSaysSoInOneLineAndExitsNonZero) {
  OpenWatch cwd(work.path().toStdString());
  Start();
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);  // no abort, no core dump
  EXPECT_EQ(process.exitCode(), 1);
  const QString err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
  EXPECT_FALSE(err.contains('\n')) << err.toStdString();
  EXPECT_TRUE(err.startsWith("kalvex-modem-diag: cannot open the display")) << err.toStdString();
  // The offscreen platform would leave the tool waiting on a welcome dialog nobody can see.
  EXPECT_FALSE(err.contains("offscreen")) << err.toStdString();
  EXPECT_TRUE(err.contains("--report")) << err.toStdString();
  EXPECT_TRUE(cwd.Opened().empty());
  EXPECT_TRUE(ModemHeardNothing());
}

TEST_F(Program, AnUnreachableDisplayIsReportedTheSameWay) {
  env.insert("DISPLAY", ":9999");
  Start();
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardError()).contains("\":9999\""));
}

TEST_F(Program, HelpAndVersionNeedNoDisplayTouchNothingAndExitZero) {
  OpenWatch cwd(work.path().toStdString());
  ASSERT_TRUE(cwd.Valid());
  Start({"--help"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
  const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
  for (const char* word : {"Usage:", "--report", "--tests", "--json", "--transcript", "--port",
                           "--list-ports", "--answer-speaker", "--line-connected", "Exit status",
                           "64", "KALVEX_COM_DIR", "ports.conf", "ati3.dat", "XDG_DATA_DIRS"})
    EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
  EXPECT_TRUE(process.readAllStandardError().isEmpty());

  Start({"--version"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_TRUE(QString::fromLocal8Bit(process.readAllStandardOutput())
                  .startsWith(QStringLiteral("kalvex-modem-diag " KALVEX_PROJECT_VERSION "\n")));
  EXPECT_TRUE(cwd.Opened().empty());
  EXPECT_TRUE(ModemHeardNothing());
}

TEST_F(Program, AUsageErrorIsOneLineWithStatus64AndTouchesNothing) {
  OpenWatch cwd(work.path().toStdString());
  ASSERT_TRUE(cwd.Valid());
  env.insert("DISPLAY", ":9999");  // were a window attempted, this would say so instead
  Start({"--port", "COM3=/dev/null", "--colour"});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 64);
  EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
  const QString err = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
  EXPECT_TRUE(err.contains("colour")) << err.toStdString();
  EXPECT_TRUE(err.contains("Try 'kalvex-modem-diag --help'.")) << err.toStdString();
  EXPECT_TRUE(cwd.Opened().empty());
  EXPECT_TRUE(ModemHeardNothing());
}

class ProgramOnX : public Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    ASSERT_TRUE(client.Connected());
    env.insert("DISPLAY", QString::fromStdString(server.Display()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
  }
  ui_test::XTestServer server;
  ui_test::XClient client{server.Display()};
};

TEST_F(ProgramOnX, RefusesBesideABuiltInModemDiagnosticsWindowInAnyLetterCase) {
  client.TopLevel("BUILT-IN modem Diagnostics");  // unmapped, as a hidden window would be
  ASSERT_TRUE(QDir().mkpath(runtime.filePath("config/kalvex-modem-diag")));
  QFile config(runtime.filePath("config/kalvex-modem-diag/ports.conf"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write("LPT1=/dev/lp0\n");
  config.close();
  OpenWatch cwd(work.path().toStdString());
  ASSERT_TRUE(cwd.Valid());
  Start();
  ASSERT_TRUE(process.waitForFinished(10000)) << "the program did not refuse";
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_TRUE(cwd.Opened().empty()) << "ati3.dat was read";
  EXPECT_FALSE(QString::fromLocal8Bit(process.readAllStandardError()).contains("ports.conf"));
  EXPECT_TRUE(ModemHeardNothing());
}

TEST_F(ProgramOnX, AWindowWhoseTitleOnlyContainsThoseWordsDoesNotStopIt) {
  client.TopLevel("Built-In Modem Diagnostics (old)");
  client.TopLevel("Kalvex Internal Modem Diagnostics Tool");  // another copy of this tool
  Start();
  // Started, it waits in the welcome dialog for the user.
  EXPECT_FALSE(process.waitForFinished(1500));
  EXPECT_EQ(process.state(), QProcess::Running);
  process.kill();
  process.waitForFinished(5000);
}

// On the X server itself (Qt's xcb platform), as on a desktop: the windows can be found and
// closed like a user would.
class ProgramOnRealX : public ProgramOnX {
 protected:
  void SetUp() override {
    ProgramOnX::SetUp();
    env.remove("QT_QPA_PLATFORM");
    // In a sanitizer build the leak check would report what Qt's X11 and font libraries keep
    // until exit, and change the exit status these cases check.
    const QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", (asan.isEmpty() ? QString() : asan + ":") + "detect_leaks=0");
  }

  // Waits up to 10 s for a mapped top-level window with this exact title; 0 when none came.
  Window WaitForWindow(const char* title, QProcess& owner) {
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && owner.state() == QProcess::Running) {
      if (const Window window = client.FindMapped(title)) return window;
      owner.waitForFinished(20);
    }
    return 0;
  }
};

// A second start from the desktop's menu brings the running copy's window to the front and
// ends at once with status 0: no box that waits for a click, no port touched.
TEST_F(ProgramOnRealX, ASecondCopyRaisesTheFirstsWindowAndExitsZeroWithoutTouchingAPort) {
  Start();
  const Window welcome = WaitForWindow("Welcome to Kalvex Internal Modem Diagnostics", process);
  ASSERT_NE(welcome, 0u);
  const Window cover = client.TopLevel("another program");
  client.Map(cover);
  ASSERT_TRUE(client.IsAbove(cover, welcome));

  QTemporaryDir otherWork;
  ASSERT_TRUE(QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"),
                          otherWork.filePath("ati3.dat")));
  OpenWatch cwd(otherWork.path().toStdString());
  ASSERT_TRUE(cwd.Valid());
  QProcess second;
  second.setProcessEnvironment(env);
  second.setWorkingDirectory(otherWork.path());
  second.start(QStringLiteral(KALVEX_DIAG_BINARY), {});
  ASSERT_TRUE(second.waitForStarted(10000));
  ASSERT_TRUE(second.waitForFinished(10000)) << "the second copy is waiting";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError())
                  .contains("Kalvex Internal Modem Diagnostics Tool is already running."));
  QDeadlineTimer deadline(10000);
  while (!client.IsAbove(welcome, cover) && !deadline.hasExpired()) process.waitForFinished(20);
  EXPECT_TRUE(client.IsAbove(welcome, cover)) << "the first copy's window was not raised";
  EXPECT_EQ(client.FindMapped("kalvex-modem-diag"), 0u) << "a message box appeared";
  EXPECT_TRUE(cwd.Opened().empty()) << "the second copy read ati3.dat";
  EXPECT_TRUE(ModemHeardNothing());
  EXPECT_EQ(process.state(), QProcess::Running);  // the first copy goes on
  process.kill();
  process.waitForFinished(5000);
}

TEST_F(ProgramOnRealX, UnderWaylandWithXWaylandItRunsOnTheXServer) {
  // A Wayland socket that does not exist: choosing the Wayland platform would end the start.
  env.insert("WAYLAND_DISPLAY", "kalvex-test-no-such-wayland");
  env.insert("XDG_SESSION_TYPE", "wayland");
  Start();
  EXPECT_NE(WaitForWindow("Welcome to Kalvex Internal Modem Diagnostics", process), 0u)
      << process.readAllStandardError().toStdString();
  process.kill();
  process.waitForFinished(5000);
}

}  // namespace

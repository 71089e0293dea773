// The installed program: `cmake --install` into a temporary prefix, then the installed tool run
// from another directory, as a menu launcher runs it, against the simulated modem.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <chrono>
#include <string>

#include "modem/sim_ports.h"
#include "support/qt_app.h"
#include "ui/x_test_server.h"

namespace {

class InstalledProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(prefix.isValid() && runtime.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(KALVEX_CMAKE),
                  {"--install", QStringLiteral(KALVEX_BINARY_DIR), "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) env.remove(name);
    for (int n = 1; n <= 9; ++n) env.remove(QStringLiteral("KALVEX_COM%1").arg(n));
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", runtime.filePath("config"));
    env.insert("XDG_DATA_DIRS", prefix.filePath("share"));
  }

  [[nodiscard]] QString Installed(const char* path) const { return prefix.filePath(path); }

  testsupport::QtApp<QCoreApplication> qt{"installed_program_test"};
  QTemporaryDir prefix;
  QTemporaryDir runtime;
  QProcessEnvironment env;
};

TEST_F(InstalledProgram, EveryFileIsWhereTheDesktopLooksForIt) {
  for (const char* path :
       {"bin/kalvex-modem-diag", "bin/kalvex-modem-sim", "share/kalvex-modem-diag/ati3.dat",
        "share/applications/com.kalvex.ModemDiag.desktop",
        "share/metainfo/com.kalvex.ModemDiag.metainfo.xml", "share/man/man1/kalvex-modem-diag.1.gz",
        "share/man/man1/kalvex-modem-sim.1.gz",
        "share/doc/kalvex-modem-diag/examples/99-kalvex-modem-diag.rules",
        "share/doc/kalvex-modem-diag/examples/modem-report.yml",
        "share/doc/kalvex-modem-diag/report.md"}) {
    EXPECT_TRUE(QFileInfo(Installed(path)).isFile()) << path;
  }
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const QString icon =
        Installed("share/icons/hicolor/%1x%1/apps/com.kalvex.ModemDiag.png").arg(size);
    EXPECT_TRUE(QFileInfo(icon).isFile()) << icon.toStdString();
  }
  EXPECT_TRUE(QFileInfo(Installed("bin/kalvex-modem-diag")).isExecutable());
}

// Runs a checker (installed by scripts/install-deps.sh) on an installed file; its output.
struct Checked {
  int status = -1;
  QString output;
};
Checked Check(const QString& program, QStringList arguments, const QProcessEnvironment& env) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(60000)) return {-1, program + " did not run"};
  return {process.exitCode(), QString::fromLocal8Bit(process.readAll()).trimmed()};
}

TEST_F(InstalledProgram, TheMenuEntryAndTheAppStreamDataAreValid) {
  const Checked desktop = Check(
      "desktop-file-validate", {Installed("share/applications/com.kalvex.ModemDiag.desktop")}, env);
  EXPECT_EQ(desktop.status, 0) << desktop.output.toStdString();
  EXPECT_TRUE(desktop.output.isEmpty()) << desktop.output.toStdString();  // not even a hint
  const Checked metainfo = Check(
      "appstreamcli",
      {"validate", "--no-net", Installed("share/metainfo/com.kalvex.ModemDiag.metainfo.xml")}, env);
  EXPECT_EQ(metainfo.status, 0) << metainfo.output.toStdString();
  QFile installed(Installed("share/metainfo/com.kalvex.ModemDiag.metainfo.xml"));
  ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
  EXPECT_TRUE(installed.readAll().contains("<release version=\"" KALVEX_VERSION "\""));
}

TEST_F(InstalledProgram, TheManualPagesFormatWithoutWarnings) {
  QProcessEnvironment manEnv = env;
  manEnv.insert("MANWIDTH", "80");
  manEnv.insert("LC_ALL", "C.UTF-8");
  for (const char* page :
       {"share/man/man1/kalvex-modem-diag.1.gz", "share/man/man1/kalvex-modem-sim.1.gz"}) {
    QProcess man;
    man.setProcessEnvironment(manEnv);
    man.start("man", {"--warnings", "-l", Installed(page)});
    ASSERT_TRUE(man.waitForFinished(60000)) << page;
    EXPECT_EQ(man.exitCode(), 0) << page;
    EXPECT_TRUE(man.readAllStandardError().trimmed().isEmpty()) << page;
    const QString text = QString::fromLocal8Bit(man.readAllStandardOutput());
    for (const char* section : {"SYNOPSIS", "OPTIONS", "EXIT STATUS", "EXAMPLES"})
      EXPECT_TRUE(text.contains(section)) << page << " has no " << section;
  }
}

TEST_F(InstalledProgram, TheInstalledSimulatorStartsFromAnotherDirectory) {
  QProcess sim;
  sim.setWorkingDirectory("/");
  sim.start(Installed("bin/kalvex-modem-sim"), {"--help"});
  ASSERT_TRUE(sim.waitForFinished(10000));
  EXPECT_EQ(sim.exitCode(), 0);
  EXPECT_TRUE(sim.readAllStandardOutput().startsWith("Usage: kalvex-modem-sim"));
}

TEST_F(InstalledProgram, RunFromTheRootDirectoryItFindsItsListAndTheSimulatedModem) {
  ui_test::XTestServer server;
  if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
  ui_test::XClient client(server.Display());
  ASSERT_TRUE(client.Connected());
  sim::ModemSim modem;  // COM1 silent, COM3 modem
  std::string error;
  ASSERT_TRUE(modem.Start(sim::Options{}, &error)) << error;
  env.insert("KALVEX_COM_DIR", QString::fromStdString(modem.Directory()));
  env.insert("DISPLAY", QString::fromStdString(server.Display()));

  QProcess tool;
  tool.setProcessEnvironment(env);
  tool.setWorkingDirectory("/");  // holds no ati3.dat
  tool.start(Installed("bin/kalvex-modem-diag"), {});
  ASSERT_TRUE(tool.waitForStarted(10000));
  QDeadlineTimer deadline(20000);
  Window welcome = 0;
  while (!welcome && !deadline.hasExpired() && tool.state() == QProcess::Running) {
    welcome = client.FindMapped("Welcome to Kalvex Internal Modem Diagnostics");
    tool.waitForFinished(20);
  }
  ASSERT_NE(welcome, 0u) << tool.readAllStandardError().toStdString();
  client.PressReturn(welcome);
  // Once identified by a line of the installed list, the modem is asked for its country.
  EXPECT_TRUE(modem.WaitForEvent("COM3", "rx", "I9", std::chrono::seconds(20)).has_value())
      << tool.readAllStandardError().toStdString();
  tool.kill();
  tool.waitForFinished(5000);
}

}  // namespace

// Start-up time and peak memory of the tool, measured on fresh processes.
//
//   kalvex_startup_bench [RUNS]
//
// Each run forks and executes this program again in a child mode that is the tool itself
// (ui::RunDiagApp, the same code as kalvex-modem-diag's main) plus a small observer installed
// when the QApplication is constructed. The observer reports over a pipe:
//   startup: when the welcome dialog is first painted; the parent takes the time from just
//            before fork() to that report (exec, libraries, Qt, fonts, resources included);
//   detect:  it presses OK, waits for detection against the simulated modem (run by the parent)
//            to find it, and reports the process's peak resident memory (VmHWM).
// Qt runs on the offscreen platform, so the numbers do not depend on an X server.
// Targets: start-up under 300 ms, peak memory under 60 MB.

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../support/tool_child.h"
#include "modem_sim.h"
#include "resources/control_ids.h"
#include "ui/diag_app.h"
#include "ui/main_dialog.h"
#include "ui/welcome_dialog.h"

namespace {

using benchsupport::kModeVariable;  // "startup" or "detect" in a child
using benchsupport::kPipeVariable;

int ReportFd() { return std::atoi(std::getenv(kPipeVariable)); }

void Report(const std::string& text) {
  const std::string line = text + "\n";
  if (::write(ReportFd(), line.data(), line.size()) < 0) std::perror("report");
  ::_exit(0);
}

long PeakRssKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

class Observer : public QObject {
 public:
  explicit Observer(bool detect) : detect_(detect) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    if (auto* welcome = qobject_cast<ui::WelcomeDialog*>(watched)) {
      if (!detect_) Report("painted");
      if (!pressed_) {
        pressed_ = true;
        QTimer::singleShot(0, welcome,
                           [welcome] { qobject_cast<QPushButton*>(welcome->Item(1))->click(); });
        PollForModem();
      }
    }
    return false;
  }

 private:
  void PollForModem() {
    auto* timer = new QTimer(qApp);
    connect(timer, &QTimer::timeout, [] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* main = qobject_cast<ui::MainDialog*>(w);
        if (main && main->ItemText(ids::kLocation) == "COM3" &&
            main->IsItemEnabled(ids::kTestDiagnostics)) {
          Report(std::to_string(PeakRssKb()));
        }
      }
    });
    timer->start(5);
  }

  bool detect_;
  bool pressed_ = false;
};

void InstallObserver() {
  const char* mode = std::getenv(kModeVariable);
  if (!mode) return;
  qApp->installEventFilter(new Observer(std::strcmp(mode, "detect") == 0));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallObserver)

namespace {

// Runs one child in mode; returns its report and the milliseconds from fork to the report.
bool RunChild(const char* self, const char* mode, const QString& workDir, const std::string& comDir,
              std::string& report, double& ms) {
  const auto start = std::chrono::steady_clock::now();
  int reportFd = -1;
  const pid_t pid = benchsupport::StartToolChild(self, mode, workDir, comDir, &reportFd);
  if (pid < 0) return false;
  char buffer[64] = {};
  const ssize_t n = ::read(reportFd, buffer, sizeof buffer - 1);
  ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ::close(reportFd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (n <= 0) return false;
  report.assign(buffer, std::strcspn(buffer, "\n"));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv(kModeVariable)) return ui::RunDiagApp(argc, argv);

  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  QTemporaryDir work;
  QTemporaryDir emptyPorts;
  if (!work.isValid() || !emptyPorts.isValid() ||
      !QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat"))) {
    std::fprintf(stderr, "startup_bench: cannot prepare a working directory\n");
    return 1;
  }
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    std::string report;
    double ms = 0;
    if (!RunChild(self, "startup", work.path(), emptyPorts.path().toStdString(), report, ms)) {
      std::fprintf(stderr, "startup_bench: a start-up run failed\n");
      return 1;
    }
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "start-up to welcome dialog painted: median %.1f ms, min %.1f ms, max %.1f ms "
      "(%d runs; target < 300 ms)\n",
      times[times.size() / 2], times.front(), times.back(), runs);

  sim::ModemSim modem;
  sim::Options options;  // COM1 silent, COM3 modem
  std::string error;
  if (!modem.Start(options, &error)) {
    std::fprintf(stderr, "startup_bench: simulator: %s\n", error.c_str());
    return 1;
  }
  std::string report;
  double ms = 0;
  if (!RunChild(self, "detect", work.path(), modem.Directory(), report, ms)) {
    std::fprintf(stderr, "startup_bench: the detection run failed\n");
    return 1;
  }
  const double peakMb = std::atof(report.c_str()) / 1024.0;
  std::printf(
      "peak memory (VmHWM) through a detection: %.1f MB (start to modem found: %.0f ms; "
      "target < 60 MB)\n",
      peakMb, ms);
  const bool met = times[times.size() / 2] < 300 && peakMb < 60;
  return met ? 0 : 2;
}

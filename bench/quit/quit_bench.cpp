// How long "Quit" takes to end the program while a run is under way, on fresh processes.
//
//   kalvex_quit_bench [RUNS]
//
// Each run forks and executes this program again as the tool itself (ui::RunDiagApp, the same
// code as kalvex-modem-diag's main) with a small observer that presses OK in the welcome dialog
// and then "Quit" at the chosen moment, and reports over a pipe the monotonic time of that
// click. The parent takes the time when it has reaped the child. Two moments:
//   detection: COM3 is silent and the detection waits there for "OK" (nothing to put back);
//   basic:     the basic function test writes its register test values, before any loopback
//              (no escape; the four registers to put back and read back);
//   loopback:  the digital loopback test runs against the simulated modem on COM3 (escape,
//              "&T0" and the four registers to put back); the parent checks afterwards that the
//              modem is back as it was found.
// For the runs that changed the modem it also gives what the end of the program run spends
// reading back what was put back, from the simulated modem's own record.
// Qt runs on the offscreen platform. Targets: under 0.5 s for the detection; for the loopback,
// within 1.10 times its own floor (the escape's guard times, then the put-back's and the
// read-back's commands: see StopFloorMs); under 700 ms for the read-back. Exit status 2 names
// what missed its target on a line of its own ("missed: ...").

#include <QApplication>
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

using benchsupport::kModeVariable;  // "detection" or "loopback" in a child
using benchsupport::kPipeVariable;

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ui::MainDialog* FindMain() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* main = qobject_cast<ui::MainDialog*>(w)) return main;
  }
  return nullptr;
}

void ClickQuit(ui::MainDialog* main) {
  const std::string line = std::to_string(NowMs()) + "\n";
  const int fd = std::atoi(std::getenv(kPipeVariable));
  if (::write(fd, line.data(), line.size()) < 0) std::perror("report");
  ::close(fd);
  qobject_cast<QPushButton*>(main->Item(ids::kQuit))->click();
}

// Polls every 2 ms until step returns true.
void Every2Ms(std::function<bool()> step) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, step = std::move(step)] {
    if (step()) timer->stop();
  });
  timer->start(2);
}

void DriveDetection() {
  Every2Ms([] {
    ui::MainDialog* main = FindMain();
    if (!main || main->ItemText(ids::kLocation) != "Open COM3... ") return false;
    // Well inside the 3 s wait for "OK".
    QTimer::singleShot(300, main, [main] { ClickQuit(main); });
    return true;
  });
}

// Starts the first "Test..." run once the modem is found, then clicks "Quit" afterMs later, or
// once the basic test has ended when afterMs is negative.
void DriveDiagnostics(int afterMs) {
  Every2Ms([afterMs] {
    ui::MainDialog* main = FindMain();
    if (!main || main->ItemText(ids::kLocation) != "COM3" ||
        !main->IsItemEnabled(ids::kTestDiagnostics))
      return false;
    QTimer::singleShot(0, main, [main] {
      qobject_cast<QPushButton*>(main->Item(ids::kTestDiagnostics))->click();
    });
    if (afterMs >= 0) {
      QTimer::singleShot(afterMs, main, [main] { ClickQuit(main); });
      return true;
    }
    Every2Ms([main] {
      // The basic test is over and the digital loopback test is in its pattern rounds.
      if (main->ItemText(ids::kBasicResult) == "Wait...") return false;
      QTimer::singleShot(150, main, [main] { ClickQuit(main); });
      return true;
    });
    return true;
  });
}

class WelcomeObserver : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* welcome = qobject_cast<ui::WelcomeDialog*>(watched);
    if (!welcome || event->type() != QEvent::Paint || pressed_) return false;
    pressed_ = true;
    QTimer::singleShot(0, welcome,
                       [welcome] { qobject_cast<QPushButton*>(welcome->Item(1))->click(); });
    const char* mode = std::getenv(kModeVariable);
    if (std::strcmp(mode, "detection") == 0) {
      DriveDetection();
    } else {
      // Inside the register test values of the basic test, or in the loopback's pattern rounds.
      DriveDiagnostics(std::strcmp(mode, "basic") == 0 ? 250 : -1);
    }
    return false;
  }

 private:
  bool pressed_ = false;
};

void InstallObserver() {
  if (std::getenv(kModeVariable)) qApp->installEventFilter(new WelcomeObserver);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallObserver)

namespace {

// Runs one child; returns the milliseconds from its click on "Quit" to its end, or -1.
double RunChild(const char* self, const char* mode, const QString& workDir,
                const std::string& comDir) {
  int reportFd = -1;
  const pid_t pid = benchsupport::StartToolChild(self, mode, workDir, comDir, &reportFd);
  if (pid < 0) return -1;
  char buffer[64] = {};
  const ssize_t n = ::read(reportFd, buffer, sizeof buffer - 1);
  ::close(reportFd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double ended = NowMs();
  if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return ended - std::atof(buffer);
}

struct Figures {
  std::vector<double> ms;
  std::vector<double> floorMs;     // the stop's own floor, when it has one
  std::vector<double> readBackMs;  // from the first read-back command to the last answer
  [[nodiscard]] double Median() const { return ms[ms.size() / 2]; }
  [[nodiscard]] double FloorMedian() const {
    return floorMs.empty() ? 0 : floorMs[floorMs.size() / 2];
  }
  [[nodiscard]] double ReadBackMedian() const {
    return readBackMs.empty() ? 0 : readBackMs[readBackMs.size() / 2];
  }
};

// The simulated modem's record of the end of a run: from the first register read after the
// first register write to the last answer the modem sent. 0 when nothing was read back.
double ReadBackMs(const sim::ModemSim& modem) {
  long long first = -1, last = -1;
  bool written = false;
  for (const sim::Event& e : modem.Events()) {
    if (e.port != "COM3") continue;
    if (e.kind == "rx" && e.text.rfind("at%T21,", 0) == 0) written = true;
    if (written && first < 0 && e.kind == "rx" && e.text.rfind("at%T22,", 0) == 0) first = e.ms;
    if (first >= 0 && e.kind == "tx") last = e.ms;
  }
  return first < 0 || last < first ? 0 : double(last - first);
}

// What the simulated modem's line and the tool's described pauses cannot beat.
constexpr double kByteMs = 10.0 * 1000.0 / 19200.0;  // one character, ten bits
constexpr double kPauseMs = 100;                     // after every transaction's answer
constexpr double kGuardMs = 1000;                    // the tool's and the modem's, around "+++"
constexpr double kStopRatioTarget = 1.10;

// The least a stop during a loopback can take, from the modem's record of the run: 1 s of
// silence before "+++", "+++" itself, the modem's 1 s after it before its "OK", then each command
// that puts the modem back or reads it back: its echo and answer lines at 19200 baud, and the
// pause after each transaction's answer (the escape's included). The time the stop takes to begin
// is not in it: the floor of the stop itself.
double StopFloorMs(const sim::ModemSim& modem) {
  double floor = -1;
  for (const sim::Event& e : modem.Events()) {
    if (e.port != "COM3") continue;
    if (floor < 0) {
      if (e.kind == "state" && e.text.rfind("mode=command (+++)", 0) == 0)
        floor = 2 * kGuardMs + 3 * kByteMs + kPauseMs;
      continue;
    }
    if (e.kind == "rx") floor += (double(e.text.size()) + 1) * kByteMs + kPauseMs;
    // Each answer line framed in CR LF before and after.
    if (e.kind == "tx") floor += (double(e.text.size()) + 4) * kByteMs;
  }
  return floor;
}

bool Measure(const char* self, const char* mode, const QString& workDir,
             const std::vector<sim::PortConfig>& ports, int runs, Figures& figures) {
  for (int i = 0; i < runs; ++i) {
    sim::ModemSim modem;
    sim::Options options;
    options.ports = ports;
    std::string error;
    if (!modem.Start(options, &error)) {
      std::fprintf(stderr, "quit_bench: simulator: %s\n", error.c_str());
      return false;
    }
    const sim::PortState before = modem.State(3).value();
    const double ms = RunChild(self, mode, workDir, modem.Directory());
    const sim::PortState after = modem.State(3).value();
    if (ms < 0) {
      std::fprintf(stderr, "quit_bench: a %s run failed\n", mode);
      return false;
    }
    if (after.dataMode || after.reg18 != before.reg18 || after.reg29 != before.reg29 ||
        after.reg2A != before.reg2A || after.reg20 != before.reg20 ||
        after.countryCode != before.countryCode) {
      std::fprintf(stderr, "quit_bench: the modem was not put back after a %s run\n", mode);
      return false;
    }
    figures.ms.push_back(ms);
    if (const double readBack = ReadBackMs(modem); readBack > 0)
      figures.readBackMs.push_back(readBack);
    if (const double floor = StopFloorMs(modem); floor > 0) figures.floorMs.push_back(floor);
  }
  std::sort(figures.ms.begin(), figures.ms.end());
  std::sort(figures.floorMs.begin(), figures.floorMs.end());
  std::sort(figures.readBackMs.begin(), figures.readBackMs.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv(kModeVariable)) return ui::RunDiagApp(argc, argv);

  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir work;
  if (!work.isValid() ||
      !QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat"))) {
    std::fprintf(stderr, "quit_bench: cannot prepare a working directory\n");
    return 1;
  }
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;

  sim::PortConfig silent;
  silent.kind = sim::PortKind::kSilent;
  Figures detection, basic, loopback;
  if (!Measure(self, "detection", work.path(), {silent}, runs, detection) ||
      !Measure(self, "basic", work.path(), {sim::PortConfig{}}, runs, basic) ||
      !Measure(self, "loopback", work.path(), {sim::PortConfig{}}, runs, loopback)) {
    return 1;
  }
  std::printf(
      "quit during a detection's silent-port wait to process exit: median %.0f ms, "
      "min %.0f ms, max %.0f ms (%d runs; target < 500 ms)\n",
      detection.Median(), detection.ms.front(), detection.ms.back(), runs);
  std::printf(
      "quit during the basic test's register writes to process exit, modem put back and read "
      "back: median %.0f ms, min %.0f ms, max %.0f ms (%d runs)\n",
      basic.Median(), basic.ms.front(), basic.ms.back(), runs);
  std::printf(
      "the read-back of four registers and the country at the end: median %.0f ms "
      "(target < 700 ms)\n",
      basic.ReadBackMedian());
  const double floor = loopback.FloorMedian();
  const double ratio = floor > 0 ? loopback.Median() / floor : 0;
  std::printf(
      "quit during a loopback test to process exit, modem put back: median %.0f ms, "
      "min %.0f ms, max %.0f ms (%d runs); its floor %.0f ms, ratio %.3f (target <= %.2f)\n",
      loopback.Median(), loopback.ms.front(), loopback.ms.back(), runs, floor, ratio,
      kStopRatioTarget);
  bool met = true;
  if (detection.Median() >= 500) {
    std::printf("missed: quit during a detection, %.0f ms against 500 ms\n", detection.Median());
    met = false;
  }
  if (floor <= 0 || ratio > kStopRatioTarget) {
    std::printf("missed: quit during a loopback test, %.3f times its floor against %.2f\n", ratio,
                kStopRatioTarget);
    met = false;
  }
  return met ? 0 : 2;
}

// --report's detection against the dialogs' detection, and the report's start to its first
// command, on the simulated modem (COM1 silent, COM3 the modem).
//
//   kalvex_report_bench [RUNS]
//
// Both detections are timed the same way, from the simulator's events: from the "&FZ" COM3
// receives to the "OK" after the last register read. The dialogs' detection is the same
// modem::DetectModem the main dialog runs, in this process on a QApplication with a view that
// keeps nothing; the report's is the real program (kalvex-modem-diag --report) started afresh
// each run. Start to first command: from just before the program is started to the moment
// COM3 receives its first command (the 100 ms detection waits after opening a port included).
// Targets: the report within 50 ms of the dialogs; start to first command within the 100 ms
// detection lets the line settle after opening a port plus 60 ms for the start itself. Exit
// status 2 names what missed its target on a line of its own ("missed: ...").

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/quiet_view.h"
#include "diagnostics/program_run.h"
#include "modem_sim.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using benchsupport::QuietView;

// The pause after opening a port that detection makes before its first command, and what the
// start may add to it.
constexpr double kSettleMs = 100;
constexpr double kStartMs = 60;

// Milliseconds from COM3's "&FZ" to the "OK" after its "%T22,20" among events from `from` on;
// negative when they are not there.
double DetectionSpanMs(const sim::ModemSim& modem, std::size_t from) {
  const auto start = modem.WaitForEvent("COM3", "rx", "&FZ", 10s, from);
  const auto lastRead = modem.WaitForEvent("COM3", "rx", "%T22,20", 10s, from);
  if (!start || !lastRead) return -1;
  const auto ok = modem.WaitForEvent("COM3", "tx", "OK", 10s, *lastRead);
  if (!ok) return -1;
  const std::vector<sim::Event> events = modem.Events();
  return double(events[*ok].ms - events[*start].ms);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir work;
  if (!work.isValid() ||
      !QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat"))) {
    std::fprintf(stderr, "report_bench: cannot prepare a working directory\n");
    return 1;
  }
  sim::ModemSim modem;
  std::string error;
  if (!modem.Start(sim::Options{}, &error)) {
    std::fprintf(stderr, "report_bench: simulator: %s\n", error.c_str());
    return 1;
  }
  for (int n = 1; n <= 9; ++n) qunsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
  qputenv("KALVEX_COM_DIR", QByteArray::fromStdString(modem.Directory()));
  qputenv("XDG_RUNTIME_DIR", work.path().toLocal8Bit());

  std::vector<double> dialogs;
  std::vector<double> report;
  std::vector<double> firstCommand;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) env.remove(name);
  for (int i = 0; i < runs; ++i) {
    std::size_t from = modem.Events().size();
    {
      diagnostics::Session session;
      QuietView view;
      QDir::setCurrent(work.path());
      diagnostics::LoadIdentificationList(view);
      (void)diagnostics::DetectModem(session, view);
      diagnostics::ClosePort(session);
    }
    dialogs.push_back(DetectionSpanMs(modem, from));

    from = modem.Events().size();
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(work.path());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const Clock::time_point started = Clock::now();
    process.start(QStringLiteral(KALVEX_DIAG_BINARY), {"--report", "--json"});
    const auto first = modem.WaitForEvent("COM3", "rx", "", 10s, from);
    const Clock::time_point firstAt = Clock::now();
    if (!first || !process.waitForFinished(30000) || process.exitCode() != 0) {
      std::fprintf(stderr, "report_bench: a report run failed\n");
      return 1;
    }
    firstCommand.push_back(std::chrono::duration<double, std::milli>(firstAt - started).count());
    report.push_back(DetectionSpanMs(modem, from));
  }
  const double dialogsMs = Median(dialogs);
  const double reportMs = Median(report);
  const double firstMs = Median(firstCommand);

  std::printf("detection, dialogs' run: median %.0f ms\n", dialogsMs);
  std::printf("detection, --report: median %.0f ms (%+.0f ms; target within 50 ms)\n", reportMs,
              reportMs - dialogsMs);
  std::printf(
      "--report start to first command: median %.1f ms, min %.1f ms, max %.1f ms "
      "(%d runs; target < %.0f ms)\n",
      firstMs, *std::min_element(firstCommand.begin(), firstCommand.end()),
      *std::max_element(firstCommand.begin(), firstCommand.end()), runs, kSettleMs + kStartMs);
  std::printf("  of which detection's settle after opening the port: %.0f ms, the dialogs' too\n",
              kSettleMs);
  bool met = true;
  if (std::abs(reportMs - dialogsMs) > 50) {
    std::printf("missed: --report detection, %+.0f ms from the dialogs' against 50 ms\n",
                reportMs - dialogsMs);
    met = false;
  }
  if (firstMs >= kSettleMs + kStartMs) {
    std::printf("missed: --report start to first command, %.1f ms against %.0f ms\n", firstMs,
                kSettleMs + kStartMs);
    met = false;
  }
  return met ? 0 : 2;
}

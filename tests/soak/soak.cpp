// The soak: cycle after cycle of "Detect Again...", the diagnostic run, the speaker test and the
// line test in one real main dialog (Qt's offscreen platform), each cycle against a freshly
// started simulated modem with one fault drawn from the seed, the prompts answered by an
// autopilot. Every result must agree with the drawn fault, the modem must end every cycle with
// its vendor registers as it started, and the process must hold as many descriptors and threads
// of its own, and about as much memory, after the last cycle as after the first. Threads Qt
// starts and ends for itself are shown but not bounded.
//
//   kalvex-soak [--cycles N] [--seed S] [--only C] [--log-dir DIR]
//
// --only C runs cycle C of that seed alone, after bringing the main dialog into the state the
// cycles before it leave (a detection of the port they last found). Exit status 0 when every
// cycle agreed and nothing grew, 1 otherwise, 2 for a bad argument, 3 when a cycle hung.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../sim/modem_sim.h"
#include "modem/detection.h"
#include "modem/session.h"
#include "platform/clock.h"
#include "resources/control_ids.h"
#include "serial/tty_port.h"
#include "soak/process_usage.h"
#include "soak/soak_plan.h"
#include "support/modem_as_found.h"
#include "ui/line_test_dialog.h"
#include "ui/main_dialog.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using soak::CarriedState;
using soak::CyclePlan;
using soak::Expected;

constexpr char kNotFound[] = "Can not find Kalvex Internal Modem in your system !";
constexpr char kQuestion[] =
    "Line connection is not detected in your system. Did you have line connected ?";
// The tool's own pause before "+++" is 1 s, so the modem keeps its real guard time; the dial
// is shortened, which changes no result.
constexpr int kGuardTimeMs = 1000;
constexpr int kDialTimeMs = 300;
// The slowest cycle (a failed detection after an earlier success, every later step timing out
// on a closed port) takes about 70 s.
constexpr int kCycleLimitSeconds = 240;
constexpr long kRssBoundKb = 2048;
// The program's own threads between cycles: the main thread and the watchdog. The port's reader
// and the simulated modem's event thread have ended by then.
constexpr int kOwnThreadsBetweenCycles = 2;
// The port's reader thread is detached and ends just after it has told Close that it is done; a
// count taken in that moment waits this long for it, so only a thread that stays is counted.
constexpr int kThreadEndGraceMs = 1000;
// Memory taken once, by the first of each kind of dialog and box, shows in the first cycles;
// the summary also gives the figures after this many, for comparison.
constexpr int kSettledAfter = 10;

// Answers whatever the tool shows while a cycle runs, as the cycle's plan says, and counts it.
class Autopilot : public QObject {
 public:
  struct Seen {
    int notFoundBoxes = 0;
    int questions = 0;
    int prompts = 0;
    std::vector<std::string> otherBoxes;
  };

  Autopilot() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
    timer_.start();
  }

  void Arm(const CyclePlan& plan) {
    plan_ = plan;
    seen = {};
    prompt_ = nullptr;
  }

  Seen seen;

 private:
  void Step() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      std::string text = box->text().toStdString();
      QAbstractButton* button = nullptr;
      if (text == kNotFound) {
        ++seen.notFoundBoxes;
        button = box->button(QMessageBox::Ok);
      } else if (text == kQuestion) {
        ++seen.questions;
        button = box->button(plan_.lineYes ? QMessageBox::Yes : QMessageBox::No);
      } else {
        seen.otherBoxes.push_back(text);
      }
      if (button) {
        button->click();
      } else {
        box->reject();
      }
      return;
    }
    if (auto* prompt = qobject_cast<ui::VoicePromptDialog*>(modal)) {
      if (prompt_ != prompt) {
        prompt_ = prompt;
        promptShownMs_ = platform::NowMs();
        ++seen.prompts;
      }
      if (platform::NowMs() - promptShownMs_ >= plan_.voiceDelayMs) {
        int id = plan_.voiceYes ? ids::kVoiceYes : ids::kVoiceNo;
        prompt_ = nullptr;
        qobject_cast<QPushButton*>(prompt->Item(id))->click();
      }
      return;
    }
    if (auto* line = qobject_cast<ui::LineTestDialog*>(modal)) {
      if (line->IsItemEnabled(ids::kLineOk)) {
        qobject_cast<QPushButton*>(line->Item(ids::kLineOk))->click();
      }
    }
  }

  CyclePlan plan_;
  QPointer<ui::VoicePromptDialog> prompt_;
  int64_t promptShownMs_ = 0;
  QTimer timer_;
};

// Ends the process when a cycle runs far past anything its time-outs allow: a hang must not
// turn an unattended soak into one that never reports.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mu_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  void Arm(const std::string& what, int seconds) {
    std::lock_guard lock(mu_);
    what_ = what;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    armed_ = true;
  }
  void Disarm() {
    std::lock_guard lock(mu_);
    armed_ = false;
  }

 private:
  void Watch() {
    std::unique_lock lock(mu_);
    while (!stop_) {
      cv_.wait_for(lock, std::chrono::seconds(1));
      if (armed_ && std::chrono::steady_clock::now() > deadline_) {
        std::fprintf(stderr, "\nsoak: HANG: %s did not end within %d s\n", what_.c_str(),
                     kCycleLimitSeconds);
        std::fflush(nullptr);
        std::_Exit(3);
      }
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool armed_ = false;
  std::string what_;
  std::chrono::steady_clock::time_point deadline_;
  std::thread thread_;
};

void UseComDir(const std::string& dir) {
  // KALVEX_COMn would win over the directory and could name a real device.
  for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
  ::setenv("KALVEX_COM_DIR", dir.c_str(), 1);
}

QPushButton* Button(ui::MainDialog& dialog, int id) {
  return qobject_cast<QPushButton*>(dialog.Item(id));
}

std::string Text(ui::MainDialog& dialog, int id) { return dialog.ItemText(id).toStdString(); }

// "Detect Again..." as the user presses it: the click arms timer 0, and the detection runs from
// its tick, whole, inside one dispatch.
void DetectAgain(ui::MainDialog& dialog) {
  Button(dialog, ids::kDetectAgain)->click();
  while (dialog.HasTimer(0)) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct ResultTexts {
  std::string basic, digital, analog, speaker, line;
};

ResultTexts ReadResults(ui::MainDialog& dialog) {
  return {Text(dialog, ids::kBasicResult), Text(dialog, ids::kDigitalResult),
          Text(dialog, ids::kAnalogResult), Text(dialog, ids::kSpeakerResult),
          Text(dialog, ids::kLineResult)};
}

using testsupport::Hex2;

std::string Registers(const sim::PortState& state) {
  return Hex2(state.reg18) + " " + Hex2(state.reg29) + " " + Hex2(state.reg2A) + " " +
         Hex2(state.reg20);
}

struct CycleOutcome {
  std::vector<std::string> disagreements;
  double seconds = 0;
};

class Disagreements {
 public:
  explicit Disagreements(std::vector<std::string>& out) : out_(out) {}
  void Check(const char* what, const std::string& expected, const std::string& actual) {
    if (expected != actual)
      out_.push_back(std::string(what) + ": expected \"" + expected + "\", got \"" + actual + "\"");
  }
  void Check(const char* what, long expected, long actual) {
    if (expected != actual) {
      out_.push_back(std::string(what) + ": expected " + std::to_string(expected) + ", got " +
                     std::to_string(actual));
    }
  }

 private:
  std::vector<std::string>& out_;
};

sim::Options SimOptions(const CyclePlan& plan) {
  sim::Options options;
  sim::PortConfig modemPort;
  modemPort.number = plan.modemPort;
  modemPort.kind = sim::PortKind::kModem;
  modemPort.faults = plan.ModemFaults();
  options.ports.push_back(modemPort);
  if (plan.frontKind) {
    sim::PortConfig front;
    front.number = plan.frontPort;
    front.kind = *plan.frontKind;
    options.ports.push_back(front);
  }
  options.pacing = plan.pacing;
  options.guardTimeMs = kGuardTimeMs;
  options.dialTimeMs = kDialTimeMs;
  options.seed = plan.simSeed;
  return options;
}

// Runs one cycle and compares everything it shows with the prediction.
CycleOutcome RunCycle(ui::MainDialog& dialog, Autopilot& pilot, const CyclePlan& plan,
                      const Expected& expected, const std::string& logDir) {
  CycleOutcome outcome;
  Disagreements check(outcome.disagreements);
  int64_t start = platform::NowMs();

  sim::ModemSim modem;
  std::string error;
  if (!modem.Start(SimOptions(plan), &error)) {
    outcome.disagreements.push_back("the simulated modem did not start: " + error);
    return outcome;
  }
  UseComDir(modem.Directory());
  std::vector<int> modemLikePorts = {plan.modemPort};
  if (plan.frontKind == sim::PortKind::kForeign) modemLikePorts.push_back(plan.frontPort);
  std::vector<sim::PortState> initial;
  for (int port : modemLikePorts) initial.push_back(modem.State(port).value());
  ResultTexts before = ReadResults(dialog);
  pilot.Arm(plan);

  DetectAgain(dialog);
  bool found = pilot.seen.notFoundBoxes == 0;
  check.Check("detection found the modem", expected.found, found);
  check.Check("not-found boxes", expected.found ? 0 : 1, pilot.seen.notFoundBoxes);
  if (expected.found && found) {
    check.Check("1009 location", "COM" + std::to_string(expected.port),
                Text(dialog, ids::kLocation));
    check.Check("detected port", expected.port, dialog.RunSession().detectedPort);
    check.Check("1015 modem", "Zelto Win Modem", Text(dialog, ids::kModemName));
    if (expected.firmware)
      check.Check("1016 firmware", *expected.firmware, Text(dialog, ids::kFirmware));
    if (expected.country)
      check.Check("1017 country", *expected.country, Text(dialog, ids::kCountry));
  }
  for (int id : {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine}) {
    check.Check(("button " + std::to_string(id) + " enabled after detection").c_str(),
                expected.testsRun, dialog.IsItemEnabled(id));
  }

  Button(dialog, ids::kTestDiagnostics)->click();
  Button(dialog, ids::kTestSpeaker)->click();
  Button(dialog, ids::kTestLine)->click();

  ResultTexts after = ReadResults(dialog);
  ResultTexts want = expected.testsRun
                         ? ResultTexts{expected.basic, expected.digital, expected.analog,
                                       expected.speaker, expected.line}
                         : before;
  check.Check("1007 basic", want.basic, after.basic);
  check.Check("1012 digital", want.digital, after.digital);
  check.Check("1013 analog", want.analog, after.analog);
  check.Check("1014 speaker", want.speaker, after.speaker);
  check.Check("1003 line", want.line, after.line);
  check.Check("voice prompts", expected.prompted ? 1 : 0, pilot.seen.prompts);
  check.Check("\"Connect ?\" questions", expected.asked ? 1 : 0, pilot.seen.questions);
  for (const std::string& text : pilot.seen.otherBoxes) {
    outcome.disagreements.push_back("unexpected message box: " + text);
  }
  for (int id : {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine, ids::kDetectAgain}) {
    check.Check(("button " + std::to_string(id) + " enabled after the runs").c_str(),
                expected.testsRun || id == ids::kDetectAgain, dialog.IsItemEnabled(id));
  }

  for (std::size_t i = 0; i < modemLikePorts.size(); ++i) {
    sim::PortState now = modem.State(modemLikePorts[i]).value();
    std::string port = "COM" + std::to_string(modemLikePorts[i]);
    check.Check((port + " registers 18 29 2A 20").c_str(), Registers(initial[i]), Registers(now));
    check.Check((port + " buzz").c_str(), 0, now.buzz);
    check.Check((port + " in data mode").c_str(), 0, now.dataMode);
  }
  check.Check("modem country code", expected.modemCountry,
              modem.State(plan.modemPort).value().countryCode);

  // Every cycle ends with the port closed, as the next detection would leave a lost one, so
  // that descriptors are counted alike after every cycle.
  dialog.RunSession().port.Close();
  if (!outcome.disagreements.empty()) {
    std::string path = logDir + "/soak-cycle-" + std::to_string(plan.cycle) + ".log";
    std::ofstream log(path);
    for (const sim::Event& event : modem.Events()) log << event.Line() << '\n';
    outcome.disagreements.push_back("transcript: " + path);
  }
  modem.Stop();
  outcome.seconds = static_cast<double>(platform::NowMs() - start) / 1000.0;
  return outcome;
}

// For a single replayed cycle: what the cycles before it leave in the main dialog.
bool Prime(ui::MainDialog& dialog, const CarriedState& carried) {
  if (!carried.everFound) return true;
  sim::ModemSim modem;
  sim::Options options;
  sim::PortConfig port;
  port.number = carried.detectedPort;
  options.ports = {port};
  options.pacing = false;
  if (!modem.Start(options)) return false;
  UseComDir(modem.Directory());
  DetectAgain(dialog);
  dialog.RunSession().port.Close();
  return dialog.RunSession().detectedPort == carried.detectedPort &&
         dialog.IsItemEnabled(ids::kTestLine);
}

// What the process holds between cycles, once a thread that is ending has ended.
soak::ProcessUsage UsageBetweenCycles() {
  soak::ProcessUsage usage = soak::ReadProcessUsage();
  int64_t deadline = platform::NowMs() + kThreadEndGraceMs;
  while (usage.ownThreads > kOwnThreadsBetweenCycles && platform::NowMs() < deadline) {
    // A detached thread's end signals nothing: polled, not a wait on the tool.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // not a wait on an event
    usage = soak::ReadProcessUsage();
  }
  return usage;
}

struct KindTally {
  int cycles = 0;
  int agreed = 0;
};

struct Arguments {
  int cycles = 100;
  std::uint64_t seed = 0;
  bool seedGiven = false;
  int only = 0;
  std::string logDir = ".";
};

bool ParseArguments(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    char* end = nullptr;
    if (name == "--cycles") {
      args.cycles = static_cast<int>(std::strtol(value, &end, 10));
      if (*end != '\0' || args.cycles < 1) return false;
    } else if (name == "--seed") {
      args.seed = std::strtoull(value, &end, 10);
      if (*end != '\0') return false;
      args.seedGiven = true;
    } else if (name == "--only") {
      args.only = static_cast<int>(std::strtol(value, &end, 10));
      if (*end != '\0' || args.only < 1) return false;
    } else if (name == "--log-dir") {
      args.logDir = value;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!ParseArguments(argc, argv, args)) {
    std::fprintf(stderr, "usage: kalvex-soak [--cycles N] [--seed S] [--only C] [--log-dir DIR]\n");
    return 2;
  }
  if (!args.seedGiven) {
    args.seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch() /
                                           std::chrono::microseconds(1));
  }
  if (args.only > args.cycles) args.cycles = args.only;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  Autopilot pilot;
  Watchdog watchdog;

  // As the main dialog stands after its welcome: the "Test..." buttons off until a modem is
  // found, the identification list read from the shipped ati3.dat.
  modem::Session session;
  ui::MainDialog dialog(session, nullptr);
  QString home = QDir::currentPath();
  QDir::setCurrent(QStringLiteral(KALVEX_DATA_DIR));
  for (int id : {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine})
    dialog.EnableItem(id, false);
  modem::LoadIdentificationList(dialog);
  QDir::setCurrent(home);
  dialog.show();

  std::printf("soak: %d cycle%s, seed %llu%s\n", args.only ? 1 : args.cycles, args.only ? "" : "s",
              static_cast<unsigned long long>(args.seed),
              args.only ? (" (cycle " + std::to_string(args.only) + " alone)").c_str() : "");
  std::printf(
      "soak: replay with scripts/soak.sh %d %llu; one cycle with scripts/soak.sh %d %llu --only "
      "C\n",
      args.cycles, static_cast<unsigned long long>(args.seed), args.cycles,
      static_cast<unsigned long long>(args.seed));

  int first = 1;
  CarriedState carried;
  if (args.only) {
    for (int c = 1; c < args.only; ++c) {
      carried = soak::After(soak::PredictCycle(soak::DrawCycle(args.seed, c), carried), carried);
    }
    watchdog.Arm("priming for cycle " + std::to_string(args.only), kCycleLimitSeconds);
    if (!Prime(dialog, carried)) {
      std::printf("soak: could not bring the dialog into the state before cycle %d\n", args.only);
      return 1;
    }
    first = args.only;
  }

  int64_t started = platform::NowMs();
  KindTally tally[soak::kFaultKinds];
  int agreedTotal = 0, run = 0;
  soak::ProcessUsage afterFirst, afterSettling, afterLast;
  for (int c = first; c <= args.cycles; ++c) {
    CyclePlan plan = soak::DrawCycle(args.seed, c);
    // The prediction starts from the state the dialog really holds, so one disagreement does
    // not make every later cycle disagree too.
    carried.everFound = dialog.IsItemEnabled(ids::kTestDiagnostics);
    carried.detectedPort = dialog.RunSession().detectedPort;
    Expected expected = soak::PredictCycle(plan, carried);
    watchdog.Arm("cycle " + std::to_string(c) + " (" + plan.Describe() + ")", kCycleLimitSeconds);
    CycleOutcome outcome = RunCycle(dialog, pilot, plan, expected, args.logDir);
    watchdog.Disarm();
    // Qt paints large images with the help of its global thread pool, whose idle threads live
    // on for 30 s; they are not counted as the program's own, and joining them keeps the helper
    // figure shown per cycle to what Qt needs between cycles.
    QThreadPool::globalInstance()->waitForDone();
    soak::ProcessUsage usage = UsageBetweenCycles();
    if (run == 0) afterFirst = usage;
    if (run == kSettledAfter - 1) afterSettling = usage;
    afterLast = usage;
    ++run;

    KindTally& kind = tally[static_cast<int>(plan.kind)];
    ++kind.cycles;
    bool agreed = outcome.disagreements.empty();
    if (agreed) {
      ++kind.agreed;
      ++agreedTotal;
    }
    std::printf("cycle %3d  %-6s %5.1f s  %s%s  fds %d threads %d (+%d Qt) rss %ld kB\n", c,
                agreed ? "agreed" : "DISAGREED", outcome.seconds, plan.Describe().c_str(),
                expected.found ? "" : " (not found)", usage.fds, usage.ownThreads,
                usage.helperThreads, usage.rssKb);
    for (const std::string& line : outcome.disagreements) std::printf("    %s\n", line.c_str());
    if (args.only) break;
  }
  double totalSeconds = static_cast<double>(platform::NowMs() - started) / 1000.0;

  bool grew = afterLast.fds != afterFirst.fds || afterLast.ownThreads != afterFirst.ownThreads ||
              afterLast.rssKb - afterFirst.rssKb > kRssBoundKb;
  std::printf("\n%-22s %7s %7s %9s\n", "fault kind", "cycles", "agreed", "disagreed");
  for (int k = 0; k < soak::kFaultKinds; ++k) {
    std::printf("%-22s %7d %7d %9d\n", soak::FaultKindName(static_cast<soak::FaultKind>(k)),
                tally[k].cycles, tally[k].agreed, tally[k].cycles - tally[k].agreed);
  }
  std::printf("%-22s %7d %7d %9d\n", "all", run, agreedTotal, run - agreedTotal);
  std::printf("\n%-22s %10s %10s %10s  %s\n", "after cycle", "first",
              ("#" + std::to_string(kSettledAfter)).c_str(), "last", "bound (first vs last)");
  std::printf("%-22s %10d %10d %10d  %s\n", "open descriptors", afterFirst.fds, afterSettling.fds,
              afterLast.fds, "equal");
  std::printf("%-22s %10d %10d %10d  %s\n", "own threads", afterFirst.ownThreads,
              afterSettling.ownThreads, afterLast.ownThreads, "equal");
  std::printf("%-22s %10d %10d %10d  %s\n", "Qt helper threads", afterFirst.helperThreads,
              afterSettling.helperThreads, afterLast.helperThreads, "not bounded");
  std::printf("%-22s %10ld %10ld %10ld  %s\n", "resident memory (kB)", afterFirst.rssKb,
              afterSettling.rssKb, afterLast.rssKb, "last - first <= 2048 kB");
  std::printf("\nsoak: %d cycles in %.0f s (%.1f min), seed %llu: %s\n", run, totalSeconds,
              totalSeconds / 60.0, static_cast<unsigned long long>(args.seed),
              run == agreedTotal && !grew ? "PASSED" : "FAILED");
  return run == agreedTotal && !grew ? 0 : 1;
}

// The three test runs against the simulated modem on COM3 (pacing on, the simulator's default
// guard and dial times), each beside its floor: the waits the runs are built from, the time the
// modem's answers and loopback echoes take on a 19200-baud line, the modem's guard time after
// each "+++" and its dial time. The prompts are answered, and the line test's OK pressed, the
// moment they allow it; beeps are left out (the view does not play them).
//
// And the tool's own overhead per transaction: the return of Transact minus the arrival of the
// line that matched (the modem's transcript, pacing off so that a line arrives when it is
// noted) minus the 100 ms every transaction waits after its match. Counters overhead_median_ms
// and overhead_p99_ms; the median must stay under 2 ms.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../../sim/modem_sim.h"
#include "../support/quiet_view.h"
#include "../support/sim_ports.h"
#include "diagnostics/diagnostic_run.h"
#include "diagnostics/program_run.h"
#include "modem/detection.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "resources/control_ids.h"
#include "serial/tty_port.h"
#include "ui/line_test_dialog.h"
#include "ui/voice_prompt_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kByteMs = 10.0 * 1000.0 / 19200.0;  // one character, ten bits
constexpr double kSettleMs = 100;                    // after every transaction
constexpr int kGuardMs = 1000;
constexpr int kDialMs = 2500;

using benchsupport::QuietView;

QApplication& App() {
  static int argc = 1;
  static char name[] = "diagnostics_bench";
  static char* argv[] = {name, nullptr};
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QApplication app(argc, argv);
  return app;
}

struct Bench {
  sim::ModemSim sim;
  modem::Session session;
  QuietView view;
  Clock::time_point simStart;

  // The simulated modem, found by the real detection so that the snapshot is taken.
  bool Start(benchmark::State& state, bool pacing) {
    App();
    sim::Options options;
    options.ports = {sim::PortConfig{3, sim::PortKind::kModem, {}}};
    options.pacing = pacing;
    options.guardTimeMs = kGuardMs;
    options.dialTimeMs = kDialMs;
    simStart = Clock::now();
    if (!benchsupport::StartSimulator(state, sim, options)) return false;
    std::snprintf(view.identificationList.lines[0], modem::kIdentificationLineSize, "%s",
                  std::string(sim::kModemIdentification).c_str());
    view.identificationList.count = 1;
    modem::DetectModem(session, view);
    if (session.detectedPort != 3) {
      state.SkipWithError("modem not found on COM3");
      return false;
    }
    return true;
  }
};

// What the modem's side of the line cannot do faster than, from event `from` on: the echo of
// each command (text and CR), each answer framed in CR LF before and after, each loopback line
// with its CR LF, the guard time after each escape and the time each dial takes.
double ModemFloorMs(const sim::ModemSim& sim, size_t from) {
  double bytes = 0;
  double waits = 0;
  for (const sim::Event& e : sim.Events(from)) {
    if (e.port != "COM3") continue;
    if (e.kind == "rx") bytes += double(e.text.size()) + 1;
    if (e.kind == "tx") bytes += double(e.text.size()) + 4;
    if (e.kind == "data-tx") bytes += double(e.text.size()) + (e.text == "+++" ? 0 : 2);
    if (e.kind == "state" && e.text.rfind("mode=command (+++)", 0) == 0) waits += kGuardMs;
    if (e.kind == "state" && e.text.rfind("dial ", 0) == 0) waits += kDialMs;
  }
  return bytes * kByteMs + waits;
}

// Calls step from the event loop every millisecond, nested waits included, until it returns true.
void EveryMs(std::function<bool()> step) {
  auto* timer = new QTimer(&App());
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer, &QTimer::timeout, [timer, step = std::move(step)] {
    if (step()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(1);
}

template <class T>
T* VisibleDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

void RunAgainstFloor(benchmark::State& state, double ownWaitsMs,
                     const std::function<void(Bench&)>& run) {
  Bench bench;
  if (!bench.Start(state, true)) return;
  double measuredTotal = 0, floorTotal = 0;
  for (auto _ : state) {
    size_t from = bench.sim.Events().size();
    auto start = Clock::now();
    run(bench);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    state.SetIterationTime(ms / 1000.0);
    measuredTotal += ms;
    floorTotal += ownWaitsMs + ModemFloorMs(bench.sim, from);
  }
  bench.session.port.Close();
  double runs = double(state.iterations());
  state.counters["measured_ms"] = measuredTotal / runs;
  state.counters["floor_ms"] = floorTotal / runs;
  state.counters["over_floor_ms"] = (measuredTotal - floorTotal) / runs;
  state.counters["ratio"] = measuredTotal / floorTotal;
}

// Twelve basic steps; per loopback its connect, three echoes, the pause before "+++", the
// escape and its end commands (two digital, one analog); four restore writes.
void BM_DiagnosticRun(benchmark::State& state) {
  constexpr double kWaits = 12 * kSettleMs + (1 + 3 + 1 + 2) * kSettleMs + 1000 +
                            (1 + 3 + 1 + 1) * kSettleMs + 1000 + 4 * kSettleMs;
  RunAgainstFloor(state, kWaits, [](Bench& bench) {
    (void)diagnostics::RunDiagnosticTests(bench.session, bench.view);
  });
}

// "L3", "M2", "H1", the 1500 ms pause, "%T24", Yes as soon as the prompt is up, "H".
void BM_SpeakerRun(benchmark::State& state) {
  constexpr double kWaits = 3 * kSettleMs + 1500 + kSettleMs + kSettleMs;
  RunAgainstFloor(state, kWaits, [](Bench& bench) {
    EveryMs([] {
      auto* prompt = VisibleDialog<ui::VoicePromptDialog>();
      if (!prompt) return false;
      qobject_cast<QPushButton*>(prompt->Item(ids::kVoiceYes))->click();
      return true;
    });
    (void)ui::RunSpeakerTest(bench.session, bench.view);
  });
}

// The 500 ms start, six commands, the dial, the 1000 ms hang-up pause, four restore writes;
// OK pressed as soon as it is enabled.
void BM_LineRun(benchmark::State& state) {
  constexpr double kWaits = 500 + 6 * kSettleMs + kSettleMs + 1000 + 4 * kSettleMs;
  RunAgainstFloor(state, kWaits, [](Bench& bench) {
    EveryMs([] {
      auto* dialog = VisibleDialog<ui::LineTestDialog>();
      if (!dialog || !dialog->IsItemEnabled(ids::kLineOk)) return false;
      qobject_cast<QPushButton*>(dialog->Item(ids::kLineOk))->click();
      return true;
    });
    (void)ui::RunLineTest(bench.session, bench.view);
  });
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
  return values[index];
}

// Register reads as the runs' transactions are: the echo, a value line, "OK".
void BM_TransactionOverhead(benchmark::State& state) {
  Bench bench;
  if (!bench.Start(state, false)) return;
  std::vector<double> overheads;
  for (auto _ : state) {
    size_t from = bench.sim.Events().size();
    (void)modem::Transact(bench.session, "%T22,18", "OK", 3);
    auto returned = Clock::now();
    state.PauseTiming();
    double arrivalMs = -1;
    for (const sim::Event& e : bench.sim.Events(from)) {
      if (e.port == "COM3" && e.kind == "tx" && e.text == "OK") {
        // Event times are whole milliseconds since the start: the middle of that millisecond.
        arrivalMs = double(e.ms) + 0.5;
        break;
      }
    }
    if (arrivalMs < 0) {
      state.SkipWithError("no OK in the transcript");
      break;
    }
    double returnedMs =
        std::chrono::duration<double, std::milli>(returned - bench.simStart).count();
    overheads.push_back(returnedMs - arrivalMs - kSettleMs);
    state.ResumeTiming();
  }
  bench.session.port.Close();
  if (overheads.empty()) return;
  state.counters["overhead_median_ms"] = Percentile(overheads, 0.5);
  state.counters["overhead_p99_ms"] = Percentile(overheads, 0.99);
  state.counters["overhead_max_ms"] = Percentile(overheads, 1.0);
}

BENCHMARK(BM_DiagnosticRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SpeakerRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LineRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TransactionOverhead)->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();

// Detection against the simulated modem on COM3, pacing on, compared with what it cannot avoid:
// 100 ms after the open, 100 ms after each of its 8 transactions, the time the modem's answers
// take on a 19200-baud line, and the 100 ms beep when a sound device plays it.
//
// Counters: measured_ms (mean per run), floor_ms, ratio = measured / floor, over_floor_ms, and
// beep_ms (how long the beep took here; it counts in the floor only when it played, >= 100 ms).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../sim/modem_sim.h"
#include "../support/sim_ports.h"
#include "desktop/beep.h"
#include "modem/detection.h"
#include "modem/session.h"
#include "serial/tty_port.h"

namespace {

constexpr double kWaitsMs = 100 + 8 * 100;
constexpr double kByteMs = 10.0 * 1000.0 / 19200.0;  // one character, ten bits

class BenchView final : public modem::MainView {
 public:
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}
  void Beep() override {
    auto start = std::chrono::steady_clock::now();
    desktop::Beep(1000, 100);
    beepMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  double beepMs = 0;
};

// Line time of everything the modem sent back from event `from` on: each command's echo (its
// text and CR) and each answer line framed in CR LF before and after.
double AnswerLineMs(const sim::ModemSim& sim, size_t from) {
  size_t bytes = 0;
  for (const sim::Event& e : sim.Events(from)) {
    if (e.port != "COM3") continue;
    if (e.kind == "rx") bytes += e.text.size() + 1;
    if (e.kind == "tx") bytes += e.text.size() + 4;
  }
  return double(bytes) * kByteMs;
}

void BM_DetectModemOnCom3(benchmark::State& state) {
  sim::ModemSim sim;
  sim::Options options;
  options.ports = {sim::PortConfig{3, sim::PortKind::kModem, {}}};
  options.pacing = true;
  if (!benchsupport::StartSimulator(state, sim, options)) return;

  modem::Session session;
  BenchView view;
  std::snprintf(view.identificationList.lines[0], modem::kIdentificationLineSize, "%s",
                std::string(sim::kModemIdentification).c_str());
  view.identificationList.count = 1;

  double measuredTotal = 0, floorTotal = 0, beepTotal = 0;
  for (auto _ : state) {
    size_t from = sim.Events().size();
    auto start = std::chrono::steady_clock::now();
    (void)modem::DetectModem(session, view);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(ms / 1000.0);
    state.PauseTiming();
    if (session.detectedPort != 3) state.SkipWithError("modem not found on COM3");
    session.port.Close();
    measuredTotal += ms;
    floorTotal += kWaitsMs + AnswerLineMs(sim, from) + (view.beepMs >= 100 ? 100 : 0);
    beepTotal += view.beepMs;
    state.ResumeTiming();
  }
  double runs = double(state.iterations());
  state.counters["measured_ms"] = measuredTotal / runs;
  state.counters["floor_ms"] = floorTotal / runs;
  state.counters["over_floor_ms"] = (measuredTotal - floorTotal) / runs;
  state.counters["ratio"] = measuredTotal / floorTotal;
  state.counters["beep_ms"] = beepTotal / runs;
}

BENCHMARK(BM_DetectModemOnCom3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();

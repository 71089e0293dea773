// The probe of --list-ports --probe against 8 silent simulated ports: every device is asked at
// once, so the whole probe takes about as long as one silent device (100 ms settle and the 3 s
// wait for "OK"), well under the 5 s target.
//
// Counters: measured_ms (mean per run), single_wait_ms (what one silent device cannot take less
// than), target_ms (5000) and within_target (1 when measured_ms < target_ms).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "../../sim/modem_sim.h"
#include "../support/sim_ports.h"
#include "modem/port_probe.h"

namespace {

constexpr int kDevices = 8;
constexpr double kTargetMs = 5000;

void BM_ProbeEightSilentDevices(benchmark::State& state) {
  sim::ModemSim sim;
  sim::Options options;
  for (int n = 1; n <= kDevices; ++n) options.ports.push_back({n, sim::PortKind::kSilent, {}});
  if (!benchsupport::StartSimulator(state, sim, options)) return;
  // The machine's own devices stay out of it.
  ::setenv("KALVEX_SYSFS_ROOT", (sim.Directory() + "/no-sysfs").c_str(), 1);

  double measuredTotal = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    modem::PortProbe probe(modem::ProbeTargets(serial::PortMap()), nullptr);
    int silent = 0;
    for (const modem::ProbeResult& result : probe.Results())
      silent += result.verdict == modem::ProbeVerdict::kSilent;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(ms / 1000.0);
    if (silent != kDevices) state.SkipWithError("not every device was found silent");
    measuredTotal += ms;
  }
  const double measured = measuredTotal / double(state.iterations());
  state.counters["measured_ms"] = measured;
  state.counters["single_wait_ms"] = modem::kProbeSettleMs + modem::kProbeAtTimeoutMs;
  state.counters["target_ms"] = kTargetMs;
  state.counters["within_target"] = measured < kTargetMs ? 1 : 0;
}

BENCHMARK(BM_ProbeEightSilentDevices)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

#pragma once
// Starting the simulated modem for a benchmark and pointing the COM names at it, as the tool
// finds them: KALVEX_COM_DIR, with no KALVEX_COMn left to win over it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "../../sim/modem_sim.h"

namespace benchsupport {

// False, with the benchmark skipped and the reason given, when the simulator did not start.
inline bool StartSimulator(benchmark::State& state, sim::ModemSim& sim,
                           const sim::Options& options) {
  std::string error;
  if (!sim.Start(options, &error)) {
    state.SkipWithError(("simulator: " + error).c_str());
    return false;
  }
  for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
  ::setenv("KALVEX_COM_DIR", sim.Directory().c_str(), 1);
  return true;
}

}  // namespace benchsupport

#pragma once
// The simulated modem on real pseudo-terminals for the modem tests, with the tool pointed at
// its directory and nowhere else, and its transcript read back per port.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../../sim/modem_sim.h"
#include "support/modem_as_found.h"

namespace modem_test {

// The tool resolves COMn from KALVEX_COMn first: clear those so that only dir is ever opened,
// never a real serial device of the machine. The system's device list is an empty tree too, so
// what a not-found run names as untried does not depend on the machine.
inline void UseComDir(const std::string& dir) {
  for (int n = 1; n <= 9; ++n) ::unsetenv(("KALVEX_COM" + std::to_string(n)).c_str());
  ::setenv("KALVEX_COM_DIR", dir.c_str(), 1);
  ::setenv("KALVEX_SYSFS_ROOT", (dir + "/no-sysfs").c_str(), 1);
}

inline sim::PortConfig Port(int number, sim::PortKind kind, sim::Faults faults = {}) {
  sim::PortConfig port;
  port.number = number;
  port.kind = kind;
  port.faults = std::move(faults);
  return port;
}

class SimulatedPorts {
 public:
  // Starts the simulator with exactly these ports (pacing on) and points the tool at it.
  [[nodiscard]] bool Start(std::vector<sim::PortConfig> ports) {
    sim::Options options;
    options.ports = std::move(ports);
    options.pacing = true;
    std::string error;
    if (!sim_.Start(options, &error)) {
      ADD_FAILURE() << "simulator did not start: " << error;
      return false;
    }
    UseComDir(sim_.Directory());
    return true;
  }

  // Lines the port received, in order ("at&FZ", "atI3", ...); an echo port's too.
  [[nodiscard]] std::vector<std::string> Received(const std::string& port) const {
    std::vector<std::string> lines;
    for (const sim::Event& event : sim_.Events()) {
      if (event.port == port && IsReceived(event)) lines.push_back(event.text);
    }
    return lines;
  }

  // The text of the first line the port sent after it received `command`; "" when none.
  [[nodiscard]] std::string AnswerTo(const std::string& port, const std::string& command) const {
    bool after = false;
    for (const sim::Event& event : sim_.Events()) {
      if (event.port != port) continue;
      if (IsReceived(event))
        after = event.text == command;
      else if (after && event.kind == "tx")
        return event.text;
    }
    return {};
  }

  // The ports that received anything, in the order of their first command.
  [[nodiscard]] std::vector<std::string> PortsInOrderOfFirstCommand() const {
    std::vector<std::string> ports;
    for (const sim::Event& event : sim_.Events()) {
      if (!IsReceived(event)) continue;
      bool seen = false;
      for (const std::string& p : ports) seen = seen || p == event.port;
      if (!seen) ports.push_back(event.port);
    }
    return ports;
  }

  [[nodiscard]] sim::PortState State(int number) const { return sim_.State(number).value(); }
  [[nodiscard]] sim::ModemSim& Sim() { return sim_; }

 private:
  static bool IsReceived(const sim::Event& event) {
    return event.kind == "rx" || event.kind == "data-rx";
  }

  sim::ModemSim sim_;
};

using testsupport::Hex2;

}  // namespace modem_test

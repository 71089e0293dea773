#pragma once
// One soak cycle: what is drawn for it from the seed (the modem's fault, where the modem sits,
// a port in front of it, pacing, the prompt answers), and what the tool must show for it.
//
// The expectations follow the tool's described behaviour from the simulated modem's documented
// faults; PredictCycle is the whole table of them. State carried from one cycle to the next is
// what the real main dialog carries: whether a modem was ever found (the "Test..." buttons stay
// enabled after a later failed detection) and the port of the last successful detection (the
// loopback failure path reopens it). Pure functions, any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../../sim/modem_sim.h"

namespace soak {

enum class FaultKind {
  kHealthy,
  kMute,
  kIgnoreFirstEscape,
  kDropEcho,
  kNoConnect,
  kWrongCountry,
  kLowerCase,
  kSplit,
  kNoise,
  kNoLine,
};
inline constexpr int kFaultKinds = 10;

[[nodiscard]] const char* FaultKindName(FaultKind kind);

struct CyclePlan {
  int cycle = 0;                // 1-based
  std::uint64_t cycleSeed = 0;  // everything below is drawn from it
  FaultKind kind = FaultKind::kHealthy;
  std::string muteCommand;  // kMute only
  int dropEchoLine = 0;     // kDropEcho only
  int modemPort = 3;
  std::optional<sim::PortKind> frontKind;  // Silent or Foreign, probed before the modem
  int frontPort = 0;
  bool pacing = false;
  std::uint32_t simSeed = 1;
  bool voiceYes = true;
  int voiceDelayMs = 0;  // after the prompt first shows
  bool lineYes = true;   // the answer to "Connect ?"

  [[nodiscard]] sim::Faults ModemFaults() const;
  [[nodiscard]] std::string Describe() const;
};

// Cycle `cycle` of the soak seeded with `seed`: the same pair always gives the same plan.
[[nodiscard]] CyclePlan DrawCycle(std::uint64_t seed, int cycle);

// What the main dialog carries into a cycle.
struct CarriedState {
  bool everFound = false;  // the three "Test..." buttons are enabled
  int detectedPort = 0;
};

struct Expected {
  bool found = false;
  int port = 0;                                       // when found
  std::optional<std::string> firmware;                // when found and the tool can read it
  std::optional<std::string> country;                 // likewise, the detection's 1017
  bool testsRun = false;                              // the "Test..." buttons were enabled
  std::string basic, digital, analog, speaker, line;  // when testsRun
  bool prompted = false;                              // the voice prompt came up
  bool asked = false;                                 // the "Connect ?" question came up
  int modemCountry = 25;  // the modem port's country code after the cycle
};

[[nodiscard]] Expected PredictCycle(const CyclePlan& plan, const CarriedState& carried);

// The state the next cycle starts from.
[[nodiscard]] CarriedState After(const Expected& expected, const CarriedState& carried);

}  // namespace soak

#include "soak/soak_plan.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <random>

namespace soak {
namespace {

constexpr int kProbeOrder[] = {3, 4, 2, 1, 5, 6};

// Commands the tool sends whose silence changes a result. "%T22" (the register reads) is left
// out on purpose: with no second line the snapshot keeps the previous capture, the restore then
// writes text the modem refuses and the registers stay at their test values, which is the
// described behaviour but would make every later cycle's register check depend on it.
const char* const kMuteCommands[] = {"&FZ",  "I3",      "I5",  "I9",  "I2",  "%T21", "%T20",
                                     "%T19", "+FCLASS", "&T3", "&T1", "&T0", "L3",   "M2",
                                     "H1",   "%T24",    "X4",  "S7",  "DT"};

struct Weighted {
  FaultKind kind;
  int weight;
};
// The costly kinds (ten-second connects, detections that fail and leave the tests to time out
// on a closed port) are drawn less often so that a hundred cycles stay within the hour.
constexpr Weighted kKinds[] = {
    {FaultKind::kHealthy, 10},  {FaultKind::kMute, 30},     {FaultKind::kIgnoreFirstEscape, 8},
    {FaultKind::kDropEcho, 10}, {FaultKind::kNoConnect, 5}, {FaultKind::kWrongCountry, 8},
    {FaultKind::kLowerCase, 4}, {FaultKind::kSplit, 8},     {FaultKind::kNoise, 8},
    {FaultKind::kNoLine, 6},
};

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::string UpperNoSpaces(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ') out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

// A port of this cycle as the tool meets it.
struct PortModel {
  enum class What { kNone, kSilent, kModemLike } what = What::kNone;
  sim::Faults faults;

  // The modem neither answers nor carries out a command line whose text after "at" starts with
  // a muted text.
  [[nodiscard]] bool Muted(const std::string& command) const {
    std::string body = UpperNoSpaces(command);
    for (const std::string& mute : faults.muteCommands) {
      if (body.rfind(UpperNoSpaces(mute), 0) == 0) return true;
    }
    return false;
  }
  // The tool sees an expected "OK" (or "CONNECT", "NO CARRIER") to this command.
  [[nodiscard]] bool Answers(const std::string& command) const {
    return what == What::kModemLike && !Muted(command) && !faults.lowerCaseResults;
  }
};

PortModel PortAt(const CyclePlan& plan, int port) {
  PortModel model;
  if (port == plan.modemPort) {
    model.what = PortModel::What::kModemLike;
    model.faults = plan.ModemFaults();
  } else if (plan.frontKind && port == plan.frontPort) {
    model.what = *plan.frontKind == sim::PortKind::kSilent ? PortModel::What::kSilent
                                                           : PortModel::What::kModemLike;
  }
  return model;
}

// Loopback data lines are numbered over the modem's life and its first "+++" may be ignored,
// so the two loopback tests share this.
struct LoopbackState {
  int linesSoFar = 0;
  bool escapeIgnored = false;
};

std::string Loopback(const PortModel& port, bool digital, LoopbackState& state) {
  if (!port.Answers(digital ? "&T3" : "&T1") || port.faults.noConnect) return "Failure";
  for (int i = 0; i < 3; ++i) {
    ++state.linesSoFar;
    if (state.linesSoFar == port.faults.dropEchoLine) return "Failure";
  }
  bool retried = false;
  if (port.faults.ignoreFirstEscape && !state.escapeIgnored) {
    state.escapeIgnored = true;
    retried = true;
    ++state.linesSoFar;  // "+++aaa" CR LF
  }
  const std::vector<std::string> ends =
      digital ? std::vector<std::string>{"&FZ", "&T0"} : std::vector<std::string>{"&T0"};
  for (const std::string& end : ends) {
    if (!port.Answers(end)) return "Failure";
  }
  return retried ? "Passed after retry" : "Passed";
}

// The basic function test; `country` follows the modem's country through the steps. The two
// test countries are selected only after the current one has been read, and the one read is
// written back whichever of their steps fails.
std::string Basic(const PortModel& port, int& country) {
  for (const char* command : {"%T21,18,0", "%T21,29,1", "%T21,2A,41", "%T21,20,0", "I2"}) {
    if (!port.Answers(command)) return "Failure";
  }
  if (!port.Answers("%T20,0,1")) return "Failure";
  const int read = country;
  struct Switch {
    const char* command;
    int selects;  // country selected when carried out, 0 for none
  };
  const Switch switches[] = {{"%T19,0,1", 1}, {"I9", 0}, {"%T19,0,19", 19}, {"I9", 0}};
  bool switched = true;
  for (std::size_t i = 0; i < std::size(switches); ++i) {
    if (!port.Answers(switches[i].command)) {
      switched = false;
      break;
    }
    if (switches[i].selects != 0) country = switches[i].selects;
    // The first "I9" wants "Australia"; the wrong-country fault names another one.
    if (i == 1 && port.faults.wrongCountry) {
      switched = false;
      break;
    }
  }
  bool restored = port.Answers("%T19,0," + std::to_string(read));
  if (restored) country = read;
  if (!switched || !restored || !port.Answers("+FCLASS?")) return "Failure";
  return "Passed";
}

void Speaker(const PortModel& port, const CyclePlan& plan, Expected& e) {
  for (const char* command : {"L3", "M2", "H1", "%T24"}) {
    if (!port.Answers(command)) {
      e.speaker = "Failure";
      return;
    }
  }
  e.prompted = true;
  e.speaker = plan.voiceYes ? "Passed" : "Failure";
}

void LineTest(const PortModel& port, const CyclePlan& plan, Expected& e) {
  for (const char* command : {"%T21,18,0", "%T21,29,1", "%T21,2A,41", "%T21,20,0", "X4", "S7=1"}) {
    if (!port.Answers(command)) {
      e.line = "Failure";
      return;
    }
  }
  if (port.Answers("DT1") && !port.faults.noLine) {
    e.line = "Passed";
    return;
  }
  e.asked = true;
  e.line = plan.lineYes ? "Failure" : "Not Connected";
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kHealthy: return "healthy";
    case FaultKind::kMute: return "mute";
    case FaultKind::kIgnoreFirstEscape: return "ignore-first-escape";
    case FaultKind::kDropEcho: return "drop-echo";
    case FaultKind::kNoConnect: return "no-connect";
    case FaultKind::kWrongCountry: return "wrong-country";
    case FaultKind::kLowerCase: return "lowercase";
    case FaultKind::kSplit: return "split";
    case FaultKind::kNoise: return "noise";
    case FaultKind::kNoLine: return "no-line";
  }
  return "?";
}

sim::Faults CyclePlan::ModemFaults() const {
  sim::Faults faults;
  switch (kind) {
    case FaultKind::kHealthy: break;
    case FaultKind::kMute: faults.muteCommands = {muteCommand}; break;
    case FaultKind::kIgnoreFirstEscape: faults.ignoreFirstEscape = true; break;
    case FaultKind::kDropEcho: faults.dropEchoLine = dropEchoLine; break;
    case FaultKind::kNoConnect: faults.noConnect = true; break;
    case FaultKind::kWrongCountry: faults.wrongCountry = true; break;
    case FaultKind::kLowerCase: faults.lowerCaseResults = true; break;
    case FaultKind::kSplit: faults.splitOutput = true; break;
    case FaultKind::kNoise: faults.noise = true; break;
    case FaultKind::kNoLine: faults.noLine = true; break;
  }
  return faults;
}

std::string CyclePlan::Describe() const {
  std::string text = FaultKindName(kind);
  if (kind == FaultKind::kMute) text += "=" + muteCommand;
  if (kind == FaultKind::kDropEcho) text += "=" + std::to_string(dropEchoLine);
  text += " modem=COM" + std::to_string(modemPort);
  if (frontKind) {
    text += " front=" + std::string(sim::KindName(*frontKind)) + "@COM" + std::to_string(frontPort);
  }
  text += pacing ? " pacing=on" : " pacing=off";
  text += std::string(" voice=") + (voiceYes ? "Yes" : "No") + "+" + std::to_string(voiceDelayMs) +
          "ms";
  text += std::string(" connect?=") + (lineYes ? "Yes" : "No");
  return text;
}

CyclePlan DrawCycle(std::uint64_t seed, int cycle) {
  CyclePlan plan;
  plan.cycle = cycle;
  plan.cycleSeed = SplitMix(seed ^ SplitMix(static_cast<std::uint64_t>(cycle)));
  std::mt19937_64 rng(plan.cycleSeed);
  auto uniform = [&rng](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
  };

  int total = 0;
  for (const Weighted& w : kKinds) total += w.weight;
  int pick = uniform(0, total - 1);
  for (const Weighted& w : kKinds) {
    if (pick < w.weight) {
      plan.kind = w.kind;
      break;
    }
    pick -= w.weight;
  }
  plan.muteCommand = kMuteCommands[uniform(0, static_cast<int>(std::size(kMuteCommands)) - 1)];
  plan.dropEchoLine = uniform(1, 7);
  if (plan.kind != FaultKind::kMute) plan.muteCommand.clear();
  if (plan.kind != FaultKind::kDropEcho) plan.dropEchoLine = 0;

  // A quarter of the cycles put a silent or foreign port where the tool looks first.
  int front = uniform(0, 7);
  if (front < 2) {
    plan.frontKind = front == 0 ? sim::PortKind::kSilent : sim::PortKind::kForeign;
    int modemIndex = uniform(1, 5);
    plan.modemPort = kProbeOrder[modemIndex];
    plan.frontPort = kProbeOrder[uniform(0, modemIndex - 1)];
  } else {
    plan.modemPort = kProbeOrder[uniform(0, 5)];
  }
  plan.pacing = uniform(0, 1) == 1;
  plan.simSeed = static_cast<std::uint32_t>(rng());
  plan.voiceYes = uniform(0, 1) == 1;
  plan.voiceDelayMs = uniform(0, 1500);
  plan.lineYes = uniform(0, 1) == 1;
  return plan;
}

Expected PredictCycle(const CyclePlan& plan, const CarriedState& carried) {
  Expected e;
  const PortModel modem = PortAt(plan, plan.modemPort);
  // The port in front is never the modem the list knows: a silent one gives no "OK", a foreign
  // one an "I3" line the list lacks.
  e.found = modem.Answers("&FZ") && modem.Answers("I3");
  e.testsRun = e.found || carried.everFound;
  if (e.found) {
    e.port = plan.modemPort;
    // With "I5" or "I9" unanswered the fields show whatever the capture held; not predicted.
    if (!modem.Muted("I5")) e.firmware = "3.41.07";
    if (!modem.Muted("I9") && !modem.Muted("I5")) {
      e.country = modem.faults.wrongCountry ? "Australia" : "United Kingdom";
    }
  }
  if (!e.testsRun) return e;

  if (e.found) {
    e.basic = Basic(modem, e.modemCountry);
    LoopbackState loopback;
    e.digital = Loopback(modem, true, loopback);
    e.analog = Loopback(modem, false, loopback);
    Speaker(modem, plan, e);
    LineTest(modem, plan, e);
    return e;
  }

  // Detection failed after an earlier success: the port is closed, so the basic and digital
  // tests time out; the digital failure reopens the last detected port, which this cycle may
  // or may not have, and the rest of the run talks to whatever is there.
  e.basic = "Failure";
  e.digital = "Failure";
  const PortModel reopened = PortAt(plan, carried.detectedPort);
  LoopbackState loopback;
  e.analog = Loopback(reopened, false, loopback);
  Speaker(reopened, plan, e);
  LineTest(reopened, plan, e);
  return e;
}

CarriedState After(const Expected& expected, const CarriedState& carried) {
  CarriedState next = carried;
  if (expected.found) {
    next.everFound = true;
    next.detectedPort = expected.port;
  }
  return next;
}

}  // namespace soak

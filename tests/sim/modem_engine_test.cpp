// The simulated modem's command interpreter and its faults, driven with a clock of its own: what
// is written to it in, the exact bytes it answers out.

#include "modem_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingHost final : public sim::ModemEngine::Host {
 public:
  void Send(std::string bytes, sim::TimePoint) override { sent += bytes; }
  void Note(std::string_view, std::string_view) override {}
  std::string sent;
};

// After `pauseMs` (the modem's timers run), `bytes` are written, or the client purges the line.
struct Step {
  int pauseMs;
  std::string bytes;
  bool purge = false;
};

struct Case {
  const char* name;
  sim::Faults faults;
  std::vector<Step> steps;
  std::string expected;
  bool slowly = false;  // every byte on its own, 300 ms apart
};

const std::string kId(sim::kModemIdentification);
// Verbose framing; V0 frames information text as text CR LF and a result as its number and CR.
std::string V1(const std::string& text) { return "\r\n" + text + "\r\n"; }
sim::Faults Faulty(void (*set)(sim::Faults&)) {
  sim::Faults faults;
  set(faults);
  return faults;
}

const Case kCases[] = {
    {"SeveralCommandsOneResult",
     {},
     {{0, "at i3 I9\r"}},
     "at i3 I9\r" + V1(kId) + V1("United Kingdom") + V1("OK")},
    {"NumericCodes",
     {},
     {{0, "ATV0I3\rATX9\rATO\r"}},
     "ATV0I3\r" + kId + "\r\n0\rATX9\r4\rATO\r3\r"},
    {"QuietKeepsInformationText",
     {},
     {{0, "ATQ1\rATI3\rATY\r"}},
     "ATQ1\rATI3\r" + V1(kId) + "ATY\r"},
    {"ErrorStopsTheLine",
     {},
     {{0, "ATS7=9Y S7=5\rATS7?\rAT" + std::string(300, 'E') + "\r"}},
     "ATS7=9Y S7=5\r" + V1("ERROR") + "ATS7?\r" + V1("009") + V1("OK") + "AT" +
         std::string(300, 'E') + "\r" + V1("ERROR")},
    {"RegisterReads",
     {},
     {{0, "ATS3?S4?S5?S12?\rATS7=256\rATS13?\r"}},
     "ATS3?S4?S5?S12?\r" + V1("013") + V1("010") + V1("008") + V1("050") + V1("OK") + "ATS7=256\r" +
         V1("ERROR") + "ATS13?\r" + V1("ERROR")},
    {"RepeatAndBackspace",
     {},
     {{0, "ATI4\b9\ra/"}},
     "ATI4\b9\r" + V1("United Kingdom") + V1("OK") + "a/" + V1("United Kingdom") + V1("OK")},
    {"SlowTyping", {}, {{0, "ATI3\r"}}, "ATI3\r" + V1(kId) + V1("OK"), true},
    {"StoredProfile",
     {},
     {{0, "ATE0V0S7=9&W\rATE1V1Z\rAT&FS7?\r"}},
     "ATE0V0S7=9&W\r0\r0\r" + V1("050") + V1("OK")},
    {"Identification",
     {},
     {{0, "AT+GMI;+GMR;+GCAP\rAT+GMIX\r"}},
     "AT+GMI;+GMR;+GCAP\r" + V1("Zelto") + V1("3.41.07") + V1("+GCAP: +FCLASS") + V1("OK") +
         "AT+GMIX\r" + V1("ERROR")},
    {"OnlineAfterEscapeUntilHangUp",
     {},
     {{0, "AT&T3\r"}, {1100, "+++"}, {1100, "ATO\r"}, {1100, "+++"}, {1100, "ATH\rATO\r"}},
     "AT&T3\r" + V1("CONNECT") + "+++" + V1("OK") + "ATO\r" + V1("CONNECT") + "+++" + V1("OK") +
         "ATH\r" + V1("OK") + "ATO\r" + V1("NO CARRIER")},
    // The faults.
    {"RingBeforeTheAnswer",
     Faulty([](sim::Faults& f) { f.ringCommands = {"i 3"}; }),
     {{0, "ATI3\rAT\r"}},
     "ATI3\r" + V1("RING") + V1(kId) + V1("OK") + "AT\r" + V1("OK")},
    {"LateAnswerNotYet",
     Faulty([](sim::Faults& f) {
       f.lateCommands = {{"H1", 300}};
     }),
     {{0, "ATH1\rATH0\r"}, {290, ""}},
     "ATH1\r"},
    {"LateAnswerThenTheNextLine",
     Faulty([](sim::Faults& f) {
       f.lateCommands = {{"H1", 300}};
     }),
     {{0, "ATH1\rATH0\r"}, {300, ""}},
     "ATH1\r" + V1("OK") + "ATH0\r" + V1("OK")},
    {"OnlineAtPowerOn",
     Faulty([](sim::Faults& f) { f.online = true; }),
     {{0, "ATI3\r"}, {1100, "+++"}, {1100, ""}},
     "ATI3\r+++" + V1("OK")},
    {"IgnoreDtrKeepsTheLoopback",
     Faulty([](sim::Faults& f) { f.ignoreDtr = true; }),
     {{0, "AT&T3\r"}, {0, "", true}, {0, "x"}},
     "AT&T3\r" + V1("CONNECT") + "x"},
    {"ProfileAtPowerOnAndZ",
     Faulty([](sim::Faults& f) { f.profile = "e0v0"; }),
     {{0, "ATI3\rAT&F\rATZ\r"}},
     kId + "\r\n0\r" + V1("OK") + "ATZ\r0\r"},
};

class CommandSet : public ::testing::TestWithParam<Case> {};

TEST_P(CommandSet, AnswersWithTheExactBytes) {
  const Case& c = GetParam();
  RecordingHost host;
  sim::ModemEngine engine(sim::PortKind::kModem, c.faults, {}, 1, host);  // guard time 1 s
  sim::TimePoint now{};
  auto write = [&](const std::string& bytes) {
    if (!c.slowly) return engine.Receive(bytes, now);
    for (char b : bytes) {
      now += std::chrono::milliseconds(300);
      engine.RunTimers(now);
      engine.Receive(std::string(1, b), now);
    }
  };
  for (const Step& step : c.steps) {
    now += std::chrono::milliseconds(step.pauseMs);
    engine.RunTimers(now);
    step.purge ? engine.Purge(now) : write(step.bytes);
  }
  EXPECT_EQ(host.sent, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandSet, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

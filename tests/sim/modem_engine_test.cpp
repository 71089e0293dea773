// The simulated modem's command interpreter, driven byte by byte with a clock of its own: a
// command line in, the exact bytes out.

#include "modem_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

class RecordingHost final : public sim::ModemEngine::Host {
 public:
  void Send(std::string bytes, sim::TimePoint) override { sent += bytes; }
  void Note(std::string_view, std::string_view) override {}
  std::string sent;
};

// Bytes written after a pause (in which the modem's timers run).
struct Step {
  milliseconds pause;
  std::string bytes;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  std::string expected;
  bool slowly = false;  // every byte on its own, 300 ms apart
};

const std::string kId(sim::kModemIdentification);
const milliseconds kNow(0);
const milliseconds kGuard(1100);  // more than the guard time

// V.250 framing: CR LF text CR LF in verbose mode; with V0 information text CR LF and the code's
// number CR.
std::string V1(const std::string& text) { return "\r\n" + text + "\r\n"; }

const Case kCases[] = {
    {"EmptyLineIsOk", {{kNow, "AT\r"}}, "AT\r" + V1("OK")},
    {"LowerCaseAndSpaces", {{kNow, "at e1 v1\r"}}, "at e1 v1\r" + V1("OK")},
    {"OnlyTheLastResultOfALine",
     {{kNow, "ATI3I9\r"}},
     "ATI3I9\r" + V1(kId) + V1("United Kingdom") + V1("OK")},
    {"NumericCodes", {{kNow, "ATV0\rATX9\rATO\r"}}, "ATV0\r0\rATX9\r4\rATO\r3\r"},
    {"NumericFramesInformationText", {{kNow, "ATV0I3\r"}}, "ATV0I3\r" + kId + "\r\n0\r"},
    {"QuietKeepsInformationText",
     {{kNow, "ATQ1\rATI3\rATY\r"}},
     "ATQ1\rATI3\r" + V1(kId) + "ATY\r"},
    {"EchoOff", {{kNow, "ATE0\rATI9\r"}}, "ATE0\r" + V1("OK") + V1("United Kingdom") + V1("OK")},
    {"ErrorStopsTheLine",
     {{kNow, "ATS7=9Y S7=5\rATS7?\r"}},
     "ATS7=9Y S7=5\r" + V1("ERROR") + "ATS7?\r" + V1("009") + V1("OK")},
    {"LineLongerThanTheLimit",
     {{kNow, "AT" + std::string(300, 'E') + "\r"}},
     "AT" + std::string(300, 'E') + "\r" + V1("ERROR")},
    {"RegisterReadsAreThreeDigits",
     {{kNow, "ATS3?S4?S5?S12?\r"}},
     "ATS3?S4?S5?S12?\r" + V1("013") + V1("010") + V1("008") + V1("050") + V1("OK")},
    {"RegisterLimits",
     {{kNow, "ATS7=256\rATS13?\rATS7=255S7?\r"}},
     "ATS7=256\r" + V1("ERROR") + "ATS13?\r" + V1("ERROR") + "ATS7=255S7?\r" + V1("255") +
         V1("OK")},
    {"RepeatLastLine",
     {{kNow, "ATI9\ra/"}},
     "ATI9\r" + V1("United Kingdom") + V1("OK") + "a/" + V1("United Kingdom") + V1("OK")},
    {"BackspaceEditsTheLine", {{kNow, "ATI4\b3\r"}}, "ATI4\b3\r" + V1(kId) + V1("OK")},
    {"SlowTyping", {{kNow, "ATI3\r"}}, "ATI3\r" + V1(kId) + V1("OK"), true},
    {"ZLoadsTheStoredProfile",
     {{kNow, "ATE0V0S7=9\rATZS7?\r"}},
     "ATE0V0S7=9\r0\r" + V1("050") + V1("OK")},
    {"AndWStoresIt", {{kNow, "ATV0&W\rATV1Z\r&F\r"}}, "ATV0&W\r0\rATV1Z\r0\r&F\r"},
    {"FactoryDefaults", {{kNow, "ATV0&W\rAT&F\r"}}, "ATV0&W\r0\rAT&F\r" + V1("OK")},
    {"Identification",
     {{kNow, "AT+GMI;+GMM;+GMR\rAT+GCAP\rAT+GMIX\r"}},
     "AT+GMI;+GMM;+GMR\r" + V1("Zelto") + V1("Win Modem V.92 KX-56ZW") + V1("3.41.07") + V1("OK") +
         "AT+GCAP\r" + V1("+GCAP: +FCLASS") + V1("OK") + "AT+GMIX\r" + V1("ERROR")},
    {"DataOnlyServiceClass",
     {{kNow, "AT+FCLASS=?;+FCLASS?\rAT+FCLASS=1\r"}},
     "AT+FCLASS=?;+FCLASS?\r" + V1("0") + V1("0") + V1("OK") + "AT+FCLASS=1\r" + V1("ERROR")},
    {"OnlineAfterEscape",
     {{kNow, "AT&T3\r"}, {kGuard, "+++"}, {kGuard, "ATO\r"}, {kNow, "x"}},
     "AT&T3\r" + V1("CONNECT") + "+++" + V1("OK") + "ATO\r" + V1("CONNECT") + "x"},
    {"HangUpEndsTheHeldConnection",
     {{kNow, "AT&T3\r"}, {kGuard, "+++"}, {kGuard, "ATH\rATO\r"}},
     "AT&T3\r" + V1("CONNECT") + "+++" + V1("OK") + "ATH\r" + V1("OK") + "ATO\r" +
         V1("NO CARRIER")},
};

class CommandSet : public ::testing::TestWithParam<Case> {};

TEST_P(CommandSet, AnswersWithTheExactBytes) {
  const Case& c = GetParam();
  RecordingHost host;
  sim::ModemEngine::Timing timing;  // guard time 1000 ms
  sim::ModemEngine engine(sim::PortKind::kModem, {}, timing, 1, host);
  sim::TimePoint now{};
  for (const Step& step : c.steps) {
    now += step.pause;
    engine.RunTimers(now);
    if (!c.slowly) {
      engine.Receive(step.bytes, now);
      continue;
    }
    for (char b : step.bytes) {
      now += milliseconds(300);
      engine.RunTimers(now);
      engine.Receive(std::string(1, b), now);
    }
  }
  now += kGuard;
  engine.RunTimers(now);
  EXPECT_EQ(host.sent, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandSet, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#pragma once
// The fixture of the basic function and loopback run tests: the lines a passing run sends, and
// the result texts and reopens it leaves.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/program_run.h"
#include "diagnostics/run_support.h"
#include "platform/clock.h"
#include "serial/response_capture.h"

namespace diag_test {

inline std::string Pattern() {
  std::string pattern;
  for (int i = 0; i < 78; ++i) pattern += static_cast<char>(0x30 + i);
  return pattern;
}

// What the modem receives from a loopback test that passes at the first "+++".
inline Lines PassingLoopback(const std::string& start, const Lines& end) {
  Lines lines = {"at" + start, Pattern(), Pattern(), Pattern(), "+++"};
  lines.insert(lines.end(), end.begin(), end.end());
  return lines;
}

inline std::string Country(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", code);
  return text;
}

class DiagnosticRun : public RunTest {
 protected:
  Lines BasicSteps() const {
    return {"at%T21,18,0",
            "at%T21,29,1",
            "at%T21,2A,41",
            "at%T21,20,0",
            "atI2",
            "at%T20,0,1",
            "at%T19,0,1",
            "atI9",
            "at%T19,0,19",
            "atI9",
            "at%T19,0," + Country(before.countryCode),
            "at+FCLASS?"};
  }
  Lines BasicStepsUpTo(std::size_t count) const {
    Lines steps = BasicSteps();
    steps.resize(count);
    return steps;
  }
  void ExpectResults(const char* basic, const char* digital, const char* analog) const {
    EXPECT_EQ(view.Text(field::kBasicResult), basic);
    EXPECT_EQ(view.Text(field::kDigitalResult), digital);
    EXPECT_EQ(view.Text(field::kAnalogResult), analog);
    for (int id : {field::kBasicResult, field::kDigitalResult, field::kAnalogResult}) {
      Lines history = view.History(id);
      ASSERT_EQ(history.size(), 2u) << id;
      EXPECT_EQ(history[0], "Wait...");
    }
  }
  // Between two received lines the port was closed and opened again: the modem saw the purges
  // of the close and of the open.
  int PurgesBetween(const std::string& first, const std::string& second) const {
    int purges = 0;
    bool inside = false;
    for (const sim::Event& event : sim.Events(mark)) {
      if (event.kind == "rx" && event.text == first) inside = true;
      if (inside && event.kind == "rx" && event.text == second) return purges;
      if (inside && event.kind == "purge") ++purges;
    }
    return -1;
  }
};

// One modem per case: the three results, every line the modem receives, the order of what the
// view is told, and the modem put back as it was found.
struct RunCase {
  const char* name = "";
  SimSetup setup = {};
  const char* basic = "Passed";
  const char* digital = "Passed";
  const char* analog = "Passed";
  std::size_t basicSteps = 12;     // how many of the basic steps went out
  bool countryWriteAfter = false;  // then the country write-back, out of its turn
  Lines digitalLines = {};         // from "at&T3" to the analog test; empty: a passing loopback
  Lines analogLines = {};          // from "at&T1" to the restore; empty: a passing loopback
  long long minReopenMs = 0;       // at least this long from "at&T3" to "at&T1"
};

inline void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class Run : public DiagnosticRun, public testing::WithParamInterface<RunCase> {};

TEST_P(Run, GivesItsResultsSendsItsLinesAndPutsTheModemBack) {
  const RunCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartAndDetect(c.setup));

  diagnostics::RunDiagnosticTests(session, view);

  ExpectResults(c.basic, c.digital, c.analog);
  Lines basic = BasicStepsUpTo(c.basicSteps);
  if (c.countryWriteAfter) basic.push_back("at%T19,0," + Country(before.countryCode));
  const Lines digital =
      c.digitalLines.empty() ? PassingLoopback("&T3", {"at&FZ", "at&T0"}) : c.digitalLines;
  const Lines analog = c.analogLines.empty() ? PassingLoopback("&T1", {"at&T0"}) : c.analogLines;
  EXPECT_EQ(Received(), Concat({basic, digital, analog, RestoreWrites()}));
  const Lines expectedEvents = {"digital-loopback Wait...",
                                "analog-loopback Wait...",
                                "basic-function Wait...",
                                std::string("basic-function ") + c.basic,
                                std::string("digital-loopback ") + c.digital,
                                std::string("analog-loopback ") + c.analog,
                                "beep"};
  EXPECT_EQ(view.events, expectedEvents);
  // The beep comes before the first restore write reaches the modem.
  std::vector<sim::Event> events = sim.Events();
  for (std::size_t i = mark; i < view.eventsAtBeep; ++i) {
    EXPECT_NE(events[i].text, RestoreWrites()[0]) << "restore began before the beep";
  }
  // A loopback that fails ends with no escape that works; the port is purged after the failure
  // and again at the reopen, which ends the data connection.
  if (std::string(c.digital) == "Failure") {
    EXPECT_EQ(PurgesBetween("at&T3", "at&T1"), 2);
  }
  EXPECT_GE(ReceivedAt("at&T1") - ReceivedAt("at&T3"), c.minReopenMs);
  ExpectRegistersRestored();
  EXPECT_FALSE(sim.State(kModemPort)->dataMode);
  EXPECT_EQ(session.port.capture.captureEnabled.load(), 0);
  EXPECT_TRUE(session.port.connected.load());
}

inline std::string RunCaseName(const testing::TestParamInfo<RunCase>& info) {
  return info.param.name;
}

}  // namespace diag_test

#pragma once
// The fixture of the basic function and loopback run tests: the lines a passing run sends, and
// the result texts and reopens it leaves.

#include <gtest/gtest.h>

#include <string>

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

}  // namespace diag_test

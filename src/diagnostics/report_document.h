#pragma once
// The report of a run without a display: a plain result that the report run fills in, its JSON
// document (schema in docs/report.md), its short human summary and its exit status. Any thread;
// touches nothing but its arguments.

#include <QByteArray>
#include <QDateTime>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modem/port_verdict.h"

namespace diagnostics {

struct ReportRegister {
  std::string name;   // "18", "29", "2A", "20"
  std::string value;  // as read, e.g. "05"; empty when nothing came back
};

struct ReportModem {
  std::string comName;
  std::string devicePath;
  std::string i3Line;
  std::string firmware;
  std::string country;
  std::vector<ReportRegister> registers;  // the snapshot, in the order read
};

enum class TestOutcome { kPassed, kFailed, kSkipped };

struct ReportTest {
  std::string name;  // "basic-function", "digital-loopback", "analog-loopback", "speaker", "line"
  TestOutcome outcome = TestOutcome::kPassed;
  std::string
      resultText;  // exactly as the dialog shows it ("Passed after retry"); empty if skipped
  std::string skipReason;  // kSkipped only
  int64_t durationMs = 0;
  // The first command that did not get its answer, and what came back instead (may be empty).
  std::optional<std::string> failedCommand;
  std::string failedResponse;
};

struct RegisterDifference {
  std::string name;
  std::string before;  // the snapshot
  std::string after;   // read again after the runs
};

// The file of --transcript, and whether every line reached it.
struct ReportTranscript {
  std::string path;
  bool complete = true;
  std::string error;  // the first write that failed, in words; empty when complete
};

struct ReportResult {
  std::string toolVersion;
  QDateTime started;
  bool listMissing = false;  // ati3.dat missing or unreadable: nothing else was tried
  std::string listPath;      // the identification list used; empty when none was
  std::string listCut;       // what was left out of it, in words; empty when nothing was
  std::optional<ReportTranscript> transcript;  // nullopt without --transcript
  std::vector<modem::PortVerdict> portsTried;  // in the order tried
  std::optional<ReportModem> modem;
  std::vector<ReportTest> tests;
  // Registers read again after the runs: nullopt when not checked, else whether all agreed.
  std::optional<bool> modemRestored;
  std::vector<RegisterDifference> differing;  // when modemRestored is false
  int interruptedBy = 0;                      // the signal that stopped the run; 0 when none did
};

// 128 + the signal when one stopped the run; else 3 list missing, 2 no modem, 4 not put back, 1 a
// test failed or was skipped, else 0: the modem left changed outranks a failed test.
[[nodiscard]] int ReportExitStatus(const ReportResult& result);

// One JSON document, indented, ending with a newline. Text from outside the tool (the modem's
// answers, paths, process names) is kept exact, in JSON escapes; the "I3" line is also given as
// hex, since bytes that are not UTF-8 do not survive a JSON string.
[[nodiscard]] QByteArray ReportJson(const ReportResult& result);

// A few lines for a person: the list used, ports, modem, tests, restore, the transcript when it
// is incomplete, the exit status's meaning. Text from outside the tool is shown with
// platform::VisibleText.
[[nodiscard]] std::string ReportSummary(const ReportResult& result);

}  // namespace diagnostics

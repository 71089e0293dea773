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

#include "diagnostics/test_result.h"
#include "modem/port_verdict.h"
#include "modem/untried_device.h"

namespace diagnostics {

struct ReportRegister {
  std::string name;   // "18", "29", "2A", "20"
  std::string value;  // as read, e.g. "05"; empty when nothing came back
};

struct ReportModem {
  std::string comName;
  std::string devicePath;
  std::string i3Line;  // whole, up to the line limit
  std::string firmware;
  std::string country;
  std::vector<ReportRegister> registers;  // the snapshot, in the order read
  bool i3Cut = false;  // the "I3" line was longer than the line limit: its first bytes dropped
};

// One thing the program run changed on the modem, or a register it did not change.
struct PutBackItem {
  enum class State { kPutBack, kNotPutBack, kNotChanged };
  std::string what;    // "register 18", "the country", "the hook", ...
  std::string before;  // as found
  std::string after;   // as left (read back where it can be read)
  State state = State::kNotChanged;
  std::string reason;  // kNotPutBack: ERROR, no answer, read back 07, the device was lost, not sent
};

// A journal found at detection, and what became of it.
struct RecoveryReport {
  std::string outcome;  // "put-back", "not-all-put-back", "other-modem", "unreadable", "bad",
                        // "not-acted-on"
  std::string journal;  // its path
  std::string detail;   // the other modem's "I3" line, or why it was not acted on
  std::vector<PutBackItem> items;
  std::string mend;  // "unreadable" by its owner or mode: the commands that mend it
};

// The file of --transcript, and whether every line reached it.
struct ReportTranscript {
  std::string path;
  bool complete = true;
  std::string error;  // the first write that failed, in words; empty when complete
};

struct ReportResult {
  std::string toolVersion;
  QDateTime started;                     // written in UTC, whatever its time spec
  std::string hostName;                  // the machine's host name
  std::optional<std::string> machineId;  // /etc/machine-id; nullopt when unreadable
  int64_t durationMs = 0;                // from the program's start to the document
  bool listMissing = false;              // ati3.dat missing or unreadable: nothing else was tried
  std::string listPath;                  // the identification list used; empty when none was
  std::string listCut;  // what was left out of it, in words; empty when nothing was
  std::optional<ReportTranscript> transcript;  // nullopt without --transcript
  std::vector<modem::PortVerdict> portsTried;  // in the order tried
  std::vector<modem::UntriedDevice> untried;   // no modem: devices no COM name maps to
  std::optional<ReportModem> modem;
  std::vector<TestResult> tests;
  // What the program run changed and whether it was put back; empty when it changed nothing.
  std::vector<PutBackItem> putBack;
  // Every journal of the modem's device found at detection; the document's "recovered" is the
  // one acted on, else the first.
  std::vector<RecoveryReport> journals;
  int interruptedBy = 0;  // the signal that stopped the run; 0 when none did
};

// Whether the modem was given back as found: nullopt when nothing was changed, true when every
// change was put back (and each value read back as it was), false otherwise.
[[nodiscard]] std::optional<bool> ModemPutBack(const ReportResult& result);

// 4 when anything is not put back, whatever else happened; else ExitForSignal(the signal) when one
// stopped the run; else 3 list missing, 2 no modem, 1 a test did not pass, else 0.
[[nodiscard]] int ReportExitStatus(const ReportResult& result);

// One JSON document, indented, ending with a newline. Text from outside the tool (the modem's
// answers, paths, process names) is kept exact, in JSON escapes; the "I3" line is also given as
// hex, since bytes that are not UTF-8 do not survive a JSON string.
[[nodiscard]] QByteArray ReportJson(const ReportResult& result);

// The document of a run that could not run at all: the tool, version, host and time fields of
// identity, {"error": {"kind", "message"}} and exitStatus. kind is a short word such as
// "already-running" or "usage"; indented, ending with a newline.
[[nodiscard]] QByteArray ReportErrorJson(const ReportResult& identity, const std::string& kind,
                                         const std::string& message, int exitStatus);

// A few lines for a person: the list used, ports, modem, tests, put-back, the transcript when it
// is incomplete, the exit status's meaning. Text from outside the tool is shown with
// serial::VisibleText.
[[nodiscard]] std::string ReportSummary(const ReportResult& result);

}  // namespace diagnostics

#include "diagnostics/report_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "diagnostics/exit_status.h"
#include "resources/product.h"
#include "serial/visible_text.h"

namespace diagnostics {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// An empty text as null, for the fields that say "none".
QJsonValue TextOrNull(const std::string& text) {
  return text.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(text));
}

// Every byte as two lower-case hex digits.
QString Hex(const std::string& bytes) {
  return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex());
}

// Shown to a person: see serial::VisibleText.
std::string Shown(const std::string& text) { return serial::VisibleText(text); }

const char* OutcomeName(TestOutcome outcome) {
  switch (outcome) {
    case TestOutcome::kPassed: return "passed";
    case TestOutcome::kFailure: return "failed";
    case TestOutcome::kStopped: return "stopped";
    case TestOutcome::kNotRun: return "not-run";
  }
  return "";
}

const char* StateName(PutBackItem::State state) {
  switch (state) {
    case PutBackItem::State::kPutBack: return "put back";
    case PutBackItem::State::kNotPutBack: return "not put back";
    case PutBackItem::State::kNotChanged: return "not changed";
  }
  return "";
}

QJsonArray ItemsJson(const std::vector<PutBackItem>& items) {
  QJsonArray array;
  for (const PutBackItem& item : items) {
    array.append(QJsonObject{{"what", Text(item.what)},
                             {"before", Text(item.before)},
                             {"after", Text(item.after)},
                             {"state", StateName(item.state)},
                             {"reason", TextOrNull(item.reason)}});
  }
  return array;
}

QJsonObject RecoveryJson(const RecoveryReport& recovered) {
  return QJsonObject{{"outcome", Text(recovered.outcome)},
                     {"journal", Text(recovered.journal)},
                     {"detail", TextOrNull(recovered.detail)},
                     {"mend", TextOrNull(recovered.mend)},
                     {"items", ItemsJson(recovered.items)}};
}

QJsonValue RecoveredJson(const std::vector<RecoveryReport>& journals) {
  if (journals.empty()) return QJsonValue::Null;
  for (const RecoveryReport& journal : journals) {
    if (journal.outcome == "put-back" || journal.outcome == "not-all-put-back")
      return RecoveryJson(journal);
  }
  return RecoveryJson(journals.front());
}

QJsonArray JournalsJson(const std::vector<RecoveryReport>& journals) {
  QJsonArray array;
  for (const RecoveryReport& journal : journals) array.append(RecoveryJson(journal));
  return array;
}

bool NotPutBack(const PutBackItem& item) { return item.state == PutBackItem::State::kNotPutBack; }

QJsonObject PortJson(const modem::PortVerdict& verdict) {
  QJsonArray holders;
  for (const platform::PortHolder& holder : verdict.open.holders)
    holders.append(QJsonObject{{"pid", holder.pid}, {"name", Text(holder.name)}});
  return QJsonObject{{"port", Text(verdict.comName)},
                     {"device", Text(verdict.devicePath)},
                     {"verdict", modem::VerdictName(verdict.kind)},
                     {"reason", Text(modem::VerdictReason(verdict))},
                     {"holders", holders},
                     {"i3", Text(verdict.i3Line)},
                     {"i3Hex", Hex(verdict.i3Line)},
                     {"i3Cut", verdict.i3Cut}};
}

QJsonArray UntriedJson(const std::vector<modem::UntriedDevice>& devices) {
  QJsonArray list;
  for (const modem::UntriedDevice& device : devices) {
    list.append(QJsonObject{
        {"device", Text(device.devicePath)},
        {"driver", TextOrNull(device.driver)},
        {"port", Text(device.comName)},
        {"portOption", Text(modem::PortOptionFor(device.comName, device.devicePath))},
        {"portsConfLine", Text(modem::PortsConfLineFor(device.comName, device.devicePath))}});
  }
  return list;
}

QJsonValue TranscriptJson(const std::optional<ReportTranscript>& transcript) {
  if (!transcript) return QJsonValue::Null;
  return QJsonObject{{"path", Text(transcript->path)},
                     {"complete", transcript->complete},
                     {"error", TextOrNull(transcript->error)}};
}

QJsonValue ModemJson(const std::optional<ReportModem>& modem) {
  if (!modem) return QJsonValue::Null;
  QJsonArray registers;
  for (const ReportRegister& r : modem->registers)
    registers.append(QJsonObject{{"register", Text(r.name)}, {"value", Text(r.value)}});
  return QJsonObject{{"port", Text(modem->comName)},    {"device", Text(modem->devicePath)},
                     {"i3", Text(modem->i3Line)},       {"i3Hex", Hex(modem->i3Line)},
                     {"i3Cut", modem->i3Cut},           {"firmware", Text(modem->firmware)},
                     {"country", Text(modem->country)}, {"registers", registers}};
}

QJsonObject TestJson(const TestResult& test) {
  const int64_t duration = test.endMs < test.startMs ? 0 : test.endMs - test.startMs;
  QJsonObject object{
      {"name", Text(test.name)},
      {"outcome", OutcomeName(test.outcome)},
      {"result", Text(test.resultText)},
      {"durationMs", static_cast<qint64>(duration)},
      {"reason", TextOrNull(test.reason)},
      {"skipReason", test.outcome == TestOutcome::kNotRun ? TextOrNull(test.reason)
                                                          : QJsonValue(QJsonValue::Null)}};
  object.insert("firstFailure",
                test.firstFailure
                    ? QJsonValue(QJsonObject{{"command", Text(test.firstFailure->command)},
                                             {"response", Text(test.firstFailure->response)}})
                    : QJsonValue(QJsonValue::Null));
  return object;
}

// The fields that say where and when a document was made, in every document.
void AddIdentity(QJsonObject& object, const ReportResult& result) {
  object.insert("tool", product::kProgramName);
  object.insert("version", Text(result.toolVersion));
  object.insert("hostName", Text(result.hostName));
  object.insert("machineId", result.machineId ? QJsonValue(Text(*result.machineId))
                                              : QJsonValue(QJsonValue::Null));
  // In UTC, so a fleet's documents sort and compare across time zones.
  object.insert("started", result.started.toUTC().toString(Qt::ISODateWithMs));
  object.insert("durationMs", static_cast<qint64>(result.durationMs));
}

}  // namespace

std::optional<bool> ModemPutBack(const ReportResult& result) {
  bool changed = false;
  for (const PutBackItem& item : result.putBack) {
    if (NotPutBack(item)) return false;
    changed |= item.state == PutBackItem::State::kPutBack;
  }
  if (!changed) return std::nullopt;
  return true;
}

int ReportExitStatus(const ReportResult& result) {
  if (ModemPutBack(result) == false) return kExitNotPutBack;
  if (result.interruptedBy != 0) return ExitForSignal(result.interruptedBy);
  if (result.listMissing) return kExitListMissing;
  if (!result.modem) return kExitNoModem;
  for (const TestResult& test : result.tests) {
    if (test.outcome != TestOutcome::kPassed) return kExitTestFailed;
  }
  return kExitOk;
}

QByteArray ReportJson(const ReportResult& result) {
  QJsonArray ports;
  for (const modem::PortVerdict& verdict : result.portsTried) ports.append(PortJson(verdict));
  QJsonArray tests;
  for (const TestResult& test : result.tests) tests.append(TestJson(test));
  // The registers not given back, in the form earlier versions gave them.
  QJsonArray differing;
  for (const PutBackItem& item : result.putBack) {
    if (!NotPutBack(item) || item.what.rfind("register ", 0) != 0) continue;
    differing.append(QJsonObject{{"register", Text(item.what.substr(9))},
                                 {"before", Text(item.before)},
                                 {"after", Text(item.after)}});
  }
  const std::optional<bool> restored = ModemPutBack(result);
  QJsonObject root{
      {"identificationList", result.listMissing ? "missing" : "read"},
      {"identificationListFile", TextOrNull(result.listPath)},
      {"identificationListCut", TextOrNull(result.listCut)},
      {"transcript", TranscriptJson(result.transcript)},
      {"portsTried", ports},
      {"untriedDevices", UntriedJson(result.untried)},
      {"modem", ModemJson(result.modem)},
      {"tests", tests},
      {"modemRestored", restored ? QJsonValue(*restored) : QJsonValue(QJsonValue::Null)},
      {"registersDiffering", differing},
      {"putBack", ItemsJson(result.putBack)},
      {"recovered", RecoveredJson(result.journals)},
      {"journals", JournalsJson(result.journals)},
      {"exitStatus", ReportExitStatus(result)},
  };
  AddIdentity(root, result);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray ReportErrorJson(const ReportResult& identity, const std::string& kind,
                           const std::string& message, int exitStatus) {
  QJsonObject root{{"error", QJsonObject{{"kind", Text(kind)}, {"message", Text(message)}}},
                   {"exitStatus", exitStatus}};
  AddIdentity(root, identity);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::string ReportSummary(const ReportResult& result) {
  std::string text;
  if (result.listMissing) {
    text += "The identification list ati3.dat is missing or unreadable.\n";
  } else if (!result.listPath.empty()) {
    text += "Identification list: " + Shown(result.listPath) + "\n";
  }
  if (!result.listCut.empty()) text += "  " + Shown(result.listCut) + "\n";
  for (const modem::PortVerdict& verdict : result.portsTried)
    text += "  " + modem::FormatVerdictLine(verdict) + "\n";
  if (result.modem) {
    const ReportModem& m = *result.modem;
    text += "Modem: " + m.comName + " (" + Shown(m.devicePath) + ") \"" + Shown(m.i3Line) + "\"\n";
    text += "  firmware: " + Shown(m.firmware) + "\n  country: " + Shown(m.country) + "\n";
  } else if (!result.listMissing) {
    text += std::string(product::kNotFoundText) + "\n";
    const std::string untried = modem::UntriedDetails(result.untried);
    if (!untried.empty()) text += untried + "\n";
  }
  for (const RecoveryReport& r : result.journals) {
    text += "Journal " + Shown(r.journal) + ": " + r.outcome;
    if (!r.detail.empty()) text += " (" + Shown(r.detail) + ")";
    text += "\n";
    if (!r.mend.empty())
      text += "  kept as it is; to let the tool read it: " + Shown(r.mend) + "\n";
    for (const PutBackItem& item : r.items)
      text += "  " + Shown(item.what) + ": " + StateName(item.state) + "\n";
  }
  for (const TestResult& test : result.tests) {
    text += "Test " + test.name + ": ";
    text += test.outcome == TestOutcome::kNotRun ? "not run (" + Shown(test.reason) + ")"
                                                 : test.resultText;
    if (test.outcome == TestOutcome::kStopped) text += ", stopped";
    const int64_t duration = test.endMs < test.startMs ? 0 : test.endMs - test.startMs;
    text += " (" + std::to_string(duration) + " ms)\n";
    if (test.firstFailure) {
      const FailedCommand& failed = *test.firstFailure;
      // A loopback's command is its pattern line, which a modem may have cut or garbled.
      text += "  first failing command: " + Shown(failed.command) + " -> " +
              (failed.response.empty() ? std::string("nothing")
                                       : "\"" + Shown(failed.response) + "\"") +
              "\n";
    } else if (test.outcome == TestOutcome::kFailure && !test.reason.empty()) {
      text += "  " + Shown(test.reason) + "\n";
    }
  }
  const std::optional<bool> restored = ModemPutBack(result);
  if (restored == true) text += "Modem put back as found: yes\n";
  if (restored == false) {
    text += "Modem put back as found: NO\n";
    for (const PutBackItem& item : result.putBack) {
      if (NotPutBack(item))
        text += "  not put back: " + Shown(item.what) + ": was " + Shown(item.before) + ", now " +
                Shown(item.after) + " (" + Shown(item.reason) + ")\n";
    }
  }
  if (result.transcript && !result.transcript->complete) {
    text += "Transcript " + Shown(result.transcript->path) +
            ": INCOMPLETE, a write failed: " + Shown(result.transcript->error) + "\n";
  }
  const int status = ReportExitStatus(result);
  text += "Result: " + ExitMeaning(status) + " (exit status " + std::to_string(status) + ")\n";
  return text;
}

}  // namespace diagnostics

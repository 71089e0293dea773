#include "diagnostics/report_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "diagnostics/exit_status.h"

namespace diagnostics {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

const char* OutcomeName(TestOutcome outcome) {
  switch (outcome) {
    case TestOutcome::kPassed: return "passed";
    case TestOutcome::kFailed: return "failed";
    case TestOutcome::kSkipped: return "skipped";
  }
  return "";
}

QJsonObject PortJson(const modem::PortVerdict& verdict) {
  return QJsonObject{{"port", Text(verdict.comName)},
                     {"device", Text(verdict.devicePath)},
                     {"verdict", modem::VerdictName(verdict.kind)},
                     {"reason", Text(modem::VerdictReason(verdict))}};
}

QJsonValue ModemJson(const std::optional<ReportModem>& modem) {
  if (!modem) return QJsonValue::Null;
  QJsonArray registers;
  for (const ReportRegister& r : modem->registers)
    registers.append(QJsonObject{{"register", Text(r.name)}, {"value", Text(r.value)}});
  return QJsonObject{{"port", Text(modem->comName)},    {"device", Text(modem->devicePath)},
                     {"i3", Text(modem->i3Line)},       {"firmware", Text(modem->firmware)},
                     {"country", Text(modem->country)}, {"registers", registers}};
}

QJsonObject TestJson(const ReportTest& test) {
  QJsonObject object{
      {"name", Text(test.name)},
      {"outcome", OutcomeName(test.outcome)},
      {"result", Text(test.resultText)},
      {"durationMs", static_cast<qint64>(test.durationMs)},
      {"skipReason", test.outcome == TestOutcome::kSkipped ? QJsonValue(Text(test.skipReason))
                                                           : QJsonValue(QJsonValue::Null)}};
  object.insert("firstFailure", test.failedCommand ? QJsonValue(QJsonObject{
                                                         {"command", Text(*test.failedCommand)},
                                                         {"response", Text(test.failedResponse)}})
                                                   : QJsonValue(QJsonValue::Null));
  return object;
}

std::string ExitMeaning(int status) {
  switch (status) {
    case kExitOk: return "the modem was found and every test run passed";
    case kExitTestFailed: return "a test failed or was skipped";
    case kExitNoModem: return "no Kalvex internal modem was found";
    case kExitListMissing: return "the identification list ati3.dat is missing or unreadable";
    case kExitNotRestored: return "the modem could not be put back as it was found";
  }
  if (status > 128) return "interrupted by signal " + std::to_string(status - 128);
  return "";
}

// The fields that say where and when a document was made, in every document.
void AddIdentity(QJsonObject& object, const ReportResult& result) {
  object.insert("tool", "kalvex-modem-diag");
  object.insert("version", Text(result.toolVersion));
  object.insert("hostName", Text(result.hostName));
  object.insert("machineId", result.machineId ? QJsonValue(Text(*result.machineId))
                                              : QJsonValue(QJsonValue::Null));
  // In UTC, so a fleet's documents sort and compare across time zones.
  object.insert("started", result.started.toUTC().toString(Qt::ISODateWithMs));
  object.insert("durationMs", static_cast<qint64>(result.durationMs));
}

}  // namespace

int ReportExitStatus(const ReportResult& result) {
  if (result.interruptedBy != 0) return 128 + result.interruptedBy;
  if (result.listMissing) return kExitListMissing;
  if (!result.modem) return kExitNoModem;
  if (result.modemRestored == false) return kExitNotRestored;
  for (const ReportTest& test : result.tests) {
    if (test.outcome != TestOutcome::kPassed) return kExitTestFailed;
  }
  return kExitOk;
}

QByteArray ReportJson(const ReportResult& result) {
  QJsonArray ports;
  for (const modem::PortVerdict& verdict : result.portsTried) ports.append(PortJson(verdict));
  QJsonArray tests;
  for (const ReportTest& test : result.tests) tests.append(TestJson(test));
  QJsonArray differing;
  for (const RegisterDifference& d : result.differing) {
    differing.append(QJsonObject{
        {"register", Text(d.name)}, {"before", Text(d.before)}, {"after", Text(d.after)}});
  }
  QJsonObject root{
      {"identificationList", result.listMissing ? "missing" : "read"},
      {"portsTried", ports},
      {"modem", ModemJson(result.modem)},
      {"tests", tests},
      {"modemRestored",
       result.modemRestored ? QJsonValue(*result.modemRestored) : QJsonValue(QJsonValue::Null)},
      {"registersDiffering", differing},
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
  }
  for (const modem::PortVerdict& verdict : result.portsTried)
    text += "  " + modem::FormatVerdictLine(verdict) + "\n";
  if (result.modem) {
    const ReportModem& m = *result.modem;
    text += "Modem: " + m.comName + " (" + m.devicePath + ") \"" + modem::OneLineText(m.i3Line) +
            "\"\n";
    text += "  firmware: " + modem::OneLineText(m.firmware) +
            "\n  country: " + modem::OneLineText(m.country) + "\n";
  } else if (!result.listMissing) {
    text += "Can not find Kalvex Internal Modem in your system !\n";
  }
  for (const ReportTest& test : result.tests) {
    text += "Test " + test.name + ": ";
    text += test.outcome == TestOutcome::kSkipped ? "skipped (" + test.skipReason + ")"
                                                  : test.resultText;
    text += " (" + std::to_string(test.durationMs) + " ms)\n";
    if (test.failedCommand) {
      text +=
          "  first failing command: " + *test.failedCommand + " -> " +
          (test.failedResponse.empty() ? std::string("nothing")
                                       : "\"" + modem::OneLineText(test.failedResponse) + "\"") +
          "\n";
    }
  }
  if (result.modemRestored == true) text += "Modem put back as found: yes\n";
  if (result.modemRestored == false) {
    text += "Modem put back as found: NO";
    for (const RegisterDifference& d : result.differing)
      text += "; register " + d.name + " was " + d.before + ", is " + d.after;
    text += "\n";
  }
  const int status = ReportExitStatus(result);
  text += "Result: " + ExitMeaning(status) + " (exit status " + std::to_string(status) + ")\n";
  return text;
}

}  // namespace diagnostics

#include "diagnostics/report_document.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "diagnostics/exit_status.h"
#include "platform/visible_text.h"

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

// Shown to a person: see platform::VisibleText.
std::string Shown(const std::string& text) { return platform::VisibleText(text); }

const char* OutcomeName(TestOutcome outcome) {
  switch (outcome) {
    case TestOutcome::kPassed: return "passed";
    case TestOutcome::kFailed: return "failed";
    case TestOutcome::kSkipped: return "skipped";
  }
  return "";
}

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
                     {"i3Hex", Hex(verdict.i3Line)}};
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
  return QJsonObject{{"port", Text(modem->comName)},
                     {"device", Text(modem->devicePath)},
                     {"i3", Text(modem->i3Line)},
                     {"i3Hex", Hex(modem->i3Line)},
                     {"firmware", Text(modem->firmware)},
                     {"country", Text(modem->country)},
                     {"registers", registers}};
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
      {"tool", "kalvex-modem-diag"},
      {"version", Text(result.toolVersion)},
      {"started", result.started.toString(Qt::ISODateWithMs)},
      {"identificationList", result.listMissing ? "missing" : "read"},
      {"identificationListFile", TextOrNull(result.listPath)},
      {"identificationListCut", TextOrNull(result.listCut)},
      {"transcript", TranscriptJson(result.transcript)},
      {"portsTried", ports},
      {"modem", ModemJson(result.modem)},
      {"tests", tests},
      {"modemRestored",
       result.modemRestored ? QJsonValue(*result.modemRestored) : QJsonValue(QJsonValue::Null)},
      {"registersDiffering", differing},
      {"exitStatus", ReportExitStatus(result)},
  };
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
    text += "Modem: " + m.comName + " (" + Shown(m.devicePath) + ") \"" +
            modem::OneLineText(m.i3Line) + "\"\n";
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
      text += "; register " + d.name + " was " + Shown(d.before) + ", is " + Shown(d.after);
    text += "\n";
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

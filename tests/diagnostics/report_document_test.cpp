// The report's JSON document checked against the field table of docs/report.md (every
// documented field present with its documented type, nothing undocumented), the example there,
// the exit status of each situation and the human summary.

#include "diagnostics/report_document.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <map>
#include <set>
#include <string>

#include "diagnostics/exit_status.h"
#include "diagnostics/program_run.h"
#include "modem/ledger.h"

namespace {

using diagnostics::ReportResult;
using diagnostics::TestOutcome;

// Field path ("tests[].name") to the allowed JSON types ("string", "null", ...).
std::map<QString, QStringList> DocumentedFields(QString* example) {
  QFile file(QStringLiteral(KALVEX_SOURCE_DIR "/docs/report.md"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(file.readAll());
  // The report's own section; other documents of the page have tables of their own.
  const qsizetype sectionStart = text.indexOf(QStringLiteral("### The JSON document"));
  const QString section =
      text.mid(sectionStart, text.indexOf(QStringLiteral("\n## "), sectionStart) - sectionStart);
  std::map<QString, QStringList> fields;
  static const QRegularExpression row(QStringLiteral("^\\| `([^`]+)` \\| ([a-z ]+) \\|"),
                                      QRegularExpression::MultilineOption);
  for (auto it = row.globalMatch(section); it.hasNext();) {
    const auto match = it.next();
    fields[match.captured(1)] = match.captured(2).split(QStringLiteral(" or "));
  }
  const qsizetype start = text.indexOf(QStringLiteral("```json\n"));
  const qsizetype end = text.indexOf(QStringLiteral("\n```"), start + 8);
  if (start >= 0 && end > start) *example = text.mid(start + 8, end - start - 8);
  return fields;
}

QString TypeName(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Null: return "null";
    case QJsonValue::Bool: return "boolean";
    case QJsonValue::Double: return "number";
    case QJsonValue::String: return "string";
    case QJsonValue::Array: return "array";
    case QJsonValue::Object: return "object";
    default: return "undefined";
  }
}

// Every field of the document at and below prefix, checked against the table; each path seen
// goes into *seen.
void CheckObject(const QJsonObject& object, const QString& prefix,
                 const std::map<QString, QStringList>& fields, std::set<QString>* seen) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    const QString path = prefix + it.key();
    seen->insert(path);
    const auto documented = fields.find(path);
    if (documented == fields.end()) {
      ADD_FAILURE() << "undocumented field " << path.toStdString();
      continue;
    }
    EXPECT_TRUE(documented->second.contains(TypeName(*it)))
        << path.toStdString() << " is " << TypeName(*it).toStdString();
    if (it->isObject()) CheckObject(it->toObject(), path + ".", fields, seen);
    if (it->isArray()) {
      for (const QJsonValue& element : it->toArray()) {
        if (element.isObject()) CheckObject(element.toObject(), path + "[].", fields, seen);
      }
    }
  }
}

modem::PortVerdict Verdict(const char* com, modem::PortVerdictKind kind, const char* i3 = "") {
  modem::PortVerdict verdict;
  verdict.comName = com;
  verdict.devicePath = std::string("/dev/sim/") + com;
  verdict.kind = kind;
  verdict.i3Line = i3;
  if (kind == modem::PortVerdictKind::kBusy) {
    verdict.open.verdict = platform::OpenVerdict::kBusy;
    verdict.open.holders = {{4242, "minicom"}};
  }
  return verdict;
}

// A full run: a busy port, a foreign modem, the modem found, three tests of every outcome and
// a register left changed.
ReportResult FullResult() {
  ReportResult result;
  result.toolVersion = "1.0.0.1";
  result.started =
      QDateTime::fromString(QStringLiteral("2024-05-02T14:03:11.482+02:00"), Qt::ISODateWithMs);
  result.hostName = "lab-07";
  result.machineId = "3d1219c7c4c5404aaa1f6d2a48adfda4";
  result.durationMs = 7523;
  result.portsTried = {Verdict("COM3", modem::PortVerdictKind::kBusy),
                       Verdict("COM4", modem::PortVerdictKind::kNotListed, "Orrin DataLink"),
                       Verdict("COM2", modem::PortVerdictKind::kFound, "Zelto Win Modem")};
  result.modem = diagnostics::ReportModem{
      "COM2", "/dev/sim/COM2", "Zelto Win Modem",
      "2.10", "North America", {{"18", "3C"}, {"29", "5A"}, {"2A", "11"}, {"20", "07"}}};
  diagnostics::TestResult failed{"digital-loopback",
                                 TestOutcome::kFailure,
                                 "Failure",
                                 "",
                                 1000,
                                 4105,
                                 diagnostics::FailedCommand{"AT&T3", "ERROR\r"}};
  diagnostics::TestResult skipped =
      diagnostics::NotRun("speaker", "no terminal to ask and no --answer-speaker");
  diagnostics::TestResult passed{"basic-function", TestOutcome::kPassed, "Passed", "", 100, 1307,
                                 std::nullopt};
  result.tests = {passed, failed, skipped};
  using State = diagnostics::PutBackItem::State;
  result.putBack = {{"the hook", "on-hook", "on-hook", State::kPutBack, ""},
                    {"register 18", "3C", "3C", State::kPutBack, ""},
                    {"register 2A", "11", "00", State::kNotPutBack, "read back 00"},
                    {"register 29", "5A", "5A", State::kNotChanged, ""}};
  result.journals = {diagnostics::RecoveryReport{
      "put-back", "/state/x.journal", "", {{"register 20", "07", "07", State::kPutBack, ""}}}};
  result.listPath = "/usr/share/kalvex-modem-diag/ati3.dat";
  result.listCut = result.listPath + ": 3 entries past the 30th ignored";
  result.transcript = diagnostics::ReportTranscript{"/dev/full", false, "No space left (ENOSPC)"};
  result.untried = {{"/dev/ttyACM0", "cdc_acm", "COM5"}, {"/dev/ttyUSB0", "", "COM6"}};
  return result;
}

TEST(ReportDocument, EveryFieldIsDocumentedWithItsTypeAndEveryDocumentedFieldAppears) {
  QString example;
  const std::map<QString, QStringList> fields = DocumentedFields(&example);
  ASSERT_GT(fields.size(), 20u) << "docs/report.md has no field table";
  std::set<QString> seen;
  // A full run, an empty one, and a run that could not run.
  for (const QByteArray& json :
       {diagnostics::ReportJson(FullResult()), diagnostics::ReportJson(ReportResult{}),
        diagnostics::ReportErrorJson(FullResult(), "already-running", "busy", 75)}) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_TRUE(document.isObject());
    CheckObject(document.object(), "", fields, &seen);
  }
  for (const auto& [path, types] : fields) {
    EXPECT_TRUE(seen.count(path)) << "documented but never written: " << path.toStdString();
  }
  // The documented example is itself a valid document of the same shape.
  QJsonParseError error{};
  const QJsonDocument exampleDocument = QJsonDocument::fromJson(example.toUtf8(), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  std::set<QString> exampleSeen;
  CheckObject(exampleDocument.object(), "", fields, &exampleSeen);
}

TEST(ReportDocument, ValuesLandWhereTheTableSays) {
  const QJsonObject root = QJsonDocument::fromJson(diagnostics::ReportJson(FullResult())).object();
  EXPECT_EQ(root["started"].toString(), "2024-05-02T12:03:11.482Z");
  EXPECT_EQ(root["hostName"].toString(), "lab-07");
  EXPECT_EQ(root["machineId"].toString(), "3d1219c7c4c5404aaa1f6d2a48adfda4");
  EXPECT_TRUE(QJsonDocument::fromJson(diagnostics::ReportJson(ReportResult{}))
                  .object()["machineId"]
                  .isNull());
  EXPECT_EQ(root["durationMs"].toInt(), 7523);
  const QJsonArray ports = root["portsTried"].toArray();
  ASSERT_EQ(ports.size(), 3);
  EXPECT_EQ(ports[0].toObject()["verdict"].toString(), "busy");
  EXPECT_EQ(ports[0].toObject()["reason"].toString(), "busy: held by minicom (PID 4242)");
  EXPECT_EQ(ports[1].toObject()["verdict"].toString(), "not-listed");
  EXPECT_EQ(ports[2].toObject()["port"].toString(), "COM2");
  EXPECT_EQ(root["modem"].toObject()["registers"].toArray()[2].toObject()["value"].toString(),
            "11");
  const QJsonArray tests = root["tests"].toArray();
  EXPECT_EQ(tests[1].toObject()["firstFailure"].toObject()["command"].toString(), "AT&T3");
  EXPECT_EQ(tests[1].toObject()["firstFailure"].toObject()["response"].toString(), "ERROR\r");
  EXPECT_EQ(tests[1].toObject()["durationMs"].toInt(), 3105);
  EXPECT_EQ(tests[2].toObject()["outcome"].toString(), "not-run");
  EXPECT_EQ(root["putBack"].toArray()[2].toObject()["state"].toString(), "not put back");
  EXPECT_EQ(root["putBack"].toArray()[2].toObject()["reason"].toString(), "read back 00");
  EXPECT_EQ(root["recovered"].toObject()["outcome"].toString(), "put-back");
  EXPECT_EQ(root["modemRestored"], QJsonValue(false));
  EXPECT_EQ(root["registersDiffering"].toArray()[0].toObject()["after"].toString(), "00");
  EXPECT_EQ(root["exitStatus"].toInt(), diagnostics::kExitNotPutBack);
  EXPECT_EQ(root["identificationListFile"].toString(), "/usr/share/kalvex-modem-diag/ati3.dat");
  EXPECT_EQ(root["transcript"].toObject()["complete"], QJsonValue(false));
  EXPECT_EQ(root["transcript"].toObject()["error"].toString(), "No space left (ENOSPC)");
  EXPECT_EQ(ports[0].toObject()["holders"].toArray()[0].toObject()["name"].toString(), "minicom");
  EXPECT_EQ(ports[1].toObject()["i3"].toString(), "Orrin DataLink");
}

// Text from outside is exact in the document, the "I3" line's bytes also as hex, and made
// visible in the summary.
TEST(ReportDocument, ForeignTextIsExactInTheDocumentAndVisibleInTheSummary) {
  ReportResult result = FullResult();
  const std::string hostile = "\x1b]0;PWN\x07\x1b[2J\xff";
  result.modem->i3Line = hostile;
  result.modem->devicePath = "/dev/\x1b[H";
  result.portsTried[0].open.holders = {{4242, "\x1b]0;PWN\x07\x1b[2J\x1b[H"}};
  result.portsTried[0].i3Line = std::string("A\0B", 3) + std::string(200, 'C');  // kept whole
  result.portsTried[0].i3Cut = true;
  const QJsonObject root = QJsonDocument::fromJson(diagnostics::ReportJson(result)).object();
  EXPECT_EQ(root["modem"].toObject()["i3Hex"].toString(), "1b5d303b50574e071b5b324aff");
  const QJsonObject port = root["portsTried"].toArray()[0].toObject();
  EXPECT_EQ(port["i3Hex"].toString(), "410042" + QString(200, 'c').replace("c", "43"));
  EXPECT_EQ(port["i3Cut"], QJsonValue(true));
  EXPECT_EQ(root["modem"].toObject()["device"].toString(), QString::fromLatin1("/dev/\x1b[H"));
  EXPECT_EQ(root["portsTried"].toArray()[0].toObject()["holders"].toArray()[0].toObject()["name"],
            QString::fromLatin1("\x1b]0;PWN\x07\x1b[2J\x1b[H"));
  const std::string summary = diagnostics::ReportSummary(result);
  EXPECT_EQ(summary.find('\x1b'), std::string::npos) << summary;
  EXPECT_EQ(summary.find('\x07'), std::string::npos) << summary;
  EXPECT_NE(summary.find("Modem: COM2 (/dev/\\x1B[H) \"\\x1B]0;PWN\\x07\\x1B[2J\\xFF\""),
            std::string::npos)
      << summary;
  EXPECT_NE(summary.find("held by \\x1B]0;PWN\\x07\\x1B[2J\\x1B[H (PID 4242)"), std::string::npos)
      << summary;
}

TEST(ReportDocument, ARunThatCouldNotRunSaysWhyWhereAndWhenAndNothingAboutAModem) {
  const QJsonObject root =
      QJsonDocument::fromJson(
          diagnostics::ReportErrorJson(FullResult(), "already-running", "another copy runs", 75))
          .object();
  EXPECT_EQ(root["error"].toObject()["kind"].toString(), "already-running");
  EXPECT_EQ(root["error"].toObject()["message"].toString(), "another copy runs");
  EXPECT_EQ(root["exitStatus"].toInt(), 75);
  EXPECT_EQ(root["hostName"].toString(), "lab-07");
  EXPECT_EQ(root["started"].toString(), "2024-05-02T12:03:11.482Z");
  // A reader must not take it for a run that found nothing.
  for (const char* field : {"modem", "portsTried", "tests", "identificationList"})
    EXPECT_FALSE(root.contains(QLatin1String(field))) << field;
}

TEST(ReportDocument, ExitStatusFollowsTheWorstOutcome) {
  ReportResult result = FullResult();
  result.interruptedBy = 15;
  // A changed modem outranks a failed test and a signal.
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 4);
  result.putBack[2].state = diagnostics::PutBackItem::State::kPutBack;
  EXPECT_EQ(diagnostics::ModemPutBack(result), true);
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 143);
  result.interruptedBy = 0;
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 1);
  result.tests.resize(1);
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 0);
  result.putBack.clear();
  EXPECT_EQ(diagnostics::ModemPutBack(result), std::nullopt);
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 0);
  result.modem.reset();
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 2);
  result.listMissing = true;
  EXPECT_EQ(diagnostics::ReportExitStatus(result), 3);
  const QJsonObject missing = QJsonDocument::fromJson(diagnostics::ReportJson(result)).object();
  EXPECT_EQ(missing["identificationList"].toString(), "missing");
  EXPECT_TRUE(missing["modem"].isNull());
  EXPECT_TRUE(missing["modemRestored"].isNull());
}

// Texts for people that carry bytes of a journal or the modem show them only as visible text.
TEST(ReportDocument, JournalAndModemBytesReachPeopleOnlyAsVisibleText) {
  ReportResult result = FullResult();
  result.journals[0].journal = "/s/\x1b[2J";
  result.tests[1].firstFailure->command = "0123\r";
  modem::Change change;
  change.reg = "18";
  change.before = "05";
  change.now = "\x1b]0;PWN\x07";
  const modem::Recovery other{
      modem::Recovery::Outcome::kOtherModem, "/s/\x1b[H", "\r\x1b[2K", {}, {}};
  const std::pair<std::string, const char*> cases[] = {
      {diagnostics::ReportSummary(result), "Journal /s/\\x1B[2J: put-back"},
      {diagnostics::ReportSummary(result), "first failing command: 0123\\r -> "},
      {modem::DescribeNotPutBack(change), "register 18: was 05, now \\x1B]0;PWN\\x07"},
      {diagnostics::DescribeRecovery(other), "(\"\\r\\x1B[2K\") was found at /s/\\x1B[H and"},
  };
  for (const auto& [text, shown] : cases) {
    EXPECT_NE(text.find(shown), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("\x1b\x07\r"), std::string::npos) << text;
  }
}

TEST(ReportDocument, SummaryNamesEachPortTestAndTheRestoreWithModemTextEscaped) {
  const std::string summary = diagnostics::ReportSummary(FullResult());
  for (const char* line :
       {"  COM3 (/dev/sim/COM3): busy: held by minicom (PID 4242)\n",
        "Modem: COM2 (/dev/sim/COM2) \"Zelto Win Modem\"\n",
        "Test digital-loopback: Failure (3105 ms)\n",
        "  first failing command: AT&T3 -> \"ERROR\\r\"\n",
        "Test speaker: not run (no terminal to ask and no --answer-speaker) (0 ms)\n",
        "Modem put back as found: NO\n  not put back: register 2A: was 11, now 00 (read back 00)\n",
        "Identification list: /usr/share/kalvex-modem-diag/ati3.dat\n",
        "  /usr/share/kalvex-modem-diag/ati3.dat: 3 entries past the 30th ignored\n",
        "Transcript /dev/full: INCOMPLETE, a write failed: No space left (ENOSPC)\n",
        "Result: the modem could not be put back as it was found (exit status 4)\n"}) {
    EXPECT_NE(summary.find(line), std::string::npos) << line << "in:\n" << summary;
  }
  ReportResult none;
  none.portsTried = {Verdict("COM1", modem::PortVerdictKind::kNoAnswer)};
  EXPECT_NE(diagnostics::ReportSummary(none).find(
                "Can not find Kalvex Internal Modem in your system !\n"),
            std::string::npos);
}

}  // namespace

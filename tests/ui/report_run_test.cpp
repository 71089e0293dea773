// The real program's --report against the simulated modem: every exit status from the situation
// that gives it, the JSON document's documented fields, and the questions a report cannot ask.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

#include "../../sim/modem_sim.h"
#include "support/modem_as_found.h"
#include "support/port_holder.h"
#include "support/qt_app.h"

namespace {

using namespace std::chrono_literals;

class Report : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work.isValid());
    ASSERT_TRUE(runtime.isValid());
    env = QProcessEnvironment::systemEnvironment();
    // Without a display and without Qt's platform: a GUI application would abort here.
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) env.remove(name);
    for (int n = 1; n <= 9; ++n) env.remove(QStringLiteral("KALVEX_COM%1").arg(n));
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", runtime.filePath("config"));
    env.insert("XDG_DATA_DIRS", runtime.filePath("data"));
    // The machine's own serial devices stay out of what a not-found report names.
    env.insert("KALVEX_SYSFS_ROOT", runtime.filePath("no-sysfs"));
  }

  void StartModem(std::vector<sim::PortConfig> ports = {}) {
    sim::Options options;  // empty ports: COM1 silent, COM3 modem
    options.ports = std::move(ports);
    std::string error;
    ASSERT_TRUE(modem.Start(options, &error)) << error;
    env.insert("KALVEX_COM_DIR", QString::fromStdString(modem.Directory()));
  }

  void CopyList() {
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(KALVEX_SOURCE_DIR "/data/ati3.dat"), work.filePath("ati3.dat")));
  }

  void Start(const QStringList& arguments) {
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(work.path());
    process.start(QStringLiteral(KALVEX_DIAG_BINARY), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
  }

  // Waits for the end; the exit status, or -1 after a crash or a hang.
  int Finish(int timeoutMs = 90000) {
    if (!process.waitForFinished(timeoutMs)) {
      process.kill();
      process.waitForFinished(5000);
      return -1;
    }
    out = process.readAllStandardOutput();
    err = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  [[nodiscard]] QJsonObject Document() const {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(out, &parseError);
    EXPECT_EQ(parseError.error, QJsonParseError::NoError) << out.toStdString();
    return document.object();
  }

  [[nodiscard]] static QJsonObject Test(const QJsonObject& doc, const QString& name) {
    for (const QJsonValue& test : doc["tests"].toArray())
      if (test.toObject()["name"].toString() == name) return test.toObject();
    ADD_FAILURE() << "no test " << name.toStdString();
    return {};
  }

  testsupport::QtApp<QCoreApplication> qt{"report_run_test"};
  QTemporaryDir work;
  QTemporaryDir runtime;
  sim::ModemSim modem;
  QProcessEnvironment env;
  QProcess process;
  QByteArray out;
  QString err;
};

// The fields every document has, a run's or a refusal's: which tool, machine and time.
void ExpectIdentity(const QJsonObject& doc) {
  EXPECT_EQ(doc["tool"].toString(), "kalvex-modem-diag");
  EXPECT_EQ(doc["version"].toString(), KALVEX_PROJECT_VERSION);
  EXPECT_EQ(doc["hostName"].toString(), QSysInfo::machineHostName());
  QFile machineId(QStringLiteral("/etc/machine-id"));
  if (machineId.open(QIODevice::ReadOnly))
    EXPECT_EQ(doc["machineId"].toString(), QString::fromLatin1(machineId.readAll().trimmed()));
  else
    EXPECT_TRUE(doc["machineId"].isNull());
  // ISO 8601 in UTC with milliseconds, at most the run's duration ago.
  const QString started = doc["started"].toString();
  EXPECT_TRUE(
      QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)").match(started).hasMatch())
      << started.toStdString();
  const qint64 sinceStart =
      QDateTime::fromString(started, Qt::ISODateWithMs).msecsTo(QDateTime::currentDateTimeUtc());
  EXPECT_GE(sinceStart, doc["durationMs"].toInteger());
  EXPECT_LT(sinceStart, doc["durationMs"].toInteger() + 60000);
}

// Every field docs/report.md lists, with its type, at every level.
void ExpectDocumentedFields(const QJsonObject& doc) {
  ExpectIdentity(doc);
  EXPECT_TRUE(doc["identificationList"].isString());
  EXPECT_TRUE(doc["portsTried"].isArray());
  for (const QJsonValue& port : doc["portsTried"].toArray())
    for (const char* field : {"port", "device", "verdict", "reason"})
      EXPECT_TRUE(port.toObject()[field].isString()) << field;
  EXPECT_TRUE(doc["modem"].isObject() || doc["modem"].isNull());
  if (doc["modem"].isObject()) {
    const QJsonObject found = doc["modem"].toObject();
    for (const char* field : {"port", "device", "i3", "firmware", "country"})
      EXPECT_TRUE(found[field].isString()) << field;
    const QJsonArray registers = found["registers"].toArray();
    ASSERT_EQ(registers.size(), 4);
    const char* names[] = {"18", "29", "2A", "20"};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(registers[i].toObject()["register"].toString(), names[i]);
      EXPECT_TRUE(registers[i].toObject()["value"].isString());
    }
  }
  EXPECT_TRUE(doc["tests"].isArray());
  for (const QJsonValue& value : doc["tests"].toArray()) {
    const QJsonObject test = value.toObject();
    for (const char* field : {"name", "outcome", "result"})
      EXPECT_TRUE(test[field].isString()) << field;
    EXPECT_TRUE(test["durationMs"].isDouble());
    EXPECT_TRUE(test["skipReason"].isString() || test["skipReason"].isNull());
    EXPECT_TRUE(test["firstFailure"].isObject() || test["firstFailure"].isNull());
  }
  EXPECT_TRUE(doc["modemRestored"].isBool() || doc["modemRestored"].isNull());
  EXPECT_TRUE(doc["registersDiffering"].isArray());
  EXPECT_TRUE(doc["exitStatus"].isDouble());
}

TEST_F(Report, DetectionOnlyFindsTheModemOnCom3AndExitsZero) {
  StartModem();
  CopyList();
  Start({"--report", "--json"});
  EXPECT_EQ(Finish(), 0) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_EQ(doc["exitStatus"].toInt(), 0);
  EXPECT_EQ(doc["identificationList"].toString(), "read");
  const QJsonObject found = doc["modem"].toObject();
  EXPECT_EQ(found["port"].toString(), "COM3");
  EXPECT_EQ(found["device"].toString(), QString::fromStdString(modem.Directory() + "/COM3"));
  EXPECT_EQ(found["country"].toString().toStdString(), modem.State(3)->countryName);
  char reg18[3];
  std::snprintf(reg18, sizeof reg18, "%02X", unsigned(modem.State(3)->reg18));
  EXPECT_EQ(found["registers"].toArray()[0].toObject()["value"].toString(), reg18);
  EXPECT_TRUE(doc["tests"].toArray().isEmpty());
  EXPECT_TRUE(doc["modemRestored"].isNull());  // nothing was written, nothing checked
  const QJsonArray ports = doc["portsTried"].toArray();
  ASSERT_FALSE(ports.isEmpty());
  EXPECT_EQ(ports.last().toObject()["verdict"].toString(), "found");
  // Standard error is no terminal here: no progress lines.
  EXPECT_FALSE(err.contains("Probing")) << err.toStdString();
}

// The report keeps a transcript as the dialogs do: every command it sent, in order, with the
// "I3" line found among what came back, and the found modem's I3 line in the document.
TEST_F(Report, TranscriptRecordsTheDetectionsCommands) {
  StartModem();
  CopyList();
  const QString transcript = work.filePath("modem.log");
  Start({"--report", "--json", "--transcript", transcript});
  EXPECT_EQ(Finish(), 0) << err.toStdString();
  QFile file(transcript);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromLatin1(file.readAll());
  EXPECT_TRUE(text.contains(" COM3 > at&FZ\\r\\n")) << text.toStdString();
  EXPECT_TRUE(text.contains(" COM3 < " + QString::fromLatin1(sim::kModemIdentification.data())))
      << text.toStdString();
  EXPECT_EQ(Document()["modem"].toObject()["i3"].toString(),
            QString::fromLatin1(sim::kModemIdentification.data()));
}

TEST_F(Report, BasicTestsPassPutTheModemBackAndTheSummaryIsPlainText) {
  StartModem();
  CopyList();
  Start({"--report", "--tests", "basic"});
  EXPECT_EQ(Finish(), 0) << out.toStdString() << err.toStdString();
  EXPECT_TRUE(out.contains("Passed")) << out.toStdString();
  EXPECT_TRUE(out.contains("exit status 0")) << out.toStdString();
  EXPECT_FALSE(out.trimmed().startsWith('{'));
  EXPECT_FALSE(modem.State(3)->dataMode);
}

TEST_F(Report, AFailingTestExitsOneWithTheDialogsResultText) {
  sim::Faults faults;
  faults.muteCommands = {"I2"};
  StartModem({{1, sim::PortKind::kSilent, {}}, {3, sim::PortKind::kModem, faults}});
  CopyList();
  Start({"--report", "--tests", "basic", "--json"});
  EXPECT_EQ(Finish(), 1) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  const QJsonObject basic = Test(doc, "basic-function");
  EXPECT_EQ(basic["outcome"].toString(), "failed");
  EXPECT_EQ(basic["result"].toString(), "Failure");
  EXPECT_GE(basic["durationMs"].toInt(), 3000);  // the unanswered "I2" waited its 3 s
  // The muted command is echoed, so its echo is the last line that came back.
  const QJsonObject failure = basic["firstFailure"].toObject();
  EXPECT_EQ(failure["command"].toString(), "I2");
  EXPECT_EQ(failure["response"].toString(), "atI2");
  EXPECT_EQ(Test(doc, "digital-loopback")["result"].toString(), "Passed");
  EXPECT_TRUE(Test(doc, "digital-loopback")["firstFailure"].isNull());
  EXPECT_EQ(doc["modemRestored"], QJsonValue(true));
  EXPECT_EQ(doc["exitStatus"].toInt(), 1);
}

TEST_F(Report, SpeakerAndLineTestsAreSkippedWithAReasonWithoutATerminalOrAnswer) {
  StartModem();
  CopyList();
  Start({"--report", "--tests", "speaker,line", "--json"});
  // Standard input is a pipe nobody writes to: a report that asked would hang here.
  EXPECT_EQ(Finish(30000), 1) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  for (const char* name : {"speaker", "line"}) {
    const QJsonObject test = Test(doc, name);
    EXPECT_EQ(test["outcome"].toString(), "not-run") << name;
    EXPECT_EQ(test["result"].toString(), "") << name;
    EXPECT_TRUE(test["skipReason"].toString().contains("terminal")) << name;
  }
  EXPECT_TRUE(Test(doc, "speaker")["skipReason"].toString().contains("--answer-speaker"));
  EXPECT_TRUE(Test(doc, "line")["skipReason"].toString().contains("--line-connected"));
  EXPECT_FALSE(modem.State(3)->buzz);
  EXPECT_FALSE(modem.State(3)->offHook);
}

TEST_F(Report, AnswerOptionsRunTheSpeakerAndLineTests) {
  StartModem();
  CopyList();
  Start({"--report", "--tests", "speaker,line", "--answer-speaker", "yes", "--line-connected", "no",
         "--json"});
  EXPECT_EQ(Finish(), 0) << err.toStdString();
  const QJsonObject doc = Document();
  EXPECT_EQ(Test(doc, "speaker")["result"].toString(), "Passed");
  EXPECT_EQ(Test(doc, "line")["result"].toString(), "Passed");  // the dial ends in NO CARRIER
  EXPECT_EQ(doc["modemRestored"], QJsonValue(true));
  EXPECT_FALSE(modem.State(3)->offHook);
}

TEST_F(Report, NoModemExitsTwo) {
  StartModem({{1, sim::PortKind::kSilent, {}}, {3, sim::PortKind::kForeign, {}}});
  CopyList();
  Start({"--report", "--json"});
  EXPECT_EQ(Finish(), 2) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_TRUE(doc["modem"].isNull());
  EXPECT_EQ(doc["exitStatus"].toInt(), 2);
  // Each port tried has its verdict, in the order tried: 3, 4, 2, 1, 5, 6.
  const QJsonArray ports = doc["portsTried"].toArray();
  ASSERT_EQ(ports.size(), 6);
  const char* const expected[][2] = {{"COM3", "not-listed"},     {"COM4", "no-such-device"},
                                     {"COM2", "no-such-device"}, {"COM1", "no-answer"},
                                     {"COM5", "no-such-device"}, {"COM6", "no-such-device"}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ports[i].toObject()["port"].toString(), expected[i][0]);
    EXPECT_EQ(ports[i].toObject()["verdict"].toString(), expected[i][1]);
  }
  // The dialogs' "Can not find..." box is not printed: the document says it.
  EXPECT_FALSE(err.contains("Can not find")) << err.toStdString();
}

// A local user names a process with terminal sequences (a new title, a cleared screen) and holds
// the modem's port: --list-ports names it, and no byte of the sequences reaches the terminal raw
// (the report's summary is held to the same by the report document's own test).
TEST_F(Report, AHoldersNameWithEscapeBytesReachesTheTerminalOnlyAsVisibleText) {
  StartModem();
  CopyList();
  const std::string hostile = "\x1b]0;PWN\x07\x1b[2J\x1b[H";  // 15 bytes: all of a process name
  const QString program = runtime.filePath(QString::fromLatin1(hostile.c_str()));
  ASSERT_TRUE(QFile::link(QStringLiteral("/bin/sleep"), program));
  testsupport::PortHolder holder(program.toStdString(), modem.Directory() + "/COM3",
                                 testsupport::PortHolder::How::kFlock);
  ASSERT_GT(holder.Pid(), 0);
  // The simulated modem, in this process, holds the terminal too and may be named first.
  const std::string shown =
      "\\x1B]0;PWN\\x07\\x1B[2J\\x1B[H (PID " + std::to_string(holder.Pid()) + ")";

  // Over an empty system tree: only the COM names, none of the machine's devices.
  env.insert("KALVEX_SYSFS_ROOT", runtime.path());
  Start({"--list-ports"});
  EXPECT_EQ(Finish(), 0) << err.toStdString();
  EXPECT_FALSE(out.contains('\x1b')) << out.toStdString();
  EXPECT_FALSE(err.toLatin1().contains('\x1b')) << err.toStdString();
  EXPECT_TRUE(out.contains(QByteArray::fromStdString(shown))) << out.toStdString();
}

TEST_F(Report, AMissingListExitsThreeNamingThePlacesAndTouchesNoPort) {
  StartModem();
  Start({"--report", "--json"});
  EXPECT_EQ(Finish(), 3);
  EXPECT_TRUE(err.contains("ati3.dat")) << err.toStdString();
  EXPECT_TRUE(err.contains(runtime.filePath("config"))) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_EQ(doc["identificationList"].toString(), "missing");
  for (const sim::Event& event : modem.Events()) EXPECT_NE(event.kind, "rx") << event.Line();
}

TEST_F(Report, ARegisterTheModemWillNotTakeBackExitsFour) {
  // The write-back of register 18's power-on value goes unanswered and is not carried out.
  sim::ModemSim probe;
  ASSERT_TRUE(probe.Start({}));
  char command[32];
  std::snprintf(command, sizeof command, "%%T21,18,%02X", unsigned(probe.State(3)->reg18));
  probe.Stop();
  sim::Faults faults;
  faults.muteCommands = {command};
  StartModem({{3, sim::PortKind::kModem, faults}});
  CopyList();
  Start({"--report", "--tests", "basic", "--json"});
  EXPECT_EQ(Finish(), 4) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_EQ(doc["modemRestored"], QJsonValue(false));
  const QJsonArray differing = doc["registersDiffering"].toArray();
  ASSERT_EQ(differing.size(), 1);
  EXPECT_EQ(differing[0].toObject()["register"].toString(), "18");
  EXPECT_EQ(differing[0].toObject()["after"].toString(), "0");  // the test value stayed
  QJsonObject item;
  for (const QJsonValue& value : doc["putBack"].toArray()) {
    if (value.toObject()["what"].toString() == "register 18") item = value.toObject();
  }
  EXPECT_EQ(item["state"].toString(), "not put back");
  EXPECT_EQ(item["reason"].toString(), "no answer");
  EXPECT_EQ(doc["exitStatus"].toInt(), 4);
}

TEST_F(Report, ABadTestNameIsAUsageErrorWithStatus64) {
  StartModem();
  CopyList();
  Start({"--report", "--tests", "basic,loud"});
  EXPECT_EQ(Finish(), 64);
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(err.contains("loud")) << err.toStdString();
  for (const sim::Event& event : modem.Events()) EXPECT_NE(event.kind, "rx") << event.Line();
}

// A second report while one runs did not run: its own status, not a finding's, and with --json
// a document that says so, without a port touched or ports.conf read.
TEST_F(Report, WhileAnotherCopyRunsItExits75WithADocumentSayingSo) {
  StartModem();
  CopyList();
  ASSERT_TRUE(QDir().mkpath(runtime.filePath("config/kalvex-modem-diag")));
  QFile config(runtime.filePath("config/kalvex-modem-diag/ports.conf"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write("LPT1=/dev/lp0\n");
  config.close();
  const QByteArray lockPath = QFile::encodeName(runtime.filePath("kalvex-modem-diag.lock"));
  const int held = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  Start({"--report", "--json", "--tests", "basic"});
  EXPECT_EQ(Finish(), 75) << err.toStdString();
  ::close(held);
  const QJsonObject doc = Document();
  ExpectIdentity(doc);
  EXPECT_EQ(doc["error"].toObject()["kind"].toString(), "already-running");
  EXPECT_EQ(doc["error"].toObject()["message"].toString(),
            "Kalvex Internal Modem Diagnostics Tool is already running.");
  EXPECT_EQ(doc["exitStatus"].toInt(), 75);
  EXPECT_FALSE(doc.contains("modem"));
  EXPECT_TRUE(err.contains("already running")) << err.toStdString();
  EXPECT_FALSE(err.contains("ports.conf")) << err.toStdString();
  for (const sim::Event& event : modem.Events()) EXPECT_NE(event.kind, "rx") << event.Line();
}

TEST_F(Report, SigintDuringALoopbackPutsTheModemBackAndExits130) {
  StartModem();
  CopyList();
  const sim::PortState before = *modem.State(3);
  Start({"--report", "--tests", "basic", "--json"});
  ASSERT_TRUE(modem.WaitForEvent("COM3", "state", "mode=data", 30s).has_value());
  ASSERT_EQ(::kill(pid_t(process.processId()), SIGINT), 0);
  EXPECT_EQ(Finish(), 130) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_EQ(doc["exitStatus"].toInt(), 130);
  EXPECT_EQ(doc["modemRestored"], QJsonValue(true));
  const sim::PortState after = *modem.State(3);
  EXPECT_FALSE(after.dataMode);
  EXPECT_EQ(testsupport::AsFound(after), testsupport::AsFound(before));
}

TEST_F(Report, SigtermExits143) {
  StartModem();
  CopyList();
  Start({"--report", "--tests", "basic"});
  ASSERT_TRUE(modem.WaitForEvent("COM3", "state", "reg18=00", 30s).has_value());
  process.terminate();
  EXPECT_EQ(Finish(), 143) << err.toStdString();
  EXPECT_TRUE(out.contains("exit status 143")) << out.toStdString();
}

// The modem as it is at power-on, for faults that must match the put-back's own values.
sim::PortState PowerOn() {
  sim::ModemSim probe;
  EXPECT_TRUE(probe.Start({}));
  return probe.State(3).value_or(sim::PortState{});
}

using testsupport::Hex2;

// One thing the modem does not take back, and what the report must then say.
struct NotPutBackCase {
  const char* name;
  std::function<sim::Faults(const sim::PortState& powerOn)> faults;
  QStringList tests;
  const char* hangUpAt;  // the modem goes away once it receives this line; null: never
  const char* what;      // the item named as not put back
  const char* reason;
  // The simulator's state afterwards, for what the modem was really left holding.
  std::function<void(const sim::PortState& after, const sim::PortState& powerOn)> check;
};

void PrintTo(const NotPutBackCase& row, std::ostream* out) { *out << row.name; }

class ReportNotPutBack : public Report, public testing::WithParamInterface<NotPutBackCase> {};

TEST_P(ReportNotPutBack, TheItemIsNamedWithItsReasonAndTheExitStatusIsFour) {
  const NotPutBackCase& row = GetParam();
  const sim::PortState powerOn = PowerOn();
  StartModem({{3, sim::PortKind::kModem, row.faults(powerOn)}});
  CopyList();
  std::thread hangUp;
  if (row.hangUpAt != nullptr) {
    hangUp = std::thread([this, &row] {
      if (modem.WaitForEvent("COM3", "rx", row.hangUpAt, 60s)) modem.HangUp(3);
    });
  }
  Start(QStringList{"--report", "--json", "--tests"} + row.tests);
  const int status = Finish();
  if (hangUp.joinable()) hangUp.join();
  EXPECT_EQ(status, 4) << err.toStdString();
  const QJsonObject doc = Document();
  ExpectDocumentedFields(doc);
  EXPECT_EQ(doc["modemRestored"], QJsonValue(false));
  QJsonObject item;
  for (const QJsonValue& value : doc["putBack"].toArray()) {
    if (value.toObject()["what"].toString() == row.what) item = value.toObject();
  }
  EXPECT_EQ(item["state"].toString(), "not put back") << out.toStdString();
  EXPECT_EQ(item["reason"].toString(), row.reason);
  EXPECT_TRUE(err.contains(QStringLiteral("not put back: ") + row.what)) << err.toStdString();
  if (row.check && row.hangUpAt == nullptr) row.check(*modem.State(3), powerOn);
}

sim::Faults Refusing(const std::string& command) {
  sim::Faults faults;
  faults.errorCommands = {command};
  return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Ledger, ReportNotPutBack,
    testing::Values(NotPutBackCase{"RegisterWriteError",
                                   [](const sim::PortState& p) {
                                     return Refusing("%T21,18," + Hex2(p.reg18));
                                   },
                                   {"basic"},
                                   nullptr,
                                   "register 18",
                                   "ERROR",
                                   [](const sim::PortState& after, const sim::PortState&) {
                                     EXPECT_EQ(after.reg18, 0) << "the test value stayed";
                                   }},
                    NotPutBackCase{"CountryWriteError",
                                   [](const sim::PortState& p) {
                                     char code[8];
                                     std::snprintf(code, sizeof code, "%02d", p.countryCode);
                                     return Refusing(std::string("%T19,0,") + code);
                                   },
                                   {"basic"},
                                   nullptr,
                                   "the country",
                                   "ERROR",
                                   [](const sim::PortState& after, const sim::PortState&) {
                                     EXPECT_EQ(after.countryCode, 19) << "left at North America";
                                   }},
                    NotPutBackCase{"HangUpError",
                                   [](const sim::PortState&) { return Refusing("H"); },
                                   {"speaker", "--answer-speaker", "yes"},
                                   nullptr,
                                   "the hook",
                                   "ERROR",
                                   nullptr},
                    NotPutBackCase{"EndOfTestModeUnanswered",
                                   [](const sim::PortState&) {
                                     sim::Faults faults;
                                     faults.muteCommands = {"&T0"};
                                     return faults;
                                   },
                                   {"basic"},
                                   nullptr,
                                   "the loopback test mode",
                                   "no answer",
                                   nullptr},
                    NotPutBackCase{"DeviceLostDuringThePutBack",
                                   [](const sim::PortState&) { return sim::Faults{}; },
                                   {"speaker", "--answer-speaker", "yes"},
                                   "atH",
                                   "the command settings",
                                   "the device was lost",
                                   nullptr}),
    [](const testing::TestParamInfo<NotPutBackCase>& info) {
      return std::string(info.param.name);
    });

// Three signals at once while the put-back waits on a write: the first stops the run, the second
// abandons the put-back, the third changes nothing more. The document still comes, the items
// left are named on standard error, and the status says the modem was not put back.
TEST_F(Report, AThirdSignalDuringThePutBackStillEndsWithTheDocumentAndStatusFour) {
  const sim::PortState powerOn = PowerOn();
  sim::Faults faults;
  faults.muteCommands = {"%T21,2A," + Hex2(powerOn.reg2A)};
  StartModem({{3, sim::PortKind::kModem, faults}});
  CopyList();
  Start({"--report", "--tests", "basic", "--json"});
  ASSERT_TRUE(modem.WaitForEvent("COM3", "rx", "at%T21,2A," + Hex2(powerOn.reg2A), 60s));
  // Three different signals: a second of one kind still pending would be merged into the first.
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
    ASSERT_EQ(::kill(pid_t(process.processId()), signalNumber), 0);
  EXPECT_EQ(Finish(), 4) << err.toStdString();
  const QJsonObject doc = Document();
  EXPECT_EQ(doc["exitStatus"].toInt(), 4);
  EXPECT_EQ(doc["modemRestored"], QJsonValue(false));
  EXPECT_TRUE(err.contains(QStringLiteral("not put back: register 2A"))) << err.toStdString();
}

// A crash after the test values went out leaves the journal; the next run of the same modem puts
// them back before it reads its own snapshot, says so, and removes the journal.
TEST_F(Report, AJournalLeftByAKilledRunIsPutBackByTheNextRun) {
  StartModem();
  CopyList();
  env.insert("XDG_STATE_HOME", runtime.filePath("state"));
  const sim::PortState before = *modem.State(3);
  Start({"--report", "--tests", "line", "--line-connected", "yes", "--json"});
  ASSERT_TRUE(modem.WaitForEvent("COM3", "state", "reg20=00", 30s).has_value());
  ASSERT_EQ(::kill(pid_t(process.processId()), SIGKILL), 0);
  EXPECT_EQ(Finish(), -1);
  const sim::PortState killed = *modem.State(3);
  ASSERT_EQ(killed.reg18, 0) << "the killed run left its test values";
  QDir state(runtime.filePath("state/kalvex-modem-diag"));
  ASSERT_EQ(state.entryList({"*.journal"}, QDir::Files).size(), 1);

  Start({"--report", "--json"});
  EXPECT_EQ(Finish(), 0) << err.toStdString();
  const QJsonObject recovered = Document()["recovered"].toObject();
  EXPECT_EQ(recovered["outcome"].toString(), "put-back");
  EXPECT_GE(recovered["items"].toArray().size(), 4) << "at least the four registers";
  EXPECT_EQ(testsupport::AsFound(*modem.State(3)), testsupport::AsFound(before));
  const QJsonArray registers = Document()["modem"].toObject()["registers"].toArray();
  EXPECT_EQ(registers[0].toObject()["value"].toString().toStdString(), Hex2(before.reg18))
      << "the snapshot was taken after the recovery";
  EXPECT_TRUE(state.entryList({"*.journal"}, QDir::Files).isEmpty());
}

// Standard error is a pipe nobody reads any more: the run and the put-back go on and the
// document still comes out.
TEST_F(Report, AClosedStandardErrorNeitherEndsTheRunNorLeavesTheModemChanged) {
  StartModem();
  CopyList();
  const sim::PortState before = *modem.State(3);
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  ::close(pipe[0]);
  process.setChildProcessModifier([fd = pipe[1]] { ::dup2(fd, 2); });
  Start({"--report", "--tests", "basic", "--json"});
  const int status = Finish();
  ::close(pipe[1]);
  EXPECT_EQ(status, 0) << "a broken pipe must not end the tool";
  EXPECT_EQ(Document()["modemRestored"], QJsonValue(true));
  EXPECT_EQ(modem.State(3)->reg2A, before.reg2A);
}

}  // namespace

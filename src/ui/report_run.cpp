#include "ui/report_run.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/line_test.h"
#include "diagnostics/program_run.h"
#include "diagnostics/report_document.h"
#include "diagnostics/report_inputs.h"
#include "diagnostics/result_texts.h"
#include "diagnostics/speaker_test.h"
#include "platform/clock.h"
#include "platform/host_identity.h"
#include "platform/message_pump.h"
#include "platform/standard_error.h"
#include "platform/terminal.h"
#include "platform/termination_signals.h"
#include "platform/visible_text.h"
#include "resources/control_ids.h"
#include "resources/dialog_templates.h"
#include "resources/product.h"
#include "serial/port_names.h"
#include "ui/single_instance.h"

namespace ui {
namespace {

using diagnostics::ReportResult;
using diagnostics::TestOutcome;
using diagnostics::TestResult;

// The line test dialog starts its sequence after this pause; the report keeps the same timing.
constexpr int kLineStartPauseMs = 500;

diagnostics::PromptAnswer FromOption(GivenAnswer answer) {
  return answer == GivenAnswer::kYes ? diagnostics::PromptAnswer::kYes
                                     : diagnostics::PromptAnswer::kNo;
}

// "y" or "yes" in any case, blanks around it ignored; anything else, an empty line included, is
// the default No.
diagnostics::PromptAnswer ParseAnswer(const std::string& line) {
  std::string word;
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r') word += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return word == "y" || word == "yes" ? diagnostics::PromptAnswer::kYes
                                      : diagnostics::PromptAnswer::kNo;
}

// Writes a question on standard error and waits, pumping, for a line on standard input or a
// stop. onSecond, when given, runs once a second meanwhile and says when to stop calling it.
diagnostics::PromptAnswer AskOnTerminal(const diagnostics::Session& session,
                                        const std::string& question,
                                        const std::function<bool()>& onSecond = {}) {
  platform::WriteStandardError(question);
  std::optional<diagnostics::PromptAnswer> answer;
  platform::StandardInputLines input([&answer](const std::string& line, bool ended) {
    if (answer) return;
    // End of input with nothing typed is a No, as the default is.
    answer = ended && line.empty() ? diagnostics::PromptAnswer::kNo : ParseAnswer(line);
  });
  QTimer seconds;
  seconds.setInterval(1000);
  QObject::connect(&seconds, &QTimer::timeout, [&seconds, &onSecond] {
    // The last tick stops the timer before it waits on the modem, so no tick queues behind it.
    if (!onSecond()) seconds.stop();
  });
  if (onSecond) seconds.start();
  // The question has no time limit: the user answers when they have listened.
  platform::PumpUntil(
      [&answer, &session] { return answer.has_value() || session.stop.Requested(); });
  seconds.stop();
  if (!answer) {
    platform::WriteStandardError("\n");
    return diagnostics::PromptAnswer::kNone;
  }
  return *answer;
}

// The main window, the voice prompt and the line test dialog for a terminal: the texts the runs
// write are kept for the report, questions are asked on the terminal or answered from options.
class TerminalView final : public diagnostics::MainView,
                           public diagnostics::SpeakerPrompt,
                           public diagnostics::LineTestView {
 public:
  TerminalView(const diagnostics::Session& session, const CommandLine& line, bool progress)
      : session_(session), line_(line), progress_(progress) {}

  void SetItemText(int id, const char* text) override {
    // Detection writes "Detect COMn... " as it starts on each port.
    int port = 0;
    if (id == ids::kLocation && std::sscanf(text, "Detect COM%d", &port) == 1) {
      const std::string name = "COM" + std::to_string(port);
      Progress("Probing " + name + " (" +
               platform::VisibleText(serial::DevicePathFor(name.c_str())) + ")");
    }
  }
  void EnableItem(int id, bool enabled) override { enabled_[id] = enabled; }
  [[nodiscard]] bool IsItemEnabled(int id) const override {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  }
  void StopTimer(int) override {}
  // The report says these itself.
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}
  // A report may run where nobody sits at the machine; it stays quiet.
  void Beep() override {}

  diagnostics::PromptAnswer AskWhileBuzzing(diagnostics::BuzzCounter& counter) override {
    if (line_.answerSpeaker != GivenAnswer::kAsk) return FromOption(line_.answerSpeaker);
    const std::string question = std::string(resources::kSpeakerQuestion) + " [y/N] ";
    return AskOnTerminal(session_, question, [&counter] {
      const bool more = counter.SecondsElapsed() < diagnostics::BuzzCounter::kBuzzSeconds;
      (void)counter.OnSecond();
      return more;
    });
  }

  void SetStatus(const char* text) override {
    if (text != nullptr && *text != '\0') Progress(std::string("  ") + text);
  }
  void SetProgress(int, const char*) override {}
  diagnostics::PromptAnswer AskLineConnected(const char* question, const char*) override {
    if (line_.lineConnected != GivenAnswer::kAsk) return FromOption(line_.lineConnected);
    return AskOnTerminal(session_, std::string(question) + " [y/N] ");
  }

  void Progress(const std::string& text) const {
    if (progress_) platform::WriteStandardError(text + "\n");
  }

 private:
  const diagnostics::Session& session_;
  const CommandLine& line_;
  const bool progress_;
  std::map<int, bool> enabled_;
};

constexpr char kInterrupted[] = "the run was interrupted before this test";

void RunBasic(diagnostics::Session& session, TerminalView& view, ReportResult& result) {
  if (session.stop.Requested()) {
    for (const diagnostics::TestIdentity& test : diagnostics::kTests) {
      if (std::string_view(test.group) == diagnostics::kBasicFunction.group)
        result.tests.push_back(diagnostics::NotRun(test.reportName, kInterrupted));
    }
    return;
  }
  view.Progress("Running the basic function test, then the digital and analog loopback tests");
  for (TestResult& test : diagnostics::RunDiagnosticTests(session, view))
    result.tests.push_back(std::move(test));
}

void RunSpeaker(diagnostics::Session& session, TerminalView& view, const CommandLine& line,
                ReportResult& result) {
  if (session.stop.Requested()) {
    result.tests.push_back(diagnostics::NotRun(diagnostics::kSpeaker.reportName, kInterrupted));
    return;
  }
  if (line.answerSpeaker == GivenAnswer::kAsk && !platform::StandardInputIsTerminal()) {
    result.tests.push_back(diagnostics::NotRun(
        diagnostics::kSpeaker.reportName,
        "no terminal on standard input to ask whether the buzz was heard; give --answer-speaker "
        "yes or no"));
    return;
  }
  view.Progress("Running the speaker test");
  result.tests.push_back(diagnostics::RunSpeakerTest(session, view, view));
}

void RunLine(diagnostics::Session& session, TerminalView& view, const CommandLine& line,
             ReportResult& result) {
  if (session.stop.Requested()) {
    result.tests.push_back(diagnostics::NotRun(diagnostics::kLine.reportName, kInterrupted));
    return;
  }
  // The question comes only when the dial gets no "NO CARRIER", but a run that may have to ask
  // and cannot must not start and then guess.
  if (line.lineConnected == GivenAnswer::kAsk && !platform::StandardInputIsTerminal()) {
    result.tests.push_back(diagnostics::NotRun(
        diagnostics::kLine.reportName,
        "no terminal on standard input to ask whether a line is connected; give "
        "--line-connected yes or no"));
    return;
  }
  view.Progress("Running the line test");
  platform::DelayPumping(kLineStartPauseMs);
  result.tests.push_back(diagnostics::RunLineTestSequence(session, view, view));
}

void FillModem(const diagnostics::Session& session, const diagnostics::DetectionResult& found,
               ReportResult& result) {
  result.portsTried = found.verdicts;
  if (found.comNumber == 0) return;
  diagnostics::ReportModem modem;
  modem.comName = found.comName;
  modem.devicePath = found.devicePath;
  modem.i3Line = found.i3Line;
  modem.i3Cut = found.i3Cut;
  modem.firmware = found.firmware;
  modem.country = found.country;
  modem.registers = diagnostics::SnapshotRegisters(session);
  result.modem = modem;
}

void Output(ReportResult& result, bool json, int64_t startMs) {
  result.durationMs = platform::NowMs() - startMs;
  if (json) {
    const QByteArray document = diagnostics::ReportJson(result);
    std::fwrite(document.constData(), 1, size_t(document.size()), stdout);
  } else {
    std::fputs(diagnostics::ReportSummary(result).c_str(), stdout);
  }
  std::fflush(stdout);
}

// A run that cannot run: the reason on standard error, and with --json its document as well,
// so a fleet's every host answers with one.
int Refuse(const CommandLine& line, int64_t startMs, const char* kind, const std::string& message,
           int status) {
  platform::WriteStandardError(std::string(product::kProgramName) + ": " + message + "\n");
  if (line.json) WriteReportError(kind, message, status, startMs);
  return status;
}

}  // namespace

diagnostics::ReportResult ReportIdentity(int64_t startMs) {
  ReportResult result;
  result.toolVersion = KALVEX_VERSION;
  const int64_t nowMs = platform::NowMs();
  result.started = QDateTime::currentDateTimeUtc().addMSecs(startMs - nowMs);
  result.durationMs = nowMs - startMs;
  result.hostName = platform::HostName();
  result.machineId = platform::MachineId();
  return result;
}

void WriteReportError(const char* kind, const std::string& message, int status, int64_t startMs) {
  const QByteArray document =
      diagnostics::ReportErrorJson(ReportIdentity(startMs), kind, message, status);
  std::fwrite(document.constData(), 1, size_t(document.size()), stdout);
  std::fflush(stdout);
}

int RunReport(int argc, char** argv, const CommandLine& line, int64_t startMs) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(KALVEX_VERSION));
  // Held until the program ends: two copies would take turns on one modem's registers.
  platform::InstanceLock instance;
  if (!ClaimSingleInstance(instance, false)) {
    // ClaimSingleInstance has said so on standard error.
    if (line.json)
      WriteReportError("already-running", kAlreadyRunning, kExitAlreadyRunning, startMs);
    return kExitAlreadyRunning;
  }
  diagnostics::Session session;
  std::string transcriptError;
  if (!line.transcriptPath.empty() &&
      !diagnostics::OpenTranscript(session, line.transcriptPath.c_str(), startMs,
                                   &transcriptError)) {
    return Refuse(line, startMs, "transcript",
                  "cannot write the transcript " + platform::VisibleText(line.transcriptPath) +
                      ": " + transcriptError,
                  kExitCannotCreate);
  }
  platform::AttachUiWakeup();

  int stoppedBy = 0;
  platform::TerminationSignalWatch signalWatch([&stoppedBy, &session](int signalNumber) {
    if (stoppedBy == 0) {
      stoppedBy = signalNumber;
      diagnostics::StopRun(session);
      return;
    }
    // Asked twice: the user will not wait for the modem to be put back.
    diagnostics::StopRun(session, true);
  });

  ReportResult result = ReportIdentity(startMs);
  TerminalView view(session, line, platform::StandardErrorIsTerminal());

  std::string details;
  if (!diagnostics::FindIdentificationList(view, &details)) {
    platform::WriteStandardError(std::string(product::kProgramName) +
                                 ": the identification list ati3.dat is missing or unreadable.\n" +
                                 details + "\n");
    result.listMissing = true;
    result.transcript = diagnostics::TranscriptForReport(session);
    Output(result, line.json, startMs);
    return diagnostics::ReportExitStatus(result);
  }

  diagnostics::NoteIdentificationListUsed(view, result);
  const diagnostics::DetectionResult found = diagnostics::DetectModem(session, view);
  FillModem(session, found, result);
  if (result.modem) {
    view.Progress("Found the modem on " + result.modem->comName);
    if (line.Runs(diagnostics::kBasicFunction)) RunBasic(session, view, result);
    if (line.Runs(diagnostics::kSpeaker)) RunSpeaker(session, view, line, result);
    if (line.Runs(diagnostics::kLine)) RunLine(session, view, line, result);
    if (!session.ledger.Changes().empty())
      view.Progress("Putting back what the tests changed and checking it");
    diagnostics::FinishProgramRun(session);
    result.putBack = diagnostics::PutBackItems(session);
    result.journals = diagnostics::FoundJournals(session);
  }
  diagnostics::ClosePort(session);
  for (const std::string& item : diagnostics::NotPutBack(session))
    platform::WriteStandardError(std::string(product::kProgramName) + ": not put back: " + item +
                                 "\n");
  result.transcript = diagnostics::TranscriptForReport(session);
  result.interruptedBy = stoppedBy;
  Output(result, line.json, startMs);
  // From here a signal has nothing left to stop.
  signalWatch.Hear([](int) {});
  return diagnostics::ReportExitStatus(result);
}

}  // namespace ui

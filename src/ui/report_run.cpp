#include "ui/report_run.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/diagnostic_run.h"
#include "diagnostics/exit_status.h"
#include "diagnostics/line_test.h"
#include "diagnostics/program_run.h"
#include "diagnostics/report_document.h"
#include "diagnostics/report_inputs.h"
#include "diagnostics/result_texts.h"
#include "diagnostics/speaker_test.h"
#include "platform/clock.h"
#include "platform/host_identity.h"
#include "platform/standard_error.h"
#include "platform/terminal.h"
#include "platform/termination_signals.h"
#include "resources/dialog_templates.h"
#include "resources/product.h"
#include "serial/visible_text.h"
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
diagnostics::PromptAnswer AskOnTerminal(diagnostics::Session& session, const std::string& question,
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
  session.waits.Until(
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
  TerminalView(diagnostics::Session& session, const CommandLine& line, bool progress)
      : session_(session), line_(line), progress_(progress) {}

  void ShowProbe(int comNumber, modem::ProbeStep step) override {
    if (step != modem::ProbeStep::kDetect) return;
    const std::string name = "COM" + std::to_string(comNumber);
    Progress("Probing " + name + " (" +
             serial::VisibleText(session_.ports.DevicePathFor(name.c_str())) + ")");
  }
  // The report gives the modem and the results from what the runs return, and says these
  // itself. It leaves the beep out: a report may run where nobody sits at the machine.
  void ShowNotFound(const char*) override {}
  void ShowListMissing(const char*) override {}

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
  diagnostics::PromptAnswer AskLineConnected(const char* question, const char*) override {
    if (line_.lineConnected != GivenAnswer::kAsk) return FromOption(line_.lineConnected);
    return AskOnTerminal(session_, std::string(question) + " [y/N] ");
  }

  void Progress(const std::string& text) const {
    if (progress_) platform::WriteStandardError(text + "\n");
  }

 private:
  diagnostics::Session& session_;
  const CommandLine& line_;
  const bool progress_;
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
  session.waits.Delay(kLineStartPauseMs);
  result.tests.push_back(diagnostics::RunLineTestSequence(session, view, view));
}

void FillModem(const diagnostics::Session& session, const diagnostics::DetectionResult& found,
               ReportResult& result) {
  result.portsTried = found.verdicts;
  result.untried = found.untried;
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

// The one way a document reaches standard output.
void WriteDocument(const std::string& document) {
  std::fwrite(document.data(), 1, document.size(), stdout);
  std::fflush(stdout);
}

// A run that cannot run: its kind, what to tell the user and its exit status.
struct Refusal {
  const char* kind;
  std::string message;
  int status;
  bool said = false;  // already on standard error
};

// The report's run, one named step after another. A step that ends the run early leaves a
// refusal or returns false; Finish then writes the run's one document and gives the status.
class ReportSteps {
 public:
  ReportSteps(const CommandLine& line, int64_t startMs, const serial::PortMap& ports)
      : line_(line),
        startMs_(startMs),
        result_(ReportIdentity(startMs)),
        view_(session_, line, platform::StandardErrorIsTerminal()) {
    session_.ports = ports;
  }

  // Held until the program ends: two copies would take turns on one modem's registers.
  bool ClaimTheOnlyCopy() {
    if (ClaimSingleInstance(instance_, false)) {
      // Only a start that may run reads a file of the user's.
      LoadPortsConfigSayingProblems(session_.ports);
      return true;
    }
    // ClaimSingleInstance has said so on standard error.
    refusal_ = Refusal{"already-running", kAlreadyRunning, kExitAlreadyRunning, true};
    return false;
  }

  bool OpenTheTranscript() {
    std::string error;
    if (line_.transcriptPath.empty() ||
        diagnostics::OpenTranscript(session_, line_.transcriptPath.c_str(), startMs_, &error))
      return true;
    refusal_ = Refusal{
        "transcript",
        "cannot write the transcript " + serial::VisibleText(line_.transcriptPath) + ": " + error,
        kExitCannotCreate};
    return false;
  }

  // A first signal stops the run, which still puts the modem back; a second cuts that short.
  void WatchSignals() {
    session_.waits.Attach();
    signalWatch_.emplace([this](int signalNumber) {
      if (stoppedBy_ == 0) {
        stoppedBy_ = signalNumber;
        diagnostics::StopRun(session_);
        return;
      }
      // Asked twice: the user will not wait for the modem to be put back.
      diagnostics::StopRun(session_, true);
    });
    diagnostics::SayWhetherSignalsWatched(*signalWatch_);
  }

  bool FindTheList() {
    std::string details;
    if (diagnostics::FindIdentificationList(view_, &details)) {
      diagnostics::NoteIdentificationListUsed(view_, result_);
      return true;
    }
    platform::WriteStandardError(std::string(product::kProgramName) +
                                 ": the identification list ati3.dat is missing or unreadable.\n" +
                                 details + "\n");
    result_.listMissing = true;
    return false;
  }

  bool DetectTheModem() {
    FillModem(session_, diagnostics::DetectModem(session_, view_), result_);
    if (!result_.modem) return false;
    view_.Progress("Found the modem on " + result_.modem->comName);
    return true;
  }

  void RunTheTests() {
    if (line_.Runs(diagnostics::kBasicFunction)) RunBasic(session_, view_, result_);
    if (line_.Runs(diagnostics::kSpeaker)) RunSpeaker(session_, view_, line_, result_);
    if (line_.Runs(diagnostics::kLine)) RunLine(session_, view_, line_, result_);
  }

  void PutTheModemBack() {
    if (!session_.ledger.Changes().empty())
      view_.Progress("Putting back what the tests changed and checking it");
    diagnostics::FinishProgramRun(session_);
    result_.putBack = diagnostics::PutBackItems(session_);
    result_.journals = diagnostics::FoundJournals(session_);
  }

  void ClosePort() {
    diagnostics::ClosePort(session_);
    for (const std::string& item : diagnostics::NotPutBack(session_))
      platform::WriteStandardError(std::string(product::kProgramName) + ": not put back: " + item +
                                   "\n");
  }

  // Writes the run's document (with --json, also a refusal's) and returns the exit status.
  int Finish() {
    // From here a signal has nothing left to stop.
    if (signalWatch_) signalWatch_->Hear([](int) {});
    if (refusal_) {
      if (!refusal_->said)
        platform::WriteStandardError(std::string(product::kProgramName) + ": " + refusal_->message +
                                     "\n");
      if (line_.json)
        WriteReportError(refusal_->kind, refusal_->message, refusal_->status, startMs_);
      return refusal_->status;
    }
    result_.transcript = diagnostics::TranscriptForReport(session_);
    result_.interruptedBy = stoppedBy_;
    result_.durationMs = platform::NowMs() - startMs_;
    if (line_.json) {
      const QByteArray document = diagnostics::ReportJson(result_);
      WriteDocument(std::string(document.constData(), size_t(document.size())));
    } else {
      WriteDocument(diagnostics::ReportSummary(result_));
    }
    return diagnostics::ReportExitStatus(result_);
  }

 private:
  const CommandLine& line_;
  const int64_t startMs_;
  platform::InstanceLock instance_;
  diagnostics::Session session_;
  ReportResult result_;
  TerminalView view_;
  std::optional<Refusal> refusal_;
  int stoppedBy_ = 0;
  std::optional<platform::TerminationSignalWatch> signalWatch_;
};

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
  WriteDocument(std::string(document.constData(), size_t(document.size())));
}

void LoadPortsConfigSayingProblems(serial::PortMap& ports) {
  for (const std::string& problem : diagnostics::LoadPortsConfig(ports))
    platform::WriteStandardError(std::string(product::kProgramName) + ": " + problem + "\n");
}

int RunReport(int argc, char** argv, const CommandLine& line, int64_t startMs,
              const serial::PortMap& ports) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(KALVEX_VERSION));
  ReportSteps run(line, startMs, ports);
  if (run.ClaimTheOnlyCopy() && run.OpenTheTranscript()) {
    run.WatchSignals();
    if (run.FindTheList()) {
      if (run.DetectTheModem()) {
        run.RunTheTests();
        run.PutTheModemBack();
      }
      run.ClosePort();
    }
  }
  return run.Finish();
}

}  // namespace ui

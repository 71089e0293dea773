#include "ui/report_run.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "diagnostics/line_test.h"
#include "diagnostics/report_document.h"
#include "diagnostics/report_steps.h"
#include "diagnostics/result_texts.h"
#include "diagnostics/speaker_test.h"
#include "diagnostics/test_runs.h"
#include "platform/clock.h"
#include "platform/device_name.h"
#include "platform/dialog_template.h"
#include "platform/message_pump.h"
#include "platform/terminal.h"
#include "platform/termination_signals.h"
#include "platform/visible_text.h"
#include "resources/control_ids.h"
#include "ui/single_instance.h"

namespace ui {
namespace {

using diagnostics::ReportResult;
using diagnostics::ReportTest;
using diagnostics::TestOutcome;

constexpr char kSpeakerQuestion[] =
    "Did you hear a buzzing sound come from your Laptop speakers? [y/N] ";
// The line test dialog starts its sequence after this pause; the report keeps the same timing.
constexpr int kLineStartPauseMs = 500;

diagnostics::Answer FromOption(Answer answer) {
  return answer == Answer::kYes ? diagnostics::Answer::kYes : diagnostics::Answer::kNo;
}

// "y" or "yes" in any case, blanks around it ignored; anything else, an empty line included, is
// the default No.
diagnostics::Answer ParseAnswer(const std::string& line) {
  std::string word;
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r') word += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return word == "y" || word == "yes" ? diagnostics::Answer::kYes : diagnostics::Answer::kNo;
}

// Writes a question on standard error and waits, pumping, for a line on standard input or a
// stop. onSecond, when given, runs once a second meanwhile and says when to stop calling it.
diagnostics::Answer AskOnTerminal(const std::string& question,
                                  const std::function<bool()>& onSecond = {}) {
  platform::WriteStandardError(question);
  std::optional<diagnostics::Answer> answer;
  platform::StandardInputLines input([&answer](const std::string& line, bool ended) {
    if (answer) return;
    // End of input with nothing typed is a No, as the default is.
    answer = ended && line.empty() ? diagnostics::Answer::kNo : ParseAnswer(line);
  });
  QTimer seconds;
  seconds.setInterval(1000);
  QObject::connect(&seconds, &QTimer::timeout, [&seconds, &onSecond] {
    // The last tick stops the timer before it waits on the modem, so no tick queues behind it.
    if (!onSecond()) seconds.stop();
  });
  if (onSecond) seconds.start();
  // The question has no time limit: the user answers when they have listened.
  platform::PumpUntil([&answer] { return answer.has_value() || diagnostics::RunStopRequested(); });
  seconds.stop();
  if (!answer) {
    platform::WriteStandardError("\n");
    return diagnostics::Answer::kNone;
  }
  return *answer;
}

// The main window, the voice prompt and the line test dialog for a terminal: the texts the runs
// write are kept for the report, questions are asked on the terminal or answered from options.
class TerminalView final : public diagnostics::MainView,
                           public diagnostics::SpeakerPrompt,
                           public diagnostics::LineTestView {
 public:
  TerminalView(const CommandLine& line, bool progress) : line_(line), progress_(progress) {}

  void SetItemText(int id, const char* text) override {
    texts_[id] = text;
    changedMs_[id] = platform::NowMs();
    // Detection writes "Detect COMn... " as it starts on each port.
    int port = 0;
    if (id == ids::kLocation && std::sscanf(text, "Detect COM%d", &port) == 1) {
      const std::string name = "COM" + std::to_string(port);
      Progress("Probing " + name + " (" +
               platform::VisibleText(platform::DevicePathFor(name.c_str())) + ")");
    }
  }
  void EnableItem(int id, bool enabled) override { enabled_[id] = enabled; }
  [[nodiscard]] bool IsItemEnabled(int id) const override {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  }
  void StopTimer(int) override {}
  // The only boxes the runs show say that no modem was found, which the report says itself.
  int ShowMessageBox(const char*, const char*, unsigned, const char*) override {
    return platform::kIdOk;
  }
  // A report may run where nobody sits at the machine; it stays quiet.
  void Beep() override {}
  [[nodiscard]] QWidget* Window() override { return nullptr; }

  diagnostics::Answer AskWhileBuzzing(diagnostics::BuzzCounter& counter) override {
    if (line_.answerSpeaker != Answer::kAsk) return FromOption(line_.answerSpeaker);
    return AskOnTerminal(kSpeakerQuestion, [&counter] {
      const bool more = counter.SecondsElapsed() < diagnostics::BuzzCounter::kBuzzSeconds;
      (void)counter.OnSecond();
      return more;
    });
  }

  void SetStatus(const char* text) override {
    if (text != nullptr && *text != '\0') Progress(std::string("  ") + text);
  }
  void SetProgress(int, const char*) override {}
  diagnostics::Answer AskLineConnected(const char* question, const char*) override {
    if (line_.lineConnected != Answer::kAsk) return FromOption(line_.lineConnected);
    return AskOnTerminal(std::string(question) + " [y/N] ");
  }

  [[nodiscard]] std::string Text(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
  }
  [[nodiscard]] int64_t ChangedMs(int id) const {
    auto it = changedMs_.find(id);
    return it == changedMs_.end() ? 0 : it->second;
  }
  void Progress(const std::string& text) const {
    if (progress_) platform::WriteStandardError(text + "\n");
  }

 private:
  const CommandLine& line_;
  const bool progress_;
  std::map<int, std::string> texts_;
  std::map<int, int64_t> changedMs_;
  std::map<int, bool> enabled_;
};

// A test that ran from startMs to endMs; a failed one names the first command that timed out
// meanwhile and what came back instead.
ReportTest MakeTest(const char* name, const std::string& resultText, int64_t startMs,
                    int64_t endMs) {
  ReportTest test;
  test.name = name;
  test.resultText = resultText;
  test.durationMs = endMs < startMs ? 0 : endMs - startMs;
  const bool passed = resultText == diagnostics::kResultPassed ||
                      resultText == diagnostics::kResultPassedAfterRetry;
  test.outcome = passed ? TestOutcome::kPassed : TestOutcome::kFailed;
  if (!passed) {
    if (auto failed = diagnostics::FirstTimeOutBetween(startMs, endMs)) {
      test.failedCommand = failed->command;
      test.failedResponse = failed->response;
    }
  }
  return test;
}

ReportTest Skipped(const char* name, const std::string& reason) {
  ReportTest test;
  test.name = name;
  test.outcome = TestOutcome::kSkipped;
  test.skipReason = reason;
  return test;
}

constexpr char kInterrupted[] = "the run was interrupted before this test";

void RunBasic(TerminalView& view, ReportResult& result) {
  if (diagnostics::RunStopRequested()) {
    for (const char* name : {"basic-function", "digital-loopback", "analog-loopback"})
      result.tests.push_back(Skipped(name, kInterrupted));
    return;
  }
  view.Progress("Running the basic function test, then the digital and analog loopback tests");
  const int64_t start = platform::NowMs();
  diagnostics::RunDiagnosticTests(view);
  // Each result is written as its test ends, and each test starts where the one before ended.
  const int64_t basicEnd = view.ChangedMs(ids::kBasicResult);
  const int64_t digitalEnd = view.ChangedMs(ids::kDigitalResult);
  const int64_t analogEnd = view.ChangedMs(ids::kAnalogResult);
  result.tests.push_back(MakeTest("basic-function", view.Text(ids::kBasicResult), start, basicEnd));
  result.tests.push_back(
      MakeTest("digital-loopback", view.Text(ids::kDigitalResult), basicEnd, digitalEnd));
  result.tests.push_back(
      MakeTest("analog-loopback", view.Text(ids::kAnalogResult), digitalEnd, analogEnd));
}

void RunSpeaker(TerminalView& view, const CommandLine& line, ReportResult& result) {
  if (diagnostics::RunStopRequested()) {
    result.tests.push_back(Skipped("speaker", kInterrupted));
    return;
  }
  if (line.answerSpeaker == Answer::kAsk && !platform::StandardInputIsTerminal()) {
    result.tests.push_back(Skipped("speaker",
                                   "no terminal on standard input to ask whether the buzz was "
                                   "heard; give --answer-speaker yes or no"));
    return;
  }
  view.Progress("Running the speaker test");
  const int64_t start = platform::NowMs();
  diagnostics::RunSpeakerTest(view, view);
  result.tests.push_back(
      MakeTest("speaker", view.Text(ids::kSpeakerResult), start, platform::NowMs()));
}

void RunLine(TerminalView& view, const CommandLine& line, ReportResult& result) {
  if (diagnostics::RunStopRequested()) {
    result.tests.push_back(Skipped("line", kInterrupted));
    return;
  }
  // The question comes only when the dial gets no "NO CARRIER", but a run that may have to ask
  // and cannot must not start and then guess.
  if (line.lineConnected == Answer::kAsk && !platform::StandardInputIsTerminal()) {
    result.tests.push_back(Skipped("line",
                                   "no terminal on standard input to ask whether a line is "
                                   "connected; give --line-connected yes or no"));
    return;
  }
  view.Progress("Running the line test");
  const int64_t start = platform::NowMs();
  platform::DelayPumping(kLineStartPauseMs);
  diagnostics::RunLineTestSequence(view, view);
  result.tests.push_back(MakeTest("line", view.Text(ids::kLineResult), start, platform::NowMs()));
}

void FillModem(const TerminalView& view, ReportResult& result) {
  result.portsTried = view.portVerdicts;
  if (view.detectedPort == 0) return;
  diagnostics::ReportModem found;
  found.comName = "COM" + std::to_string(view.detectedPort);
  // Detection's last verdict is the port where it found the modem.
  if (!result.portsTried.empty()) {
    found.devicePath = result.portsTried.back().devicePath;
    found.i3Line = result.portsTried.back().i3Line;
  }
  found.firmware = view.Text(ids::kFirmware);
  found.country = view.Text(ids::kCountry);
  found.registers = diagnostics::SnapshotRegisters();
  result.modem = found;
}

void Output(const ReportResult& result, bool json) {
  if (json) {
    const QByteArray document = diagnostics::ReportJson(result);
    std::fwrite(document.constData(), 1, size_t(document.size()), stdout);
  } else {
    std::fputs(diagnostics::ReportSummary(result).c_str(), stdout);
  }
  std::fflush(stdout);
}

}  // namespace

int RunReport(int argc, char** argv, const CommandLine& line, int64_t startMs) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(KALVEX_VERSION));
  // Held until the program ends: two copies would take turns on one modem's registers.
  platform::InstanceLock instance;
  if (!ClaimSingleInstance(instance, false)) return 1;
  std::string transcriptError;
  if (!line.transcriptPath.empty() &&
      !diagnostics::OpenTranscript(line.transcriptPath.c_str(), startMs, &transcriptError)) {
    platform::WriteStandardError("kalvex-modem-diag: cannot write the transcript " +
                                 platform::VisibleText(line.transcriptPath) + ": " +
                                 transcriptError + "\n");
    return 1;
  }
  platform::AttachUiWakeup();

  int stoppedBy = 0;
  platform::WatchTerminationSignals([&stoppedBy](int signalNumber) {
    if (stoppedBy == 0) {
      stoppedBy = signalNumber;
      diagnostics::StopRun();
      return;
    }
    // Asked twice: the user will not wait for the modem to be put back.
    diagnostics::StopRun(true);
  });

  ReportResult result;
  result.toolVersion = KALVEX_VERSION;
  // With its offset from UTC, so a fleet's documents compare across time zones.
  const QDateTime now = QDateTime::currentDateTime();
  result.started = now.toOffsetFromUtc(now.offsetFromUtc());
  TerminalView view(line, platform::StandardErrorIsTerminal());

  std::string details;
  if (!diagnostics::FindIdentificationList(view, &details)) {
    platform::WriteStandardError(
        "kalvex-modem-diag: the identification list ati3.dat is missing "
        "or unreadable.\n" +
        details + "\n");
    result.listMissing = true;
    result.transcript = diagnostics::TranscriptForReport();
    Output(result, line.json);
    return diagnostics::ReportExitStatus(result);
  }

  diagnostics::NoteIdentificationListUsed(view, result);
  diagnostics::DetectModem(view);
  FillModem(view, result);
  if (result.modem) {
    view.Progress("Found the modem on " + result.modem->comName);
    if (line.testBasic) RunBasic(view, result);
    if (line.testSpeaker) RunSpeaker(view, line, result);
    if (line.testLine) RunLine(view, line, result);
    bool ranAny = false;
    for (const ReportTest& test : result.tests)
      ranAny = ranAny || test.outcome != TestOutcome::kSkipped;
    if (ranAny) {
      view.Progress("Checking that the modem holds its registers as found");
      result.modemRestored = diagnostics::CheckRegistersRestored(&result.differing);
    }
  }
  diagnostics::ClosePort();
  result.transcript = diagnostics::TranscriptForReport();
  result.interruptedBy = stoppedBy;
  Output(result, line.json);
  // From here a signal has nothing left to stop.
  platform::WatchTerminationSignals([](int) {});
  return diagnostics::ReportExitStatus(result);
}

}  // namespace ui

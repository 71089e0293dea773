#include "diagnostics/line_test.h"

#include <cstring>
#include <iterator>

#include "diagnostics/result_texts.h"
#include "modem/put_back.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"

namespace diagnostics {
namespace {

constexpr int kDialTimeoutSeconds = 10;
constexpr int kHangUpPauseMs = 1000;

// What each command's "OK" moves on: the bar, and where given the status and percentage texts.
struct LineProgress {
  int position;
  const char* status;   // null: unchanged
  const char* percent;  // null: unchanged
};

// After each register test value, 18, 29, 2A and 20 in that order.
constexpr LineProgress kRegisterProgress[modem::kSnapshotRegisters] = {
    {10, nullptr, nullptr},
    {20, nullptr, nullptr},
    {40, nullptr, nullptr},
    {50, " 50 % Passing... Please Wait...", "50 %"},
};

struct LineCommand {
  const char* command;
  LineProgress progress;
};

constexpr LineCommand kCommands[] = {
    {"X4", {70, nullptr, nullptr}},
    {"S7=1", {80, "Detecting line connection...Please Wait...", "80 %"}},
};

constexpr char kQuestion[] =
    "Line connection is not detected in your system. Did you have line connected ?";
constexpr char kQuestionCaption[] = "Connect ?";

enum class Outcome { kPassed, kFailure, kNotConnected };

void ShowProgress(LineTestView& view, const LineProgress& progress) {
  view.SetProgress(progress.position, progress.percent);
  if (progress.status != nullptr) view.SetStatus(progress.status);
}

// A dial's final result codes: after any of them the modem has hung up by itself.
constexpr const char* kDialEnds[] = {"NO CARRIER", "NO DIALTONE", "BUSY", "NO ANSWER", "ERROR"};

// True when "NO CARRIER" ended the dial in time. The dial is entered in the ledger as off-hook
// until the modem says it has ended it; one that is still going is ended by the put-back.
bool Dial(TestRecorder& test) {
  modem::Session& session = test.Session();
  modem::Change dial;
  dial.kind = modem::ChangeKind::kOffHook;
  dial.dialling = true;
  dial.now = "dialling";
  const bool noCarrier = test.ChangeStep(dial, "DT1", "NO CARRIER", kDialTimeoutSeconds);
  bool ended = noCarrier;
  if (!noCarrier && session.lastTimeOut) {
    for (const char* end : kDialEnds)
      ended |= std::strstr(session.lastTimeOut->lastLine.c_str(), end) != nullptr;
  }
  if (ended) session.ledger.Confirm(modem::ChangeKind::kOffHook);
  return noCarrier;
}

Outcome RunCommands(TestRecorder& test, LineTestView& view) {
  const RegisterWrites writes = WriteRegisterTestValues(
      test, [&view](int slot) { ShowProgress(view, kRegisterProgress[slot]); });
  if (writes == RegisterWrites::kTimedOut) return Outcome::kFailure;
  modem::Change commandSet;
  commandSet.kind = modem::ChangeKind::kCommandSet;
  for (const LineCommand& step : kCommands) {
    if (!test.ChangeStep(commandSet, step.command, "OK")) return Outcome::kFailure;
    ShowProgress(view, step.progress);
  }
  const bool noCarrier = Dial(test);
  // A register left at its own value was not tested: whatever the line did, no pass, and no
  // question whose answer could not change that.
  if (writes != RegisterWrites::kAllWritten) return Outcome::kFailure;
  if (noCarrier) return Outcome::kPassed;
  if (test.Session().stop.Requested()) return Outcome::kFailure;
  PromptAnswer answer = view.AskLineConnected(kQuestion, kQuestionCaption);
  return answer == PromptAnswer::kYes ? Outcome::kFailure : Outcome::kNotConnected;
}

// Shows the outcome in the line test dialog; the result text.
const char* ShowOutcome(modem::Session& session, LineTestView& view, Outcome outcome) {
  switch (outcome) {
    case Outcome::kPassed:
      view.SetProgress(100, nullptr);
      view.SetStatus("Hang Up line...Please wait...");
      view.SetProgress(100, "100 %");
      modem::Pause(session, kHangUpPauseMs);
      view.SetStatus("Passed !");
      return kResultPassed;
    case Outcome::kFailure: view.SetStatus(kResultFailure); return kResultFailure;
    case Outcome::kNotConnected:
      view.SetStatus("Not Connected. Please connect line and try again.");
      return kResultNotConnected;
  }
  return kResultFailure;
}

}  // namespace

TestResult RunLineTestSequence(modem::Session& session, MainView& main, LineTestView& view) {
  if (session.stop.Requested()) return NotRun(kLine.reportName, kStoppedBeforeItBegan);
  TestRecorder test(session, kLine.reportName);
  const Outcome outcome = RunCommands(test, view);
  const char* text = ShowOutcome(session, view, outcome);
  TestResult result = test.Finish(outcome == Outcome::kPassed, text);
  main.ShowResult(kLine, result);
  if (!session.stop.Requested()) main.Beep();
  view.SetProgress(100, "100 %");
  (void)modem::PutModemBack(session, modem::PutBackStage::kEndOfRun);
  return result;
}

}  // namespace diagnostics

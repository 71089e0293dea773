#include "diagnostics/line_test.h"

#include "diagnostics/result_texts.h"
#include "modem/register_snapshot.h"
#include "modem/safe_state.h"
#include "modem/transaction.h"
#include "resources/control_ids.h"

namespace diagnostics {
namespace {

constexpr int kCommandTimeoutSeconds = 3;
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

// True when "NO CARRIER" ended the dial in time.
bool Dial() {
  if (!modem::StopCutsWaits()) modem::pendingChanges.dialling = true;
  bool noCarrier = modem::Transact("DT1", "NO CARRIER", kDialTimeoutSeconds, 1) != modem::kTimedOut;
  // A dial that ended by itself, or by its time-out, is left as it is; one cut short by a stop
  // is ended and hung up by the put-back.
  if (noCarrier || !modem::StopRequested()) modem::pendingChanges.dialling = false;
  return noCarrier;
}

Outcome RunCommands(LineTestView& view) {
  modem::RereadMissingRegisters();
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    if (!modem::WriteTestValue(slot)) return Outcome::kFailure;
    ShowProgress(view, kRegisterProgress[slot]);
  }
  for (const LineCommand& step : kCommands) {
    if (modem::Transact(step.command, "OK", kCommandTimeoutSeconds, 1) == modem::kTimedOut) {
      return Outcome::kFailure;
    }
    ShowProgress(view, step.progress);
  }
  if (Dial()) return Outcome::kPassed;
  if (modem::StopRequested()) return Outcome::kFailure;
  Answer answer = view.AskLineConnected(kQuestion, kQuestionCaption);
  return answer == Answer::kYes ? Outcome::kFailure : Outcome::kNotConnected;
}

void CarryOut(modem::MainView& main, LineTestView& view, Outcome outcome) {
  switch (outcome) {
    case Outcome::kPassed:
      view.SetProgress(100, nullptr);
      view.SetStatus("Hang Up line...Please wait...");
      view.SetProgress(100, "100 %");
      modem::Pause(kHangUpPauseMs);
      view.SetStatus("Passed !");
      main.SetItemText(ids::kLineResult, kResultPassed);
      break;
    case Outcome::kFailure:
      view.SetStatus(kResultFailure);
      main.SetItemText(ids::kLineResult, kResultFailure);
      break;
    case Outcome::kNotConnected:
      main.SetItemText(ids::kLineResult, kResultNotConnected);
      view.SetStatus("Not Connected. Please connect line and try again.");
      break;
  }
}

}  // namespace

void RunLineTestSequence(modem::MainView& main, LineTestView& view) {
  CarryOut(main, view, RunCommands(view));
  if (!modem::StopRequested()) main.Beep();
  view.SetProgress(100, "100 %");
  (void)modem::PutModemBack(main.detectedPort);
}

}  // namespace diagnostics

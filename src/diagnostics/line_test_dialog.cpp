#include "diagnostics/line_test_dialog.h"

#include <iterator>

#include "diagnostics/test_runs.h"
#include "modem/register_snapshot.h"
#include "modem/transaction.h"
#include "platform/message_box.h"
#include "modem/safe_state.h"
#include "resources/control_ids.h"
#include "resources/dialog_templates.h"

namespace diagnostics {

const platform::MessageMap& LineTestDialog::GetMessageMap() const {
  // The template has no Cancel button: this entry takes Escape and the close box.
  static const platform::MessageMap::Click kClicks[] = {
      {platform::kIdCancel, platform::MapHandler(&LineTestDialog::OnCancel)},
  };
  static const platform::MessageMap kMap = {
      kClicks, static_cast<int>(std::size(kClicks)),
      platform::MapTimerHandler(&LineTestDialog::OnStartSequence), nullptr};
  return kMap;
}

// What each command's "OK" moves on: the bar, and where given the status and percentage texts.
struct LineProgress {
  int position;
  const char* status;   // null: 1026 unchanged
  const char* percent;  // null: 1027 unchanged
};

namespace {

constexpr int kStartTimer = 0;
// Long enough for the dialog to be on screen before the modem is touched.
constexpr int kStartDelayMs = 500;
constexpr int kCommandTimeoutSeconds = 3;
constexpr int kDialTimeoutSeconds = 10;
constexpr int kHangUpPauseMs = 1000;

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

}  // namespace

LineTestDialog::LineTestDialog(modem::MainView& parentDialog)
    : TemplateDialog(resources::kLineTestDialogTemplate, parentDialog.Window()),
      parentDialog_(parentDialog) {}

bool LineTestDialog::OnInitDialog() {
  EnableItem(ids::kLineOk, false);
  SetTimer(kStartTimer, kStartDelayMs);
  return true;
}

void LineTestDialog::OnStartSequence(int) {
  KillTimer(kStartTimer);
  LineTestSequence();
}

// Ending the dialog in the middle of the sequence would hide it and give the main dialog its
// input back while the modem still holds test values, so a second run could start nested in
// this one's waits. The request is kept and carried out once the sequence has ended.
void LineTestDialog::OnCancel() {
  if (sequenceRunning_) {
    closeRequested_ = true;
    return;
  }
  EndDialog(platform::kIdCancel);
}

void LineTestDialog::SetProgress(int position, const char* percent) {
  SetProgressPos(ids::kLineProgress, position);
  if (percent != nullptr) SetItemText(ids::kLinePercent, percent);
}

void LineTestDialog::ShowProgress(const LineProgress& progress) {
  SetProgress(progress.position, progress.percent);
  if (progress.status != nullptr) SetItemText(ids::kLineStatus, progress.status);
}

LineTestDialog::Outcome LineTestDialog::RunCommands() {
  modem::RereadMissingRegisters();
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    if (!modem::WriteTestValue(slot)) return Outcome::kFailure;
    ShowProgress(kRegisterProgress[slot]);
  }
  for (const LineCommand& step : kCommands) {
    if (modem::Transact(step.command, "OK", kCommandTimeoutSeconds, 1) == modem::kTimedOut) {
      return Outcome::kFailure;
    }
    ShowProgress(step.progress);
  }
  if (!modem::StopCutsWaits()) modem::pendingChanges.dialling = true;
  bool noCarrier =
      modem::Transact("DT1", "NO CARRIER", kDialTimeoutSeconds, 1) != modem::kTimedOut;
  // A dial that ended by itself, or by its time-out, is left as it is; one cut short by a stop
  // is ended and hung up by the put-back.
  if (noCarrier || !modem::StopRequested()) modem::pendingChanges.dialling = false;
  if (noCarrier) return Outcome::kPassed;
  if (modem::StopRequested()) return Outcome::kFailure;
  int answer = platform::MessageBox(this, kQuestion, kQuestionCaption,
                                    platform::kMbYesNo | platform::kMbIconQuestion);
  return answer == platform::kIdYes ? Outcome::kFailure : Outcome::kNotConnected;
}

void LineTestDialog::CarryOut(Outcome outcome) {
  switch (outcome) {
    case Outcome::kPassed:
      SetProgress(100, nullptr);
      SetItemText(ids::kLineStatus, "Hang Up line...Please wait...");
      SetItemText(ids::kLinePercent, "100 %");
      modem::Pause(kHangUpPauseMs);
      SetItemText(ids::kLineStatus, "Passed !");
      parentDialog_.SetItemText(ids::kLineResult, "Passed");
      break;
    case Outcome::kFailure:
      SetItemText(ids::kLineStatus, "Failure");
      parentDialog_.SetItemText(ids::kLineResult, "Failure");
      break;
    case Outcome::kNotConnected:
      parentDialog_.SetItemText(ids::kLineResult, "Not Connected");
      SetItemText(ids::kLineStatus, "Not Connected. Please connect line and try again.");
      break;
  }
}

void LineTestDialog::LineTestSequence() {
  sequenceRunning_ = true;
  CarryOut(RunCommands());
  if (!modem::StopRequested()) parentDialog_.Beep();
  SetProgress(100, "100 %");
  (void)modem::PutModemBack(parentDialog_.detectedPort);
  EnableItem(ids::kLineOk, true);
  sequenceRunning_ = false;
  if (closeRequested_ || modem::StopRequested()) EndDialog(platform::kIdCancel);
}

void RunLineTest(modem::MainView& view) {
  LineTestDialog dialog(view);
  (void)dialog.RunModal();
}

}  // namespace diagnostics

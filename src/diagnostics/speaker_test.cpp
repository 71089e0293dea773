// The speaker test of the "Speaker Test" button: the speaker and hook commands, the buzz, and
// the user's answer in the voice prompt. It writes no vendor registers and does not beep.

#include "diagnostics/test_runs.h"
#include "diagnostics/voice_prompt_dialog.h"
#include "modem/transaction.h"
#include "modem/safe_state.h"
#include "resources/control_ids.h"

namespace diagnostics {
namespace {

constexpr int kTimeoutSeconds = 3;
// Lets the speaker settle after going off-hook before the buzz starts.
constexpr int kOffHookPauseMs = 1500;

constexpr int kRunButtons[] = {ids::kTestDiagnostics, ids::kTestSpeaker, ids::kTestLine,
                               ids::kDetectAgain};

bool Seen(const char* command) {
  return modem::Transact(command, "OK", kTimeoutSeconds, 1) != modem::kTimedOut;
}

// True when the buzz is on and the prompt may ask.
bool StartBuzz() {
  if (!Seen("L3") || !Seen("M2")) return false;
  if (!modem::StopCutsWaits()) modem::pendingChanges.offHook = true;
  if (!Seen("H1")) return false;
  modem::Pause(kOffHookPauseMs);
  return Seen("%T24");
}

}  // namespace

void RunSpeakerTest(modem::MainView& view) {
  VoicePromptDialog prompt(view);
  for (int id : kRunButtons) view.EnableItem(id, false);
  view.SetItemText(ids::kSpeakerResult, "");

  const char* result = "Failure";
  if (StartBuzz() && !modem::StopRequested()) {
    (void)prompt.RunModal();
    // The answer alone decides; "H" only silences the speaker, whatever it answers.
    (void)modem::Transact("H", "OK", kTimeoutSeconds, 1);
    result = view.speakerAnswer == 1 ? "Passed" : "Failure";
  }
  view.SetItemText(ids::kSpeakerResult, result);
  for (int id : kRunButtons) view.EnableItem(id, true);
  // A run that was not stopped has sent its "H", or failed where no "H" is to be sent; a stopped
  // one hangs up now.
  if (!modem::StopRequested()) modem::pendingChanges.offHook = false;
  (void)modem::PutModemBack(view.detectedPort);
}

}  // namespace diagnostics

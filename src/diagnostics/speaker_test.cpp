#include "diagnostics/speaker_test.h"

#include <cstdio>

#include "diagnostics/result_texts.h"
#include "modem/safe_state.h"
#include "modem/transaction.h"
#include "resources/control_ids.h"

namespace diagnostics {
namespace {

constexpr int kTimeoutSeconds = 3;
// Lets the speaker settle after going off-hook before the buzz starts.
constexpr int kOffHookPauseMs = 1500;

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

const char* BuzzCounter::OnSecond() {
  if (secondsElapsed_ < kBuzzSeconds) {
    ++secondsElapsed_;
    std::snprintf(text_, sizeof text_, "Voice On...%d Sec", secondsElapsed_);
    return text_;
  }
  if (!finished_) {
    finished_ = true;
    (void)modem::Transact("H", "OK", kTimeoutSeconds, 1);
  }
  return "Voice Off";
}

void RunSpeakerTest(modem::MainView& view, SpeakerPrompt& prompt) {
  for (int id : ids::kRunButtons) view.EnableItem(id, false);
  view.SetItemText(ids::kSpeakerResult, "");

  const char* result = kResultFailure;
  if (StartBuzz() && !modem::StopRequested()) {
    BuzzCounter counter;
    Answer answer = prompt.AskWhileBuzzing(counter);
    if (answer != Answer::kNone) view.speakerAnswer = answer == Answer::kYes ? 1 : 0;
    // The answer alone decides; "H" only silences the speaker, whatever it answers.
    (void)modem::Transact("H", "OK", kTimeoutSeconds, 1);
    result = view.speakerAnswer == 1 ? kResultPassed : kResultFailure;
  }
  view.SetItemText(ids::kSpeakerResult, result);
  for (int id : ids::kRunButtons) view.EnableItem(id, true);
  // A run that was not stopped has sent its "H", or failed where no "H" is to be sent; a stopped
  // one hangs up now.
  if (!modem::StopRequested()) modem::pendingChanges.offHook = false;
  (void)modem::PutModemBack(view.detectedPort);
}

}  // namespace diagnostics

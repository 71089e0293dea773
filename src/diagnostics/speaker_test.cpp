#include "diagnostics/speaker_test.h"

#include <cstdio>

#include "diagnostics/result_texts.h"
#include "modem/put_back.h"
#include "modem/session.h"
#include "modem/transaction.h"

namespace diagnostics {
namespace {

// Lets the speaker settle after going off-hook before the buzz starts.
constexpr int kOffHookPauseMs = 1500;

modem::Change ChangeOf(modem::ChangeKind kind) {
  modem::Change change;
  change.kind = kind;
  return change;
}

// True when the buzz is on and the prompt may ask.
bool StartBuzz(TestRecorder& test) {
  const modem::Change commandSet = ChangeOf(modem::ChangeKind::kCommandSet);
  if (!test.ChangeStep(commandSet, "L3", "OK") || !test.ChangeStep(commandSet, "M2", "OK"))
    return false;
  if (!test.ChangeStep(ChangeOf(modem::ChangeKind::kOffHook), "H1", "OK")) return false;
  modem::Pause(test.Session(), kOffHookPauseMs);
  return test.ChangeStep(ChangeOf(modem::ChangeKind::kBuzzer), "%T24", "OK");
}

// "H" ends the buzz and puts the line on-hook: its "OK" confirms both.
void HangUp(modem::Session& session) {
  if (modem::TransactOk(session, "H") != modem::OkReply::kOk) return;
  session.ledger.Confirm(modem::ChangeKind::kOffHook);
  session.ledger.Confirm(modem::ChangeKind::kBuzzer);
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
    HangUp(session_);
  }
  return "Voice Off";
}

TestResult RunSpeakerTest(modem::Session& session, MainView& view, SpeakerPrompt& prompt) {
  if (session.stop.Requested()) return NotRun(kSpeaker.reportName, kStoppedBeforeItBegan);
  view.ShowRunning(kSpeaker);

  TestRecorder test(session, kSpeaker.reportName);
  bool passed = false;
  if (StartBuzz(test) && !session.stop.Requested()) {
    BuzzCounter counter(session);
    PromptAnswer answer = prompt.AskWhileBuzzing(counter);
    if (answer != PromptAnswer::kNone) view.speakerHeard = answer == PromptAnswer::kYes;
    // The answer alone decides; "H" only silences the speaker, whatever it answers. A prompt
    // that a stop closed gave no answer, and an earlier one says nothing of this buzz.
    HangUp(session);
    passed = view.speakerHeard && !(answer == PromptAnswer::kNone && session.stop.Requested());
  }
  TestResult result = test.Finish(passed, passed ? kResultPassed : kResultFailure);
  view.ShowResult(kSpeaker, result);
  (void)modem::PutModemBack(session, modem::PutBackStage::kEndOfRun);
  return result;
}

}  // namespace diagnostics

#pragma once
// The speaker test without widgets: the speaker and hook commands, the buzz, the question while
// the seconds are counted, and the answer in the main view. The voice prompt dialog and the
// terminal report each ask the question their own way (test_views.h).

#include "diagnostics/main_view.h"
#include "diagnostics/test_result.h"
#include "diagnostics/test_views.h"

namespace diagnostics {

// The seconds of the buzz while the user is asked, and the speaker's own silencing after ten.
class BuzzCounter {
 public:
  static constexpr int kBuzzSeconds = 10;

  explicit BuzzCounter(modem::Session& session) : session_(session) {}

  // One second has passed. Returns the counter's text: "Voice On...n Sec" for the first ten
  // calls; the eleventh sends "H" (waiting up to 3.1 s; its answer puts the hook and the buzzer
  // back in the ledger) and returns "Voice Off", and Finished() is true from then on. UI thread.
  const char* OnSecond();
  [[nodiscard]] bool Finished() const { return finished_; }
  [[nodiscard]] int SecondsElapsed() const { return secondsElapsed_; }

 private:
  modem::Session& session_;
  int secondsElapsed_ = 0;
  bool finished_ = false;
  char text_[32] = {};
};

// "L3", "M2", "H1", the 1.5 s pause, "%T24", then prompt.AskWhileBuzzing and "H": "Passed" or
// "Failure" in 1014. Yes and No set view.speakerHeard; an answer of kNone leaves it, and it
// decides, unless a stop closed the prompt (then the test is kStopped). Each command that changes
// the modem is entered in the ledger first, and what the test's own "H" does not put back the
// end of the run does. No beep, no register writes. A failed step gives "Failure" at once
// without the question. UI thread; about 2 s plus the answer.
TestResult RunSpeakerTest(modem::Session& session, MainView& view, SpeakerPrompt& prompt);

}  // namespace diagnostics

#pragma once
// The line/DAA test without widgets: the register test values, "X4", "S7=1", a dial that must
// end in "NO CARRIER", the outcome, the beep and the put-back. The line test dialog and the
// terminal report each show it their own way (test_views.h).

#include "diagnostics/main_view.h"
#include "diagnostics/test_result.h"
#include "diagnostics/test_views.h"

namespace diagnostics {

// Runs the whole sequence once: progress 10, 20, 40, 50 (" 50 % Passing... Please Wait...",
// "50 %"), 70, 80 ("Detecting line connection...Please Wait...", "80 %"); "NO CARRIER" within
// 10 s passes, otherwise view.AskLineConnected decides between "Failure" (Yes) and
// "Not Connected". The outcome goes into the view's status and main's 1003; then the beep, the
// progress at 100 and the put-back of what the ledger holds (a dial the modem did not end is
// ended and hung up). A stop request skips the question and the beep. UI thread; about 5 s
// against an answering modem, up to about 45 s against a silent one.
TestResult RunLineTestSequence(modem::Session& session, MainView& main, LineTestView& view);

}  // namespace diagnostics

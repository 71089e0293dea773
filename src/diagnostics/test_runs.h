#pragma once
// The three test runs started by the main dialog's "Test..." buttons. UI thread; each pumps
// messages while it waits and writes its results into the main dialog through the view. The
// only failure a modem exchange has is a time-out, which a run shows as "Failure".

#include "modem/main_view.h"

namespace diagnostics {

// Basic function test, then the digital and analog loopback tests: "Passed", "Passed after
// retry" (loopbacks) or "Failure" in 1007, 1012 and 1013. Holds 1001, 1004, 1005 and 1021
// disabled meanwhile, then enables them, beeps and writes the register snapshot back, whatever
// the outcome. A failed loopback closes and reopens view.detectedPort; when that reopen fails
// the port stays closed and the rest of the run times out. About 8 s against an answering
// modem, up to about 40 s against one that has gone.
void RunDiagnosticTests(modem::MainView& view);

// The speaker commands, the buzz and the voice prompt: "Passed" or "Failure" in 1014. Yes and No
// set view.speakerAnswer; a prompt closed without either leaves it, and it decides. Holds the
// four run buttons disabled meanwhile; no beep, no register writes.
void RunSpeakerTest(modem::MainView& view);

// The line/DAA test in its own modal dialog: "Passed", "Failure" or "Not Connected" in 1003,
// the registers written back. Returns once the user has closed the dialog, and never before its
// sequence, restore included, has ended: a close request meanwhile is carried out at the end.
void RunLineTest(modem::MainView& view);

}  // namespace diagnostics

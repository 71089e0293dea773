#pragma once
// The three test runs started by the main dialog's "Test..." buttons. UI thread; each pumps
// messages while it waits and writes its results into the main dialog through the view.

#include "modem/main_view.h"

namespace diagnostics {

// Basic function test, then the digital and analog loopback tests (1007, 1012, 1013).
void RunDiagnosticTests(modem::MainView& view);
// The speaker commands, then the voice prompt; result in 1014.
void RunSpeakerTest(modem::MainView& view);
// The line/DAA test in its own modal dialog; result in 1003.
void RunLineTest(modem::MainView& view);

}  // namespace diagnostics

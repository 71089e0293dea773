#pragma once
// The run of the main window's first "Test..." button. UI thread; it pumps messages while it
// waits, writes its results into the main window through the view and returns them as data.

#include <vector>

#include "diagnostics/program_run.h"
#include "diagnostics/test_result.h"

namespace diagnostics {

// Basic function test, then the digital and analog loopback tests: "Passed", "Passed after
// retry" (loopbacks) or "Failure" in 1007, 1012 and 1013, and one result each. Beeps and puts
// back what the run changed, whatever the outcome. A failed loopback closes and reopens the modem's
// port; when that reopen fails the port stays closed and the rest of the run times out. About 8 s
// against an answering modem, up to about 40 s against one that has gone.
std::vector<TestResult> RunDiagnosticTests(Session& session, MainView& view);

}  // namespace diagnostics

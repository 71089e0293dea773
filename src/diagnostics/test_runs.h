#pragma once
// What the main window starts, and what it needs around that: the session, the identification
// list, the detection run, the basic and loopback run of the first "Test..." button (the speaker
// and line tests run in their dialogs: ui/voice_prompt_dialog.h, ui/line_test_dialog.h),
// stopping, and the end of the program run. UI thread; each run pumps messages while it waits,
// writes its results into the main window through the view and returns them as data.

#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/test_result.h"
#include "modem/detection.h"
#include "modem/main_view.h"
#include "modem/session.h"

namespace diagnostics {

using MainView = modem::MainView;
using Session = modem::Session;
using DetectionResult = modem::DetectionResult;

// Fills view.identificationList from the first ati3.dat found (working directory, then the
// configuration and data directories); when there is none, shows "Ati3.dat missing !" with the
// places looked in as details and ends the process with status 0.
void LoadIdentificationList(MainView& view);

// The detection run of timer 0 (see modem/detection.h).
DetectionResult DetectModem(Session& session, MainView& view);

// Basic function test, then the digital and analog loopback tests: "Passed", "Passed after
// retry" (loopbacks) or "Failure" in 1007, 1012 and 1013, and one result each. Holds 1001, 1004,
// 1005 and 1021 disabled meanwhile, then enables them, beeps and puts back what the run changed,
// whatever the outcome. A failed loopback closes and reopens the modem's port; when that reopen
// fails the port stays closed and the rest of the run times out. About 8 s against an answering
// modem, up to about 40 s against one that has gone.
std::vector<TestResult> RunDiagnosticTests(Session& session, MainView& view);

// Closes the modem's port (nothing when none is open).
void ClosePort(Session& session);

// Stops the running detection or test at once; it puts the modem back before it returns. A
// second call with abandonPutBack cuts that put-back short.
void StopRun(Session& session, bool abandonPutBack = false);

// The end of the program run, before the port closes: puts back what is left, reads back what
// was put back, and keeps the journal only when something is still not put back (see
// modem/put_back.h). Not cut short by a stop; an abandoned put-back sends nothing.
void FinishProgramRun(Session& session);

// What the program run could not put back, one line each ("register 18: was 05, now 00
// (ERROR)"); empty when nothing is left.
[[nodiscard]] std::vector<std::string> NotPutBack(const Session& session);

// A journal found at detection in words for a person: what it held and whether it was put back,
// or why it was not acted on.
[[nodiscard]] std::string DescribeRecovery(const modem::Recovery& recovery);

// The transcript of --transcript FILE (see modem/transaction.h): opened before the first port,
// closed after the last one. false with the reason in *error. UI thread.
[[nodiscard]] bool OpenTranscript(Session& session, const char* path, int64_t startMs,
                                  std::string* error);
void CloseTranscript(Session& session);

}  // namespace diagnostics

#pragma once
// What the main window starts, and what it needs around that: the identification list, the
// detection run, the three test runs started by the "Test..." buttons, and stopping. UI thread;
// each run pumps messages while it waits and writes its results into the main window through
// the view. The only failure a modem exchange has is a time-out, which a run shows as "Failure".

#include <cstdint>
#include <string>

#include "modem/main_view.h"

namespace diagnostics {

using MainView = modem::MainView;

// Fills view.identificationList from the first ati3.dat found (working directory, then the
// configuration and data directories); when there is none, shows "Ati3.dat missing !" with the
// places looked in as details and ends the process with status 0.
void LoadIdentificationList(MainView& view);

// The detection run of timer 0 (see modem/detection.h).
void DetectModem(MainView& view);

// Basic function test, then the digital and analog loopback tests: "Passed", "Passed after
// retry" (loopbacks) or "Failure" in 1007, 1012 and 1013. Holds 1001, 1004, 1005 and 1021
// disabled meanwhile, then enables them, beeps and writes the register snapshot back, whatever
// the outcome. A failed loopback closes and reopens view.detectedPort; when that reopen fails
// the port stays closed and the rest of the run times out. About 8 s against an answering
// modem, up to about 40 s against one that has gone.
void RunDiagnosticTests(MainView& view);

// The speaker test (speaker_test.h) with the voice prompt dialog asking.
void RunSpeakerTest(MainView& view);

// The line/DAA test (line_test.h) in its own modal dialog: "Passed", "Failure" or
// "Not Connected" in 1003, the registers written back. Returns once the user has closed the
// dialog, and never before its sequence, restore included, has ended: a close request
// meanwhile is carried out at the end.
void RunLineTest(MainView& view);

// Closes the modem's port (nothing when none is open).
void ClosePort();

// Stops the running detection or test at once; it puts the modem back before it returns. A
// second call with abandonPutBack cuts that put-back short.
void StopRun(bool abandonPutBack = false);

// The transcript of --transcript FILE (see modem/transaction.h): opened before the first port,
// closed after the last one. false with the reason in *error. UI thread.
[[nodiscard]] bool OpenTranscript(const char* path, int64_t startMs, std::string* error);
void CloseTranscript();

}  // namespace diagnostics

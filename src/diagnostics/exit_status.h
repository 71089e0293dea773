#pragma once
// The program's exit statuses, one table for the report that decides them and the help that
// documents them. A run that ends by a signal ends with 128 + its number.

namespace diagnostics {

inline constexpr int kExitOk = 0;             // dialogs ended; report: found, every test passed
inline constexpr int kExitTestFailed = 1;     // report: a test failed or was skipped
inline constexpr int kExitNoModem = 2;        // report: no port held a listed modem
inline constexpr int kExitListMissing = 3;    // report: ati3.dat missing or unreadable
inline constexpr int kExitNotRestored = 4;    // report: the modem could not be put back
inline constexpr int kExitUsage = 64;         // unknown option or bad value
inline constexpr int kExitInterrupted = 130;  // SIGINT (SIGTERM: 143)

// Report only, as sysexits.h numbers them, so that a run that did not happen is never taken for
// a finding about the modem: the transcript cannot be created; another copy is running.
inline constexpr int kExitCannotCreate = 73;
inline constexpr int kExitAlreadyRunning = 75;

}  // namespace diagnostics

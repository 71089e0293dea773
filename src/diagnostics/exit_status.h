#pragma once
// The program's exit statuses: one table that the report's wording, --help and the manual page
// are made from or checked against.

#include <string>

#include "platform/termination_signals.h"

namespace diagnostics {

inline constexpr int kExitOk = 0;
inline constexpr int kExitTestFailed = 1;
inline constexpr int kExitNoModem = 2;
inline constexpr int kExitListMissing = 3;
inline constexpr int kExitNotPutBack = 4;
inline constexpr int kExitUsage = 64;
// As sysexits.h numbers them, so that a run that did not happen is never taken for a finding
// about the modem.
inline constexpr int kExitCannotCreate = 73;
inline constexpr int kExitAlreadyRunning = 75;

using platform::ExitForSignal;
inline constexpr int kExitInterrupted = ExitForSignal(2);  // SIGINT

struct ExitStatus {
  int code;
  const char* meaning;  // the report's "Result:" words
  const char* help;     // the --help line; the manual page says the same
  bool reportOnly;      // the dialogs never end with it
};

inline constexpr ExitStatus kExitStatuses[] = {
    {kExitOk, "the modem was found and every test run passed",
     "the dialogs ended; the modem was found and every test run passed", false},
    {kExitTestFailed, "a test failed or was skipped", "a test failed or was skipped", true},
    {kExitNoModem, "no Kalvex internal modem was found", "no modem was found", true},
    {kExitListMissing, "the identification list ati3.dat is missing or unreadable",
     "the identification list ati3.dat is missing or unreadable", true},
    {kExitNotPutBack, "the modem could not be put back as it was found",
     "the modem could not be put back as it was found", false},
    {kExitUsage, "the command line is wrong", "an unknown option or a bad value", false},
    {kExitCannotCreate, "the transcript file cannot be created; nothing was run",
     "the transcript file cannot be created; nothing was run", true},
    {kExitAlreadyRunning, "another copy is running; nothing was run",
     "another copy is running; nothing was run", true},
    {kExitInterrupted, "interrupted by signal 2", "interrupted by Ctrl-C (SIGINT); 143 by SIGTERM",
     false},
};

// The table's meaning of status; "interrupted by signal N" for any other status above 128; empty
// for a status the table does not know.
[[nodiscard]] std::string ExitMeaning(int status);

// The exit-status part of --help: a heading, then one "  CODE  help" line per row, each ending
// with a newline.
[[nodiscard]] std::string ExitStatusHelp();

// Says on the debug output that watch does not watch the termination signals, and why; nothing
// when it does. A run that cannot hear them ends at once on one, without putting the modem back.
void SayWhetherSignalsWatched(const platform::TerminationSignalWatch& watch);

}  // namespace diagnostics

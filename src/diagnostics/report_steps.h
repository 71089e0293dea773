#pragma once
// What the report run needs from the layers below besides the runs of test_runs.h: the
// identification list without its message box, the register snapshot as read, the check that the
// modem holds it again after the runs, and whether a stop was asked for. UI thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/report_document.h"
#include "modem/main_view.h"

namespace diagnostics {

// Fills view.identificationList from the first ati3.dat found, as LoadIdentificationList does.
// False when there is none or it cannot be read, with the places looked in (and which one could
// not be read) in *details; shows nothing and ends nothing.
[[nodiscard]] bool FindIdentificationList(modem::MainView& view, std::string* details);

// Puts the file of view.identificationList and what was cut from it into result.
void NoteIdentificationListUsed(const modem::MainView& view, ReportResult& result);

// The transcript of --transcript: its file and whether every line reached it; nullopt when none
// was opened.
[[nodiscard]] std::optional<ReportTranscript> TranscriptForReport();

// The registers 18, 29, 2A and 20 as read at detection, in that order; a value that was not read
// is empty.
[[nodiscard]] std::vector<ReportRegister> SnapshotRegisters();

// Reads the four registers again, leaving the snapshot alone, and compares each one that had a
// value at detection. true when all agree; false with each that differs (an unanswered read
// counts, its "after" empty) in *differing; nullopt when the put-back was abandoned, so nothing
// was read. Not cut short by a stop request. Up to about 12.4 s against a silent modem.
[[nodiscard]] std::optional<bool> CheckRegistersRestored(
    std::vector<RegisterDifference>* differing);

// The first command that timed out at or after fromMs and at or before toMs (platform::NowMs()
// times), with the last line that came back meanwhile; nullopt when none did.
struct FailedCommand {
  std::string command;
  std::string response;
};
[[nodiscard]] std::optional<FailedCommand> FirstTimeOutBetween(int64_t fromMs, int64_t toMs);

// True once a stop was asked for (StopRun); sticky.
[[nodiscard]] bool RunStopRequested();

}  // namespace diagnostics

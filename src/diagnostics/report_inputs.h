#pragma once
// What the report run needs from the layers below besides the runs of test_runs.h: the
// identification list without its message box, the register snapshot as read, and what the
// program run changed and put back, as the report gives it. UI thread.

#include <optional>
#include <string>
#include <vector>

#include "diagnostics/program_run.h"
#include "diagnostics/report_document.h"

namespace diagnostics {

// Fills view.identificationList from the first ati3.dat found, as LoadIdentificationList does.
// False when there is none or it cannot be read, with the places looked in (and which one could
// not be read) in *details; shows nothing and ends nothing.
[[nodiscard]] bool FindIdentificationList(MainView& view, std::string* details);

// Puts the file of view.identificationList and what was cut from it into result.
void NoteIdentificationListUsed(const modem::MainView& view, ReportResult& result);

// The transcript of --transcript: its file and whether every line reached it; nullopt when none
// was opened.
[[nodiscard]] std::optional<ReportTranscript> TranscriptForReport(const Session& session);

// The registers 18, 29, 2A and 20 as read at detection, in that order; a value that was not read
// is empty.
[[nodiscard]] std::vector<ReportRegister> SnapshotRegisters(const Session& session);

// After FinishProgramRun: each change of the program run with its state, and each register with
// a value that was not changed. Empty when nothing was changed.
[[nodiscard]] std::vector<PutBackItem> PutBackItems(const Session& session);

// Every journal of the device the detection found, in the order of their names, and what
// became of each.
[[nodiscard]] std::vector<RecoveryReport> FoundJournals(const Session& session);

}  // namespace diagnostics

#pragma once
// Giving the modem back as the program found it: the ledger's changes are entered (and
// journalled) before they are made, put back in the ledger's order at the end of each run and
// once more at the end of the program run, read back and compared, and recovered from the
// journal after a crash. UI thread only (the port and the ledger check it in a debug build); each
// write waits up to 3 s for its answer.

#include <string>

#include "modem/ledger.h"

namespace modem {

class Session;

// Enters change in the session's ledger and writes the journal, before the command that makes
// it is sent. A journal that cannot be written is said once on the debug output; the run goes on.
void EnterChange(Session& session, const Change& change);

// True when line is a final result code that ends a command without doing it ("ERROR",
// "NO CARRIER", "OK" where "CONNECT" was asked for, ...): the modem stayed as it was.
[[nodiscard]] bool IsRefusal(const std::string& line);

// The modem refused the command that was to make a change entered with EnterChange: the ledger
// goes back to prior (the entry before, or none) and the journal with it.
void WithdrawChange(Session& session, ChangeKind kind, const Change* prior);

// Closes COM<session.detectedPort>, which drops DTR and so ends a data connection whatever the
// modem makes of "+++", then opens it again after 500 ms and pauses 500 ms more; the reopen's
// outcome is not examined. UI thread.
void ReopenPort(Session& session);

// The guard of silence the modem needs before and after "+++" to take it as an escape.
inline constexpr int kEscapeGuardMs = 1000;

// True when the journal of devicePath (in the session's state directory) can be read and holds
// a data-mode change still pending: a run that ended without putting it back left the modem on
// line. UI thread.
[[nodiscard]] bool JournalEnteredDataMode(const Session& session, const std::string& devicePath);

enum class PutBackStage {
  kEndOfRun,      // after a test run: the country only when its own write-back was not tried
  kEndOfProgram,  // Quit or the report's end: everything, and "Z" for the command settings
};

// Puts back every pending change of the ledger, in its order: the cut command's answer awaited
// first, then data mode (guarded escape, or a DTR drop when it gets no "OK", then "&T0"), the
// hook and the buzzer (a dial ended by a CR first, then "H"), the registers, the country, and at
// the end of the program the command settings ("Z"). A change leaves the ledger only on its
// "OK"; one that does not keeps the reason (ERROR, no answer, not sent, the device was lost).
// "H" and "Z", which nothing reads back, count only when what follows confirms them
// (TransactOkConfirmed). Reopens the port first when it is closed. A stop request does not cut it
// short; an abandoned put-back sends nothing more. True when nothing is left pending.
bool PutModemBack(Session& session, PutBackStage stage);

// Writes the country read before the run back ("%T19,0,<code>") when the ledger holds it as
// changed, once per run; the answer is kept in the ledger. True on "OK" or when nothing was
// pending.
bool WriteCountryBack(Session& session);

// Reads back each register and the country the program run changed and put back, and compares
// it with the value read before the change; a difference, or a read that gets no valid answer,
// makes the change pending again with what was read ("read back 07"). A stop does not cut it.
void CheckPutBack(Session& session);

// The end of the program run, before the port closes: PutModemBack(kEndOfProgram), CheckPutBack,
// then the journal removed when nothing is left pending, or written with what is left.
void FinishProgramRun(Session& session);

// After the modem was found and identified, with the ledger empty: each journal name of the
// device is looked at. The first journal for the same "I3" line is put back and checked before
// the snapshot is taken, and stays this run's journal; one for another modem, or one that cannot
// be read (owner, mode, size), is kept exactly as it is and named; one that does not parse is
// renamed ".bad". This run's journal otherwise gets the first free name. session.journals says
// what became of each. UI thread.
void RecoverFromJournal(Session& session);

// Before a new detection: while the port is still open on the modem found before, what the
// ledger holds is put back there and checked. Nothing is reopened. UI thread.
void PutBackBeforeDetection(Session& session);

// Detection found another modem (another device or "I3" line): what the old one still holds is
// written to its journal and kept in session.leftBehind, never sent to the new one, and the
// ledger starts empty. UI thread.
void LeaveChangesBehind(Session& session);

}  // namespace modem

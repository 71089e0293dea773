#include "modem/put_back.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modem/journal.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_pump.h"
#include "platform/state_files.h"

namespace modem {
namespace {

// The modem takes "+++" as an escape only after a second of silence on the line.
constexpr int kEscapeGuardMs = 1000;
constexpr int kReopenPauseMs = 500;

// The result codes that end a modem's answer to a command.
constexpr const char* kFinalResults[] = {"OK",          "ERROR", "CONNECT",  "NO CARRIER",
                                         "NO DIALTONE", "BUSY",  "NO ANSWER"};

std::string JournalFile(const Session& session) {
  if (session.detectedDevice.empty()) return {};
  const std::string directory =
      session.stateDirectory.empty() ? platform::StateDirectory() : session.stateDirectory;
  return directory.empty() ? std::string() : JournalPath(directory, session.detectedDevice);
}

void WriteJournal(Session& session) {
  const std::string path = JournalFile(session);
  if (path.empty()) return;
  JournalRecord record;
  record.device = session.detectedDevice;
  record.i3Line = session.detectedI3Line;
  record.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    if (session.snapshot.hasValue[slot])
      record.detected.emplace_back(kVendorRegisters[slot].name, session.snapshot.values[slot]);
  }
  for (const Change& change : session.ledger.Changes()) {
    if (change.pending) record.changes.push_back(change);
  }
  std::string error;
  if (platform::WriteFileAtomically(path, JournalText(record), &error)) return;
  if (session.journalFailed) return;
  session.journalFailed = true;
  platform::WarningOutputF(
      "The journal of the modem's changes cannot be written (%.300s): after "
      "a crash they could not be put back",
      error.c_str());
}

void RemoveJournal(const Session& session) {
  const std::string path = JournalFile(session);
  std::string error;
  if (!path.empty() && !platform::RemoveFile(path, &error))
    platform::WarningOutputF("The journal %.300s cannot be removed: %.200s", path.c_str(),
                             error.c_str());
}

// Keeps the answer to a change's put-back: confirmed on "OK", otherwise the reason.
void Settle(Session& session, ChangeKind kind, const std::string& reg, OkReply answer) {
  if (answer == OkReply::kOk) {
    session.ledger.Confirm(kind, reg);
    return;
  }
  if (Change* change = session.ledger.Find(kind, reg)) change->reason = ReplyReason(answer);
}

bool Pending(Session& session, ChangeKind kind, const std::string& reg = {}) {
  const Change* change = session.ledger.Find(kind, reg);
  return change != nullptr && change->pending;
}

bool IsFinalResult(const char* line) {
  for (const char* result : kFinalResults) {
    if (std::strstr(line, result) != nullptr) return true;
  }
  return false;
}

// A stop that cut a wait short left that command's answer on its way: a put-back write sent
// before it ends could take the cut command's "OK" for its own. A dial is the exception: the CR
// that ends it follows at once.
void AwaitCutCommand(Session& session) {
  if (!session.cutWait) return;
  const int64_t deadline = session.cutWait->deadlineMs;
  session.cutWait.reset();
  const Change* hook = session.ledger.Find(ChangeKind::kOffHook);
  if (hook != nullptr && hook->pending && hook->dialling) return;
  serial::TtyPort& port = session.port;
  (void)platform::PumpUntil(
      [&] {
        char line[serial::kLineSize];
        port.assembler.CopyLastLine(line);
        return port.assembler.IsMatched() || IsFinalResult(line) ||
               session.stop.PutBackAbandoned() || port.DeviceLost();
      },
      deadline);
  Pause(session, kSettleMs);
}

bool StageTouches(const Change& change, PutBackStage stage) {
  if (!change.pending) return false;
  if (stage == PutBackStage::kEndOfProgram) return true;
  if (change.kind == ChangeKind::kCommandSet) return false;
  return change.kind != ChangeKind::kCountry || !change.triedThisRun;
}

void PutBackDataMode(Session& session) {
  const Change* change = session.ledger.Find(ChangeKind::kDataMode);
  if (change == nullptr || !change->pending) return;
  const bool connectionMayBeUp = !change->lineDropped;
  if (connectionMayBeUp && !session.stop.PutBackAbandoned() && !session.port.DeviceLost()) {
    Pause(session, kEscapeGuardMs);
    if (Transact(session, "+++", "OK", kCommandTimeoutSeconds, Framing::kAsIs) != WaitResult::kSeen)
      ReopenPort(session);
  }
  Settle(session, ChangeKind::kDataMode, {}, TransactOk(session, "&T0"));
}

void PutBackHook(Session& session) {
  const bool offHook = Pending(session, ChangeKind::kOffHook);
  const bool buzzing = Pending(session, ChangeKind::kBuzzer);
  if (!offHook && !buzzing) return;
  const Change* hook = session.ledger.Find(ChangeKind::kOffHook);
  if (offHook && hook->dialling && !session.stop.PutBackAbandoned() && !session.port.DeviceLost()) {
    // Any character ends a dial; the "H" that follows would lose its first letters to that.
    (void)Transact(session, "\r", "NO CARRIER", kCommandTimeoutSeconds, Framing::kAsIs);
  }
  const OkReply answer = TransactOk(session, "H");
  if (offHook) Settle(session, ChangeKind::kOffHook, {}, answer);
  if (buzzing) Settle(session, ChangeKind::kBuzzer, {}, answer);
}

void PutBackRegisters(Session& session) {
  for (const VendorRegister& reg : kVendorRegisters) {
    const Change* change = session.ledger.Find(ChangeKind::kRegister, reg.name);
    if (change == nullptr || !change->pending) continue;
    char command[32];
    // The value came from the modem: it is an argument, never part of the format.
    std::snprintf(command, sizeof command, reg.restoreFormat, change->before.c_str());
    Settle(session, ChangeKind::kRegister, reg.name, TransactOk(session, command));
  }
}

int HexNumber(const std::string& text) { return int(std::strtol(text.c_str(), nullptr, 16)); }

// Reads back what one change put back; true when it could be read, with the value in *value.
bool ReadBack(Session& session, const Change& change, std::string* value) {
  if (change.kind == ChangeKind::kRegister) {
    char read[kSnapshotSlotSize] = {};
    if (!ReadRegisterValue(session, RegisterSlot(change.reg.c_str()), read)) return false;
    *value = read;
    return true;
  }
  char read[kReadValueSize] = {};
  if (!ReadHexValue(session, "%T20,0,1", 2, read)) return false;
  *value = read;
  return true;
}

}  // namespace

void EnterChange(Session& session, const Change& change) {
  session.ledger.Enter(change);
  WriteJournal(session);
}

void ReopenPort(Session& session) {
  ClosePort(session);
  if (Change* change = session.ledger.Find(ChangeKind::kDataMode); change && change->pending)
    change->lineDropped = true;
  Pause(session, kReopenPauseMs);
  (void)OpenComPort(session, session.detectedPort);
  Pause(session, kReopenPauseMs);
}

bool WriteCountryBack(Session& session) {
  Change* change = session.ledger.Find(ChangeKind::kCountry);
  if (change == nullptr || !change->pending) return true;
  PutBackScope putBack(session.stop);
  char command[16];
  std::snprintf(command, sizeof command, "%%T19,0,%s", change->before.c_str());
  const OkReply answer = TransactOk(session, command);
  // Once per run means once sent: a write that never went out is tried again at the run's end.
  if (answer != OkReply::kNotSent && answer != OkReply::kDeviceLost) change->triedThisRun = true;
  Settle(session, ChangeKind::kCountry, {}, answer);
  return answer == OkReply::kOk;
}

bool PutModemBack(Session& session, PutBackStage stage) {
  PutBackScope putBack(session.stop);
  bool needed = false;
  for (const Change& change : session.ledger.Changes()) needed |= StageTouches(change, stage);
  if (!needed) {
    session.cutWait.reset();
    return !session.ledger.HasPending();
  }
  AwaitCutCommand(session);
  if (!session.port.connected.load() && !session.stop.PutBackAbandoned())
    (void)OpenComPort(session, session.detectedPort);
  PutBackDataMode(session);
  PutBackHook(session);
  PutBackRegisters(session);
  if (const Change* country = session.ledger.Find(ChangeKind::kCountry);
      country != nullptr && StageTouches(*country, stage))
    (void)WriteCountryBack(session);
  if (stage == PutBackStage::kEndOfProgram && Pending(session, ChangeKind::kCommandSet))
    Settle(session, ChangeKind::kCommandSet, {}, TransactOk(session, "Z"));
  return !session.ledger.HasPending();
}

void CheckPutBack(Session& session) {
  PutBackScope putBack(session.stop);
  for (Change& change : session.ledger.Changes()) {
    const bool hasValue =
        change.kind == ChangeKind::kRegister || change.kind == ChangeKind::kCountry;
    if (!hasValue || change.pending || change.checked || session.stop.PutBackAbandoned()) continue;
    std::string value;
    const bool read = ReadBack(session, change, &value);
    // Nothing compared is nothing checked: the change cannot be said to be put back.
    if (!read) {
      change.pending = true;
      change.reason =
          session.stop.PutBackAbandoned() ? "not read back" : "no answer to the read-back";
      continue;
    }
    if (HexNumber(value) == HexNumber(change.before)) {
      change.checked = true;
      continue;
    }
    change.pending = true;
    change.now = value;
    change.reason = "read back " + value;
  }
}

void FinishProgramRun(Session& session) {
  if (session.ledger.Changes().empty()) return;
  (void)PutModemBack(session, PutBackStage::kEndOfProgram);
  CheckPutBack(session);
  if (session.ledger.HasPending()) {
    WriteJournal(session);
  } else {
    RemoveJournal(session);
  }
}

void RecoverFromJournal(Session& session) {
  session.recovery.reset();
  // This program run's own journal is not a crash's: its changes are in the ledger already.
  if (!session.ledger.Changes().empty()) return;
  const std::string path = JournalFile(session);
  if (path.empty()) return;
  std::string text;
  std::string error;
  const platform::PrivateFileRead read =
      platform::ReadPrivateFile(path, kMaxJournalBytes, &text, &error);
  if (read == platform::PrivateFileRead::kMissing) return;
  Recovery recovery;
  recovery.path = path;
  JournalRecord record;
  if (read != platform::PrivateFileRead::kRead) {
    recovery.outcome = Recovery::Outcome::kUnreadable;
    recovery.detail = error;
  } else if (!ParseJournal(text, &record, &error)) {
    recovery.outcome = Recovery::Outcome::kBad;
    recovery.detail = error;
    std::string renameError;
    if (!platform::RenameFile(path, path + ".bad", &renameError))
      recovery.detail += "; it could not be renamed: " + renameError;
  } else if (record.i3Line != session.detectedI3Line) {
    recovery.outcome = Recovery::Outcome::kOtherModem;
    recovery.detail = record.i3Line;
  }
  if (read != platform::PrivateFileRead::kRead || !recovery.detail.empty()) {
    platform::WarningOutputF("Journal %.300s not acted on: %.300s", path.c_str(),
                             recovery.detail.c_str());
    session.recovery = recovery;
    return;
  }
  for (const Change& change : record.changes) session.ledger.Enter(change);
  (void)PutModemBack(session, PutBackStage::kEndOfProgram);
  CheckPutBack(session);
  recovery.changes = session.ledger.Changes();
  // What was put back is done with; what was not stays for this run's final put-back.
  std::vector<Change>& changes = session.ledger.Changes();
  std::erase_if(changes, [](const Change& change) { return !change.pending; });
  if (changes.empty()) {
    RemoveJournal(session);
    recovery.outcome = Recovery::Outcome::kPutBack;
  } else {
    recovery.outcome = Recovery::Outcome::kNotAllPutBack;
  }
  session.recovery = recovery;
}

}  // namespace modem

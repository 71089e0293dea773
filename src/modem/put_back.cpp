#include "modem/put_back.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "modem/journal.h"
#include "modem/register_snapshot.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "platform/state_files.h"
#include "serial/debug_output.h"
#include "serial/line_assembler.h"

namespace modem {
namespace {

constexpr int kReopenPauseMs = 500;

// The result codes that end a modem's answer to a command.
constexpr const char* kFinalResults[] = {"OK",          "ERROR", "CONNECT",  "NO CARRIER",
                                         "NO DIALTONE", "BUSY",  "NO ANSWER"};

std::string StateDirectoryOf(const Session& session) {
  return session.stateDirectory.empty() ? platform::StateDirectory() : session.stateDirectory;
}

void SayJournalFailed(Session& session, const std::string& error) {
  if (session.journalFailed) return;
  session.journalFailed = true;
  serial::WarningOutputF(
      "The journal of the modem's changes cannot be written (%.300s): after "
      "a crash they could not be put back",
      error.c_str());
}

void WriteJournal(Session& session) {
  if (session.detectedDevice.empty()) return;
  const std::string& path = session.journalPath;
  if (path.empty()) {
    SayJournalFailed(session, "no state directory, or every journal name of " +
                                  session.detectedDevice + " holds a journal kept as it is");
    return;
  }
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
  if (!platform::WriteFileAtomically(path, JournalText(record), &error))
    SayJournalFailed(session, error);
}

void RemoveJournal(const Session& session) {
  const std::string& path = session.journalPath;
  std::string error;
  if (!path.empty() && !platform::RemoveFile(path, &error))
    serial::WarningOutputF("The journal %.300s cannot be removed: %.200s", path.c_str(),
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
  (void)session.waits.Until(
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
  // Nothing reads the hook or the buzzer back: what follows the "OK" confirms it instead.
  const OkReply answer = TransactOkConfirmed(session, "H");
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

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Some modems give their result codes in lower case.
bool SameLetters(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
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

bool JournalEnteredDataMode(const Session& session, const std::string& devicePath) {
  const std::string directory = StateDirectoryOf(session);
  if (directory.empty() || devicePath.empty()) return false;
  for (int index = 1; index <= kJournalNames; ++index) {
    std::string text;
    std::string error;
    JournalRecord record;
    if (platform::ReadPrivateFile(JournalPath(directory, devicePath, index), kMaxJournalBytes,
                                  &text, &error) != platform::PrivateFileRead::kRead ||
        !ParseJournal(text, &record, &error))
      continue;
    if (std::any_of(record.changes.begin(), record.changes.end(), [](const Change& change) {
          return change.kind == ChangeKind::kDataMode && change.pending;
        }))
      return true;
  }
  return false;
}

void EnterChange(Session& session, const Change& change) {
  session.ledger.Enter(change);
  WriteJournal(session);
}

bool IsRefusal(const std::string& line) {
  if (!serial::IsResultCode(line)) return false;
  // RING comes unasked and CONNECT is the command done; any other result code ends a command
  // without doing it.
  const std::string_view code = Trimmed(line);
  return !SameLetters(code, "RING") && !SameLetters(code.substr(0, 7), "CONNECT");
}

void WithdrawChange(Session& session, ChangeKind kind, const Change* prior) {
  session.ledger.Withdraw(kind, {}, prior);
  if (session.ledger.HasPending()) {
    WriteJournal(session);
  } else {
    RemoveJournal(session);
  }
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
    Settle(session, ChangeKind::kCommandSet, {}, TransactOkConfirmed(session, "Z"));
  return !session.ledger.HasPending();
}

void CheckPutBack(Session& session) {
  PutBackScope putBack(session.stop);
  // A copy: marking an entry must not move the one being read.
  const std::vector<Change> changes = session.ledger.Changes();
  for (const Change& change : changes) {
    const bool hasValue =
        change.kind == ChangeKind::kRegister || change.kind == ChangeKind::kCountry;
    if (!hasValue || change.pending || change.checked) continue;
    std::string value;
    // An abandoned put-back reads nothing more: what it wrote is unconfirmed, not put back.
    const bool read = !session.stop.PutBackAbandoned() && ReadBack(session, change, &value);
    // Nothing compared is nothing checked: the change cannot be said to be put back.
    if (!read) {
      // Written back and answered, but what the modem holds now was never seen.
      session.ledger.MarkNotBack(
          change.kind, change.reg, "not known",
          session.stop.PutBackAbandoned() ? "not read back" : "no answer to the read-back");
    } else if (HexNumber(value) == HexNumber(change.before)) {
      session.ledger.MarkChecked(change.kind, change.reg);
    } else {
      session.ledger.MarkNotBack(change.kind, change.reg, value, "read back " + value);
    }
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

namespace {

// Puts back what a journal of this modem holds and checks it; the file goes once all of it is
// back, and stays this run's journal otherwise.
Recovery ActOnJournal(Session& session, const std::string& path, const JournalRecord& record) {
  Recovery recovery;
  recovery.path = path;
  session.journalPath = path;
  for (const Change& change : record.changes) session.ledger.Enter(change);
  (void)PutModemBack(session, PutBackStage::kEndOfProgram);
  CheckPutBack(session);
  recovery.changes = session.ledger.Changes();
  // What was put back is done with; what was not stays for this run's final put-back.
  if (session.ledger.ForgetPutBack()) {
    RemoveJournal(session);
    recovery.outcome = Recovery::Outcome::kPutBack;
  } else {
    recovery.outcome = Recovery::Outcome::kNotAllPutBack;
  }
  return recovery;
}

// A journal not acted on is kept exactly as it is, and named.
Recovery Kept(const std::string& path, Recovery::Outcome outcome, const std::string& detail) {
  Recovery recovery;
  recovery.path = path;
  recovery.outcome = outcome;
  recovery.detail = detail;
  if (outcome == Recovery::Outcome::kUnreadable) recovery.mend = platform::PrivateFileMend(path);
  serial::WarningOutputF("Journal %.300s kept, not acted on: %.300s", path.c_str(), detail.c_str());
  return recovery;
}

}  // namespace

void RecoverFromJournal(Session& session) {
  session.journals.clear();
  // This program run's own journal is not a crash's: its changes are in the ledger already.
  if (!session.ledger.Changes().empty()) return;
  session.journalPath.clear();
  const std::string directory = StateDirectoryOf(session);
  if (directory.empty() || session.detectedDevice.empty()) return;
  bool actedOn = false;
  std::string freeName;
  for (int index = 1; index <= kJournalNames; ++index) {
    const std::string path = JournalPath(directory, session.detectedDevice, index);
    std::string text;
    std::string error;
    const platform::PrivateFileRead read =
        platform::ReadPrivateFile(path, kMaxJournalBytes, &text, &error);
    JournalRecord record;
    if (read == platform::PrivateFileRead::kMissing) {
      if (freeName.empty()) freeName = path;
    } else if (read != platform::PrivateFileRead::kRead) {
      session.journals.push_back(Kept(path, Recovery::Outcome::kUnreadable, error));
    } else if (!ParseJournal(text, &record, &error)) {
      Recovery bad = Kept(path, Recovery::Outcome::kBad, error);
      std::string renameError;
      if (!platform::RenameFile(path, path + ".bad", &renameError)) {
        bad.detail += "; it could not be renamed: " + renameError;
      } else if (freeName.empty()) {
        freeName = path;
      }
      session.journals.push_back(bad);
    } else if (record.i3Line != session.detectedI3Line) {
      session.journals.push_back(Kept(path, Recovery::Outcome::kOtherModem, record.i3Line));
    } else if (actedOn) {
      session.journals.push_back(Kept(path, Recovery::Outcome::kNotActedOn,
                                      "another journal of this modem was put back first"));
    } else {
      actedOn = true;
      session.journals.push_back(ActOnJournal(session, path, record));
    }
  }
  if (!actedOn) session.journalPath = freeName;
}

void PutBackBeforeDetection(Session& session) {
  if (!session.ledger.HasPending()) return;
  // Only the port still open on the modem that was found reaches that modem for certain.
  if (!session.port.connected.load() || session.port.DeviceLost()) return;
  (void)PutModemBack(session, PutBackStage::kEndOfProgram);
  CheckPutBack(session);
}

void LeaveChangesBehind(Session& session) {
  if (session.ledger.Changes().empty()) return;
  if (session.ledger.HasPending()) {
    WriteJournal(session);
    LeftBehind left{session.detectedDevice,
                    session.detectedI3Line,
                    session.journalFailed ? std::string() : session.journalPath,
                    {}};
    for (Change change : session.ledger.Changes()) {
      if (!change.pending) continue;
      if (change.reason.empty()) change.reason = "another modem was detected";
      left.changes.push_back(change);
    }
    session.leftBehind.push_back(left);
  } else {
    RemoveJournal(session);
  }
  session.ledger.Clear();
  session.journalPath.clear();
  session.journalFailed = false;
  session.cutWait.reset();
}

}  // namespace modem

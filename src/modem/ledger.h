#pragma once
// The ledger: every change a run makes to the modem, entered just before the command that makes
// it is sent, with the value read before, and left only when the modem confirms that it was put
// back. What it still holds at the end of the program run was not put back. UI thread only (the
// thread that made it; a debug build checks the changes).

#include <string>
#include <vector>

#include "serial/thread_check.h"

namespace modem {

// What a change touches. The order is the put-back's: data mode first, then the hook and the
// buzzer, then the registers, the country, and last the command-set settings.
enum class ChangeKind { kDataMode, kOffHook, kBuzzer, kRegister, kCountry, kCommandSet };

struct Change {
  ChangeKind kind = ChangeKind::kRegister;
  std::string reg;           // kRegister: "18", "29", "2A" or "20"
  std::string before;        // kRegister, kCountry: the value read from the modem before the change
  std::string now;           // what the modem was set to, or what it was read back as
  bool pending = true;       // not (yet) confirmed as put back
  std::string reason;        // why a pending change is still there after a put-back was tried
  bool dialling = false;     // kOffHook: a dial went out; a CR ends it before the "H"
  bool lineDropped = false;  // kDataMode: DTR was dropped, so only "&T0" is left to send
  bool triedThisRun = false;  // kCountry: its write-back was sent in the current run
  bool checked = false;       // read back after it was put back, and found as it was before
};

// The change's name for people: "register 18", "the country", "off-hook", ...
[[nodiscard]] std::string ChangeName(const Change& change);
// Its state before and now in words, for a warning or the report: "05" / "00", "on-hook" /
// "off-hook", ...
[[nodiscard]] std::string ChangeBefore(const Change& change);
[[nodiscard]] std::string ChangeNow(const Change& change);
// One line for a change not put back: "register 18: was 05, now 00 (ERROR)".
[[nodiscard]] std::string DescribeNotPutBack(const Change& change);
// The short names the journal and the report use: "data-mode", "off-hook", "buzzer",
// "register", "country", "command-set"; and back (false for an unknown name).
[[nodiscard]] const char* ChangeKindName(ChangeKind kind);
[[nodiscard]] bool ChangeKindFromName(const std::string& name, ChangeKind* kind);

class Ledger {
 public:
  // Enters a change. A change of something already entered keeps its first "before" (the
  // modem's own value) and becomes pending again with the new "now". Returns the entry.
  Change& Enter(const Change& change);
  // The modem confirmed that kind (and reg) is put back: the entry is no longer pending.
  void Confirm(ChangeKind kind, const std::string& reg = {});
  // The modem refused the command that was to make a change: the entry of kind (and reg) goes
  // back to prior, what it was before that change was entered, or leaves when there was none.
  void Withdraw(ChangeKind kind, const std::string& reg, const Change* prior);
  // The put-back of kind (and reg) was read back and found as it was before: checked.
  void MarkChecked(ChangeKind kind, const std::string& reg);
  // The put-back of kind (and reg) is not known to be back: pending again, with what the modem
  // holds now as far as known, and why.
  void MarkNotBack(ChangeKind kind, const std::string& reg, const std::string& now,
                   const std::string& reason);
  // Forgets every change put back; those still pending stay. Returns whether none is left.
  bool ForgetPutBack();
  // Forgets every change: they are another modem's, left in that modem's journal.
  void Clear();
  // The entry of kind (and reg), or null.
  [[nodiscard]] Change* Find(ChangeKind kind, const std::string& reg = {});
  [[nodiscard]] bool HasPending() const;
  [[nodiscard]] bool HasPending(ChangeKind kind) const;
  // Every change of this program run, pending or put back, in the put-back's order.
  [[nodiscard]] const std::vector<Change>& Changes() const { return changes_; }

 private:
  std::vector<Change> changes_;
  serial::ThreadCheck uiThread_;
};

}  // namespace modem

#include "modem/ledger.h"

#include <algorithm>
#include <iterator>

#include "serial/visible_text.h"

namespace modem {
namespace {

struct KindText {
  ChangeKind kind;
  const char* name;     // journal and report
  const char* person;   // warning box and summary
  const char* found;    // the state before, when it has no value of its own
  const char* changed;  // the state while changed
};

constexpr KindText kKinds[] = {
    {ChangeKind::kDataMode, "data-mode", "the loopback test mode", "command mode", "loopback test"},
    {ChangeKind::kOffHook, "off-hook", "the hook", "on-hook", "off-hook"},
    {ChangeKind::kBuzzer, "buzzer", "the buzzer", "off", "on"},
    {ChangeKind::kRegister, "register", "register", "", ""},
    {ChangeKind::kCountry, "country", "the country", "", ""},
    {ChangeKind::kCommandSet, "command-set", "the command settings", "stored profile",
     "changed by the tests"},
};

const KindText& TextOf(ChangeKind kind) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds),
                       [kind](const KindText& text) { return text.kind == kind; });
}

bool Same(const Change& change, ChangeKind kind, const std::string& reg) {
  return change.kind == kind && change.reg == reg;
}

}  // namespace

std::string ChangeName(const Change& change) {
  if (change.kind == ChangeKind::kRegister) return "register " + change.reg;
  return TextOf(change.kind).person;
}

std::string ChangeBefore(const Change& change) {
  const KindText& text = TextOf(change.kind);
  return *text.found != '\0' ? text.found : change.before;
}

std::string ChangeNow(const Change& change) {
  if (!change.pending) return ChangeBefore(change);
  if (!change.now.empty()) return change.now;
  return TextOf(change.kind).changed;
}

std::string DescribeNotPutBack(const Change& change) {
  // A change may come from a journal, a file anyone with the user's rights could have written,
  // and its values from the modem's answers: neither may act on the terminal it is shown on.
  using serial::VisibleText;
  std::string text = VisibleText(ChangeName(change)) + ": was " +
                     VisibleText(ChangeBefore(change)) + ", now " + VisibleText(ChangeNow(change));
  if (!change.reason.empty()) text += " (" + VisibleText(change.reason) + ")";
  return text;
}

const char* ChangeKindName(ChangeKind kind) { return TextOf(kind).name; }

bool ChangeKindFromName(const std::string& name, ChangeKind* kind) {
  for (const KindText& text : kKinds) {
    if (name == text.name) {
      *kind = text.kind;
      return true;
    }
  }
  return false;
}

Change& Ledger::Enter(const Change& change) {
  uiThread_.Check();
  if (Change* known = Find(change.kind, change.reg)) {
    known->pending = true;
    known->reason.clear();
    known->now = change.now;
    known->dialling = change.dialling;
    known->lineDropped = change.lineDropped;
    known->triedThisRun = false;
    known->checked = false;
    return *known;
  }
  // Kept in the put-back's order: kinds in their order, registers in the order entered.
  auto at = std::find_if(changes_.begin(), changes_.end(),
                         [&change](const Change& c) { return c.kind > change.kind; });
  return *changes_.insert(at, change);
}

void Ledger::Confirm(ChangeKind kind, const std::string& reg) {
  uiThread_.Check();
  if (Change* change = Find(kind, reg)) {
    change->pending = false;
    change->reason.clear();
    change->dialling = false;
  }
}

void Ledger::Withdraw(ChangeKind kind, const std::string& reg, const Change* prior) {
  uiThread_.Check();
  auto it = std::find_if(changes_.begin(), changes_.end(),
                         [&](const Change& c) { return Same(c, kind, reg); });
  if (it == changes_.end()) return;
  if (prior != nullptr) {
    *it = *prior;
  } else {
    changes_.erase(it);
  }
}

void Ledger::MarkChecked(ChangeKind kind, const std::string& reg) {
  uiThread_.Check();
  if (Change* change = Find(kind, reg)) change->checked = true;
}

void Ledger::MarkNotBack(ChangeKind kind, const std::string& reg, const std::string& now,
                         const std::string& reason) {
  uiThread_.Check();
  if (Change* change = Find(kind, reg)) {
    change->pending = true;
    change->checked = false;
    change->now = now;
    change->reason = reason;
  }
}

bool Ledger::ForgetPutBack() {
  uiThread_.Check();
  std::erase_if(changes_, [](const Change& change) { return !change.pending; });
  return changes_.empty();
}

void Ledger::Clear() {
  uiThread_.Check();
  changes_.clear();
}

Change* Ledger::Find(ChangeKind kind, const std::string& reg) {
  auto it = std::find_if(changes_.begin(), changes_.end(),
                         [&](const Change& c) { return Same(c, kind, reg); });
  return it == changes_.end() ? nullptr : &*it;
}

bool Ledger::HasPending() const {
  return std::any_of(changes_.begin(), changes_.end(), [](const Change& c) { return c.pending; });
}

bool Ledger::HasPending(ChangeKind kind) const {
  return std::any_of(changes_.begin(), changes_.end(),
                     [kind](const Change& c) { return c.pending && c.kind == kind; });
}

}  // namespace modem

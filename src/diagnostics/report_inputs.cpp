#include "diagnostics/report_inputs.h"

#include <algorithm>

#include "modem/identification_list.h"
#include "modem/ledger.h"
#include "modem/register_snapshot.h"

namespace diagnostics {
namespace {

PutBackItem ItemOf(const modem::Change& change) {
  PutBackItem item;
  item.what = modem::ChangeName(change);
  item.before = modem::ChangeBefore(change);
  item.after = modem::ChangeNow(change);
  item.state = change.pending ? PutBackItem::State::kNotPutBack : PutBackItem::State::kPutBack;
  item.reason = change.pending ? change.reason : std::string();
  return item;
}

const char* RecoveryOutcomeName(modem::Recovery::Outcome outcome) {
  switch (outcome) {
    case modem::Recovery::Outcome::kPutBack: return "put-back";
    case modem::Recovery::Outcome::kNotAllPutBack: return "not-all-put-back";
    case modem::Recovery::Outcome::kOtherModem: return "other-modem";
    case modem::Recovery::Outcome::kUnreadable: return "unreadable";
    case modem::Recovery::Outcome::kBad: return "bad";
    case modem::Recovery::Outcome::kNotActedOn: return "not-acted-on";
  }
  return "";
}

}  // namespace

bool FindIdentificationList(MainView& view, std::string* details) {
  return modem::FindIdentificationList(view.identificationList, details);
}

void NoteIdentificationListUsed(const modem::MainView& view, ReportResult& result) {
  result.listPath = view.identificationList.path;
  result.listCut = modem::IdentificationListCutNote(view.identificationList);
}

std::optional<ReportTranscript> TranscriptForReport(const Session& session) {
  const serial::Transcript& transcript = session.port.transcript;
  if (transcript.Path().empty()) return std::nullopt;
  return ReportTranscript{transcript.Path(), transcript.WriteError().empty(),
                          transcript.WriteError()};
}

std::vector<ReportRegister> SnapshotRegisters(const Session& session) {
  std::vector<ReportRegister> registers;
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    ReportRegister reg{modem::kVendorRegisters[slot].name, {}};
    if (session.snapshot.hasValue[slot]) reg.value = session.snapshot.values[slot];
    registers.push_back(reg);
  }
  return registers;
}

std::vector<PutBackItem> PutBackItems(const Session& session) {
  const std::vector<modem::Change>& changes = session.ledger.Changes();
  std::vector<PutBackItem> items;
  if (changes.empty()) return items;
  for (const modem::Change& change : changes) items.push_back(ItemOf(change));
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    const modem::VendorRegister& reg = modem::kVendorRegisters[slot];
    const bool changed = std::any_of(changes.begin(), changes.end(), [&reg](const auto& c) {
      return c.kind == modem::ChangeKind::kRegister && c.reg == reg.name;
    });
    if (changed || !session.snapshot.hasValue[slot]) continue;
    PutBackItem item;
    item.what = std::string("register ") + reg.name;
    item.before = item.after = session.snapshot.values[slot];
    items.push_back(item);
  }
  return items;
}

std::vector<RecoveryReport> FoundJournals(const Session& session) {
  std::vector<RecoveryReport> reports;
  for (const modem::Recovery& recovery : session.journals) {
    RecoveryReport report;
    report.outcome = RecoveryOutcomeName(recovery.outcome);
    report.journal = recovery.path;
    report.detail = recovery.detail;
    report.mend = recovery.mend;
    for (const modem::Change& change : recovery.changes) report.items.push_back(ItemOf(change));
    reports.push_back(report);
  }
  return reports;
}

}  // namespace diagnostics

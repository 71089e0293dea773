#include "diagnostics/program_run.h"

#include "modem/ledger.h"

namespace diagnostics {

void StopRun(Session& session, bool abandonPutBack) {
  if (abandonPutBack) {
    session.stop.AbandonPutBack();
  } else {
    session.stop.Request();
  }
}

std::vector<std::string> NotPutBack(const Session& session) {
  std::vector<std::string> lines;
  for (const modem::Change& change : session.ledger.Changes()) {
    if (change.pending) lines.push_back(modem::DescribeNotPutBack(change));
  }
  for (const modem::LeftBehind& left : session.leftBehind) {
    const std::string kept = left.journal.empty()
                                 ? std::string("; its journal could not be written")
                                 : "; kept in its journal " + left.journal;
    for (const modem::Change& change : left.changes)
      lines.push_back("on the modem found before on " + left.device + ", " +
                      modem::DescribeNotPutBack(change) + kept);
  }
  return lines;
}

std::string DescribeRecovery(const modem::Recovery& recovery) {
  using Outcome = modem::Recovery::Outcome;
  std::string text;
  switch (recovery.outcome) {
    case Outcome::kPutBack:
    case Outcome::kNotAllPutBack:
      text =
          "The modem still held changes from a run that ended without putting them back "
          "(journal " +
          recovery.path + "):\n";
      for (const modem::Change& change : recovery.changes)
        text += "\n" + modem::ChangeName(change) + ": " +
                (change.pending ? "not put back (" + change.reason + ")" : "put back");
      if (recovery.outcome == Outcome::kNotAllPutBack)
        text += "\n\nWhat is not put back is tried again when the tool ends.";
      return text;
    case Outcome::kOtherModem:
      return "A journal of changes to another modem (\"" + recovery.detail + "\") was found at " +
             recovery.path + " and kept; it was not acted on.";
    case Outcome::kNotActedOn:
    case Outcome::kUnreadable:
      text =
          "The journal " + recovery.path + " was kept as it is, not acted on: " + recovery.detail;
      if (!recovery.mend.empty()) text += ". To let the tool read it, run:\n\n" + recovery.mend;
      return text;
    case Outcome::kBad:
      return "The journal " + recovery.path + " could not be read (" + recovery.detail +
             "); it was renamed .bad and not acted on.";
  }
  return text;
}

}  // namespace diagnostics

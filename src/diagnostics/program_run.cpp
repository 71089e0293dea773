#include "diagnostics/program_run.h"

#include "modem/ledger.h"
#include "serial/visible_text.h"

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
                                 : "; kept in its journal " + serial::VisibleText(left.journal);
    for (const modem::Change& change : left.changes)
      lines.push_back("on the modem found before on " + serial::VisibleText(left.device) + ", " +
                      modem::DescribeNotPutBack(change) + kept);
  }
  return lines;
}

std::string DescribeRecovery(const modem::Recovery& recovery) {
  using Outcome = modem::Recovery::Outcome;
  using serial::VisibleText;
  // The path comes from the environment and the detail from the journal's own bytes.
  const std::string path = VisibleText(recovery.path);
  const std::string detail = VisibleText(recovery.detail);
  std::string text;
  switch (recovery.outcome) {
    case Outcome::kPutBack:
    case Outcome::kNotAllPutBack:
      text =
          "The modem still held changes from a run that ended without putting them back "
          "(journal " +
          path + "):\n";
      for (const modem::Change& change : recovery.changes)
        text += "\n" + VisibleText(modem::ChangeName(change)) + ": " +
                (change.pending ? "not put back (" + VisibleText(change.reason) + ")" : "put back");
      if (recovery.outcome == Outcome::kNotAllPutBack)
        text += "\n\nWhat is not put back is tried again when the tool ends.";
      return text;
    case Outcome::kOtherModem:
      return "A journal of changes to another modem (\"" + detail + "\") was found at " + path +
             " and kept; it was not acted on.";
    case Outcome::kNotActedOn:
    case Outcome::kUnreadable:
      text = "The journal " + path + " was kept as it is, not acted on: " + detail;
      if (!recovery.mend.empty())
        text += ". To let the tool read it, run:\n\n" + serial::VisibleText(recovery.mend);
      return text;
    case Outcome::kBad:
      return "The journal " + path + " could not be read (" + detail +
             "); it was renamed .bad and not acted on.";
  }
  return text;
}

}  // namespace diagnostics

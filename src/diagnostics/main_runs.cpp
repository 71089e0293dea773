// The main window's way down to the modem layer.

#include "diagnostics/test_runs.h"
#include "modem/identification_list.h"
#include "modem/put_back.h"
#include "modem/transaction.h"

namespace diagnostics {

void LoadIdentificationList(MainView& view) { modem::LoadIdentificationList(view); }

DetectionResult DetectModem(Session& session, MainView& view) {
  return modem::DetectModem(session, view);
}

void ClosePort(Session& session) { modem::ClosePort(session); }

bool OpenTranscript(Session& session, const char* path, int64_t startMs, std::string* error) {
  return modem::OpenTranscript(session, path, startMs, error);
}

void CloseTranscript(Session& session) { modem::CloseTranscript(session); }

void StopRun(Session& session, bool abandonPutBack) {
  if (abandonPutBack) {
    session.stop.AbandonPutBack();
  } else {
    session.stop.Request();
  }
}

void FinishProgramRun(Session& session) { modem::FinishProgramRun(session); }

std::vector<std::string> NotPutBack(const Session& session) {
  std::vector<std::string> lines;
  for (const modem::Change& change : session.ledger.Changes()) {
    if (change.pending) lines.push_back(modem::DescribeNotPutBack(change));
  }
  return lines;
}

}  // namespace diagnostics

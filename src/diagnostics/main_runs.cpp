// The main window's way down to the modem layer.

#include "diagnostics/test_runs.h"
#include "modem/detection.h"
#include "modem/identification_list.h"
#include "modem/safe_state.h"
#include "modem/transaction.h"

namespace diagnostics {

void LoadIdentificationList(MainView& view) { modem::LoadIdentificationList(view); }

void DetectModem(MainView& view) { modem::DetectModem(view); }

void ClosePort() { modem::ClosePort(); }

bool OpenTranscript(const char* path, int64_t startMs, std::string* error) {
  return modem::OpenTranscript(path, startMs, error);
}

void CloseTranscript() { modem::CloseTranscript(); }

void StopRun(bool abandonPutBack) {
  if (abandonPutBack) {
    modem::AbandonPutBack();
  } else {
    modem::RequestStop();
  }
}

}  // namespace diagnostics

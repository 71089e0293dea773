#include "diagnostics/report_steps.h"

#include "modem/transaction.h"

#include "modem/identification_list.h"
#include "modem/register_snapshot.h"
#include "modem/safe_state.h"
#include "modem/transcript_state.h"

namespace diagnostics {

bool FindIdentificationList(modem::MainView& view, std::string* details) {
  return modem::FindIdentificationList(view.identificationList, details);
}

void NoteIdentificationListUsed(const modem::MainView& view, ReportResult& result) {
  result.listPath = view.identificationList.path;
  result.listCut = modem::IdentificationListCutNote(view.identificationList);
}

std::optional<ReportTranscript> TranscriptForReport() {
  const modem::TranscriptState state = modem::ProgramTranscriptState();
  if (state.path.empty()) return std::nullopt;
  return ReportTranscript{state.path, state.writeError.empty(), state.writeError};
}

std::vector<ReportRegister> SnapshotRegisters() {
  std::vector<ReportRegister> registers;
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    ReportRegister reg{modem::kVendorRegisters[slot].name, {}};
    if (modem::registerSnapshot.hasValue[slot]) reg.value = modem::registerSnapshot.values[slot];
    registers.push_back(reg);
  }
  return registers;
}

std::optional<bool> CheckRegistersRestored(std::vector<RegisterDifference>* differing) {
  // The check belongs to giving the modem back: a stopped run still says whether it worked.
  modem::PutBackScope putBack;
  if (modem::StopCutsWaits()) return std::nullopt;
  bool allAgree = true;
  for (int slot = 0; slot < modem::kSnapshotRegisters; ++slot) {
    // A register the tool could not read was never written either.
    if (!modem::registerSnapshot.hasValue[slot]) continue;
    char after[modem::kSnapshotSlotSize] = {};
    (void)modem::ReadRegisterValue(slot, after);
    if (modem::StopCutsWaits()) return std::nullopt;
    const std::string before = modem::registerSnapshot.values[slot];
    if (before == after) continue;
    allAgree = false;
    differing->push_back({modem::kVendorRegisters[slot].name, before, after});
  }
  return allAgree;
}

bool RunStopRequested() { return modem::StopRequested(); }

std::optional<FailedCommand> FirstTimeOutBetween(int64_t fromMs, int64_t toMs) {
  for (const modem::TimeOut& timeOut : modem::TimeOuts()) {
    if (timeOut.ms >= fromMs && timeOut.ms <= toMs) {
      return FailedCommand{timeOut.command, timeOut.lastLine};
    }
  }
  return std::nullopt;
}

}  // namespace diagnostics

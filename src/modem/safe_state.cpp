#include "modem/safe_state.h"

#include <cstdio>

#include "modem/register_snapshot.h"
#include "modem/transaction.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/message_pump.h"
#include "serial/tty_port.h"

namespace modem {

PendingChanges pendingChanges;

namespace {

constexpr int kTimeoutSeconds = 3;
// The modem takes "+++" as an escape only after a second of silence on the line.
constexpr int kEscapeGuardMs = 1000;
constexpr int kReopenPauseMs = 500;

bool stopRequested = false;
bool putBackAbandoned = false;
int putBackDepth = 0;

bool EndDataMode(int portNumber) {
  Pause(kEscapeGuardMs);
  if (StopCutsWaits() || Transact("+++", "OK", kTimeoutSeconds, 0) != kSeen) ReopenPort(portNumber);
  pendingChanges.dataModePossible = false;
  return WriteBack("&T0", "The loopback test mode");
}

}  // namespace

bool WriteBack(const char* command, const char* what) {
  if (!StopCutsWaits() && Transact(command, "OK", kTimeoutSeconds, 1) == kSeen) return true;
  platform::DebugOutputF("\n%s could not be put back: no \"OK\" to \"%s\"", what, command);
  return false;
}

void RequestStop() {
  stopRequested = true;
  // The wait in progress looks at its condition again at once.
  platform::WakeUiThread();
}

void AbandonPutBack() {
  putBackAbandoned = true;
  RequestStop();
}

bool StopRequested() { return stopRequested; }

bool StopCutsWaits() { return putBackAbandoned || (stopRequested && putBackDepth == 0); }

PutBackScope::PutBackScope() { ++putBackDepth; }
PutBackScope::~PutBackScope() { --putBackDepth; }

void Pause(int ms) {
  int64_t deadline = platform::NowMs() + ms;
  platform::PumpMessages();
  (void)platform::PumpUntil([] { return StopCutsWaits(); }, deadline);
}

void ReopenPort(int portNumber) {
  serial::ttyPort.Close();
  pendingChanges.dataModePossible = false;
  Pause(kReopenPauseMs);
  (void)OpenComPort(portNumber);
  Pause(kReopenPauseMs);
}

bool RestoreCountry() {
  if (!pendingChanges.countryChanged) return true;
  PutBackScope putBack;
  char command[16];
  std::snprintf(command, sizeof command, "%%T19,0,%s", pendingChanges.countryCode);
  if (!WriteBack(command, "The country")) return false;
  pendingChanges.countryChanged = false;
  return true;
}

bool PutModemBack(int portNumber) {
  PutBackScope putBack;
  bool nothingLeft = true;
  bool somethingPending = pendingChanges.dataModePossible || pendingChanges.dialling ||
                          pendingChanges.offHook || pendingChanges.countryChanged;
  for (bool written : registerSnapshot.testValueWritten) somethingPending |= written;
  if (!somethingPending) return true;
  if (!serial::ttyPort.connected.load()) (void)OpenComPort(portNumber);
  if (pendingChanges.dataModePossible) nothingLeft &= EndDataMode(portNumber);
  if (pendingChanges.dialling) {
    // Any character ends a dial; the "H" that follows would lose its first letters to that.
    (void)Transact("\r", "NO CARRIER", kTimeoutSeconds, 0);
    pendingChanges.dialling = false;
    pendingChanges.offHook = true;
  }
  if (pendingChanges.offHook) {
    bool hungUp = WriteBack("H", "The hook");
    pendingChanges.offHook = !hungUp;
    nothingLeft &= hungUp;
  }
  nothingLeft &= RestoreRegisters();
  nothingLeft &= RestoreCountry();
  return nothingLeft;
}

}  // namespace modem

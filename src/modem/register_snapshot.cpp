#include "modem/register_snapshot.h"

#include <cstring>

#include "modem/ledger.h"
#include "modem/put_back.h"
#include "modem/session.h"
#include "modem/transaction.h"
#include "serial/debug_output.h"

namespace modem {

int RegisterSlot(const char* name) {
  for (int i = 0; i < kSnapshotRegisters; ++i) {
    if (std::strcmp(kVendorRegisters[i].name, name) == 0) return i;
  }
  return -1;
}

bool ReadRegisterValue(Session& session, int slot, char (&value)[kSnapshotSlotSize]) {
  std::memset(value, 0, kSnapshotSlotSize);
  if (slot < 0 || slot >= kSnapshotRegisters) return false;
  char read[kReadValueSize] = {};
  if (!ReadHexValue(session, kVendorRegisters[slot].readCommand, 1, read)) return false;
  std::memcpy(value, read, std::strlen(read));
  return true;
}

bool ReadRegisterIntoSnapshot(Session& session, int slot) {
  if (slot < 0 || slot >= kSnapshotRegisters) return false;
  char value[kSnapshotSlotSize] = {};
  const bool valid = ReadRegisterValue(session, slot, value);
  std::memcpy(session.snapshot.values[slot], value, kSnapshotSlotSize);
  session.snapshot.hasValue[slot] = valid;
  return valid;
}

void TakeRegisterSnapshot(Session& session) {
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    // A register still changed holds a test value: the one read before the change is its own.
    const Change* change = session.ledger.Find(ChangeKind::kRegister, kVendorRegisters[slot].name);
    if (change != nullptr && change->pending) {
      std::memset(session.snapshot.values[slot], 0, kSnapshotSlotSize);
      std::memcpy(session.snapshot.values[slot], change->before.data(),
                  std::min<size_t>(change->before.size(), kSnapshotSlotSize - 1));
      session.snapshot.hasValue[slot] = true;
      continue;
    }
    (void)ReadRegisterIntoSnapshot(session, slot);
  }
}

void RereadMissingRegisters(Session& session) {
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    if (!session.snapshot.hasValue[slot]) (void)ReadRegisterIntoSnapshot(session, slot);
  }
}

TestValueWrite WriteTestValue(Session& session, int slot) {
  const VendorRegister& reg = kVendorRegisters[slot];
  if (!session.snapshot.hasValue[slot]) {
    serial::DebugOutputF(
        "\nRegister %s has no value read from the modem: its test value is not written", reg.name);
    return TestValueWrite::kNoValue;
  }
  Change change;
  change.kind = ChangeKind::kRegister;
  change.reg = reg.name;
  // The slot is public and may have been filled to the brim; never read past it.
  change.before.assign(session.snapshot.values[slot],
                       strnlen(session.snapshot.values[slot], kSnapshotSlotSize - 1));
  change.now = reg.testValue;
  return TransactChange(session, change, reg.testCommand, "OK", kCommandTimeoutSeconds) ==
                 WaitResult::kSeen
             ? TestValueWrite::kAnswered
             : TestValueWrite::kFailed;
}

}  // namespace modem

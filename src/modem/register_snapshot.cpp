#include "modem/register_snapshot.h"

#include <cstdio>
#include <cstring>

#include "modem/safe_state.h"
#include "modem/transaction.h"
#include "platform/debug_output.h"

namespace modem {

RegisterSnapshot registerSnapshot;

namespace {

constexpr int kTimeoutSeconds = 3;

int SlotOf(const char* reg) {
  for (int i = 0; i < kSnapshotRegisters; ++i) {
    if (std::strcmp(kVendorRegisters[i].name, reg) == 0) return i;
  }
  return -1;
}

bool ReadSlot(int slot) {
  char value[kReadValueSize] = {};
  bool valid = ReadHexValue(kVendorRegisters[slot].readCommand, 1, value);
  std::memset(registerSnapshot.values[slot], 0, kSnapshotSlotSize);
  if (valid) std::memcpy(registerSnapshot.values[slot], value, std::strlen(value));
  registerSnapshot.hasValue[slot] = valid;
  return valid;
}

}  // namespace

bool SaveRegister(const char* reg) {
  int slot = SlotOf(reg);
  return slot >= 0 && ReadSlot(slot);
}

bool ReadRegisterValue(int slot, char (&value)[kSnapshotSlotSize]) {
  std::memset(value, 0, kSnapshotSlotSize);
  if (slot < 0 || slot >= kSnapshotRegisters) return false;
  char read[kReadValueSize] = {};
  if (!ReadHexValue(kVendorRegisters[slot].readCommand, 1, read)) return false;
  std::memcpy(value, read, std::strlen(read));
  return true;
}

void TakeRegisterSnapshot() {
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    // A register whose test value could not be put back may still hold it: its read value is
    // the one to keep.
    if (!registerSnapshot.testValueWritten[slot]) (void)ReadSlot(slot);
  }
}

void RereadMissingRegisters() {
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    if (!registerSnapshot.hasValue[slot]) (void)ReadSlot(slot);
  }
}

bool WriteTestValue(int slot) {
  const VendorRegister& reg = kVendorRegisters[slot];
  if (!registerSnapshot.hasValue[slot]) {
    platform::DebugOutputF(
        "\nRegister %s has no value read from the modem: its test value is "
        "not written",
        reg.name);
    return true;
  }
  if (StopCutsWaits()) return false;
  registerSnapshot.testValueWritten[slot] = true;
  return Transact(reg.testCommand, "OK", kTimeoutSeconds, 1) == kSeen;
}

bool RestoreRegisters() {
  PutBackScope putBack;
  bool allAnswered = true;
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    if (!registerSnapshot.testValueWritten[slot] || !registerSnapshot.hasValue[slot]) continue;
    // The slot is public and may have been filled to the brim; never read past it.
    char value[kSnapshotSlotSize] = {};
    std::memcpy(value, registerSnapshot.values[slot], kSnapshotSlotSize - 1);
    char command[32];
    // The value came from the modem: it is an argument, never part of the format.
    std::snprintf(command, sizeof command, kVendorRegisters[slot].restoreFormat, value);
    char what[16];
    std::snprintf(what, sizeof what, "Register %s", kVendorRegisters[slot].name);
    if (!WriteBack(command, what)) {
      allAnswered = false;
      continue;
    }
    registerSnapshot.testValueWritten[slot] = false;
  }
  return allAnswered;
}

}  // namespace modem

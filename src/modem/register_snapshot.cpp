#include "modem/register_snapshot.h"

#include <cstdio>
#include <cstring>

#include "modem/transaction.h"
#include "serial/response_capture.h"

namespace modem {

RegisterSnapshot registerSnapshot;

namespace {

struct VendorRegister {
  const char* name;
  const char* readCommand;
  // A space stands where the '%' of the command goes: the text is built by a printf-style
  // format, in which a literal '%' would be taken as a conversion.
  const char* restoreFormat;
};

constexpr VendorRegister kRegisters[kSnapshotRegisters] = {
    {"18", "%T22,18", " T21,18,%s"},
    {"29", "%T22,29", " T21,29,%s"},
    {"2A", "%T22,2A", " T21,2A,%s"},
    {"20", "%T22,20", " T21,20,%s"},
};

constexpr int kTimeoutSeconds = 3;

int SlotOf(const char* reg) {
  for (int i = 0; i < kSnapshotRegisters; ++i) {
    if (std::strcmp(kRegisters[i].name, reg) == 0) return i;
  }
  return -1;
}

void StorePrefix(int slot) {
  char prefix[serial::kCapturedPrefixSize] = {};
  serial::responseCapture.CopyPrefix(prefix);
  std::snprintf(registerSnapshot.values[slot], kSnapshotSlotSize, "%s", prefix);
}

}  // namespace

void SaveRegister(const char* reg) {
  int slot = SlotOf(reg);
  if (slot < 0) return;
  (void)Transact(kRegisters[slot].readCommand, "OK", kTimeoutSeconds, 1);
  StorePrefix(slot);
}

void TakeRegisterSnapshot() {
  serial::responseCapture.captureEnabled = 1;
  for (int slot = 0; slot < kSnapshotRegisters - 1; ++slot) SaveRegister(kRegisters[slot].name);
  int last = kSnapshotRegisters - 1;
  (void)Transact(kRegisters[last].readCommand, "OK", kTimeoutSeconds, 1);
  serial::responseCapture.captureEnabled = 0;
  StorePrefix(last);
}

void RestoreRegisters() {
  for (int slot = 0; slot < kSnapshotRegisters; ++slot) {
    // The slot is public and may have been filled to the brim; never read past it.
    char value[kSnapshotSlotSize] = {};
    std::memcpy(value, registerSnapshot.values[slot], kSnapshotSlotSize - 1);
    char command[32];
    // The value came from the modem: it is an argument, never part of the format.
    std::snprintf(command, sizeof command, kRegisters[slot].restoreFormat, value);
    command[0] = '%';
    (void)Transact(command, "OK", kTimeoutSeconds, 1);
  }
}

}  // namespace modem

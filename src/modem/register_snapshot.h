#pragma once
// The vendor registers 18, 29, 2A and 20: read at detection, set to test values by the basic
// function and line tests, and written back with the values read.

namespace modem {

inline constexpr int kSnapshotRegisters = 4;
inline constexpr int kSnapshotSlotSize = 4;  // at most 3 characters and a NUL

// One register: its name, how it is read, the test value the tests write, and the format that
// writes a read value back.
struct VendorRegister {
  const char* name;
  const char* readCommand;
  const char* testCommand;
  const char* restoreFormat;  // printf format taking the value as its one %s
};

inline constexpr VendorRegister kVendorRegisters[kSnapshotRegisters] = {
    {"18", "%T22,18", "%T21,18,0", "%%T21,18,%s"},
    {"29", "%T22,29", "%T21,29,1", "%%T21,29,%s"},
    {"2A", "%T22,2A", "%T21,2A,41", "%%T21,2A,%s"},
    {"20", "%T22,20", "%T21,20,0", "%%T21,20,%s"},
};

struct RegisterSnapshot {
  char values[kSnapshotRegisters][kSnapshotSlotSize] = {};  // registers 18, 29, 2A, 20 in order
  // A slot holds a value only when the modem answered this read with one or two hexadecimal
  // digits after its echo and ended it with "OK". A slot without one is never written back.
  bool hasValue[kSnapshotRegisters] = {};
  // The test value was sent, so the modem may hold it until the restore.
  bool testValueWritten[kSnapshotRegisters] = {};
};
extern RegisterSnapshot registerSnapshot;

// Reads one register ("18", "29", "2A" or "20"; any other name does nothing) with "%T22,<reg>"
// and keeps its value when the answer is valid (see RegisterSnapshot); otherwise the slot is
// left without a value. Switches the capture on and off itself. True when a value was kept.
// UI thread; pumps messages for up to 3.1 s.
bool SaveRegister(const char* reg);

// Reads register `slot` (0..3) once more into value, leaving the snapshot as it is: after a run,
// to see whether the modem holds what was read at detection. True with one or two hexadecimal
// digits in value; false with value empty when no valid answer came. UI thread; up to 3.1 s.
[[nodiscard]] bool ReadRegisterValue(int slot, char (&value)[kSnapshotSlotSize]);

// The snapshot of a found modem: the reads of 18, 29, 2A and 20 in that order; the capture is
// off again afterwards. UI thread; up to 12.4 s.
void TakeRegisterSnapshot();

// Before a test writes its test values: every slot without a value is read again. UI thread.
void RereadMissingRegisters();

// Sends the test value of register `slot` (0..3) and waits up to 3 s for "OK". A register
// without a read value is left alone: nothing is sent, one debug text names it, and it counts as
// answered so the test goes on. False only on a time-out. UI thread.
bool WriteTestValue(int slot);

// Writes back, in the order 18, 29, 2A, 20, each register whose test value was written, with its
// own read value, each waiting up to 3 s for "OK"; a stop request does not cut it short. True
// when every write was answered; one that was not is named on the debug output. UI thread.
bool RestoreRegisters();

}  // namespace modem

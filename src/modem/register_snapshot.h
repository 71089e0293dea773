#pragma once
// The vendor registers 18, 29, 2A and 20: read at detection, set to test values by the basic
// function and line tests, and written back with the values read.

namespace modem {

class Session;

inline constexpr int kSnapshotRegisters = 4;
inline constexpr int kSnapshotSlotSize = 4;  // at most 3 characters and a NUL

// One register: its name, how it is read, the test value the tests write, and the format that
// writes a read value back.
struct VendorRegister {
  const char* name;
  const char* readCommand;
  const char* testCommand;
  const char* testValue;
  const char* restoreFormat;  // printf format taking the value as its one %s
};

inline constexpr VendorRegister kVendorRegisters[kSnapshotRegisters] = {
    {"18", "%T22,18", "%T21,18,0", "0", "%%T21,18,%s"},
    {"29", "%T22,29", "%T21,29,1", "1", "%%T21,29,%s"},
    {"2A", "%T22,2A", "%T21,2A,41", "41", "%%T21,2A,%s"},
    {"20", "%T22,20", "%T21,20,0", "0", "%%T21,20,%s"},
};

// The slot (0..3) of a register name, or -1.
[[nodiscard]] int RegisterSlot(const char* name);

struct RegisterSnapshot {
  char values[kSnapshotRegisters][kSnapshotSlotSize] = {};  // registers 18, 29, 2A, 20 in order
  // A slot holds a value only when the modem answered this read with one or two hexadecimal
  // digits after its echo and ended it with "OK". A slot without one is never written back.
  bool hasValue[kSnapshotRegisters] = {};
};

// Reads register `slot` (0..3) into the snapshot when the answer is valid (see
// RegisterSnapshot); otherwise the slot is left without a value. True when a value was kept.
// UI thread; pumps messages for up to 3.1 s.
bool ReadRegisterIntoSnapshot(Session& session, int slot);

// Reads register `slot` (0..3) once more into value, leaving the snapshot as it is: after a run,
// to see whether the modem holds what was read at detection. True with one or two hexadecimal
// digits in value; false with value empty when no valid answer came. UI thread; up to 3.1 s.
[[nodiscard]] bool ReadRegisterValue(Session& session, int slot, char (&value)[kSnapshotSlotSize]);

// The snapshot of a found modem: the reads of 18, 29, 2A and 20 in that order; a register the
// ledger still holds as changed (a put-back that failed, or a journal's) keeps the value read
// before that change instead. UI thread; up to 12.4 s.
void TakeRegisterSnapshot(Session& session);

// Before a test writes its test values: every slot without a value is read again. UI thread.
void RereadMissingRegisters(Session& session);

enum class TestValueWrite {
  kAnswered,  // the modem answered "OK": the register holds its test value
  kNoValue,   // no value was read from the modem, so none is written and none put back
  kFailed,    // sent and not answered, or stopped before it went out
};

// Sends the test value of register `slot` (0..3), entered in the ledger just before, and waits
// up to 3 s for "OK". A register without a read value is left alone: nothing is sent and one
// debug text names it. UI thread.
[[nodiscard]] TestValueWrite WriteTestValue(Session& session, int slot);

}  // namespace modem

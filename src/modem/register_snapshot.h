#pragma once
// The vendor registers 18, 29, 2A and 20: read at detection, written back after the tests that
// change them.

namespace modem {

inline constexpr int kSnapshotRegisters = 4;
inline constexpr int kSnapshotSlotSize = 4;  // at most 3 characters and a NUL

struct RegisterSnapshot {
  char values[kSnapshotRegisters][kSnapshotSlotSize] = {};  // registers 18, 29, 2A, 20 in order
};
extern RegisterSnapshot registerSnapshot;

// Reads one register ("18", "29", "2A" or "20"; any other name does nothing) with "%T22,<reg>"
// and stores in its slot the first two characters of the second line of the answer, whatever
// the capture holds after the read (its outcome is not examined). Needs captureEnabled set by
// the caller. UI thread; pumps messages for up to 3.1 s.
void SaveRegister(const char* reg);

// The snapshot of a found modem: captureEnabled 1, the reads of 18, 29, 2A and 20 in that order,
// captureEnabled back to 0 before the last value is stored. UI thread; up to 12.4 s.
void TakeRegisterSnapshot();

// Writes all four slots back with "at%T21,<reg>,<value>", in the order 18, 29, 2A, 20, each
// waiting up to 3 s for "OK"; outcomes ignored, so all four are always sent. An empty slot is
// written with nothing after the second comma. UI thread; pumps messages, up to 12.4 s.
void RestoreRegisters();

}  // namespace modem

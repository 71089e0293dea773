#pragma once
// The vendor registers 18, 29, 2A and 20: read at detection, written back after the tests that
// change them.

namespace modem {

struct RegisterSnapshot {
  char values[4][4] = {};  // registers 18, 29, 2A, 20 in that order; at most 3 characters each
};
extern RegisterSnapshot registerSnapshot;

// Reads one register ("18", "29", "2A" or "20") into its slot: the first two characters of the
// second line of the answer. Needs captureEnabled set by the caller. UI thread.
void SaveRegister(const char* reg);

// Writes all four slots back, in the order 18, 29, 2A, 20, each waiting up to 3 s for "OK";
// outcomes ignored. UI thread.
void RestoreRegisters();

}  // namespace modem

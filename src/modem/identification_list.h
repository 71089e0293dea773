#pragma once
// The identification list: the lines of ati3.dat that an "I3" answer is matched against.

namespace modem {

inline constexpr int kMaxIdentificationLines = 30;
inline constexpr int kIdentificationLineSize = 80;  // 79 characters and a NUL

struct IdentificationList {
  int count = 0;
  char lines[kMaxIdentificationLines][kIdentificationLineSize] = {};
};

// Reads "ati3.dat" from the current directory into list. Returns true when the file was read;
// false when it is missing, a directory or unreadable (list left with count 0). The caller
// shows "Ati3.dat missing !" and ends the process.
[[nodiscard]] bool ReadIdentificationFile(const char* path, IdentificationList& list);

}  // namespace modem

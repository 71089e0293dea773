#pragma once
// The identification list: the lines of ati3.dat that an "I3" answer is matched against.

#include <string>

namespace modem {

class MainView;

inline constexpr int kMaxIdentificationLines = 30;
inline constexpr int kIdentificationLineSize = 80;  // 79 characters and a NUL

struct IdentificationList {
  int count = 0;
  char lines[kMaxIdentificationLines][kIdentificationLineSize] = {};
};

// Reads the identification file at path (the tool passes "ati3.dat") into list, as a Windows
// text-mode read sees it: CR LF is LF, Ctrl-Z ends the file; at most 30 entries of at most 79
// characters, each cut at its first newline. An entry with no text (a blank line, or a line that
// starts with a NUL byte) is kept as "\n", which never matches. Returns true when the file was
// read; false when it is missing, not a regular file (a directory, a FIFO, a device; a symbolic
// link counts as what it points to) or unreadable (list left empty, count 0). The caller shows
// "Ati3.dat missing !" and ends the process. Any thread; touches only list.
[[nodiscard]] bool ReadIdentificationFile(const char* path, IdentificationList& list);

// Fills list from the first "ati3.dat" found (see LoadIdentificationList). False when there is
// none or it cannot be read; then *details says where it was looked for and, when one was found,
// that it could not be read. Shows nothing. Any thread.
[[nodiscard]] bool FindIdentificationList(IdentificationList& list, std::string* details);

// Fills view.identificationList from the first "ati3.dat" found: the working directory, then
// the configuration and data directories (platform/data_files.h; see ReadIdentificationFile).
// When there is none, or it cannot be read: shows "Ati3.dat missing !" through
// view.ShowMessageBox with no caption of its own (the application's name), an OK button and the
// places looked in as details, then ends the process with status 0. UI thread.
void LoadIdentificationList(MainView& view);

}  // namespace modem

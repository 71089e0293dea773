#pragma once
// The identification list: the lines of ati3.dat that an "I3" answer is matched against.

#include <cstdint>
#include <string>

#include "serial/line_assembler.h"

namespace modem {

class MainView;

inline constexpr int kMaxIdentificationLines = 30;
// A line of the list is matched against the modem's lines: it has their size.
inline constexpr int kIdentificationLineSize = serial::kLineSize;

// The largest ati3.dat read: 30 entries of 79 characters take about 2.4 KB.
inline constexpr int64_t kMaxIdentificationFileBytes = 64 * 1024;

struct IdentificationList {
  int count = 0;
  char lines[kMaxIdentificationLines][kIdentificationLineSize] = {};
  // What was read, for the people reading the debug output, the boxes and the report; matching
  // never looks at these.
  std::string path;        // the file, absolute when it was found by the search
  int entriesIgnored = 0;  // entries past the 30th, left out
  int linesSplit = 0;      // lines longer than 79 characters, continued as further entries
};

// Reads the identification file at path (the tool passes "ati3.dat") into list. A line of the
// file ends with CR LF or LF, and a Ctrl-Z ends the file; at most 30 entries of at most 79
// characters, each cut at its first newline. An entry with no text (a blank line, or a line that
// starts with a NUL byte) is kept as "\n", which never matches. Returns true when the file was
// read (list.path is path; entriesIgnored and linesSplit count what was cut); false when it is
// missing, not a regular file (a directory, a FIFO, a device, a symbolic link), larger than
// kMaxIdentificationFileBytes or unreadable (list left empty, count 0, the reason in *reason when
// given). The caller shows "Ati3.dat missing !" and ends the process. Any thread; touches only
// list.
[[nodiscard]] bool ReadIdentificationFile(const char* path, IdentificationList& list,
                                          std::string* reason = nullptr);

// "Identification list: PATH (N entries)". The path as it is: show it with
// serial::VisibleText. Any thread.
[[nodiscard]] std::string DescribeIdentificationList(const IdentificationList& list);
// When something was cut, one line: "PATH: 3 entries past the 30th ignored; 1 line longer than 79
// characters continued as further entries"; empty when nothing was. The path as it is, as above.
[[nodiscard]] std::string IdentificationListCutNote(const IdentificationList& list);

// One line per place fileName is looked for (platform::DataFileCandidates), in search order, for
// a "missing" message or a listing: the working directory's entry names the directory it stands
// for. Paths shown with serial::VisibleText. No trailing newline. Any thread.
[[nodiscard]] std::string DescribeDataFileCandidates(const char* fileName);

// Fills list from the first "ati3.dat" found (see LoadIdentificationList). A list that another
// user than root or this one owns, or that others than its owner can write, is refused like an
// unreadable one (platform::UntrustedFileReason). False when there is none or it cannot be used;
// then *details says where it was looked for and, when one was found, why it could not be used.
// Shows nothing. Any thread.
[[nodiscard]] bool FindIdentificationList(IdentificationList& list, std::string* details);

// Fills view.identificationList from the first "ati3.dat" found: the working directory, then
// the configuration and data directories (platform/data_files.h; see ReadIdentificationFile).
// When there is none, or it cannot be read: shows "Ati3.dat missing !" through
// view.ShowListMissing with the places looked in as details, then ends the process with status 0.
// UI thread.
void LoadIdentificationList(MainView& view);

}  // namespace modem

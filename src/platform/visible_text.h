#pragma once
// Text that did not come from the tool itself (a modem's answer, a process name, a sysfs field,
// a path, a line of a configuration file) as it may be shown on a terminal or in a dialog: a
// terminal acts on control bytes (a title, a cleared screen, a moved cursor), and invalid UTF-8
// is shown as whatever the terminal guesses. JSON keeps such text exact; this is for people.

#include <string>
#include <string_view>

namespace platform {

// Printable ASCII and valid UTF-8 as they are, with these made visible: a backslash as "\\";
// TAB, LF, CR as "\t", "\n", "\r"; any other C0 byte, DEL and each byte of invalid UTF-8 as
// "\xHH"; C1 controls and the characters that reorder or break a line (bidirectional marks and
// overrides, U+2028, U+2029) as "\uHHHH". The result holds no control character at all, so it
// stays on the line it is written to. Any thread.
[[nodiscard]] std::string VisibleText(std::string_view text);

}  // namespace platform

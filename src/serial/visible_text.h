#pragma once
// Text that did not come from the tool itself (a modem's answer, a process name, a sysfs field,
// a path, a line of a configuration file) as it may be shown on a terminal, in a dialog or in
// the transcript: a terminal acts on control bytes (a title, a cleared screen, a moved cursor),
// and invalid UTF-8 is shown as whatever the terminal guesses. JSON keeps such text exact; these
// are for people and for the transcript. Both renderings share one per-byte rule and differ only
// in what they do with bytes past ASCII. Any thread.

#include <string>
#include <string_view>

namespace serial {

// Printable ASCII and valid UTF-8 as they are, with these made visible: a backslash as "\\";
// TAB, LF, CR as "\t", "\n", "\r"; any other C0 byte, DEL and each byte of invalid UTF-8 as
// "\xHH"; C1 controls and the characters that reorder or break a line (bidirectional marks and
// overrides, U+2028, U+2029) as "\uHHHH". The result holds no control character at all, so it
// stays on the line it is written to.
[[nodiscard]] std::string VisibleText(std::string_view text);

// Printable ASCII as it is; backslash as "\\"; CR, LF, TAB as "\r", "\n", "\t"; any other byte
// as "\xHH" (upper-case hex). The result is one line of printable ASCII.
[[nodiscard]] std::string EscapeTranscriptText(std::string_view text);

}  // namespace serial

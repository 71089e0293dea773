#pragma once
// Standard error, written in one place: every text the program puts there (usage errors, a
// report's progress and questions, debug texts, boxes shown without a display) goes through
// WriteStandardError, so no two texts ever mix, whichever threads write them.

#include <string_view>

namespace platform {

// Writes text to standard error exactly as given, bytes unchanged; a text meant as a line ends
// with its own newline. Texts never interleave: one writer at a time, and a text is written
// whole (EINTR and short writes continue it), normally with a single write(). A standard error
// that stays unwritable for a second, or fails, loses the rest of that text and nothing else.
// Any thread.
void WriteStandardError(std::string_view text);

}  // namespace platform

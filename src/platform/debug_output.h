#pragma once
// The debugger output stream: each text is one write() to standard error, so texts from two
// threads never interleave.

namespace platform {

void DebugOutput(const char* text);

// Formats with one of the program's own fixed formats (never a received text) and writes it as
// one text; the result is cut at 511 characters.
[[gnu::format(printf, 1, 2)]] void DebugOutputF(const char* format, ...);

}  // namespace platform

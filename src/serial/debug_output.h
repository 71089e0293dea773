#pragma once
// The debug texts, on standard error: each text is one line, written whole through
// platform::WriteStandardError, so texts from two threads never interleave and the next text, or a
// line the program writes there itself, starts on a line of its own.

namespace serial {

// Writes text as one line: CR and LF at its start and end are dropped (a caller's text may
// bring line breaks of its own at either end) and a newline is put at its end; whatever else it
// holds is shown with VisibleText, since texts name paths, devices and process names that come from
// outside. An empty text writes nothing. Any thread.
void DebugOutput(const char* text);

// Whether the texts reach standard error (platform::StandardErrorStream::ShowDebugTexts, which
// keeps the switch): they do unless a run that says the same to a person in its own lines (the
// report, the port listing) turns them off. Set once at start, before any thread.
void ShowDebugOutput(bool shown);

// A text the user must hear whatever the switch above says (a record that is incomplete, a
// journal that cannot be kept): written as DebugOutput writes it, always.
void WarningOutput(const char* text);
[[gnu::format(printf, 1, 2)]] void WarningOutputF(const char* format, ...);

// Formats with one of the program's own fixed formats (never a received text) and writes it as
// one text; the result is cut at 511 characters.
[[gnu::format(printf, 1, 2)]] void DebugOutputF(const char* format, ...);

}  // namespace serial

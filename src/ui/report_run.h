#pragma once
// The run without a display (--report): the dialogs' detection and tests on a QCoreApplication,
// asking its questions on the terminal, and the report on standard output.

#include <cstdint>

#include "ui/command_line.h"

namespace ui {

// Runs the report that line asks for and returns the exit status (diagnostics/exit_status.h):
// 1 without output when another copy runs, 3 with the places looked in on standard error when
// ati3.dat is missing, 128 + n after signal n once the modem is put back. Progress lines go to
// standard error only when it is a terminal. Creates the application itself; argc and argv as
// main got them. With --transcript the file is opened once this copy is the only one, its times
// counting from startMs (platform::NowMs()); 1 with a line on standard error when it cannot be.
// Main thread.
[[nodiscard]] int RunReport(int argc, char** argv, const CommandLine& line, int64_t startMs);

}  // namespace ui

#pragma once
// The run without a display (--report): the dialogs' detection and tests on a QCoreApplication,
// asking its questions on the terminal, and the report on standard output.

#include <cstdint>
#include <string>

#include "diagnostics/port_setup.h"
#include "diagnostics/report_document.h"
#include "ui/command_line.h"

namespace ui {

// Runs the report that line asks for and returns the exit status (diagnostics/exit_status.h):
// 75 when another copy runs, 3 with the places looked in on standard error when
// ati3.dat is missing, 128 + n after signal n once the modem is put back. Progress lines go to
// standard error only when it is a terminal. Creates the application itself; argc and argv as
// main got them. With --transcript the file is opened once this copy is the only one, its times
// counting from startMs (platform::NowMs()); 73 with a line on standard error when it cannot be.
// With --json every way out writes one document on standard output. ports maps the COM names as
// the command line says; the run reads ports.conf into its own copy. Main thread.
[[nodiscard]] int RunReport(int argc, char** argv, const CommandLine& line, int64_t startMs,
                            const serial::PortMap& ports);

// Reads ports.conf into ports (diagnostics::LoadPortsConfig) and says each of its problems on
// standard error. Called only once this copy may run (after the refusals of a second window and a
// second copy): a refused start reads no file and says nothing of it. Main thread.
void LoadPortsConfigSayingProblems(serial::PortMap& ports);

// The fields that say which machine a document is from and when: version, host name, machine
// ID, the program's start (startMs, platform::NowMs() then) in UTC and the time since. Any thread.
[[nodiscard]] diagnostics::ReportResult ReportIdentity(int64_t startMs);

// Writes the document of a run that could not run (ReportErrorJson) on standard output.
void WriteReportError(const char* kind, const std::string& message, int status, int64_t startMs);

}  // namespace ui

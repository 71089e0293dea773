#pragma once
// --list-ports --probe: every serial device and mapped COM port asked whether it is a modem
// (modem/port_probe.h), shown as text or, with --json, one document (docs/report.md).

#include "diagnostics/port_setup.h"

namespace ui {

// Runs the probe and writes what it found on standard output. 0 when it ran to its end;
// 128 + n after signal n (SIGINT, SIGTERM, SIGHUP), with every device closed and the results it
// had. ports maps the COM names. Creates the application itself; argc and argv as main got them.
// Main thread.
[[nodiscard]] int RunPortProbe(int argc, char** argv, bool json, const serial::PortMap& ports);

}  // namespace ui

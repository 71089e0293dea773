#pragma once
// The documents of --list-ports --probe: what the probe of every serial device and mapped COM
// port found (modem/port_probe.h), as text or as one JSON document (docs/report.md). Any thread;
// touches nothing but its arguments and the names of the user's files.

#include <QByteArray>
#include <string>
#include <vector>

#include "modem/port_probe.h"
#include "serial/port_names.h"

namespace diagnostics {

struct ProbeReport {
  std::vector<modem::ProbeResult> results;
  std::vector<std::string> portsConfLines;  // per result: for a modem, else empty
  bool listFound = false;
  std::string listPath;  // the identification list used, absolute
  int stoppedBy = 0;     // the signal that stopped the probe; 0 when none did
};

// Fills report.portsConfLines: for each modem the ports.conf line that maps it, with the COM name
// ports already gives it, or else one of the names offered to an untried device.
void AddPortsConfLines(ProbeReport& report, const serial::PortMap& ports);

// The listing of each device's verdict with the lines to add, where ports.conf and ati3.dat are
// read, and the signal that stopped the probe. Outside text made visible.
[[nodiscard]] std::string ProbeReportText(const ProbeReport& report);
// The same as one indented JSON document ending with a newline.
[[nodiscard]] QByteArray ProbeReportJson(const ProbeReport& report);

}  // namespace diagnostics

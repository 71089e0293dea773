#pragma once
// The text of --list-ports: COM1 to COM9 with the device each stands for and why, then every
// serial device of the system with its driver, USB id, by-id name, what /dev/modem points to,
// whether it is the kernel's console or an unconnected Bluetooth link, the COM names that map to
// it through ports, and whether it can be opened now (the verdicts of the report). Opens and
// closes each device once. UI thread, at start.

#include <QByteArray>
#include <string>

#include "serial/port_names.h"

namespace diagnostics {

[[nodiscard]] std::string PortListingText(const serial::PortMap& ports);

// The same listing as one JSON document (--list-ports --json): "ports", COM1 to COM9 with port,
// device, source, verdict and reason; "devices", each with device, driver, usbId, byId and
// linkTarget (null when unknown), console and bluetoothIdle, comNames and the same verdict and
// reason. Indented, ending with a newline.
[[nodiscard]] QByteArray PortListingJson(const serial::PortMap& ports);

}  // namespace diagnostics

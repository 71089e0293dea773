#pragma once
// The serial devices of the system that no COM name maps to, which detection therefore never
// tries, each with the --port option and the ports.conf line that would make detection try it.

#include <string>
#include <vector>

#include "serial/port_names.h"

namespace modem {

struct UntriedDevice {
  std::string devicePath;  // "/dev/ttyACM0", as the user names it
  std::string driver;      // "cdc_acm"; empty when unknown
  std::string comName;     // the COM name suggested for it: "COM3"
};

// The devices of platform::ListSerialPorts whose file no COM name (COM1 to COM9) resolves to
// through ports, each file once, each given its own name of SuggestedComNames. Reads the
// system's device list and resolves links; opens nothing. Any thread.
[[nodiscard]] std::vector<UntriedDevice> UntriedDevices(const serial::PortMap& ports);

// The COM names to offer a device, best first: those of the probe order whose device (through
// ports) is missing, then the rest of the probe order. Any thread.
[[nodiscard]] std::vector<std::string> SuggestedComNames(const serial::PortMap& ports);

// "--port COM3=/dev/ttyACM0" and "COM3=/dev/ttyACM0" (the ports.conf line), exact.
[[nodiscard]] std::string PortOptionFor(const std::string& comName, const std::string& device);
[[nodiscard]] std::string PortsConfLineFor(const std::string& comName, const std::string& device);

// For the details of "Can not find ...": a heading line, then one line per device with both
// ways to try it and where ports.conf is read; paths shown with serial::VisibleText. Empty
// when devices is.
[[nodiscard]] std::string UntriedDetails(const std::vector<UntriedDevice>& devices);

}  // namespace modem

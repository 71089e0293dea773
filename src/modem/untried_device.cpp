#include "modem/untried_device.h"

#include <algorithm>
#include <set>

#include "modem/detection.h"
#include "platform/serial_ports.h"
#include "serial/port_names.h"
#include "serial/visible_text.h"

namespace modem {
namespace {

std::string ComName(int number) { return "COM" + std::to_string(number); }

}  // namespace

// A COM name whose device is missing can be given to another device without hiding one; after
// those, the probe order, so the device is tried early.
std::vector<std::string> SuggestedComNames(const serial::PortMap& ports) {
  std::vector<std::string> names;
  for (int number : kPortProbeOrder) {
    const std::string name = ComName(number);
    if (!platform::PathExists(ports.DevicePathFor(name.c_str()))) names.push_back(name);
  }
  for (int number : kPortProbeOrder) {
    const std::string name = ComName(number);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::vector<UntriedDevice> UntriedDevices(const serial::PortMap& ports) {
  std::set<std::string> seen;
  for (int n = 1; n <= serial::kMaxComNumber; ++n)
    seen.insert(platform::ResolvedPath(ports.DevicePathFor(ComName(n).c_str())));
  const std::vector<std::string> names = SuggestedComNames(ports);
  std::vector<UntriedDevice> devices;
  for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) {
    if (!seen.insert(platform::ResolvedPath(port.nodePath)).second) continue;
    UntriedDevice device{port.devicePath, port.driver, {}};
    device.comName = names[std::min(devices.size(), names.size() - 1)];
    devices.push_back(std::move(device));
  }
  return devices;
}

std::string PortOptionFor(const std::string& comName, const std::string& device) {
  return "--port " + PortsConfLineFor(comName, device);
}

std::string PortsConfLineFor(const std::string& comName, const std::string& device) {
  return comName + "=" + device;
}

std::string UntriedDetails(const std::vector<UntriedDevice>& devices) {
  if (devices.empty()) return {};
  const std::string conf = serial::PortsConfigPath();
  std::string text = "Serial devices that no COM name maps to, not tried:";
  for (const UntriedDevice& device : devices) {
    const std::string path = serial::VisibleText(device.devicePath);
    text += "\n  " + path;
    if (!device.driver.empty()) text += " (" + serial::VisibleText(device.driver) + ")";
    text += ": to try it, run with " + PortOptionFor(device.comName, path) + ", or add the line " +
            PortsConfLineFor(device.comName, path) + " to " +
            (conf.empty() ? std::string("ports.conf") : serial::VisibleText(conf));
  }
  return text;
}

}  // namespace modem

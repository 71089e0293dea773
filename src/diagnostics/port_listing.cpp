#include "diagnostics/port_listing.h"

#include <string>
#include <vector>

#include "modem/port_verdict.h"
#include "platform/port_check.h"
#include "platform/serial_ports.h"
#include "serial/port_names.h"
#include "serial/visible_text.h"

namespace diagnostics {
namespace {

std::string ComName(int number) { return "COM" + std::to_string(number); }

// Paths, sysfs fields and by-id names come from outside: a terminal must not act on them.
std::string Shown(const std::string& text) { return serial::VisibleText(text); }

// "Ports (first found: --port, KALVEX_COMn, ...):": the words shown in brackets after each port,
// in the order they are tried.
std::string Header() {
  std::string words;
  for (const serial::PortSourceEntry& entry : serial::kPortSources)
    words += (words.empty() ? "" : ", ") + std::string(entry.word);
  return "Ports (first found: " + words + "):\n";
}

}  // namespace

std::string PortListingText(const serial::PortMap& ports) {
  std::string text = Header();
  std::vector<std::string> resolvedCom(serial::kMaxComNumber + 1);
  for (int n = 1; n <= serial::kMaxComNumber; ++n) {
    const std::string com = ComName(n);
    const serial::ResolvedPort port = ports.Resolve(com.c_str());
    resolvedCom[n] = platform::ResolvedPath(port.path);
    text += "  " + com + "  " + Shown(port.path) + "  [" +
            serial::PortSourceName(port.source, com.c_str()) + "]  " +
            modem::OpenCheckReason(platform::CheckPortOpen(port.path.c_str())) + "\n";
  }
  const std::vector<platform::SerialPortInfo> devices = platform::ListSerialPorts();
  text += "Serial devices:\n";
  if (devices.empty()) text += "  none found\n";
  for (const platform::SerialPortInfo& device : devices) {
    text += "  " + Shown(device.devicePath);
    if (!device.linkTarget.empty()) text += " -> " + Shown(device.linkTarget);
    text += "  driver " + (device.driver.empty() ? std::string("unknown") : Shown(device.driver));
    if (!device.usbId.empty()) text += "  usb " + Shown(device.usbId);
    if (!device.byId.empty()) text += "  by-id " + Shown(device.byId);
    if (device.console) text += "  the kernel's console";
    if (device.bluetoothIdle) text += "  Bluetooth, not connected";
    const std::string resolved = platform::ResolvedPath(device.nodePath);
    std::string coms;
    for (int n = 1; n <= serial::kMaxComNumber; ++n) {
      if (resolvedCom[n] == resolved) coms += (coms.empty() ? "" : ",") + ComName(n);
    }
    text += "  " + (coms.empty() ? std::string("no COM name") : coms);
    text += "  " + modem::OpenCheckReason(platform::CheckPortOpen(device.nodePath.c_str()));
    text += "\n";
  }
  return text;
}

}  // namespace diagnostics

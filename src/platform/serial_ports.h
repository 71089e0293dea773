#pragma once
// The serial devices the system has, from /sys/class/tty: the UARTs that really exist, ttyACM*,
// ttyUSB*, ttySL* and rfcomm*, with their driver, USB vendor:product and /dev/serial/by-id name.
// $KALVEX_SYSFS_ROOT, when set, is put in front of /sys and /dev (a test's fake tree). Any thread.

#include <string>
#include <vector>

namespace platform {

struct SerialPortInfo {
  std::string name;        // "ttyACM0"
  std::string devicePath;  // "/dev/ttyACM0" as a user names it
  std::string nodePath;    // the node to open: devicePath under the root
  std::string driver;      // "cdc_acm"; empty when unknown
  std::string usbId;       // "1d6b:0104"; empty when not a USB device
  std::string byId;        // the /dev/serial/by-id name; empty when none
};

// Sorted by name; empty when /sys/class/tty cannot be read.
[[nodiscard]] std::vector<SerialPortInfo> ListSerialPorts();

// The same file after following every link (for matching a COM name to a device); the path
// itself when it cannot be resolved.
[[nodiscard]] std::string ResolvedPath(const std::string& path);

}  // namespace platform

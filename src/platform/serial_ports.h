#pragma once
// The serial devices the system has, from /sys/class/tty: the UARTs that really exist, ttyACM*,
// ttyUSB*, the soft modems' ttySL*, ttyLT*, ttySHSF*, ttySHCF* and ttyHSF*, and rfcomm*, with
// their driver, USB vendor:product and /dev/serial/by-id name; and the /dev/modem link with what
// it points to. $KALVEX_SYSFS_ROOT, when set, is put in front of /sys and /dev (a test's fake
// tree). Reads only: no device is opened. Any thread.

#include <string>
#include <vector>

namespace platform {

struct SerialPortInfo {
  std::string name;            // "ttyACM0"
  std::string devicePath;      // "/dev/ttyACM0" as a user names it
  std::string nodePath;        // the node to open: devicePath under the root
  std::string driver;          // "cdc_acm"; empty when unknown
  std::string usbId;           // "1d6b:0104"; empty when not a USB device
  std::string byId;            // the /dev/serial/by-id name; empty when none
  std::string linkTarget;      // a link in /dev (/dev/modem, slmodemd's /dev/ttySL0): its target
  bool console = false;        // the kernel's console writes to it
  bool bluetoothIdle = false;  // an rfcomm device bound to no connected link
};

// The devices of /sys/class/tty sorted by name; then soft modem names in /dev that it does not
// list (links to pseudo-terminals); then /dev/modem when it is a link (its driver and ids those
// of its target when that is listed).
[[nodiscard]] std::vector<SerialPortInfo> ListSerialPorts();

// True when something is at path, following links. Any thread.
[[nodiscard]] bool PathExists(const std::string& path);

// The same file after following every link (for matching a COM name to a device); the path
// itself when it cannot be resolved.
[[nodiscard]] std::string ResolvedPath(const std::string& path);

}  // namespace platform

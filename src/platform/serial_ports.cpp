#include "platform/serial_ports.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

#include "platform/outside_file.h"

namespace platform {
namespace {

constexpr int64_t kMaxAttributeBytes = 4096;

std::string Root() {
  const char* root = std::getenv("KALVEX_SYSFS_ROOT");
  return root && *root ? root : "";
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// A sysfs attribute is at most a page; what it says is outside text, kept as it is.
std::string ReadWord(const std::string& path) {
  std::string word;
  OpenedFile opened;
  if (!ReadOutsideFile(path, kMaxAttributeBytes, &word, &opened)) return {};
  while (!word.empty() && (word.back() == '\n' || word.back() == ' ')) word.pop_back();
  return word;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string LinkTargetName(const std::string& link) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  const std::string text(target, static_cast<size_t>(n));
  return text.substr(text.rfind('/') + 1);
}

bool HasNumberAfter(const std::string& name, const char* prefix) {
  const size_t length = std::char_traits<char>::length(prefix);
  return name.rfind(prefix, 0) == 0 && name.size() > length &&
         std::isdigit(static_cast<unsigned char>(name[length]));
}

// UARTs (8250), USB ACM modems and adapters, and the soft modems' own names: ttySL (smartlink),
// ttyLT (Lucent/Agere), ttySHSF and ttyHSF (Conexant HSF), ttySHCF (Conexant HCF), rfcomm.
bool IsSerialName(const std::string& name) {
  for (const char* prefix :
       {"ttyS", "ttyACM", "ttyUSB", "ttySL", "ttyLT", "ttySHSF", "ttySHCF", "ttyHSF", "rfcomm"}) {
    if (HasNumberAfter(name, prefix)) return true;
  }
  return false;
}

// A soft modem's daemon may make its name a link to a pseudo-terminal (slmodemd's /dev/ttySL0),
// which /sys/class/tty does not list under that name.
bool IsSoftModemName(const std::string& name) {
  for (const char* prefix : {"ttySL", "ttyLT", "ttySHSF", "ttySHCF", "ttyHSF"}) {
    if (HasNumberAfter(name, prefix)) return true;
  }
  return false;
}

void AddSoftModemLinks(const std::string& root, std::vector<SerialPortInfo>& ports) {
  const size_t listed = ports.size();
  for (const std::string& name : Entries(root + "/dev")) {
    if (!IsSoftModemName(name)) continue;
    bool known = false;
    for (size_t i = 0; i < listed; ++i) known = known || ports[i].name == name;
    if (known) continue;
    SerialPortInfo info;
    info.name = name;
    info.devicePath = "/dev/" + name;
    info.nodePath = root + info.devicePath;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(info.nodePath.c_str(), target, sizeof target - 1);
    if (n > 0) info.linkTarget.assign(target, static_cast<size_t>(n));
    ports.push_back(std::move(info));
  }
}

// The ttys the kernel's console writes to, from "tty0 ttyS0" in console/active.
bool IsConsole(const std::string& name, const std::string& classDir) {
  const std::string active = " " + ReadWord(classDir + "/console/active") + " ";
  return active.find(" " + name + " ") != std::string::npos;
}

// /dev/modem is a link a distribution or a driver's installer makes to the modem's device.
void AddModemLink(const std::string& root, std::vector<SerialPortInfo>& ports) {
  const std::string link = root + "/dev/modem";
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return;
  SerialPortInfo info;
  info.name = "modem";
  info.devicePath = "/dev/modem";
  info.nodePath = link;
  info.linkTarget.assign(target, static_cast<size_t>(n));
  const std::string resolved = ResolvedPath(link);
  for (const SerialPortInfo& port : ports) {
    if (ResolvedPath(port.nodePath) != resolved) continue;
    info.driver = port.driver;
    info.usbId = port.usbId;
    info.console = port.console;
  }
  ports.push_back(std::move(info));
}

// The USB device above a tty's device directory holds idVendor and idProduct.
std::string UsbId(const std::string& deviceDir, const std::string& sysRoot) {
  std::string dir = ResolvedPath(deviceDir);
  while (dir.size() > sysRoot.size() && dir.rfind(sysRoot, 0) == 0) {
    const std::string vendor = ReadWord(dir + "/idVendor");
    const std::string product = ReadWord(dir + "/idProduct");
    if (!vendor.empty() && !product.empty()) return vendor + ":" + product;
    dir.erase(dir.rfind('/'));
  }
  return {};
}

}  // namespace

bool PathExists(const std::string& path) { return Exists(path); }

std::string ResolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::vector<SerialPortInfo> ListSerialPorts() {
  const std::string root = Root();
  const std::string classDir = root + "/sys/class/tty";
  const std::string sysRoot = ResolvedPath(root + "/sys");
  std::vector<std::pair<std::string, std::string>> byId;  // by-id name, tty name
  for (const std::string& link : Entries(root + "/dev/serial/by-id"))
    byId.emplace_back(link, LinkTargetName(root + "/dev/serial/by-id/" + link));

  std::vector<SerialPortInfo> ports;
  for (const std::string& name : Entries(classDir)) {
    if (!IsSerialName(name)) continue;
    const std::string ttyDir = classDir + "/" + name;
    const bool hasDevice = Exists(ttyDir + "/device");
    if (!hasDevice && name.rfind("rfcomm", 0) != 0) continue;
    // Every 8250 port the kernel was built for is listed; type 0 means no UART answered there.
    if (HasNumberAfter(name, "ttyS") && ReadWord(ttyDir + "/type") == "0") continue;
    SerialPortInfo info;
    info.name = name;
    info.devicePath = "/dev/" + name;
    info.nodePath = root + info.devicePath;
    info.console = IsConsole(name, classDir);
    // An rfcomm device without a device below it is bound but not connected: opening it would
    // make the connection.
    info.bluetoothIdle = !hasDevice;
    if (hasDevice) {
      info.driver = LinkTargetName(ttyDir + "/device/driver");
      info.usbId = UsbId(ttyDir + "/device", sysRoot);
    }
    for (const auto& [link, target] : byId) {
      if (target == name) info.byId = link;
    }
    ports.push_back(std::move(info));
  }
  AddSoftModemLinks(root, ports);
  AddModemLink(root, ports);
  return ports;
}

}  // namespace platform

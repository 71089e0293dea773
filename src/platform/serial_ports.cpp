#include "platform/serial_ports.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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

// A sysfs attribute is at most a page; what it says is shown only through VisibleText.
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

bool IsSerialName(const std::string& name) {
  for (const char* prefix : {"ttyS", "ttyACM", "ttyUSB", "ttySL", "rfcomm"}) {
    if (name.rfind(prefix, 0) == 0 && name.size() > std::char_traits<char>::length(prefix))
      return true;
  }
  return false;
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
    if (name.rfind("ttyS", 0) == 0 && ReadWord(ttyDir + "/type") == "0") continue;
    SerialPortInfo info;
    info.name = name;
    info.devicePath = "/dev/" + name;
    info.nodePath = root + info.devicePath;
    if (hasDevice) {
      info.driver = LinkTargetName(ttyDir + "/device/driver");
      info.usbId = UsbId(ttyDir + "/device", sysRoot);
    }
    for (const auto& [link, target] : byId) {
      if (target == name) info.byId = link;
    }
    ports.push_back(std::move(info));
  }
  return ports;
}

}  // namespace platform

#include "platform/device_name.h"

#include <fcntl.h>
#include <unistd.h>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sys_error.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

using PortTable = std::array<std::string, kMaxComNumber + 1>;  // index: COM number

PortTable& Overrides() {
  static PortTable table;
  return table;
}

PortTable& Configured() {
  static PortTable table;
  return table;
}

void Install(PortTable& table, const std::vector<std::pair<int, std::string>>& mappings) {
  table = {};
  for (const auto& [number, path] : mappings) {
    if (number >= 1 && number <= kMaxComNumber) table[number] = path;
  }
}

// The number of "COMn", or 0 when the name is not COM followed by a number.
int ComNumber(const char* name) {
  int number = 0;
  int consumed = 0;
  if (std::sscanf(name, "COM%d%n", &number, &consumed) != 1 || name[consumed] != '\0' ||
      number < 1) {
    return 0;
  }
  return number;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A ports.conf larger than this is not a list of nine ports.
constexpr size_t kMaxConfigBytes = 64 * 1024;

}  // namespace

ResolvedPort ResolvePort(const char* deviceName) {
  const int number = ComNumber(deviceName);
  if (number == 0) return {deviceName, PortSource::kPath};
  if (number <= kMaxComNumber && !Overrides()[number].empty())
    return {Overrides()[number], PortSource::kOption};
  char variable[32];
  std::snprintf(variable, sizeof variable, "KALVEX_%s", deviceName);
  if (const char* path = std::getenv(variable); path && *path) {
    return {path, PortSource::kEnvironment};
  }
  if (number <= kMaxComNumber && !Configured()[number].empty())
    return {Configured()[number], PortSource::kConfigFile};
  if (const char* dir = std::getenv("KALVEX_COM_DIR"); dir && *dir) {
    return {std::string(dir) + "/" + deviceName, PortSource::kComDir};
  }
  return {"/dev/ttyS" + std::to_string(number - 1), PortSource::kDefault};
}

std::string DevicePathFor(const char* deviceName) { return ResolvePort(deviceName).path; }

std::string PortSourceName(PortSource source, const char* deviceName) {
  switch (source) {
    case PortSource::kOption: return "--port";
    case PortSource::kEnvironment: return std::string("KALVEX_") + deviceName;
    case PortSource::kConfigFile: return "ports.conf";
    case PortSource::kComDir: return "KALVEX_COM_DIR";
    case PortSource::kDefault: return "default";
    case PortSource::kPath: break;
  }
  return "path";
}

void SetPortOverrides(const std::vector<std::pair<int, std::string>>& mappings) {
  Install(Overrides(), mappings);
}

void SetConfiguredPorts(const std::vector<std::pair<int, std::string>>& mappings) {
  Install(Configured(), mappings);
}

PortsConfig ParsePortsConfig(const std::string& text, const std::string& fileName) {
  PortsConfig config;
  std::array<bool, kMaxComNumber + 1> seen{};
  size_t start = 0;
  for (int lineNumber = 1; start < text.size(); ++lineNumber) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;

    const size_t equals = line.find('=');
    std::string name = Trim(line.substr(0, equals));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string device = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
    const int number = ComNumber(name.c_str());
    const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
    const std::string shown = line.size() > 80 ? line.substr(0, 80) + "..." : line;
    std::string problem;
    if (equals == std::string::npos || number < 1 || number > kMaxComNumber) {
      problem = "'" + shown + "' is not COMn=DEVICE with n from 1 to 9";
    } else if (device.empty() || device[0] != '/') {
      problem = "the device of " + name + " is not an absolute path";
    } else if (seen[number]) {
      problem = name + " is mapped again";
    }
    if (!problem.empty()) {
      config.problems.push_back(where + problem + "; ignored");
      continue;
    }
    seen[number] = true;
    config.mappings.emplace_back(number, device);
  }
  return config;
}

std::string PortsConfigPath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::string(home) + "/.config";
  } else {
    return {};
  }
  return base + "/kalvex-modem-diag/ports.conf";
}

std::vector<std::string> LoadPortsConfig() {
  const std::string path = PortsConfigPath();
  SetConfiguredPorts({});
  if (path.empty()) return {};
  UniqueFd fd(RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!fd.Valid()) {
    const int err = errno;
    if (err == ENOENT) return {};
    return {path + ": cannot be read: " + DescribeErrno(err) + "; ignored"};
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = RetryOnEintr([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
    if (got < 0) return {path + ": cannot be read: " + DescribeErrno(errno) + "; ignored"};
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
    if (text.size() > kMaxConfigBytes) return {path + ": larger than 64 KiB; ignored"};
  }
  PortsConfig config = ParsePortsConfig(text, path);
  SetConfiguredPorts(config.mappings);
  return config.problems;
}

}  // namespace platform

#include "serial/port_names.h"

#include <array>
#include <cctype>
#include <utility>

#include "platform/data_files.h"
#include "platform/environment.h"
#include "platform/outside_file.h"
#include "serial/visible_text.h"

namespace serial {
namespace {

void Install(std::array<std::string, kMaxComNumber + 1>& table,
             const std::vector<std::pair<int, std::string>>& mappings) {
  table = {};
  for (const auto& [number, path] : mappings) {
    if (number >= 1 && number <= kMaxComNumber) table[number] = path;
  }
}

// The digits of a port number: decimal only, no sign, blank or leading zero; 0 when text is not
// such a number or it is above maximum.
int PortNumberDigits(std::string_view text, int maximum) {
  if (text.empty() || text.size() > 3 || text[0] == '0') return 0;
  int number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= maximum ? number : 0;
}

// The number of a name the tool builds itself ("COM12" too: KALVEX_COM12 and ttyS11 still
// stand for it), or 0 when it is no such name.
int ComNumber(const char* name) {
  const std::string_view text(name);
  if (text.substr(0, 3) != "COM") return 0;
  return PortNumberDigits(text.substr(3), 999);
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

// The device source has for COM port number (named deviceName); empty when it has none.
std::string PortMap::DeviceFrom(PortSource source, int number, const char* deviceName) const {
  const bool inTables = number <= kMaxComNumber;
  switch (source) {
    case PortSource::kOption: return inTables ? overrides_[number] : std::string();
    case PortSource::kEnvironment:
      return platform::EnvironmentValue(("KALVEX_" + std::string(deviceName)).c_str());
    case PortSource::kConfigFile: return inTables ? configured_[number] : std::string();
    case PortSource::kComDir: {
      const std::string dir = platform::EnvironmentValue("KALVEX_COM_DIR");
      return dir.empty() ? dir : dir + "/" + deviceName;
    }
    case PortSource::kDefault: return "/dev/ttyS" + std::to_string(number - 1);
    case PortSource::kPath: break;
  }
  return {};
}

void PortMap::SetOverrides(const std::vector<std::pair<int, std::string>>& mappings) {
  Install(overrides_, mappings);
}

void PortMap::SetConfigured(const std::vector<std::pair<int, std::string>>& mappings) {
  Install(configured_, mappings);
}

ResolvedPort PortMap::Resolve(const char* deviceName) const {
  const int number = ComNumber(deviceName);
  if (number == 0) return {deviceName, PortSource::kPath};
  for (const PortSourceEntry& entry : kPortSources) {
    std::string path = DeviceFrom(entry.source, number, deviceName);
    if (!path.empty()) return {std::move(path), entry.source};
  }
  return {deviceName, PortSource::kPath};  // not reached: kDefault always has a device
}

std::string PortMap::DevicePathFor(const char* deviceName) const {
  return Resolve(deviceName).path;
}

std::string PortSourceName(PortSource source, const char* deviceName) {
  for (const PortSourceEntry& entry : kPortSources) {
    if (entry.source != source) continue;
    std::string word = entry.word;
    if (const size_t at = word.find("COMn"); at != std::string::npos)
      word.replace(at, 4, deviceName);
    return word;
  }
  return "path";
}

int ParseComName(std::string_view name) {
  if (name.size() < 3) return 0;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  return PortNumberDigits(name.substr(3), kMaxComNumber);
}

bool ParsePortMapping(std::string_view text, PortMapping* mapping, std::string* problem) {
  const size_t equals = text.find('=');
  const std::string name = Trim(std::string(text.substr(0, equals)));
  const int number = equals == std::string_view::npos ? 0 : ParseComName(name);
  if (number == 0) {
    const std::string shown =
        text.size() > 80 ? std::string(text.substr(0, 80)) + "..." : std::string(text);
    *problem = "'" + serial::VisibleText(shown) + "' is not COMn=DEVICE with n from 1 to 9";
    return false;
  }
  mapping->number = number;
  mapping->device = Trim(std::string(text.substr(equals + 1)));
  return true;
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

    const std::string where =
        serial::VisibleText(fileName) + ":" + std::to_string(lineNumber) + ": ";
    PortMapping mapping;
    std::string problem;
    if (ParsePortMapping(line, &mapping, &problem)) {
      const std::string name = "COM" + std::to_string(mapping.number);
      if (mapping.device.empty() || mapping.device[0] != '/') {
        problem = "the device of " + name + " is not an absolute path";
      } else if (seen[mapping.number]) {
        problem = name + " is mapped again";
      }
    }
    if (!problem.empty()) {
      config.problems.push_back(where + problem + "; ignored");
      continue;
    }
    seen[mapping.number] = true;
    config.mappings.emplace_back(mapping.number, mapping.device);
  }
  return config;
}

std::string PortsConfigPath() { return platform::ConfigFilePath("ports.conf"); }

std::vector<std::string> LoadPortsConfig(PortMap& ports) {
  const std::string path = PortsConfigPath();
  ports.SetConfigured({});
  if (path.empty()) return {};
  const platform::OpenedFile opened =
      platform::OpenOutsideFile(path, platform::RegularFileToRead(kMaxConfigBytes));
  if (!opened.Opened()) {
    if (opened.refusal == platform::FileRefusal::kMissing) return {};
    return {serial::VisibleText(path) + ": cannot be read: " + opened.reason + "; ignored"};
  }
  // It decides which device is written to as a modem, as ati3.dat decides which answer is one:
  // a copy that someone else could have written is not used. Checked on what was opened, so
  // that what is checked is what is read.
  if (const std::string untrusted = platform::UntrustedFileReason(opened.facts); !untrusted.empty())
    return {serial::VisibleText(path) + ": refused: " + untrusted + "; ignored"};
  std::string text;
  std::string reason;
  if (!platform::ReadAll(opened.fd, kMaxConfigBytes, &text, &reason))
    return {serial::VisibleText(path) + ": cannot be read: " + reason + "; ignored"};
  PortsConfig config = ParsePortsConfig(text, path);
  ports.SetConfigured(config.mappings);
  return config.problems;
}

}  // namespace serial
